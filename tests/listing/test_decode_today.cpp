// Listings as today's servers write them, per family: whole names (byte for
// byte), kinds, sizes and dates, and no entry for what is not an entry.
// Every line here is made up for these tests.
#include "listing_test_util.h"
#include "lineutil.h"

#include <string>

namespace {

struct PinnedClock {
    PinnedClock(int year, int month) { TesselSetClockForTests(year, month); }
    ~PinnedClock() { TesselSetClockForTests(0, 0); }
};

const int kUnixTypes[] = {6000, 6010, 6020, 6033};

void ExpectUnix(const std::string &line, const Want &want)
{
    for (int type : kUnixTypes)
        ExpectLine(type, line, want);
}

void ExpectNoUnixEntry(const std::string &line)
{
    for (int type : kUnixTypes)
        ExpectNoEntry(type, line);
}

}  // namespace

TEST(TodayUnix, OwnerAndGroupWithBlanksMissingOrRunTogether)
{
    PinnedClock clock(2024, 6);
    ExpectUnix("drwxr-xr-x 2 ann  Domain Users  4096 Mar  2 15:13 reports",
               {"reports", 4, 2024, 3, 2, 15, 13, 4096});
    ExpectUnix("-rw-r--r--   1 John Smith  Domain Users   1834 Jan 15  2020 budget 2020.xlsx",
               {"budget 2020.xlsx", 0, 2020, 1, 15, 0, 0, 1834});
    ExpectUnix("-rw-r--r--   1 ann   1834 Feb  1  2021 notes.txt", {"notes.txt", 0, 2021, 2, 1, 0, 0, 1834});
    ExpectUnix("-rw-r--r--   1 1001     77 Feb  1 10:00 x.bin", {"x.bin", 0, 2024, 2, 1, 10, 0, 77});
    ExpectUnix("-rw-r--r-- ftp ftp 512 Mar  1  2020 no links", {"no links", 0, 2020, 3, 1, 0, 0, 512});
    // A size too wide for its column runs into the group.
    ExpectUnix("-rw-r--r-- 1 webowner staffgroup9876543 Jul  4 08:05 x", {"x", 0, 2023, 7, 4, 8, 5, 9876543});
    // Owner and group that look like parts of a date are not taken for one.
    ExpectUnix("-rw-r--r-- 1 Jan 5 4096 Mar  3  2011 y", {"y", 0, 2011, 3, 3, 0, 0, 4096});
    ExpectUnix("-rw-r--r--+ 1 ann staff 10 Mar  3  2011 acl", {"acl", 0, 2011, 3, 3, 0, 0, 10});
    ExpectUnix("crw-rw-rw- 1 root root 1,   3 Mar  3  2011 null", {"null", 0, 2011, 3, 3, 0, 0, 3});
    ExpectUnix("-------r--         326  1391972  1392298 Nov 22  1995 Mega Phone.sit",
               {"Mega Phone.sit", 0, 1995, 11, 22, 0, 0, 1392298});
    ExpectUnix("drwxrwxr-x               folder        2 May 10  1996 network", {"network", 4, 1996, 5, 10, 0, 0, 2});
    // A link count run into the permissions, Plan 9's append-only files, a
    // link whose target is not shown.
    ExpectUnix("drwxr-xr-x1234 266 111 90112 Jun 21  2001 .many", {".many", 4, 2001, 6, 21, 0, 0, 90112});
    ExpectUnix("ar-xr-xr-x 2 none none 512 Apr 26  2011 log", {"log", 0, 2011, 4, 26, 0, 0, 512});
    ExpectUnix("lrwxrwxrwx 1 0 0 26 Sep 18  2008 pub", {"pub", 2, 2008, 9, 18, 0, 0, 26});
    // Russian month abbreviations, the day first.
    ExpectUnix("-rw-r--r-- 1 ftp ftp 123 23 \xd0\xbc\xd0\xb0\xd0\xb9 2011 report",
               {"report", 0, 2011, 5, 23, 0, 0, 123});
    // Sizes as ls -h writes them, as near as they tell.
    ExpectUnix("-rw-r--r-- 1 ann staff 33.5k Oct  5  2011 human", {"human", 0, 2011, 10, 5, 0, 0, 34304});
    ExpectUnix("-rw-r--r-- 1 ann staff 2G Oct  5  2011 huge", {"huge", 0, 2011, 10, 5, 0, 0, 2147483648u});
    // ls -i and ls -s: the inode number and the block count first.
    ExpectUnix("  1234567 -rw-r--r-- 1 ann staff 1834 Mar  3  2011 inode", {"inode", 0, 2011, 3, 3, 0, 0, 1834});
    ExpectUnix("1234567    8 drwxr-x--- 1 ann staff 1834 Mar  3  2011 both", {"both", 4, 2011, 3, 3, 0, 0, 1834});
    EXPECT_EQ(Decode(6010, "  1234567 -rw-r----- 1 ann staff 1834 Mar  3  2011 inode").mode, 0640u);
    ExpectNoUnixEntry("1 2 3 -rw-r--r-- 1 ann staff 1834 Mar  3  2011 three numbers");
    // NetWare's own permission column keeps the columns of ls.
    ExpectUnix("d [R----F--] supervisor            512       Jan 16  2011    login", {"login", 4, 2011, 1, 16, 0, 0, 512});
    ExpectUnix("- [R----F--] rhesus             214059       Oct 20  2011    cx.exe", {"cx.exe", 0, 2011, 10, 20, 0, 0, 214059});
}

TEST(TodayUnix, DateShapes)
{
    PinnedClock clock(2024, 6);
    const struct {
        const char *date;
        Want want;
    } rows[] = {
        {"2011-03-14 09:30", {"f", 0, 2011, 3, 14, 9, 30, 1834}},
        {"2011-03-14 09:30:59", {"f", 0, 2011, 3, 14, 9, 30, 1834}},
        {"03-14 2011", {"f", 0, 2011, 3, 14, 0, 0, 1834}},
        {"03-14 09:30", {"f", 0, 2024, 3, 14, 9, 30, 1834}},
        {"11-14 09:30", {"f", 0, 2023, 11, 14, 9, 30, 1834}},
        {"2011/03/14 09:30", {"f", 0, 2011, 3, 14, 9, 30, 1834}},
        {"14-03-2011", {"f", 0, 2011, 3, 14, 0, 0, 1834}},
        {"2011.03.14", {"f", 0, 2011, 3, 14, 0, 0, 1834}},
        {"14.03.2011", {"f", 0, 2011, 3, 14, 0, 0, 1834}},
        {"Mar 14, 2011 09:30", {"f", 0, 2011, 3, 14, 9, 30, 1834}},
        {"Mar 14, 2011", {"f", 0, 2011, 3, 14, 0, 0, 1834}},
        {"Mar 14, 11 09:30", {"f", 0, 2011, 3, 14, 9, 30, 1834}},
        {"14-03-11", {"f", 0, 2011, 3, 14, 0, 0, 1834}},
        {"14.03.11 09:30", {"f", 0, 2011, 3, 14, 9, 30, 1834}},
        {"14-mar-11", {"f", 0, 2011, 3, 14, 0, 0, 1834}},
        {"14-MAR-2011 09:30", {"f", 0, 2011, 3, 14, 9, 30, 1834}},
        {"14 Mar 2011", {"f", 0, 2011, 3, 14, 0, 0, 1834}},
        {"14 Mar 09:30", {"f", 0, 2024, 3, 14, 9, 30, 1834}},
        {"Sept 14  2011", {"f", 0, 2011, 9, 14, 0, 0, 1834}},
        {"MAR 14 09:30", {"f", 0, 2024, 3, 14, 9, 30, 1834}},
        {"03/14/11", {"f", 0, 2011, 3, 14, 0, 0, 1834}},
        {"Mar 14 10:21:33 2011", {"f", 0, 2011, 3, 14, 10, 21, 1834}},
        {"24. Mar 2011", {"f", 0, 2011, 3, 24, 0, 0, 1834}},
        {"14 Okt 2011", {"f", 0, 2011, 10, 14, 0, 0, 1834}},
        {"Dez 14  2011", {"f", 0, 2011, 12, 14, 0, 0, 1834}},
        {"M\xc3\xa4r 14  2011", {"f", 0, 2011, 3, 14, 0, 0, 1834}},
    };
    for (const auto &row : rows)
        ExpectUnix(std::string("-rw-r--r--   1 ann  staff  1834 ") + row.date + " f", row.want);
    // GNU ls pads an old ISO date to the width of a recent one, after it.
    ExpectUnix("-rw-r--r-- 1 ann staff 1834 2011-03-14  old iso.txt", {"old iso.txt", 0, 2011, 3, 14, 0, 0, 1834});
    // Not dates: a 25th month, a 32nd day, a 25th hour.
    ExpectNoUnixEntry("-rw-r--r-- 1 ann staff 1834 2011-25-14 09:30 f");
    // The columns of the first rules still give a name where the date is
    // out of range; the date is clamped.
    ExpectUnix("-rw-r--r-- 1 ann staff 1834 Mar 32 2011 f", {"f", 0, 2011, 3, 31, 0, 0, 1834});
    ExpectNoUnixEntry("-rw-r--r-- 1 ann staff 1834 2011-03-14 25:30 f");
}

TEST(TodayUnix, NamesKeepEveryBlank)
{
    PinnedClock clock(2024, 6);
    // Exactly one blank after a time of day: the rest is the name.
    ExpectUnix("-rw-r--r-- 1 ann staff 1834 Dec 02 10:00  leading", {" leading", 0, 2023, 12, 2, 10, 0, 1834});
    // A year is padded to the width of a time: one blank more may follow it.
    ExpectUnix("-rw-r--r-- 1 ann staff 1834 Dec 02  2009  two  blanks ", {"two  blanks ", 0, 2009, 12, 2, 0, 0, 1834});
    ExpectUnix("-rw-r--r-- 1 ann staff 1834 Dec 02  2009 trailing  ", {"trailing  ", 0, 2009, 12, 2, 0, 0, 1834});
    ExpectUnix("-rw-r--r-- 1 ann staff 1834 Dec 02  2009 inner   runs", {"inner   runs", 0, 2009, 12, 2, 0, 0, 1834});
    ExpectUnix("-rw-r--r-- 1 ann staff 1834 Mar 14  2011 Mar 15  2012 notes", {"Mar 15  2012 notes", 0, 2011, 3, 14, 0, 0, 1834});
    ExpectUnix("-rw-r--r-- 1 ann staff 1834 Mar 14  2011 4096 Mar 14  2011 x", {"4096 Mar 14  2011 x", 0, 2011, 3, 14, 0, 0, 1834});
    // Names that look like a time or a year are names after a whole date.
    ExpectUnix("-rw-r--r-- 1 ann staff 1834 Mar 14  2011 10:21", {"10:21", 0, 2011, 3, 14, 0, 0, 1834});
    ExpectUnix("-rw-r--r-- 1 ann staff 1834 Mar 14 10:21 2011", {"2011", 0, 2024, 3, 14, 10, 21, 1834});
    ExpectUnix("lrwxrwxrwx 1 ann staff 11 Mar 14  2011 my link -> my target", {"my link", 2, 2011, 3, 14, 0, 0, 11});
    ExpectUnix("drwxr-xr-x 2 ann staff 512 Mar 14  2011 my dir/", {"my dir", 4, 2011, 3, 14, 0, 0, 512});
    // A "dir" in a file's name does not make it a directory.
    ExpectUnix("-rw-r--r-- 1 ann staff 1834 Mar 14  2011 my dir notes", {"my dir notes", 0, 2011, 3, 14, 0, 0, 1834});
    // Blanks written as "\ " by ls -b.
    ExpectUnix("-rw-r--r-- 1 ann staff 1834 Mar 14  2011 A\\ B", {"A B", 0, 2011, 3, 14, 0, 0, 1834});
    ExpectUnix("-rw-r--r-- 1 ann staff 1834 Mar 14  2011 A\\ B\\\\C", {"A B\\C", 0, 2011, 3, 14, 0, 0, 1834});
    // A backslash without escaped blanks, or beside a plain blank, is part of the name.
    ExpectUnix("-rw-r--r-- 1 ann staff 1834 Mar 14  2011 A\\B", {"A\\B", 0, 2011, 3, 14, 0, 0, 1834});
    ExpectUnix("-rw-r--r-- 1 ann staff 1834 Mar 14  2011 a\\ b c", {"a\\ b c", 0, 2011, 3, 14, 0, 0, 1834});
    // Bytes above 127 are kept as they are.
    ExpectUnix("-rw-r--r-- 1 ann staff 1834 Mar 14  2011 caf\xc3\xa9 \xff.txt",
               {"caf\xc3\xa9 \xff.txt", 0, 2011, 3, 14, 0, 0, 1834});
}

TEST(TodayUnix, SizesWithSeparatorsAndAbove4GiB)
{
    ExpectUnix("-rw-r--r-- 1 ann staff 5368709120 Mar 14  2011 big.iso", {"big.iso", 0, 2011, 3, 14, 0, 0, 0xFFFFFFFFu});
    ExpectUnix("-rw-r--r-- 1 ann staff 1,234,567 Mar 14  2011 grouped", {"grouped", 0, 2011, 3, 14, 0, 0, 1234567});
    ExpectUnix("-rw-r--r-- 1 ann staff 4294967295 Mar 14  2011 edge", {"edge", 0, 2011, 3, 14, 0, 0, 0xFFFFFFFFu});
    ExpectUnix("-rw-r--r-- 1 ann staff 4294967294 Mar 14  2011 below", {"below", 0, 2011, 3, 14, 0, 0, 4294967294u});
    ExpectUnix("-rw-r--r-- 1 ann staff 99999999999999999999999 Mar 14  2011 huge",
               {"huge", 0, 2011, 3, 14, 0, 0, 0xFFFFFFFFu});
}

TEST(TodayUnix, NoiseIsNoEntry)
{
    for (const char *line : {
             "ls: cannot open directory '.': Permission denied",
             "ls: /pub/x: No such file or directory",
             "/pub:",
             ".:",
             "pub/incoming:",
             "total 0",
             "drwxr-xr-x 2 ann staff 4096 Mar  2 15:13",
             "drwxr-xr-x 2 ann staff 4096 Mar  2  2011",
             "drwxr-xr-x 2 ann staff 4096 Mar  2  2011   ",
             "-rw-r--r-- 1 ann staff 4096",
             "-rw-r--r-- 1 ann staff 4096 yesterday x",
             "garbage -rw-r--r-- 1 ann staff 1834 Mar 14  2011 x",
             "550 No files found.",
             "Permission denied",
             "          ",
             "\t",
         })
        ExpectNoUnixEntry(line);
    // A bare name (a server that lists names only) stays an entry.
    ExpectUnix("README", {"README", 0, 0, 0, 0, 0, 0, 0});
}

TEST(TodayWindows, IsoDatesSeparatorsAndBothOrders)
{
    const struct {
        const char *line;
        Want want;
    } rows[] = {
        {"2013-09-02  18:48       <DIR>          Reports", {"Reports", 4, 2013, 9, 2, 18, 48, 0}},
        {"2013-09-02  19:06                9,730 notes.txt", {"notes.txt", 0, 2013, 9, 2, 19, 6, 9730}},
        {"02.09.2013  19:06                9.730 Notizen und Listen.txt",
         {"Notizen und Listen.txt", 0, 2013, 9, 2, 19, 6, 9730}},
        {"09/02/2013  07:06 PM         1,234,567 report final.doc",
         {"report final.doc", 0, 2013, 9, 2, 19, 6, 1234567}},
        {"02-15-2024  03:31PM       <DIR>          four digit year", {"four digit year", 4, 2024, 2, 15, 15, 31, 0}},
        {"2013-09-02  19:06       6,442,450,944 big.vhd", {"big.vhd", 0, 2013, 9, 2, 19, 6, 0xFFFFFFFFu}},
        {"2013-09-02  12:06 AM               1 midnight", {"midnight", 0, 2013, 9, 2, 0, 6, 1}},
        {"25-12-2013  08:00               12 boxing day", {"boxing day", 0, 2013, 12, 25, 8, 0, 12}},
    };
    for (const auto &row : rows) {
        ExpectLine(6016, row.line, row.want);
        // The same lines from a server not (yet) known to be Windows.
        ExpectLine(6000, row.line, row.want);
        ExpectLine(6010, row.line, row.want);
    }
    for (const char *line : {
             "2013-09-02  18:48       <DIR>",
             "2013-09-02  18:48                 123",
             " Volume in drive C has no label.",
             " Directory of C:\\inetpub",
             "               3 File(s)         10,240 bytes",
             "2013-09-02  18:48       <DIR>x         Reports",
             "2013-13-02  18:48       <DIR>          Reports",
             "11-02-09  05:32PM       <NOTADIR>      NT",
             "11-02-09  05:32PM                 -1   NT",
             "12-25-10  12:00XM                  0   what time",
             "12-25-10  13:00PM                  0   afternoon twice",
             "12-25-10  12:60                    0   sixty minutes",
             "11-02     05:32PM       <DIR>          no year",
         }) {
        ExpectNoEntry(6016, line);
        ExpectNoEntry(6010, line);
    }
}

TEST(TodayOs2, NamesWithBlanksAndLinesWithoutNames)
{
    ExpectLine(6042, "0 DIR 11-02-09  17:32       My Projects", {"My Projects", 4, 2009, 11, 2, 17, 32, 0});
    ExpectLine(6042, "         0           DIR   11-02-09   17:32  My Projects", {"My Projects", 4, 2009, 11, 2, 17, 32, 0});
    ExpectLine(6042, "      1834      A    05-12-97   16:44  Read  Me.txt", {"Read  Me.txt", 0, 1997, 5, 12, 16, 44, 1834});
    ExpectLine(6042, "   1,234,567      A    05-12-97   16:44  big", {"big", 0, 1997, 5, 12, 16, 44, 1234567});
    ExpectNoEntry(6042, "         0           DIR   05-12-97   16:44");
    ExpectNoEntry(6042, "         0           DIR   05-12-97");
    ExpectNoEntry(6042, "SYS0002: The system cannot find the file specified.");
    // The other OS/2 server: its columns, or its words where the widths differ.
    ExpectLine(6048, Cols({{13, "1834"}, {23, "A"}, {35, "03-04-05"}, {46, "09:15"}, {53, "Read Me.txt"}}),
               {"Read Me.txt", 0, 2005, 3, 4, 9, 15, 1834});
    ExpectLine(6048, "0 DIR 11-02-09  17:32       My Projects", {"My Projects", 4, 2009, 11, 2, 17, 32, 0});
    ExpectNoEntry(6048, "         0           DIR   05-12-97   16:44");
}

TEST(TodayMvs, UnixFilesAndDataSetLayouts)
{
    PinnedClock clock(2024, 6);
    ExpectLine(6018, "-rw-r--r--   1 OMVSKERN SYS1        1834 Mar 14  2011 hello world.c",
               {"hello world.c", 0, 2011, 3, 14, 0, 0, 1834});
    ExpectLine(6018, "drwxr-xr-x   2 IBMUSER  SYS1        8192 Mar 14 10:21 bin", {"bin", 4, 2024, 3, 14, 10, 21, 8192});
    ExpectLine(6018, "lrwxrwxrwx   1 IBMUSER  SYS1          12 Mar 14 10:21 lib -> /usr/lib", {"lib", 2, 2024, 3, 14, 10, 21, 12});
    ExpectLine(6018, "SMS019 3390   2011/03/14  1   15  FB      80 27920  PO-E  USER.LIB",
               {"USER.LIB", 4, 2011, 3, 14, 0, 0, 0});
    ExpectLine(6018, "VOL1   3390   2011/03/14  1   15  FB      80 27920  PS  USER.DATA",
               {"USER.DATA", 0, 2011, 3, 14, 0, 0, 0});
    ExpectLine(6018, "WYOSPT 3390   2011/03/14  1 1234  VB   27994 27998  PS  USER.BIG.LOG",
               {"USER.BIG.LOG", 0, 2011, 3, 14, 0, 0, 0});
    ExpectLine(6018, "WYOSPT 3390   **NONE**    1   15  FB      80 27920  PS  USER.NEVER", {"USER.NEVER", 0, 0, 0, 0, 0, 0, 0});
    ExpectLine(6018, "Migrated                                                USER.OLD", {"USER.OLD", 0, 0, 0, 0, 0, 0, 0});
    ExpectLine(6018, "Pseudo Directory                                        USER.SUB", {"USER.SUB", 4, 0, 0, 0, 0, 0, 0});
    ExpectNoEntry(6018, "Volume Unit    Referred Ext Used Recfm Lrecl BlkSz Dsorg Dsname");
    ExpectNoEntry(6018, "WYOSPT 3390   2011/03/14  1   15  VSAM                       USER.KSDS");
}

TEST(TodayAs400, MembersNamedThroughTheirFile)
{
    tessel::listing::ResetAs400State();
    ExpectLine(6017, "CFT            45056 04/12/98 14:19:31 *FILE      AS400FILE.FILE",
               {"AS400FILE.FILE", 0, 1998, 4, 12, 14, 19, 45056});
    ExpectLine(6017, "CFT                                    *MEM       AS400FILE.FILE/MEMBER1.MBR",
               {"AS400FILE.FILE/MEMBER1.MBR", 0, 1998, 4, 12, 14, 19, 45056});
    ExpectLine(6017, "CFT                                    *MEM       /QSYS.LIB/CFTLIB.LIB/AS400FILE.FILE/M2.MBR",
               {"AS400FILE.FILE/M2.MBR", 0, 1998, 4, 12, 14, 19, 45056});
}

TEST(TodayTandem, NamesOfAnyLength)
{
    ExpectLine(6030, "LONGFILENAME1      101      123456  5-APR-97 10:21:05 255,255 \"oooo\"",
               {"LONGFILENAME1", 0, 1997, 4, 5, 10, 21, 123456});
    ExpectLine(6030, "ABCDEFGHIJ 0 3024 17-Jun-10 16:44:21   8,255 \"NUNU\"", {"ABCDEFGHIJ", 0, 2010, 6, 17, 16, 44, 3024});
    ExpectLine(6030, "ALTDATA        0            3024 17-Jun-10 16:44:21   8,255 \"NUNU\"",
               {"ALTDATA", 0, 2010, 6, 17, 16, 44, 3024});
    ExpectNoEntry(6030, "File         Code             EOF  Last Modification    Owner  RWEP");
}

TEST(TodayBadInput, WholeNameOrNoEntry)
{
    PinnedClock clock(2024, 6);
    const std::string prefix = "-rw-r--r-- 1 ann staff 1834 Mar 14 10:21 ";
    // 255 characters with blanks at both ends: the whole name.
    std::string name = " " + std::string(253, 'n') + " ";
    ExpectUnix(prefix + name, {name.c_str(), 0, 2024, 3, 14, 10, 21, 1834});
    // One more: no entry, not a shortened name.
    ExpectNoUnixEntry(prefix + name + "x");
    ExpectNoUnixEntry(prefix + " " + std::string(300, 'n') + " ");
    // A NUL ends the line.
    ExpectUnix(std::string("-rw-r--r-- 1 ann staff 1834 Mar 14 10:21 ab\0cd", 46), {"ab", 0, 2024, 3, 14, 10, 21, 1834});
    ExpectUnix(prefix + "crlf\r\n", {"crlf", 0, 2024, 3, 14, 10, 21, 1834});
    ExpectUnix(prefix + "lfcr\n\r", {"lfcr", 0, 2024, 3, 14, 10, 21, 1834});
    for (int type = 6000; type <= 6051; ++type) {
        for (const std::string &line : {std::string(""), std::string(300, ' '), std::string(300, '7'),
                                        std::string("Mar 14 10:21"), std::string("-rw-r--r-- 1 a b 1 Mar 14 10:21"),
                                        std::string("2013-09-02  18:48"), std::string(100000, 'x')}) {
            DirEntry e;
            int n = TESSEL_DecodeLine(&e, line.c_str(), type, "", "");
            EXPECT_EQ(size_t(n), strlen(e.name)) << type;
            // A name is never a piece of a date group.
            EXPECT_STRNE(e.name, "10:21") << type << ": " << line;
            EXPECT_STRNE(e.name, "18:48") << type << ": " << line;
        }
    }
}

TEST(TodayDosList, GroupedSizes)
{
    for (int type : {6001, 6008, 6047})
        ExpectLine(type, "annual report.doc     1,234,567  03-03-98  09:15a",
                   {"annual report.doc", 0, 1998, 3, 3, 9, 15, 1234567});
}
