// PASV and PWD replies and listing lines: what a server sends is copied
// into fixed buffers and socket addresses, so odd and hostile texts must
// come out bounded and right.
#include "datalines.h"
#include "pasv.h"

#include <gtest/gtest.h>

#include <string.h>
#include <string>
#include <vector>

namespace {

uint32_t Ip(unsigned a, unsigned b, unsigned c, unsigned d) { return a << 24 | b << 16 | c << 8 | d; }

struct Pasv {
    int result;
    uint32_t addr = 0;
    uint16_t port = 0;
    explicit Pasv(const char *line) { result = ParsePasvReply(line, &addr, &port); }
};

} // namespace

TEST(PasvReply, ReadsTheSixNumbersWithAndWithoutParentheses)
{
    Pasv a("227 Entering Passive Mode (10,0,0,5,4,1)");
    EXPECT_EQ(a.result, PASV_OK);
    EXPECT_EQ(a.addr, Ip(10, 0, 0, 5));
    EXPECT_EQ(a.port, 1025);

    Pasv b("227 Entering Passive Mode 192,168,1,2,200,7");
    EXPECT_EQ(b.result, PASV_OK);
    EXPECT_EQ(b.addr, Ip(192, 168, 1, 2));
    EXPECT_EQ(b.port, 200 * 256 + 7);

    // Blanks before a number are accepted as scanf does; text after the
    // closing parenthesis does not matter.
    Pasv c("227 =(127, 0, 0, 1, 0, 21) ok 9,9,9");
    EXPECT_EQ(c.result, PASV_OK);
    EXPECT_EQ(c.addr, Ip(127, 0, 0, 1));
    EXPECT_EQ(c.port, 21);

    // Without "(": digits in the code itself do not count.
    Pasv d("227-1,2,3,4,5,6");
    EXPECT_EQ(d.result, PASV_OK);
    EXPECT_EQ(d.addr, Ip(1, 2, 3, 4));
}

TEST(PasvReply, RefusesMissingOutOfRangeAndShortAddresses)
{
    EXPECT_EQ(Pasv("227 Entering Passive Mode").result, PASV_NO_START);
    EXPECT_EQ(Pasv("227").result, PASV_NO_START);
    EXPECT_EQ(Pasv("").result, PASV_NO_START);
    EXPECT_EQ(Pasv(nullptr).result, PASV_NO_START);
    EXPECT_EQ(Pasv("227 ok (1,2,3,4,5)").result, PASV_BAD_ADDRESS);
    EXPECT_EQ(Pasv("227 ok ()").result, PASV_BAD_ADDRESS);
    EXPECT_EQ(Pasv("227 ok (1,2,3,4,5,6").result, PASV_OK); // unclosed is fine
    EXPECT_EQ(Pasv("227 ok (1,2,3,4,5)6)").result, PASV_BAD_ADDRESS);
    EXPECT_EQ(Pasv("227 ok (256,0,0,1,4,1)").result, PASV_BAD_ADDRESS);
    EXPECT_EQ(Pasv("227 ok (1,2,3,4,5,6,7)").result, PASV_BAD_ADDRESS);
    EXPECT_EQ(Pasv("227 ok 1,2,3,4,5,6,7").result, PASV_BAD_ADDRESS);
    EXPECT_EQ(Pasv("227 ok (1,0,0,1,4,1000)").result, PASV_BAD_ADDRESS);
    EXPECT_EQ(Pasv("227 ok (1,0,0,1,4,99999999999999999999999)").result, PASV_BAD_ADDRESS);
    EXPECT_EQ(Pasv("227 ok (1,0,0,1,-4,1)").result, PASV_BAD_ADDRESS);
    EXPECT_EQ(Pasv("227 ok (1,0,0,1,4 ,1)").result, PASV_BAD_ADDRESS);
    std::string huge = "227 (" + std::string(5000, '9') + ")";
    EXPECT_EQ(Pasv(huge.c_str()).result, PASV_BAD_ADDRESS);
}

TEST(PasvReply, TheDataConnectionAlwaysGoesToTheServersOwnAddress)
{
    for (uint32_t a : {Ip(10, 1, 2, 3), Ip(127, 0, 0, 1), Ip(0, 0, 0, 0), Ip(172, 16, 0, 1), Ip(172, 31, 255, 1),
                       Ip(192, 168, 0, 1)})
        EXPECT_TRUE(IsInternalAddress(a)) << a;
    for (uint32_t a : {Ip(172, 32, 0, 1), Ip(172, 15, 0, 1), Ip(192, 169, 0, 1), Ip(8, 8, 8, 8)})
        EXPECT_FALSE(IsInternalAddress(a)) << a;

    const uint32_t pub = Ip(93, 184, 216, 34);
    EXPECT_EQ(PasvTarget(Ip(10, 0, 0, 5), pub), pub);
    EXPECT_EQ(PasvTarget(Ip(0, 0, 0, 0), pub), pub);
    // Another public host, or any address a private or loopback peer names,
    // is not where the data connection goes: a server must not be able to
    // aim it at a third host.
    EXPECT_EQ(PasvTarget(Ip(93, 184, 216, 35), pub), pub);
    EXPECT_EQ(PasvTarget(Ip(10, 0, 0, 5), Ip(127, 0, 0, 1)), Ip(127, 0, 0, 1));
    EXPECT_EQ(PasvTarget(Ip(10, 0, 0, 5), Ip(192, 168, 1, 1)), Ip(192, 168, 1, 1));
    EXPECT_EQ(PasvTarget(Ip(8, 8, 8, 8), Ip(10, 0, 0, 5)), Ip(10, 0, 0, 5));
    // Only a peer that cannot be told leaves the reply's address.
    EXPECT_EQ(PasvTarget(Ip(10, 0, 0, 5), 0), Ip(10, 0, 0, 5));
}

TEST(PwdReply, QuotedPaths)
{
    char out[256];
    EXPECT_EQ(ParsePwdReply("257 \"/home/user\" is current directory", out, sizeof out), 1);
    EXPECT_STREQ(out, "/home/user");
    ParsePwdReply("257 \"/a\"\"b\" created", out, sizeof out);
    EXPECT_STREQ(out, "/a\"b");
    ParsePwdReply("257 \"/home/o'brien\"", out, sizeof out);
    EXPECT_STREQ(out, "/home/o'brien");
    ParsePwdReply("257 '/vms/dir' is here", out, sizeof out);
    EXPECT_STREQ(out, "/vms/dir");
    ParsePwdReply("257 \"unclosed", out, sizeof out);
    EXPECT_STREQ(out, "unclosed");
    ParsePwdReply("257 \"\"", out, sizeof out);
    EXPECT_STREQ(out, "");
    EXPECT_EQ(ParsePwdReply("257 no quote at all", out, sizeof out), 0);
    EXPECT_STREQ(out, "");
    EXPECT_EQ(ParsePwdReply(nullptr, out, sizeof out), 0);
}

TEST(PwdReply, LongPathsAreCut)
{
    std::string line = "257 \"/" + std::string(1000, 'x') + "\"";
    char out[256];
    memset(out, '#', sizeof out);
    ParsePwdReply(line.c_str(), out, sizeof out);
    EXPECT_EQ(strlen(out), (size_t)TESSEL_PWD_PATH_MAX);
    char small[8];
    ParsePwdReply(line.c_str(), small, sizeof small);
    EXPECT_STREQ(small, "/xxxxxx");
    // Doubled quotes near the end cannot step past the limit either.
    std::string quotes = "257 \"" + std::string(999, '"') + "\"";
    ParsePwdReply(quotes.c_str(), out, sizeof out);
    EXPECT_LE(strlen(out), (size_t)TESSEL_PWD_PATH_MAX);
}

namespace {

// Feeds text in pieces of the given size and collects the lines.
std::vector<std::string> Lines(const std::string &data, size_t piece, int32_t capacity, size_t outSize)
{
    std::vector<char> storage((size_t)capacity);
    LineBuffer lb;
    LineBufferInit(&lb, storage.data(), capacity);
    std::vector<char> out(outSize);
    std::vector<std::string> lines;
    size_t pos = 0;
    for (;;) {
        int n;
        while ((n = TakeDataLine(&lb, out.data(), outSize)) >= 0) {
            EXPECT_EQ((size_t)n, strlen(out.data()));
            lines.push_back(out.data());
        }
        if (pos >= data.size())
            break;
        int32_t room;
        char *at = LineBufferSpace(&lb, &room);
        EXPECT_GT(room, 0);
        size_t k = std::min(std::min(piece, (size_t)room), data.size() - pos);
        memcpy(at, data.data() + pos, k);
        LineBufferCommit(&lb, (int32_t)k);
        pos += k;
    }
    if (TakeLastDataLine(&lb, out.data(), outSize) >= 0)
        lines.push_back(out.data());
    return lines;
}

} // namespace

TEST(DataLines, SplitsJoinsAndSkipsEmptyLines)
{
    const std::string text = "one\r\ntwo\n\r\n\nthree\r\nlast without end";
    const std::vector<std::string> want = {"one", "two", "three", "last without end"};
    for (size_t piece : {1, 2, 3, 7, 100})
        EXPECT_EQ(Lines(text, piece, 16, 64), want) << piece;
}

TEST(DataLines, OverlongLinesAreCutNotOverrun)
{
    // A 10,000-byte line through a 64-byte buffer and a 32-byte line: the
    // first 31 characters survive, the rest up to its end is dropped.
    std::string longLine(10000, 'L');
    const std::string text = "a\n" + longLine + "\nb\n" + std::string(40, 'M') + "\n";
    for (size_t piece : {1, 13, 64}) {
        auto lines = Lines(text, piece, 64, 32);
        ASSERT_EQ(lines.size(), 4u) << piece;
        EXPECT_EQ(lines[0], "a");
        EXPECT_EQ(lines[1], std::string(31, 'L'));
        EXPECT_EQ(lines[2], "b");
        EXPECT_EQ(lines[3], std::string(31, 'M'));
    }
    // The line buffer bounds a line even when the output could hold more.
    auto big = Lines(longLine + "\nz\n", 1000, 64, 20000);
    ASSERT_EQ(big.size(), 2u);
    EXPECT_EQ(big[0], std::string(64, 'L'));
    EXPECT_EQ(big[1], "z");
}
