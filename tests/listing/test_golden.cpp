// Every line the listing tests decoded under the first rules, replayed:
// each still gives the same entry, except the lines listed here, which
// now give the entry beside them, for the reason beside them.
#include "listing_test_util.h"
#include "lineutil.h"

#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Golden {
    int type, clockYear, clockMonth;
    std::string dir, user, line;
    std::string name;
    int kind, year, month, day, hour, minute, second;
    uint32_t size;
    unsigned mode, modeFlags;
    int length;
};

std::string Unescape(const std::string &s)
{
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\' || i + 1 >= s.size()) {
            out += s[i];
        } else if (s[i + 1] == '\\') {
            out += '\\';
            ++i;
        } else if (s[i + 1] == 'x' && i + 3 < s.size()) {
            out += char(std::stoi(s.substr(i + 2, 2), nullptr, 16));
            i += 3;
        }
    }
    return out;
}

std::vector<std::string> SplitTabs(const std::string &s)
{
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        size_t tab = s.find('\t', start);
        parts.push_back(s.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
        if (tab == std::string::npos)
            return parts;
        start = tab + 1;
    }
}

// What a changed line gives now, and why that is the sound entry.
struct Changed {
    Want want;
    const char *why;
};

const char kMember[] =
    "a member is fetched through its file (FILE.FILE/MEMBER.MBR); the member part alone names nothing";
const char kPartitioned[] = "a partitioned data set's line shows the date it was last referred to, as other data sets' do";

// Keyed by host type and line.
const std::map<std::pair<int, std::string>, Changed> &ChangedLines()
{
    static const std::map<std::pair<int, std::string>, Changed> changed = {
        {{6016, "lrwxrwxrwx 1 owner group 5 Mar 3 09:15 link -> x"},
         {{"link", 2, 2026, 3, 3, 9, 15, 5},
          "a link a Windows server lists in ls style is an entry like any other; it was dropped"}},
        {{6010, "USER.SRC.LIB                  3390          FB 80   27920    PO NO   X"},
         {{"", 0, 0, 0, 0, 0, 0, 0}, "no permission block and no date: not an ls line; its last word is no name"}},
        {{6010, "AAA       BBB"},
         {{"", 0, 0, 0, 0, 0, 0, 0}, "two words without a date: not an entry; the last word alone was kept"}},
        {{6017, "RMTUSR                                 *MEM       RMTLIB/EARLY.FILE/M0.MBR"},
         {{"EARLY.FILE/M0.MBR", 0, 0, 0, 0, 0, 0, 0}, kMember}},
        {{6017, "RMTUSR                                 *MEM       RMTLIB/QCLSRC.FILE/MBR1.MBR"},
         {{"QCLSRC.FILE/MBR1.MBR", 0, 1998, 5, 6, 12, 59, 28672}, kMember}},
        {{6017, "RMTUSR                                 *MEM       RMTLIB/QCLSRC.FILE/MBR2.MBR"},
         {{"QCLSRC.FILE/MBR2.MBR", 0, 1998, 5, 6, 12, 59, 28672}, kMember}},
        {{6017, "RMTUSR                                 *MEM       RMTLIB/OTHER.FILE/M3.MBR"},
         {{"OTHER.FILE/M3.MBR", 0, 1999, 2, 28, 23, 1, 135168}, kMember}},
        {{6017, "RMTUSR                                 *MEM       RMTLIB/F.FILE/M.MBR"},
         {{"F.FILE/M.MBR", 0, 0, 0, 0, 0, 0, 18944}, kMember}},
        {{6018, "WYOSPT 3390   03/03/18  1   15  FB     80   3120  PO  USER.SRCLIB"},
         {{"USER.SRCLIB", 4, 2003, 3, 18, 0, 0, 0}, kPartitioned}},
        {{6018, "WYOSPT 3390   2003/03/18  2   15  FB     80   3120  PO  USER.SRC.LIB"},
         {{"USER.SRC.LIB", 4, 2003, 3, 18, 0, 0, 0}, kPartitioned}},
        {{6018, "WYOSPT 3390   2003/03/18  2   15  U      0    6144  PO  USER.LOADLIB"},
         {{"USER.LOADLIB", 4, 2003, 3, 18, 0, 0, 0}, kPartitioned}},
        {{6011, "%RMS-E-FNF, file not found; no files"},
         {{"", 0, 0, 0, 0, 0, 0, 0}, "a VMS message; its first word was taken for a file name"}},
        {{6042, "  12 A"},
         {{"", 0, 0, 0, 0, 0, 0, 0}, "a size and a word, no date or time: not an OS/2 entry line; the word was taken as a name"}},
    };
    return changed;
}

}  // namespace

TEST(GoldenLines, EveryEarlierLineDecodesAsBeforeOrAsListed)
{
    std::ifstream in(TESSEL_TEST_DATA "/listing_golden.tsv", std::ios::binary);
    ASSERT_TRUE(in.good());
    std::string row;
    int replayed = 0;
    std::set<std::pair<int, std::string>> differing;
    tessel::listing::ResetAs400State();
    tessel::listing::ResetVosState();
    while (std::getline(in, row)) {
        if (row.rfind("#reset", 0) == 0) {
            tessel::listing::ResetAs400State();
            tessel::listing::ResetVosState();
            continue;
        }
        if (row.empty() || row[0] == '#')
            continue;
        std::vector<std::string> f = SplitTabs(row);
        ASSERT_EQ(f.size(), 18u) << row;
        Golden g;
        g.type = std::stoi(f[0]);
        g.clockYear = std::stoi(f[1]);
        g.clockMonth = std::stoi(f[2]);
        g.dir = Unescape(f[3]);
        g.user = Unescape(f[4]);
        g.line = Unescape(f[5]);
        g.name = Unescape(f[6]);
        g.kind = std::stoi(f[7]);
        g.year = std::stoi(f[8]);
        g.month = std::stoi(f[9]);
        g.day = std::stoi(f[10]);
        g.hour = std::stoi(f[11]);
        g.minute = std::stoi(f[12]);
        g.second = std::stoi(f[13]);
        g.size = uint32_t(std::stoul(f[14]));
        g.mode = unsigned(std::stoul(f[15]));
        g.modeFlags = unsigned(std::stoul(f[16]));
        g.length = std::stoi(f[17]);

        TesselSetClockForTests(g.clockYear, g.clockMonth);
        DirEntry e;
        int n = TESSEL_DecodeLine(&e, g.line.c_str(), g.type, g.dir.c_str(), g.user.c_str());
        ++replayed;
        std::string context = std::to_string(g.type) + ": [" + g.line + "]";
        auto it = ChangedLines().find({g.type, g.line});
        if (it != ChangedLines().end()) {
            differing.insert({g.type, g.line});
            ExpectEntry(e, it->second.want, context + " (" + it->second.why + ")");
            EXPECT_EQ(n, int(strlen(it->second.want.name))) << context;
            continue;
        }
        SCOPED_TRACE(context);
        EXPECT_EQ(n, g.length);
        if (g.length == 0) {
            EXPECT_STREQ(e.name, "");  // no entry: what else the record held never counted
            continue;
        }
        EXPECT_EQ(e.name, g.name);
        EXPECT_EQ(e.kind, g.kind);
        EXPECT_EQ(e.year, g.year);
        EXPECT_EQ(e.month, g.month);
        EXPECT_EQ(e.day, g.day);
        EXPECT_EQ(e.hour, g.hour);
        EXPECT_EQ(e.minute, g.minute);
        EXPECT_EQ(e.second, g.second);
        EXPECT_EQ(e.size, g.size);
        EXPECT_EQ(e.mode, g.mode);
        EXPECT_EQ(e.modeFlags, g.modeFlags);
    }
    TesselSetClockForTests(0, 0);
    EXPECT_GT(replayed, 300);
    EXPECT_EQ(differing.size(), ChangedLines().size());  // every listed line is still among them
}
