// Site sessions against the scripted fake server: the login prompts a
// server's answers call for, the failure dialog and its Retry, start-up
// commands, and the keep-alive.
#include "sessiontest.h"
#include "enginetest.h"

#include <algorithm>
#include <atomic>

namespace {

const char kSyst[] = "expect SYST\nsend 215 UNIX Type: L8\n";

bool Has(const std::vector<std::string> &v, const std::string &s) { return std::find(v.begin(), v.end(), s) != v.end(); }

template <class P> bool PumpUntil(P pred, DWORD ms)
{
    DWORD start = GetTickCount();
    while (!pred()) {
        if (GetTickCount() - start > ms)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        MSG m;
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&m);
            DispatchMessageA(&m);
        }
    }
    return true;
}

} // namespace

TEST_F(SessionTest, EmptyPasswordAfter331AsksInPasswordDialog)
{
    REQUIRE_FAKE_SERVER();
    ASSERT_EQ(UseRegistry(), S_OK);
    int port = fake::Inline(std::string("send 220 hi\nexpect USER bob\nsend 331 password please\n"
                                        "expect PASS s3cret\nsend 230 in\n") + kSyst);
    ASSERT_NE(port, 0);
    FTPSITEINFO r = Site("pw", port, "bob", "");
    Store(r);
    SiteSession *s = Open("pw");
    int shown = 0;
    Answer([&] {
        // No password known: "Connect To" first, then the server's 331.
        HWND d = dlg::WaitFor("Connect To Host");
        if (!d)
            return;
        shown++;
        dlg::Press(d, IDOK);
        dlg::WaitGone(d);
        d = dlg::WaitFor("Password");
        if (!d)
            return;
        shown++;
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(d, IDC_LOGIN_ACCT)));
        dlg::SetText(d, IDC_LOGIN_PASS, "s3cret");
        dlg::Press(d, IDOK);
    });
    ASSERT_EQ(s->Connect(nullptr, FALSE), S_OK);
    answerer_.join();
    EXPECT_EQ(shown, 2);
    EXPECT_EQ(s->State(), kSessionReady) << s->LogText();
    EXPECT_TRUE(Has(Commands(fake::Received(port)), "PASS s3cret"));
    EXPECT_EQ(Sounds(), (std::vector<std::string>{"TESSEL_NeedPass", "TESSEL_ConGood"}));
}

TEST_F(SessionTest, AccountWantedShowsAccountPromptEvenWithPasswordKnown)
{
    REQUIRE_FAKE_SERVER();
    ASSERT_EQ(UseRegistry(), S_OK);
    int port = fake::Inline(std::string("send 220 hi\nexpect USER bob\nsend 331 pw\nexpect PASS pw\n"
                                        "send 332 account please\nexpect ACCT acc9\nsend 230 in\n") + kSyst);
    ASSERT_NE(port, 0);
    Store(Site("acct", port, "bob", "pw"));
    SiteSession *s = Open("acct");
    Answer([&] {
        HWND d = dlg::WaitFor("Connect To Host");
        if (!d)
            return;
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(d, IDC_LOGIN_PASS)));
        dlg::SetText(d, IDC_LOGIN_ACCT, "acc9");
        dlg::Press(d, IDOK);
    });
    ASSERT_EQ(s->Connect(nullptr, FALSE), S_OK);
    answerer_.join();
    EXPECT_EQ(s->State(), kSessionReady) << s->LogText();
    EXPECT_TRUE(Has(Commands(fake::Received(port)), "ACCT acc9"));
}

TEST_F(SessionTest, MissingFirewallUserAsksConnectToFirewall)
{
    REQUIRE_FAKE_SERVER();
    ASSERT_EQ(UseRegistry(), S_OK);
    int port = fake::Inline(std::string("send 220 fw\nexpect USER fu\nsend 331 pw\nexpect PASS fp\nsend 230 fw ok\n"
                                        "expect SITE target.example\nsend 220 connected\nexpect USER bob\n"
                                        "send 331 pw\nexpect PASS pw\nsend 230 in\n") + kSyst);
    ASSERT_NE(port, 0);
    FTPSITEINFO r = Site("fw", port, "bob", "pw", SITE_USE_FIREWALL);
    strcpy(r.host, "target.example");
    strcpy(r.fwHost, "127.0.0.1");
    r.fwPort = port;
    r.fwType = 1;
    Store(r);
    SiteSession *s = Open("fw");
    std::vector<std::string> titles;
    Answer([&] {
        HWND d = dlg::WaitFor("Connect To Firewall");
        if (!d)
            return;
        titles.push_back("Connect To Firewall");
        EXPECT_FALSE(IsWindowVisible(GetDlgItem(d, IDC_LOGIN_ANON)));
        EXPECT_EQ(dlg::Text(d, IDC_LOGIN_ADDR), "127.0.0.1");
        dlg::SetText(d, IDC_LOGIN_USER, "fu");
        dlg::SetText(d, IDC_LOGIN_PASS, "fp");
        dlg::Press(d, IDOK);
    });
    ASSERT_EQ(s->Connect(nullptr, FALSE), S_OK);
    answerer_.join();
    EXPECT_EQ(titles, (std::vector<std::string>{"Connect To Firewall"}));
    FTPSITEINFO after = Stored("fw");
    EXPECT_STREQ(after.fwUser, "fu");
    EXPECT_EQ(s->State(), kSessionReady) << s->LogText();
}

TEST_F(SessionTest, RefusedLoginShowsFailureRetryGoesRoundCancelCounts)
{
    REQUIRE_FAKE_SERVER();
    ASSERT_EQ(UseRegistry(), S_OK);
    int port = fake::Inline("sessions 2\nsend 220 hi\nexpect USER bob\nsend 331 pw\nexpect PASS pw\n"
                            "send 530 Login incorrect.\n");
    ASSERT_NE(port, 0);
    Store(Site("refused", port, "bob", "pw"));
    SiteSession *s = Open("refused");
    std::string detail, headline;
    int failures = 0;
    Answer([&] {
        HWND d = dlg::WaitFor("refused"); // the failure dialog carries the site's name
        if (!d)
            return;
        failures++;
        headline = dlg::Text(d, IDC_FAIL_HEADLINE);
        detail = dlg::Text(d, IDC_FAIL_DETAIL);
        dlg::Press(d, IDRETRY);
        dlg::WaitGone(d);
        HWND login = dlg::WaitFor("Connect To Host");
        if (!login)
            return;
        dlg::Press(login, IDOK);
        dlg::WaitGone(login);
        d = dlg::WaitFor("refused");
        if (!d)
            return;
        failures++;
        dlg::Press(d, IDCANCEL);
    });
    ASSERT_EQ(s->Connect(nullptr, FALSE), S_OK);
    answerer_.join();
    EXPECT_EQ(failures, 2);
    EXPECT_EQ(headline, "Connection to 127.0.0.1 failed");
    EXPECT_NE(detail.find("530 Login incorrect."), std::string::npos) << detail;
    EXPECT_EQ(s->State(), kSessionFailed);
    FTPSITEINFO after = Stored("refused");
    EXPECT_EQ(after.conFail, 1);
    EXPECT_EQ(after.conGood, 0);
    EXPECT_TRUE(after.flags & SITE_LAST_FAILED);
    EXPECT_EQ(Sounds(), (std::vector<std::string>{"TESSEL_ConFail", "TESSEL_ConFail"}));
}

TEST_F(SessionTest, StartupCommandsAndStartDirectory)
{
    REQUIRE_FAKE_SERVER();
    ASSERT_EQ(UseRegistry(), S_OK);
    int port = fake::Inline(std::string("send 220 hi\nexpect USER bob\nsend 230 in\n") + kSyst +
                            "expect SITE ONE\nsend 200 one\nexpect SITE TWO\nsend 200 two\n"
                            "expect CWD /start\nsend 250 ok\n");
    ASSERT_NE(port, 0);
    FTPSITEINFO r = Site("init", port, "bob", "pw");
    strcpy(r.initCmd, "SITE ONE;SITE TWO;");
    strcpy(r.remoteDir, "/start");
    Store(r);
    SiteSession *s = Open("init");
    ASSERT_EQ(s->Connect(nullptr, FALSE), S_OK);
    ASSERT_EQ(s->State(), kSessionReady);
    s->Disconnect();
    std::vector<std::string> got = fake::Received(port);
    for (const auto &l : got)
        EXPECT_NE(l[0], '!') << l;
    std::vector<std::string> cmds = Commands(got);
    ASSERT_GE(cmds.size(), 5u);
    EXPECT_EQ(cmds[2], "SITE ONE");
    EXPECT_EQ(cmds[3], "SITE TWO");
    EXPECT_EQ(cmds[4], "CWD /start");
}

TEST_F(SessionTest, KeepAliveOnlyWhenIdleAnd421DropsTheRecord)
{
    REQUIRE_FAKE_SERVER();
    ASSERT_EQ(UseRegistry(), S_OK);
    int port = fake::Inline(std::string("send 220 hi\nexpect USER bob\nsend 230 in\n") + kSyst +
                            "expect NOOP\nsend 200 fine\nexpect NOOP\nsend 421 going away\nclose\n");
    ASSERT_NE(port, 0);
    Store(Site("keep", port, "bob", "pw"));
    SiteSession *s = Open("keep");
    ASSERT_EQ(s->Connect(nullptr, FALSE), S_OK);
    ASSERT_EQ(s->State(), kSessionReady);
    s->SetKeepAliveSeconds(1);
    {
        // While an operation runs the timer stays quiet.
        SessionOp op(s);
        PumpUntil([] { return false; }, 3500);
        EXPECT_EQ(s->KeepAliveCount(), 0);
    }
    ASSERT_TRUE(PumpUntil([&] { return s->KeepAliveCount() >= 1; }, 10000));
    EXPECT_NE(s->Record(), nullptr);
    ASSERT_TRUE(PumpUntil([&] { return s->Record() == nullptr; }, 10000)) << s->LogText();
    EXPECT_EQ(s->KeepAliveCount(), 2);
    EXPECT_EQ(s->State(), kSessionIdle);
}

TEST_F(SessionTest, PwdRepliesAndChangeFailure)
{
    REQUIRE_FAKE_SERVER();
    ASSERT_EQ(UseRegistry(), S_OK);
    std::string longPath(1000, 'x');
    int port = fake::Inline(std::string("send 220 hi\nexpect USER bob\nsend 230 in\n") + kSyst +
                            "expect PWD\nsend 257 \"/it's \"\"here\"\"/\" is current\n"
                            "expect PWD\nsend 257 \"/" + longPath + "\"\n"
                            "expect PWD\nsend 257 no quotes at all\n"
                            "expect CWD nowhere\nsend 550 No such directory\n");
    ASSERT_NE(port, 0);
    Store(Site("pwd", port, "bob", "pw"));
    SiteSession *s = Open("pwd");
    ASSERT_EQ(s->Connect(nullptr, FALSE), S_OK);
    ASSERT_EQ(s->ReadCurrentDir(), S_OK) << s->LogText();
    EXPECT_STREQ(s->CurrentDir(), "/it's \"here\"");
    EXPECT_EQ(s->ReadCurrentDir(), E_FAIL); // too long: not found, never cut
    EXPECT_STREQ(s->CurrentDir(), "");
    EXPECT_EQ(s->ReadCurrentDir(), E_FAIL);
    std::string headline;
    Answer([&] {
        HWND d = dlg::WaitFor("pwd");
        if (!d)
            return;
        headline = dlg::Text(d, IDC_FAIL_HEADLINE);
        EXPECT_FALSE(IsWindowVisible(GetDlgItem(d, IDRETRY)));
        dlg::Press(d, IDCANCEL);
    });
    EXPECT_EQ(s->ChangeDir("nowhere", nullptr), E_UNEXPECTED);
    answerer_.join();
    EXPECT_EQ(headline, "Change folder to nowhere failed");
}

TEST_F(SessionTest, FullLengthCredentialsReachTheServer)
{
    REQUIRE_FAKE_SERVER();
    ASSERT_EQ(UseRegistry(), S_OK);
    std::string user(255, 'u'), pass(255, 'p');
    int port = fake::Inline(std::string("send 220 hi\nexpect USER u{255}\nsend 331 pw\nexpect PASS p{255}\n"
                                        "send 230 in\n") + kSyst);
    ASSERT_NE(port, 0);
    Store(Site("long", port, user.c_str(), pass.c_str()));
    SiteSession *s = Open("long");
    ASSERT_EQ(s->Connect(nullptr, FALSE), S_OK);
    EXPECT_EQ(s->State(), kSessionReady) << s->LogText();
    for (const auto &l : fake::Received(port))
        EXPECT_NE(l[0], '!') << l;
}

TEST_F(SessionTest, LongNamesStayWithinTheirFieldAndDotLinesDrop)
{
    REQUIRE_FAKE_SERVER();
    ASSERT_EQ(UseRegistry(), S_OK);
    std::string name(300, 'n');
    int port = fake::Inline(std::string("send 220 hi\nexpect USER bob\nsend 230 in\n") + kSyst +
                            "expect PWD\nsend 257 \"/\"\nexpect TYPE A\nsend 200 ok\nexpect PASV\npasv\n"
                            "expect LIST.*\nsend 150 here\ndataconnect\n"
                            "datasend -rw-r--r-- 1 u g 5 Jan 1 2020 " + name + "\\r\\n\n"
                            "datasend drwxr-xr-x 2 u g 512 Jan 1 2020 .\\r\\n\n"
                            "datasend drwxr-xr-x 2 u g 512 Jan 1 2020 ..\\r\\n\n"
                            "datasend drwxr-xr-x 2 u g 512 Jan 1 2020 d\\r\\n\n"
                            "dataclose\nsend 226 done\n");
    ASSERT_NE(port, 0);
    Store(Site("names", port, "bob", "pw"));
    SiteSession *s = Open("names");
    ASSERT_EQ(s->Connect(nullptr, FALSE), S_OK);
    ASSERT_EQ(s->State(), kSessionReady);
    std::vector<SessionEntry> entries;
    ASSERT_EQ(s->ListDir(nullptr, &entries, nullptr, nullptr), S_OK) << s->LogText();
    // The decoder drops a line whose name does not fit its 256-character
    // field; whatever is kept is terminated within cFileName.
    ASSERT_FALSE(entries.empty());
    for (const auto &e : entries) {
        EXPECT_LT(strnlen(e.record.find.cFileName, MAX_PATH), (size_t)MAX_PATH);
        EXPECT_STRNE(e.record.find.cFileName, ".");
        EXPECT_STRNE(e.record.find.cFileName, "..");
    }
    EXPECT_STREQ(entries.back().record.find.cFileName, "d");
    EXPECT_EQ(entries.back().kind, ITEM_REMOTE | ITEM_DIR);
}

TEST_F(SessionTest, LoginPromptAnonymousToggleRestoresWhatWasTyped)
{
    ASSERT_EQ(UseRegistry(), S_OK); // e-mail address me@example.org
    FTPSITEINFO r = Site("toggle", 21, "carol", "");
    Store(r);
    std::string userAnon, passAnon, userBack, passBack;
    Answer([&] {
        HWND d = dlg::WaitFor("Connect To Host");
        if (!d)
            return;
        dlg::SetText(d, IDC_LOGIN_PASS, "typed");
        SendMessageA(GetDlgItem(d, IDC_LOGIN_ANON), BM_CLICK, 0, 0);
        userAnon = dlg::Text(d, IDC_LOGIN_USER);
        passAnon = dlg::Text(d, IDC_LOGIN_PASS);
        SendMessageA(GetDlgItem(d, IDC_LOGIN_ANON), BM_CLICK, 0, 0);
        userBack = dlg::Text(d, IDC_LOGIN_USER);
        passBack = dlg::Text(d, IDC_LOGIN_PASS);
        SendMessageA(GetDlgItem(d, IDC_LOGIN_SAVE), BM_CLICK, 0, 0);
        dlg::Press(d, IDOK);
    });
    EXPECT_EQ(TESSEL_LoginFTPSiteDlg(nullptr, nullptr, &r, 0), S_OK);
    answerer_.join();
    EXPECT_EQ(userAnon, "anonymous");
    EXPECT_EQ(passAnon, "me@example.org");
    EXPECT_EQ(userBack, "carol");
    EXPECT_EQ(passBack, "typed");
    EXPECT_STREQ(r.password, "typed");
    // "Save Password" ticked: stored.
    EXPECT_STREQ(Stored("toggle").password, "typed");
    // A known password and no flags: nothing shown.
    EXPECT_EQ(TESSEL_LoginFTPSiteDlg(nullptr, nullptr, &r, 0), S_OK);
    Answer([&] {
        HWND d = dlg::WaitFor("Connect To Host");
        if (d)
            dlg::Press(d, IDCANCEL);
    });
    EXPECT_EQ(TESSEL_LoginFTPSiteDlg(nullptr, nullptr, &r, LOGIN_RETRY), E_ABORT);
}
