// Listings on the local heap: ParseLine with a connection record, the
// entry chain of AppendEntry, TESSEL_FreeDirectory, and the three exports
// bound by ordinal.
#include "cinfo.h"
#include "dirlisting.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#include <string>
#include <vector>

namespace {

DirectoryListing *NewListing(const char *path = "")
{
    auto *l = static_cast<DirectoryListing *>(LocalAlloc(LPTR, sizeof(DirectoryListing)));
    lstrcpynA(l->path, path, sizeof l->path);
    return l;
}

// What TESSEL_GetDirectory does with each line it reads.
void ReadLines(CINFO *ci, DirectoryListing *l, const std::vector<std::string> &lines)
{
    for (const auto &line : lines) {
        ListingEntry entry;
        if (TESSEL_ParseLine(ci, l, &entry, line.c_str()) > 0)
            AppendEntry(l, &entry);
    }
}

std::vector<std::string> Names(const DirectoryListing *l)
{
    std::vector<std::string> names;
    for (const ListingEntry *e = l->firstEntry; e; e = e->next)
        names.push_back(e->name);
    return names;
}

}  // namespace

TEST(ParseLine, UnixListingIntoTheChain)
{
    CINFO ci = {};
    ci.hostType = 6010;
    DirectoryListing *l = NewListing();
    ReadLines(&ci, l, {"total 3", "drwxr-xr-x   2 joe  staff   512 Jan 12  2023 src",
                       "-rw-r--r--   1 joe  staff  1834 Jan  3  2023 read me.txt",
                       "lrwxrwxrwx   1 joe  staff    11 Feb 28  2023 latest -> src"});
    EXPECT_EQ(ci.lineCount, 4);
    EXPECT_EQ(Names(l), (std::vector<std::string>{"src", "read me.txt", "latest"}));
    EXPECT_EQ(l->fileCount, 1);
    EXPECT_EQ(l->dirCount, 1);
    EXPECT_EQ(l->linkCount, 1);
    EXPECT_EQ(l->firstEntry->kind, LISTING_DIR);
    EXPECT_EQ(l->firstEntry->next->size, 1834u);
    EXPECT_EQ(l->firstEntry->next->next->kind, LISTING_LINK);
    for (const ListingEntry *e = l->firstEntry; e; e = e->next)
        EXPECT_EQ(e->owner, l);

    // a directory's own listing hangs below it and goes with the rest
    DirectoryListing *sub = NewListing();
    ci.lineCount = 0;
    ReadLines(&ci, sub, {"-rw-r--r--   1 joe  staff  10 Jan  3  2023 main.c"});
    l->firstEntry->subdirectory = sub;
    EXPECT_EQ(TESSEL_FreeDirectory(l), nullptr);
    EXPECT_EQ(TESSEL_FreeDirectory(nullptr), nullptr);
    ListingEntry entry;
    EXPECT_EQ(TESSEL_ParseLine(nullptr, nullptr, &entry, "x"), 0);
}

TEST(ParseLine, MvsMemberListAppendsItsOwnEntries)
{
    CINFO ci = {};
    ci.hostType = 6018;
    DirectoryListing *l = NewListing();
    std::string header(70, ' ');
    header.replace(0, 12, "USER.SRC.LIB");
    header.replace(44, 3, "FB ");
    header.replace(61, 6, "PO NO ");
    header[69] = 'X';
    ReadLines(&ci, l, {header, "MEMBER1   MEMBER2   MEM3"});
    EXPECT_EQ(ci.parseFlags & PARSE_MVS_MEMBERS, PARSE_MVS_MEMBERS);
    EXPECT_EQ(Names(l), (std::vector<std::string>{"MEMBER1", "MEMBER2", "MEM3"}));
    EXPECT_EQ(l->fileCount, 3);
    TESSEL_FreeDirectory(l);
}

TEST(ParseLine, LongChainsKeepTheirOrder)
{
    DirectoryListing *l = NewListing();
    ListingEntry entry = {};
    for (int i = 0; i < 50000; ++i) {
        entry.size = uint32_t(i);
        AppendEntry(l, &entry);
    }
    // a stale last-entry hint (another listing's entry) is not trusted
    DirectoryListing *other = NewListing();
    AppendEntry(other, &entry);
    l->lastEntry = other->firstEntry;
    entry.size = 50000;
    AppendEntry(l, &entry);
    uint32_t expect = 0;
    for (const ListingEntry *e = l->firstEntry; e; e = e->next)
        ASSERT_EQ(e->size, expect++);
    EXPECT_EQ(expect, 50001u);
    EXPECT_EQ(other->firstEntry->next, nullptr);
    TESSEL_FreeDirectory(l);
    TESSEL_FreeDirectory(other);
}

TEST(ParseLine, ExportsBoundByOrdinal)
{
    std::string path = "tesselcore.dll";
    if (const char *dir = getenv("TESSEL_BUILD_DIR_WIN"))
        path = std::string(dir) + "\\tesselcore.dll";
    HMODULE dll = LoadLibraryA(path.c_str());
    ASSERT_NE(dll, nullptr) << "tesselcore.dll not found";
    EXPECT_EQ(GetProcAddress(dll, MAKEINTRESOURCEA(260)), GetProcAddress(dll, "TESSEL_ParseLine"));
    EXPECT_EQ(GetProcAddress(dll, MAKEINTRESOURCEA(410)), GetProcAddress(dll, "TESSEL_FreeDirectory"));
    auto decode = reinterpret_cast<int(__stdcall *)(DirEntry *, const char *, int, const char *, const char *)>(
        GetProcAddress(dll, MAKEINTRESOURCEA(910)));
    ASSERT_NE(decode, nullptr);
    EXPECT_EQ(reinterpret_cast<FARPROC>(decode), GetProcAddress(dll, "TESSEL_DecodeLine"));
    DirEntry e;
    EXPECT_EQ(decode(&e, "02-15-24  03:31PM       <DIR>          foo", 6016, nullptr, nullptr), 3);
    EXPECT_EQ(e.kind, DIRENTRY_DIR);
    EXPECT_EQ(e.year, 2024);
    FreeLibrary(dll);
}
