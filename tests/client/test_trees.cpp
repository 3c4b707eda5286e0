// Transfers through the main window against the real vsftpd: a directory
// tree of three levels and 200 files both ways (binary files byte-identical,
// text files chosen by TESSEL.EXT with their line ends converted by the
// server), one transfer log line per file, the second pass skipping same
// files, a download broken by stopping the server session and resumed, the
// overwrite question with "Yes to All" and "No to All", and the text end
// mark on ASCII uploads.
#include "clienttest.h"
#include "fakeftp.h"

#include <algorithm>
#include <regex>
#include <stdlib.h>
#include <string>
#include <vector>

using namespace t95;
using Lines = std::vector<std::string>;

namespace {

std::string Env(const char *name)
{
    const char *v = getenv(name);
    return v ? v : "";
}

// The test bed's third vsftpd converts line ends in ASCII mode and sends at
// most 4 MB/s.
int Vsftpd3Port()
{
    return atoi(Env("TESSEL_VSFTPD3_PORT").c_str());
}

#define REQUIRE_VSFTPD3()                                                                      \
    do {                                                                                       \
        if (!Vsftpd3Port())                                                                    \
            GTEST_SKIP() << "third vsftpd not running (tools/testbed.sh starts it)";           \
    } while (0)

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

std::string Random(size_t n, unsigned seed)
{
    std::string s(n, '\0');
    srand(seed);
    for (auto &c : s)
        c = (char)(rand() & 0xFF);
    return s;
}

std::string Crlf(const std::string &lf)
{
    std::string out;
    for (char c : lf) {
        if (c == '\n')
            out += '\r';
        out += c;
    }
    return out;
}

LONGLONG FileSize(const std::string &path)
{
    WIN32_FILE_ATTRIBUTE_DATA fa;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &fa))
        return -1;
    return ((LONGLONG)fa.nFileSizeHigh << 32) | fa.nFileSizeLow;
}

Lines SplitLines(const std::string &text)
{
    Lines out;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t nl = text.find('\n', pos);
        std::string l = text.substr(pos, nl == std::string::npos ? std::string::npos : nl - pos);
        if (!l.empty() && l.back() == '\r')
            l.pop_back();
        out.push_back(l);
        if (nl == std::string::npos)
            break;
        pos = nl + 1;
    }
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

// A session of its own name against one of the test bed's servers, with
// the client's real main window.
struct Session {
    ct::ClientState st;
    ct::MainWindow w;
    std::string home; // the server's files, as a Windows path
    Session(int port, const std::string &root)
        : st("[t95s]\r\nHOST=127.0.0.1\r\n")
    {
        home = root + "\\home";
        ClearSession(&g_session);
        strcpy(g_session.name, "t95s");
        strcpy(g_session.host, "127.0.0.1");
        g_session.port = port;
        strcpy(g_session.user, fake::VsftpdUser().c_str());
        strcpy(g_session.password, fake::VsftpdPassword().c_str());
        g_session.timeout = 20;
        g_cfg.pasvmode = 1;
        st.dir.Write("TESSEL.EXT", ".txt\r\n");
    }
    bool Connect(const std::string &dir = "")
    {
        if (ConnectLogin(&g_session) == INVALID_SOCKET)
            return false;
        if (!dir.empty() && ChangeDir(dir.c_str()) != 2)
            return false;
        ShowRemote(1);
        return true;
    }
    ~Session()
    {
        if (g_ftp.connected)
            CloseSession(0);
    }
    void Select(int id, const Lines &names)
    {
        HWND list = w.Item(id);
        SendMessageA(list, LB_SETSEL, FALSE, -1);
        Lines all = w.Names(id);
        for (size_t i = 0; i < all.size(); ++i)
            if (std::find(names.begin(), names.end(), all[i]) != names.end())
                SendMessageA(list, LB_SETSEL, TRUE, (LPARAM)i);
    }
    void Click(int id) { SendMessageA(w.wnd, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)w.Item(id)); }
    Lines TransferLog(const char *direction) const
    {
        Lines out;
        for (const auto &l : SplitLines(st.dir.Read("TESSEL.LOG")))
            if (l.find(std::string(" ") + direction + " ") != std::string::npos)
                out.push_back(l);
        return out;
    }
};

// One file of the tree: its path below the tree's top and its contents.
struct TreeFile {
    std::string rel;
    std::string data;
    bool text;
};

// Three levels, 200 files: 80 at the top, 50 in "a", 40 in "a/c", 30 in
// "b"; every other one text (LF line ends, as on the server's disk).
std::vector<TreeFile> MakeTree()
{
    std::vector<TreeFile> files;
    const struct {
        const char *dir;
        int count;
    } parts[] = {{"", 80}, {"a\\", 50}, {"a\\c\\", 40}, {"b\\", 30}};
    int n = 0;
    for (const auto &p : parts) {
        for (int i = 0; i < p.count; ++i, ++n) {
            TreeFile f;
            f.text = n % 2 == 0;
            char name[32];
            snprintf(name, sizeof name, "f%03d.%s", n, f.text ? "txt" : "bin");
            f.rel = std::string(p.dir) + name;
            if (f.text) {
                int lines = 1 + (n * 37) % 200;
                for (int k = 0; k < lines; ++k)
                    f.data += "line " + std::to_string(k) + " of file " + std::to_string(n) + "\n";
            } else {
                // Binary bytes include CR LF pairs and 26 that must pass as they are.
                f.data = Random(n == 1 ? 300000 : (size_t)(n * 97) % 20000, (unsigned)n) + "\r\n\x1a";
            }
            files.push_back(f);
        }
    }
    files[2].data.clear(); // an empty text file
    return files;
}

void WriteTree(const std::string &top, const std::vector<TreeFile> &files, bool crlf)
{
    CreateDirectoryA(top.c_str(), nullptr);
    for (const char *d : {"\\a", "\\a\\c", "\\b"})
        CreateDirectoryA((top + d).c_str(), nullptr);
    for (const auto &f : files)
        WriteAll(top + "\\" + f.rel, crlf && f.text ? Crlf(f.data) : f.data);
}

// Windows path below the tree's top -> server directory and file name.
void RemoteParts(const std::string &top, const std::string &rel, std::string *dir, std::string *name)
{
    std::string r = rel;
    std::replace(r.begin(), r.end(), '\\', '/');
    size_t slash = r.rfind('/');
    *dir = "/" + top + (slash == std::string::npos ? "" : "/" + r.substr(0, slash));
    *name = slash == std::string::npos ? r : r.substr(slash + 1);
}

int SecondsOf(const std::string &path)
{
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    FILETIME ft = {};
    GetFileTime(h, nullptr, nullptr, &ft);
    CloseHandle(h);
    SYSTEMTIME st;
    FileTimeToSystemTime(&ft, &st);
    return st.wSecond;
}

} // namespace

TEST(ClientTrees, ThreeLevelsAndTwoHundredFilesBothWaysWithAsciiByExtension)
{
    REQUIRE_VSFTPD3();
    Session s(Vsftpd3Port(), Env("TESSEL_VSFTPD3_ROOT_WIN"));
    // Wine reuses process numbers: the tick count keeps runs apart.
    const std::string tag = std::to_string(GetCurrentProcessId()) + "-" + std::to_string(GetTickCount());
    const std::string top = "t95tree" + tag;
    const std::vector<TreeFile> files = MakeTree();
    WriteTree(s.home + "\\" + top, files, false);
    g_cfg.amode = 1;
    g_cfg.mode = 'I';
    ASSERT_TRUE(s.Connect());

    // Download: the folder selected, the question answered.
    s.Select(IDC_RLIST, {top});
    Answers yes({IDYES});
    s.Click(IDC_DOWNLOAD);
    // A second command while the worker runs is refused.
    s.Click(IDC_UPLOAD);
    EXPECT_TRUE(Logged("! Command in progress, ignored"));
    ASSERT_TRUE(WaitForWorker(80000));
    ASSERT_EQ(Answers::asked, (Lines{"Do you want to transfer the selected directory structures?"}));
    const std::string local = s.st.dir.File(top);
    int wrong = 0;
    for (const auto &f : files)
        if (ReadAll(local + "\\" + f.rel) != (f.text ? Crlf(f.data) : f.data))
            ++wrong, ADD_FAILURE() << f.rel;
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(SecondsOf(local + "\\a\\c\\f130.txt"), 0) << "the server's time, to the minute";

    // One log line per file: date, type, local path, direction, session,
    // remote folder and name.
    Lines down = s.TransferLog("<--");
    ASSERT_EQ(down.size(), files.size());
    const std::regex form(R"(^\d{2}\.\d{2}\.\d{2} \d{2}:\d{2} ([AB]) (.+)\\([^\\ ]+) <-- t95s (\S+) (\S+)$)");
    for (const auto &f : files) {
        std::string rdir, rname;
        RemoteParts(top, f.rel, &rdir, &rname);
        bool found = false;
        for (const auto &l : down) {
            std::smatch m;
            if (std::regex_match(l, m, form) && m[5] == rname && m[4] == rdir) {
                found = true;
                EXPECT_EQ(m[1], f.text ? "A" : "B") << l;
                EXPECT_EQ(m[2].str() + "\\" + m[3].str(), local + "\\" + f.rel) << l;
            }
        }
        EXPECT_TRUE(found) << f.rel;
    }
    EXPECT_EQ(s.st.Ini("t95s", "REGETRFILE"), "<absent>") << "no resume record left behind";

    // Again: the binary files are the same and are skipped; the text files
    // differ in size by their line ends and come again.
    s.Select(IDC_RLIST, {top}); // the refreshed list lost the selection
    Answers again({IDYES});
    s.Click(IDC_DOWNLOAD);
    ASSERT_TRUE(WaitForWorker(80000));
    size_t texts = 0;
    for (const auto &f : files)
        texts += f.text && !f.data.empty();
    EXPECT_EQ(s.TransferLog("<--").size(), files.size() + texts);

    // Upload into a new folder: the server keeps LF line ends.
    const std::string up = "t95up" + tag;
    ASSERT_EQ(MakeDir(up.c_str()), 2);
    ASSERT_EQ(ChangeDir(up.c_str()), 2);
    ShowRemote(1);
    s.Select(IDC_LLIST, {top});
    Answers upYes({IDYES});
    s.Click(IDC_UPLOAD);
    ASSERT_TRUE(WaitForWorker(80000));
    wrong = 0;
    for (const auto &f : files)
        if (ReadAll(s.home + "\\" + up + "\\" + top + "\\" + f.rel) != f.data)
            ++wrong, ADD_FAILURE() << f.rel;
    EXPECT_EQ(wrong, 0);
    Lines sent = s.TransferLog("-->");
    EXPECT_EQ(sent.size(), files.size());
    const std::regex upForm(R"(^\d{2}\.\d{2}\.\d{2} \d{2}:\d{2} [AB] .+\\f\d{3}\.(txt|bin) --> 127\.0\.0\.1 /)" + up +
                            "/" + top + R"((/a|/a/c|/b)? f\d{3}\.(txt|bin)$)");
    for (const auto &l : sent)
        EXPECT_TRUE(std::regex_match(l, upForm)) << l;
    Lines names = s.w.Names(IDC_RLIST);
    EXPECT_NE(std::find(names.begin(), names.end(), top), names.end()) << "the remote pane shows the new folder";
}

TEST(ClientResume, DownloadBrokenByStoppingTheServerResumesByteIdentical)
{
    REQUIRE_VSFTPD3();
    const std::string rootWin = Env("TESSEL_VSFTPD3_ROOT_WIN"), rootUnix = Env("TESSEL_VSFTPD3_ROOT");
    Session s(Vsftpd3Port(), rootWin);
    const std::string name = "t95kill" + std::to_string(GetCurrentProcessId()) + ".bin";
    const std::string data = Random(12 << 20, 99);
    WriteAll(s.home + "\\" + name, data);
    ASSERT_TRUE(s.Connect());
    s.Select(IDC_RLIST, {name});
    s.Click(IDC_DOWNLOAD);
    const std::string local = s.st.dir.File(name);
    DWORD start = GetTickCount();
    while (WorkerBusy() && FileSize(local) < (1 << 20) && GetTickCount() - start < 30000)
        ct::Pump(20);
    ASSERT_TRUE(WorkerBusy()) << "the download ended before the server could be stopped";

    // Stop the server's processes of this session (they hold its control
    // connection): a python script run through Wine finds them in /proc.
    sockaddr_in me;
    int len = sizeof me;
    ASSERT_EQ(getsockname(g_ftp.ctrl, (sockaddr *)&me, &len), 0);
    const std::string tag = std::to_string(GetCurrentProcessId());
    WriteAll(rootWin + "\\t95stop" + tag + ".py",
             "import os, signal, sys\n"
             "srv, cli = int(sys.argv[1]), int(sys.argv[2])\n"
             "inodes = set()\n"
             "for line in open('/proc/net/tcp').readlines()[1:]:\n"
             "    p = line.split()\n"
             "    if int(p[1].split(':')[1], 16) == srv and int(p[2].split(':')[1], 16) == cli:\n"
             "        inodes.add('socket:[%s]' % p[9])\n"
             "pids = []\n"
             "for pid in filter(str.isdigit, os.listdir('/proc')):\n"
             "    try:\n"
             "        fds = os.listdir('/proc/%s/fd' % pid)\n"
             "        if any(os.readlink('/proc/%s/fd/%s' % (pid, fd)) in inodes for fd in fds):\n"
             "            pids.append(int(pid))\n"
             "    except OSError:\n"
             "        pass\n"
             "for pid in pids:\n"
             "    os.kill(pid, signal.SIGKILL)\n"
             "open(sys.argv[3], 'w').write(' '.join(map(str, pids)))\n");
    std::string cmd = "/usr/bin/python3 " + rootUnix + "/t95stop" + tag + ".py " + std::to_string(Vsftpd3Port()) + " " +
                      std::to_string(ntohs(me.sin_port)) + " " + rootUnix + "/t95stop" + tag + ".out";
    std::vector<char> line(cmd.begin(), cmd.end());
    line.push_back(0);
    STARTUPINFOA si = {sizeof si};
    PROCESS_INFORMATION pi;
    ASSERT_TRUE(CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    ASSERT_TRUE(WaitForWorker(60000));
    std::string killed = ReadAll(rootWin + "\\t95stop" + tag + ".out");
    EXPECT_NE(killed, "<missing>");
    EXPECT_NE(killed, "") << "no server process found";
    const LONGLONG part = FileSize(local);
    EXPECT_GT(part, 0);
    EXPECT_LT(part, (LONGLONG)data.size());
    EXPECT_EQ(s.st.Ini("t95s", "REGETRFILE"), name);
    EXPECT_TRUE(s.TransferLog("<--").empty());

    // The next connect offers to resume; it restarts at whole kilobytes.
    CloseSession(0);
    ASSERT_TRUE(s.Connect());
    Answers yes({IDYES});
    ResumePending(g_session.name);
    ASSERT_EQ(Answers::asked.size(), 1u);
    EXPECT_TRUE(ReadAll(local) == data) << "size " << FileSize(local);
    EXPECT_EQ(s.st.Ini("t95s", "REGETRFILE"), "<absent>");
    EXPECT_EQ(s.TransferLog("<--").size(), 1u);
    char rest[64];
    snprintf(rest, sizeof rest, "REST %lld", (long long)(part & ~1023LL));
    EXPECT_TRUE(Logged(rest)) << rest;
    DeleteFileA((rootWin + "\\t95stop" + tag + ".py").c_str());
    DeleteFileA((rootWin + "\\t95stop" + tag + ".out").c_str());
}

TEST(ClientOverwrite, YesToAllAndNoToAllAnswerTheRestOfTheOperation)
{
    REQUIRE_VSFTPD();
    Session s(fake::VsftpdPort(), fake::VsftpdRoot());
    const std::string dir = "t95ow" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA((s.home + "\\" + dir).c_str(), nullptr);
    const Lines names = {"x1.bin", "x2.bin", "x3.bin"};
    for (size_t i = 0; i < names.size(); ++i)
        WriteAll(s.home + "\\" + dir + "\\" + names[i], Random(1000 + i, (unsigned)i));
    ASSERT_TRUE(s.Connect("/" + dir));
    s.Select(IDC_RLIST, names);
    {
        Answers none({});
        s.Click(IDC_DOWNLOAD);
        ASSERT_TRUE(WaitForWorker(30000));
        EXPECT_TRUE(Answers::asked.empty()) << "nothing to overwrite yet";
    }
    ASSERT_EQ(s.TransferLog("<--").size(), 3u);
    {
        Answers all({ANSWER_YESALL});
        s.Click(IDC_DOWNLOAD);
        ASSERT_TRUE(WaitForWorker(30000));
        ASSERT_EQ(Answers::asked.size(), 1u) << "asked once for the three";
        EXPECT_EQ(Answers::asked[0],
                  "Same version of x1.bin exists in the destination directory.\nCopy the file anyway?");
        EXPECT_EQ(Answers::types[0], (UINT)(ASK_OVERWRITE | ASK_ALL));
        EXPECT_EQ(s.TransferLog("<--").size(), 6u);
    }
    {
        Answers none({ANSWER_NOALL});
        s.Click(IDC_DOWNLOAD);
        ASSERT_TRUE(WaitForWorker(30000));
        EXPECT_EQ(Answers::asked.size(), 1u);
        EXPECT_EQ(s.TransferLog("<--").size(), 6u);
        EXPECT_TRUE(Logged("+ Same verison of x3.bin already exists!"));
    }
    // The other way: the server's copy is the same.
    s.Select(IDC_LLIST, {"x2.bin"});
    {
        Answers no({IDNO});
        s.Click(IDC_UPLOAD);
        ASSERT_TRUE(WaitForWorker(30000));
        ASSERT_EQ(Answers::asked.size(), 1u);
        EXPECT_EQ(Answers::types[0], (UINT)ASK_OVERWRITE) << "one file: no \"to All\"";
        EXPECT_TRUE(Logged("+ newer or same version of x2.bin already exists!"));
        EXPECT_TRUE(s.TransferLog("-->").empty());
    }
}

TEST(ClientSend, AsciiUploadDropsOnlyTheFinalCtrlZ)
{
    REQUIRE_VSFTPD();
    Session s(fake::VsftpdPort(), fake::VsftpdRoot());
    const std::string name = "t95z" + std::to_string(GetCurrentProcessId()) + ".txt";
    // A 26 that happens to end the first 64 KiB block is data; the one
    // that ends the file is its end mark.
    std::string text(65535, 'a');
    text += '\x1a';
    text += "more text\r\n\x1a";
    s.st.dir.Write(name, text);
    g_cfg.amode = 1;
    ASSERT_TRUE(s.Connect());
    RefreshLocal();
    s.Select(IDC_LLIST, {name});
    s.Click(IDC_UPLOAD);
    ASSERT_TRUE(WaitForWorker(30000));
    EXPECT_TRUE(Logged("TYPE A"));
    EXPECT_TRUE(ReadAll(s.home + "\\" + name) == text.substr(0, text.size() - 1));
}
