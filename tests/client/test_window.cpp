// The main window against the real vsftpd: the remote pane lists the
// server's folder, the arrow buttons move the selection both ways, the
// listing cache holds nineteen folders, and the keep-alive stays quiet
// while a transfer runs.  Also the start-up with a damaged LOC value.
#include "clienttest.h"
#include "fakeftp.h"

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

using namespace t95;

namespace {

std::string ReadFileText(const std::string &path)
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

void WriteFileText(const std::string &path, const std::string &data)
{
    FILE *f = fopen(path.c_str(), "wb");
    if (f) {
        fwrite(data.data(), 1, data.size(), f);
        fclose(f);
    }
}

// Lines equal to exact logged since the latest "--- mark" line.
int CountSinceMark(const char *exact)
{
    int n = 0;
    for (int i = 0; i < 60; ++i) {
        char line[200];
        if (!LogLineAt(i, line, sizeof line) || !strcmp(line, "--- mark"))
            break;
        if (!strcmp(line, exact))
            ++n;
    }
    return n;
}

void SelectByName(ct::MainWindow &w, int id, const std::string &name)
{
    HWND list = w.Item(id);
    SendMessageA(list, LB_SETSEL, FALSE, -1);
    auto names = w.Names(id);
    for (size_t i = 0; i < names.size(); ++i)
        if (names[i] == name)
            SendMessageA(list, LB_SETSEL, TRUE, (LPARAM)i);
}

struct Connected {
    ct::ClientState st;
    ct::MainWindow w;
    std::string home;
    Connected()
    {
        home = fake::VsftpdRoot() + "\\home";
        ClearSession(&g_session);
        strcpy(g_session.host, "127.0.0.1");
        g_session.port = fake::VsftpdPort();
        strcpy(g_session.user, fake::VsftpdUser().c_str());
        strcpy(g_session.password, fake::VsftpdPassword().c_str());
        g_session.timeout = 20;
        g_cfg.pasvmode = 1;
    }
    bool Connect()
    {
        if (ConnectLogin(&g_session) == INVALID_SOCKET)
            return false;
        ShowRemote(1);
        return true;
    }
    ~Connected()
    {
        if (g_ftp.connected)
            CloseSession(0);
    }
};

} // namespace

TEST(ClientWindow, RemotePaneListsAndArrowsTransferTheSelection)
{
    REQUIRE_VSFTPD();
    Connected c;
    std::string data(150000, '\0');
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = (char)(i * 7 + i / 300);
    WriteFileText(c.home + "\\t95pane.bin", data);
    ASSERT_TRUE(c.Connect());
    auto names = c.w.Names(IDC_RLIST);
    EXPECT_EQ(names[0], "..");
    EXPECT_NE(std::find(names.begin(), names.end(), "t95pane.bin"), names.end());
    char combo[300];
    GetWindowTextA(c.w.Item(IDC_RDIR), combo, sizeof combo);
    EXPECT_STREQ(combo, "/");
    EXPECT_TRUE(IsWindowEnabled(c.w.Item(IDC_DOWNLOAD)));

    // "<--" downloads the selection into the current local folder.
    SelectByName(c.w, IDC_RLIST, "t95pane.bin");
    SendMessageA(c.w.wnd, WM_COMMAND, MAKEWPARAM(IDC_DOWNLOAD, BN_CLICKED), (LPARAM)c.w.Item(IDC_DOWNLOAD));
    ASSERT_TRUE(WaitForWorker(60000)) << "the download runs on the worker thread";
    EXPECT_TRUE(ReadFileText(c.st.dir.File("t95pane.bin")) == data);
    auto local = c.w.Names(IDC_LLIST);
    EXPECT_NE(std::find(local.begin(), local.end(), "t95pane.bin"), local.end()) << "local pane refreshed";

    // "-->" uploads the local selection.
    std::string up(4321, 'u');
    DeleteFileA((c.home + "\\t95arrowup.txt").c_str());
    ShowRemote(1); // an earlier run's copy must not count as the same file
    WriteFileText(c.st.dir.File("t95arrowup.txt"), up);
    RefreshLocal();
    SelectByName(c.w, IDC_LLIST, "t95arrowup.txt");
    SendMessageA(c.w.wnd, WM_COMMAND, MAKEWPARAM(IDC_UPLOAD, BN_CLICKED), (LPARAM)c.w.Item(IDC_UPLOAD));
    ASSERT_TRUE(WaitForWorker(60000));
    EXPECT_EQ(ReadFileText(c.home + "\\t95arrowup.txt"), up);
    names = c.w.Names(IDC_RLIST);
    EXPECT_NE(std::find(names.begin(), names.end(), "t95arrowup.txt"), names.end()) << "remote pane refreshed";
}

TEST(ClientWindow, ListingCacheKeepsNineteenFolders)
{
    REQUIRE_VSFTPD();
    Connected c;
    for (int i = 0; i < 20; ++i)
        CreateDirectoryA((c.home + "\\t95c" + std::to_string(100 + i)).c_str(), nullptr);
    ASSERT_TRUE(c.Connect());
    for (int i = 0; i < 20; ++i) {
        ChangeDir(("/t95c" + std::to_string(100 + i)).c_str());
        ShowRemote(0);
    }
    // A recent folder again: served from its file, no LIST.
    LogLine("--- mark");
    ChangeDir("/t95c118");
    ShowRemote(0);
    EXPECT_EQ(CountSinceMark("LIST"), 0);
    // The first one was dropped when the twentieth came: fetched again.
    LogLine("--- mark");
    ChangeDir("/t95c100");
    ShowRemote(0);
    EXPECT_EQ(CountSinceMark("LIST"), 1);
    EXPECT_EQ(c.w.Names(IDC_RLIST), (std::vector<std::string>{".."}));
}

TEST(ClientWindow, KeepAliveNeverSendsDuringATransfer)
{
    REQUIRE_FAKE_SERVER();
    ct::ClientState st;
    ct::MainWindow w;
    int port = fake::Inline("expect NOOP\nsend 200 NOOP ok\n");
    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_port = htons((u_short)port);
    a.sin_addr.s_addr = inet_addr("127.0.0.1");
    ASSERT_EQ(connect(s, (sockaddr *)&a, sizeof a), 0);
    g_ftp.ctrl = s;
    g_ftp.connected = 1;
    EnterBusy(); // a data loop is running
    OnKeepAliveTimer(w.wnd);
    LeaveBusy();
    g_workerBusy = 1;
    OnKeepAliveTimer(w.wnd);
    g_workerBusy = 0;
    OnKeepAliveTimer(w.wnd);
    closesocket(s);
    g_ftp.ctrl = INVALID_SOCKET;
    g_ftp.connected = 0;
    auto got = fake::Received(port);
    EXPECT_EQ(got, (std::vector<std::string>{"NOOP"}));
}

TEST(ClientStartup, GarbageLocAndDefaultsLeaveTheIniAlone)
{
    ct::TempDir dir;
    std::string ini = "[_config_]\r\nBELL=0\r\nAUTOSTART=0\r\nLOC=12,x,,99999999999,-5,\x01\x02\r\n"
                      "SLOC=1,2,3\r\nLOCL=garbage\r\n";
    WriteFileText(dir.File("TESSEL.INI"), ini);
    char exe[MAX_PATH];
    GetModuleFileNameA(nullptr, exe, sizeof exe);
    std::string cmd = "\"" + std::string(exe, strrchr(exe, '\\') - exe) + "\\tessel95.exe\" -quiet local:a local:b";
    STARTUPINFOA si = {sizeof si};
    PROCESS_INFORMATION pi;
    std::vector<char> line(cmd.begin(), cmd.end());
    line.push_back(0);
    ASSERT_TRUE(CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, dir.path.c_str(), &si, &pi));
    EXPECT_EQ(WaitForSingleObject(pi.hProcess, 30000), (DWORD)WAIT_OBJECT_0);
    DWORD code = 99;
    GetExitCodeProcess(pi.hProcess, &code);
    EXPECT_EQ(code, 1u);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    EXPECT_EQ(ReadFileText(dir.File("TESSEL.INI")), ini);
}

TEST(ClientWindow, ConnectButtonThroughTheSessionDialogAndCloseSavesHistories)
{
    REQUIRE_VSFTPD();
    ct::ClientState st;
    char pwd[200];
    ScramblePassword(fake::VsftpdUser().c_str(), fake::VsftpdPassword().c_str(), pwd, sizeof pwd);
    std::string ini = "[_config_]\r\nSESSION=vs\r\nBELL=0\r\nPASVMODE=1\r\n[vs]\r\nHOST=127.0.0.1\r\nPORT=" +
                      std::to_string(fake::VsftpdPort()) + "\r\nUID=" + fake::VsftpdUser() + "\r\nPWD=" + pwd +
                      "\r\nrdir0=\"/elsewhere\"\r\n";
    WriteFileText(g_files.ini, ini);
    LoadConfig();
    ASSERT_STREQ(g_session.password, fake::VsftpdPassword().c_str());
    ct::MainWindow w;
    // OK in the session dialog, pressed by a helper thread.
    volatile bool done = false;
    std::thread closer([&done] {
        while (!done) {
            HWND dlg = FindWindowA("#32770", "Session");
            if (dlg)
                PostMessageA(dlg, WM_COMMAND, IDOK, 0);
            Sleep(50);
        }
    });
    SendMessageA(w.wnd, WM_COMMAND, MAKEWPARAM(IDC_CONNECT, BN_CLICKED), (LPARAM)w.Item(IDC_CONNECT));
    done = true;
    closer.join();
    ASSERT_EQ(g_ftp.connected, 1);
    char text[300];
    GetWindowTextA(w.Item(IDC_CONNECT), text, sizeof text);
    EXPECT_STREQ(text, "&Close");
    GetWindowTextA(w.wnd, text, sizeof text);
    EXPECT_STREQ(text, "TESSEL Pro 127.0.0.1");
    EXPECT_GE(w.Names(IDC_RLIST).size(), 2u);
    // The history combo holds the stored entry and the current folder.
    HWND combo = w.Item(IDC_RDIR);
    EXPECT_NE(SendMessageA(combo, CB_FINDSTRINGEXACT, (WPARAM)-1, (LPARAM) "/elsewhere"), CB_ERR);
    EXPECT_NE(SendMessageA(combo, CB_FINDSTRINGEXACT, (WPARAM)-1, (LPARAM) "/"), CB_ERR);

    SendMessageA(w.wnd, WM_COMMAND, MAKEWPARAM(IDC_CONNECT, BN_CLICKED), (LPARAM)w.Item(IDC_CONNECT));
    EXPECT_EQ(g_ftp.connected, 0);
    GetWindowTextA(w.Item(IDC_CONNECT), text, sizeof text);
    EXPECT_STREQ(text, "&Connect");
    GetWindowTextA(w.wnd, text, sizeof text);
    EXPECT_STREQ(text, "TESSEL Pro");
    EXPECT_EQ(w.Names(IDC_RLIST).size(), 0u);
    std::string saved = ReadFileText(g_files.ini);
    EXPECT_NE(saved.find("rdir0=\"/\""), std::string::npos) << saved;
    EXPECT_NE(saved.find("rdir1=\"/elsewhere\""), std::string::npos) << saved;
    EXPECT_EQ(saved.find("PWD=" + fake::VsftpdPassword() + "\r"), std::string::npos) << "never in clear";
}

TEST(ClientWindow, ControlsMenusAndAccelerators)
{
    ct::ClientState st;
    ct::MainWindow w;
    // Every control of the table exists with its label, in creation order.
    HWND prev = nullptr;
    for (const ControlInfo &c : g_controls) {
        HWND h = w.Item(c.id);
        ASSERT_TRUE(h) << c.id;
        char cls[32], text[64];
        GetClassNameA(h, cls, sizeof cls);
        EXPECT_EQ(lstrcmpiA(cls, c.cls), 0) << c.id << " " << cls;
        if (strcmp(c.cls, "COMBOBOX") && c.id != IDC_LMASK && c.id != IDC_STAT1 && c.id != IDC_STAT2 &&
            c.id != IDC_STAT3) {
            GetWindowTextA(h, text, sizeof text);
            EXPECT_STREQ(text, c.label) << c.id;
        }
        if (prev)
            EXPECT_EQ(GetWindow(prev, GW_HWNDNEXT), h) << "created in table order: " << c.id;
        prev = h;
    }
    EXPECT_EQ(GetWindowLongA(w.Item(IDC_RLIST), GWL_STYLE) & (LBS_OWNERDRAWFIXED | LBS_EXTENDEDSEL),
              LBS_OWNERDRAWFIXED | LBS_EXTENDEDSEL);
    EXPECT_TRUE(GetWindowLongA(w.Item(IDC_RLIST), GWL_EXSTYLE) & WS_EX_ACCEPTFILES);

    auto items = [](HMENU m) {
        std::vector<std::string> out;
        for (int i = 0; i < GetMenuItemCount(m); ++i) {
            char t[64] = "";
            GetMenuStringA(m, (UINT)i, t, sizeof t, MF_BYPOSITION);
            if (t[0])
                out.push_back(t);
        }
        return out;
    };
    // The remote list with one file selected.
    st.dir.Write("l.txt", "-rw-r--r--   1 joe  staff  5 Jan  2  2023 one.bin\r\n");
    g_ftp.hostType = 6010;
    DecodeListingFile(st.dir.File("l.txt").c_str(), w.Item(IDC_RLIST));
    SendMessageA(w.Item(IDC_RLIST), LB_SETSEL, TRUE, 1);
    int side = -1;
    HMENU m = BuildContextMenu(w.Item(IDC_RLIST), &side);
    EXPECT_EQ(side, 1);
    EXPECT_EQ(items(m), (std::vector<std::string>{"Sort...", "Change Directory", "Make Directory...",
                                                  "Delete Directory", "Transfer file", "Append file", "View file",
                                                  "Edit file", "Execute file", "Rename file...", "Move files...",
                                                  "Delete files", "chmod (UNIX)", "Refresh list", "Directory list",
                                                  "&FTP Commands"}));
    HMENU ftp = GetSubMenu(m, GetMenuItemCount(m) - 1);
    EXPECT_EQ(items(ftp), (std::vector<std::string>{"CWD", "PWD", "HELP", "SYST", "SITE", "QUOTE", "LIST", "NLST",
                                                    "RETR", "STOR"}));
    DestroyMenu(m);
    m = BuildContextMenu(w.Item(IDC_CONNECT), &side);
    EXPECT_EQ(items(m), (std::vector<std::string>{"FTP Menu", "&Connection", "&Options...", "Show Log...", "&Help",
                                                  "About...", "&FTP Commands"}));
    DestroyMenu(m);

    HACCEL acc = LoadAcceleratorsA(g_inst, "ACCEL");
    ASSERT_TRUE(acc);
    ACCEL table[32];
    int n = CopyAcceleratorTableA(acc, table, 32);
    EXPECT_EQ(n, 11);
    auto cmdFor = [&](WORD key, BYTE virt) {
        for (int i = 0; i < n; ++i)
            if (table[i].key == key && (table[i].fVirt & ~FNOINVERT) == virt)
                return (int)table[i].cmd;
        return 0;
    };
    EXPECT_EQ(cmdFor('<', 0), (int)CMD_ACC_DOWNLOAD);
    EXPECT_EQ(cmdFor('>', 0), (int)CMD_ACC_UPLOAD);
    EXPECT_EQ(cmdFor('C', FVIRTKEY | FALT), (int)IDC_CONNECT);
    EXPECT_EQ(cmdFor('N', FVIRTKEY | FALT), (int)IDC_CANCEL);
    EXPECT_EQ(cmdFor('X', FVIRTKEY | FALT), (int)IDC_EXIT);
    EXPECT_EQ(cmdFor('R', FVIRTKEY | FALT), (int)CMD_ACC_DOWNLOAD);
    EXPECT_EQ(cmdFor('S', FVIRTKEY | FALT), (int)CMD_ACC_UPLOAD);
    DestroyAcceleratorTable(acc);
}
