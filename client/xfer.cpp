// Single-file transfers and listings over the session layer's data
// connections.  This is the core that the selection commands and the
// unattended command line use: one file in the current transfer type.
#include "client.h"

#include <stdio.h>
#include <string.h>

namespace t95 {

int g_workerBusy;
HWND g_progressDlg;

static const int kBlock = 65536;

void LocalNameFor(const char *remote, char *out, size_t size)
{
    const char *p = remote;
    for (const char *q = remote; *q; ++q)
        if (*q == '/' || *q == '\\')
            p = q + 1;
    if (g_ftp.hostType == 6011) {
        // VMS versions (";3") are not part of a local name.
        snprintf(out, size, "%s", p);
        if (char *semi = strrchr(out, ';'))
            *semi = 0;
    } else {
        snprintf(out, size, "%s", p);
    }
    // A name of dots only (or nothing) cannot name a local file.
    const char *d = out;
    while (*d == '.')
        ++d;
    if (!*d)
        snprintf(out, size, "%s", "aaremote");
    for (char *c = out; *c; ++c) {
        switch (*c) {
        case '*': *c = '@'; break;
        case '<': *c = '{'; break;
        case '>': *c = '}'; break;
        case '?': *c = '$'; break;
        case '|': *c = '+'; break;
        case ':': *c = '_'; break;
        default: break;
        }
    }
}

int ReceiveIntoFile(SOCKET data, HANDLE file, int binary)
{
    (void)binary;
    static char *buf = (char *)HeapAlloc(GetProcessHeap(), 0, kBlock);
    if (!buf)
        return 0;
    g_ftp.cancel = 0;
    EnterBusy();
    StopWatchdog();
    unsigned long total = 0;
    int outcome = 1;
    int failed = 0;
    DWORD last = GetTickCount();
    for (;;) {
        if (g_ftp.cancel) {
            outcome = 2;
            break;
        }
        int n = RecvTimeout(data, buf, kBlock, (DWORD)(g_ftp.timeout > 0 ? g_ftp.timeout : 65) * 1000);
        if (n == 0)
            break;
        if (n < 0) {
            if (!g_ftp.cancel)
                Logf("! %s: %s", "Receive error", ErrorText(WSAGetLastError()));
            failed = 1;
            break;
        }
        DWORD written = 0;
        if (file == INVALID_HANDLE_VALUE || !WriteFile(file, buf, (DWORD)n, &written, nullptr) ||
            written != (DWORD)n) {
            LogLine("! File error on WRITE! Transfer cancelled.");
            PlayEvent(SND_OTHER_FAIL);
            g_ftp.cancel = 1;
            outcome = 2;
            break;
        }
        total += (unsigned long)n;
        if (GetTickCount() - last >= 500) {
            last = GetTickCount();
            char cap[32];
            snprintf(cap, sizeof cap, "%lu", total);
            if (g_main)
                SetDlgItemTextA(g_main, IDC_RCAPTION, cap);
            PumpMessages();
        }
    }
    if (failed)
        outcome = total ? 2 : 0;
    LeaveBusy();
    return outcome;
}

int SendFromFile(SOCKET data, HANDLE file, int ascii)
{
    static char *buf = (char *)HeapAlloc(GetProcessHeap(), 0, kBlock);
    if (!buf)
        return 0;
    BOOL on = TRUE;
    setsockopt(data, IPPROTO_TCP, TCP_NODELAY, (const char *)&on, sizeof on);
    g_ftp.cancel = 0;
    EnterBusy();
    int ok = 1;
    DWORD last = GetTickCount();
    unsigned long total = 0;
    for (;;) {
        if (g_ftp.cancel) {
            ok = 0;
            break;
        }
        DWORD got = 0;
        if (!ReadFile(file, buf, kBlock, &got, nullptr)) {
            ok = 0;
            break;
        }
        if (!got)
            break;
        if (ascii && buf[got - 1] == 26)
            --got;
        DWORD off = 0;
        while (off < got) {
            int n = SendTimeout(data, buf + off, (int)(got - off), 32000);
            if (n <= 0) {
                Logf("! %s: %s", "Send error", ErrorText(WSAGetLastError()));
                g_ftp.cancel = 1;
                ok = 0;
                break;
            }
            off += (DWORD)n;
        }
        if (!ok)
            break;
        total += got;
        if (GetTickCount() - last >= 500) {
            last = GetTickCount();
            char cap[32];
            snprintf(cap, sizeof cap, "%lu", total);
            if (g_main)
                SetDlgItemTextA(g_main, IDC_LCAPTION, cap);
            PumpMessages();
        }
    }
    LeaveBusy();
    return ok;
}

// Opens the data connection for a command and returns the connected data
// socket, or INVALID_SOCKET with the reply class in *cls.
static SOCKET StartData(const char *cmd, const char *arg, int *cls)
{
    int active = 0;
    SOCKET s = OpenDataConnection(&active);
    if (s == INVALID_SOCKET) {
        PlayEvent(SND_XFER_FAIL);
        *cls = 0;
        return INVALID_SOCKET;
    }
    *cls = arg ? SendCommand("%s%s", cmd, arg) : SendCommand("%s", cmd);
    if (active && *cls == 5 && g_ftp.lastCode == 550 && g_ftp.hostType == 6024 && arg && !strcmp(cmd, "RETR ")) {
        // IBM MVS/KNET wants the data set name in single quotes.
        *cls = SendCommand("%s'%s'", cmd, arg);
    }
    if (*cls != 1) {
        closesocket(s);
        if (g_ftp.listen == s)
            g_ftp.listen = INVALID_SOCKET;
        if (g_ftp.pasv == s)
            g_ftp.pasv = INVALID_SOCKET;
        return INVALID_SOCKET;
    }
    if (active)
        s = AcceptData(s);
    return s;
}

static int FinishData(SOCKET data, int outcome)
{
    if (outcome == 2 && g_ftp.cancel)
        Abort();
    CloseDataSocket(data);
    Logf("[%u] looking for completion line", (unsigned)data);
    LONG was = InterlockedExchange(&g_ftp.cancel, 0);
    int cls = ReadReply();
    if (was)
        g_ftp.cancel = 1;
    return cls;
}

int ListToFile(const char *cmd, const char *path, int append)
{
    if (!g_ftp.connected)
        return 0;
    if (SetTransferType('A') != 2)
        return 0;
    HANDLE f = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, append ? OPEN_ALWAYS : CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) {
        Logf("! %s %s (%u)", "Failed to open file", path, (unsigned)GetLastError());
        return 0;
    }
    if (append)
        SetFilePointer(f, 0, nullptr, FILE_END);
    int cls;
    SOCKET d = StartData(cmd, nullptr, &cls);
    if (d == INVALID_SOCKET) {
        CloseHandle(f);
        return cls;
    }
    int outcome = ReceiveIntoFile(d, f, 0);
    CloseHandle(f);
    cls = FinishData(d, outcome);
    return outcome == 1 ? cls : (cls == 2 ? 4 : cls);
}

int ReceiveFile(const char *remoteName, const char *localName, int index, int count, int prompt, int append)
{
    (void)prompt;
    if (!g_ftp.connected) {
        LogLine("! Not connected, ignored");
        return 0;
    }
    char local[MAX_PATH];
    if (localName && *localName)
        snprintf(local, sizeof local, "%s", localName);
    else
        LocalNameFor(remoteName, local, sizeof local);
    Logf("receiving %s as %s (%u of %u)", remoteName, local, (unsigned)index, (unsigned)count);
    char type = (char)g_cfg.mode;
    if (SetTransferType(type) != 2)
        return 0;
    int cls;
    SOCKET d = StartData("RETR ", remoteName, &cls);
    if (d == INVALID_SOCKET)
        return cls;
    HANDLE f = CreateFileA(local, GENERIC_WRITE, FILE_SHARE_READ, nullptr, append ? OPEN_ALWAYS : CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) {
        Logf("! %s %s (%u)", "Failed to open file", local, (unsigned)GetLastError());
        PlayEvent(SND_OTHER_FAIL);
    } else if (append) {
        SetFilePointer(f, 0, nullptr, FILE_END);
    }
    DWORD start = GetTickCount();
    int outcome = ReceiveIntoFile(d, f, type != 'A');
    LARGE_INTEGER size = {};
    if (f != INVALID_HANDLE_VALUE) {
        GetFileSizeEx(f, &size);
        FlushFileBuffers(f);
        CloseHandle(f);
    }
    double secs = (GetTickCount() - start) / 1000.0;
    Logf("%s %ld bytes in %.1lf secs, %s", "Received", (long)size.QuadPart, secs,
         outcome == 1 ? "transfer succeeded" : "transfer failed");
    if (outcome == 0) {
        PlayEvent(SND_XFER_FAIL);
        FinishData(d, outcome);
        return 0;
    }
    cls = FinishData(d, outcome);
    if (outcome == 1 && cls == 2)
        return 2;
    return cls == 2 ? 4 : cls;
}

int SendFile(const char *localPath, const char *remoteName, int index, int count, int prompt, int append)
{
    (void)prompt;
    if (!g_ftp.connected) {
        LogLine("! Not connected, ignored");
        return 0;
    }
    char remote[512];
    if (remoteName && *remoteName) {
        snprintf(remote, sizeof remote, "%s", remoteName);
    } else {
        const char *p = localPath;
        for (const char *q = localPath; *q; ++q)
            if (*q == '/' || *q == '\\')
                p = q + 1;
        snprintf(remote, sizeof remote, "%s", p);
        if (g_cfg.forclow)
            CharLowerA(remote);
    }
    Logf("sending %s as %s (%u of %u)", localPath, remote, (unsigned)index, (unsigned)count);
    HANDLE f = CreateFileA(localPath, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) {
        char line[600];
        snprintf(line, sizeof line, "! %s %s (%u)", "Failed to open file", localPath, (unsigned)GetLastError());
        LogLine(line);
        PlayEvent(SND_XFER_FAIL);
        if (g_cmd.unattended && !g_cmd.quiet)
            MessageBoxA(g_main, line, T95_APPNAME, MB_OK | MB_ICONSTOP);
        return 0;
    }
    char type = (char)g_cfg.mode;
    if (SetTransferType(type) != 2) {
        CloseHandle(f);
        return 0;
    }
    int cls;
    SOCKET d = StartData(append ? "APPE " : "STOR ", remote, &cls);
    if (d == INVALID_SOCKET) {
        CloseHandle(f);
        return cls;
    }
    DWORD start = GetTickCount();
    int ok = SendFromFile(d, f, type == 'A');
    LARGE_INTEGER size = {};
    GetFileSizeEx(f, &size);
    CloseHandle(f);
    double secs = (GetTickCount() - start) / 1000.0;
    Logf("%s %ld bytes in %.1lf secs, %s", "Transmitted", (long)size.QuadPart, secs,
         ok ? "transfer succeeded" : "transfer failed");
    cls = FinishData(d, ok ? 1 : 2);
    if (ok && cls == 2)
        return 2;
    return cls == 2 ? 4 : cls;
}

// ---------------------------------------------------------------- selections

static int SelectedItems(HWND list, int *out, int max)
{
    int n = (int)SendMessageA(list, LB_GETSELITEMS, (WPARAM)max, (LPARAM)out);
    return n < 0 ? 0 : n;
}

void DownloadSelection(HWND wnd, int append)
{
    if (IsBusy()) {
        LogLine("! Command in progress, ignored");
        return;
    }
    if (!g_ftp.connected) {
        LogLine("! Not connected, ignored");
        return;
    }
    HWND list = GetDlgItem(wnd, IDC_RLIST);
    static int sel[4096];
    int n = SelectedItems(list, sel, 4096);
    g_ftp.stop = 0;
    g_workerBusy = 1;
    UpdateButtons();
    int done = 0;
    if (!n) {
        char name[256] = "";
        if (InputBox(wnd, "Enter remote file name to transfer to local system:", name, sizeof name) && name[0])
            done = ReceiveFile(name, nullptr, 1, 1, g_cfg.prompt, append) == 2;
    }
    int handled = 0, files = 0;
    for (int i = 0; i < n && !g_ftp.stop; ++i) {
        HGLOBAL h = (HGLOBAL)SendMessageA(list, LB_GETITEMDATA, sel[i], 0);
        ListItem *it = h ? (ListItem *)GlobalLock(h) : nullptr;
        if (!it)
            continue;
        char name[300];
        snprintf(name, sizeof name, "%.*s", (int)it->nameLen, it->text);
        int kind = it->kind;
        GlobalUnlock(h);
        if (name[0] == '[' || !strncmp(name, "..", 2) || kind == KIND_DIR)
            continue;
        ++files;
        if (ReceiveFile(name, nullptr, i + 1, n, g_cfg.prompt, append) != 2)
            break;
        ++handled;
    }
    g_workerBusy = 0;
    RefreshLocal();
    if ((n && handled == files && files) || done)
        PlayEvent(SND_XFER_OK);
    UpdateButtons();
}

void UploadSelection(HWND wnd, int append)
{
    if (IsBusy()) {
        LogLine("! Command in progress, ignored");
        return;
    }
    if (!g_ftp.connected) {
        LogLine("! Not connected, ignored");
        return;
    }
    HWND list = GetDlgItem(wnd, IDC_LLIST);
    static int sel[4096];
    int n = SelectedItems(list, sel, 4096);
    g_ftp.stop = 0;
    g_workerBusy = 1;
    UpdateButtons();
    int sent = 0, files = 0;
    if (!n) {
        char name[MAX_PATH] = "";
        if (InputBox(wnd, "Enter local file name to transfer to remote system:", name, sizeof name) && name[0])
            sent = SendFile(name, nullptr, 1, 1, g_cfg.prompt, append) == 2;
        files = sent;
    }
    for (int i = 0; i < n && !g_ftp.stop; ++i) {
        HGLOBAL h = (HGLOBAL)SendMessageA(list, LB_GETITEMDATA, sel[i], 0);
        ListItem *it = h ? (ListItem *)GlobalLock(h) : nullptr;
        if (!it)
            continue;
        char name[300];
        snprintf(name, sizeof name, "%.*s", (int)it->nameLen, it->text);
        int kind = it->kind;
        GlobalUnlock(h);
        if (name[0] == '[' || !strncmp(name, "..", 2) || kind == KIND_DIR || kind == KIND_DRIVE)
            continue;
        ++files;
        int r = SendFile(name, nullptr, i + 1, n, g_cfg.prompt, append);
        if (r != 2 && r != 9)
            break;
        ++sent;
    }
    g_workerBusy = 0;
    if (sent && g_cfg.doupdate)
        ShowRemote(1);
    if (sent && sent == files)
        PlayEvent(SND_XFER_OK);
    UpdateButtons();
}

void DropFiles(HWND list, HDROP drop)
{
    UINT n = DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0);
    if (!n) {
        LogLine("+ got a drop with no files!");
        DragFinish(drop);
        return;
    }
    int id = GetDlgCtrlID(list);
    if (id == IDC_RLIST) {
        if (!g_ftp.connected) {
            LogLine("! Not connected. File(s) ignored.");
        } else if (IsBusy()) {
            LogLine("! Busy!! File(s) ignored.");
        } else {
            g_workerBusy = 1;
            for (UINT i = 0; i < n && !g_ftp.stop; ++i) {
                char path[MAX_PATH];
                DragQueryFileA(drop, i, path, sizeof path);
                int r = SendFile(path, nullptr, (int)i + 1, (int)n, g_cfg.prompt, 0);
                if (r != 2 && r != 9)
                    break;
            }
            g_workerBusy = 0;
            if (g_cfg.doupdate)
                ShowRemote(1);
        }
    } else if (id == IDC_LLIST) {
        char dir[MAX_PATH];
        GetCurrentDirectoryA(sizeof dir, dir);
        for (UINT i = 0; i < n; ++i) {
            char path[MAX_PATH], dest[MAX_PATH * 2];
            DragQueryFileA(drop, i, path, sizeof path);
            const char *base = strrchr(path, '\\');
            base = base ? base + 1 : path;
            snprintf(dest, sizeof dest, "%s\\%s", dir, base);
            if (lstrcmpiA(path, dest))
                CopyFileA(path, dest, FALSE);
        }
        RefreshLocal();
    } else {
        LogLine("+ Received drop request outside of list boxes!");
    }
    DragFinish(drop);
}

} // namespace t95
