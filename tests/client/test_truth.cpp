// Transfers of the client that must never lie, against the scripted fake
// server: tessel95.exe's unattended runs (exit codes, files, resume
// records, log lines, time) and the transfer layer in this process (resume
// against a server ignoring REST, names Windows would change, the folder
// depth bound, a NUL in a name list, a third party at the active port).
#include "clienttest.h"
#include "fakeftp.h"

#include <algorithm>
#include <string>
#include <time.h>
#include <vector>

using namespace t95;
using Lines = std::vector<std::string>;

namespace {

std::string Exe()
{
    char exe[MAX_PATH];
    GetModuleFileNameA(nullptr, exe, sizeof exe);
    return std::string(exe, strrchr(exe, '\\') - exe) + "\\tessel95.exe";
}

// Runs tessel95.exe in dir: its exit code, or -1 after ms (then killed).
int Run(const std::string &args, const std::string &dir, DWORD ms, DWORD *took)
{
    std::string cmd = "\"" + Exe() + "\" " + args;
    std::vector<char> line(cmd.begin(), cmd.end());
    line.push_back(0);
    STARTUPINFOA si = {sizeof si};
    PROCESS_INFORMATION pi;
    const DWORD t0 = GetTickCount();
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, dir.c_str(), &si, &pi))
        return -2;
    CloseHandle(pi.hThread);
    int code = -1;
    if (WaitForSingleObject(pi.hProcess, ms) == WAIT_OBJECT_0) {
        DWORD c;
        GetExitCodeProcess(pi.hProcess, &c);
        code = (int)c;
    } else {
        TerminateProcess(pi.hProcess, 99);
        WaitForSingleObject(pi.hProcess, 5000);
    }
    *took = GetTickCount() - t0;
    CloseHandle(pi.hProcess);
    return code;
}

std::string Pattern(size_t n)
{
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i)
        s[i] = (char)(i % 256);
    return s;
}

const char kLogin[] = "send 220 hi\nexpect USER u\nsend 331 pw\nexpect PASS p\nsend 230 ok\n"
                      "expect SYST\nsend 215 UNIX Type: L8\n";

// One unattended run against a fake server playing script after the login.
struct Unattended {
    ct::TempDir dir;
    int port = 0;
    int code = 0;
    DWORD took = 0;
    Unattended(const std::string &script, const std::string &args, int timeout = 5, const char *old = nullptr)
    {
        port = fake::Inline(kLogin + script);
        dir.Write("TESSEL.INI", "[_config_]\r\nBELL=0\r\nAUTOSTART=0\r\nPASVMODE=1\r\nSESSION=fk\r\n[fk]\r\nHOST=127.0.0.1\r\n"
                                "PORT=" + std::to_string(port) + "\r\nUID=u\r\nTIMEOUT=" + std::to_string(timeout) +
                                    "\r\nRETRIES=1\r\n");
        if (old)
            dir.Write("f.bin", old);
        code = Run("-quiet -w p " + args, dir.path, 60000, &took);
    }
    std::string Log() const { return dir.Read("xferlog.txt"); }
    bool Logged(const std::string &t) const { return Log().find(t) != std::string::npos; }
    std::string Ini(const char *key) const
    {
        char buf[512];
        GetPrivateProfileStringA("fk", key, "<absent>", buf, sizeof buf, dir.File("TESSEL.INI").c_str());
        return buf;
    }
    Lines Notes() const
    {
        Lines out;
        for (const auto &l : fake::Received(port))
            if (!l.empty() && l[0] == '!')
                out.push_back(l);
        return out;
    }
};

std::string Retr(const std::string &size, const std::string &prelim)
{
    return "expect TYPE I\nsend 200 ok\nexpect SIZE /f.bin\nsend " + size + "\nexpect PASV\npasv\nexpect RETR /f.bin\n" +
           (prelim.empty() ? "" : "send " + prelim + "\n");
}

const char kAbort[] = "urgent\nexpect .*ABOR\nsend 426 aborted\nsend 226 abort done\n";

} // namespace

// ------------------------------------------------------------------ unattended runs

TEST(ClientTruth, UnattendedSuccessOnlyForTheBytesTheServerMeant)
{
    REQUIRE_FAKE_SERVER();
    {
        // 226 at once: no 150, no data connection.  The old copy stays.
        Unattended u(Retr("213 5", "226 Transfer complete"), "fk:/f.bin", 5, "old");
        EXPECT_EQ(u.code, 1) << u.Log();
        EXPECT_TRUE(u.Logged("! Transfer failed: no data connection (reply 226)")) << u.Log();
        EXPECT_FALSE(u.Logged("Successful transfer"));
        EXPECT_EQ(u.dir.Read("f.bin"), "old");
        EXPECT_EQ(u.Ini("REGETRFILE"), "<absent>");
    }
    {
        // The same for an upload: nothing was sent.
        ct::TempDir src;
        src.Write("up.bin", Pattern(1000));
        Unattended u("expect TYPE I\nsend 200 ok\nexpect PASV\npasv\nexpect STOR /up.bin\nsend 226 stored\n",
                     "local:" + src.File("up.bin") + " fk:/up.bin");
        EXPECT_EQ(u.code, 1) << u.Log();
        EXPECT_TRUE(u.Logged("! Transfer failed: no data connection (reply 226)")) << u.Log();
    }
    {
        // An empty file into a folder that does not exist.
        Unattended u(Retr("213 0", "150 go (0 bytes)") + "dataconnect\n" + kAbort, "fk:/f.bin local:nofolder\\f.bin");
        EXPECT_EQ(u.code, 1) << u.Log();
        EXPECT_TRUE(u.Logged("! Failed to open file nofolder/f.bin")) << u.Log();
        EXPECT_TRUE(u.Logged("! Transfer failed: the local file was not written")) << u.Log();
        EXPECT_FALSE(u.Logged("Successful transfer"));
        EXPECT_TRUE(u.Notes().empty()) << u.Notes()[0];
    }
    {
        // Short: the file is kept for a resume.
        Unattended u(Retr("550 no", "150 go (5000 bytes)") + "dataconnect\ndatafile 2000\ndataclose\nsend 226 ok\n",
                     "fk:/f.bin");
        EXPECT_EQ(u.code, 1) << u.Log();
        EXPECT_TRUE(u.dir.Read("f.bin") == Pattern(2000));
        EXPECT_TRUE(u.Logged("! Transfer failed: short file, 2000 of 5000 bytes")) << u.Log();
        EXPECT_EQ(u.Ini("REGETRFILE"), "f.bin");
        EXPECT_EQ(u.dir.Read("TESSEL.LOG"), "") << "no transfer log line";
    }
    {
        // Short by SIZE, the 150 reply announcing nothing.
        Unattended u(Retr("213 4294967297", "150 go") + "dataconnect\ndatafile 1\ndataclose\nsend 226 ok\n",
                     "fk:/f.bin");
        EXPECT_EQ(u.code, 1) << u.Log();
        EXPECT_TRUE(u.Logged("! Transfer failed: short file, 1 of 4294967297 bytes")) << u.Log();
    }
    {
        // Long: nothing past the announced size is written, no resume record.
        Unattended u(Retr("550 no", "150 go (5000 bytes)") + "dataconnect\ndatafile 9000\n" + kAbort, "fk:/f.bin");
        EXPECT_EQ(u.code, 1) << u.Log();
        EXPECT_TRUE(u.dir.Read("f.bin") == Pattern(5000));
        EXPECT_TRUE(u.Logged("! Transfer failed: ")) << u.Log();
        EXPECT_EQ(u.Ini("REGETRFILE"), "<absent>");
    }
}

TEST(ClientTruth, UnattendedFailureBeforeTheFirstByteKeepsTheOldCopy)
{
    REQUIRE_FAKE_SERVER();
    const std::string failing = Retr("213 5000", "150 go") + "dataconnect\ndataclose\nsend 426 broken\n";
    {
        const char *old = "the user's old copy";
        Unattended u(failing, "fk:/f.bin", 5, old);
        EXPECT_EQ(u.code, 1) << u.Log();
        EXPECT_EQ(u.dir.Read("f.bin"), old);
        EXPECT_EQ(u.Ini("REGETRFILE"), "<absent>") << "no resume record for a file that got nothing";
    }
    {
        // No empty file where there was none.
        Unattended u(failing, "fk:/f.bin");
        EXPECT_EQ(u.code, 1) << u.Log();
        EXPECT_EQ(GetFileAttributesA(u.dir.File("f.bin").c_str()), INVALID_FILE_ATTRIBUTES);
    }
}

TEST(ClientTruth, UnattendedRunsEndWithinTwiceTheTimeOut)
{
    REQUIRE_FAKE_SERVER();
    const int timeout = 5;
    struct Case {
        const char *what;
        std::string script;
        int code;
    } cases[] = {
        {"a reply a byte a second", Retr("550 no", "") + "dribble 1 150 Opening the data connection right now\n", 1},
        {"endless continuation lines", "expect TYPE I\nsend 200 ok\nexpect SIZE /f.bin\nflood 213-more to come\n", 1},
        {"QUIT's reply a byte a second",
         Retr("213 4", "150 go") + "dataconnect\ndatasend data\ndataclose\nsend 226 ok\nexpect QUIT\n"
                                   "dribble 1 221 Goodbye, and thanks for all the fish\n",
         0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        Unattended u(c.script, "fk:/f.bin", timeout);
        EXPECT_EQ(u.code, c.code) << u.Log();
        EXPECT_LT(u.took, 2000u * timeout) << u.Log();
        if (c.code == 0) {
            // The run's result stands; its transfer log line has a
            // two-digit year.
            EXPECT_EQ(u.dir.Read("f.bin"), "data");
            EXPECT_TRUE(u.Logged("Successful transfer"));
            time_t now = time(nullptr);
            char yy[8];
            snprintf(yy, sizeof yy, "%02d.", localtime(&now)->tm_year % 100);
            std::string line = u.dir.Read("TESSEL.LOG");
            EXPECT_EQ(line.substr(0, 3), yy) << line;
            EXPECT_EQ(line.find(' '), 8u) << line;
        } else {
            EXPECT_TRUE(u.Logged("! Reply not complete within the time-out")) << u.Log();
        }
    }
}

// ------------------------------------------------------------------ in this process

namespace {

bool Logged(const std::string &text)
{
    for (int i = 0; i < 200; ++i) {
        char line[300];
        if (LogLineAt(i, line, sizeof line) && std::string(line).find(text) != std::string::npos)
            return true;
    }
    return false;
}

void Attach(const std::string &script, int *port)
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
    g_ftp.detectDone = 1;
    g_ftp.hostType = 6010;
    g_cfg.pasvmode = 1;
    g_cfg.hash = 0;
    g_cfg.amode = 0;
    g_cfg.mode = 'I';
}

Lines Detach(int port)
{
    if (g_ftp.ctrl != INVALID_SOCKET)
        closesocket(g_ftp.ctrl);
    g_ftp.ctrl = INVALID_SOCKET;
    g_ftp.connected = 0;
    return fake::Received(port);
}

Lines NotesOf(const Lines &seen)
{
    Lines out;
    for (const auto &l : seen)
        if (!l.empty() && l[0] == '!')
            out.push_back(l);
    return out;
}

int AnswerYes(const char *, UINT) { return IDYES; }

struct YesToAll {
    YesToAll() { g_answerHook = AnswerYes; }
    ~YesToAll() { g_answerHook = nullptr; }
};

std::string Dir(const std::string &name) { return "drwxr-xr-x 2 ftp ftp 4096 Jan 01  2024 " + name + "\\r\\n"; }
std::string File(const std::string &name, int size) { return "-rw-r--r-- 1 ftp ftp " + std::to_string(size) + " Jan 01  2024 " + name + "\\r\\n"; }

std::string Listing(const std::string &pwd, const std::string &entries, bool typeA)
{
    return "expect PWD\nsend 257 \"" + pwd + "\" is the current directory\n" + (typeA ? "expect TYPE A\nsend 200 ok\n" : "") +
           "expect PASV\npasv\nexpect LIST\nsend 150 listing\ndataconnect\ndatasend " + entries +
           "\ndataclose\nsend 226 done\n";
}

} // namespace

TEST(ClientTruth, ResumeCatchesAServerIgnoringRestAndARemoteShorterThanThePart)
{
    REQUIRE_FAKE_SERVER();
    ct::ClientState st("[fk]\r\nHOST=127.0.0.1\r\n");
    ct::MainWindow w;
    int port;
    Attach("expect TYPE I\nsend 200 ok\nexpect SIZE /d/f.bin\nsend 213 5000\nexpect PASV\npasv\n"
           "expect REST 2048\nsend 350 Restart position accepted\nexpect RETR /d/f.bin\nsend 150 go\n"
           "dataconnect\ndatafile 5000\n" + std::string(kAbort) +
           "expect SIZE /d/g.bin\nsend 213 5000\nexpect PASV\npasv\nexpect REST 0\nsend 350 ok\n"
           "expect RETR /d/g.bin\nsend 150 go\ndataconnect\ndatafile 5000\ndataclose\nsend 226 ok\n",
           &port);
    strcpy(g_ftp.sessionName, "fk");
    YesToAll yes;
    auto keys = [&](const char *name) {
        WriteIniText("fk", "REGETRDIR", "/d");
        WriteIniText("fk", "REGETRFILE", name);
        WriteIniText("fk", "REGETLDIR", st.dir.path.c_str());
        WriteIniText("fk", "REGETLFILE", name);
    };
    st.dir.Write("f.bin", Pattern(3000));
    keys("f.bin");
    ResumePending("fk");
    EXPECT_TRUE(Logged("! The server ignored REST")) << "detected and logged";
    EXPECT_TRUE(st.dir.Read("f.bin") == Pattern(2048)) << st.dir.Read("f.bin").size() << " bytes: not appended";
    EXPECT_EQ(st.Ini("fk", "REGETRFILE"), "f.bin") << "the part may still be resumed";
    EXPECT_EQ(st.dir.Read("TESSEL.LOG"), "");

    // A remote file shorter than the part: the whole file, from the start.
    st.dir.Write("g.bin", std::string(6000, 'x'));
    keys("g.bin");
    ResumePending("fk");
    EXPECT_TRUE(Logged("+ The remote file is not longer than the part to resume from, starting over."));
    EXPECT_TRUE(st.dir.Read("g.bin") == Pattern(5000)) << st.dir.Read("g.bin").size();
    EXPECT_EQ(st.Ini("fk", "REGETRFILE"), "<absent>") << "cleared by a verified file";
    EXPECT_NE(st.dir.Read("TESSEL.LOG").find("g.bin <-- fk /d g.bin"), std::string::npos);
    Lines notes = NotesOf(Detach(port));
    EXPECT_TRUE(notes.empty()) << notes[0];
}

TEST(ClientTruth, TreeDownloadSkipsNamesWindowsWouldChangeAndNeverWritesANameTwice)
{
    REQUIRE_FAKE_SERVER();
    ct::ClientState st;
    ct::MainWindow w;
    const std::string longName = std::string(200, 'L') + ".bin";
    const std::string inner = Dir("...") + Dir(". .") + Dir(".. ") + File("a.bin", 4) + File("A.BIN", 4) +
                              File("same.bin.", 4) + File("same.bin..", 4) + File("COM\\xb9", 4) +
                              File("lpt\\xb2.bin", 4) + File(longName, 4);
    std::string fetch;
    for (int i = 0; i < 2; ++i)
        fetch += std::string(i ? "" : "expect TYPE I\nsend 200 ok\n") +
                 "expect SIZE .*\nsend 550 no\nexpect PASV\npasv\nexpect RETR (a\\.bin|A\\.BIN|L+\\.bin)\n"
                 "send 150 go\ndataconnect\ndatasend d" + std::to_string(i) + "xx\ndataclose\nsend 226 ok\n";
    int port;
    Attach(Listing("/", Dir("top"), true) + "expect CWD top\nsend 250 ok\n" + Listing("/top", inner, false) + fetch +
               "expect CWD /\nsend 250 ok\nexpect PWD\nsend 257 \"/\" is the current directory\n",
           &port);
    CreateDirectoryA(st.dir.File("target").c_str(), nullptr);
    SetCurrentDirectoryA(st.dir.File("target").c_str());
    ShowRemote(1);
    SendMessageA(w.Item(IDC_RLIST), LB_SETSEL, TRUE, -1);
    YesToAll yes;
    DownloadSelection(w.wnd, 0);
    ASSERT_TRUE(WaitForWorker(30000));
    EXPECT_FALSE(WorkerBusy());
    Lines notes = NotesOf(Detach(port));
    EXPECT_TRUE(notes.empty()) << notes[0];

    Lines made;
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA(st.dir.File("target\\top\\*").c_str(), &fd);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    do {
        if (strcmp(fd.cFileName, ".") && strcmp(fd.cFileName, ".."))
            made.push_back(fd.cFileName);
    } while (FindNextFileA(h, &fd));
    FindClose(h);
    std::sort(made.begin(), made.end(), [](const std::string &a, const std::string &b) { return lstrcmpiA(a.c_str(), b.c_str()) < 0; });
    ASSERT_EQ(made.size(), 2u) << made[0];
    EXPECT_EQ(lstrcmpiA(made[0].c_str(), "a.bin"), 0) << made[0];
    EXPECT_EQ(made[1], longName) << "a long name stays long";
    EXPECT_TRUE(Logged("+ Skipped \"...\": not a name for a local folder"));
    EXPECT_TRUE(Logged("+ Skipped \". .\": not a name for a local folder"));
    EXPECT_TRUE(Logged("+ Skipped \"same.bin.\": not a name for a local file"));
    EXPECT_TRUE(Logged("+ Skipped \"same.bin..\": not a name for a local file"));
    EXPECT_TRUE(Logged("+ Skipped \"COM\xb9\": not a name for a local file"));
    EXPECT_TRUE(Logged("already written in this transfer")) << "a.bin and A.BIN are one file on Windows";
}

TEST(ClientTruth, FolderDepthIsBoundedAndTheJobEndsCleanly)
{
    REQUIRE_FAKE_SERVER();
    ct::ClientState st;
    ct::MainWindow w;
    // Every folder holds a new folder "s", with a new PWD each time.
    std::string script = Listing("/", Dir("t"), true) + "expect CWD t\nsend 250 ok\n" + Listing("/t", Dir("s"), false);
    std::string pwd = "/t";
    for (int level = 1; level < MAX_TREE_DEPTH; ++level) {
        pwd += "/s";
        script += "expect CWD s\nsend 250 ok\n" + Listing(pwd, Dir("s"), false);
    }
    int port;
    Attach(script, &port);
    CreateDirectoryA(st.dir.File("target").c_str(), nullptr);
    SetCurrentDirectoryA(st.dir.File("target").c_str());
    ShowRemote(1);
    SendMessageA(w.Item(IDC_RLIST), LB_SETSEL, TRUE, -1);
    YesToAll yes;
    DownloadSelection(w.wnd, 0);
    ASSERT_TRUE(WaitForWorker(60000));
    EXPECT_FALSE(WorkerBusy()) << "the busy state is cleared";
    Lines seen = Detach(port);
    Lines notes = NotesOf(seen);
    EXPECT_TRUE(notes.empty()) << notes[0];
    // 64 levels entered, the 65th refused (its log line has scrolled out
    // of the status lines behind the CWDs back up).
    EXPECT_EQ(std::count(seen.begin(), seen.end(), std::string("CWD s")), MAX_TREE_DEPTH - 1);
    EXPECT_TRUE(Logged("! Error occured during transfer"));
    std::string deepest = st.dir.File("target\\t");
    for (int level = 1; level < MAX_TREE_DEPTH; ++level)
        deepest += "\\s";
    EXPECT_NE(GetFileAttributesA(deepest.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetFileAttributesA((deepest + "\\s").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(ClientTruth, NameListLineWithANulIsSkippedAndTheNextSurvives)
{
    REQUIRE_FAKE_SERVER();
    int port = fake::Inline(std::string(kLogin) + "expect CWD /\nsend 250 ok\n"
                            "expect TYPE A\nsend 200 ok\nexpect PASV\npasv\nexpect NLST \\*.bin\nsend 150 names\n"
                            "dataconnect\ndatasend a\\x00x.bin\\r\\nb.bin\\r\\n\ndataclose\nsend 226 done\n"
                            "expect TYPE I\nsend 200 ok\nexpect SIZE b.bin\nsend 213 4\nexpect PASV\npasv\n"
                            "expect RETR b.bin\nsend 150 go\ndataconnect\ndatasend fine\ndataclose\nsend 226 done\n");
    ct::ClientState st("[fk]\r\nHOST=127.0.0.1\r\nPORT=" + std::to_string(port) + "\r\nUID=u\r\n");
    g_cfg.pasvmode = 1;
    g_cfg.hash = 0;
    g_cfg.amode = 0;
    strcpy(g_cmd.pass, "p");
    CreateDirectoryA(st.dir.File("target").c_str(), nullptr);
    EXPECT_EQ(RunCmdLineTransfer(nullptr, "fk:/*.bin", ("local:" + st.dir.File("target")).c_str()), 1);
    EXPECT_EQ(st.dir.Read("target\\b.bin"), "fine");
    EXPECT_EQ(GetFileAttributesA(st.dir.File("target\\a").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(Logged("+ Skipped a name list line: it holds a NUL byte"));
    Lines notes = NotesOf(fake::Received(port));
    EXPECT_TRUE(notes.empty()) << notes[0];
}

TEST(ClientTruth, ActiveModeTakesDataOnlyFromTheServer)
{
    REQUIRE_FAKE_SERVER();
    ct::ClientState st("[fk]\r\nHOST=127.0.0.1\r\n");
    ct::MainWindow w;
    st.dir.Write("up.bin", Pattern(70000));
    int port;
    // PASV refused: PORT, said so in the log.  A third party at another
    // address reaches the port first.
    Attach("expect TYPE I\nsend 200 ok\nexpect SIZE f.bin\nsend 550 no\nexpect PASV\nsend 502 no PASV here\n"
           "expect PORT 127,0,0,1,.*\nsend 200 ok\nexpect RETR f.bin\nsend 150 go\nport\nthirdparty injected\n"
           "dataconnect\ndatasend genuine\ndataclose\nsend 226 ok\n"
           "expect PASV\nsend 502 no PASV here\nexpect PORT 127,0,0,1,.*\nsend 200 ok\nexpect STOR up.bin\n"
           "send 150 go\nport\nthirdparty \ndataconnect\ndatarecv\nsend 226 ok\n",
           &port);
    EXPECT_EQ(ReceiveFile("f.bin", nullptr, 1, 1, 0, 0), 2);
    EXPECT_EQ(st.dir.Read("f.bin"), "genuine");
    EXPECT_TRUE(Logged("+ Passive mode failed, trying active mode (PORT)"));
    EXPECT_TRUE(Logged("! Data connection from 127.0.0.2 refused: not the server"));
    EXPECT_EQ(SendFile(st.dir.File("up.bin").c_str(), "up.bin", 1, 1, 0, 0), 2);
    Lines seen = Detach(port);
    Lines notes = NotesOf(seen);
    EXPECT_TRUE(notes.empty()) << notes[0];
    EXPECT_EQ(std::count(seen.begin(), seen.end(), std::string("#thirdparty closed 0")), 2);
    EXPECT_NE(std::find(seen.begin(), seen.end(), std::string("#data 70000 bytes")), seen.end());
}

TEST(ClientTruth, TenThousandNamesForOneLocalFileWriteItOnce)
{
    REQUIRE_FAKE_SERVER();
    // Every upper- and lower-case spelling of one name: one file on Windows.
    std::string names;
    const std::string base = "abcdefghijklmn";
    for (int v = 0; v < 10000; ++v) {
        std::string n = base;
        for (size_t i = 0; i < n.size(); ++i)
            if (v >> i & 1)
                n[i] = (char)(n[i] - 32);
        names += n + ".bin\\r\\n";
    }
    int port = fake::Inline(std::string(kLogin) + "expect CWD /\nsend 250 ok\n"
                            "expect TYPE A\nsend 200 ok\nexpect PASV\npasv\nexpect NLST \\*.bin\nsend 150 names\n"
                            "dataconnect\ndatasend " + names + "\ndataclose\nsend 226 done\n"
                            "expect TYPE I\nsend 200 ok\nexpect SIZE abcdefghijklmn.bin\nsend 213 5\n"
                            "expect PASV\npasv\nexpect RETR abcdefghijklmn.bin\nsend 150 go\ndataconnect\n"
                            "datasend first\ndataclose\nsend 226 done\n");
    ct::ClientState st("[fk]\r\nHOST=127.0.0.1\r\nPORT=" + std::to_string(port) + "\r\nUID=u\r\n");
    g_cfg.pasvmode = 1;
    g_cfg.hash = 0;
    g_cfg.amode = 0;
    strcpy(g_cmd.pass, "p");
    CreateDirectoryA(st.dir.File("target").c_str(), nullptr);
    const DWORD t0 = GetTickCount();
    EXPECT_EQ(RunCmdLineTransfer(nullptr, "fk:/*.bin", ("local:" + st.dir.File("target")).c_str()), 1);
    EXPECT_LT(GetTickCount() - t0, 60000u);
    EXPECT_EQ(st.dir.Read("target\\abcdefghijklmn.bin"), "first");
    EXPECT_TRUE(Logged("already written in this transfer"));
    Lines seen = fake::Received(port);
    EXPECT_EQ(std::count_if(seen.begin(), seen.end(), [](const std::string &l) { return l.rfind("RETR", 0) == 0; }),
              1);
    Lines notes = NotesOf(seen);
    EXPECT_TRUE(notes.empty()) << notes[0];
}
