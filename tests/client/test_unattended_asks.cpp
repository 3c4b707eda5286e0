// Runs nobody watches never wait for a person: tessel95.exe started
// unattended (a transfer argument, -s, -m, or quiet) against the real vsftpd
// must end on its own, with its log and exit code, whatever its
// configuration would ask; an interactive start still asks.  Every run has a
// time-out, and every dialog the program shows is recorded, so a question
// that would have blocked the run fails the test instead of hanging it.
#include "clienttest.h"
#include "fakeftp.h"
#include "resource.h"

#include <algorithm>
#include <functional>
#include <string>
#include <thread>
#include <vector>

using namespace t95;

namespace {

std::string BuildDir()
{
    char exe[MAX_PATH];
    GetModuleFileNameA(nullptr, exe, sizeof exe);
    return std::string(exe, strrchr(exe, '\\') - exe);
}

std::string ReadAll(const std::string &path)
{
    std::string out;
    FILE *f = fopen(path.c_str(), "rb");
    if (!f)
        return "<missing>";
    char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0)
        out.append(buf, n);
    fclose(f);
    return out;
}

void WriteAll(const std::string &path, const std::string &data)
{
    FILE *f = fopen(path.c_str(), "wb");
    ASSERT_TRUE(f) << path;
    fwrite(data.data(), 1, data.size(), f);
    fclose(f);
}

std::string Bytes(size_t n, unsigned seed)
{
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i)
        s[i] = (char)((i * 31 + seed * 7 + (i >> 8)) & 0xFF);
    return s;
}

struct RunResult {
    int code = -2;                    // exit code; -1 when the time-out killed it
    DWORD ms = 0;                     // how long it ran
    std::vector<std::string> dialogs; // "title | prompt" of each dialog it showed
    std::string Dialogs() const
    {
        std::string all;
        for (const auto &d : dialogs)
            all += "[" + d + "] ";
        return all;
    }
};

struct Windows {
    DWORD pid;
    const char *cls;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectWindow(HWND wnd, LPARAM lp)
{
    Windows *w = (Windows *)lp;
    DWORD owner = 0;
    GetWindowThreadProcessId(wnd, &owner);
    char cls[64];
    if (owner == w->pid && GetClassNameA(wnd, cls, sizeof cls) && !strcmp(cls, w->cls))
        w->found.push_back(wnd);
    return TRUE;
}

std::vector<HWND> WindowsOf(DWORD pid, const char *cls)
{
    Windows w = {pid, cls, {}};
    EnumWindows(CollectWindow, (LPARAM)&w);
    return w.found;
}

// Starts tessel95.exe in dir and waits at most ms, looking at its dialogs
// (but the modeless progress window) every 50 ms; a dialog still there at
// the third look is recorded; onDialog (when given) may answer one and returns true then.
// A run still going at the end is killed.
RunResult RunClient(const std::string &args, const std::string &dir, DWORD ms,
              std::function<bool(HWND)> onDialog = nullptr, std::function<bool(DWORD pid)> onTick = nullptr)
{
    RunResult r;
    std::string cmd = "\"" + BuildDir() + "\\tessel95.exe\" " + args;
    std::vector<char> line(cmd.begin(), cmd.end());
    line.push_back(0);
    STARTUPINFOA si = {sizeof si};
    PROCESS_INFORMATION pi;
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, dir.c_str(), &si, &pi))
        return r;
    CloseHandle(pi.hThread);
    const DWORD start = GetTickCount();
    std::vector<HWND> seen;
    std::vector<std::pair<HWND, int>> sightings;
    for (;;) {
        if (WaitForSingleObject(pi.hProcess, 50) == WAIT_OBJECT_0) {
            DWORD c = 0;
            GetExitCodeProcess(pi.hProcess, &c);
            r.code = (int)c;
            break;
        }
        std::vector<std::pair<HWND, int>> now;
        for (HWND dlg : WindowsOf(pi.dwProcessId, "#32770")) {
            if (onDialog)
                onDialog(dlg);
            // The progress window (HASH) is modeless and waits for nobody.
            char title[200] = "", prompt[300] = "";
            GetWindowTextA(dlg, title, sizeof title);
            if (!strcmp(title, "Transfer Status") || FindWindowExA(dlg, nullptr, "msctls_progress32", nullptr))
                continue;
            // A window that waits for a person stays; one seen only in
            // passing (made or torn down between two looks) is not counted.
            int times = 1;
            for (const auto &p : sightings)
                if (p.first == dlg)
                    times = p.second + 1;
            now.push_back({dlg, times});
            if (times == 3 && IsWindow(dlg) && std::find(seen.begin(), seen.end(), dlg) == seen.end()) {
                seen.push_back(dlg);
                GetDlgItemTextA(dlg, IDC_INPUT_PROMPT, prompt, sizeof prompt);
                if (!prompt[0])
                    GetDlgItemTextA(dlg, 0xFFFF, prompt, sizeof prompt); // a message box's text
                r.dialogs.push_back(std::string(title) + " | " + prompt);
            }
        }
        sightings = now;
        if (onTick)
            onTick(pi.dwProcessId);
        if (GetTickCount() - start >= ms) {
            TerminateProcess(pi.hProcess, 99);
            WaitForSingleObject(pi.hProcess, 5000);
            r.code = -1;
            break;
        }
    }
    r.ms = GetTickCount() - start;
    CloseHandle(pi.hProcess);
    return r;
}

// A folder with TESSEL.INI: sounds and the connect dialog at start off,
// the remembered anonymous session [h] and the password user's [vs].
struct Bed {
    ct::TempDir dir;
    std::string pub, home;
    explicit Bed(const std::string &config = "", const std::string &sections = "")
    {
        pub = fake::VsftpdRoot() + "\\pub";
        home = fake::VsftpdRoot() + "\\home";
        const std::string port = std::to_string(fake::VsftpdPort());
        WriteAll(dir.File("TESSEL.INI"), "[_config_]\r\nBELL=0\r\nAUTOSTART=0\r\n" + config +
                                             "[h]\r\nHOST=127.0.0.1\r\nPORT=" + port + "\r\nUID=anonymous\r\n" +
                                             "[vs]\r\nHOST=127.0.0.1\r\nPORT=" + port + "\r\nUID=tessel\r\n" +
                                             sections);
        CreateDirectoryA(dir.File("in").c_str(), nullptr);
    }
    std::string Ini() const { return dir.File("TESSEL.INI"); }
    std::string Config(const char *key) const
    {
        char buf[1024];
        GetPrivateProfileStringA("_config_", key, "<absent>", buf, sizeof buf, Ini().c_str());
        return buf;
    }
    std::string Log() const { return ReadAll(dir.File("xferlog.txt")); }
    bool Logged(const std::string &text) const { return Log().find(text) != std::string::npos; }
    size_t Count(const std::string &text) const
    {
        std::string log = Log();
        size_t n = 0;
        for (size_t p = log.find(text); p != std::string::npos; p = log.find(text, p + 1))
            ++n;
        return n;
    }
};

} // namespace

// The scheduled nightly download of a new user: the first run writes
// SESSION=h, and every later run loads that anonymous session at start-up,
// before the transfer, where the e-mail question used to wait for ever.
TEST(ClientNobodyThere, RememberedAnonymousSessionRunsAgainAndAgain)
{
    REQUIRE_VSFTPD();
    Bed bed;
    const std::string data = Bytes(150000, 1);
    WriteAll(bed.pub + "\\t95nightly.bin", data);
    const std::string args = "-p h -binary h:/t95nightly.bin local:" + bed.dir.File("in\\t95nightly.bin");
    for (const char *quiet : {"-quiet ", "-quiet ", ""}) {
        DeleteFileA(bed.dir.File("in\\t95nightly.bin").c_str());
        RunResult r = RunClient(quiet + args, bed.dir.path, 30000);
        EXPECT_EQ(r.code, 0) << quiet << r.Dialogs() << bed.Log();
        EXPECT_TRUE(r.dialogs.empty()) << r.Dialogs();
        EXPECT_TRUE(ReadAll(bed.dir.File("in\\t95nightly.bin")) == data) << quiet;
        EXPECT_EQ(bed.Config("SESSION"), "h");
    }
    EXPECT_EQ(bed.Count("Successful transfer"), 3u) << bed.Log();
    EXPECT_EQ(bed.Config("MAILADDR"), "<absent>") << "nobody was asked, nothing was answered";
}

// The same configuration started by a person still asks; the answer goes
// into MAILADDR.
TEST(ClientNobodyThere, InteractiveStartStillAsksForTheMailAddress)
{
    REQUIRE_VSFTPD();
    Bed bed("SESSION=h\r\n");
    bool asked = false, closed = false;
    RunResult r = RunClient(
        "", bed.dir.path, 30000,
        [&](HWND dlg) {
            char prompt[100] = "";
            GetDlgItemTextA(dlg, IDC_INPUT_PROMPT, prompt, sizeof prompt);
            if (asked || strcmp(prompt, "Enter your e-mail address:"))
                return false;
            asked = true;
            SendMessageA(GetDlgItem(dlg, IDC_INPUT_EDIT), WM_SETTEXT, 0, (LPARAM) "night@example.org");
            PostMessageA(dlg, WM_COMMAND, IDOK, 0);
            return true;
        },
        [&](DWORD pid) {
            // Once answered, the main window comes; close it as a user would.
            if (!asked || closed)
                return false;
            for (HWND w : WindowsOf(pid, T95_APPNAME)) {
                PostMessageA(w, WM_CLOSE, 0, 0);
                closed = true;
            }
            return closed;
        });
    EXPECT_TRUE(asked) << r.Dialogs();
    EXPECT_TRUE(closed);
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(bed.Config("MAILADDR"), "night@example.org");
    EXPECT_EQ(ReadAll(bed.dir.File("xferlog.txt")), "<missing>") << "an interactive run keeps no transfer log file";
}

// A login that needs a password nobody stored fails at once: one attempt,
// no PASS with an empty password, a line that says what was missing, and
// the exit code of a failed transfer.
TEST(ClientNobodyThere, MissingPasswordFailsWithItsLineAndExitCode)
{
    REQUIRE_VSFTPD();
    Bed bed;
    WriteAll(bed.home + "\\t95nopw.bin", "x");
    for (const char *args : {"vs:/t95nopw.bin", "-quiet -s vs:/t95nopw.bin"}) {
        DeleteFileA(bed.dir.File("xferlog.txt").c_str());
        RunResult r = RunClient(args, bed.dir.path, 30000);
        EXPECT_EQ(r.code, 1) << args << r.Dialogs() << bed.Log();
        EXPECT_TRUE(r.dialogs.empty()) << r.Dialogs();
        EXPECT_TRUE(bed.Logged("! Missing password for tessel on host 127.0.0.1: none is stored, and an unattended "
                               "run has nobody to ask"))
            << bed.Log();
        EXPECT_EQ(bed.Count("USER tessel"), 1u) << "no retries: the password stays missing";
        EXPECT_EQ(bed.Count("PASS"), 0u);
        EXPECT_TRUE(bed.Logged("! Connect failed to 127.0.0.1"));
        EXPECT_LT(r.ms, 15000u);
    }
    EXPECT_EQ(ReadAll(bed.dir.File("t95nopw.bin")), "<missing>");
}

// With overwrite confirmation on, an existing local file does not stop the
// run: a command-line transfer knows no date of the server's file, so the
// check lets it through, and the local file is the server's copy after it.
TEST(ClientNobodyThere, ExistingLocalFileWithOverwriteConfirmationOn)
{
    REQUIRE_VSFTPD();
    Bed bed("PROOVERW=1\r\nPRODIROW=1\r\n");
    const std::string data = Bytes(70000, 2);
    WriteAll(bed.pub + "\\t95exists.bin", data);
    WriteAll(bed.dir.File("t95exists.bin"), "an older local copy");
    RunResult r = RunClient("-p h h:/t95exists.bin", bed.dir.path, 30000);
    EXPECT_EQ(r.code, 0) << r.Dialogs() << bed.Log();
    EXPECT_TRUE(r.dialogs.empty()) << r.Dialogs();
    EXPECT_TRUE(ReadAll(bed.dir.File("t95exists.bin")) == data);
}

// The question itself, reached with a known source date and nobody there:
// the options answer it (PRODIROW on keeps the existing file and logs the
// skip; off replaces it), and no dialog opens.
TEST(ClientNobodyThere, OverwriteQuestionTakesTheOptionsAnswer)
{
    ct::ClientState st;
    ct::MainWindow w;
    g_cmd.quiet = 0;
    g_cmd.nobody = 1;
    g_cfg.proOverw = 1;
    st.dir.Write("kept.bin", "mine");
    RefreshLocal();
    // The server's copy is older than the local file.
    HGLOBAL h = NewItem(1, KIND_FILE, "kept.bin", nullptr);
    ListItem *it = (ListItem *)GlobalLock(h);
    it->year = 2001;
    it->month = 2;
    it->day = 3;
    it->size = 4;
    GlobalUnlock(h);
    AddItem(w.Item(IDC_RLIST), h);
    g_ftp.connected = 1; // nothing goes to a server before the check
    // A dialog would block this thread: a watcher closes any and counts it.
    volatile LONG seen = 0, stop = 0;
    std::thread watcher([&] {
        while (!stop) {
            for (HWND d : WindowsOf(GetCurrentProcessId(), "#32770")) {
                InterlockedIncrement(&seen);
                PostMessageA(d, WM_COMMAND, IDCANCEL, 0);
            }
            Sleep(50);
        }
    });

    g_cfg.proDirOw = 1;
    EXPECT_EQ(ReceiveFile("kept.bin", nullptr, 1, 1, 0, 0), 2);
    char line[200] = "";
    LogLineAt(0, line, sizeof line);
    EXPECT_STREQ(line, "+ Newer version of kept.bin already exists!");
    EXPECT_EQ(st.dir.Read("kept.bin"), "mine");

    // PRODIROW off: the file would be replaced, so the transfer goes on to
    // the server (none here: it stops at the first command).
    g_cfg.proDirOw = 0;
    EXPECT_EQ(ReceiveFile("kept.bin", nullptr, 1, 1, 0, 0), 0);
    LogLineAt(0, line, sizeof line);
    EXPECT_STREQ(line, "! Not connected, ignored");
    EXPECT_EQ(st.dir.Read("kept.bin"), "mine");

    stop = 1;
    watcher.join();
    EXPECT_EQ(seen, 0) << "no dialog in a run nobody watches";
    g_ftp.connected = 0;
    g_cmd.nobody = 0;
}

// The Connect command opens no session dialog in a run nobody watches.
TEST(ClientNobodyThere, ConnectCommandOpensNoDialog)
{
    ct::ClientState st;
    ct::MainWindow w;
    g_cmd.quiet = 0;
    g_cmd.nobody = 1;
    volatile LONG seen = 0, stop = 0;
    std::thread watcher([&] {
        while (!stop) {
            for (HWND d : WindowsOf(GetCurrentProcessId(), "#32770")) {
                InterlockedIncrement(&seen);
                PostMessageA(d, WM_COMMAND, IDCANCEL, 0);
            }
            Sleep(50);
        }
    });
    SendMessageA(w.wnd, WM_COMMAND, MAKEWPARAM(IDC_CONNECT, BN_CLICKED), (LPARAM)w.Item(IDC_CONNECT));
    stop = 1;
    watcher.join();
    g_cmd.nobody = 0;
    EXPECT_EQ(seen, 0);
    char line[200] = "";
    LogLineAt(0, line, sizeof line);
    EXPECT_STREQ(line, "! Connect dialog not shown: nobody to answer in an unattended run");
}

// The transfer-complete dialog and the progress dialog switched on, as the
// shared site keys say it: both ways end on their own.
TEST(ClientNobodyThere, TransferDialogOptionsOn)
{
    REQUIRE_VSFTPD();
    Bed bed("HASH=1\r\nDLGCOMPLETE=1\r\n", "HASH=1\r\nDLGCOMPLETE=1\r\n");
    const std::string down = Bytes(400000, 3), up = Bytes(300001, 4);
    WriteAll(bed.home + "\\t95dlg.bin", down);
    WriteAll(bed.dir.File("t95dlgup.bin"), up);
    DeleteFileA((bed.home + "\\t95dlgup.bin").c_str());
    RunResult r = RunClient("-w tessel vs:/t95dlg.bin", bed.dir.path, 30000);
    EXPECT_EQ(r.code, 0) << r.Dialogs() << bed.Log();
    r = RunClient("-w tessel local:" + bed.dir.File("t95dlgup.bin") + " vs:/t95dlgup.bin", bed.dir.path, 30000);
    EXPECT_EQ(r.code, 0) << r.Dialogs() << bed.Log();
    EXPECT_TRUE(r.dialogs.empty()) << r.Dialogs();
    EXPECT_TRUE(ReadAll(bed.dir.File("t95dlg.bin")) == down);
    EXPECT_TRUE(ReadAll(bed.home + "\\t95dlgup.bin") == up);
}

// A batch of three transfers (the anonymous session, the password user,
// an upload) started with -m alone.
TEST(ClientNobodyThere, BatchOfThreeTransfers)
{
    REQUIRE_VSFTPD();
    Bed bed("SESSION=h\r\n");
    const std::string a = Bytes(1000, 5), b = Bytes(20000, 6), c = Bytes(3000, 7);
    WriteAll(bed.pub + "\\t95ba.bin", a);
    WriteAll(bed.home + "\\t95bb.bin", b);
    WriteAll(bed.dir.File("t95bc.bin"), c);
    DeleteFileA((bed.home + "\\t95bc.bin").c_str());
    WriteAll(bed.dir.File("batch.txt"), "h:/t95ba.bin local:" + bed.dir.File("in\\a.bin") +
                                            "\r\n-w tessel vs:/t95bb.bin\r\n-w tessel -s local:" +
                                            bed.dir.File("t95bc.bin") + " -d vs:/t95bc.bin\r\n");
    RunResult r = RunClient("-m batch.txt", bed.dir.path, 60000);
    EXPECT_EQ(r.code, 0) << r.Dialogs() << bed.Log();
    EXPECT_TRUE(r.dialogs.empty()) << r.Dialogs();
    EXPECT_TRUE(ReadAll(bed.dir.File("in\\a.bin")) == a);
    EXPECT_TRUE(ReadAll(bed.dir.File("t95bb.bin")) == b);
    EXPECT_TRUE(ReadAll(bed.home + "\\t95bc.bin") == c);
    EXPECT_EQ(bed.Count("Successful transfer"), 3u) << bed.Log();
}

// Bad MAILADDR values: the placeholder address goes instead, and the log
// says why.
TEST(ClientNobodyThere, OverlongAndEmptyMailAddress)
{
    REQUIRE_VSFTPD();
    WriteAll(fake::VsftpdRoot() + "\\pub\\t95mail.bin", "mail");
    struct Case {
        std::string value, line;
    } cases[] = {{std::string(500, 'm'), "+ MAILADDR longer than 127 characters ignored"},
                 {"", "+ MAILADDR is empty: the anonymous password is guest@nowhere.example"}};
    for (const Case &c : cases) {
        Bed bed("SESSION=h\r\nMAILADDR=" + c.value + "\r\n");
        RunResult r = RunClient("-quiet h:/t95mail.bin", bed.dir.path, 30000);
        EXPECT_EQ(r.code, 0) << r.Dialogs() << bed.Log();
        EXPECT_TRUE(r.dialogs.empty()) << r.Dialogs();
        EXPECT_TRUE(bed.Logged(c.line)) << bed.Log();
        EXPECT_TRUE(bed.Logged("Successful transfer"));
        EXPECT_EQ(ReadAll(bed.dir.File("t95mail.bin")), "mail");
        EXPECT_EQ(bed.Config("MAILADDR"), c.value) << "left as it was";
    }
}

// A batch line naming a session that does not exist, and a session section
// without HOST: each run ends with its log lines and exit code 1.
TEST(ClientNobodyThere, UnknownSessionAndSectionWithoutHost)
{
    REQUIRE_VSFTPD();
    Bed bed("", "[nohost]\r\nUID=anonymous\r\nRETRIES=1\r\n");
    WritePrivateProfileStringA("vs", "RETRIES", "1", bed.Ini().c_str());
    WriteAll(bed.pub + "\\t95un.bin", "un");
    WriteAll(bed.dir.File("batch.txt"), "t95nosuchsession:/t95un.bin\r\nh:/t95un.bin\r\n");
    RunResult r = RunClient("-p vs -m batch.txt", bed.dir.path, 60000);
    EXPECT_EQ(r.code, 1) << r.Dialogs() << bed.Log();
    EXPECT_TRUE(r.dialogs.empty()) << r.Dialogs();
    EXPECT_TRUE(bed.Logged("! Connect failed to t95nosuchsession")) << bed.Log();
    EXPECT_EQ(ReadAll(bed.dir.File("t95un.bin")), "un") << "the batch goes on after the failed line";

    DeleteFileA(bed.dir.File("xferlog.txt").c_str());
    r = RunClient("-p nohost nohost:/t95un.bin", bed.dir.path, 60000);
    EXPECT_EQ(r.code, 1) << r.Dialogs() << bed.Log();
    EXPECT_TRUE(r.dialogs.empty()) << r.Dialogs();
    EXPECT_TRUE(bed.Logged("+ Section [nohost] has no HOST: \"nohost\" is taken as the host name")) << bed.Log();
    EXPECT_TRUE(bed.Logged("! Connect failed to nohost"));
}

// -ask, an unknown option before a transfer, and quiet alone: no prompt, no
// box, no window left open; a line and exit code 1.
TEST(ClientNobodyThere, AskUnknownOptionAndQuietAloneEndTheRun)
{
    Bed bed("SESSION=h\r\n");
    struct Case {
        const char *args, *line;
    } cases[] = {{"-quiet -ask", "+ -ask skipped: nobody to answer in an unattended run"},
                 {"-x h:/t95x.bin", "Unknown arguments -x h:/t95x.bin"},
                 {"-quiet", "! No transfer named on the command line"}};
    for (const Case &c : cases) {
        DeleteFileA(bed.dir.File("xferlog.txt").c_str());
        RunResult r = RunClient(c.args, bed.dir.path, 20000);
        EXPECT_EQ(r.code, 1) << c.args << r.Dialogs() << bed.Log();
        EXPECT_TRUE(r.dialogs.empty()) << c.args << r.Dialogs();
        EXPECT_TRUE(bed.Logged(c.line)) << c.args << bed.Log();
    }
}

// Failure boxes of the command line stay shut without -quiet too: a local
// file that cannot be opened for an upload, and two local words.
TEST(ClientNobodyThere, FailureBoxesAreNotShown)
{
    REQUIRE_VSFTPD();
    Bed bed;
    struct Case {
        std::string args, line;
    } cases[] = {{"-w tessel local:" + bed.dir.File("t95none.bin") + " vs:/t95none.bin", "! Failed to open file"},
                 {"local:a.txt local:b.txt", "! Unknown batch command!"}};
    for (const Case &c : cases) {
        RunResult r = RunClient(c.args, bed.dir.path, 30000);
        EXPECT_EQ(r.code, 1) << c.args << r.Dialogs() << bed.Log();
        EXPECT_TRUE(r.dialogs.empty()) << c.args << r.Dialogs();
        EXPECT_TRUE(bed.Logged(c.line)) << bed.Log();
    }
}

// A server that stops answering ends the run with a failure within the
// session's time-out (2 s here), not an endless wait: silent after the
// login, and silent in the middle of a file's data.  The silent server gets
// no further commands, each of which would wait out the time-out again.
TEST(ClientNobodyThere, StalledServerEndsTheRun)
{
    REQUIRE_FAKE_SERVER();
    const std::string login = "send 220 hi\nexpect USER.*\nsend 331 pw\nexpect PASS.*\nsend 230 in\n";
    const std::string scripts[] = {
        login + "sleep 60\n",
        login + "expect SYST\nsend 215 UNIX Type: L8\nexpect TYPE I\nsend 200 ok\nexpect SIZE.*\nsend 213 5000\n"
                "expect PASV\npasv\n"
                "expect RETR.*\nsend 150 here it comes\ndataconnect\ndatafile 3000\nsleep 60\n"};
    for (const std::string &script : scripts) {
        int port = fake::Inline(script);
        ASSERT_GT(port, 0);
        Bed bed("", "[stall]\r\nHOST=127.0.0.1\r\nPORT=" + std::to_string(port) +
                        "\r\nUID=u\r\nTIMEOUT=2\r\nRETRIES=1\r\nPASVMODE=1\r\n");
        RunResult r = RunClient("-p stall -w pw stall:/f.bin", bed.dir.path, 45000);
        EXPECT_EQ(r.code, 1) << r.Dialogs() << bed.Log();
        EXPECT_TRUE(r.dialogs.empty()) << r.Dialogs();
        EXPECT_TRUE(bed.Logged("! Reply not complete within the time-out")) << bed.Log();
        EXPECT_TRUE(bed.Logged("! Transfer failed for /f.bin from 127.0.0.1"));
        // One time-out for the silent reply (two when the data went silent
        // first), not one per command that follows.
        EXPECT_TRUE(bed.Logged("! The server stopped answering: connection dropped"));
        EXPECT_EQ(bed.Count("Receive error") + bed.Count("! Reply not complete within the time-out"),
                  script == scripts[0] ? 1u : 2u)
            << bed.Log();
        EXPECT_LT(r.ms, 15000u);
        for (const auto &l : fake::Received(port))
            EXPECT_NE(l[0], '!') << l;
    }
}

// The decision, made from the raw command line before anything could ask.
TEST(ClientNobodyThere, WhichCommandLinesAreUnattended)
{
    struct Case {
        const char *line;
        int unattended;
    } cases[] = {
        {"", 0},
        {"abc", 0},
        {"-ask", 0},
        {"-p h", 0},
        {"-i other.ini -p h -binary", 0},
        {"-config word", 0},
        {"-x", 0},
        {"-quiet", 1},
        {"-q", 1},
        {"-ask -quiet", 1},
        {"-s h:/f", 1},
        {"-m batch.txt", 1},
        {"h:/file", 1},
        {"-p h -binary h:/path/file local:C:\\in\\file", 1},
        {"-w \"two words\" h:/f", 1},
        {"-w \"two words\"", 0},
        {"-x h:/file", 1},
    };
    for (const Case &c : cases)
        EXPECT_EQ(IsUnattendedCommandLine(c.line), c.unattended) << c.line;
}

// A server whose PASV reply names another host (here a public one) does not
// get our data connection sent there: the download still comes from the
// server the control connection goes to.
TEST(ClientNobodyThere, PasvNamingAnotherHostStillConnectsToTheServer)
{
    REQUIRE_FAKE_SERVER();
    const std::string script =
        "send 220 hi\nexpect USER.*\nsend 331 pw\nexpect PASS.*\nsend 230 in\n"
        "expect SYST\nsend 215 UNIX Type: L8\nexpect TYPE I\nsend 200 ok\nexpect SIZE.*\nsend 213 5\n"
        "expect PASV\npasv 227 Entering Passive Mode (93,184,216,34,%p)\n"
        "expect RETR.*\nsend 150 here it comes\ndataconnect\ndatasend hello\ndataclose\nsend 226 done\n";
    int port = fake::Inline(script);
    ASSERT_GT(port, 0);
    Bed bed("", "[aim]\r\nHOST=127.0.0.1\r\nPORT=" + std::to_string(port) +
                    "\r\nUID=u\r\nTIMEOUT=5\r\nRETRIES=1\r\nPASVMODE=1\r\n");
    RunResult r = RunClient("-p aim -w pw aim:/f.bin", bed.dir.path, 45000);
    EXPECT_EQ(r.code, 0) << r.Dialogs() << bed.Log();
    EXPECT_TRUE(r.dialogs.empty()) << r.Dialogs();
    EXPECT_EQ(ReadAll(bed.dir.File("f.bin")), "hello") << bed.Log();
    EXPECT_FALSE(bed.Logged("93.184.216.34:")) << bed.Log();
}
