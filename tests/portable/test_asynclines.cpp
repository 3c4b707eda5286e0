// Line cutting of the message-driven control reader and the HTTP header
// reader: line ends split over receives, over-long lines, full buffers.
#include "asynclines.h"

#include <gtest/gtest.h>

#include <string.h>
#include <string>
#include <vector>

namespace {

struct Rx {
    char buf[32];
    int32_t pending = 0;
    uint32_t discard = 0;
    char line[12];

    void Put(const std::string &s)
    {
        ASSERT_LE(pending + (int32_t)s.size(), (int32_t)sizeof buf - 1);
        memcpy(buf + pending, s.data(), s.size());
        pending += (int32_t)s.size();
        buf[pending] = 0;
    }
    // Every line the control reader hands out now.
    std::vector<std::string> Lines()
    {
        std::vector<std::string> out;
        int len = -1;
        while (TakeAsyncLine(buf, &pending, sizeof buf, &discard, line, sizeof line, &len)) {
            EXPECT_EQ((size_t)len, strlen(line));
            out.push_back(line);
        }
        return out;
    }
    std::vector<std::string> Headers()
    {
        std::vector<std::string> out;
        int n;
        while ((n = TakeHeaderLine(buf, &pending, sizeof buf, &discard, line, sizeof line)) > 0) {
            EXPECT_EQ((size_t)n, strlen(line));
            out.push_back(line);
        }
        return out;
    }
};

using V = std::vector<std::string>;

} // namespace

TEST(AsyncLines, EndsAtCrOrLfAndCrLfCountsOnce)
{
    Rx rx;
    rx.Put("220 a\r\n230 b\n331 c\r500 d");
    EXPECT_EQ(rx.Lines(), V({"220 a", "230 b", "331 c"}));
    EXPECT_EQ(rx.pending, 5); // "500 d" waits for its end
    rx.Put("\r\n\r\n");
    EXPECT_EQ(rx.Lines(), V({"500 d", ""})); // an empty line is a line
    EXPECT_EQ(rx.pending, 0);
}

TEST(AsyncLines, CrLfSplitOverTwoReceivesGivesNoEmptyLine)
{
    Rx rx;
    rx.Put("220 hi\r");
    EXPECT_EQ(rx.Lines(), V());
    rx.Put("\n230 x\r");
    EXPECT_EQ(rx.Lines(), V({"220 hi"}));
    rx.Put("\n");
    EXPECT_EQ(rx.Lines(), V({"230 x"}));
    EXPECT_EQ(rx.pending, 0);
}

TEST(AsyncLines, OverLongLinesAreCutAndTheirRestDropped)
{
    Rx rx;
    rx.Put(std::string(31, 'A')); // a full buffer without a line end
    EXPECT_EQ(rx.Lines(), V({std::string(11, 'A')}));
    EXPECT_EQ(rx.pending, 0);
    EXPECT_EQ(rx.discard, 1u);
    rx.Put("AAAA\r\n220 ok\r\n");
    EXPECT_EQ(rx.Lines(), V({"220 ok"}));
    EXPECT_EQ(rx.discard, 0u);
    // A complete line longer than the output is cut, the next one intact.
    rx.Put("230 a long reply\n200 b\n");
    EXPECT_EQ(rx.Lines(), V({"230 a long ", "200 b"}));
}

TEST(HeaderLines, KeepCrLfAndEndOnlyAtLf)
{
    Rx rx;
    rx.Put("HTTP 200\r\nA: b\r\n\r\nbo");
    EXPECT_EQ(rx.Headers(), V({"HTTP 200\r\n", "A: b\r\n", "\r\n"}));
    EXPECT_EQ(std::string(rx.buf, (size_t)rx.pending), "bo"); // the body stays
}

TEST(HeaderLines, OverLongHeaderLinesAreCutAndTheirRestDropped)
{
    Rx rx;
    rx.Put("X-Long: 0123456789\r\nY: 1\r\n");
    EXPECT_EQ(rx.Headers(), V({"X-Long: 012", "Y: 1\r\n"}));
    rx.Put(std::string(31, 'B'));
    EXPECT_EQ(rx.Headers(), V({std::string(11, 'B')}));
    EXPECT_EQ(rx.discard, 1u);
    rx.Put(std::string(20, 'B'));
    EXPECT_EQ(rx.Headers(), V());
    rx.Put("BB\r\n\r\n");
    EXPECT_EQ(rx.Headers(), V({"\r\n"}));
}
