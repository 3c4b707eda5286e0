// Transfers against the scripted fake server and on the local disk: local
// names, the completion reply deciding what counts as received, resume of a
// broken download (restart points, REST refused, the old tail cut), hostile
// names in listings and in a wildcard download, and dropped files.
#include "clienttest.h"
#include "fakeftp.h"

#include <shlobj.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

using namespace t95;
using Lines = std::vector<std::string>;

namespace {

Lines Commands(int port)
{
    Lines out;
    for (const auto &l : fake::Received(port))
        if (!l.empty() && l[0] != '!' && l[0] != '#')
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

bool Logged(const std::string &text)
{
    for (int i = 0; i < 60; ++i) {
        char line[200];
        if (LogLineAt(i, line, sizeof line) && std::string(line).find(text) != std::string::npos)
            return true;
    }
    return false;
}

bool Has(const Lines &lines, const std::string &text)
{
    return std::find(lines.begin(), lines.end(), text) != lines.end();
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
}

void Detach()
{
    if (g_ftp.ctrl != INVALID_SOCKET)
        closesocket(g_ftp.ctrl);
    g_ftp.ctrl = INVALID_SOCKET;
    g_ftp.connected = 0;
}

// The fake server's data pattern: byte i is i % 256.
std::string Pattern(size_t n)
{
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i)
        s[i] = (char)(i % 256);
    return s;
}

// Answers to the client's questions, in turn; every question is kept.
struct Answers {
    static std::vector<int> queue;
    static Lines asked;
    static std::vector<UINT> types;
    static int Hook(const char *text, UINT type)
    {
        asked.push_back(text);
        types.push_back(type);
        if (queue.empty())
            return IDNO;
        int a = queue.front();
        queue.erase(queue.begin());
        return a;
    }
    explicit Answers(std::vector<int> q)
    {
        queue = q;
        asked.clear();
        types.clear();
        g_answerHook = Hook;
    }
    ~Answers() { g_answerHook = nullptr; }
};
std::vector<int> Answers::queue;
Lines Answers::asked;
std::vector<UINT> Answers::types;

// Every file and folder name under dir, with its path below dir.
void Walk(const std::string &dir, const std::string &rel, Lines *out)
{
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((dir + "\\*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return;
    do {
        std::string n = fd.cFileName;
        if (n == "." || n == "..")
            continue;
        out->push_back(rel + n);
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            Walk(dir + "\\" + n, rel + n + "\\", out);
    } while (FindNextFileA(h, &fd));
    FindClose(h);
}

std::string TempRoot()
{
    char base[MAX_PATH];
    GetTempPathA(sizeof base, base);
    return base;
}

} // namespace

// ------------------------------------------------------------------ names

TEST(ClientNames, LocalNamesUniqueNamesAndConversions)
{
    ct::ClientState st;
    char out[MAX_PATH];
    g_cfg.recu = 1;
    LocalNameFor("/pub/data.txt", out, sizeof out);
    EXPECT_STREQ(out, "data.txt");
    st.dir.Write("data.txt", "x");
    LocalNameFor("data.txt", out, sizeof out);
    EXPECT_STREQ(out, "data000.txt");
    st.dir.Write("data000.txt", "x");
    LocalNameFor("data.txt", out, sizeof out);
    EXPECT_STREQ(out, "data001.txt");
    st.dir.Write("report.txt", "x");
    LocalNameFor("report.txt", out, sizeof out);
    EXPECT_STREQ(out, "repor000.txt") << "a base of six or more is cut to five";
    st.dir.Write("noext", "x");
    LocalNameFor("noext", out, sizeof out);
    EXPECT_STREQ(out, "noext.000");
    g_cfg.recu = 0;

    // Names no local file can carry, and names Windows would take for
    // something else: a folder, a stream of another file, a device.
    LocalNameFor("...", out, sizeof out);
    EXPECT_STREQ(out, "aaremote");
    LocalNameFor("a*b?c<d>e|f", out, sizeof out);
    EXPECT_STREQ(out, "a@b$c{d}e+f");
    LocalNameFor("report.txt:hidden", out, sizeof out);
    EXPECT_STREQ(out, "report.txt_hidden");
    LocalNameFor("con.txt", out, sizeof out);
    EXPECT_STREQ(out, "_con.txt");
    LocalNameFor("LPT1", out, sizeof out);
    EXPECT_STREQ(out, "_LPT1");
    LocalNameFor("/up/../../evil", out, sizeof out);
    EXPECT_STREQ(out, "evil");

    g_ftp.hostType = 6011; // VMS: the version goes
    LocalNameFor("LOGIN.COM;12", out, sizeof out);
    EXPECT_STREQ(out, "LOGIN.COM");
    g_ftp.hostType = 6044; // path parts become name parts
    LocalNameFor("USER/SUB\\FILE", out, sizeof out);
    EXPECT_STREQ(out, "USER.SUB.FILE");
    g_ftp.hostType = 6010;

    // The conversion table, both ways; lower-casing only towards the server.
    st.dir.Write("TESSEL.CNV", ".html=.htm\r\nREADME=readme.txt\r\nx=never\r\n");
    g_cfg.convext = 1;
    LocalNameFor("index.html", out, sizeof out);
    EXPECT_STREQ(out, "index.htm");
    LocalNameFor("README", out, sizeof out);
    EXPECT_STREQ(out, "readme.txt");
    g_cfg.forclow = 1;
    RemoteNameFor("C:\\work\\Notes.TXT", out, sizeof out);
    EXPECT_STREQ(out, "notes.txt");
    char v[64] = "PAGE.HTML;3";
    EXPECT_EQ(ConvertName(v, sizeof v, 1), 1);
    EXPECT_STREQ(v, "page.htm");
    char w[64] = "DATA.BIN;3";
    EXPECT_EQ(ConvertName(w, sizeof w, 1), 0);
    EXPECT_STREQ(w, "data.bin;3") << "without a match the version stays on names for the server";

    // Names Windows would change name the folder itself or another file.
    for (const char *bad : {"", ".", "..", "...", ". .", "same.txt.", "same.txt ", "../evil", "..\\evil", "a/b",
                            "c:x", "nul", "Com3.log", "COM\xb9", "lpt\xb3.txt", "tab\there"})
        EXPECT_TRUE(UnsafeRemoteName(bad)) << bad;
    for (const char *ok : {"plain.txt", ".profile", "console", "com10", "a..b"})
        EXPECT_FALSE(UnsafeRemoteName(ok)) << ok;
}

// ------------------------------------------------------------------ receive and resume

TEST(ClientResume, OnlyAClass2ReplyCompletesAndTheNextTryResumes)
{
    REQUIRE_FAKE_SERVER();
    ct::ClientState st("[fk]\r\nHOST=127.0.0.1\r\n");
    ct::MainWindow w;
    int port;
    Attach("expect TYPE I\nsend 200 ok\nexpect SIZE f.bin\nsend 550 SIZE not allowed here\n"
           "expect PASV\npasv\nexpect RETR f.bin\n"
           "send 150 Opening BINARY mode data connection for f.bin (5000 bytes)\n"
           "dataconnect\ndatafile 3000\ndataclose\nsend 426 Failure writing network stream.\n"
           // The resume: the remote size, whole kilobytes of what arrived,
           // then the rest.
           "expect SIZE /pub/f.bin\nsend 213 5000\nexpect PASV\npasv\nexpect REST 2048\nsend 350 Restart position accepted (2048).\n"
           "expect RETR /pub/f.bin\nsend 150 Opening BINARY mode data connection\n"
           "dataconnect\ndatafile 2952\ndataclose\nsend 226 Transfer complete.\n",
           &port);
    strcpy(g_ftp.sessionName, "fk");
    strcpy(g_ftp.hostName, "127.0.0.1");
    strcpy(g_ftp.remoteDir, "/pub");
    g_cfg.mode = 'I';

    EXPECT_NE(ReceiveFile("f.bin", nullptr, 1, 1, 0, 0), 2) << "426 after a short file is no success";
    EXPECT_EQ(st.dir.Read("f.bin"), Pattern(3000));
    EXPECT_TRUE(Logged("Received 3000 bytes in")) << "the rate line";
    EXPECT_TRUE(Logged("transfer failed"));
    EXPECT_EQ(st.Ini("fk", "REGETRDIR"), "/pub");
    EXPECT_EQ(st.Ini("fk", "REGETRFILE"), "f.bin");
    EXPECT_EQ(st.Ini("fk", "REGETLFILE"), "f.bin");
    EXPECT_EQ(st.dir.Read("TESSEL.LOG"), "") << "no transfer log line for a broken file";

    Answers yes({IDYES});
    ResumePending("fk");
    ASSERT_EQ(Answers::asked.size(), 1u);
    EXPECT_EQ(Answers::asked[0].find("Do you want to attempt to resume the transfer of:\n  /pub/f.bin\n-->\n  "), 0u)
        << Answers::asked[0];
    EXPECT_TRUE(st.dir.Read("f.bin") == Pattern(5000)) << "byte-identical after the resume";
    EXPECT_EQ(st.Ini("fk", "REGETRFILE"), "<absent>") << "keys cleared once complete";
    EXPECT_EQ(st.Ini("fk", "REGETTIME"), "<absent>");
    std::string log = st.dir.Read("TESSEL.LOG");
    EXPECT_NE(log.find(" B "), std::string::npos) << log;
    EXPECT_NE(log.find("\\f.bin <-- fk /pub f.bin\r\n"), std::string::npos) << log;
    Detach();
    EXPECT_TRUE(Notes(port).empty()) << Notes(port)[0];
}

TEST(ClientResume, RestartPointsAndARefusedRestStartsOverWithoutTheOldTail)
{
    REQUIRE_FAKE_SERVER();
    ct::ClientState st("[fk]\r\nHOST=127.0.0.1\r\n");
    ct::MainWindow w;
    int port;
    Attach("expect TYPE I\nsend 200 ok\nexpect SIZE /d/small\nsend 213 10\n"
           "expect PASV\npasv\nexpect REST 0\nsend 350 ok\nexpect RETR /d/small\nsend 150 go\n"
           "dataconnect\ndatafile 10\ndataclose\nsend 226 done\n"
           "expect SIZE /d/over\nsend 213 2000\nexpect PASV\npasv\nexpect REST 1024\nsend 350 ok\nexpect RETR /d/over\nsend 150 go\n"
           "dataconnect\ndatafile 976\ndataclose\nsend 226 done\n"
           "expect SIZE /d/norest\nsend 213 5000\nexpect PASV\npasv\nexpect REST 2048\nsend 502 REST not implemented\n"
           "expect RETR /d/norest\nsend 150 go\ndataconnect\ndatafile 5000\ndataclose\nsend 226 done\n",
           &port);
    strcpy(g_ftp.sessionName, "fk");
    Answers yes({IDYES, IDYES, IDYES});
    auto keys = [&](const char *name) {
        WriteIniText("fk", "REGETRDIR", "/d");
        WriteIniText("fk", "REGETRFILE", name);
        WriteIniText("fk", "REGETLDIR", st.dir.path.c_str());
        WriteIniText("fk", "REGETLFILE", name);
    };
    // A partial file of 1024 bytes restarts at 0, one of 1025 at 1024.
    st.dir.Write("small", std::string(1024, 'x'));
    keys("small");
    ResumePending("fk");
    EXPECT_EQ(st.dir.Read("small"), Pattern(10));
    st.dir.Write("over", Pattern(1025));
    keys("over");
    ResumePending("fk");
    EXPECT_TRUE(st.dir.Read("over") == Pattern(2000));
    // REST refused: the whole file again, none of the old copy kept.
    st.dir.Write("norest", std::string(3000, 'x'));
    keys("norest");
    ResumePending("fk");
    EXPECT_TRUE(Logged("+ Cannot restart at requested location, starting over."));
    EXPECT_TRUE(st.dir.Read("norest") == Pattern(5000)) << st.dir.Read("norest").size();
    Detach();
    EXPECT_TRUE(Notes(port).empty()) << Notes(port)[0];

    // Declining clears the keys; a missing local file is asked about.
    g_ftp.connected = 1; // nothing is sent from here on
    keys("gone");
    Answers no({IDNO});
    ResumePending("fk");
    EXPECT_EQ(st.Ini("fk", "REGETRFILE"), "<absent>");
    keys("gone");
    Answers missing({IDYES, IDYES, IDOK});
    ResumePending("fk");
    g_ftp.connected = 0;
    ASSERT_EQ(Answers::asked.size(), 3u);
    EXPECT_EQ(Answers::asked[1], "Failed to open the local file. Did you delete it?");
    EXPECT_EQ(Answers::asked[2], "In that case, you need to attempt to retrieve the file again.");
    EXPECT_EQ(st.Ini("fk", "REGETRFILE"), "<absent>");
}

TEST(ClientCancel, ProgressDialogCancelStopsTheDownloadWithTheAbortSequence)
{
    REQUIRE_FAKE_SERVER();
    ct::ClientState st("[fk]\r\nHOST=127.0.0.1\r\n");
    ct::MainWindow w;
    int port;
    Attach("expect TYPE I\nsend 200 ok\nexpect SIZE big.bin\nsend 213 9000000\nexpect PASV\npasv\nexpect RETR big.bin\n"
           "send 150 Opening BINARY mode data connection for big.bin (9000000 bytes)\n"
           "dataconnect\ndatafile 100000\nexpect .*ABOR\nsend 426 Transfer aborted.\nsend 226 ABOR successful.\n",
           &port);
    strcpy(g_ftp.sessionName, "fk");
    g_cfg.hash = 1;
    // Cancel pressed in the progress dialog once it shows.
    std::thread press([] {
        for (int i = 0; i < 500 && !g_progressDlg; ++i)
            Sleep(10);
        Sleep(300);
        if (HWND d = g_progressDlg)
            PostMessageA(d, WM_COMMAND, IDCANCEL, 0);
    });
    int r = ReceiveFile("big.bin", nullptr, 1, 1, 0, 0);
    press.join();
    EXPECT_NE(r, 2);
    EXPECT_FALSE(g_progressDlg) << "the dialog goes with its transfer";
    EXPECT_TRUE(Logged("Received 100000 bytes in"));
    EXPECT_TRUE(Logged("transfer failed"));
    EXPECT_TRUE(Logged("226 ABOR successful.")) << "both replies read";
    EXPECT_EQ(st.Ini("fk", "REGETRFILE"), "big.bin") << "a cancelled binary download can be resumed";
    Detach();
    EXPECT_TRUE(Notes(port).empty()) << Notes(port)[0];
}

// ------------------------------------------------------------------ hostile names

TEST(ClientHostileNames, ListingEntriesThatClimbOutCreateNothingOutsideTheTarget)
{
    REQUIRE_FAKE_SERVER();
    ct::ClientState st;
    ct::MainWindow w;
    const std::string entries = "-rw-r--r-- 1 ftp ftp 5 Jan 01  2024 ../evil\\r\\n"
                                "-rw-r--r-- 1 ftp ftp 5 Jan 01  2024 ..\\\\evil\\r\\n"
                                "drwxr-xr-x 2 ftp ftp 4096 Jan 01  2024 ../evildir\\r\\n"
                                "drwxr-xr-x 2 ftp ftp 4096 Jan 01  2024 ..\\\\evildir\\r\\n";
    const std::string root = "drwxr-xr-x 2 ftp ftp 4096 Jan 01  2024 top\\r\\n" + entries;
    const std::string inner = entries + "-rw-r--r-- 1 ftp ftp 5 Jan 01  2024 con\\r\\n"
                                        "-rw-r--r-- 1 ftp ftp 5 Jan 01  2024 a:b\\r\\n"
                                        "-rw-r--r-- 1 ftp ftp 4 Jan 01  2024 good.txt\\r\\n";
    int port;
    Attach("expect PWD\nsend 257 \"/\" is the current directory\nexpect TYPE A\nsend 200 ok\n"
           "expect PASV\npasv\nexpect LIST\nsend 150 listing\ndataconnect\ndatasend " + root +
               "\ndataclose\nsend 226 done\n"
               "expect CWD top\nsend 250 ok\nexpect PWD\nsend 257 \"/top\" is the current directory\n"
               "expect PASV\npasv\nexpect LIST\nsend 150 listing\ndataconnect\ndatasend " + inner +
               "\ndataclose\nsend 226 done\n"
               "expect TYPE I\nsend 200 ok\nexpect SIZE good.txt\nsend 213 4\nexpect PASV\npasv\n"
               "expect RETR good.txt\nsend 150 go\ndataconnect\ndatasend good\ndataclose\nsend 226 done\n"
               "expect CWD /\nsend 250 ok\nexpect PWD\nsend 257 \"/\" is the current directory\n",
           &port);
    CreateDirectoryA(st.dir.File("target").c_str(), nullptr);
    SetCurrentDirectoryA(st.dir.File("target").c_str());
    ShowRemote(1);
    Lines names = w.Names(IDC_RLIST);
    ASSERT_TRUE(Has(names, "../evil") && Has(names, "..\\evildir")) << "the decoder keeps the names as listed";
    // Everything selected: the top folder and the hostile entries beside it.
    SendMessageA(w.Item(IDC_RLIST), LB_SETSEL, TRUE, -1);
    Answers yes({IDYES});
    DownloadSelection(w.wnd, 0);
    ASSERT_TRUE(WaitForWorker(30000));
    Detach();
    EXPECT_TRUE(Notes(port).empty()) << Notes(port)[0];

    Lines made;
    Walk(st.dir.path, "", &made);
    std::sort(made.begin(), made.end());
    EXPECT_EQ(made, (Lines{"TESSEL.INI", "TESSEL.LOG", "target", "target\\top", "target\\top\\good.txt"}));
    for (const char *n : {"evil", "evildir"})
        EXPECT_EQ(GetFileAttributesA((TempRoot() + n).c_str()), INVALID_FILE_ATTRIBUTES) << n;
    EXPECT_EQ(st.dir.Read("target\\top\\good.txt"), "good");
    EXPECT_TRUE(Logged("+ Skipped \"../evildir\": not a name for a local folder"));
    EXPECT_TRUE(Logged("+ Skipped \"..\\evil\": not a name for a local file"));
    EXPECT_TRUE(Logged("+ Skipped \"con\": not a name for a local file"));
    EXPECT_TRUE(Logged("+ Skipped \"a:b\": not a name for a local file"));
}

TEST(ClientHostileNames, WildcardDownloadSkipsNamesThatAreNotPlainNames)
{
    REQUIRE_FAKE_SERVER();
    int port = fake::Inline("send 220 ready\nexpect USER joe\nsend 331 pw\nexpect PASS secret\nsend 230 in\n"
                            "expect SYST\nsend 215 UNIX Type: L8\nexpect CWD /\nsend 250 ok\n"
                            "expect TYPE A\nsend 200 ok\nexpect PASV\npasv\nexpect NLST \\*.txt\nsend 150 names\n"
                            "dataconnect\ndatasend ../evil.txt\\r\\n..\\\\evil2.txt\\r\\nsub/x.txt\\r\\ngood.txt\\r\\n\n"
                            "dataclose\nsend 226 done\n"
                            "expect TYPE I\nsend 200 ok\nexpect SIZE good.txt\nsend 213 4\nexpect PASV\npasv\n"
                            "expect RETR good.txt\nsend 150 go\n"
                            "dataconnect\ndatasend fine\ndataclose\nsend 226 done\n");
    ct::ClientState st("[fk]\r\nHOST=127.0.0.1\r\nPORT=" + std::to_string(port) + "\r\nUID=joe\r\n");
    g_cfg.pasvmode = 1;
    g_cfg.hash = 0;
    strcpy(g_cmd.pass, "secret");
    CreateDirectoryA(st.dir.File("target").c_str(), nullptr);
    EXPECT_EQ(RunCmdLineTransfer(nullptr, "fk:/*.txt", ("local:" + st.dir.File("target")).c_str()), 1);
    Lines made;
    Walk(st.dir.path, "", &made);
    std::sort(made.begin(), made.end());
    EXPECT_EQ(made, (Lines{"TESSEL.INI", "TESSEL.LOG", "target", "target\\good.txt"}));
    EXPECT_EQ(st.dir.Read("target\\good.txt"), "fine");
    EXPECT_EQ(GetFileAttributesA((TempRoot() + "evil.txt").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(Logged("+ Skipped \"sub/x.txt\": not a name for a local file"));
    EXPECT_TRUE(Notes(port).empty()) << Notes(port)[0];
    EXPECT_TRUE(Has(Commands(port), "QUIT"));
}

// ------------------------------------------------------------------ dropped files

namespace {

// A dropped-files block as the shell builds it.
HDROP DropBlock(const Lines &paths, POINT pt)
{
    std::string names;
    for (const auto &p : paths)
        names += p + '\0';
    names += std::string(2, '\0');
    HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + names.size());
    DROPFILES *df = (DROPFILES *)GlobalLock(h);
    df->pFiles = sizeof(DROPFILES);
    df->pt = pt;
    memcpy((char *)df + sizeof(DROPFILES), names.data(), names.size());
    GlobalUnlock(h);
    return (HDROP)h;
}

POINT PointOf(ct::MainWindow &w, int id, const std::string &name)
{
    POINT pt = {-1, -1};
    Lines names = w.Names(id);
    for (size_t i = 0; i < names.size(); ++i)
        if (names[i] == name) {
            RECT r;
            SendMessageA(w.Item(id), LB_GETITEMRECT, i, (LPARAM)&r);
            pt.x = r.left + 5;
            pt.y = (r.top + r.bottom) / 2;
        }
    return pt;
}

void SameTime(const std::string &a, const std::string &b)
{
    HANDLE fa = CreateFileA(a.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    HANDLE fb = CreateFileA(b.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    FILETIME t;
    GetFileTime(fa, nullptr, nullptr, &t);
    SetFileTime(fb, nullptr, nullptr, &t);
    CloseHandle(fa);
    CloseHandle(fb);
}

} // namespace

TEST(ClientDrop, FilesFromAnotherProgramAskBeforeReplacingAndMovesWithinTheLocalList)
{
    ct::ClientState st;
    ct::MainWindow w;
    ct::TempDir other;
    other.Write("same.txt", "theirs");
    other.Write("new.txt", "new");
    st.dir.Write("same.txt", "mine!!");
    SameTime(other.File("same.txt"), st.dir.File("same.txt"));
    RefreshLocal();
    const Lines dropped = {other.File("same.txt"), other.File("new.txt")};

    // PROOVERW on: a same (or newer) file is asked about; No keeps it.
    {
        Answers no({IDNO});
        DropFiles(w.Item(IDC_LLIST), DropBlock(dropped, {5, 5}), -1);
        ASSERT_EQ(Answers::asked.size(), 1u);
        EXPECT_EQ(Answers::asked[0], "Same version of same.txt exists in the destination directory.\nCopy the file "
                                     "anyway?");
        EXPECT_TRUE(Answers::types[0] & ASK_ALL) << "two files remain: the \"to All\" answers are offered";
        EXPECT_EQ(st.dir.Read("same.txt"), "mine!!");
        EXPECT_EQ(st.dir.Read("new.txt"), "new");
    }
    {
        Answers yes({IDYES});
        DropFiles(w.Item(IDC_LLIST), DropBlock({other.File("same.txt")}, {5, 5}), -1);
        EXPECT_FALSE(Answers::types[0] & ASK_ALL);
        EXPECT_EQ(st.dir.Read("same.txt"), "theirs");
    }

    // From the local list onto one of its folders: a move.
    CreateDirectoryA(st.dir.File("sub").c_str(), nullptr);
    RefreshLocal();
    POINT at = PointOf(w, IDC_LLIST, "sub");
    ASSERT_GE(at.y, 0);
    DropFiles(w.Item(IDC_LLIST), DropBlock({st.dir.File("new.txt")}, at), 0);
    EXPECT_EQ(st.dir.Read("sub\\new.txt"), "new");
    EXPECT_EQ(GetFileAttributesA(st.dir.File("new.txt").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(Logged("Moved " + st.dir.File("new.txt") + " to " + st.dir.File("sub\\new.txt")));

    // Nothing to upload to, nothing dropped, dropped beside the lists.
    DropFiles(w.Item(IDC_RLIST), DropBlock({st.dir.File("same.txt")}, {5, 5}), -1);
    EXPECT_TRUE(Logged("! Not connected. File(s) ignored."));
    DropFiles(w.Item(IDC_LLIST), DropBlock({}, {5, 5}), -1);
    EXPECT_TRUE(Logged("+ got a drop with no files!"));
    DropFiles(nullptr, DropBlock({st.dir.File("same.txt")}, {5, 5}), -1);
    EXPECT_TRUE(Logged("+ Received drop request outside of list boxes!"));
}
