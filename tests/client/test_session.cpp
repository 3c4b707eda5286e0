// The client's session layer against the scripted fake server: replies,
// login through every firewall kind, fallbacks, host-type probing, data
// connections, Cancel during a connect, and the exported record helper.
#include "clienttest.h"
#include "fakeftp.h"
#include "pasv.h"

#include "tessel_engine.h"

#include <string>
#include <thread>
#include <vector>

using namespace t95;
using Lines = std::vector<std::string>;

namespace {

// Commands as the fake server logged them, without its own "!" notes.
Lines Commands(int port)
{
    Lines out;
    for (const auto &l : fake::Received(port))
        if (!l.empty() && l[0] != '!')
            out.push_back(l);
    return out;
}

Lines Notes(int port)
{
    Lines out;
    for (const auto &l : fake::Received(port))
        if (!l.empty() && l[0] == '!')
            out.push_back(l);
    return out;
}

// The latest log lines, oldest first.
Lines RecentLog(int n = 60)
{
    Lines out;
    for (int i = n - 1; i >= 0; --i) {
        char line[200];
        if (LogLineAt(i, line, sizeof line))
            out.push_back(line);
    }
    return out;
}

bool Logged(const std::string &text)
{
    for (const auto &l : RecentLog())
        if (l.find(text) != std::string::npos)
            return true;
    return false;
}

// Points the control connection at a fresh listener replaying the script.
SOCKET Attach(const std::string &script, int *port)
{
    *port = fake::Inline(script);
    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_port = htons((u_short)*port);
    a.sin_addr.s_addr = inet_addr("127.0.0.1");
    connect(s, (sockaddr *)&a, sizeof a);
    g_ftp.ctrl = s;
    g_ftp.connected = 1;
    return s;
}

void Detach()
{
    if (g_ftp.ctrl != INVALID_SOCKET)
        closesocket(g_ftp.ctrl);
    g_ftp.ctrl = INVALID_SOCKET;
    g_ftp.connected = 0;
}

void UseSession(int port, const char *user = "joe", const char *pass = "secret")
{
    ClearSession(&g_session);
    strcpy(g_session.host, "127.0.0.1");
    g_session.port = port;
    strcpy(g_session.user, user);
    strcpy(g_session.password, pass);
    g_session.timeout = 10;
}

} // namespace

TEST(ClientReplies, MultiLineEndsOnlyAtTheSameCodeAndABlank)
{
    REQUIRE_FAKE_SERVER();
    ct::ClientState st;
    int port;
    Attach("send 230-Welcome\nsend 123 inner line\nsend 230-more\nsend 999 odd\nsend plain text\n"
           "send 230 done\nsend 200 next\n",
           &port);
    EXPECT_EQ(ReadReply(), 2);
    EXPECT_EQ(g_ftp.lastCode, 230);
    EXPECT_STREQ(g_ftp.reply, "230 done");
    EXPECT_EQ(ReadReply(), 2);
    EXPECT_STREQ(g_ftp.reply, "200 next");
    Detach();
}

TEST(ClientReplies, OverlongLineIsCutAndTheRestReadNext)
{
    REQUIRE_FAKE_SERVER();
    ct::ClientState st;
    int port;
    Attach("raw 220 " + std::string(1500, 'x') + "\\r\\n\nsend 200 next\n", &port);
    EXPECT_EQ(ReadReply(), 2);
    size_t first = strlen(g_ftp.reply);
    EXPECT_GE(first, 942u);
    EXPECT_LE(first, 1024u);
    // The remainder has no code: it continues into the next reply.
    EXPECT_EQ(ReadReply(), 2);
    EXPECT_STREQ(g_ftp.reply, "200 next");
    Detach();
}

TEST(ClientReplies, TwoHundredThousandContinuationLinesInALoop)
{
    REQUIRE_FAKE_SERVER();
    ct::ClientState st;
    int port;
    Attach("send 220-start\nrepeat 200000 220-line of a long banner\nsend 220 end\n", &port);
    DWORD t0 = GetTickCount();
    EXPECT_EQ(ReadReply(), 2);
    EXPECT_STREQ(g_ftp.reply, "220 end");
    EXPECT_LT(GetTickCount() - t0, 60000u);
    Detach();
}

TEST(ClientReplies, ClosedConnectionGives421)
{
    REQUIRE_FAKE_SERVER();
    ct::ClientState st;
    int port;
    Attach("send 220-partial\nclose\n", &port);
    EXPECT_EQ(ReadReply(), 4);
    EXPECT_EQ(g_ftp.lastCode, 421);
    EXPECT_EQ(g_ftp.cancel, 1);
    Detach();
}

TEST(ClientLogin, DirectAndEveryFirewallKind)
{
    REQUIRE_FAKE_SERVER();
    struct Case {
        int kind; // -1: no firewall
        std::string script;
        Lines expected;
    };
    const std::string host = "ftp.example.com";
    const Case cases[] = {
        {-1, "send 220 ready\nexpect *\nsend 331 pw\nexpect *\nsend 230 in\n", {"USER joe", "PASS secret"}},
        {0,
         "send 220 fw\nexpect *\nsend 331 pw\nexpect *\nsend 230 fw in\nexpect *\nsend 200 site ok\n"
         "expect *\nsend 331 pw\nexpect *\nsend 230 in\n",
         {"USER fwu", "PASS fwp", "SITE " + host, "USER joe", "PASS secret"}},
        {1,
         "send 220 fw\nexpect *\nsend 331 pw\nexpect *\nsend 230 fw in\nexpect *\nsend 331 pw\n"
         "expect *\nsend 230 in\n",
         {"USER fwu", "PASS fwp", "USER joe@" + host, "PASS secret"}},
        {2, "send 220 fw\nexpect *\nsend 331 pw\nexpect *\nsend 230 in\n", {"USER joe@" + host, "PASS secret"}},
        {3, "send 220 proxy\nexpect *\nsend 220 open\nexpect *\nsend 331 pw\nexpect *\nsend 230 in\n",
         {"OPEN " + host, "USER joe", "PASS secret"}},
        {4, "send 220 fw\nexpect *\nsend 331 pw\nexpect *\nsend 332 acct\nexpect *\nsend 230 in\n",
         {"USER joe@" + host + " fwu", "PASS secret", "ACCT fwp"}},
        {5,
         "send 220 fw\nexpect *\nsend 331 pw\nexpect *\nsend 230 fw in\nexpect *\nsend 331 pw\n"
         "expect *\nsend 230 in\n",
         {"USER fwu@" + host, "PASS fwp", "USER joe", "PASS secret"}},
        {6,
         "send 220 host\nexpect *\nsend 331 pw\nexpect *\nsend 230 fw in\nexpect *\nsend 331 pw\n"
         "expect *\nsend 230 in\n",
         {"USER fwu", "PASS fwp", "USER joe", "PASS secret"}},
        {7, "send 220 fw\nexpect *\nsend 331 pw\nexpect *\nsend 230 in\n",
         {"USER joe@fwu@" + host, "PASS secret@fwp"}},
    };
    for (const Case &c : cases) {
        ct::ClientState st;
        int port = fake::Inline(c.script);
        ASSERT_GT(port, 0);
        UseSession(port);
        if (c.kind >= 0) {
            // The firewall is the endpoint, the session's host the target;
            // kind 6 connects to the session's host and port itself.
            if (c.kind != 6)
                strcpy(g_session.host, host.c_str());
            g_session.useFirewall = 1;
            char pwd[200];
            ScramblePassword("fwu", "fwp", pwd, sizeof pwd);
            WriteIniInt("FIREWALL", "FIRETYPE", c.kind);
            WriteIniText("FIREWALL", "HOST", "127.0.0.1");
            WriteIniInt("FIREWALL", "PORT", port);
            WriteIniText("FIREWALL", "UID", "fwu");
            WriteIniText("FIREWALL", "PWD", pwd);
        }
        SOCKET s = ConnectLogin(&g_session);
        EXPECT_NE(s, INVALID_SOCKET) << "kind " << c.kind;
        EXPECT_EQ(g_ftp.connected, 1) << "kind " << c.kind;
        CloseSession(0);
        Lines got = Commands(port);
        Lines want = c.expected;
        want.push_back("QUIT");
        EXPECT_EQ(got, want) << "kind " << c.kind;
        EXPECT_TRUE(Notes(port).empty()) << "kind " << c.kind;
        EXPECT_FALSE(Logged("PASS secret")) << "passwords are never logged";
    }
}

TEST(ClientLogin, FailuresCloseWithTheirMessages)
{
    REQUIRE_FAKE_SERVER();
    {
        ct::ClientState st;
        int port = fake::Inline("send 220 fw\nexpect *\nsend 331 pw\nexpect *\nsend 530 no\n");
        UseSession(port);
        strcpy(g_session.host, "target.example.com");
        g_session.useFirewall = 1;
        WriteIniInt("FIREWALL", "FIRETYPE", 0);
        WriteIniText("FIREWALL", "HOST", "127.0.0.1");
        WriteIniInt("FIREWALL", "PORT", port);
        WriteIniText("FIREWALL", "UID", "fwu");
        EXPECT_EQ(ConnectLogin(&g_session), INVALID_SOCKET);
        EXPECT_TRUE(Logged("! Firewall logon failure, so quitting"));
        EXPECT_EQ(g_ftp.ctrl, INVALID_SOCKET);
        EXPECT_EQ(g_ftp.connected, 0);
    }
    {
        ct::ClientState st;
        int port = fake::Inline("send 220 hi\nexpect *\nsend 331 pw\nexpect *\nsend 530 bad\n");
        UseSession(port);
        EXPECT_EQ(ConnectLogin(&g_session), INVALID_SOCKET);
        EXPECT_TRUE(Logged("! Logon failure, so quitting"));
    }
    {
        ct::ClientState st;
        int port = fake::Inline("send 421 too many\n");
        UseSession(port);
        EXPECT_EQ(ConnectLogin(&g_session), INVALID_SOCKET);
        EXPECT_TRUE(Logged("! Connection failed 127.0.0.1"));
    }
    {
        ct::ClientState st;
        int port = fake::Inline("send 500 what\n");
        UseSession(port);
        EXPECT_EQ(ConnectLogin(&g_session), INVALID_SOCKET);
        EXPECT_TRUE(Logged("! unknown open message \"500 what\" 500"));
    }
}

TEST(ClientLogin, InitialCommandsAndGreetingDetection)
{
    REQUIRE_FAKE_SERVER();
    ct::ClientState st;
    int port = fake::Inline("send 220 Serv-U FTP Server v6 ready\nexpect *\nsend 331 pw\nexpect *\nsend 230 in\n"
                            "expect SITE ONE\nsend 200 ok\nexpect SITE TWO\nsend 200 ok\n");
    UseSession(port);
    strcpy(g_session.initCmd, "SITE ONE; SITE TWO");
    ASSERT_NE(ConnectLogin(&g_session), INVALID_SOCKET);
    EXPECT_EQ(g_ftp.hostType, 6033);
    EXPECT_TRUE(Logged("Host type (1): Serv-U"));
    CloseSession(0);
    EXPECT_TRUE(Notes(port).empty());
}

TEST(ClientCommands, FallbacksAndSendUniqueForUploadsOnly)
{
    REQUIRE_FAKE_SERVER();
    ct::ClientState st;
    int port;
    Attach("expect CWD sub\nsend 500 unknown\nexpect CWD \\[\\.sub\\]\nsend 250 ok\n"
           "expect MKD d\nsend 500 no\nexpect XMKD d\nsend 257 made\n"
           "expect PWD\nsend 500 no\nexpect XPWD\nsend 257 \"/x\"\n"
           "expect RETR f\nsend 550 no\nexpect STOU g\nsend 500 no\nexpect STOR g\nsend 550 no\n"
           "expect CDUP\nsend 250 up\n",
           &port);
    g_ftp.hostType = 6012;
    g_ftp.useCdup = 1;
    EXPECT_EQ(ChangeDir("sub"), 2);
    EXPECT_EQ(MakeDir("d"), 2);
    EXPECT_EQ(PrintDir(), 2);
    g_cfg.stou = 1;
    SendCommand("RETR f");
    SendCommand("STOR g");
    EXPECT_EQ(ChangeDir(".."), 2);
    EXPECT_EQ(ChangeDir(""), 2) << "empty path: nothing sent";
    // A command that would carry a second line is refused unsent.
    EXPECT_EQ(SendCommand("NOOP\r\nDELE x"), 5);
    Detach();
    EXPECT_TRUE(Notes(port).empty()) << fake::Received(port).back();
    Lines got = Commands(port);
    EXPECT_EQ(got.back(), "CDUP");
}

TEST(ClientCommands, HostTypeProbeWithHelp)
{
    REQUIRE_FAKE_SERVER();
    ct::ClientState st;
    int port;
    Attach("expect SYST\nsend 502 no\nexpect HELP\nsend 214-The following commands are recognized.\n"
           "send  USER PASS MKD RMD DELE LIST\nsend 214 Help OK.\n",
           &port);
    g_ftp.hostType = 6000;
    g_ftp.detectDone = 0;
    DetectHostType();
    EXPECT_EQ(g_ftp.hostType, 6010);
    EXPECT_EQ(g_ftp.canMkd, 1);
    EXPECT_EQ(g_ftp.canRmd, 1);
    EXPECT_EQ(g_ftp.canDelete, 1);
    EXPECT_EQ(g_ftp.canRename, 0);
    EXPECT_TRUE(Logged("Host type (I): Automatic detect"));
    EXPECT_TRUE(Logged("Host type (3): UNIX (standard)"));
    // Once per session.
    EXPECT_EQ(DetectHostType(), 2);
    Detach();

    ct::ClientState st2;
    Attach("expect SYST\nsend 215 UNIX Type: L8\n", &port);
    g_ftp.hostType = 6000;
    g_ftp.detectDone = 0;
    DetectHostType();
    EXPECT_EQ(g_ftp.hostType, 6010);
    EXPECT_EQ(g_ftp.canRename, 1);
    EXPECT_TRUE(Logged("Host type (S): UNIX (standard)"));
    Detach();
}

TEST(ClientData, PassiveWithoutParenthesesAndActive)
{
    REQUIRE_FAKE_SERVER();
    ct::ClientState st;
    int port;
    Attach("expect PASV\npasv 227 Entering Passive Mode %s\ndataconnect\ndatasend hello\ndataclose\n"
           "expect PORT .*\nsend 200 ok\nport\ndataconnect\ndatasend world\ndataclose\n",
           &port);
    SOCKET d = OpenPassive();
    ASSERT_NE(d, INVALID_SOCKET);
    char buf[16] = {};
    EXPECT_EQ(RecvTimeout(d, buf, sizeof buf - 1, 5000), 5);
    EXPECT_STREQ(buf, "hello");
    CloseDataSocket(d);
    SOCKET l = OpenActive();
    ASSERT_NE(l, INVALID_SOCKET);
    d = AcceptData(l);
    ASSERT_NE(d, INVALID_SOCKET);
    memset(buf, 0, sizeof buf);
    EXPECT_EQ(RecvTimeout(d, buf, sizeof buf - 1, 5000), 5);
    EXPECT_STREQ(buf, "world");
    CloseDataSocket(d);
    Detach();

    // Numbers without parentheses start at the first digit after the code;
    // fewer than six numbers and no digits at all are refused.
    ct::ClientState st2;
    Attach("expect PASV\nsend 227 Entering Passive Mode 64,1,2\nexpect PASV\nsend 227 nothing here\n", &port);
    EXPECT_EQ(OpenPassive(), INVALID_SOCKET);
    EXPECT_TRUE(Logged("! bad address in 64,1,2"));
    EXPECT_EQ(OpenPassive(), INVALID_SOCKET);
    EXPECT_TRUE(Logged("! Unable to parse info 227 nothing here"));
    Detach();
}

// What the library's readers refuse, the client refuses the same way; and a
// PASV reply naming another host, private or public, does not aim the data
// connection there: it goes to the server the control connection goes to.
TEST(ClientData, PassiveRefusesWhatTheLibraryRefusesAndConnectsOnlyToTheServer)
{
    REQUIRE_FAKE_SERVER();
    for (const char *other : {"127,0,0,2", "10,1,2,3", "93,184,216,34"}) {
        ct::ClientState st;
        int port;
        Attach(std::string("expect PASV\npasv 227 Entering Passive Mode (") + other +
                   ",%p)\ndataconnect\ndatasend hello\ndataclose\n",
               &port);
        SOCKET d = OpenPassive();
        ASSERT_NE(d, INVALID_SOCKET) << other;
        char buf[16] = {};
        EXPECT_EQ(RecvTimeout(d, buf, sizeof buf - 1, 5000), 5) << other;
        EXPECT_STREQ(buf, "hello");
        EXPECT_TRUE(Logged("is not the server's, using 127.0.0.1")) << other;
        CloseDataSocket(d);
        Detach();
    }

    ct::ClientState st;
    int port;
    Attach("expect PASV\nsend 227 ok (1,2,3,4,5,6,7)\nexpect PASV\nsend 227 ok (1,2,3,256,5,6)\n"
           "expect PASV\nsend 227 ok (1,2,3,4,5,1000)\n",
           &port);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(OpenPassive(), INVALID_SOCKET) << i;
    EXPECT_TRUE(Logged("! bad address in 1,2,3,4,5,6,7"));
    EXPECT_TRUE(Logged("! bad address in 1,2,3,256,5,6"));
    Detach();
}

TEST(ClientData, PwdReplyReadsDoubledQuotesAndCapsTheLength)
{
    char out[256];
    TakePwdReply("257 \"/a \"\"b\"\" c\" is current", 0, out, sizeof out);
    EXPECT_STREQ(out, "/a \"b\" c");
    TakePwdReply("257 'single' here", 0, out, sizeof out);
    EXPECT_STREQ(out, "single");
    std::string huge = "257 \"/" + std::string(1000, 'x') + "\"";
    TakePwdReply(huge.c_str(), 0, out, sizeof out);
    EXPECT_EQ(strlen(out), (size_t)TESSEL_PWD_PATH_MAX);
    strcpy(out, "kept");
    TakePwdReply("257 no quotes", 0, out, sizeof out);
    EXPECT_STREQ(out, "kept");
}

TEST(ClientData, AbortSendsTelnetInterruptAndAbor)
{
    REQUIRE_FAKE_SERVER();
    ct::ClientState st;
    int port;
    Attach("expect .*ABOR\nsend 226 aborted\n", &port);
    EXPECT_EQ(Abort(), 2);
    EXPECT_EQ(g_ftp.lastCode, 226);
    Detach();
    EXPECT_TRUE(Notes(port).empty());
}

TEST(ClientCancel, CancelButtonEndsAConnectToASilentServer)
{
    REQUIRE_FAKE_SERVER();
    ct::ClientState st;
    ct::MainWindow w;
    ASSERT_TRUE(w.wnd);
    int port = fake::Inline("sleep 30\n");
    UseSession(port);
    g_session.timeout = 60;
    // The Cancel button's message arrives while the connect waits: the
    // wait's message pump must dispatch it.
    HWND wnd = w.wnd;
    std::thread clicker([wnd] {
        Sleep(500);
        PostMessageA(wnd, WM_COMMAND, MAKEWPARAM(IDC_CANCEL, BN_CLICKED), (LPARAM)GetDlgItem(wnd, IDC_CANCEL));
    });
    DWORD t0 = GetTickCount();
    SOCKET s = ConnectLogin(&g_session);
    DWORD took = GetTickCount() - t0;
    clicker.join();
    EXPECT_EQ(s, INVALID_SOCKET);
    EXPECT_LT(took, 5000u);
    EXPECT_GE(took, 400u);
    EXPECT_EQ(g_ftp.ctrl, INVALID_SOCKET);
}

TEST(ClientMisc, ErrorTextsAndPreInitCinfo)
{
    EXPECT_STREQ(ErrorText(10004), "Blocking call cancelled");
    EXPECT_STREQ(ErrorText(10061), "connection refused");
    EXPECT_STREQ(ErrorText(11002), "Host not found or server failure");
    EXPECT_STREQ(ErrorText(12345), "error 12345");
    char buf[32];
    EXPECT_EQ(ErrorText(10054, buf), buf);
    EXPECT_STREQ(buf, "connection reset");

    EXPECT_EQ(PreInitCINFO(nullptr, nullptr, nullptr, 0, 0), nullptr);
    // Exactly the record: the guard bytes after it stay as they were.
    std::vector<unsigned char> mem(sizeof(CINFO) + 64, 0xAB);
    CINFO *ci = (CINFO *)mem.data();
    HWND fakeWnd = (HWND)0x1234;
    ASSERT_EQ(PreInitCINFO(ci, fakeWnd, nullptr, 0x4321, CINFO_BLOCKING_HOOK), ci);
    for (size_t i = sizeof(CINFO); i < mem.size(); ++i)
        ASSERT_EQ(mem[i], 0xAB) << i;
    EXPECT_EQ(ci->magic, CINFO_MAGIC);
    EXPECT_EQ(ci->errorText, ci->errorBuf);
    EXPECT_EQ(ci->replyText, ci->replyLine);
    EXPECT_EQ(ci->hostText, ci->host);
    EXPECT_EQ(ci->dirText, ci->currentDir);
    EXPECT_EQ(ci->userText, ci->user);
    EXPECT_EQ(ci->passText, ci->password);
    EXPECT_EQ(ci->notifyWnd, fakeWnd);
    EXPECT_EQ(ci->progressMsg, 0x4321u);
    EXPECT_EQ(ci->initFlags, (uint32_t)CINFO_BLOCKING_HOOK);
    EXPECT_EQ(ci->ctrlSocket, INVALID_SOCKET);
    EXPECT_EQ(ci->rxBufSize, 4096);
    EXPECT_EQ(ci->cmdBufSize, 4096);
    EXPECT_EQ(ci->fileBufSize, 4096);
    EXPECT_EQ(ci->usePassive, 1);
    EXPECT_EQ(ci->hostType, 6000);
    EXPECT_EQ(ci->refCount, 0);
    EXPECT_EQ(ci->libOwned, 0u);
    // The library completes it.
    ci->notifyWnd = nullptr;
    ASSERT_EQ(TESSEL_IntFixCInfo(ci, nullptr), ci);
    EXPECT_EQ(ci->refCount, 1);
    EXPECT_NE(ci->rxBuf, nullptr);
    TESSEL_FreeCINFO(ci);
    for (size_t i = sizeof(CINFO); i < mem.size(); ++i)
        ASSERT_EQ(mem[i], 0xAB) << i;
}
