// Windows NT (IIS-style and UNIX-style), SI NT FTPD and the DOS listings.
#include "listing_test_util.h"

TEST(NtDecoder, IisListing)
{
    const struct {
        const char *line;
        Want want;
    } rows[] = {
        {"02-15-24  03:31PM       <DIR>          foo", {"foo", 4, 2024, 2, 15, 15, 31, 0}},
        {"01-01-00  12:15AM                  123 a.txt", {"a.txt", 0, 2000, 1, 1, 0, 15, 123}},
        {"11-30-98  09:05AM              5242880 Setup Files.zip",
         {"Setup Files.zip", 0, 1998, 11, 30, 9, 5, 5242880}},
        {"12-24-01  12:00PM                    0 noon.txt", {"noon.txt", 0, 2001, 12, 24, 12, 0, 0}},
        {"07-04-37  11:59PM                   42 late", {"late", 0, 2037, 7, 4, 23, 59, 42}},
        {"07-04-70  01:00AM                   42 early", {"early", 0, 1970, 7, 4, 1, 0, 42}},
        // shorter than an IIS line, same columns
        {"02-15-24  03:31PM <DIR> foo", {"foo", 4, 2024, 2, 15, 15, 31, 0}},
        {"01-01-00  12:15AM 123 a.txt", {"a.txt", 0, 2000, 1, 1, 0, 15, 123}},
    };
    for (const auto &row : rows)
        ExpectLine(6016, row.line, row.want);
    ExpectNoEntry(6016, "02-15-24  03:31PM       <DIR>");
    // Links in the server's ls-style lines are links (they used to be dropped).
    EXPECT_EQ(Decode(6016, "lrwxrwxrwx 1 owner group 5 Mar 3 09:15 link -> x").kind, DIRENTRY_LINK);
    ExpectNoEntry(6016, "hello");
}

TEST(NtDecoder, UnixStyleListing)
{
    ExpectLine(6016, "drwxrwxrwx   1 owner    group               0 Mar  3  2023 wwwroot",
               {"wwwroot", 4, 2023, 3, 3, 0, 0, 0});
    ExpectLine(6016, "-rwxrwxrwx   1 owner    group            1834 Jan 15  1999 default.htm",
               {"default.htm", 0, 1999, 1, 15, 0, 0, 1834});
    ExpectNoEntry(6016, "-rwxrwxrwx   1 owner    group");
}

TEST(SiNtDecoder, NamesAndKindsOnly)
{
    ExpectLine(6007, "drwxr-xr-x  1 user  group     0 Mar  3 09:15 Public/", {"Public", 4, 0, 0, 0, 0, 0, 0});
    ExpectLine(6007, "lrwxrwxrwx  1 user  group     0 Mar  3 09:15 docs -> /usr/share/doc",
               {"docs", 2, 0, 0, 0, 0, 0, 0});
    ExpectLine(6007, "-rw-r--r--  1 user  group  1834 Mar  3 09:15 readme.txt",
               {"readme.txt", 0, 0, 0, 0, 0, 0, 0});
    ExpectLine(6007, "  <DIR>  Windows", {"Windows", 4, 0, 0, 0, 0, 0, 0});
    ExpectNoEntry(6007, "abc");
    ExpectNoEntry(6007, "ab x");
}

TEST(DosListDecoder, NameSizeDateTime)
{
    for (int type : {6001, 6006, 6008, 6037, 6038, 6047}) {
        ExpectLine(type, "autoexec.bat          1834  03-03-98  09:15a",
                   {"autoexec.bat", 0, 1998, 3, 3, 9, 15, 1834});
        ExpectLine(type, "WINDOWS         <DIR>        12-24-97   5:30p",
                   {"WINDOWS", 4, 1997, 12, 24, 17, 30, 0});
        ExpectLine(type, "My Documents  <DIR>  98-01-02  12:10a", {"My Documents", 4, 1998, 1, 2, 0, 10, 0});
        ExpectLine(type, "report.doc  77  12-25-05  12:00p", {"report.doc", 0, 2005, 12, 25, 12, 0, 77});
        ExpectNoEntry(type, "Files match: 12 3 4");
        ExpectNoEntry(type, "Directories match 1 2 3");
        ExpectNoEntry(type, "a 1 01-01-98");
        // A UNIX-style line from the same server goes to the UNIX decoder.
        ExpectLine(type, "-rw-r--r--   1 joe  staff  1834 Jan  3  1998 a b.txt",
                   {"a b.txt", 0, 1998, 1, 3, 0, 0, 1834});
    }
}

TEST(DosFixedDecoder, EightDotThreeColumns)
{
    for (int type : {6022, 6036}) {
        ExpectLine(type, "README   TXT      1834 01-02-98  10:00p", {"README.TXT", 0, 1998, 1, 2, 22, 0, 1834});
        ExpectLine(type, "AUTOEXEC BAT        77 01-02-98  12:05a", {"AUTOEXEC.BAT", 0, 1998, 1, 2, 0, 5, 77});
        ExpectLine(type, "WINDOWS      <DIR>     12-24-97   5:30p", {"WINDOWS", 4, 1997, 12, 24, 17, 30, 0});
        ExpectLine(type, Cols({{0, "A"}, {9, "B"}, {19, "12"}, {23, "01-02-03"}, {33, "12:00p"}}),
                   {"A.B", 0, 2003, 1, 2, 12, 0, 12});
        // Nothing past the end of a short line: no date.
        ExpectLine(type, "README   TXT 12", {"README.TXT", 0, 0, 0, 0, 0, 0, 12});
        ExpectNoEntry(type, " Volume in drive C is DISK1");
        ExpectNoEntry(type, ".            <DIR>     12-24-97   5:30p");
        ExpectNoEntry(type, "README   TXT ");
    }
}
