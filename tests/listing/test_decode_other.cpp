// VMS and RSX, CDC Cyber, the PC and Macintosh servers and the other
// systems.
#include "listing_test_util.h"
#include "lineutil.h"

TEST(VmsDecoder, UcxListingWithLongNames)
{
    const char *dir = "SYS$USER:[JOE]";
    ExpectNoEntry(6012, "Directory SYS$USER:[JOE]", dir);
    ExpectLine(6012, Cols({{0, "LOGIN.COM;3"}, {20, "2/3"}, {27, "12-FEB-1999"}, {39, "09:30:00"}, {49, "[JOE]"}}),
               {"LOGIN.COM;3", 0, 1999, 2, 12, 9, 30, 1024}, dir);
    // a name too long for its column stands alone; its columns follow
    ExpectLine(6012, "AVERYLONGFILENAMEFORTHIS.DATA;12", {"AVERYLONGFILENAMEFORTHIS.DATA;12", 0, 0, 0, 0, 0, 0, 0}, dir);
    ExpectNoEntry(6012, Cols({{20, "12/12"}, {28, "1-JAN-1998"}, {39, "12:00:00"}}), dir);
    ExpectLine(6012, Cols({{0, "MAIL.DIR;1"}, {20, "1/3"}, {27, "18-MAR-1997"}, {39, "09:42:51"}}),
               {"MAIL", 4, 1997, 3, 18, 9, 42, 512}, dir);
    ExpectLine(6012, Cols({{0, "SYS$USER:[JOE]NOTES.TXT;1"}, {27, "4/6"}, {31, "5-MAY-2001"}}),
               {"NOTES.TXT;1", 0, 2001, 5, 5, 0, 0, 2048}, dir);
    ExpectNoEntry(6012, "%RMS-E-FNF, file not found; no files", dir);
    ExpectNoEntry(6012, "Total of 3 files, 15/18 blocks.", dir);
}

TEST(VmsDecoder, MultiNetAndRsx)
{
    ExpectLine(6011, "LOGIN.COM;3         2   12-FEB-1999 09:30 [JOE] (RWED,RWED,RE,)",
               {"LOGIN.COM;3", 0, 0, 0, 0, 0, 0, 0});
    ExpectLine(6011, "DKA0:[JOE]TOOLS.DIR;1   1  18-MAR-1997", {"TOOLS", 4, 0, 0, 0, 0, 0, 0}, "DKA0:[JOE]");
    ExpectNoEntry(6011, "%RMS-E-FNF, file not found; no files");  // a message, not a file
    ExpectNoEntry(6011, " LOGIN.COM;3");
    ExpectNoEntry(6011, "NOSEMICOLON.TXT  1");

    ExpectLine(6019, "001002.DIR;1      1.  01-JAN-98 12:00", {"[001,002]", 4, 0, 0, 0, 0, 0, 0});
    ExpectLine(6019, "FOO.TXT;5        12.  01-JAN-98 12:00", {"FOO.TXT;5", 0, 0, 0, 0, 0, 0, 0}, "FOO");
    ExpectLine(6019, "ABCD.DIR;1", {"[ABC,  D]", 4, 0, 0, 0, 0, 0, 0});
}

TEST(CyberDecoder, FixedDate)
{
    ExpectLine(6026, Cols({{0, " PAYROLL"}, {11, "1,234"}, {23, "LOCAL"}}), {" PAYROLL", 0, 1980, 1, 1, 0, 0, 1234});
    ExpectLine(6026, Cols({{0, " CATALOG"}, {23, "DIRECTORY"}}), {" CATALOG", 4, 1980, 1, 1, 0, 0, 0});
    ExpectNoEntry(6026, "PAYROLL    1234");
    ExpectNoEntry(6026, " ");
}

TEST(PcServers, PcTcpIbmPcTcpAndOs2)
{
    ExpectLine(6002, Cols({{0, "      1834  readme.txt"}, {33, "Tue Mar 03 09:15:00 1998"}}),
               {"readme.txt", 0, 1998, 3, 3, 9, 15, 1834});
    ExpectLine(6002, Cols({{0, "     <DIR>  WINDOWS"}, {33, "Tue Mar 03 09:15:00 1998"}}),
               {"WINDOWS", 4, 1998, 3, 3, 9, 15, 0});
    ExpectNoEntry(6002, Cols({{0, "Dirs: 3"}, {33, "Tue Mar 03 09:15:00 1998"}}));

    ExpectLine(6003, Cols({{0, "03-03-98   9:15p"}, {16, "      1834"}, {40, "readme.txt"}}),
               {"readme.txt", 0, 1998, 3, 3, 21, 15, 1834});
    ExpectLine(6003, Cols({{0, "12-24-97  12:30a"}, {16, "     <DIR>"}, {40, "WINDOWS"}}),
               {"WINDOWS", 4, 1997, 12, 24, 0, 30, 0});
    ExpectNoEntry(6003, Cols({{0, " Volume Serial is 1234-5678"}, {40, "x"}}));

    ExpectLine(6048, Cols({{13, "1834"}, {23, "A"}, {35, "03-03-98"}, {46, "09:15"}, {53, "README.TXT"}}),
               {"README.TXT", 0, 1998, 3, 3, 9, 15, 1834});
    ExpectLine(6048, Cols({{16, "0"}, {18, "DIR"}, {35, "12-24-97"}, {46, "17:30"}, {53, "OS2"}}),
               {"OS2", 4, 1997, 12, 24, 17, 30, 0});
    ExpectNoEntry(6048, "short");

    ExpectLine(6042, "         0           DIR   05-12-97   16:44  DIRNAME", {"DIRNAME", 4, 1997, 5, 12, 16, 44, 0});
    ExpectLine(6042, "      1834      A    05-12-97   16:44  CONFIG SYS.BAK", {"CONFIG SYS.BAK", 0, 1997, 5, 12, 16, 44, 1834});
    ExpectNoEntry(6042, "  12 A");  // no date and time: not an entry line
}

TEST(PcServers, QvtNcsaAndVersaTerm)
{
    ExpectLine(6039, Cols({{0, "1834"}, {14, "03-03-98"}, {25, "09:15"}, {34, "readme.txt"}}),
               {"readme.txt", 0, 1998, 3, 3, 9, 15, 1834});
    ExpectLine(6039, Cols({{0, "[dir]"}, {14, "03-03-98"}, {25, "09:15"}, {34, "docs"}}), {"docs", 4, 1998, 3, 3, 9, 15, 0});
    ExpectLine(6039, Cols({{0, "long file name.txt"}, {45, "1834 03-03-98 09:15"}}),
               {"long file name.txt", 0, 1998, 3, 3, 9, 15, 1834});
    ExpectLine(6039, Cols({{0, "sub"}, {45, "[dir] 12-24-97 17:30"}}), {"sub", 4, 1997, 12, 24, 17, 30, 0});
    ExpectNoEntry(6039, "short line");

    ExpectLine(6013, "readme.txt  1834  3/3/98", {"readme.txt", 0, 0, 0, 0, 0, 0, 0});
    ExpectLine(6013, "docs/", {"docs", 4, 0, 0, 0, 0, 0, 0});
    ExpectLine(6014, "My Folder\\", {"My Folder", 4, 0, 0, 0, 0, 0, 0});
    ExpectLine(6014, "Read Me", {"Read Me", 0, 0, 0, 0, 0, 0, 0});

    ExpectLine(6040, "System Folder/.........", {"System Folder", 4, 0, 0, 0, 0, 0, 0});
    ExpectLine(6040, "readme.txt.........", {"readme.txt", 0, 0, 0, 0, 0, 0, 0});
    ExpectNoEntry(6040, "nothing here");
    std::string dots(31, '.');
    std::string file = "readme.txt" + dots.substr(10);
    ExpectLine(6040, Cols({{0, file.c_str()}, {31, "........."}, {41, "1834"}, {57, "Mar"}, {61, "03"}, {65, "09:15"},
                           {71, "P"}, {76, "1998"}}),
               {"readme.txt", 0, 1998, 3, 3, 21, 15, 1834});
    std::string folder = "Folder/" + dots.substr(7);
    ExpectLine(6040, Cols({{0, folder.c_str()}, {41, "0"}, {57, "Dec"}, {61, "24"}, {65, "12:05"}, {71, "P"}, {76, "1997"}}),
               {"Folder", 4, 1997, 12, 24, 12, 5, 0});
}

TEST(PcServers, VosAmigaKa9q)
{
    tessel::listing::ResetVosState();
    const struct {
        std::string line;
        Want want;
    } rows[] = {
        {"Files: 1  Blocks: 3", {"", 0, 0, 0, 0, 0, 0, 0}},
        {Cols({{0, "w"}, {4, "12"}, {9, "seq"}, {21, "96-04-12 10:22:33"}, {40, "foo.bar"}}), {"foo.bar", 0, 1996, 4, 12, 10, 22, 12}},
        {"Dirs: 1", {"", 0, 0, 0, 0, 0, 0, 0}},
        {Cols({{0, "m"}, {4, "2"}, {11, "96-04-12 10:22"}, {30, "subdir"}}), {"subdir", 4, 1996, 4, 12, 10, 22, 2}},
        {"Links: 1", {"", 0, 0, 0, 0, 0, 0, 0}},
        {"96-04-12 10:22  mylink -> %sys#m1>foo", {"mylink", 2, 1996, 4, 12, 10, 22, 0}},
        {"short", {"", 0, 0, 0, 0, 0, 0, 0}},
    };
    for (const auto &row : rows)
        ExpectLine(6031, row.line, row.want);

    ExpectLine(6025, "drwxr-xr-x   0 Mar  3 09:15 Devs", {"Devs", 4, 0, 0, 0, 0, 0, 0});
    ExpectLine(6025, "-rw-r--r--   1834 Mar  3 09:15 Startup-Sequence", {"Startup-Sequence", 0, 0, 0, 0, 0, 0, 0});
    ExpectLine(6025, "   <DIR>  Work Space", {"Space", 4, 0, 0, 0, 0, 0, 0});
    ExpectNoEntry(6025, "dirs: 3  files: 2");

    ExpectLine(6005, Cols({{0, "readme.txt"}, {14, "1834"}}), {"readme.txt", 0, 0, 0, 0, 0, 0, 0});
    ExpectLine(6005, Cols({{0, "a.txt"}, {41, "public/"}}), {"public", 4, 0, 0, 0, 0, 0, 0});
    ExpectNoEntry(6005, "Disk size 1234 bytes, more");
    ExpectNoEntry(6005, "tiny");
}

TEST(OtherSystems, Table)
{
    ExpectLine(6021, Cols({{0, "0.0"}, {6, "98/03/03"}, {15, "0915"}, {26, "d-ewrewr"}, {37, "1834"}, {46, "CMDS"}}),
               {"CMDS", 4, 0, 0, 0, 0, 0, 0});
    ExpectLine(6021, Cols({{0, "0.0"}, {26, "--e--wr"}, {46, "startup"}}), {"startup", 0, 0, 0, 0, 0, 0, 0});
    ExpectNoEntry(6021, "Directory of . 10:00:00");
    ExpectNoEntry(6021, " Owner    Last modified");
    ExpectNoEntry(6021, " ------- ----");

    ExpectLine(6023, " d   12  03/03/98  SUBCAT", {"SUBCAT", 4, 0, 0, 0, 0, 0, 0});
    ExpectLine(6023, " -   12  03/03/98  FILE1", {"FILE1", 0, 0, 0, 0, 0, 0, 0});
    ExpectNoEntry(6023, " x   12  03/03/98  OTHER");
    ExpectNoEntry(6023, " d  X");

    ExpectLine(6028, Cols({{0, "  12"}, {10, "03/03/98"}, {43, "PAYROLL  extra"}}), {"PAYROLL", 0, 0, 0, 0, 0, 0, 0});
    ExpectNoEntry(6028, Cols({{0, "10:15"}, {43, "PAYROLL"}}));
    ExpectNoEntry(6028, Cols({{0, "3 files listed"}, {43, "PAYROLL"}}));

    ExpectLine(6030, Cols({{0, "PAYROLL"}, {20, "101"}, {28, "123456"}, {35, " 5-APR-97 10:21:05"}}),
               {"PAYROLL", 0, 1997, 4, 5, 10, 21, 123456});
    ExpectNoEntry(6030, "File         Code             EOF  Last Modification");

    ExpectLine(6032, Cols({{0, "PAYROLL"}, {10, "128W  FB"}, {30, "1234"}, {61, "1  X"}}), {"PAYROLL", 0, 0, 0, 0, 0, 0, 0});
    ExpectLine(6032, Cols({{0, "x"}, {61, "/ACCT/GROUP/FILE"}}), {"/ACCT/GROUP/FILE", 0, 0, 0, 0, 0, 0, 0});
    ExpectNoEntry(6032, Cols({{0, "PATH= /SYS/PUB/"}, {61, "X"}}));
    ExpectNoEntry(6032, "PAYROLL  128W");

    for (const char *line : {"-rw-r--r--   1 joe staff 1 Jan 1 2000 a", "PAYROLL  1  2", "x"})
        ExpectNoEntry(6043, line);

    ExpectLine(6044, Cols({{0, "JOE*SRC"}, {16, "MAIN"}, {32, "SYM"}, {36, "98/03/03"}, {48, "09:15"}}),
               {"JOE*SRC/MAIN", 0, 1998, 3, 3, 9, 15, 0});
    ExpectNoEntry(6044, "JOE*SRC   MAIN");

    ExpectLine(6046, "+subdir", {"subdir", 4, 0, 0, 0, 0, 0, 0});
    ExpectLine(6046, Cols({{0, "4"}, {44, "03 Mar 98 09:15"}, {60, "readme"}}), {"readme", 0, 1998, 3, 3, 9, 15, 2048});
    ExpectNoEntry(6046, Cols({{0, "Total 4"}, {60, "x"}}));
    ExpectNoEntry(6046, Cols({{0, " Blocks"}, {60, "x"}}));

    ExpectLine(6050, Cols({{0, "MY-FILE.CLI"}, {20, "TXT"}, {24, "12-MAR-97 10:21:05"}, {44, "1834"}}),
               {"MY-FILE.CLI", 0, 1997, 3, 12, 10, 21, 1834});
    ExpectLine(6050, Cols({{0, "SUBDIR"}, {20, "DIR"}, {24, " 1-JAN-98 08:00:00"}}), {"SUBDIR", 4, 1998, 1, 1, 8, 0, 0});
    ExpectLine(6050, "UP LNK :UDD:JOE", {"UP", 2, 0, 0, 0, 0, 0, 0});
    ExpectNoEntry(6050, " SUBDIR DIR");

    ExpectLine(6051, Cols({{2, "123456"}, {12, "APR"}, {16, "05"}, {19, "97"}, {25, "10:21"}, {36, "PAYROLL.DAT"}}),
               {"PAYROLL.DAT", 0, 1997, 4, 5, 10, 21, 123456});
    ExpectLine(6051, Cols({{7, "0"}, {12, "DEC"}, {16, "24"}, {19, "97"}, {25, "5:30p"}, {36, "SUBDIR"}, {54, "<DIR>"}}),
               {"SUBDIR", 4, 1997, 12, 24, 17, 30, 0});
    ExpectNoEntry(6051, Cols({{0, "-------"}, {36, "x"}}));
    ExpectNoEntry(6051, Cols({{0, "  s"}, {36, "x"}}));
}
