// Whatever a server sends: lines of any length and content decode within
// their buffers, names that would be cut give no entry, and the decoders
// that carry state between lines keep it per thread.
#include "listing_test_util.h"
#include "lineutil.h"

#include <atomic>
#include <random>
#include <thread>
#include <vector>

namespace {

void ExpectWellFormed(const DirEntry &e, int length, int type)
{
    EXPECT_EQ(size_t(length), strnlen(e.name, sizeof e.name)) << type;
    EXPECT_LE(e.month, 12) << type;
    EXPECT_LE(e.day, 31) << type;
    EXPECT_LE(e.year, 2038) << type;
}

void DecodeAllTypes(const std::string &line)
{
    for (int type = 5998; type <= 6053; ++type) {
        DirEntry e;
        int n = TESSEL_DecodeLine(&e, line.c_str(), type, "SYS$USER:[JOE]", "joe");
        ExpectWellFormed(e, n, type);
    }
}

}  // namespace

TEST(DecoderRobustness, AnyLineStaysInItsBuffers)
{
    DecodeAllTypes("");
    DecodeAllTypes(std::string(100000, 'a'));
    DecodeAllTypes(std::string(100000, ' '));
    DecodeAllTypes(std::string(100000, '-'));
    DecodeAllTypes("-rw-r--r-- 1 a b 1 Jan 1 2000 " + std::string(99000, 'x'));
    DecodeAllTypes(std::string("ab\0cd efgh ijkl", 15));
    DecodeAllTypes("\xff\xfe\x80 \x81\xc3\xa9 -> \x90\x9f\xc0\xc1 <DIR>\x7f\x01");
    DecodeAllTypes("x;");
    DecodeAllTypes("Files: d -> ; * / - : , ' ..");
    DecodeAllTypes("+");
    std::mt19937 rng(12345);
    for (int round = 0; round < 300; ++round) {
        std::string line(rng() % 700, ' ');
        for (char &c : line)
            c = char(rng() % 255 + 1);
        DecodeAllTypes(line);
    }
    DirEntry e;
    EXPECT_EQ(TESSEL_DecodeLine(&e, nullptr, 6010, nullptr, nullptr), 0);
    EXPECT_EQ(TESSEL_DecodeLine(nullptr, "x", 6010, "", ""), 0);
    EXPECT_EQ(TESSEL_DecodeLine(&e, "SYS$USER:[JOE]A.B;1", 6012, nullptr, nullptr), 19);  // no directory to remove
}

TEST(DecoderRobustness, OnlyTheFirstLineOfTheTextCounts)
{
    ExpectLine(6010, "-rw-r--r-- 1 a b 10 Jan 2 2001 first\r\n-rw-r--r-- 1 a b 99 Feb 3 2002 second",
               {"first", 0, 2001, 1, 2, 0, 0, 10});
    ExpectLine(6010, "-rw-r--r-- 1 a b 10 Jan 2 2001 lf\nrest", {"lf", 0, 2001, 1, 2, 0, 0, 10});
    ExpectLine(6010, "-rw-r--r-- 1 a b 10 Jan 2 2001 cr\rrest", {"cr", 0, 2001, 1, 2, 0, 0, 10});
}

TEST(DecoderRobustness, NamesThatWouldBeCutGiveNoEntry)
{
    const std::string prefix = "-rw-r--r--   1 joe  staff  1834 Mar  3  2001 ";
    ExpectLine(6010, prefix + std::string(255, 'n'), {std::string(255, 'n').c_str(), 0, 2001, 3, 3, 0, 0, 1834});
    ExpectNoEntry(6010, prefix + std::string(256, 'n'));
    DirEntry e;
    TESSEL_DecodeLine(&e, (prefix + std::string(256, 'n')).c_str(), 6010, "", "");
    EXPECT_EQ(e.size, 0u);
    EXPECT_EQ(e.year, 0);
    // the next line still decodes
    ExpectLine(6010, prefix + "next", {"next", 0, 2001, 3, 3, 0, 0, 1834});
    // a name the work buffer would cut, even if it is short once cut
    ExpectNoEntry(6010, prefix + std::string(460, ' ') + std::string(30, 'z'));
    ExpectNoEntry(6016, "01-01-00  12:15AM 123 " + std::string(300, 'y'));
    ExpectNoEntry(6018, Cols({{0, "WYOSPT 3390"}, {14, "2003/03/18"}, {52, "PS"}, {56, std::string(300, 'D').c_str()}}));
    // columns beyond the cut are simply empty when the name lies before them
    ExpectLine(6011, "LONG.TXT;1 " + std::string(600, 'x'), {"LONG.TXT;1", 0, 0, 0, 0, 0, 0, 0});
}

TEST(DecoderRobustness, ShortLinesAfterLongOnesReadNothingOld)
{
    std::string longLine = Cols({{0, "README   TXT"}, {13, "      1834"}, {23, "01-02-98"}, {33, "10:00p"}});
    Decode(6036, longLine);
    ExpectLine(6036, "SHORT    TXT 9", {"SHORT.TXT", 0, 0, 0, 0, 0, 0, 9});
    Decode(6049, Cols({{0, "PROFILE.EXEC"}, {30, "12"}, {45, "24MAR97 14:01   RW"}}));
    ExpectNoEntry(6049, "X");
    Decode(6002, Cols({{0, "      1834  readme.txt"}, {33, "Tue Mar 03 09:15:00 1998"}}));
    ExpectLine(6032, Cols({{0, "PAYROLL"}, {61, "9"}}), {"9", 0, 0, 0, 0, 0, 0, 0});
}

// Two listings of the families that carry state between lines, decoded on
// two threads at the same time, give what each gives alone.
TEST(DecoderRobustness, CarriedStateIsPerThread)
{
    const std::vector<std::string> as400A = {
        "RMTUSR         28672 05/06/98 12:59:30 *FILE      RMTLIB/QCLSRC.FILE",
        "RMTUSR                                 *MEM       RMTLIB/QCLSRC.FILE/MBR1.MBR",
    };
    const std::vector<std::string> as400B = {
        "QSYS          135168 02/28/99 23:01:00 *FILE      QGPL/QDDSSRC.FILE",
        "QSYS                                   *MEM       QGPL/QDDSSRC.FILE/OTHER.MBR",
    };
    const std::vector<std::string> vosA = {"Dirs: 1", Cols({{0, "m"}, {4, "2"}, {11, "96-04-12 10:22"}, {30, "subdir"}})};
    const std::vector<std::string> vosB = {"Links: 1", Cols({{0, "m"}, {4, "2"}, {11, "96-04-12 10:22"}, {30, "subdir"}})};

    struct Listing {
        int type;
        const std::vector<std::string> *lines;
    };
    auto decodeAll = [](const Listing &l) {
        std::vector<DirEntry> out;
        for (const auto &line : *l.lines) {
            DirEntry e;
            TESSEL_DecodeLine(&e, line.c_str(), l.type, "", "");
            out.push_back(e);
        }
        return out;
    };
    const Listing listings[] = {{6017, &as400A}, {6017, &as400B}, {6031, &vosA}, {6031, &vosB}};
    std::vector<std::vector<DirEntry>> alone;
    for (const auto &l : listings) {
        tessel::listing::ResetAs400State();
        tessel::listing::ResetVosState();
        alone.push_back(decodeAll(l));
    }
    ASSERT_EQ(alone[1][1].month, 2);  // each member borrows its own file's date
    ASSERT_EQ(alone[3][1].kind, DIRENTRY_LINK);

    std::atomic<int> mismatches{0};
    std::atomic<int> ready{0};
    auto worker = [&](int first) {
        ready++;
        while (ready.load() < 2) {
        }
        for (int round = 0; round < 2000; ++round)
            for (int k = first; k < 4; k += 2) {
                std::vector<DirEntry> got = decodeAll(listings[k]);
                for (size_t i = 0; i < got.size(); ++i)
                    if (memcmp(&got[i], &alone[k][i], sizeof(DirEntry)) != 0)
                        mismatches++;
            }
    };
    std::thread a(worker, 0), b(worker, 1);
    a.join();
    b.join();
    EXPECT_EQ(mismatches.load(), 0);
}
