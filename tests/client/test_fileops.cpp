// The pane's file commands against the real vsftpd, checked on the
// server's disk: make, change and remove a directory, delete with "Delete
// All", rename, move, permissions (modes read with stat), a refused RNFR,
// names that carry line breaks; and the same commands on the local side.
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
using ct::DialogStep;

namespace {

std::string Env(const char *name)
{
    const char *v = getenv(name);
    return v ? v : "";
}

bool Exists(const std::string &path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool IsDir(const std::string &path)
{
    DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

void WriteFileText(const std::string &path, const std::string &data)
{
    FILE *f = fopen(path.c_str(), "wb");
    if (f) {
        fwrite(data.data(), 1, data.size(), f);
        fclose(f);
    }
}

std::vector<std::string> Log(int n = 80)
{
    std::vector<std::string> out;
    for (int i = n - 1; i >= 0; --i) {
        char line[400];
        if (LogLineAt(i, line, sizeof line))
            out.push_back(line);
    }
    return out;
}

// Log lines after the latest "--- mark".
std::vector<std::string> SinceMark()
{
    std::vector<std::string> all = Log(), out;
    for (const auto &l : all) {
        if (l == "--- mark")
            out.clear();
        else
            out.push_back(l);
    }
    return out;
}

bool Has(const std::vector<std::string> &lines, const std::string &part)
{
    for (const auto &l : lines)
        if (l.find(part) != std::string::npos)
            return true;
    return false;
}

void Select(ct::MainWindow &w, int id, const std::vector<std::string> &names)
{
    HWND list = w.Item(id);
    SendMessageA(list, LB_SETSEL, FALSE, -1);
    auto all = w.Names(id);
    for (size_t i = 0; i < all.size(); ++i)
        if (std::find(names.begin(), names.end(), all[i]) != names.end())
            SendMessageA(list, LB_SETSEL, TRUE, (LPARAM)i);
}

void Command(ct::MainWindow &w, int id, int side = 1)
{
    DoCommand(w.wnd, id, side);
}

// Unix permission bits of a file of the vsftpd root, read with Python's
// stat (Wine cannot see them).
std::string ModeOf(const std::string &unixPath)
{
    std::string root = Env("TESSEL_VSFTPD_ROOT"), rootWin = Env("TESSEL_VSFTPD_ROOT_WIN");
    std::string script = rootWin + "\\t95mode.py", out = rootWin + "\\t95mode.out";
    WriteFileText(script, "import os,sys\nopen(sys.argv[2],'w').write('%o' % (os.stat(sys.argv[1]).st_mode & 0o777))\n");
    DeleteFileA(out.c_str());
    std::string cmd = "/usr/bin/python3 " + root + "/t95mode.py " + unixPath + " " + root + "/t95mode.out";
    std::vector<char> line(cmd.begin(), cmd.end());
    line.push_back(0);
    STARTUPINFOA si = {sizeof si};
    PROCESS_INFORMATION pi;
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return "<no python>";
    WaitForSingleObject(pi.hProcess, 20000);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    std::string mode;
    for (int i = 0; i < 100 && mode.empty(); ++i) {
        FILE *f = fopen(out.c_str(), "rb");
        if (f) {
            char buf[16] = "";
            size_t n = fread(buf, 1, sizeof buf - 1, f);
            fclose(f);
            mode.assign(buf, n);
        }
        if (mode.empty())
            Sleep(50);
    }
    return mode;
}

// Logged in to vsftpd, in a fresh folder of the server's home.
struct ServerFolder {
    ct::ClientState st;
    ct::MainWindow w;
    std::string name, disk;
    ServerFolder()
    {
        name = "t95ops" + std::to_string(GetCurrentProcessId());
        disk = fake::VsftpdRoot() + "\\home\\" + name;
        ct::TempDir::RemoveTree(disk);
        ClearSession(&g_session);
        strcpy(g_session.host, "127.0.0.1");
        g_session.port = fake::VsftpdPort();
        strcpy(g_session.user, fake::VsftpdUser().c_str());
        strcpy(g_session.password, fake::VsftpdPassword().c_str());
        g_session.timeout = 20;
        g_cfg.pasvmode = 1;
        g_cfg.doupdate = 1;
        g_cfg.vrfyDel = 1;
    }
    bool Enter()
    {
        if (ConnectLogin(&g_session) == INVALID_SOCKET)
            return false;
        // Made by the server, so that its user may change what is inside.
        MakeDir(("/" + name).c_str());
        return ChangeDir(("/" + name).c_str()) == 2 && (ShowRemote(1), true);
    }
    std::string Disk(const std::string &rel) const { return disk + "\\" + rel; }
    std::string Unix(const std::string &rel) const { return Env("TESSEL_VSFTPD_ROOT") + "/home/" + name + "/" + rel; }
    ~ServerFolder()
    {
        if (g_ftp.connected)
            CloseSession(0);
        ct::TempDir::RemoveTree(disk);
    }
};

} // namespace

TEST(ClientFileOps, DirectoriesDeleteRenameAndMoveOnTheServersDisk)
{
    REQUIRE_VSFTPD();
    ServerFolder s;
    ASSERT_TRUE(s.Enter());

    // Make directory.
    {
        DialogBot bot({{"TESSEL Pro", "made dir", IDOK}});
        Command(s.w, IDC_RMKDIR);
        EXPECT_EQ(bot.Finish(), (std::vector<std::string>{"Enter new remote directory name:"}));
    }
    EXPECT_TRUE(IsDir(s.Disk("made dir")));
    auto names = s.w.Names(IDC_RLIST);
    EXPECT_NE(std::find(names.begin(), names.end(), "made dir"), names.end()) << "listing updated";

    // Change into it by selection, and back with "..".
    Select(s.w, IDC_RLIST, {"made dir"});
    Command(s.w, IDC_RCHGDIR);
    EXPECT_EQ(std::string(g_ftp.remoteDir), "/" + s.name + "/made dir");
    Select(s.w, IDC_RLIST, {".."});
    Command(s.w, IDC_RCHGDIR);
    EXPECT_EQ(std::string(g_ftp.remoteDir), "/" + s.name);

    // Remove directory: "No" keeps it, "Yes" removes it.
    Select(s.w, IDC_RLIST, {"made dir"});
    {
        DialogBot bot({{"Verify Deletion", "", IDNO}});
        Command(s.w, CMD_DELDIR);
        bot.Finish();
    }
    EXPECT_TRUE(IsDir(s.Disk("made dir")));
    {
        DialogBot bot({{"Verify Deletion", "", IDYES}});
        Command(s.w, CMD_DELDIR);
        bot.Finish();
    }
    EXPECT_FALSE(Exists(s.Disk("made dir")));

    // Three files, "Delete All" answered once.
    for (const char *n : {"d1.txt", "d2.txt", "d3.txt", "keep.txt"})
        WriteFileText(s.Disk(n), n);
    ShowRemote(1);
    Select(s.w, IDC_RLIST, {"d1.txt", "d2.txt", "d3.txt"});
    {
        DialogBot bot({{"Verify Deletion", "", VERIFY_DELALL}});
        Command(s.w, IDC_RDELETE);
        EXPECT_EQ(bot.Finish(), (std::vector<std::string>{"Verify Deletion"})) << "asked once only";
    }
    EXPECT_FALSE(Exists(s.Disk("d1.txt")));
    EXPECT_FALSE(Exists(s.Disk("d2.txt")));
    EXPECT_FALSE(Exists(s.Disk("d3.txt")));
    EXPECT_TRUE(Exists(s.Disk("keep.txt")));

    // Cancel at the first question deletes nothing.
    Select(s.w, IDC_RLIST, {"keep.txt"});
    {
        DialogBot bot({{"Verify Deletion", "", IDCANCEL}});
        Command(s.w, IDC_RDELETE);
        bot.Finish();
    }
    EXPECT_TRUE(Exists(s.Disk("keep.txt")));

    // Rename, to a name with a blank and a percent sign.
    Select(s.w, IDC_RLIST, {"keep.txt"});
    {
        DialogBot bot({{"TESSEL Pro", "renamed 100%.txt", IDOK}});
        Command(s.w, IDC_RRENAME);
        EXPECT_EQ(bot.Finish(), (std::vector<std::string>{"Enter new name for \"keep.txt\":"}));
    }
    EXPECT_FALSE(Exists(s.Disk("keep.txt")));
    EXPECT_TRUE(Exists(s.Disk("renamed 100%.txt")));

    // Move two files into another directory.
    MakeDir("dest");
    WriteFileText(s.Disk("m1"), "1");
    WriteFileText(s.Disk("m2"), "2");
    ShowRemote(1);
    Select(s.w, IDC_RLIST, {"m1", "m2"});
    {
        DialogBot bot({{"TESSEL Pro", "dest", IDOK}});
        Command(s.w, CMD_MOVE);
        EXPECT_EQ(bot.Finish(), (std::vector<std::string>{"Please enter the remote destination directory:"}));
    }
    EXPECT_TRUE(Exists(s.Disk("dest\\m1")));
    EXPECT_TRUE(Exists(s.Disk("dest\\m2")));
    EXPECT_FALSE(Exists(s.Disk("m1")));

    // A refused RNFR: the server's reply is logged, no line of ours.
    WriteFileText(s.Disk("ghost"), "g");
    ShowRemote(1);
    DeleteFileA(s.Disk("ghost").c_str());
    Select(s.w, IDC_RLIST, {"ghost"});
    LogLine("--- mark");
    {
        DialogBot bot({{"TESSEL Pro", "ghost2", IDOK}});
        Command(s.w, IDC_RRENAME);
        bot.Finish();
    }
    auto lines = SinceMark();
    EXPECT_TRUE(Has(lines, "RNFR ghost"));
    EXPECT_FALSE(Has(lines, "RNTO"));
    EXPECT_FALSE(Has(lines, "! ")) << "no failure line for a refused RNFR";

    // A move that the server refuses (no such directory) logs its line.
    WriteFileText(s.Disk("m3"), "3");
    ShowRemote(1);
    Select(s.w, IDC_RLIST, {"m3"});
    LogLine("--- mark");
    {
        DialogBot bot({{"TESSEL Pro", "nowhere", IDOK}});
        Command(s.w, CMD_MOVE);
        bot.Finish();
    }
    EXPECT_TRUE(Has(SinceMark(), "! Move of m3 to nowhere/m3 failed."));
    EXPECT_TRUE(Exists(s.Disk("m3")));
}

TEST(ClientFileOps, PermissionsOnTheServersDisk)
{
    REQUIRE_VSFTPD();
    if (Env("TESSEL_VSFTPD_ROOT").empty())
        GTEST_SKIP() << "vsftpd root not known";
    ServerFolder s;
    ASSERT_TRUE(s.Enter());
    // Sent through the server, so that its user owns it and may change it.
    s.st.dir.Write("p1.sh", "#!/bin/sh\n");
    ASSERT_EQ(SendFile(s.st.dir.File("p1.sh").c_str(), "p1.sh", 1, 1, 0, 0), 2);
    ShowRemote(1);

    // Nothing selected: the typed SITE string.
    SendMessageA(s.w.Item(IDC_RLIST), LB_SETSEL, FALSE, -1);
    {
        DialogBot bot({{"TESSEL Pro", "chmod 600 p1.sh", IDOK}});
        Command(s.w, CMD_CHMOD);
        EXPECT_EQ(bot.Finish(), (std::vector<std::string>{"Enter CHMOD string:"}));
    }
    EXPECT_EQ(ModeOf(s.Unix("p1.sh")), "600");

    // The dialog opens with 644 (owner read and write, others read).
    Select(s.w, IDC_RLIST, {"p1.sh"});
    LogLine("--- mark");
    int shown = -1;
    {
        DialogBot bot({{"Remote file permissions", "", IDOK, [&shown](HWND dlg) {
                            shown = 0;
                            for (int i = 0; i < 9; ++i)
                                if (SendDlgItemMessageA(dlg, IDC_PERM_FIRST + i, BM_GETCHECK, 0, 0) == BST_CHECKED)
                                    shown |= 1 << (8 - i);
                        }}});
        Command(s.w, CMD_CHMOD);
        bot.Finish();
    }
    EXPECT_EQ(shown, 0644);
    EXPECT_TRUE(Has(SinceMark(), "SITE chmod 644 p1.sh"));
    EXPECT_EQ(ModeOf(s.Unix("p1.sh")), "644");

    // Execute for all three: 755, and the mode is remembered.
    Select(s.w, IDC_RLIST, {"p1.sh"});
    {
        DialogBot bot({{"Remote file permissions", "", IDOK, [](HWND dlg) {
                            for (int i : {2, 5, 8})
                                SendDlgItemMessageA(dlg, IDC_PERM_FIRST + i, BM_SETCHECK, BST_CHECKED, 0);
                        }}});
        Command(s.w, CMD_CHMOD);
        bot.Finish();
    }
    EXPECT_EQ(ModeOf(s.Unix("p1.sh")), "755");
    EXPECT_EQ(g_chmodMode, 0755);
    EXPECT_EQ(ModeDigits(0751), 751u);

    // A refusal (no such file) stops at the first item with its line.
    WriteFileText(s.Disk("p2"), "x");
    WriteFileText(s.Disk("p3"), "x");
    ShowRemote(1);
    DeleteFileA(s.Disk("p2").c_str());
    Select(s.w, IDC_RLIST, {"p2", "p3"});
    LogLine("--- mark");
    {
        DialogBot bot({{"Remote file permissions", "", IDOK}});
        Command(s.w, CMD_CHMOD);
        bot.Finish();
    }
    auto lines = SinceMark();
    EXPECT_TRUE(Has(lines, "! Chmod failed. It may not be supported on remote host."));
    EXPECT_FALSE(Has(lines, "SITE chmod 755 p3")) << "stops at the first refusal";
}

TEST(ClientFileOps, NamesWithLineBreaksAreRefusedAndNothingIsSent)
{
    REQUIRE_VSFTPD();
    ServerFolder s;
    ASSERT_TRUE(s.Enter());
    WriteFileText(s.Disk("victim"), "v");
    // A listing name carrying a second command.
    HWND list = s.w.Item(IDC_RLIST);
    AddItem(list, NewItem(1, KIND_FILE, "x\r\nDELE victim", nullptr));
    AddItem(list, NewItem(1, KIND_FILE, std::string(255, 'n').c_str(), nullptr));
    Select(s.w, IDC_RLIST, {"x\r\nDELE victim", std::string(255, 'n')});
    g_cfg.vrfyDel = 0;
    LogLine("--- mark");
    Command(s.w, IDC_RDELETE);
    auto lines = SinceMark();
    EXPECT_TRUE(Has(lines, "! Name refused")) << "the name with a line break";
    EXPECT_TRUE(Has(lines, "DELE " + std::string(100, 'n'))) << "a long plain name is still tried";
    EXPECT_TRUE(Exists(s.Disk("victim")));
    EXPECT_EQ(g_ftp.connected, 1);
}

TEST(ClientFileOps, LocalSideMakeRenameMoveDeleteAndChangeDirectory)
{
    ct::ClientState st;
    ct::MainWindow w;
    g_cfg.vrfyDel = 1;
    RefreshLocal();
    {
        DialogBot bot({{"TESSEL Pro", "sub dir", IDOK}});
        Command(w, IDC_LMKDIR, 0);
        bot.Finish();
    }
    EXPECT_TRUE(IsDir(st.dir.File("sub dir")));
    // 5,000 characters pasted into the question: cut to the field, refused
    // by the file system, reported.
    {
        DialogBot bot({{"TESSEL Pro", std::string(5000, 'd'), IDOK}});
        Command(w, IDC_LMKDIR, 0);
        bot.Finish();
    }
    EXPECT_TRUE(Has(Log(), "! Failed to create directory ddd"));
    st.dir.Write("a.txt", "a");
    st.dir.Write("b.txt", "b");
    st.dir.Write("c.txt", "c");
    RefreshLocal();
    Select(w, IDC_LLIST, {"a.txt"});
    {
        DialogBot bot({{"TESSEL Pro", "a2.txt", IDOK}});
        Command(w, IDC_LRENAME, 0);
        bot.Finish();
    }
    EXPECT_TRUE(Exists(st.dir.File("a2.txt")));
    Select(w, IDC_LLIST, {"a2.txt", "b.txt"});
    {
        DialogBot bot({{"TESSEL Pro", "sub dir", IDOK}});
        Command(w, CMD_MOVE, 0);
        bot.Finish();
    }
    EXPECT_TRUE(Exists(st.dir.File("sub dir\\a2.txt")));
    EXPECT_TRUE(Exists(st.dir.File("sub dir\\b.txt")));
    // "No" for the first, "Yes" for the second of two.
    st.dir.Write("e.txt", "e");
    RefreshLocal();
    Select(w, IDC_LLIST, {"c.txt", "e.txt"});
    {
        DialogBot bot({{"Verify Deletion", "", IDNO}, {"Verify Deletion", "", IDYES}});
        Command(w, IDC_LDELETE, 0);
        bot.Finish();
    }
    EXPECT_TRUE(Exists(st.dir.File("c.txt")));
    EXPECT_FALSE(Exists(st.dir.File("e.txt")));
    // Typed directory names are logged.
    SendMessageA(w.Item(IDC_LLIST), LB_SETSEL, FALSE, -1);
    {
        DialogBot bot({{"TESSEL Pro", st.dir.File("sub dir"), IDOK}});
        Command(w, IDC_LCHGDIR, 0);
        bot.Finish();
    }
    char cur[MAX_PATH];
    GetCurrentDirectoryA(sizeof cur, cur);
    EXPECT_EQ(std::string(cur), st.dir.File("sub dir"));
    EXPECT_TRUE(Has(Log(), "local chdir to " + st.dir.File("sub dir")));
    EXPECT_FALSE(LocalChdir((st.dir.path + "\\missing").c_str()));
    EXPECT_TRUE(Has(Log(), "! failed local chdir to " + st.dir.path + "\\missing"));
}
