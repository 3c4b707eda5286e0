// The shared transfer rules: announced and SIZE sizes (hostile numbers
// included), the expected length and restart point, the verdict order,
// local names Windows would change, and name lists with NUL bytes.
#include "xferrules.h"

#include <gtest/gtest.h>

#include <string>

TEST(XferRules, AnnouncedSizes)
{
    uint64_t n = 7;
    EXPECT_EQ(ParseAnnouncedSize("150 Opening BINARY mode data connection for f (5000 bytes).", &n), 1);
    EXPECT_EQ(n, 5000u);
    // The last parenthesis with a size counts; others are names.
    EXPECT_EQ(ParseAnnouncedSize("150 Opening for a (1 bytes) b.txt (12 bytes)", &n), 1);
    EXPECT_EQ(n, 12u);
    EXPECT_EQ(ParseAnnouncedSize("150 Opening for x (12 bytes) (odd)", &n), 1);
    EXPECT_EQ(n, 12u);
    n = 7;
    for (const char *bad : {"150 (99999999999999999999 bytes)", "150 (-5 bytes)", "150 (bytes)", "150 here",
                            "150 (5000 kbytes)", "150 (5000bytes)", "150 (5000 bytes", "150 (+5 bytes)", ""}) {
        EXPECT_EQ(ParseAnnouncedSize(bad, &n), 0) << bad;
        EXPECT_EQ(n, 7u) << bad;
    }
    EXPECT_EQ(ParseAnnouncedSize(nullptr, &n), 0);
}

TEST(XferRules, SizeReplies)
{
    uint64_t n = 0;
    EXPECT_EQ(ParseSizeReply("213 4294967297", &n), 1);
    EXPECT_EQ(n, 4294967297u);
    EXPECT_EQ(ParseSizeReply("213 0", &n), 1);
    EXPECT_EQ(n, 0u);
    for (const char *bad : {"213", "213 ", "213 -1", "213 12x", "550 no", "2130 5", "213 99999999999999999999"})
        EXPECT_EQ(ParseSizeReply(bad, &n), 0) << bad;
}

TEST(XferRules, ExpectedLengthAndRestartPoint)
{
    SizeSources s = {};
    int known = 1;
    EXPECT_EQ(ExpectedLength(&s, 0, &known), 0u);
    EXPECT_EQ(known, 0);
    s.listingOk = 1;
    s.listing = 30;
    s.sizeOk = 1;
    s.size = 20;
    s.announcedOk = 1;
    s.announced = 10;
    EXPECT_EQ(ExpectedLength(&s, 0, &known), 10u);
    EXPECT_EQ(known, 1);
    // Restarted: the announcement may be the whole or the rest; only the
    // file's own size says how long the result must be.
    EXPECT_EQ(ExpectedLength(&s, 1024, &known), 20u);
    s.sizeOk = 0;
    EXPECT_EQ(ExpectedLength(&s, 1024, &known), 30u);
    s.listingOk = 0;
    EXPECT_EQ(ExpectedLength(&s, 1024, &known), 0u);
    EXPECT_EQ(known, 0);

    EXPECT_EQ(ResumeOffset(3000, 1, 5000), 2048u);
    EXPECT_EQ(ResumeOffset(1024, 1, 5000), 0u);
    EXPECT_EQ(ResumeOffset(1025, 1, 5000), 1024u);
    EXPECT_EQ(ResumeOffset(3000, 0, 0), 0u);    // unknown remote size: start over
    EXPECT_EQ(ResumeOffset(6000, 1, 5000), 0u); // remote shorter than the part: start over
    EXPECT_EQ(ResumeOffset(5120, 1, 5000), 0u);
    EXPECT_EQ(ResumeOffset(5000, 1, 5000), 4096u); // the part is what was whole before the cut
    EXPECT_EQ(ResumeOffset(4204, 1, 4100), 4096u);
}

TEST(XferRules, VerdictChecksInOrder)
{
    TransferFacts f = {1, 1, 1, 226, 1, 1, 5000, 5000};
    EXPECT_EQ(TransferVerdict(&f), XV_OK);
    f.actual = 2000;
    EXPECT_EQ(TransferVerdict(&f), XV_SHORT);
    char text[200];
    EXPECT_STREQ(VerdictText(XV_SHORT, &f, text, sizeof text), "! Transfer failed: short file, 2000 of 5000 bytes");
    f.actual = 9000;
    EXPECT_EQ(TransferVerdict(&f), XV_LONG);
    f.binary = 0; // ASCII: no size check
    EXPECT_EQ(TransferVerdict(&f), XV_OK);
    f.closingCode = 426;
    EXPECT_EQ(TransferVerdict(&f), XV_CLOSING_REPLY);
    f.dataOk = 0;
    EXPECT_EQ(TransferVerdict(&f), XV_DATA_BROKEN);
    f.localFileOk = 0;
    EXPECT_EQ(TransferVerdict(&f), XV_LOCAL_FILE);
    f.dataConnection = 0;
    f.closingCode = 226;
    EXPECT_EQ(TransferVerdict(&f), XV_NO_DATA_CONNECTION);
    EXPECT_STREQ(VerdictText(XV_NO_DATA_CONNECTION, &f, text, sizeof text),
                 "! Transfer failed: no data connection (reply 226)");
    // An announced 4 GiB + 1 for a 1-byte file is a short file, not a wrap.
    TransferFacts g = {1, 1, 1, 226, 1, 1, 4294967297ull, 1};
    EXPECT_EQ(TransferVerdict(&g), XV_SHORT);
}

TEST(XferRules, LocalNamesWindowsWouldChange)
{
    EXPECT_EQ(CheckLocalName("same.txt", 255), LN_OK);
    EXPECT_EQ(CheckLocalName(" lead.txt", 255), LN_OK);
    EXPECT_EQ(CheckLocalName("", 255), LN_EMPTY);
    for (const char *n : {".", "..", "...", ". .", ".. ", " "})
        EXPECT_EQ(CheckLocalName(n, 255), LN_DOTS_BLANKS) << n;
    for (const char *n : {"same.txt.", "same.txt ", "dir..", "a. "})
        EXPECT_EQ(CheckLocalName(n, 255), LN_TRAILING) << n;
    for (const char *n : {"a/b", "a\\b", "a:b", "a\tb", "a\x7f"})
        EXPECT_EQ(CheckLocalName(n, 255), LN_PATH) << n;
    for (const char *n : {"CON", "con.txt", "Nul .tar.gz", "com1", "LPT9.x", "COM\xB9", "com\xB2.txt", "LPT\xB3",
                          "lpt\xB9", "CONIN$", "conout$.log"})
        EXPECT_EQ(CheckLocalName(n, 255), LN_DEVICE) << n;
    for (const char *n : {"COM0", "COM10", "CONSOLE", "com\xB4", "xcon", "LPT"})
        EXPECT_EQ(CheckLocalName(n, 255), LN_OK) << n;
    const std::string longName(256, 'x');
    EXPECT_EQ(CheckLocalName(longName.c_str(), 255), LN_TOO_LONG);
    EXPECT_EQ(CheckLocalName(longName.c_str(), 0), LN_OK);
    EXPECT_EQ(CheckLocalName(std::string(200, 'y').c_str(), 255), LN_OK);
}

TEST(XferRules, NameKeysFoldCase)
{
    char a[32], b[32];
    LocalNameKey("a.txt", a, sizeof a);
    LocalNameKey("A.TXT", b, sizeof b);
    EXPECT_STREQ(a, b);
    LocalNameKey("\xe9t\xe9", a, sizeof a); // Latin-1 e acute
    LocalNameKey("\xc9T\xc9", b, sizeof b);
    EXPECT_STREQ(a, b);
    LocalNameKey("abcdef", a, 4);
    EXPECT_STREQ(a, "ABC");
}

TEST(XferRules, NameListLines)
{
    const char raw[] = "one\r\nt\0wo\r\nthree\n\nfour";
    const std::string list(raw, sizeof raw - 1);
    size_t pos = 0;
    char out[8];
    EXPECT_EQ(NextNameLine(list.data(), list.size(), &pos, out, sizeof out), NL_OK);
    EXPECT_STREQ(out, "one");
    EXPECT_EQ(NextNameLine(list.data(), list.size(), &pos, out, sizeof out), NL_NUL);
    EXPECT_EQ(NextNameLine(list.data(), list.size(), &pos, out, sizeof out), NL_OK);
    EXPECT_STREQ(out, "three"); // the line after the NUL survives
    EXPECT_EQ(NextNameLine(list.data(), list.size(), &pos, out, sizeof out), NL_EMPTY);
    EXPECT_EQ(NextNameLine(list.data(), list.size(), &pos, out, sizeof out), NL_OK);
    EXPECT_STREQ(out, "four");
    EXPECT_EQ(NextNameLine(list.data(), list.size(), &pos, out, sizeof out), NL_END);
    const std::string longer = "abcdefghij\nok\n";
    pos = 0;
    EXPECT_EQ(NextNameLine(longer.data(), longer.size(), &pos, out, sizeof out), NL_LONG);
    EXPECT_EQ(NextNameLine(longer.data(), longer.size(), &pos, out, sizeof out), NL_OK);
    EXPECT_STREQ(out, "ok");
}

TEST(XferRules, DeadlinesAcrossTheTickWrap)
{
    EXPECT_EQ(DeadlineLeft(1000, 500, 1200), 300u);
    EXPECT_EQ(DeadlineLeft(1000, 500, 1500), 0u);
    EXPECT_EQ(DeadlineLeft(1000, 500, 900000), 0u);
    EXPECT_EQ(DeadlineLeft(0xFFFFFF00u, 1000, 0x100u), 488u);
}
