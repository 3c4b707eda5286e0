// UNIX-style listings: the generic decoder, the permission prelude, the
// date rules and normalisation, and the servers with their own ls columns.
#include "listing_test_util.h"
#include "lineutil.h"

namespace {

// Pins "now" for the last-year rule for the life of a test.
struct PinnedClock {
    PinnedClock(int year, int month) { TesselSetClockForTests(year, month); }
    ~PinnedClock() { TesselSetClockForTests(0, 0); }
};

const char *const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                               "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

}  // namespace

TEST(UnixDecoder, WholeListingWithLinksAndBlanks)
{
    PinnedClock clock(2024, 3);
    struct {
        const char *line;
        Want want;
        unsigned mode;
    } rows[] = {
        {"drwxr-xr-x   5 joe      staff        512 Jan 12  2023 .",
         {".", 4, 2023, 1, 12, 0, 0, 512}, 0755},
        {"-rw-r--r--   1 joe      staff       1834 Mar  3 09:15 README",
         {"README", 0, 2024, 3, 3, 9, 15, 1834}, 0644},
        {"lrwxrwxrwx   1 joe      staff         11 Feb 28 17:02 latest -> releases/v2",
         {"latest", 2, 2024, 2, 28, 17, 2, 11}, 0777},
        {"drwxr-sr-x   2 joe      staff        512 Apr  1 12:00 my documents/",
         {"my documents", 4, 2023, 4, 1, 12, 0, 512}, 0745},
        {"-rw-r-----   1 joe      staff         77 Dec 24 23:59 notes for  2023.txt",
         {"notes for  2023.txt", 0, 2023, 12, 24, 23, 59, 77}, 0640},
        {"-rwxr-x---   1 joe      staff 5000000000 Nov 30  2022 big.iso",
         {"big.iso", 0, 2022, 11, 30, 0, 0, 0xFFFFFFFFu}, 0750},
        {"-rw-r--r--   1 joe        1834 Mar  3 09:15 no group.txt",
         {"no group.txt", 0, 2024, 3, 3, 9, 15, 1834}, 0644},
        {"drwxr-xr-x   1 joe         512 Mar  3 09:15 lib -> /usr/lib/",
         {"lib", 2, 2024, 3, 3, 9, 15, 512}, 0755},
    };
    for (auto &row : rows)
        for (int type : {6000, 6009, 6010, 6020, 6033, 6034, 4711}) {
            DirEntry e = Decode(type, row.line);
            ExpectEntry(e, row.want, std::to_string(type) + ": " + row.line);
            EXPECT_EQ(e.mode, row.mode) << row.line;
            EXPECT_EQ(e.modeFlags, 1u) << row.line;
        }
    ExpectNoEntry(6010, "total 24");
    ExpectNoEntry(6010, "TOTAL 24");
    ExpectNoEntry(6010, "Total of it");
    ExpectNoEntry(6045, "total 3");
    ExpectNoEntry(6010, "");
    // Too few columns: the last word is the name, and "d" a directory.
    ExpectLine(6010, "drwx tools", {"tools", 4, 0, 0, 0, 0, 0, 0});
    ExpectLine(6010, "justaname", {"justaname", 0, 0, 0, 0, 0, 0, 0});
}

TEST(UnixDecoder, TimeOfDayInALaterMonthIsLastYear)
{
    for (int now = 1; now <= 12; ++now) {
        PinnedClock clock(2024, now);
        for (int month = 1; month <= 12; ++month) {
            int want = month > now ? 2023 : 2024;
            std::string m = kMonths[month - 1];
            DirEntry e = Decode(6010, "-rw-r--r--  1 joe staff 10 " + m + " 15 10:21 f");
            EXPECT_EQ(e.year, want) << "now " << now << ", entry " << m;
            EXPECT_EQ(e.month, month);
            e = Decode(6000, "-rw-r--r--  1 joe 10 " + m + " 15 9:05 f");
            EXPECT_EQ(e.year, want) << "no group; now " << now << ", entry " << m;
            EXPECT_EQ(e.hour, 9);
            EXPECT_EQ(e.minute, 5);
        }
    }
}

TEST(UnixDecoder, LocalClockWhenNotPinned)
{
    TesselSetClockForTests(0, 0);
    int year = 0, month = 0;
    tessel::listing::CurrentYearMonth(&year, &month);
    EXPECT_GE(year, 2024);
    EXPECT_TRUE(month >= 1 && month <= 12);
    DirEntry e = Decode(6010, "-rw-r--r--  1 joe staff 10 Jan  1 00:00 f");
    EXPECT_EQ(e.year, year);  // January is never later than now
}

TEST(UnixDecoder, PermissionPreludeAndNormalisation)
{
    // "s" or "t" as the owner's or the others' execute letter: no mode at all.
    DirEntry e = Decode(6010, "-rwsr-xr-x 1 root wheel 10 Jan 1 2020 su");
    EXPECT_EQ(e.modeFlags, 0u);
    EXPECT_EQ(e.mode, 0u);
    e = Decode(6010, "drwxrwxrwt 9 root wheel 10 Jan 1 2020 tmp");
    EXPECT_EQ(e.modeFlags, 0u);
    // "s" as the group's: that digit reads 4 + 0 + 0.
    e = Decode(6010, "-rwxr-sr-x 1 root mail 10 Jan 1 2020 mail");
    EXPECT_EQ(e.modeFlags, 1u);
    EXPECT_EQ(e.mode, 0745u);
    // The prelude runs for every family, wherever the letters appear.
    e = Decode(6043, "-rw-------  something");
    EXPECT_EQ(e.mode, 0600u);
    EXPECT_EQ(e.modeFlags, 1u);
    EXPECT_EQ(Decode(6010, "-rw-r--r-- ").modeFlags, 0u);  // 10 characters are too few

    ExpectLine(6010, "-rw-r--r-- 1 a b 1 Jan 40 2040 later",
               {"later", 0, 2038, 1, 31, 0, 0, 1});
    ExpectLine(6010, "-rw-r--r-- 1 a b 1 Jan 2 101 old", {"old", 0, 2001, 1, 2, 0, 0, 1});
    ExpectLine(6010, "-rw-r--r-- 1 a b 1 Feb 3 98 short", {"short", 0, 1998, 2, 3, 0, 0, 1});
    ExpectLine(6010, "-rw-r--r-- 1 a b 1 Feb 3 99999999999999999999 huge",
               {"huge", 0, 2038, 2, 3, 0, 0, 1});
}

TEST(UnixFamilies, UniTreePeterHellSoft)
{
    PinnedClock clock(2024, 3);
    ExpectLine(6045, "-rw-r--r--   1 joe  staff   2 fam  1834 Mar  3 09:15 data set.bin",
               {"data set.bin", 0, 2024, 3, 3, 9, 15, 1834});
    ExpectLine(6045, "drwxr-xr-x   1 joe  staff   2 fam   512 Jan  5  2021 archive/",
               {"archive", 4, 2021, 1, 5, 0, 0, 512});
    ExpectLine(6045, "drwxr-xr-x short", {"short", 4, 0, 0, 0, 0, 0, 0});

    ExpectLine(6015, "drwxr-xr-x  folder   3 Mar  3 09:15 Projects 98",
               {"Projects 98", 4, 2024, 3, 3, 9, 15, 3});
    ExpectLine(6015, "-rw-r--r--  1634  6412   8046 Jan  5  2021 Read Me",
               {"Read Me", 0, 2021, 1, 5, 0, 0, 8046});
    ExpectNoEntry(6015, "total 8");

    ExpectLine(6041, "-rw-r--r--  1 owner  1834 Mar  3 09:15 server.nlm",
               {"server.nlm", 0, 2024, 3, 3, 9, 15, 1834});
    ExpectLine(6041, "d---------  1 owner   512 Mar  3 09:15 SYSTEM",
               {"SYSTEM", 4, 2024, 3, 3, 9, 15, 0});
    ExpectNoEntry(6041, "Total 2");
}

TEST(UnixFamilies, NetWare)
{
    ExpectLine(6035, "d [RWCEAFMS] Supervisor   512 Apr 11 1997 11:24 pm PUBLIC",
               {"PUBLIC", 4, 1997, 4, 11, 23, 24, 512});
    ExpectLine(6035, "- [RWCEAFMS] joe         1834 Apr 11 1997 12:05 am LOGIN.EXE",
               {"LOGIN.EXE", 0, 1997, 4, 11, 0, 5, 1834});
    ExpectLine(6035, "- [RWCEAFMS] joe         1834 Apr 11 1997 12:05 pm NOON.DAT",
               {"NOON.DAT", 0, 1997, 4, 11, 12, 5, 1834});
    ExpectLine(6035, Cols({{0, "-rw-rw-rw-"}, {44, "1834"}, {51, "Apr"}, {55, "11, 97  3:05 pm Report File.txt"}}),
               {"Report File.txt", 0, 1997, 4, 11, 15, 5, 1834});
    ExpectLine(6035, Cols({{0, "drw-rw-rw-"}, {45, "512"}, {51, "DEC"}, {55, " 1, 03 12:30am SYS"}}),
               {"SYS", 4, 2003, 12, 1, 0, 30, 512});
    ExpectNoEntry(6035, "total 4");
    ExpectNoEntry(6035, "x[RWCEAFMS] other form");
}
