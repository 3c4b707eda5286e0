// Message-driven connect and login, command sends and reply reads, with a
// real window and message loop, against vsftpd and the scripted fake server.
#include "async_util.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

using namespace async;
using Lines = std::vector<std::string>;

namespace {

struct Dialogue {
    const char *name;
    std::string script;
    const char *user;
    const char *password;
    int ok;        // wParam of doneMsg
    int code;      // lParam of doneMsg
    Lines commands; // what the server must have seen
    Lines lines;    // the lines handed to the window, in order
};

void ExpectLinesMatchReplyLine(const AsyncRecord &r)
{
    for (const auto &e : r.rec.Of(kDone + 1)) {
        EXPECT_EQ((int)e.wp, ReplyValue(e.line.c_str())) << e.line;
        EXPECT_EQ((size_t)e.lp, e.line.size()) << e.line;
    }
}

Lines LineTexts(const AsyncRecord &r)
{
    Lines out;
    for (const auto &e : r.rec.Of(kDone + 1))
        out.push_back(e.line);
    return out;
}

} // namespace

TEST(AsyncLogin, RealServerByAddressAndByName)
{
    REQUIRE_VSFTPD();
    for (const char *host : {"127.0.0.1", "localhost"}) {
        SCOPED_TRACE(host);
        AsyncRecord r;
        const bool byName = host[0] == 'l';
        ASSERT_EQ(TESSEL_ConnectAsync(r.ci, host, fake::VsftpdPort(), fake::VsftpdUser().c_str(),
                                      fake::VsftpdPassword().c_str(), kDone),
                  1)
            << r.ci->errorBuf;
        // The call returns at once: resolving, or connecting to the address.
        EXPECT_EQ(r.ci->asyncState, byName ? 256u : 512u);
        EXPECT_EQ(r.ci->busy, CINFO_BUSY_CONNECT);
        ASSERT_TRUE(r.WaitDone()) << r.Log();
        EXPECT_EQ(r.Done().wp, 1u) << r.Log();
        EXPECT_EQ(r.Done().lp, 230) << r.Log();
        EXPECT_EQ(r.Done().state, 0u);
        EXPECT_EQ(r.ci->busy, 0);
        // Every line came before the end, each while its step ran:
        // greeting 512, USER's reply 768, PASS's reply 1024.
        std::vector<uint32_t> states;
        for (const auto &e : r.rec.events) {
            if (e.msg == kDone)
                break;
            if (e.msg == kDone + 1 && (states.empty() || states.back() != e.state))
                states.push_back(e.state);
        }
        EXPECT_EQ(states, (std::vector<uint32_t>{512, 768, 1024}));
        EXPECT_EQ(r.rec.events.back().msg, kDone);
        Lines lines = LineTexts(r);
        ASSERT_GE(lines.size(), 3u);
        EXPECT_EQ(lines.front().substr(0, 4), "220 ");
        EXPECT_EQ(lines.back().substr(0, 4), "230 ");
        ExpectLinesMatchReplyLine(r);
        // SYST settled the host type before the caller heard of the login.
        EXPECT_EQ(r.ci->hostType, 6010);
        std::string log = r.Log();
        if (byName) {
            EXPECT_NE(log.find("Resolving localhost..."), std::string::npos) << log;
            EXPECT_NE(log.find("(resolve) 127.0.0.1"), std::string::npos) << log;
        }
        EXPECT_NE(log.find("PASS (hidden)"), std::string::npos) << log;
        EXPECT_EQ(log.find("PASS " + fake::VsftpdPassword()), std::string::npos) << log;
        // The record goes on with blocking calls.
        EXPECT_EQ(TESSEL_DoCmd(r.ci, "PWD", nullptr), 257) << r.Log();
        PumpFor(100);
        EXPECT_EQ(r.rec.Count(kDone), 1);
    }
}

TEST(AsyncLogin, FakeServerDialogues)
{
    REQUIRE_FAKE_SERVER();
    const std::string syst = "expect SYST\nsend 215 UNIX Type: L8\n";
    const Dialogue cases[] = {
        {"greeting split over receives",
         "split 4 220 split greeting here\nexpect USER u\nsend 331 pw\nexpect PASS p\nsend 230 ok\n" + syst, "u", "p",
         1, 230, {"USER u", "PASS p", "SYST"}, {"220 split greeting here", "331 pw", "230 ok"}},
        {"CR and LF in different receives",
         "raw 220 hi\\r\nsleep 0.3\nraw \\n\nexpect USER u\nsend 230 in\n" + syst, "u", "p", 1, 230,
         {"USER u", "SYST"}, {"220 hi", "230 in"}},
        {"USER answered 230", "send 220 hi\nexpect USER u\nsend 230 no password needed\n" + syst, "u", "p", 1, 230,
         {"USER u", "SYST"}, {"220 hi", "230 no password needed"}},
        {"empty user", "send 220 hi\n", "", "", 1, 220, {}, {"220 hi"}},
        {"password asked, none given", "send 220 hi\nexpect USER u\nsend 331 pw\n", "u", "", 0, 331, {"USER u"},
         {"220 hi", "331 pw"}},
        {"greeting refuses", "send 421 too many users\n", "u", "p", 0, 421, {}, {"421 too many users"}},
        {"multi-line replies",
         "send 220-welcome\nsend 220-more\nsend 220 ready\nexpect USER u\nsend 331 pw\nexpect PASS p\n"
         "send 230-hello\nsend 230 in\n" + syst,
         "u", "p", 1, 230, {"USER u", "PASS p", "SYST"},
         {"220-welcome", "220-more", "220 ready", "331 pw", "230-hello", "230 in"}},
        {"PASS refused", "send 220 hi\nexpect USER u\nsend 331 pw\nexpect PASS p\nsend 530 Login incorrect\n", "u",
         "p", 0, 530, {"USER u", "PASS p"}, {"220 hi", "331 pw", "530 Login incorrect"}},
        {"server closes during the login", "send 220 hi\nexpect USER u\nclose\n", "u", "p", 0, 421, {"USER u"},
         {"220 hi"}},
        {"over-long line before the greeting",
         "raw " + std::string(10000, 'A') + "\\r\\n\nsend 220 ok\n", "", "", 1, 220, {},
         {std::string(255, 'A'), "220 ok"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        int port = fake::Inline(c.script);
        ASSERT_NE(port, 0);
        AsyncRecord r;
        ASSERT_EQ(TESSEL_ConnectAsync(r.ci, "127.0.0.1", port, c.user, c.password, kDone), 1);
        ASSERT_TRUE(r.WaitDone()) << r.Log();
        PumpFor(150);
        EXPECT_EQ(r.rec.Count(kDone), 1);
        EXPECT_EQ((int)r.Done().wp, c.ok) << r.Log();
        EXPECT_EQ((int)r.Done().lp, c.code) << r.Log();
        EXPECT_EQ(r.ci->asyncState, 0u);
        EXPECT_EQ(r.ci->busy, 0);
        EXPECT_EQ(LineTexts(r), c.lines) << r.Log();
        ExpectLinesMatchReplyLine(r);
        if (c.code == 331)
            EXPECT_STREQ(r.ci->errorBuf, "! password required");
        TESSEL_CloseConnect(r.ci, 0);
        EXPECT_EQ(Commands(fake::Received(port)), c.commands);
    }
}

TEST(AsyncLogin, RefusedConnectionAndUnknownNameEndWithTheirError)
{
    REQUIRE_FAKE_SERVER();
    {
        AsyncRecord r;
        int started = TESSEL_ConnectAsync(r.ci, "127.0.0.1", ClosedPort(), "u", "p", kDone);
        if (started) {
            ASSERT_TRUE(r.WaitDone());
            EXPECT_EQ(r.Done().wp, 0u);
            EXPECT_EQ(r.Done().lp, WSAECONNREFUSED);
            EXPECT_NE(std::string(r.ci->errorBuf).find("connect to 127.0.0.1 failed"), std::string::npos);
        } else {
            // Refused before the call returned: no message follows.
            EXPECT_STREQ(r.ci->errorBuf, "connect failed 10061");
            PumpFor(200);
            EXPECT_EQ(r.rec.Count(kDone), 0);
        }
        EXPECT_EQ(r.ci->ctrlSocket, INVALID_SOCKET);
        EXPECT_EQ(r.ci->busy, 0);
    }
    {
        AsyncRecord r;
        ASSERT_EQ(TESSEL_ConnectAsync(r.ci, "no-such-host.invalid", 21, "u", "p", kDone), 1);
        EXPECT_EQ(r.ci->asyncState, 256u);
        ASSERT_TRUE(r.WaitDone(1, 30000));
        EXPECT_EQ(r.Done().wp, 0u);
        EXPECT_NE(r.Done().lp, 0);
        EXPECT_NE(r.Log().find("(resolve) failure."), std::string::npos) << r.Log();
        EXPECT_EQ(r.ci->ctrlSocket, INVALID_SOCKET);
        EXPECT_EQ(r.ci->busy, 0);
        EXPECT_EQ(r.ci->asyncState, 0u);
    }
}

TEST(AsyncLogin, RefusalsLeaveNoTrace)
{
    AsyncRecord r;
    // An empty name would resolve to this machine.
    EXPECT_EQ(TESSEL_ConnectAsync(r.ci, "", 21, "u", "p", kDone), 0);
    HWND handler = r.ci->asyncWnd;
    r.ci->asyncWnd = nullptr;
    EXPECT_EQ(TESSEL_ConnectAsync(r.ci, "127.0.0.1", 21, "u", "p", kDone), 0);
    EXPECT_STREQ(r.ci->errorBuf, "! no handler window");
    r.ci->asyncWnd = handler;
    EXPECT_EQ(TESSEL_SendCommandAsync(r.ci, "NOOP", kDone), 0); // not connected
    EXPECT_EQ(TESSEL_RecvResponseAsync(r.ci, kDone), 0);
    EXPECT_STREQ(r.ci->replyLine, "500 failed to return anything");
    EXPECT_EQ(r.ci->ctrlSocket, INVALID_SOCKET);
    PumpFor(100);
    EXPECT_TRUE(r.rec.events.empty());
}

TEST(AsyncLogin, CancelAndStopLeaveTheRecordUsable)
{
    REQUIRE_FAKE_SERVER();
    const std::string slow = "send 220 hi\nexpect USER u\nsleep 3\nsend 331 pw\n";
    {
        int port = fake::Inline(slow);
        AsyncRecord r;
        ASSERT_EQ(TESSEL_ConnectAsync(r.ci, "127.0.0.1", port, "u", "p", kDone), 1);
        ASSERT_TRUE(PumpUntil([&] { return r.ci->asyncState == TESSEL_ASYNC_USER; }));
        const DWORD t0 = GetTickCount();
        EXPECT_EQ(TESSEL_CancelAction(r.ci), 0);
        ASSERT_TRUE(r.WaitDone());
        EXPECT_LT(GetTickCount() - t0, 2000u) << "the cancel waited for the server";
        EXPECT_EQ(r.Done().wp, 0u);
        EXPECT_EQ(r.ci->ctrlSocket, INVALID_SOCKET);
        EXPECT_EQ(r.ci->busy, 0);
        // A new login on the same record.
        int port2 = fake::Inline("send 220 again\nexpect USER u\nsend 230 in\nexpect SYST\nsend 215 UNIX\n");
        ASSERT_EQ(TESSEL_ConnectAsync(r.ci, "127.0.0.1", port2, "u", "p", kDone), 1);
        ASSERT_TRUE(r.WaitDone(2));
        EXPECT_EQ(r.Done().wp, 1u) << r.Log();
        EXPECT_EQ(r.Done().lp, 230);
    }
    {
        int port = fake::Inline(slow);
        AsyncRecord r;
        ASSERT_EQ(TESSEL_ConnectAsync(r.ci, "127.0.0.1", port, "u", "p", kDone), 1);
        ASSERT_TRUE(PumpUntil([&] { return r.ci->asyncState == TESSEL_ASYNC_USER; }));
        EXPECT_EQ(TESSEL_StopAsync(r.ci), 0);
        EXPECT_EQ(r.ci->asyncState, 0u);
        EXPECT_EQ(r.ci->busy, 0);
        PumpFor(3500); // the 331 arrives: nobody acts on it
        EXPECT_EQ(r.rec.Count(kDone), 0);
        EXPECT_EQ(r.ci->asyncState, 0u);
        // The connection is still there for a blocking reader.
        EXPECT_EQ(TESSEL_RecvResponse(r.ci), 331);
    }
}

TEST(AsyncLogin, RecordFreedFromTheLineMessageLivesUntilTheHandlerReturns)
{
    REQUIRE_FAKE_SERVER();
    int port = fake::Inline("send 220 hi\nexpect USER u\nsend 331 pw\n");
    AsyncRecord r;
    CINFO *ci = r.ci;
    r.rec.onLine = [&](const Event &) {
        r.rec.ci = nullptr;
        r.ci = nullptr;
        TESSEL_FreeCINFO(ci);
    };
    ASSERT_EQ(TESSEL_ConnectAsync(ci, "127.0.0.1", port, "u", "p", kDone), 1);
    ASSERT_TRUE(PumpUntil([&] { return r.rec.Count(kDone + 1) >= 1; }));
    PumpFor(300);
    EXPECT_NE(r.Log().find("Structure destroyed"), std::string::npos) << r.Log();
    EXPECT_EQ(r.rec.Count(kDone + 1), 1);
}

TEST(AsyncBadInput, LookupResultWithoutAddresses)
{
    AsyncRecord r;
    struct {
        hostent he;
        char *list[2];
        char addr[4];
    } res = {};
    res.he.h_addrtype = AF_INET;
    res.he.h_length = 4;
    res.he.h_addr_list = res.list;
    char outside[4] = {127, 0, 0, 1};
    char *const firsts[] = {nullptr, outside}; // no address; an address outside the buffer
    for (char *first : firsts) {
        res.list[0] = first;
        r.ci->ctrlSocket = socket(AF_INET, SOCK_STREAM, 0);
        r.ci->asyncState = TESSEL_ASYNC_LOOKUP;
        r.ci->busy = CINFO_BUSY_CONNECT;
        r.ci->doneMsg = kDone;
        AsyncLookupResult(r.ci, (const char *)&res, (int)sizeof res, 0);
        EXPECT_EQ(r.ci->asyncState, 0u);
        EXPECT_EQ(r.ci->busy, 0);
        EXPECT_EQ(r.ci->ctrlSocket, INVALID_SOCKET);
    }
    ASSERT_TRUE(r.WaitDone(2));
    for (const auto &e : r.rec.Of(kDone)) {
        EXPECT_EQ(e.wp, 0u);
        EXPECT_EQ(e.lp, 0);
    }
    EXPECT_NE(r.Log().find("(resolve) failure.."), std::string::npos) << r.Log();
}

TEST(AsyncBadInput, EventsForClosedOrForeignSocketsAreIgnored)
{
    REQUIRE_FAKE_SERVER();
    int port = fake::Inline("send 220 hi\nexpect USER u\nsend 230 in\nexpect SYST\nsend 215 UNIX\n");
    AsyncRecord r;
    ASSERT_EQ(TESSEL_ConnectAsync(r.ci, "127.0.0.1", port, "u", "p", kDone), 1);
    ASSERT_TRUE(r.WaitDone());
    SOCKET old = r.ci->ctrlSocket;
    TESSEL_CloseConnect(r.ci, 0);
    for (SOCKET s : {old, (SOCKET)0x1234, INVALID_SOCKET})
        for (int ev : {FD_READ, FD_WRITE, FD_OOB, FD_ACCEPT, FD_CONNECT, FD_CLOSE}) {
            PostMessageA(r.ci->asyncWnd, TESSEL_MSG_SOCKET, (WPARAM)s, WSAMAKESELECTREPLY(ev, 0));
            PostMessageA(r.ci->asyncWnd, TESSEL_MSG_SOCKET, (WPARAM)s, WSAMAKESELECTREPLY(ev, WSAECONNRESET));
        }
    PostMessageA(r.ci->asyncWnd, TESSEL_MSG_LOOKUP, 0x4321, 0);
    PumpFor(300);
    EXPECT_EQ(r.rec.Count(kDone), 1);
    EXPECT_EQ(r.ci->asyncState, 0u);
    EXPECT_EQ(r.ci->busy, 0);
    int port2 = fake::Inline("send 220 hi\nexpect USER u\nsend 230 in\nexpect SYST\nsend 215 UNIX\n");
    EXPECT_EQ(TESSEL_Connect(r.ci, "127.0.0.1", port2, "u", "p"), 230);
}

TEST(AsyncCommand, QueuedCommandsAndTheirReplies)
{
    REQUIRE_FAKE_SERVER();
    int port = fake::Inline("send 220 hi\nexpect USER u\nsend 230 in\nexpect SYST\nsend 215 UNIX\n"
                            "expect NOOP\nsend 200 noop ok\nexpect HELP\nexpect STAT\nsend 214-help\nsend 214 end\n"
                            "send 211 stat\n");
    AsyncRecord r;
    ASSERT_EQ(TESSEL_Connect(r.ci, "127.0.0.1", port, "u", "p"), 230);
    ASSERT_EQ(TESSEL_SendCommandAsync(r.ci, "NOOP", kDone), 1);
    EXPECT_EQ(r.ci->asyncState, 5u);
    ASSERT_TRUE(r.WaitDone());
    EXPECT_EQ(r.Done().wp, 1u);
    EXPECT_EQ(r.Done().lp, 6); // "NOOP" CR LF
    ASSERT_EQ(TESSEL_RecvResponseAsync(r.ci, kDone), 1);
    ASSERT_TRUE(PumpUntil([&] { return r.rec.Count(kDone + 1) >= 1; }));
    EXPECT_EQ(LineTexts(r), Lines({"200 noop ok"}));
    // Two commands in one go (the second with its own CR LF).
    r.rec.events.clear();
    ASSERT_EQ(TESSEL_SendCommandAsync(r.ci, "HELP", kDone), 1);
    ASSERT_EQ(TESSEL_SendCommandAsync(r.ci, "STAT\r\n", kDone), 1);
    ASSERT_TRUE(r.WaitDone());
    PumpFor(100);
    EXPECT_EQ(r.rec.Count(kDone), 1);
    EXPECT_EQ(r.Done().lp, 12);
    ASSERT_EQ(TESSEL_RecvResponseAsync(r.ci, kDone), 1);
    ASSERT_TRUE(PumpUntil([&] { return r.rec.Count(kDone + 1) >= 3; }));
    EXPECT_EQ(LineTexts(r), Lines({"214-help", "214 end", "211 stat"}));
    ExpectLinesMatchReplyLine(r);
    EXPECT_EQ(r.rec.Count(kDone), 1); // reading replies ends in no message
    // A command that does not fit the buffer is refused whole.
    EXPECT_EQ(TESSEL_SendCommandAsync(r.ci, std::string(5000, 'X').c_str(), kDone), 0);
    EXPECT_STREQ(r.ci->errorBuf, "! command buffer full");
    TESSEL_CloseConnect(r.ci, 0);
    EXPECT_EQ(Commands(fake::Received(port)), Lines({"USER u", "SYST", "NOOP", "HELP", "STAT"}));
}
