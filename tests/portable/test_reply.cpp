// Reply-line cutting from the receive buffer: the rules that keep a hostile
// server from overrunning anything.
#include "reply.h"

#include <gtest/gtest.h>

#include <string.h>
#include <string>

namespace {

struct Rx {
    char buf[64];
    int32_t pending = 0;
    uint32_t discard = 0;
    char line[16];

    void Put(const std::string &s)
    {
        memcpy(buf + pending, s.data(), s.size());
        pending += (int32_t)s.size();
    }
    bool Take() { return TakeReplyLine(buf, &pending, sizeof buf, &discard, line, sizeof line) == 1; }
};

} // namespace

TEST(ReplyLines, LineEndsAndPartialLines)
{
    Rx rx;
    rx.Put("220 ok\r\n200 bare\n\n21");
    ASSERT_TRUE(rx.Take());
    EXPECT_STREQ(rx.line, "220 ok");
    ASSERT_TRUE(rx.Take());
    EXPECT_STREQ(rx.line, "200 bare"); // LF alone ends a line, nothing is eaten
    ASSERT_TRUE(rx.Take());
    EXPECT_STREQ(rx.line, ""); // an empty line is a line of length 0
    EXPECT_FALSE(rx.Take());   // "21" waits for more
    EXPECT_EQ(rx.pending, 2);
    rx.Put("4 x\r\n");
    ASSERT_TRUE(rx.Take());
    EXPECT_STREQ(rx.line, "214 x");
    EXPECT_EQ(rx.pending, 0);
}

TEST(ReplyLines, LongLinesAreCutAndFullBuffersDiscardTheRest)
{
    Rx rx;
    rx.Put("200 a line far longer than the output\r\nnext\n");
    ASSERT_TRUE(rx.Take());
    EXPECT_STREQ(rx.line, "200 a line far ");
    ASSERT_TRUE(rx.Take());
    EXPECT_STREQ(rx.line, "next");

    Rx full;
    full.Put(std::string(63, 'q')); // capacity 64 minus the terminator
    ASSERT_TRUE(full.Take());
    EXPECT_EQ(std::string(full.line), std::string(15, 'q'));
    EXPECT_EQ(full.discard, 1u);
    full.Put("qqqq still the same line");
    EXPECT_FALSE(full.Take());
    full.Put("qq\r\n230 after\r\n");
    ASSERT_TRUE(full.Take());
    EXPECT_STREQ(full.line, "230 after");
}

TEST(ReplyLines, CodesAndFinalLines)
{
    EXPECT_EQ(ReplyValue("230 ok"), 230);
    EXPECT_EQ(ReplyValue(" 230"), 0);
    EXPECT_EQ(ReplyValue("abc"), 0);
    EXPECT_GT(ReplyValue("99999999999999999999999"), 599); // no overflow
    EXPECT_TRUE(ReplyIsFinal("230 ok", 230));
    EXPECT_TRUE(ReplyIsFinal("230", 230));
    EXPECT_FALSE(ReplyIsFinal("230-more", 230));
    EXPECT_FALSE(ReplyIsFinal(" 230 x", 0));
    EXPECT_FALSE(ReplyIsFinal("099 x", 99));
    EXPECT_FALSE(ReplyIsFinal("600 x", 600));
}
