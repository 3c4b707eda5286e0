// The file lists: decoding a cached listing file into the remote list,
// sorting by every sort word checked on the list's real item order, header
// buttons, dates and time offsets, and hostile listings.
#include "clienttest.h"

#include <algorithm>
#include <string>
#include <vector>

using namespace t95;
using Names = std::vector<std::string>;

namespace {

const char kListing[] = "total 42\r\n"
                        "drwxr-xr-x   2 joe  staff     4096 Jan  1  2020 zeta\r\n"
                        "drwxr-xr-x   2 joe  staff     4096 Jun  1  2021 alpha\r\n"
                        "lrwxrwxrwx   1 joe  staff        7 Jun  1  2021 link1 -> target\r\n"
                        "-rw-r--r--   1 joe  staff      300 Jan  2  2023 b.txt\r\n"
                        "-rw-r--r--   1 joe  staff      100 May  5  2022 A.doc\r\n"
                        "-rw-r--r--   1 joe  staff      200 Feb  2  2024 c.bin\r\n"
                        "-rw-r--r--   1 joe  staff       50 Jul  7  2021 noext\r\n"
                        "drwxr-xr-x   2 joe  staff     4096 Jun  1  2021 .\r\n"
                        "drwxr-xr-x   2 joe  staff     4096 Jun  1  2021 ..\r\n";

struct RemoteList {
    ct::ClientState st;
    ct::MainWindow w;
    std::string file;
    explicit RemoteList(const std::string &listing = kListing, int hostType = 6010)
    {
        st.dir.Write("listing.txt", listing);
        file = st.dir.File("listing.txt");
        g_ftp.hostType = hostType;
        strcpy(g_ftp.remoteDir, "/home/joe");
    }
    Names Sorted(int word)
    {
        g_rsort = word;
        DecodeListingFile(file.c_str(), w.Item(IDC_RLIST));
        return w.Names(IDC_RLIST);
    }
};

} // namespace

TEST(ClientSort, EveryKeyReversedAndEveryDirectoryPlacement)
{
    RemoteList r;
    EXPECT_EQ(r.Sorted(1), (Names{"..", "alpha", "zeta", "link1", "A.doc", "b.txt", "c.bin", "noext"}));
    EXPECT_EQ(r.Sorted(1 | SORT_REVERSE),
              (Names{"..", "zeta", "alpha", "link1", "noext", "c.bin", "b.txt", "A.doc"}));
    EXPECT_EQ(r.Sorted(1 | SORT_BOTTOM), (Names{"..", "A.doc", "b.txt", "c.bin", "noext", "link1", "alpha", "zeta"}));
    EXPECT_EQ(r.Sorted(1 | SORT_MIXED), (Names{"..", "A.doc", "alpha", "b.txt", "c.bin", "link1", "noext", "zeta"}));
    EXPECT_EQ(r.Sorted(2), (Names{"..", "alpha", "zeta", "link1", "noext", "c.bin", "A.doc", "b.txt"}));
    EXPECT_EQ(r.Sorted(3), (Names{"..", "zeta", "alpha", "link1", "noext", "A.doc", "b.txt", "c.bin"}));
    EXPECT_EQ(r.Sorted(3 | SORT_REVERSE | SORT_MIXED),
              (Names{"..", "c.bin", "b.txt", "A.doc", "noext", "alpha", "link1", "zeta"}));
    EXPECT_EQ(r.Sorted(4), (Names{"..", "zeta", "alpha", "link1", "noext", "A.doc", "c.bin", "b.txt"}));
    EXPECT_EQ(r.Sorted(4 | SORT_REVERSE | SORT_BOTTOM),
              (Names{"..", "b.txt", "c.bin", "A.doc", "noext", "link1", "zeta", "alpha"}));
    // Key 5: from the second character, then the first.
    EXPECT_EQ(r.Sorted(5 | SORT_MIXED), (Names{"..", "c.bin", "A.doc", "b.txt", "zeta", "link1", "alpha", "noext"}));
    // No sort keeps the listing's order within each kind.
    EXPECT_EQ(r.Sorted(0), (Names{"..", "zeta", "alpha", "link1", "b.txt", "A.doc", "c.bin", "noext"}));
}

TEST(ClientSort, ItemsCarryKindsDatesAndSizes)
{
    RemoteList r;
    r.Sorted(1);
    HWND list = r.w.Item(IDC_RLIST);
    std::vector<ListItem> items;
    int n = (int)SendMessageA(list, LB_GETCOUNT, 0, 0);
    for (int i = 0; i < n; ++i) {
        HGLOBAL h = (HGLOBAL)SendMessageA(list, LB_GETITEMDATA, i, 0);
        items.push_back(*(ListItem *)GlobalLock(h));
        GlobalUnlock(h);
    }
    ASSERT_EQ(n, 8);
    EXPECT_EQ(items[0].kind, KIND_DIR);
    EXPECT_EQ(items[1].kind, KIND_DIR);
    EXPECT_EQ(items[3].kind, KIND_LINK);
    EXPECT_EQ(items[4].kind, KIND_FILE);  // A.doc
    EXPECT_EQ(items[5].kind, KIND_TEXT);  // b.txt: ASCII by its ending
    EXPECT_EQ(items[5].size, 300);
    EXPECT_EQ(items[5].year, 2023);
    EXPECT_EQ(items[5].month, 1);
    EXPECT_EQ(items[5].day, 2);
    EXPECT_EQ(items[0].side, 1);
}

TEST(ClientSort, HeaderButtonsAndTheLocalList)
{
    RemoteList r;
    g_rsort = 1;
    r.Sorted(1);
    HeaderClick(1, 2); // Date: newest first
    EXPECT_EQ(g_rsort, 3 | SORT_REVERSE);
    EXPECT_EQ(r.w.Names(IDC_RLIST)[4], "c.bin");
    HeaderClick(1, 2); // Date again: the other direction
    EXPECT_EQ(g_rsort, 3);
    EXPECT_EQ(r.w.Names(IDC_RLIST)[4], "noext");
    HeaderClick(1, 3);
    EXPECT_EQ(g_rsort, 4);
    HeaderClick(1, 0); // "^": on top -> mixed -> bottom -> on top
    EXPECT_EQ(g_rsort, 4 | SORT_MIXED);
    HeaderClick(1, 0);
    EXPECT_EQ(g_rsort, 4 | SORT_BOTTOM);
    HeaderClick(1, 0);
    EXPECT_EQ(g_rsort, 4);

    // Local list: "..", directories, drives and files of the mask.
    r.st.dir.Write("one.txt", "1");
    r.st.dir.Write("two.bin", "22");
    CreateDirectoryA(r.st.dir.File("sub").c_str(), nullptr);
    g_lsort = 1 | SORT_MIXED;
    RefreshLocal();
    Names local = r.w.Names(IDC_LLIST);
    ASSERT_GE(local.size(), 6u);
    EXPECT_EQ(local[0], "..");
    // Mixed: ".." first and drives still last.
    EXPECT_EQ(local.back().substr(0, 2), "[-");
    strcpy(g_localMask, "*.bin");
    RefreshLocal();
    local = r.w.Names(IDC_LLIST);
    EXPECT_EQ(std::count(local.begin(), local.end(), std::string("two.bin")), 1);
    EXPECT_EQ(std::count(local.begin(), local.end(), std::string("one.txt")), 0);
    EXPECT_EQ(std::count(local.begin(), local.end(), std::string("sub")), 1) << "the mask is for files only";
    strcpy(g_localMask, "*.*");
}

TEST(ClientDates, ShortYearsFormatsAndTimeOffsets)
{
    ct::ClientState st;
    ListItem it = {};
    it.year = 2024;
    it.month = 3;
    it.day = 5;
    it.hour = 7;
    it.minute = 9;
    char out[40];
    g_cfg.longDate = 0;
    g_cfg.dateFmt = 0;
    FormatItemDate(&it, out, sizeof out);
    EXPECT_STREQ(out, "240305 07:09") << "two digits, not year minus 1900";
    g_cfg.dateFmt = 1;
    FormatItemDate(&it, out, sizeof out);
    EXPECT_STREQ(out, "030524 07:09");
    g_cfg.dateFmt = 2;
    FormatItemDate(&it, out, sizeof out);
    EXPECT_STREQ(out, "050324 07:09");
    g_cfg.longDate = 1;
    g_cfg.dateFmt = 0;
    FormatItemDate(&it, out, sizeof out);
    EXPECT_STREQ(out, "20240305 07:09");
    it.year = 2000;
    g_cfg.longDate = 0;
    FormatItemDate(&it, out, sizeof out);
    EXPECT_STREQ(out, "000305 07:09");

    int y = 2023, mo = 3, d = 1, h = 2;
    ShiftTime(-5, &y, &mo, &d, &h);
    EXPECT_EQ(std::vector<int>({y, mo, d, h}), std::vector<int>({2023, 2, 28, 21}));
    y = 2023, mo = 12, d = 31, h = 23;
    ShiftTime(3, &y, &mo, &d, &h);
    EXPECT_EQ(std::vector<int>({y, mo, d, h}), std::vector<int>({2024, 1, 1, 2}));
    y = 2023, mo = 1, d = 1, h = 1;
    ShiftTime(-2, &y, &mo, &d, &h);
    EXPECT_EQ(std::vector<int>({y, mo, d, h}), std::vector<int>({2022, 12, 31, 23}));
    y = 2023, mo = 6, d = 10, h = 0;
    ShiftTime(-5, &y, &mo, &d, &h);
    EXPECT_EQ(std::vector<int>({y, mo, d, h}), std::vector<int>({2023, 6, 10, 0})) << "no time: not shifted";

    // Applied while decoding.
    RemoteList r("-rw-r--r--   1 joe  staff   1 Mar  1 02:00 early\r\n");
    g_session.timeOffset = -5;
    r.Sorted(1);
    HGLOBAL h1 = (HGLOBAL)SendMessageA(r.w.Item(IDC_RLIST), LB_GETITEMDATA, 1, 0);
    ListItem *e = (ListItem *)GlobalLock(h1);
    ASSERT_TRUE(e);
    EXPECT_EQ(e->month, 2);
    EXPECT_GE(e->day, 28);
    EXPECT_EQ(e->hour, 21);
    GlobalUnlock(h1);
    g_session.timeOffset = 0;
}

TEST(ClientListing, HostileListingsKeepTheClientRunning)
{
    std::string listing;
    // A line of 10,000 bytes is skipped whole, not decoded in pieces.
    listing += "-rw-r--r--   1 joe  staff   1 Jan  2  2023 " + std::string(10000, 'L') + "\r\n";
    // A name of 300 characters.
    listing += "-rw-r--r--   1 joe  staff   2 Jan  2  2023 " + std::string(300, 'N') + "\r\n";
    for (int i = 0; i < 100000; ++i)
        listing += "-rw-r--r--   1 joe  staff " + std::to_string(i) + " Jan  2  2023 file" + std::to_string(i) + "\r\n";
    listing += "garbage \x01\x02\xff line\r\n\r\n";
    RemoteList r(listing);
    DWORD t0 = GetTickCount();
    Names names = r.Sorted(4);
    EXPECT_LT(GetTickCount() - t0, 60000u);
    for (const auto &n : names) {
        ASSERT_LT(n.size(), 256u);
        ASSERT_EQ(n.find("LLLL"), std::string::npos);
    }
    // Past the table of movable blocks the records come from fixed ones.
    EXPECT_GE(names.size(), 100001u);
    EXPECT_LE(names.size(), 100002u);
    EXPECT_EQ(names[0], "..");
    EXPECT_EQ(names.back(), "file99999");
}

TEST(ClientListing, MvsMemberLists)
{
    std::string header(70, ' ');
    header.replace(0, 4, "Name");
    header[44] = 'F';
    header[45] = 'B';
    header[61] = 'P';
    header[62] = 'O';
    header[64] = 'N';
    header[65] = 'O';
    std::string members = "MEMBER1   MEMB2     M3\r\nLASTONE   \r\n";
    RemoteList r(header + "\r\n" + members, 6018);
    Names names = r.Sorted(1);
    EXPECT_EQ(names, (Names{"..", "LASTONE", "M3", "MEMB2", "MEMBER1"}));
}
