// Control channel and login against the scripted fake server and vsftpd.
#include "enginetest.h"
#include "fakeftp.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using Lines = std::vector<std::string>;

namespace {

// Greeting, then a server that accepts whatever the login sends:
// every USER/PASS/ACCT/SITE/OPEN gets the next scripted reply.
std::string Script(const std::string &greeting, const Lines &steps)
{
    std::string s = "send " + greeting + "\n";
    for (const auto &st : steps)
        s += st + "\n";
    return s;
}

struct FirewallCase {
    int kind;
    std::string script;
    Lines expected; // commands the server must see, in order
    int result;
};

} // namespace

TEST(Login, DirectLoginDetectsHostTypeAndLogsEverything)
{
    REQUIRE_VSFTPD();
    LoggedRecord r;
    int rc = TESSEL_Connect(r.ci, "127.0.0.1", fake::VsftpdPort(), fake::VsftpdUser().c_str(),
                            fake::VsftpdPassword().c_str());
    ASSERT_EQ(rc, 230) << r.ci->errorBuf;
    EXPECT_EQ(r.ci->hostType, 6010);
    EXPECT_STREQ(TESSEL_ReturnCurrentHostTypeString(r.ci), "UNIX (standard)");
    EXPECT_EQ(TESSEL_DoCmd(r.ci, "PWD", nullptr), 257);
    EXPECT_EQ(TESSEL_DoCmd(r.ci, "SYST", nullptr), 215);
    EXPECT_EQ(TESSEL_CloseConnect(r.ci, 0), 0);
    std::string log = r.Log();
    for (const char *want : {"Connected\r\n", "USER tessel\r\n", "PASS (hidden)\r\n", "230 ",
                             "SYST\r\n", "215 UNIX", "Host type (2): UNIX (standard)\r\n",
                             "PWD\r\n", "257 \"/\"", "Closed\r\n"})
        EXPECT_NE(log.find(want), std::string::npos) << want << "\n" << log;
    EXPECT_EQ(log.find("PASS tessel"), std::string::npos);
    // Every line ends in CR LF.
    for (size_t i = 0; i < log.size(); ++i)
        if (log[i] == '\n')
            ASSERT_TRUE(i > 0 && log[i - 1] == '\r') << "bare LF at " << i;
}

TEST(Login, EveryFirewallKindSendsItsSequence)
{
    REQUIRE_FAKE_SERVER();
    const std::string okUser = "expect *\nsend 331 need password\nexpect *\nsend 230 logged in\n";
    const std::string syst = "expect SYST\nsend 215 UNIX Type: L8\n";
    const FirewallCase cases[] = {
        {0, Script("220 ready", {okUser, syst}),
         {"USER joe", "PASS secret", "SYST"}, 230},
        {1, Script("220 firewall", {"expect *\nsend 331 fw pass", "expect *\nsend 230 fw ok",
                                    "expect *\nsend 200 site ok", okUser, syst}),
         {"USER fwu", "PASS fwp", "SITE ftp.example.com", "USER joe", "PASS secret", "SYST"}, 230},
        {2, Script("220 firewall", {"expect *\nsend 331 fw pass", "expect *\nsend 230 fw ok", okUser, syst}),
         {"USER fwu", "PASS fwp", "USER joe@ftp.example.com", "PASS secret", "SYST"}, 230},
        {3, Script("220 proxy", {okUser, syst}),
         {"USER joe@ftp.example.com", "PASS secret", "SYST"}, 230},
        {4, Script("220 proxy", {"expect *\nsend 220 connected to ftp.example.com", okUser, syst}),
         {"OPEN ftp.example.com", "USER joe", "PASS secret", "SYST"}, 230},
        {5, Script("220 proxy", {"expect *\nsend 331 pass", "expect *\nsend 332 acct",
                                 "expect *\nsend 230 in", syst}),
         {"USER joe@ftp.example.com fwu", "PASS secret", "ACCT fwp", "SYST"}, 230},
        {6, Script("220 proxy", {"expect *\nsend 331 fw pass", "expect *\nsend 230 fw ok", okUser, syst}),
         {"USER fwu@ftp.example.com", "PASS fwp", "USER joe", "PASS secret", "SYST"}, 230},
        {7, Script("220 host", {"expect *\nsend 331 fw pass", "expect *\nsend 230 fw ok", okUser, syst}),
         {"USER fwu", "PASS fwp", "USER joe", "PASS secret", "SYST"}, 230},
        {8, Script("220 proxy", {"expect *\nsend 331 pass", "expect *\nsend 332 acct",
                                 "expect *\nsend 230 in", syst}),
         {"USER joe@fwu@ftp.example.com", "PASS secret@fwp", "ACCT acct1", "SYST"}, 230},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE("firewall kind " + std::to_string(c.kind));
        int port = fake::Inline(c.script);
        ASSERT_NE(port, 0);
        LoggedRecord r;
        // Kind 7 talks to the host itself; the others to the firewall.  The
        // unused endpoint is made unreachable so a wrong choice fails.
        const bool direct = c.kind == 0 || c.kind == 7;
        const char *host = direct ? "127.0.0.1" : "ftp.example.com";
        int hostPort = direct ? port : 1;
        int rc = ConnectLogin(r.ci, host, hostPort, "joe", "secret", "acct1", c.kind,
                              direct ? "192.0.2.1" : "127.0.0.1", direct ? 1 : port, "fwu", "fwp");
        EXPECT_EQ(rc, c.result) << r.ci->errorBuf << "\n" << r.Log();
        TESSEL_CloseConnect(r.ci, 0);
        EXPECT_EQ(Commands(fake::Received(port)), c.expected);
        EXPECT_EQ(r.Log().find("fwp"), std::string::npos) << "firewall password logged";
        EXPECT_EQ(r.Log().find("secret"), std::string::npos) << "password logged";
    }
}

TEST(Login, MissingCredentialsStopBeforeAnythingIsSent)
{
    LoggedRecord r;
    EXPECT_EQ(ConnectLogin(nullptr, "h", 21, "u", "p", "", 0, "", 0, "", ""), 600);
    EXPECT_EQ(ConnectLogin(r.ci, "", 21, "u", "p", "", 0, "", 0, "", ""), 601);
    EXPECT_EQ(ConnectLogin(r.ci, "h", 21, "", "p", "", 0, "", 0, "", ""), 603);
    for (int kind : {1, 2, 5, 6, 7, 8}) {
        EXPECT_EQ(ConnectLogin(r.ci, "h", 21, "u", "p", "", kind, "fw", 21, "", "x"), 609) << kind;
        EXPECT_EQ(ConnectLogin(r.ci, "h", 21, "u", "p", "", kind, "fw", 21, "x", ""), 610) << kind;
    }
    EXPECT_EQ(r.ci->ctrlSocket, INVALID_SOCKET);
    CINFO stale = *r.ci;
    stale.magic = 1;
    EXPECT_EQ(ConnectLogin(&stale, "h", 21, "u", "p", "", 0, "", 0, "", ""), 600);
    EXPECT_STREQ(stale.errorBuf, "! not initialized");
}

TEST(Login, PasswordAndAccountAskedButMissing)
{
    REQUIRE_FAKE_SERVER();
    int port = fake::Inline("send 220 hi\nexpect USER joe\nsend 331 password please\n");
    LoggedRecord r;
    EXPECT_EQ(TESSEL_Connect(r.ci, "127.0.0.1", port, "joe", ""), 604);
    TESSEL_CloseConnect(r.ci, 0);
    EXPECT_EQ(Commands(fake::Received(port)), Lines({"USER joe"}));

    port = fake::Inline("send 220 hi\nexpect USER joe\nsend 331 pw\nexpect PASS pw\nsend 332 account\n");
    LoggedRecord r2;
    EXPECT_EQ(ConnectLogin(r2.ci, "127.0.0.1", port, "joe", "pw", "", 0, "", 0, "", ""), 605);
    TESSEL_CloseConnect(r2.ci, 0);
    EXPECT_EQ(Commands(fake::Received(port)), Lines({"USER joe", "PASS pw"}));
}

TEST(Login, PortZeroMeansTwentyOne)
{
    REQUIRE_FAKE_SERVER();
    int port = fake::InlineOnPort("send 220 on 21\nexpect USER anonymous\nsend 230 in\nexpect SYST\nsend 215 UNIX\n", 21);
    if (port != 21)
        GTEST_SKIP() << "port 21 is taken on this machine";
    LoggedRecord r;
    EXPECT_EQ(TESSEL_Connect(r.ci, "127.0.0.1", 0, "anonymous", "x"), 230);
    EXPECT_EQ(ntohs(r.ci->serverAddr.sin_port), 21);
    TESSEL_CloseConnect(r.ci, 0);
}

TEST(Login, LongUserAndPasswordAreSentWholeButStoredCut)
{
    REQUIRE_FAKE_SERVER();
    std::string user(200, 'u'), pass(200, 'p');
    int port = fake::Inline("send 220 hi\nexpect USER u{200}\nsend 331 pw\nexpect PASS p{200}\nsend 230 ok\n"
                            "expect SYST\nsend 500 no\n");
    LoggedRecord r;
    EXPECT_EQ(TESSEL_Connect(r.ci, "127.0.0.1", port, user.c_str(), pass.c_str()), 230);
    EXPECT_EQ(strlen(r.ci->user), 79u);
    EXPECT_EQ(strlen(r.ci->password), 79u);
    TESSEL_CloseConnect(r.ci, 0);
    EXPECT_EQ(Commands(fake::Received(port)).size(), 3u);
    for (const auto &l : fake::Received(port))
        EXPECT_NE(l[0], '!') << l;
}

TEST(Login, ALeftoverCancelDoesNotStopTheNextConnect)
{
    REQUIRE_FAKE_SERVER();
    int port = fake::Inline("send 220 hi\nexpect USER u\nsend 230 ok\nexpect SYST\nsend 215 UNIX\n");
    LoggedRecord r;
    r.ci->cancelFlag = 1; // what a cancelled transfer leaves behind
    r.ci->abortFlag = 1;
    EXPECT_EQ(TESSEL_Connect(r.ci, "127.0.0.1", port, "u", "p"), 230) << r.ci->errorBuf;
    // A transfer's local failure leaves the abort mark; the session's next
    // command is still answered.
    r.ci->abortFlag = 1;
    EXPECT_EQ(TESSEL_DoCmd(r.ci, "NOOP", nullptr), 502); // the fake server's "Not scripted."
}
