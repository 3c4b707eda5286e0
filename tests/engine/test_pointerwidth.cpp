// Pointers that must survive whole in the x86_64 build: a record kept in
// the handler window's data, and a listing whose entries lie above 4 GiB.
// The same tests run in the i686 build, where every address is low; there
// they check the walk and the window data without the high addresses.
#include "async_util.h"

#include <gtest/gtest.h>

#include <stdint.h>

#include <string>
#include <vector>

using namespace async;

namespace {

const bool kWide = sizeof(void *) == 8;

bool AboveFourGiB(const void *p)
{
    return (uint64_t)(uintptr_t)p > 0xFFFFFFFFull;
}

// Reserves every free region of the low 4 GiB, so that heaps growing while
// it lives must take their new blocks above that line, then fills the local
// heap's low room with blocks of the given size until one comes from above:
// from then on blocks of that size come from above 4 GiB.
class LowSpaceHog {
public:
    explicit LowSpaceHog(size_t blockSize)
    {
        if (!kWide)
            return;
        MEMORY_BASIC_INFORMATION mbi;
        uintptr_t at = 0x10000;
        while (at < 0x100000000ull && VirtualQuery((void *)at, &mbi, sizeof mbi)) {
            uintptr_t base = (uintptr_t)mbi.BaseAddress, end = base + mbi.RegionSize;
            if (mbi.State == MEM_FREE) {
                uintptr_t lo = (base + 0xFFFF) & ~(uintptr_t)0xFFFF;
                uintptr_t hi = end < 0x100000000ull ? end : 0x100000000ull;
                if (hi > lo) {
                    void *p = VirtualAlloc((void *)lo, hi - lo, MEM_RESERVE, PAGE_NOACCESS);
                    if (p)
                        held.push_back(p);
                }
            }
            at = end;
        }
        for (int i = 0; i < 4000000; ++i) {
            HLOCAL b = LocalAlloc(LPTR, blockSize);
            if (!b)
                break;
            if (AboveFourGiB(b)) {
                LocalFree(b);
                break;
            }
            fillers.push_back(b);
        }
    }
    ~LowSpaceHog()
    {
        for (HLOCAL b : fillers)
            LocalFree(b);
        for (void *p : held)
            VirtualFree(p, 0, MEM_RELEASE);
    }
    size_t Fillers() const { return fillers.size(); }

private:
    std::vector<void *> held;
    std::vector<HLOCAL> fillers;
};

// A caller-allocated record, filled the way the client's pre-initialiser
// fills one, in memory taken from the top of the address space.
struct HighRecord {
    CINFO *ci = nullptr;
    HighRecord(HWND notify, HWND log)
    {
        ci = (CINFO *)VirtualAlloc(nullptr, CINFO_SIZE, MEM_COMMIT | MEM_RESERVE | MEM_TOP_DOWN, PAGE_READWRITE);
        if (ci)
            PreFillRecord(ci, notify, log);
    }
    ~HighRecord()
    {
        if (ci)
            VirtualFree(ci, 0, MEM_RELEASE);
    }
};

} // namespace

TEST(PointerWidth, RecordAboveFourGiBIsFoundThroughItsHandlerWindow)
{
    REQUIRE_FAKE_SERVER();
    Recorder rec;
    HWND edit = CreateWindowExA(0, "EDIT", "", WS_POPUP | ES_MULTILINE, 0, 0, 100, 100, nullptr, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
    HighRecord high(rec.Window(), edit);
    ASSERT_TRUE(high.ci);
    CINFO *ci = high.ci;
    if (kWide)
        ASSERT_TRUE(AboveFourGiB(ci)) << "top-down allocation at " << (void *)ci;
    ASSERT_EQ(TESSEL_IntFixCInfo(ci, "ignored"), ci);
    ASSERT_TRUE(ci->asyncWnd);
    EXPECT_EQ((CINFO *)GetWindowLongPtrA(ci->asyncWnd, 0), ci);
    rec.ci = ci;

    // The handler window finds the record again on every socket event of a
    // message-driven login: a pointer cut to 32 bits would crash or fail it.
    int port = fake::Inline("send 220 hi\nexpect USER u\nsend 331 pw\nexpect PASS p\nsend 230 in\n"
                            "expect SYST\nsend 215 UNIX Type: L8\nexpect NOOP\nsend 200 still here\n");
    ASSERT_NE(port, 0);
    ASSERT_EQ(TESSEL_ConnectAsync(ci, "127.0.0.1", port, "u", "p", kDone), 1) << ci->errorBuf;
    ASSERT_TRUE(PumpUntil([&] { return rec.Count(kDone) >= 1; }));
    EXPECT_EQ(rec.Last(kDone)->wp, 1u);
    EXPECT_EQ(rec.Last(kDone)->lp, 230);
    EXPECT_EQ(TESSEL_DoCmd(ci, "NOOP", nullptr), 200) << ci->replyLine;
    TESSEL_CloseConnect(ci, 0);
    TESSEL_FreeCINFO(ci);
    PumpFor(50);
    DestroyWindow(edit);
}

TEST(PointerWidth, ListingWithEntriesAboveFourGiBIsWalkedAndFreed)
{
    const std::string dir = TempDir("highlist");
    const int kFiles = 300;
    for (int i = 0; i < kFiles; ++i)
        ASSERT_TRUE(xfer::WriteAll(dir + "\\f" + std::to_string(i) + ".dat", std::string((size_t)i, 'x')));
    CreateDirectoryA((dir + "\\sub").c_str(), nullptr);

    // Folders come from the current directory, files from the pattern.
    char cwd[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, cwd);
    ASSERT_TRUE(SetCurrentDirectoryA(dir.c_str()));
    DirectoryListing *list = nullptr;
    {
        // The listing's blocks must come from above 4 GiB.
        LowSpaceHog hog(sizeof(ListingEntry));
        list = TESSEL_GetLocalDirectory(nullptr, "*.dat");
        RecordProperty("low_fillers", (int)hog.Fillers());
    }
    SetCurrentDirectoryA(cwd);
    ASSERT_TRUE(list);
    int files = 0, dirs = 0, high = 0;
    uint64_t bytes = 0;
    for (ListingEntry *e = list->firstEntry; e; e = e->next) {
        EXPECT_EQ(e->owner, list);
        high += AboveFourGiB(e);
        if (e->kind == LISTING_DIR) {
            ++dirs;
        } else {
            ++files;
            bytes += e->size;
        }
    }
    EXPECT_EQ(files, kFiles);
    EXPECT_GE(dirs, 1);
    EXPECT_EQ(list->fileCount, kFiles);
    EXPECT_EQ(bytes, (uint64_t)kFiles * (kFiles - 1) / 2);
    if (kWide) {
        EXPECT_TRUE(AboveFourGiB(list));
        EXPECT_EQ(high, files + dirs) << "entries were expected above 4 GiB";
    }
    EXPECT_EQ(TESSEL_FreeDirectory(list), nullptr);
}
