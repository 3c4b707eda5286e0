// Site sessions against the real vsftpd of the test bed: connect and login
// (with and without the login prompt), listing with kinds, sizes and time
// offsets, directory changes, MKD, rename, statistics written back, the
// keep-alive and the reconnect after a dropped session.
#include "sessiontest.h"

#include <commctrl.h>
#include <string>

namespace {

const SessionEntry *Find(const std::vector<SessionEntry> &v, const char *name)
{
    for (const auto &e : v)
        if (!strcmp(e.record.find.cFileName, name))
            return &e;
    return nullptr;
}

ULONGLONG Ticks(const FILETIME &ft) { return ((ULONGLONG)ft.dwHighDateTime << 32) | ft.dwLowDateTime; }

std::string Unique(const char *base)
{
    return std::string(base) + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(GetTickCount());
}

// Pumps messages until pred holds or ms pass.
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

TEST_F(SessionTest, VsftpdSessionListsNavigatesAndWritesStatistics)
{
    REQUIRE_VSFTPD();
    ASSERT_EQ(UseRegistry(), S_OK);
    Store(Site("vs", fake::VsftpdPort(), "tessel", "tessel"));
    SiteSession *s = Open("vs");
    ASSERT_NE(s, nullptr);
    ASSERT_EQ(s->Connect(nullptr, FALSE), S_OK);
    ASSERT_EQ(s->State(), kSessionReady) << s->LogText();
    EXPECT_NE(s->LogText().find("PASS (hidden)"), std::string::npos);
    EXPECT_EQ(s->LogText().find("PASS tessel"), std::string::npos);
    EXPECT_EQ(Sounds(), std::vector<std::string>{"TESSEL_ConGood"});

    std::vector<SessionEntry> entries;
    std::string cur;
    ASSERT_EQ(s->ListDir("/listing", &entries, &cur, nullptr), S_OK);
    EXPECT_EQ(cur, "/");
    EXPECT_STREQ(s->HomeDir(), "/");
    const SessionEntry *plain = Find(entries, "plain.txt");
    const SessionEntry *sub = Find(entries, "sub");
    const SessionEntry *link = Find(entries, "link");
    ASSERT_TRUE(plain && sub && link);
    EXPECT_EQ(plain->kind, ITEM_REMOTE);
    EXPECT_EQ(plain->record.find.nFileSizeLow, 5u);
    EXPECT_EQ(plain->record.size, 336u);
    EXPECT_EQ(sub->kind, ITEM_REMOTE | ITEM_DIR);
    EXPECT_TRUE(sub->record.find.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(link->kind, ITEM_REMOTE | ITEM_LINK);
    EXPECT_EQ(link->record.entryFlags, (uint32_t)REMOTE_ENTRY_LINK);
    EXPECT_EQ(Find(entries, "."), nullptr);
    EXPECT_EQ(Find(entries, ".."), nullptr);

    // Offsets of any size move the time by exactly that many hours.
    for (int offset : {200, -200}) {
        s->Profile().timeOffset = offset;
        std::vector<SessionEntry> shifted;
        ASSERT_EQ(s->ListDir("/listing", &shifted, nullptr, nullptr), S_OK);
        const SessionEntry *p = Find(shifted, "plain.txt");
        ASSERT_NE(p, nullptr);
        long long diff = (long long)(Ticks(p->record.find.ftLastWriteTime) - Ticks(plain->record.find.ftLastWriteTime));
        EXPECT_EQ(diff, (long long)offset * 3600 * 10000000LL) << offset;
    }
    s->Profile().timeOffset = 0;

    ASSERT_EQ(s->Navigate("/listing", nullptr, nullptr, FALSE), S_OK);
    ASSERT_EQ(s->ReadCurrentDir(), S_OK);
    EXPECT_STREQ(s->CurrentDir(), "/listing");
    std::string made = Unique("made");
    std::string renamed = Unique("renamed");
    ASSERT_EQ(s->MakeDir(made.c_str(), nullptr), S_OK);
    ASSERT_EQ(s->Rename(made.c_str(), renamed.c_str(), nullptr), S_OK);
    std::string onDisk = fake::VsftpdRoot() + "\\home\\listing\\" + renamed;
    EXPECT_NE(GetFileAttributesA(onDisk.c_str()), INVALID_FILE_ATTRIBUTES);
    RemoveDirectoryA(onDisk.c_str());
    ASSERT_EQ(s->ChangeDir("sub", nullptr), S_OK);
    ASSERT_EQ(s->ReadCurrentDir(), S_OK);
    EXPECT_STREQ(s->CurrentDir(), "/listing/sub");

    // A walk over items: the site root goes home, a folder item by name.
    std::vector<BYTE> list(2 * (ITEM_OVERHEAD + sizeof(FTPSITEINFO) + sizeof(RemoteEntryRecord)) + 2, 0);
    FTPSITEINFO payload;
    TesselSitePayload(&s->Profile(), &payload);
    uint32_t n = TesselItemBuild(list.data(), ITEM_SITE, &payload, sizeof payload);
    RemoteEntryRecord rec = sub->record;
    strcpy(rec.find.cFileName, "listing");
    n += TesselItemBuild(list.data() + n, ITEM_REMOTE | ITEM_DIR, &rec, sizeof rec);
    ASSERT_EQ(s->Navigate(nullptr, list.data(), nullptr, FALSE), S_OK);
    ASSERT_EQ(s->ReadCurrentDir(), S_OK);
    EXPECT_STREQ(s->CurrentDir(), "/listing") << "home is /, then the folder listing relative to it";

    s->Disconnect();
    EXPECT_EQ(s->State(), kSessionIdle);
    EXPECT_EQ(s->Record(), nullptr);
    FTPSITEINFO after = Stored("vs");
    EXPECT_EQ(after.conGood, 1);
    EXPECT_EQ(after.conFail, 0);
    EXPECT_NE(after.prevCon.wYear, 0);
    EXPECT_FALSE(after.flags & SITE_LAST_FAILED);
}

TEST_F(SessionTest, StatisticsGoToTheIniFileInIniMode)
{
    REQUIRE_VSFTPD();
    ASSERT_EQ(UseIni(), S_OK);
    Store(Site("inisite", fake::VsftpdPort(), "tessel", "tessel"));
    SiteSession *s = Open("inisite");
    ASSERT_EQ(s->Connect(nullptr, FALSE), S_OK);
    ASSERT_EQ(s->State(), kSessionReady);
    s->Disconnect();
    EXPECT_EQ(IniValue("inisite", "CGOOD"), "1");
    EXPECT_EQ(Stored("inisite").conGood, 1);
}

TEST_F(SessionTest, AnonymousConnectsWithoutPrompt)
{
    REQUIRE_VSFTPD();
    ASSERT_EQ(UseRegistry(), S_OK);
    FTPSITEINFO r = Site("anon", fake::VsftpdPort(), "anonymous", "", SITE_ANONYMOUS);
    Store(r);
    SiteSession *s = Open("anon");
    // Any dialog shown would block the connect until the deadline of the
    // pumping wait; none may appear.
    ASSERT_EQ(s->Connect(nullptr, FALSE), S_OK);
    EXPECT_EQ(s->State(), kSessionReady) << s->LogText();
}

TEST_F(SessionTest, MissingPasswordShowsConnectToAndStoresNothingUnsaved)
{
    REQUIRE_VSFTPD();
    ASSERT_EQ(UseRegistry(), S_OK);
    Store(Site("nopass", fake::VsftpdPort(), "tessel", ""));
    std::string title, user;
    Answer([&] {
        HWND d = dlg::WaitFor("Connect To Host");
        if (!d)
            return;
        title = "Connect To Host";
        user = dlg::Text(d, IDC_LOGIN_USER);
        dlg::SetText(d, IDC_LOGIN_PASS, "tessel");
        dlg::Press(d, IDOK);
    });
    SiteSession *s = Open("nopass");
    ASSERT_EQ(s->Connect(nullptr, FALSE), S_OK);
    answerer_.join();
    EXPECT_EQ(title, "Connect To Host");
    EXPECT_EQ(user, "tessel");
    EXPECT_EQ(s->State(), kSessionReady) << s->LogText();
    // "Save Password" was not ticked: the store has no password.
    EXPECT_STREQ(Stored("nopass").password, "");
}

TEST_F(SessionTest, IdleServerDropIsNoticedByKeepAliveAndNavigateReconnects)
{
    const char *env = getenv("TESSEL_VSFTPD_IDLE_PORT");
    if (!env || !atoi(env))
        GTEST_SKIP() << "no vsftpd with a short idle time-out";
    ASSERT_EQ(UseRegistry(), S_OK);
    Store(Site("idle", atoi(env), "tessel", "tessel"));
    SiteSession *s = Open("idle");
    ASSERT_EQ(s->Connect(nullptr, FALSE), S_OK);
    ASSERT_EQ(s->State(), kSessionReady);
    s->SetKeepAliveSeconds(3); // past the server's 2 s
    ASSERT_TRUE(PumpUntil([&] { return s->KeepAliveCount() > 0; }, 15000));
    ASSERT_TRUE(PumpUntil([&] { return s->Record() == nullptr; }, 5000)) << s->LogText();
    EXPECT_EQ(s->State(), kSessionIdle);
    ASSERT_EQ(s->Navigate("/", nullptr, nullptr, FALSE), S_OK);
    EXPECT_EQ(s->State(), kSessionReady);
    EXPECT_EQ(Stored("idle").conGood, 2);
}

TEST_F(SessionTest, CwdOnDroppedConnectionReconnectsOnce)
{
    const char *env = getenv("TESSEL_VSFTPD_IDLE_PORT");
    if (!env || !atoi(env))
        GTEST_SKIP() << "no vsftpd with a short idle time-out";
    ASSERT_EQ(UseRegistry(), S_OK);
    Store(Site("drop", atoi(env), "tessel", "tessel"));
    SiteSession *s = Open("drop");
    s->SetKeepAliveMinutes(0);
    ASSERT_EQ(s->Connect(nullptr, FALSE), S_OK);
    ASSERT_EQ(s->State(), kSessionReady);
    // The server drops the idle session after 2 s: its goodbye makes the
    // control socket readable.
    SOCKET cs = s->Record()->ctrlSocket;
    fd_set fds;
    FD_ZERO(&fds);
    FD_SET(cs, &fds);
    timeval tv = {10, 0};
    ASSERT_EQ(select(0, &fds, nullptr, nullptr, &tv), 1);
    ASSERT_EQ(s->ChangeDir("/", nullptr), S_OK) << s->LogText();
    ASSERT_EQ(s->ReadCurrentDir(), S_OK);
    EXPECT_STREQ(s->CurrentDir(), "/");
    EXPECT_EQ(Stored("drop").conGood, 2);
}

TEST_F(SessionTest, HundredThousandEntryListing)
{
    REQUIRE_VSFTPD();
    // Made on the Linux side by the test bed's owner: Wine would take minutes.
    std::string dir = fake::VsftpdRoot() + "\\home\\big";
    if (GetFileAttributesA((dir + "\\f99999").c_str()) == INVALID_FILE_ATTRIBUTES)
        GTEST_SKIP() << "no 100,000-file folder (make it with: mkdir big; touch big/f{0..99999})";
    ASSERT_EQ(UseRegistry(), S_OK);
    Store(Site("big", fake::VsftpdPort(), "tessel", "tessel"));
    SiteSession *s = Open("big");
    ASSERT_EQ(s->Connect(nullptr, FALSE), S_OK);
    std::vector<SessionEntry> entries;
    DWORD start = GetTickCount();
    ASSERT_EQ(s->ListDir("/big", &entries, nullptr, nullptr), S_OK);
    EXPECT_EQ(entries.size(), 100000u);
    printf("100,000 entries listed in %lu ms\n", (unsigned long)(GetTickCount() - start));
}

namespace {

struct OwnerWindow {
    HWND w = nullptr;
    static inline int done = -1;
    static inline int progress = 0;
    static LRESULT CALLBACK Proc(HWND h, UINT m, WPARAM wp, LPARAM lp)
    {
        if (m == WM_TESSEL_SESSION_DONE)
            done = (int)wp;
        if (m == WM_TESSEL_PROGRESS)
            progress++;
        return DefWindowProcA(h, m, wp, lp);
    }
    OwnerWindow()
    {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = Proc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "TesselSessionOwner";
        RegisterClassA(&wc);
        w = CreateWindowA("TesselSessionOwner", "", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr,
                          wc.hInstance, nullptr);
        done = -1;
        progress = 0;
        INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_BAR_CLASSES};
        InitCommonControlsEx(&icc);
        bar = CreateWindowExA(0, STATUSCLASSNAMEA, "", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, w, nullptr,
                              wc.hInstance, nullptr);
    }
    HWND bar = nullptr;
    std::string StatusText() const
    {
        char buf[256] = "";
        SendMessageA(bar, SB_GETTEXTA, 0, (LPARAM)buf);
        return buf;
    }
    ~OwnerWindow() { DestroyWindow(w); }
};

} // namespace

TEST_F(SessionTest, AsyncConnectReportsToTheOwnerAndProgressIsRelayed)
{
    REQUIRE_VSFTPD();
    ASSERT_EQ(UseRegistry(), S_OK);
    Store(Site("async", fake::VsftpdPort(), "tessel", "tessel"));
    OwnerWindow owner;
    SiteSession *s = Open("async");
    ASSERT_EQ(s->Connect(owner.w, TRUE), S_OK);
    // A second connect while the first runs is no new job.
    EXPECT_EQ(s->Connect(owner.w, TRUE), S_OK);
    ASSERT_TRUE(PumpUntil([] { return OwnerWindow::done != -1; }, 20000));
    EXPECT_EQ(OwnerWindow::done, 1);
    EXPECT_EQ(s->State(), kSessionReady);
    EXPECT_EQ(owner.StatusText(), "Connected") << "part 0 of the owner's status bar";
    EXPECT_EQ(Stored("async").conGood, 1);
    s->SetProgressWindow(owner.w);
    std::vector<SessionEntry> entries;
    ASSERT_EQ(s->ListDir("/big", &entries, nullptr, nullptr), S_OK);
    PumpUntil([] { return OwnerWindow::progress > 0; }, 5000);
    // The listing reports its bytes; the log window passes on one message
    // per new kilobyte figure, not one per line.
    EXPECT_GT(OwnerWindow::progress, 0);
    EXPECT_LT(OwnerWindow::progress, 100000);
}

// pure-ftpd logs an anonymous user in right after USER (230, no PASS);
// proftpd asks for the password as vsftpd does.  Both are unpacked from
// their packages by tools/otherftpd.sh.
TEST_F(SessionTest, PureFtpdAnonymousLoginWithoutPass)
{
    const char *env = getenv("TESSEL_PUREFTPD_PORT");
    if (!env || !atoi(env))
        GTEST_SKIP() << "no pure-ftpd (tools/otherftpd.sh starts one)";
    ASSERT_EQ(UseRegistry(), S_OK);
    Store(Site("pure", atoi(env), "anonymous", "", SITE_ANONYMOUS));
    SiteSession *s = Open("pure");
    ASSERT_EQ(s->Connect(nullptr, FALSE), S_OK);
    ASSERT_EQ(s->State(), kSessionReady) << s->LogText();
    EXPECT_EQ(s->LogText().find("PASS (hidden)"), std::string::npos) << "230 after USER: no PASS";
    std::vector<SessionEntry> entries;
    std::string cur;
    ASSERT_EQ(s->ListDir("/wt13", &entries, &cur, nullptr), S_OK) << s->LogText();
    ASSERT_EQ(entries.size(), 2u);
    const SessionEntry *hello = Find(entries, "hello.txt");
    ASSERT_NE(hello, nullptr);
    EXPECT_EQ(hello->record.find.nFileSizeLow, 5u);
    EXPECT_EQ(Find(entries, "sub")->kind, ITEM_REMOTE | ITEM_DIR);
    ASSERT_EQ(s->Navigate("/wt13/sub", nullptr, nullptr, FALSE), S_OK);
    ASSERT_EQ(s->ReadCurrentDir(), S_OK);
    EXPECT_STREQ(s->CurrentDir(), "/wt13/sub");
    s->Disconnect();
    EXPECT_EQ(Stored("pure").conGood, 1);
}

TEST_F(SessionTest, ProftpdSession)
{
    const char *env = getenv("TESSEL_PROFTPD_PORT");
    if (!env || !atoi(env))
        GTEST_SKIP() << "no proftpd (tools/otherftpd.sh starts one)";
    ASSERT_EQ(UseIni(), S_OK);
    Store(Site("pro", atoi(env), "tessel", "tessel"));
    SiteSession *s = Open("pro");
    ASSERT_EQ(s->Connect(nullptr, FALSE), S_OK);
    ASSERT_EQ(s->State(), kSessionReady) << s->LogText();
    EXPECT_NE(s->LogText().find("PASS (hidden)"), std::string::npos);
    // The test's own writable folder in the shared home of the test user.
    if (s->Command("CWD", "wt13pro") / 100 != 2)
        GTEST_SKIP() << "no folder wt13pro in the test user's home";
    std::string made = Unique("pro");
    ASSERT_EQ(s->MakeDir(made.c_str(), nullptr), S_OK);
    std::string renamed = made + "r";
    ASSERT_EQ(s->Rename(made.c_str(), renamed.c_str(), nullptr), S_OK);
    std::vector<SessionEntry> entries;
    ASSERT_EQ(s->ListDir(nullptr, &entries, nullptr, nullptr), S_OK);
    const SessionEntry *dir = Find(entries, renamed.c_str());
    ASSERT_NE(dir, nullptr);
    EXPECT_EQ(dir->kind, ITEM_REMOTE | ITEM_DIR);
    ASSERT_EQ(s->ChangeDir(renamed.c_str(), nullptr), S_OK);
    ASSERT_EQ(s->ReadCurrentDir(), S_OK);
    EXPECT_EQ(std::string(s->CurrentDir()), "/wt13pro/" + renamed);
    ASSERT_EQ(s->ChangeDir("..", nullptr), S_OK);
    EXPECT_EQ(s->Command("RMD", renamed.c_str()) / 100, 2);
    s->Disconnect();
    EXPECT_EQ(IniValue("pro", "CGOOD"), "1");
}
