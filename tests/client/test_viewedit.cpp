// View, Execute, Associate, directory information and remote Edit against
// the real vsftpd, with a recorder program (built from the test sources) as
// the viewer, the associated program and the editor: the command lines it
// records name "DSP"/"EDT" copies equal to the server's files; an edit
// keeps the connection alive with NOOP and stores the change, but never
// onto another server.
#include "clienttest.h"
#include "dlgbot.h"
#include "fakeftp.h"
#include "fileops.h"

#include <stdlib.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace t95;
using ct::DialogBot;

namespace {

std::string Env(const char *name)
{
    const char *v = getenv(name);
    return v ? v : "";
}

bool Exists(const std::string &path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

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

std::string Recorder()
{
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, sizeof path);
    *strrchr(path, '\\') = 0;
    return std::string(path) + "\\t95recorder.exe";
}

std::vector<std::string> Log()
{
    std::vector<std::string> out;
    for (int i = 59; i >= 0; --i) {
        char line[400];
        if (LogLineAt(i, line, sizeof line))
            out.push_back(line);
    }
    return out;
}

std::vector<std::string> SinceMark()
{
    std::vector<std::string> out;
    for (const auto &l : Log()) {
        if (l == "--- mark")
            out.clear();
        else
            out.push_back(l);
    }
    return out;
}

int Count(const std::vector<std::string> &lines, const std::string &prefix)
{
    int n = 0;
    for (const auto &l : lines)
        n += l.compare(0, prefix.size(), prefix) == 0;
    return n;
}

bool Has(const std::vector<std::string> &lines, const std::string &part)
{
    for (const auto &l : lines)
        if (l.find(part) != std::string::npos)
            return true;
    return false;
}

void Select(ct::MainWindow &w, const std::vector<std::string> &names, int id = IDC_RLIST)
{
    HWND list = w.Item(id);
    SendMessageA(list, LB_SETSEL, FALSE, -1);
    auto all = w.Names(id);
    for (size_t i = 0; i < all.size(); ++i)
        if (std::find(names.begin(), names.end(), all[i]) != names.end())
            SendMessageA(list, LB_SETSEL, TRUE, (LPARAM)i);
}

// The recorder's command lines, waiting (pumping) until there are n.
std::vector<std::string> Recorded(const std::string &file, size_t n, DWORD ms = 20000)
{
    DWORD start = GetTickCount();
    std::vector<std::string> lines;
    do {
        lines.clear();
        std::string all = ReadAll(file);
        size_t at = 0, nl;
        while (all != "<missing>" && (nl = all.find('\n', at)) != std::string::npos) {
            lines.push_back(all.substr(at, nl - at));
            at = nl + 1;
        }
        if (lines.size() >= n)
            break;
        ct::Pump(50);
    } while (GetTickCount() - start < ms);
    return lines;
}

// The file of a recorded command line: the last word, quoted when it
// holds a blank.
std::string QuotedArg(const std::string &line)
{
    if (!line.empty() && line.back() == '"') {
        size_t q1 = line.rfind('"', line.size() - 2);
        return q1 == std::string::npos ? "" : line.substr(q1 + 1, line.size() - q1 - 2);
    }
    size_t sp = line.rfind(' ');
    std::string word = sp == std::string::npos ? line : line.substr(sp + 1);
    return word.find(' ') == std::string::npos ? word : "";
}

struct Server {
    ct::ClientState st;
    ct::MainWindow w;
    std::string name, disk, record;
    explicit Server(int port = fake::VsftpdPort(), const std::string &root = fake::VsftpdRoot())
    {
        name = "t95view" + std::to_string(GetCurrentProcessId());
        disk = root + "\\home\\" + name;
        ct::TempDir::RemoveTree(disk);
        UseServer(port);
        g_cfg.pasvmode = 1;
        g_cfg.doupdate = 1;
        g_cfg.mode = 'I';
        g_cfg.amode = 0;
        snprintf(g_cfg.viewer, sizeof g_cfg.viewer, "%s", Recorder().c_str());
        record = st.dir.File("record.txt");
        SetEnvironmentVariableA("T95_RECORD", record.c_str());
        SetEnvironmentVariableA("T95_EDIT_SECONDS", nullptr);
        SetEnvironmentVariableA("T95_EDIT_DELETE", nullptr);
    }
    static void UseServer(int port)
    {
        ClearSession(&g_session);
        strcpy(g_session.host, "127.0.0.1");
        g_session.port = port;
        strcpy(g_session.user, fake::VsftpdUser().c_str());
        strcpy(g_session.password, fake::VsftpdPassword().c_str());
        g_session.timeout = 20;
    }
    bool Enter()
    {
        if (ConnectLogin(&g_session) == INVALID_SOCKET)
            return false;
        MakeDir(("/" + name).c_str());
        return ChangeDir(("/" + name).c_str()) == 2 && (ShowRemote(1), true);
    }
    // Sent through the server so that its user owns (and may replace) it.
    bool Put(const std::string &remote, const std::string &data)
    {
        st.dir.Write("put.tmp", data);
        int r = SendFile(st.dir.File("put.tmp").c_str(), remote.c_str(), 1, 1, 0, 0);
        DeleteFileA(st.dir.File("put.tmp").c_str());
        ShowRemote(1);
        return r == 2;
    }
    std::string Disk(const std::string &rel) const { return disk + "\\" + rel; }
    ~Server()
    {
        for (int i = 0; i < 600 && EditsRunning(); ++i)
            ct::Pump(50);
        if (g_ftp.connected)
            CloseSession(0);
        ct::TempDir::RemoveTree(disk);
        SetEnvironmentVariableA("T95_RECORD", nullptr);
    }
};

} // namespace

TEST(ClientView, ViewerAndAssociationGetQuotedCopiesOfTheServersFiles)
{
    REQUIRE_VSFTPD();
    Server s;
    ASSERT_TRUE(s.Enter());
    const std::string text = "first line\nsecond line\n";
    ASSERT_TRUE(s.Put("read me.txt", text));

    // View: the recorder gets a quoted "DSP" copy with the remote extension.
    Select(s.w, {"read me.txt"});
    DoCommand(s.w.wnd, IDC_RVIEW, 1);
    auto rec = Recorded(s.record, 1);
    ASSERT_EQ(rec.size(), 1u);
    std::string copy = QuotedArg(rec[0]);
    char tmp[MAX_PATH];
    GetTempPathA(sizeof tmp, tmp);
    EXPECT_EQ(copy.rfind(std::string(tmp) + "DSP", 0), 0u) << rec[0];
    EXPECT_EQ(copy.substr(copy.size() - 4), ".txt");
    EXPECT_EQ(ReadAll(copy), text);

    // The same from a temporary folder whose name has a blank.
    ct::TempDir blankParent;
    std::string blankTmp = blankParent.File("temp with blank");
    CreateDirectoryA(blankTmp.c_str(), nullptr);
    char oldTmp[MAX_PATH] = "";
    GetEnvironmentVariableA("TMP", oldTmp, sizeof oldTmp);
    SetEnvironmentVariableA("TMP", (blankTmp + "\\").c_str());
    DoCommand(s.w.wnd, IDC_RVIEW, 1);
    rec = Recorded(s.record, 2);
    SetEnvironmentVariableA("TMP", oldTmp[0] ? oldTmp : nullptr);
    ASSERT_EQ(rec.size(), 2u);
    copy = QuotedArg(rec[1]);
    EXPECT_EQ(copy.rfind(blankTmp + "\\DSP", 0), 0u) << rec[1];
    EXPECT_EQ(ReadAll(copy), text);
    DeleteFileA(copy.c_str());

    // Execute with an extension nobody knows: "Associate" opens, the
    // association is written to the system profile and used at once.
    const std::string data = "odd data";
    ASSERT_TRUE(s.Put("run it.t95x", data));
    WriteProfileStringA("Extensions", "t95x", nullptr);
    Select(s.w, {"run it.t95x"});
    LogLine("--- mark");
    {
        DialogBot bot({{"Associate", "", IDOK, [](HWND dlg) {
                            char ext[32] = "";
                            GetDlgItemTextA(dlg, IDC_AS_EXT, ext, sizeof ext);
                            EXPECT_STREQ(ext, "t95x");
                            SetDlgItemTextA(dlg, IDC_AS_PROG, Recorder().c_str());
                        }}});
        DoCommand(s.w.wnd, IDC_REXEC, 1);
        EXPECT_EQ(bot.Finish(), (std::vector<std::string>{"Associate"}));
    }
    EXPECT_TRUE(Has(SinceMark(), "+ ShellExecute return "));
    char value[400] = "";
    GetProfileStringA("Extensions", "t95x", "", value, sizeof value);
    EXPECT_EQ(std::string(value), Recorder() + " ^.t95x");
    rec = Recorded(s.record, 3);
    ASSERT_EQ(rec.size(), 3u);
    copy = QuotedArg(rec[2]);
    EXPECT_EQ(copy.substr(copy.size() - 5), ".t95x") << rec[2];
    EXPECT_EQ(ReadAll(copy), data);

    // Known now: no question the second time.
    {
        DialogBot bot({});
        DoCommand(s.w.wnd, IDC_REXEC, 1);
        EXPECT_TRUE(bot.Finish().empty());
    }
    EXPECT_EQ(Recorded(s.record, 4).size(), 4u);
    WriteProfileStringA("Extensions", "t95x", nullptr);
}

TEST(ClientView, AssociationValuesTempNamesAndDirectoryInformation)
{
    ct::ClientState st;
    ct::MainWindow w;
    std::string cmd;
    WriteProfileStringA("Extensions", "t95a", "prog.exe ^.x ^.y");
    ASSERT_TRUE(AssociationCommand("t95a", "C:\\a b\\f.t95a", &cmd));
    EXPECT_EQ(cmd, "prog.exe \"C:\\a b\\f.t95a\"") << "cut at the first caret";
    WriteProfileStringA("Extensions", "t95a", "prog.exe");
    ASSERT_TRUE(AssociationCommand("t95a", "C:\\f.t95a", &cmd));
    EXPECT_EQ(cmd, "prog.exe C:\\f.t95a") << "no caret: the name is appended";
    WriteAssociation("t95a", "other.exe ^.old");
    char value[200];
    GetProfileStringA("Extensions", "t95a", "", value, sizeof value);
    EXPECT_STREQ(value, "other.exe ^.t95a");
    WriteAssociation("t95a", "bad\r\nline");
    GetProfileStringA("Extensions", "t95a", "", value, sizeof value);
    EXPECT_STREQ(value, "other.exe ^.t95a") << "a value with a line break is not written";
    WriteProfileStringA("Extensions", "t95a", nullptr);
    EXPECT_FALSE(AssociationCommand("t95a", "x.t95a", &cmd));

    EXPECT_EQ(ViewerCommand("notepad", "C:\\dir\\README"), "notepad C:\\dir\\README.");
    EXPECT_EQ(ViewerCommand("notepad", "C:\\my dir\\a.txt"), "notepad \"C:\\my dir\\a.txt\"");
    g_cfg.useFindExec = 0;
    EXPECT_FALSE(EditCommand("C:\\x\\tool.EXE", 0, &cmd));
    ASSERT_TRUE(EditCommand("C:\\x\\old.pif", 0, &cmd));
    EXPECT_EQ(cmd, "pifedit C:\\x\\old.pif");
    ASSERT_TRUE(EditCommand("C:\\x\\run.bat", 0, &cmd));
    EXPECT_EQ(cmd, "notepad C:\\x\\run.bat");

    // Remote names become temporary copies with a clean, short extension
    // and always inside the temporary folder.
    char tmp[MAX_PATH], path[MAX_PATH];
    GetTempPathA(sizeof tmp, tmp);
    const char *hostile[] = {"..\\..\\evil.b*d", "/a/b/c.\"%x", "name.verylongext", "dots...", "a/..\\..\\x"};
    const char *exts[] = {".bd", ".%x", ".very", ".tmp", ".tmp"};
    for (size_t i = 0; i < 5; ++i) {
        ASSERT_TRUE(MakeTempCopyName("DSP", hostile[i], path, sizeof path)) << hostile[i];
        std::string p = path;
        EXPECT_EQ(p.rfind(std::string(tmp) + "DSP", 0), 0u) << p;
        EXPECT_EQ(p.find('\\', strlen(tmp)), std::string::npos) << p;
        EXPECT_EQ(p.substr(p.rfind('.')), exts[i]) << hostile[i];
        EXPECT_TRUE(Exists(p));
        DeleteFileA(path);
        ForgetTempFile(path);
    }

    // A viewer of 1,000 characters in the INI file is not taken.
    std::string ini = "[_config_]\r\nVIEWER=" + std::string(1000, 'v') + "\r\n";
    st.dir.Write("TESSEL.INI", ini);
    LoadConfig();
    EXPECT_STREQ(g_cfg.viewer, "notepad");
    EXPECT_EQ(st.dir.Read("TESSEL.INI"), ini);

    // Directory information: the header and both line formats.
    CreateDirectoryA(st.dir.File("subdir").c_str(), nullptr);
    st.dir.Write("twelve bytes", "123456789012");
    std::string record = st.dir.File("record.txt");
    SetEnvironmentVariableA("T95_RECORD", record.c_str());
    snprintf(g_cfg.viewer, sizeof g_cfg.viewer, "%s", Recorder().c_str());
    DoCommand(w.wnd, IDC_LDIRINFO, 0);
    auto rec = Recorded(record, 1);
    ASSERT_EQ(rec.size(), 1u);

    // With Ctrl held the viewer is asked for, for this view only.
    RefreshLocal();
    HWND local = w.Item(IDC_LLIST);
    auto names = w.Names(IDC_LLIST);
    for (size_t i = 0; i < names.size(); ++i)
        SendMessageA(local, LB_SETSEL, names[i] == "twelve bytes", (LPARAM)i);
    const std::string viewer = g_cfg.viewer;
    g_forceCtrl = 1;
    {
        DialogBot bot({{"TESSEL Pro", Recorder() + " ", IDOK}});
        DoCommand(w.wnd, IDC_LVIEW, 0);
        EXPECT_EQ(bot.Finish(), (std::vector<std::string>{"Enter ASCII file viewer program pathname:"}));
    }
    g_forceCtrl = 0;
    auto viewed = Recorded(record, 2);
    SetEnvironmentVariableA("T95_RECORD", nullptr);
    ASSERT_EQ(viewed.size(), 2u);
    EXPECT_EQ(QuotedArg(viewed[1]), "twelve bytes.") << viewed[1];
    EXPECT_EQ(std::string(g_cfg.viewer), viewer) << "the answer is for this view only";
    std::string info = ReadAll(QuotedArg(rec[0]));
    EXPECT_EQ(info.rfind(" Directory of " + st.dir.path + "\r\n\r\n", 0), 0u) << info;
    EXPECT_NE(info.find("subdir                         <DIR>      "), std::string::npos) << info;
    EXPECT_NE(info.find("twelve bytes                           12 "), std::string::npos) << info;
}

// The recorder as editor of a file of its own extension.
static void UseRecorderAsEditor()
{
    g_cfg.useFindExec = 0;
    WriteAssociation("t95e", Recorder().c_str());
}

TEST(ClientEdit, EditorRunningSixtyFiveSecondsKeepsTheConnectionAndStoresTheChange)
{
    REQUIRE_VSFTPD();
    Server s;
    ASSERT_TRUE(s.Enter());
    ASSERT_TRUE(s.Put("notes 1.t95e", "line one\n"));
    UseRecorderAsEditor();
    g_cfg.verbose = 1;
    SetEnvironmentVariableA("T95_EDIT_SECONDS", "65");
    Select(s.w, {"notes 1.t95e"});
    LogLine("--- mark");
    DoCommand(s.w.wnd, CMD_EDIT, 1);
    auto rec = Recorded(s.record, 1);
    ASSERT_EQ(rec.size(), 1u);
    const std::string copy = QuotedArg(rec[0]);
    EXPECT_NE(copy.find("\\EDT"), std::string::npos) << rec[0];
    EXPECT_EQ(ReadAll(copy), "line one\n");
    DWORD start = GetTickCount();
    while (EditsRunning() && GetTickCount() - start < 150000)
        ct::Pump(100);
    ASSERT_EQ(EditsRunning(), 0);
    auto lines = SinceMark();
    EXPECT_GE(Count(lines, "NOOP"), 2) << "keep-alive every 30 seconds";
    EXPECT_EQ(Count(lines, "STOR /" + s.name + "/notes 1.t95e"), 1);
    EXPECT_EQ(ReadAll(s.Disk("notes 1.t95e")), "line one\nedited by the recorder\n");
    EXPECT_FALSE(Exists(copy)) << "the copy goes after a good upload";
    WriteProfileStringA("Extensions", "t95e", nullptr);
}

TEST(ClientEdit, NothingIsStoredOnAnotherServerOrAfterTheEditorDeletedItsFile)
{
    REQUIRE_VSFTPD();
    const int port3 = atoi(Env("TESSEL_VSFTPD3_PORT").c_str());
    if (!port3)
        GTEST_SKIP() << "third vsftpd not running";
    Server s;
    ASSERT_TRUE(s.Enter());
    ASSERT_TRUE(s.Put("same.t95e", "original\n"));
    UseRecorderAsEditor();
    SetEnvironmentVariableA("T95_EDIT_SECONDS", "4");
    Select(s.w, {"same.t95e"});
    LogLine("--- mark");
    DoCommand(s.w.wnd, CMD_EDIT, 1);
    auto rec = Recorded(s.record, 1);
    ASSERT_EQ(rec.size(), 1u);
    const std::string copy = QuotedArg(rec[0]);
    // Meanwhile the session goes to another server with the same folder.
    CloseSession(0);
    Server::UseServer(port3);
    ASSERT_NE(ConnectLogin(&g_session), INVALID_SOCKET);
    MakeDir(("/" + s.name).c_str());
    ChangeDir(("/" + s.name).c_str());
    DWORD start = GetTickCount();
    while (EditsRunning() && GetTickCount() - start < 60000)
        ct::Pump(100);
    auto lines = SinceMark();
    EXPECT_EQ(Count(lines, "STOR"), 0);
    EXPECT_TRUE(Has(lines, "! Error rewriting file /" + s.name + "/same.t95e from " + copy));
    EXPECT_EQ(ReadAll(copy), "original\nedited by the recorder\n") << "the edited copy is kept";
    EXPECT_EQ(ReadAll(s.Disk("same.t95e")), "original\n");
    DeleteFileA(copy.c_str());
    const std::string root3 = Env("TESSEL_VSFTPD3_ROOT_WIN");
    EXPECT_FALSE(Exists(root3 + "\\home\\" + s.name + "\\same.t95e"));
    ct::TempDir::RemoveTree(root3 + "\\home\\" + s.name);
    CloseSession(0);

    // Back on the first server: an editor that deletes its file.
    Server::UseServer(fake::VsftpdPort());
    ASSERT_TRUE(s.Enter());
    SetEnvironmentVariableA("T95_EDIT_SECONDS", "1");
    SetEnvironmentVariableA("T95_EDIT_DELETE", "1");
    Select(s.w, {"same.t95e"});
    LogLine("--- mark");
    DoCommand(s.w.wnd, CMD_EDIT, 1);
    start = GetTickCount();
    ct::Pump(200);
    while (EditsRunning() && GetTickCount() - start < 60000)
        ct::Pump(100);
    lines = SinceMark();
    EXPECT_EQ(Count(lines, "STOR"), 0);
    EXPECT_TRUE(Has(lines, "! The edited copy is gone"));
    EXPECT_EQ(ReadAll(s.Disk("same.t95e")), "original\n");

    // A server that refuses the STOR: tried twice, the copy kept.
    SetEnvironmentVariableA("T95_EDIT_DELETE", nullptr);
    SetEnvironmentVariableA("T95_EDIT_SECONDS", "3");
    Select(s.w, {"same.t95e"});
    LogLine("--- mark");
    DoCommand(s.w.wnd, CMD_EDIT, 1);
    rec = Recorded(s.record, 3);
    ASSERT_EQ(rec.size(), 3u);
    SendCommand("SITE chmod 444 same.t95e");
    start = GetTickCount();
    while (EditsRunning() && GetTickCount() - start < 60000)
        ct::Pump(100);
    lines = SinceMark();
    EXPECT_EQ(Count(lines, "STOR"), 2) << "one retry";
    EXPECT_TRUE(Has(lines, "! Error rewriting file"));
    EXPECT_TRUE(Exists(QuotedArg(rec[2])));
    DeleteFileA(QuotedArg(rec[2]).c_str());
    EXPECT_EQ(ReadAll(s.Disk("same.t95e")), "original\n");
    SendCommand("SITE chmod 644 same.t95e");
    WriteProfileStringA("Extensions", "t95e", nullptr);
}
