// The COM server as Explorer and the installer meet it: the class factory
// and the unload test through the library file, two processes sharing the
// area, an exit without FreeLibrary, copy-hook drops, and regsvr32.
#include "classfactory.h"
#include "guids.h"
#include "modulestate.h"
#include "module.h"
#include "sharedarea.h"
#include "session.h"
#include "sitesint.h"
#include "dialogs.h"
#include "shellres.h"

#include <gtest/gtest.h>
#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <atomic>
#include <set>
#include <string>
#include <thread>
#include <vector>

extern "C" void TesselProcessAttach(void);
extern "C" void TesselProcessDetach(int atExit);
extern "C" UINT __stdcall DllCopyCallback(HWND, UINT, UINT, LPCSTR, DWORD, LPCSTR, DWORD);

namespace {

typedef HRESULT(__stdcall *GetClassObjectFn)(REFCLSID, REFIID, void **);
typedef HRESULT(__stdcall *CanUnloadFn)(void);

std::string BuildDir()
{
    const char *env = getenv("TESSEL_BUILD_DIR");
    if (env && *env)
        return env;
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, sizeof self);
    std::string d = self;
    return d.substr(0, d.find_last_of("\\/"));
}
std::string DllPath() { return BuildDir() + "\\tesselcore.dll"; }

const CLSID kUnknown = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};

struct Library {
    HMODULE h = LoadLibraryA(DllPath().c_str());
    GetClassObjectFn get = h ? (GetClassObjectFn)(void *)GetProcAddress(h, "DllGetClassObject") : nullptr;
    CanUnloadFn canUnload = h ? (CanUnloadFn)(void *)GetProcAddress(h, "DllCanUnloadNow") : nullptr;
    ~Library()
    {
        if (h)
            FreeLibrary(h);
    }
};

// Runs this program again as a helper with a mode in the environment.
HANDLE StartChild(const char *mode, const char *filter)
{
    SetEnvironmentVariableA("TESSEL_CHILD_MODE", mode);
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, sizeof self);
    std::string cmd = std::string("\"") + self + "\" --gtest_filter=" + filter;
    STARTUPINFOA si = {sizeof si};
    PROCESS_INFORMATION pi = {};
    BOOL ok = CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi);
    SetEnvironmentVariableA("TESSEL_CHILD_MODE", nullptr);
    if (!ok)
        return nullptr;
    CloseHandle(pi.hThread);
    return pi.hProcess;
}

bool ChildMode(const char *mode)
{
    const char *m = getenv("TESSEL_CHILD_MODE");
    return m && !strcmp(m, mode);
}

} // namespace

// ---------------------------------------------------------------- helpers run as child processes

TEST(Child, LoadAndExit)
{
    if (!ChildMode("load-exit"))
        GTEST_SKIP() << "helper of ExitWithoutFreeLibraryEndsAtOnce";
    LoadLibraryA(DllPath().c_str());
    ExitProcess(7);
}

TEST(Child, LoadAndWait)
{
    if (!ChildMode("load-wait"))
        GTEST_SKIP() << "helper of SecondProcessKeepsTheCreatorLoaded";
    HMODULE h = LoadLibraryA(DllPath().c_str());
    HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, "TesselChildReady");
    HANDLE go = OpenEventA(SYNCHRONIZE, FALSE, "TesselChildGo");
    SetEvent(ready);
    WaitForSingleObject(go, 30000);
    FreeLibrary(h);
}

// ---------------------------------------------------------------- factory

TEST(ClassFactory, EdgeCasesAndUnloadCounts)
{
    Library lib;
    ASSERT_TRUE(lib.get && lib.canUnload);
    void *out = (void *)1;
    EXPECT_EQ(lib.get(kUnknown, IID_IClassFactory, &out), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(lib.get(CLSID_TesselRoot, IID_IClassFactory, nullptr), E_POINTER);
    EXPECT_EQ(lib.get(CLSID_TesselRoot, IID_IShellFolder, &out), E_NOINTERFACE);

    IClassFactory *second = nullptr;
    ASSERT_EQ(lib.get(CLSID_TesselSecondary, IID_IClassFactory, (void **)&second), S_OK);
    IUnknown *obj = (IUnknown *)1;
    EXPECT_EQ(second->CreateInstance(nullptr, IID_IUnknown, (void **)&obj), E_INVALIDARG);
    EXPECT_EQ(obj, nullptr);
    second->Release();

    IClassFactory *f = nullptr;
    ASSERT_EQ(lib.get(CLSID_TesselRoot, IID_IClassFactory, (void **)&f), S_OK);
    EXPECT_EQ(lib.canUnload(), S_FALSE) << "the factory is alive";
    EXPECT_EQ(f->CreateInstance((IUnknown *)f, IID_IUnknown, (void **)&obj), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(f->CreateInstance(nullptr, IID_IUnknown, nullptr), E_POINTER);
    IPersistFolder *folder = nullptr;
    ASSERT_EQ(f->CreateInstance(nullptr, IID_IPersistFolder, (void **)&folder), S_OK);
    CLSID got = {};
    EXPECT_EQ(folder->GetClassID(&got), S_OK);
    EXPECT_TRUE(IsEqualCLSID(got, CLSID_TesselRoot));
    IShellFolder *sf = nullptr;
    ASSERT_EQ(folder->QueryInterface(IID_IShellFolder, (void **)&sf), S_OK);
    IEnumIDList *e = (IEnumIDList *)1;
    EXPECT_EQ(sf->EnumObjects(nullptr, SHCONTF_FOLDERS | SHCONTF_NONFOLDERS, &e), S_FALSE);
    EXPECT_EQ(e, nullptr);
    sf->Release();
    EXPECT_EQ(f->LockServer(TRUE), S_OK);
    f->Release();
    EXPECT_EQ(lib.canUnload(), S_FALSE) << "the folder is alive and the server locked";
    folder->Release();
    EXPECT_EQ(lib.canUnload(), S_FALSE) << "locked";
    ASSERT_EQ(lib.get(CLSID_TesselRoot, IID_IClassFactory, (void **)&f), S_OK);
    f->LockServer(FALSE);
    f->Release();
    EXPECT_EQ(lib.canUnload(), S_OK);
}

TEST(ClassFactory, ExitWithoutFreeLibraryEndsAtOnce)
{
    DWORD start = GetTickCount();
    HANDLE child = StartChild("load-exit", "Child.LoadAndExit");
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(WaitForSingleObject(child, 15000), WAIT_OBJECT_0);
    DWORD code = 0;
    GetExitCodeProcess(child, &code);
    CloseHandle(child);
    EXPECT_EQ(code, 7u);
    EXPECT_LT(GetTickCount() - start, 10000u);
}

TEST(ClassFactory, SecondProcessKeepsTheCreatorLoaded)
{
    HANDLE existing = OpenFileMappingA(FILE_MAP_READ, FALSE, TESSEL_SHARED_NAME);
    if (existing) {
        CloseHandle(existing);
        GTEST_SKIP() << "another process holds the shared area; this case needs to create it";
    }
    Library lib;
    ASSERT_TRUE(lib.canUnload);
    EXPECT_EQ(lib.canUnload(), S_OK);
    HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, "TesselChildReady");
    HANDLE go = CreateEventA(nullptr, TRUE, FALSE, "TesselChildGo");
    HANDLE child = StartChild("load-wait", "Child.LoadAndWait");
    ASSERT_NE(child, nullptr);
    ASSERT_EQ(WaitForSingleObject(ready, 15000), WAIT_OBJECT_0);
    EXPECT_EQ(lib.canUnload(), S_FALSE) << "the creator stays while the other process is attached";
    SetEvent(go);
    EXPECT_EQ(WaitForSingleObject(child, 15000), WAIT_OBJECT_0);
    EXPECT_EQ(lib.canUnload(), S_OK);
    CloseHandle(child);
    CloseHandle(ready);
    CloseHandle(go);
}

// ---------------------------------------------------------------- copy hook

namespace {

struct FakeRecord : DropTarget {
    bool waiting = true;
    std::atomic<int> delivered{0};
    std::atomic<int> dropped{0};
    std::string folder;
    bool DragWaiting() override { return waiting; }
    void DeliverDrop(const char *f) override
    {
        folder = f;
        delivered++;
    }
    void DropPending() override { dropped++; }
};

template <class P> bool WaitUntil(P pred, DWORD ms)
{
    DWORD start = GetTickCount();
    while (!pred()) {
        if (GetTickCount() - start > ms)
            return false;
        Sleep(10);
    }
    return true;
}

} // namespace

TEST(CopyHook, MarkerDropsReachTheWaitingRecordOnly)
{
    HANDLE existing = OpenFileMappingA(FILE_MAP_READ, FALSE, TESSEL_SHARED_NAME);
    if (existing) {
        CloseHandle(existing);
        GTEST_SKIP() << "another process holds the shared area and its notification thread";
    }
    TesselProcessAttach();
    ASSERT_TRUE(SharedAreaCreatedHere());
    EXPECT_EQ(Module().NotifyThreadId(), 0u) << "the entry code starts no thread";
    Module().EnsureNotifyThread();
    ASSERT_TRUE(WaitUntil([] { return SharedArea()->notifyRunning != 0; }, 5000));
    FTPINFO info = {};
    info.size = sizeof info;
    TESSEL_GetFTPInfo(&info, TRUE);
    std::string marker = std::string(info.tmpDir) + "Notify";

    FakeRecord rec;
    Module().AddDropTarget(&rec);
    EXPECT_EQ(DllCopyCallback(nullptr, FO_COPY, 0, marker.c_str(), 0, "C:\\F\\Notify", 0), (UINT)IDCANCEL);
    ASSERT_TRUE(WaitUntil([&] { return rec.delivered == 1; }, 5000));
    EXPECT_EQ(rec.folder, "C:\\F");
    // Other folders, other operations, no source: Explorer copies them itself.
    EXPECT_EQ(DllCopyCallback(nullptr, FO_COPY, 0, "C:\\other", 0, "C:\\F\\other", 0), (UINT)IDYES);
    EXPECT_EQ(DllCopyCallback(nullptr, FO_DELETE, 0, marker.c_str(), 0, "C:\\F\\Notify", 0), (UINT)IDYES);
    EXPECT_EQ(DllCopyCallback(nullptr, FO_COPY, 0, nullptr, 0, nullptr, 0), (UINT)IDYES);
    // The marker with a destination that cannot be passed on: refused, not posted.
    std::string longDest = "C:\\" + std::string(400, 'd') + "\\Notify";
    for (const char *dst : {longDest.c_str(), "Notify", "\\Notify", "C:\\F\\NotifyX", (const char *)nullptr})
        EXPECT_EQ(DllCopyCallback(nullptr, FO_MOVE, 0, marker.c_str(), 0, dst, 0), (UINT)IDCANCEL);
    Sleep(300); // nothing may arrive; a late post would show up here
    EXPECT_EQ(rec.delivered, 1);
    EXPECT_EQ(DllCopyCallback(nullptr, FO_MOVE, 0, marker.c_str(), 0, "c:\\g\\nOtIfY", 0), (UINT)IDCANCEL);
    ASSERT_TRUE(WaitUntil([&] { return rec.delivered == 2; }, 5000));
    EXPECT_EQ(rec.folder, "c:\\g");

    // No record waiting: the user is told, pending drags are dropped.
    rec.waiting = false;
    std::string text;
    std::thread answer([&] {
        HWND box = dlg::WaitFor(LoadStr(10145, "Quillfold").c_str(), 10000);
        if (!box)
            return;
        char buf[256] = "";
        GetDlgItemTextA(box, 0xFFFF, buf, sizeof buf);
        text = buf;
        PostMessageA(box, WM_COMMAND, IDOK, 0);
    });
    EXPECT_EQ(DllCopyCallback(nullptr, FO_COPY, 0, marker.c_str(), 0, "C:\\H\\Notify", 0), (UINT)IDCANCEL);
    answer.join();
    EXPECT_EQ(text, "Couldn't locate source of drag!");
    EXPECT_TRUE(WaitUntil([&] { return rec.dropped == 1; }, 5000));
    Module().RemoveDropTarget(&rec);
    TesselProcessDetach(0);
    EXPECT_EQ(Module().NotifyThreadId(), 0u);
}

// ---------------------------------------------------------------- a foreign "tesselcoremap"

TEST(Child, SmallArea)
{
    if (!ChildMode("small-area"))
        GTEST_SKIP() << "helper of ForeignSmallAreaIsNotUsed";
    HANDLE existing = OpenFileMappingA(FILE_MAP_READ, FALSE, TESSEL_SHARED_NAME);
    if (existing)
        ExitProcess(77);
    // Another program's 16-byte mapping of the same name.
    HANDLE small = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 16, TESSEL_SHARED_NAME);
    BYTE *view = small ? (BYTE *)MapViewOfFile(small, FILE_MAP_ALL_ACCESS, 0, 0, 16) : nullptr;
    if (!view)
        ExitProcess(78);
    memset(view, 0x5A, 16);
    int rc = 0;
    if (SharedArea() != nullptr)
        rc |= 1;
    FTPINFO info = {};
    info.size = sizeof info;
    if (FAILED(TESSEL_GetFTPInfo(&info, TRUE)))
        rc |= 2;
    Library lib;
    IClassFactory *f = nullptr;
    IUnknown *folder = nullptr;
    if (!lib.get || lib.get(CLSID_TesselRoot, IID_IClassFactory, (void **)&f) != S_OK ||
        f->CreateInstance(nullptr, IID_IUnknown, (void **)&folder) != S_OK)
        rc |= 4;
    if (folder)
        folder->Release();
    if (f)
        f->Release();
    if (lib.canUnload && lib.canUnload() != S_OK)
        rc |= 8;
    for (int i = 0; i < 16; i++)
        if (view[i] != 0x5A)
            rc |= 16; // nothing written into the other program's area
    ExitProcess(rc);
}

TEST(ClassFactory, ForeignSmallAreaIsNotUsed)
{
    HANDLE child = StartChild("small-area", "Child.SmallArea");
    ASSERT_NE(child, nullptr);
    ASSERT_EQ(WaitForSingleObject(child, 20000), WAIT_OBJECT_0);
    DWORD code = 0;
    GetExitCodeProcess(child, &code);
    CloseHandle(child);
    if (code == 77)
        GTEST_SKIP() << "another process holds the shared area";
    EXPECT_EQ(code, 0u) << "1: area used, 2: settings failed, 4: factory failed, 8: unload refused, 16: area written";
}

TEST(ModuleStateTest, SessionsAreFoundByNameAndCounted)
{
    LONG before = LiveObjectCount();
    SiteSession *a = Module().FindOrCreateSession("alpha");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(LiveObjectCount(), before + 1) << "a session counts as a live object";
    SiteSession *again = Module().FindOrCreateSession("alpha");
    EXPECT_EQ(again, a);
    SiteSession *b = Module().FindOrCreateSession("beta");
    EXPECT_NE(b, a);
    EXPECT_EQ(Module().FindSession("beta"), b);
    EXPECT_EQ(Module().ConnectedSessions(), 0);
    EXPECT_EQ(OpenConnectionCount(), 0);
    b->Release();
    EXPECT_EQ(Module().FindSession("beta"), nullptr);
    again->Release();
    EXPECT_EQ(Module().FindSession("alpha"), a);
    a->Release();
    EXPECT_EQ(Module().FindSession("alpha"), nullptr);
    EXPECT_EQ(Module().FindOrCreateSession(""), nullptr);
    EXPECT_EQ(LiveObjectCount(), before);
}
