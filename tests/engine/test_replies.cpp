// Reply reading: multi-line, split and joined receives, time-outs, drops and
// hostile input.
#include "enginetest.h"
#include "fakeftp.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Connects a record to an inline script without logging in: the greeting is
// read by the test itself through TESSEL_RecvResponse.
bool Attach(LoggedRecord &r, int port)
{
    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_port = htons((u_short)port);
    a.sin_addr.s_addr = inet_addr("127.0.0.1");
    if (connect(s, (sockaddr *)&a, sizeof a) != 0) {
        closesocket(s);
        return false;
    }
    r.ci->ctrlSocket = s;
    return true;
}

} // namespace

TEST(Replies, MultiLineRepliesEndOnTheirFinalLine)
{
    REQUIRE_FAKE_SERVER();
    int port = fake::Inline(
        "raw 220-Welcome\\r\\n220-second line\\r\\n220 ready\\r\\n"
        "expect USER x\n"
        "raw 230-Hello\\r\\n text without code\\r\\nplain words\\r\\n230 done\\r\\n"
        "expect PASS y\n"
        "raw 220-mixed\\r\\n230 other code ends it\\r\\n");
    LoggedRecord r;
    ASSERT_TRUE(Attach(r, port));
    EXPECT_EQ(TESSEL_RecvResponse(r.ci), 220);
    EXPECT_STREQ(r.ci->replyLine, "220 ready");
    EXPECT_EQ(TESSEL_DoCmd(r.ci, "USER", "x"), 230);
    EXPECT_STREQ(r.ci->replyLine, "230 done");
    EXPECT_EQ(TESSEL_DoCmd(r.ci, "pass", "y"), 230);
    std::string log = r.Log();
    EXPECT_NE(log.find("220-Welcome\r\n220-second line\r\n220 ready\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find(" text without code\r\nplain words\r\n230 done\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find("PASS (hidden)"), std::string::npos);
}

TEST(Replies, SplitAndJoinedReceives)
{
    REQUIRE_FAKE_SERVER();
    int port = fake::Inline("split 3 220 slowly arriving greeting\n"
                            "expect NOOP\n"
                            "raw 200 first\\r\\n200 second\\n\n");
    LoggedRecord r;
    ASSERT_TRUE(Attach(r, port));
    EXPECT_EQ(TESSEL_RecvResponse(r.ci), 220);
    EXPECT_STREQ(r.ci->replyLine, "220 slowly arriving greeting");
    EXPECT_EQ(TESSEL_DoCmd(r.ci, "NOOP", nullptr), 200);
    EXPECT_STREQ(r.ci->replyLine, "200 first");
    // The second reply is already buffered: no socket read is needed, so it
    // comes back even though the server has nothing more to send.
    EXPECT_EQ(TESSEL_RecvResponse(r.ci), 200);
    EXPECT_STREQ(r.ci->replyLine, "200 second"); // bare LF line end
}

TEST(Replies, SilentServerTimesOutWith421)
{
    REQUIRE_FAKE_SERVER();
    int port = fake::Inline("sleep 5\n");
    LoggedRecord r;
    r.ci->timeout = 1; // seconds
    ASSERT_TRUE(Attach(r, port));
    DWORD t0 = GetTickCount();
    EXPECT_EQ(TESSEL_RecvResponse(r.ci), 421);
    DWORD took = GetTickCount() - t0;
    EXPECT_GE(took, 900u);
    EXPECT_LT(took, 3000u);
    EXPECT_EQ(r.ci->lastError, 10004);
}

TEST(Replies, DroppedConnectionGives421)
{
    REQUIRE_FAKE_SERVER();
    int port = fake::Inline("raw 220-half a reply\\r\\n\nclose\n");
    LoggedRecord r;
    ASSERT_TRUE(Attach(r, port));
    EXPECT_EQ(TESSEL_RecvResponse(r.ci), 421);
    // A connect that is dropped during the greeting fails the same way.
    port = fake::Inline("close\n");
    LoggedRecord r2;
    EXPECT_EQ(TESSEL_Connect(r2.ci, "127.0.0.1", port, "u", "p"), 421);
}

TEST(Replies, TimeoutSettingUnits)
{
    CINFO c = {};
    struct {
        uint32_t t;
        DWORD ms;
    } cases[] = {{5, 5000}, {5000, 5000}, {999, 999000}, {1000, 1000}, {179999, 179999},
                 {200000, 30000}, {0, 30000}};
    for (auto &k : cases) {
        c.timeout = k.t;
        EXPECT_EQ(ReplyTimeoutMs(&c), k.ms) << k.t;
    }
}

TEST(Replies, HostileRepliesAreCutNeverOverrun)
{
    REQUIRE_FAKE_SERVER();
    std::string longLine(600, 'A');
    std::string noLf(5000, 'B');
    std::string script = "send 220 " + longLine + "\n" +                       // > 256 bytes
                         "expect NOOP\nraw 200 " + noLf + "\\r\\n\n" +          // fills the buffer
                         "expect NOOP\nraw 200 nul\\x00byte \\xe9\\xff\\r\\n\n" + // NUL, high bytes
                         "expect NOOP\nsend 200 fine again\n";
    int port = fake::Inline(script);
    LoggedRecord r;
    ASSERT_TRUE(Attach(r, port));
    EXPECT_EQ(TESSEL_RecvResponse(r.ci), 220);
    EXPECT_EQ(strlen(r.ci->replyLine), 255u);
    EXPECT_EQ(TESSEL_DoCmd(r.ci, "NOOP", nullptr), 200);
    EXPECT_EQ(strlen(r.ci->replyLine), 255u);
    EXPECT_EQ(std::string(r.ci->replyLine, 6), "200 BB");
    // The rest of the 5000-byte line was dropped, not read as replies.
    EXPECT_EQ(TESSEL_DoCmd(r.ci, "NOOP", nullptr), 200);
    EXPECT_STREQ(r.ci->replyLine, "200 nul");
    EXPECT_EQ(TESSEL_DoCmd(r.ci, "NOOP", nullptr), 200);
    EXPECT_STREQ(r.ci->replyLine, "200 fine again");
}

TEST(Replies, HugeGreetingLogsIn)
{
    REQUIRE_FAKE_SERVER();
    int port = fake::Inline("repeat 100 220-" + std::string(45, 'g') +
                            "\nsend 220 ok\nexpect USER u\nsend 230 in\nexpect SYST\nsend 215 UNIX\n");
    LoggedRecord r;
    EXPECT_EQ(TESSEL_Connect(r.ci, "127.0.0.1", port, "u", "p"), 230);
    EXPECT_EQ(r.ci->hostType, 6010);
}

TEST(Commands, RefusedCommandsSendNothing)
{
    REQUIRE_FAKE_SERVER();
    int port = fake::Inline("send 220 hi\nexpect NOOP\nsend 200 ok\n");
    LoggedRecord r;
    ASSERT_TRUE(Attach(r, port));
    TESSEL_RecvResponse(r.ci);
    EXPECT_EQ(TESSEL_DoCmd(r.ci, "DELE", "a\r\nDELE b"), 500);
    EXPECT_EQ(strncmp(r.ci->errorBuf, "! ", 2), 0);
    EXPECT_EQ(TESSEL_DoCmd(r.ci, "RETR", std::string(2000, 'x').c_str()), 500);
    EXPECT_EQ(TESSEL_DoCmd(r.ci, "", nullptr), 500);
    EXPECT_STREQ(r.ci->errorBuf, "! no command");
    EXPECT_EQ(TESSEL_SendCommand(r.ci, "STOR x\nDELE y"), -1);
    EXPECT_EQ(TESSEL_DoCmd(r.ci, "NOOP", nullptr), 200);
    TESSEL_CloseConnect(r.ci, 0);
    EXPECT_EQ(Commands(fake::Received(port)), std::vector<std::string>({"NOOP"}));
}

TEST(Commands, ArgumentFreeCommandHasNoBlank)
{
    char buf[64];
    EXPECT_EQ(BuildCommand(buf, sizeof buf, "PWD", nullptr), 3);
    EXPECT_STREQ(buf, "PWD");
    EXPECT_EQ(BuildCommand(buf, sizeof buf, "CWD ", "dir"), 7);
    EXPECT_STREQ(buf, "CWD dir");
    EXPECT_EQ(BuildCommand(buf, sizeof buf, "CWD", ""), 3);
    EXPECT_EQ(BuildCommand(buf, 8, "RETR", "abcd"), -1);
}

TEST(Connect, LongHostAndUnknownHostFailCleanly)
{
    LoggedRecord r;
    std::string host(1000, 'h');
    EXPECT_EQ(TESSEL_Connect(r.ci, host.c_str(), 21, "u", "p"), 500);
    EXPECT_EQ(strncmp(r.ci->errorBuf, "failed to resolve hhhh", 22), 0);
    EXPECT_LT(strlen(r.ci->errorBuf), 256u);
    EXPECT_EQ(r.ci->busy, 0);
    EXPECT_EQ(r.ci->ctrlSocket, INVALID_SOCKET);
    EXPECT_NE(r.Log().find("! Host not resolved"), std::string::npos);
}

TEST(Connect, RefusedConnectionReports)
{
    // A port nobody listens on.
    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = inet_addr("127.0.0.1");
    bind(s, (sockaddr *)&a, sizeof a);
    int len = sizeof a;
    getsockname(s, (sockaddr *)&a, &len);
    closesocket(s);
    LoggedRecord r;
    EXPECT_EQ(TESSEL_Connect(r.ci, "127.0.0.1", ntohs(a.sin_port), "u", "p"), 500);
    EXPECT_STREQ(r.ci->errorBuf, "connect to 127.0.0.1 failed");
    EXPECT_EQ(r.ci->lastError, 10061);
    EXPECT_NE(r.Log().find("! Connect failure"), std::string::npos);
}
