// The main window: its controls, layout, commands, context menus, keys,
// splitters, balloon help and drag and drop between the panes.
#include "client.h"
#include "fileops.h"
#include "options.h"
#include "resource.h"

#include <shellapi.h>
#include <shlobj.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

namespace t95 {

static_assert(IDC_CONNECT == 1033 && IDC_EXIT == 1039 && IDC_ABOUT == 1038, "accelerator ids in tessel95.rc");
static_assert(CMD_ACC_DOWNLOAD == 2024 && CMD_ACC_UPLOAD == 2025 && CMD_LOGSAVE == 2021, "ids in tessel95.rc");

const ControlInfo g_controls[T95_CONTROL_COUNT] = {
    {IDC_LDIR, "COMBOBOX", "", nullptr, 101},
    {IDC_RDIR, "COMBOBOX", "", nullptr, 102},
    {IDC_STAT1, "STATIC", "", nullptr, 103},
    {IDC_STAT2, "STATIC", "", nullptr, 103},
    {IDC_STAT3, "STATIC", "", nullptr, 103},
    {IDC_LCAPTION, "STATIC", "Local System", nullptr, 104},
    {IDC_RCAPTION, "STATIC", "Remote System", nullptr, 105},
    {IDC_STATSCROLL, "SCROLLBAR", "", nullptr, 103},
    {IDC_DRIVES, "LISTBOX", "", nullptr, 0},
    {IDC_UPLOAD, "BUTTON", "-->", "Transfer to remote system", 110},
    {IDC_DOWNLOAD, "BUTTON", "<--", "Transfer to local system", 111},
    {IDC_LCHGDIR, "BUTTON", "ChgDir", "Change directory", 120},
    {IDC_LMKDIR, "BUTTON", "MkDir", "Make directory", 121},
    {IDC_LMASK, "EDIT", "*.*", "File mask", 122},
    {IDC_LVIEW, "BUTTON", "View", "View file", 123},
    {IDC_LEXEC, "BUTTON", "Exec", "Execute associated program", 124},
    {IDC_LRENAME, "BUTTON", "Rename", "Rename file or directory", 125},
    {IDC_LDELETE, "BUTTON", "Delete", "Delete file or directory", 126},
    {IDC_LREFRESH, "BUTTON", "Refresh", "Refresh file listing", 127},
    {IDC_LDIRINFO, "BUTTON", "DirInfo", "Display directory information", 128},
    {IDC_RCHGDIR, "BUTTON", "ChgDir", "Change directory", 130},
    {IDC_RMKDIR, "BUTTON", "MkDir", "Make directory", 131},
    {IDC_RMASK, "EDIT", "", "File mask or list arguments", 132},
    {IDC_RVIEW, "BUTTON", "View", "View file", 133},
    {IDC_REXEC, "BUTTON", "Exec", "Execute associated program", 134},
    {IDC_RRENAME, "BUTTON", "Rename", "Rename file or directory", 135},
    {IDC_RDELETE, "BUTTON", "Delete", "Delete file or directory", 136},
    {IDC_RREFRESH, "BUTTON", "Refresh", "Refresh file listing", 137},
    {IDC_RDIRINFO, "BUTTON", "DirInfo", "Display directory information", 138},
    {IDC_ASCII, "BUTTON", "ASCII", "ASCII transfer mode", 140},
    {IDC_BINARY, "BUTTON", "Binary", "Binary transfer mode", 141},
    {IDC_AUTO, "BUTTON", "Auto", "Auto transfer mode", 142},
    {IDC_CONNECT, "BUTTON", "&Connect", "Connect to remote system", 150},
    {IDC_CANCEL, "BUTTON", "Ca&ncel", "Cancel action", 151},
    {IDC_LOGWND, "BUTTON", "&LogWnd", "Display log window", 152},
    {IDC_HELPBTN, "BUTTON", "&Help", "Display program help", 153},
    {IDC_OPTIONS, "BUTTON", "&Options", "Program options", 154},
    {IDC_ABOUT, "BUTTON", "&About", "Display program information", 155},
    {IDC_EXIT, "BUTTON", "E&xit", "Exit program", 156},
    {IDC_LLIST, "LISTBOX", "", nullptr, 160},
    {IDC_RLIST, "LISTBOX", "", nullptr, 161},
    {IDC_LHTYPE, "BUTTON", "^", "Sort on type", 170},
    {IDC_LHNAME, "BUTTON", "Name", "Sort on name", 171},
    {IDC_LHDATE, "BUTTON", "Date", "Sort on date", 172},
    {IDC_LHSIZE, "BUTTON", "Size", "Sort on size", 173},
    {IDC_LHBLANK, "BUTTON", "", nullptr, 174},
    {IDC_RHTYPE, "BUTTON", "^", "Sort on type", 170},
    {IDC_RHNAME, "BUTTON", "Name", "Sort on name", 171},
    {IDC_RHDATE, "BUTTON", "Date", "Sort on date", 172},
    {IDC_RHSIZE, "BUTTON", "Size", "Sort on size", 173},
    {IDC_RHBLANK, "BUTTON", "", nullptr, 174},
};

static const ControlInfo *InfoFor(int id)
{
    for (const ControlInfo &c : g_controls)
        if (c.id == id)
            return &c;
    return nullptr;
}

HWND Ctl(int id) { return g_main ? GetDlgItem(g_main, id) : nullptr; }

static WNDPROC s_oldProc[T95_CONTROL_COUNT];
static HWND s_balloon;
static HWND s_balloonOwner;
static HFONT s_scaledFont;
static HFONT s_listFont;
static int s_dragSourceSide = -1;
static HCURSOR s_curSplitH, s_curSplitV, s_curSplitH1, s_curDrag, s_curDragMult, s_curNoDrop;
static int s_lastRemoteMaskChanged;

void FreeGdi()
{
    FreeGdiBitmaps();
    if (s_scaledFont)
        DeleteObject(s_scaledFont);
    if (s_listFont)
        DeleteObject(s_listFont);
    s_scaledFont = s_listFont = nullptr;
    if (s_balloon)
        DestroyWindow(s_balloon);
    s_balloon = nullptr;
}

static int SideOf(int id)
{
    return (id >= IDC_RCHGDIR && id <= IDC_RDIRINFO) || id == IDC_RLIST || id == IDC_RDIR ||
           (id >= IDC_RHTYPE && id <= IDC_RHBLANK);
}

// ---------------------------------------------------------------- buttons

void SetConnectText(int connected)
{
    if (HWND b = Ctl(IDC_CONNECT))
        SetWindowTextA(b, connected ? "&Close" : "&Connect");
}

static int SelCount(int id)
{
    LRESULT n = SendMessageA(Ctl(id), LB_GETSELCOUNT, 0, 0);
    return n == LB_ERR ? 0 : (int)n;
}

void UpdateButtons()
{
    if (!g_main)
        return;
    const int mode = g_cfg.mode;
    CheckDlgButton(g_main, IDC_ASCII, mode == 'A' ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(g_main, IDC_BINARY, mode != 'A' ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(g_main, IDC_AUTO, g_cfg.amode ? BST_CHECKED : BST_UNCHECKED);
    if (g_cfg.hidBtn)
        return;
    const int ls = SelCount(IDC_LLIST), rs = SelCount(IDC_RLIST);
    const int conn = g_ftp.connected;
    EnableWindow(Ctl(IDC_LVIEW), ls >= 1);
    EnableWindow(Ctl(IDC_LRENAME), ls >= 1);
    EnableWindow(Ctl(IDC_LDELETE), ls >= 1);
    EnableWindow(Ctl(IDC_LEXEC), ls == 1);
    EnableWindow(Ctl(IDC_RVIEW), rs >= 1);
    EnableWindow(Ctl(IDC_REXEC), rs == 1);
    EnableWindow(Ctl(IDC_RDELETE), rs >= 1 && g_ftp.canDelete);
    EnableWindow(Ctl(IDC_RRENAME), rs >= 1 && g_ftp.canRename);
    EnableWindow(Ctl(IDC_UPLOAD), conn);
    EnableWindow(Ctl(IDC_DOWNLOAD), conn);
    EnableWindow(Ctl(IDC_RCHGDIR), conn);
    EnableWindow(Ctl(IDC_RREFRESH), conn);
    EnableWindow(Ctl(IDC_RDIRINFO), conn);
    EnableWindow(Ctl(IDC_RMKDIR), conn && g_ftp.canMkd);
}

// ---------------------------------------------------------------- layout

static void Place(int id, int x, int y, int w, int h)
{
    if (HWND c = Ctl(id))
        MoveWindow(c, x, y, w > 0 ? w : 1, h > 0 ? h : 1, TRUE);
}

static void LayoutHeaders(int side, int x, int y, int h)
{
    const int *cols = side ? g_cfg.locr : g_cfg.locl;
    int base = side ? IDC_RHTYPE : IDC_LHTYPE;
    int edges[5] = {0, cols[0], cols[1], cols[2], cols[3]};
    // "^" over the icon, "Name" over the names, "Date", "Size", and the
    // blank one closing the row.
    for (int i = 0; i < 4; ++i)
        Place(base + i, x + edges[i], y, edges[i + 1] - edges[i], h);
    RECT lr;
    GetWindowRect(Ctl(side ? IDC_RLIST : IDC_LLIST), &lr);
    int listW = lr.right - lr.left;
    int rest = listW - cols[3];
    Place(base + 4, x + cols[3], y, rest > 4 ? rest : 4, h);
}

void LayoutControls(HWND wnd)
{
    RECT rc;
    GetClientRect(wnd, &rc);
    int w = rc.right < 200 ? 200 : rc.right;
    int h = rc.bottom < 100 ? 100 : rc.bottom;
    LONG units = GetDialogBaseUnits();
    int sysBy = HIWORD(units);
    int bx = LOWORD(units), by = sysBy;
    if (w < 60 * bx)
        bx = w * 4 / 240;
    if (h < 25 * by)
        by = h * 8 / 200;
    if (bx < 2)
        bx = 2;
    if (by < 4)
        by = 4;
    // Scaled font for buttons and labels when the window is small.
    HFONT font = (HFONT)GetStockObject(DEFAULT_GUI_FONT);
    if (g_cfg.scale && by != sysBy) {
        HDC dc = GetDC(wnd);
        int height = by * GetDeviceCaps(dc, LOGPIXELSY) / 140;
        ReleaseDC(wnd, dc);
        if (s_scaledFont)
            DeleteObject(s_scaledFont);
        s_scaledFont = CreateFontA(-height, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, VARIABLE_PITCH, "");
        if (s_scaledFont)
            font = s_scaledFont;
    }
    for (const ControlInfo &c : g_controls)
        if (c.id != IDC_LLIST && c.id != IDC_RLIST)
            SendMessageA(Ctl(c.id), WM_SETFONT, (WPARAM)font, FALSE);

    const int row = g_cfg.bonTop ? 12 * by / 8 : 0;
    if (g_vsplit <= 0)
        g_vsplit = 33 * bx;
    int vmax = w - 33 * bx / 4 - 30, vmin = 17 * bx;
    if (g_vsplit > vmax)
        g_vsplit = vmax;
    if (g_vsplit < vmin)
        g_vsplit = vmin;
    if (g_hsplit <= 0)
        g_hsplit = 83 * by / 8 + row;
    int hmin = 31 * by / 8 + row, hmax = h - 46 * by / 8 + row;
    if (g_hsplit > hmax)
        g_hsplit = hmax;
    if (g_hsplit < hmin)
        g_hsplit = hmin;

    const int m = bx / 2 > 2 ? bx / 2 : 2;
    const int ch = 12 * by / 8;          // button and combo height
    const int sh = 9 * by / 8;           // label height
    const int btnW = 10 * bx;            // pane button column
    const int arrowW = 7 * bx;
    const int top = m + row;
    // Command row.
    int cmdY = g_cfg.bonTop ? m : h - ch - m;
    int cmdW = (w - 2 * m) / 7;
    for (int i = 0; i < 7; ++i)
        Place(IDC_CONNECT + i, m + i * cmdW, cmdY, cmdW - 2, ch);

    // Panes.
    int leftEnd = g_vsplit - arrowW / 2 - m;
    int rightStart = g_vsplit + arrowW / 2 + m;
    int listTop = top + sh + ch + m + sh;
    int listBottom = g_hsplit;
    struct Pane {
        int x0, x1, base, list, combo, caption, header;
    } panes[2] = {{m, leftEnd, IDC_LCHGDIR, IDC_LLIST, IDC_LDIR, IDC_LCAPTION, IDC_LHTYPE},
                  {rightStart, w - m, IDC_RCHGDIR, IDC_RLIST, IDC_RDIR, IDC_RCAPTION, IDC_RHTYPE}};
    for (int side = 0; side < 2; ++side) {
        Pane &p = panes[side];
        int pw = p.x1 - p.x0;
        Place(p.caption, p.x0, top, pw, sh);
        int listW = g_cfg.layout ? pw : pw - btnW - m;
        Place(p.combo, p.x0, top + sh, listW, ch * 8);
        int bottom = listBottom;
        if (g_cfg.layout) {
            // Buttons in two rows under the list.
            int bw = pw / 5;
            bottom = listBottom - 2 * ch - m;
            for (int i = 0; i < 9; ++i) {
                int r = i / 5, c = i % 5;
                Place(p.base + i, p.x0 + c * bw, bottom + m + r * ch, bw - 2, ch);
            }
        } else {
            int n = 9;
            int bh = (listBottom - (top + sh)) / n;
            if (bh > ch)
                bh = ch;
            for (int i = 0; i < n; ++i)
                Place(p.base + i, p.x0 + listW + m, top + sh + i * bh, btnW, bh - 1);
        }
        Place(p.list, p.x0, listTop, listW, bottom - listTop);
        LayoutHeaders(side, p.x0, listTop - sh, sh);
    }
    // Arrows between the panes.
    int midY = (listTop + listBottom) / 2;
    Place(IDC_UPLOAD, g_vsplit - arrowW / 2, midY - ch - 2, arrowW, ch);
    Place(IDC_DOWNLOAD, g_vsplit - arrowW / 2, midY + 2, arrowW, ch);
    if (g_cfg.layout) {
        SetWindowTextA(Ctl(IDC_UPLOAD), "Transfer");
        SetWindowTextA(Ctl(IDC_DOWNLOAD), "Transfer");
    }
    // Lower area: mode buttons, then the three status lines.
    int lowY = g_hsplit + m;
    int modeW = 9 * bx;
    int modeX = g_vsplit - 3 * modeW / 2;
    if (modeX < m)
        modeX = m;
    Place(IDC_ASCII, modeX, lowY, modeW, ch);
    Place(IDC_BINARY, modeX + modeW, lowY, modeW, ch);
    Place(IDC_AUTO, modeX + 2 * modeW, lowY, modeW, ch);
    int statY = lowY + ch + 2;
    int statBottom = g_cfg.bonTop ? h - m : cmdY - 2;
    int lineH = (statBottom - statY) / 3;
    if (lineH > sh + 2)
        lineH = sh + 2;
    if (lineH < 4)
        lineH = 4;
    int sbW = GetSystemMetrics(SM_CXVSCROLL);
    for (int i = 0; i < 3; ++i)
        Place(IDC_STAT1 + i, m, statY + i * lineH, w - 2 * m - sbW, lineH);
    Place(IDC_STATSCROLL, w - m - sbW, statY, sbW, 3 * lineH);
    InvalidateRect(wnd, nullptr, TRUE);
}

// ---------------------------------------------------------------- balloon help

LRESULT CALLBACK BalloonWndProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_PAINT) {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(wnd, &ps);
        RECT r;
        GetClientRect(wnd, &r);
        FillRect(dc, &r, GetSysColorBrush(COLOR_INFOBK));
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, GetSysColor(COLOR_INFOTEXT));
        HGDIOBJ old = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
        char text[128];
        GetWindowTextA(wnd, text, sizeof text);
        r.left += 4;
        r.top += 2;
        DrawTextA(dc, text, -1, &r, DT_SINGLELINE | DT_NOPREFIX);
        SelectObject(dc, old);
        EndPaint(wnd, &ps);
        return 0;
    }
    if (msg == WM_MOUSEACTIVATE)
        return MA_NOACTIVATE;
    return DefWindowProcA(wnd, msg, wp, lp);
}

static void HideBalloon()
{
    if (s_balloon)
        ShowWindow(s_balloon, SW_HIDE);
    s_balloonOwner = nullptr;
}

static void BalloonFor(HWND ctl)
{
    if (!g_cfg.balloon) {
        HideBalloon();
        return;
    }
    if (ctl == s_balloonOwner)
        return;
    const ControlInfo *info = InfoFor(GetDlgCtrlID(ctl));
    if (!info || !info->balloon) {
        HideBalloon();
        return;
    }
    if (!s_balloon)
        s_balloon = CreateWindowExA(WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, "TESSELBALLOONWND", "",
                                    WS_POPUP | WS_BORDER, 0, 0, 10, 10, g_main, nullptr, g_inst, nullptr);
    if (!s_balloon)
        return;
    SetWindowTextA(s_balloon, info->balloon);
    HDC dc = GetDC(s_balloon);
    HGDIOBJ old = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    SIZE sz;
    GetTextExtentPoint32A(dc, info->balloon, (int)strlen(info->balloon), &sz);
    SelectObject(dc, old);
    ReleaseDC(s_balloon, dc);
    POINT pt;
    GetCursorPos(&pt);
    SetWindowPos(s_balloon, HWND_TOPMOST, pt.x + 5, pt.y + 10, sz.cx + 8 + 2, sz.cy + 4 + 2,
                 SWP_NOACTIVATE | SWP_SHOWWINDOW);
    InvalidateRect(s_balloon, nullptr, TRUE);
    s_balloonOwner = ctl;
}

// ---------------------------------------------------------------- focus order

static void MoveFocus(HWND from, int back)
{
    int n = T95_CONTROL_COUNT;
    int at = 0;
    for (int i = 0; i < n; ++i)
        if (Ctl(g_controls[i].id) == from)
            at = i;
    for (int step = 1; step <= n; ++step) {
        int i = ((at + (back ? -step : step)) % n + n) % n;
        HWND c = Ctl(g_controls[i].id);
        const char *cls = g_controls[i].cls;
        if (!c || !IsWindowVisible(c) || !IsWindowEnabled(c) || !strcmp(cls, "STATIC") || !strcmp(cls, "SCROLLBAR"))
            continue;
        SetFocus(c);
        return;
    }
}

// ---------------------------------------------------------------- item helpers

static int ItemAt(HWND list, int index, char *name, size_t size, int *kind)
{
    HGLOBAL h = (HGLOBAL)SendMessageA(list, LB_GETITEMDATA, (WPARAM)index, 0);
    if (!h || h == (HGLOBAL)LB_ERR)
        return 0;
    ListItem *it = (ListItem *)GlobalLock(h);
    if (!it)
        return 0;
    snprintf(name, size, "%.*s", (int)it->nameLen, it->text);
    if (kind)
        *kind = it->kind;
    GlobalUnlock(h);
    return 1;
}

static int FirstSelected(HWND list, char *name, size_t size, int *kind)
{
    int idx;
    if (SendMessageA(list, LB_GETSELITEMS, 1, (LPARAM)&idx) != 1)
        return 0;
    return ItemAt(list, idx, name, size, kind);
}

static void ShowInViewer(const char *file)
{
    RunCommandLine(ViewerCommand(g_cfg.viewer, file), nullptr);
}

// ---------------------------------------------------------------- commands

static int Ask(const char *prompt, char *buf, size_t size, int history = 0)
{
    return InputBox(g_main, prompt, buf, size, 0, history) && buf[0];
}

static void LocalChangeDir() { CmdChangeDir(0); }

// A typed or chosen remote path; without one, the selection or a question.
static void RemoteChangeDir(const char *typed)
{
    if (!typed) {
        CmdChangeDir(1);
        return;
    }
    if (!g_ftp.connected || !ArgumentOk("Directory name", typed))
        return;
    ChangeDir(typed);
    ShowRemote(0);
}

static void DoConnect()
{
    if (g_ftp.connected) {
        CloseSession(1);
        return;
    }
    if (IsBusy()) {
        LogLine("! Command in progress, ignored");
        return;
    }
    // The connect dialog waits for a person; a run nobody watches has none.
    if (g_cmd.nobody) {
        LogLine("! Connect dialog not shown: nobody to answer in an unattended run");
        return;
    }
    // The splash stays up until the connect dialog opens.
    if (g_splash) {
        DestroyWindow(g_splash);
        g_splash = nullptr;
    }
    int ok = SessionDialog(g_main);
    if (!ok)
        return;
    g_lsort = ReadIniInt(T95_CONFIG, "LSORT", 1);
    g_rsort = ReadIniInt(T95_CONFIG, "RSORT", 1);
    ClearRemoteCache();
    ClearList(Ctl(IDC_RLIST));
    SendMessageA(Ctl(IDC_RDIR), CB_RESETCONTENT, 0, 0);
    ReadHistory(g_session.name, "rdir%u", Ctl(IDC_RDIR));
    ReadHistory(g_session.name, "ldir%u", Ctl(IDC_LDIR));
    if (g_session.localDir[0])
        LocalChdir(!lstrcmpiA(g_session.localDir, "origdir") ? g_startDir : g_session.localDir);
    RefreshLocal();
    SetWindowTextA(Ctl(IDC_RMASK), g_session.rmask);
    g_ftp.retry = g_session.retries;
    g_ftp.cancel = 0;
    SOCKET s;
    for (;;) {
        s = ConnectLogin(&g_session);
        if (s != INVALID_SOCKET || g_ftp.retry <= 0 || g_ftp.stop)
            break;
        --g_ftp.retry;
        g_ftp.cancel = 0;
        if (!PumpSleep(500))
            break;
    }
    if (s == INVALID_SOCKET) {
        PlayEvent(SND_CONNECT_FAIL);
        UpdateButtons();
        return;
    }
    PlayEvent(SND_CONNECT_OK);
    SetConnectText(1);
    if (g_session.remoteDir[0])
        ChangeDir(g_session.remoteDir);
    ShowRemote(1);
    UpdateButtons();
    ResumePending(g_session.name);
}

static void SaveColumns()
{
    char buf[64];
    snprintf(buf, sizeof buf, "%d,%d,%d,%d", g_cfg.locl[0], g_cfg.locl[1], g_cfg.locl[2], g_cfg.locl[3]);
    WriteIniText(T95_CONFIG, "LOCL", buf);
    snprintf(buf, sizeof buf, "%d,%d,%d,%d", g_cfg.locr[0], g_cfg.locr[1], g_cfg.locr[2], g_cfg.locr[3]);
    WriteIniText(T95_CONFIG, "LOCR", buf);
}

static void FtpMenuCommand(int cmd)
{
    char buf[512] = "";
    switch (cmd) {
    case CMD_FTP_CWD:
        RemoteChangeDir(nullptr);
        break;
    case CMD_FTP_PWD:
        PrintDir();
        break;
    case CMD_FTP_HELP:
        SendCommand("HELP");
        break;
    case CMD_FTP_SYST:
        SendCommand("SYST");
        break;
    case CMD_FTP_SITE:
        if (Ask("Enter SITE string:", buf, sizeof buf))
            SendCommand("SITE %s", buf);
        break;
    case CMD_FTP_QUOTE:
        if (Ask("Enter command for remote host:", buf, sizeof buf)) {
            UserCommand(buf);
            if ((!strncmp(buf, "LIST", 4) || !strncmp(buf, "NLST", 4)) && g_remoteListFile[0])
                ShowInViewer(g_remoteListFile);
        }
        break;
    case CMD_FTP_LIST:
    case CMD_FTP_NLST:
        if (UserCommand(cmd == CMD_FTP_LIST ? "LIST" : "NLST") == 2)
            ShowInViewer(g_remoteListFile);
        break;
    case CMD_FTP_RETR:
        if (Ask("Enter remote file name to transfer to local system:", buf, sizeof buf)) {
            ReceiveFile(buf, nullptr, 1, 1, 0, 0);
            RefreshLocal();
        }
        break;
    case CMD_FTP_STOR:
        if (Ask("Enter local file name to transfer to remote system:", buf, sizeof buf)) {
            SendFile(buf, nullptr, 1, 1, 0, 0);
            if (g_cfg.doupdate)
                ShowRemote(1);
        }
        break;
    }
}

void DoCommand(HWND wnd, int id, int side)
{
    const int busyOk = id == IDC_CANCEL || id == IDC_LOGWND || id == CMD_SHOWLOG || id == IDC_HELPBTN ||
                       id == IDC_ABOUT || id == IDC_EXIT || id == CMD_F2HELP;
    if (!busyOk && IsBusy() && id != CMD_COMMANDLINE) {
        LogLine("! Command in progress, ignored");
        return;
    }
    // A new operation starts afresh: an earlier Cancel, spent on what it
    // stopped, must not fail every command after it.
    if (!IsBusy())
        g_ftp.cancel = 0;
    switch (id) {
    case IDC_CONNECT:
        DoConnect();
        break;
    case CMD_CLOSE:
        if (g_ftp.connected)
            CloseSession(1);
        break;
    case IDC_CANCEL:
        CancelAll();
        break;
    case IDC_LOGWND:
    case CMD_SHOWLOG:
        ShowLogWindow();
        break;
    case IDC_HELPBTN:
        WinHelpA(wnd, g_files.hlp, HELP_INDEX, 0);
        break;
    case CMD_F2HELP:
        WinHelpA(wnd, g_files.hlp, HELP_CONTEXT, 140);
        break;
    case IDC_OPTIONS:
        OptionsDialog(wnd);
        UpdateButtons();
        break;
    case IDC_ABOUT:
        AboutBox(wnd);
        break;
    case IDC_EXIT:
        PostMessageA(wnd, WM_CLOSE, 0, 0);
        break;
    case IDC_ASCII:
        g_cfg.mode = 'A';
        g_cfg.amode = 0;
        UpdateButtons();
        break;
    case IDC_BINARY:
        g_cfg.mode = 'I';
        g_cfg.amode = 0;
        UpdateButtons();
        break;
    case IDC_AUTO:
        g_cfg.amode = !g_cfg.amode;
        UpdateButtons();
        break;
    case IDC_UPLOAD:
    case CMD_ACC_UPLOAD:
        UploadSelection(wnd, 0);
        break;
    case IDC_DOWNLOAD:
    case CMD_ACC_DOWNLOAD:
        DownloadSelection(wnd, 0);
        break;
    case CMD_APPEND:
        if (side)
            DownloadSelection(wnd, 1);
        else
            UploadSelection(wnd, 1);
        break;
    case IDC_LCHGDIR:
        LocalChangeDir();
        break;
    case IDC_RCHGDIR:
        RemoteChangeDir(nullptr);
        break;
    case IDC_LMKDIR:
    case IDC_RMKDIR:
        CmdMakeDir(id == IDC_RMKDIR);
        break;
    case CMD_DELDIR:
        CmdRemoveDir(side);
        break;
    case IDC_LVIEW:
    case IDC_RVIEW:
        CmdView(id == IDC_RVIEW);
        break;
    case IDC_LEXEC:
    case IDC_REXEC:
        CmdExecute(id == IDC_REXEC);
        break;
    case IDC_LRENAME:
    case IDC_RRENAME:
        CmdRename(id == IDC_RRENAME);
        break;
    case IDC_LDELETE:
    case IDC_RDELETE:
        CmdDelete(id == IDC_RDELETE);
        break;
    case IDC_LREFRESH:
        RefreshLocal();
        break;
    case IDC_RREFRESH:
        DrainControl();
        ShowRemote(1);
        break;
    case IDC_LDIRINFO:
    case IDC_RDIRINFO:
        CmdDirInfo(id == IDC_RDIRINFO);
        break;
    case CMD_SORT:
        SortDialog(wnd, side);
        break;
    case CMD_XFERDIR:
        if (side)
            DownloadSelection(wnd, 0);
        else
            UploadSelection(wnd, 0);
        break;
    case CMD_MOVE:
        CmdMove(side);
        break;
    case CMD_EDIT:
        CmdEdit();
        break;
    case CMD_CHMOD:
        CmdPermissions();
        break;
    default:
        if (id >= CMD_FTP_CWD && id <= CMD_FTP_STOR)
            FtpMenuCommand(id);
        break;
    }
}

// ---------------------------------------------------------------- context menus

HMENU BuildContextMenu(HWND wnd, int *side)
{
    int id = GetDlgCtrlID(wnd);
    HMENU ftp = CreatePopupMenu();
    static const struct {
        int cmd;
        const char *text;
    } ftpItems[] = {{CMD_FTP_CWD, "CWD"},   {CMD_FTP_PWD, "PWD"},     {CMD_FTP_HELP, "HELP"},
                    {CMD_FTP_SYST, "SYST"}, {CMD_FTP_SITE, "SITE"},   {CMD_FTP_QUOTE, "QUOTE"},
                    {CMD_FTP_LIST, "LIST"}, {CMD_FTP_NLST, "NLST"},   {CMD_FTP_RETR, "RETR"},
                    {CMD_FTP_STOR, "STOR"}};
    for (const auto &f : ftpItems)
        AppendMenuA(ftp, MF_STRING | (g_ftp.connected ? 0 : MF_GRAYED), (UINT_PTR)f.cmd, f.text);
    HMENU m = CreatePopupMenu();
    if (id == IDC_LLIST || id == IDC_RLIST) {
        int remote = id == IDC_RLIST;
        *side = remote;
        int n = SelCount(id);
        char name[300] = "";
        int kind = -1;
        FirstSelected(wnd, name, sizeof name, &kind);
        int isDir = n >= 1 && (kind == KIND_DIR || kind == KIND_DRIVE);
        AppendMenuA(m, MF_STRING, CMD_SORT, "Sort...");
        AppendMenuA(m, MF_SEPARATOR, 0, nullptr);
        AppendMenuA(m, MF_STRING, remote ? IDC_RCHGDIR : IDC_LCHGDIR, "Change Directory");
        AppendMenuA(m, MF_STRING, remote ? IDC_RMKDIR : IDC_LMKDIR, "Make Directory...");
        AppendMenuA(m, MF_STRING, CMD_DELDIR, "Delete Directory");
        if (isDir) {
            AppendMenuA(m, MF_STRING, CMD_XFERDIR, "Transfer Directory");
        } else if (n >= 1) {
            AppendMenuA(m, MF_STRING, remote ? IDC_DOWNLOAD : IDC_UPLOAD, n == 1 ? "Transfer file" : "Transfer files");
            AppendMenuA(m, MF_STRING, CMD_APPEND, n == 1 ? "Append file" : "Append files");
            AppendMenuA(m, MF_STRING, remote ? IDC_RVIEW : IDC_LVIEW, n == 1 ? "View file" : "View files");
            if (n == 1) {
                if (remote)
                    AppendMenuA(m, MF_STRING, CMD_EDIT, "Edit file");
                AppendMenuA(m, MF_STRING, remote ? IDC_REXEC : IDC_LEXEC, "Execute file");
            }
        }
        if (n >= 1) {
            AppendMenuA(m, MF_STRING, remote ? IDC_RRENAME : IDC_LRENAME,
                        isDir ? "Rename Directory..." : "Rename file...");
            AppendMenuA(m, MF_STRING, CMD_MOVE, isDir ? "Move Directory..." : "Move files...");
            if (!isDir)
                AppendMenuA(m, MF_STRING, remote ? IDC_RDELETE : IDC_LDELETE, "Delete files");
            if (remote)
                AppendMenuA(m, MF_STRING, CMD_CHMOD, "chmod (UNIX)");
        }
        AppendMenuA(m, MF_SEPARATOR, 0, nullptr);
        AppendMenuA(m, MF_STRING, remote ? IDC_RREFRESH : IDC_LREFRESH, "Refresh list");
        AppendMenuA(m, MF_STRING, remote ? IDC_RDIRINFO : IDC_LDIRINFO, "Directory list");
    } else {
        *side = 0;
        AppendMenuA(m, MF_STRING | MF_DISABLED | MF_GRAYED, 0, "FTP Menu");
        AppendMenuA(m, MF_SEPARATOR, 0, nullptr);
        HMENU conn = CreatePopupMenu();
        AppendMenuA(conn, MF_STRING, IDC_CONNECT, "&Connect");
        AppendMenuA(conn, MF_STRING, CMD_CLOSE, "&Close");
        AppendMenuA(conn, MF_STRING, IDC_EXIT, "E&xit");
        AppendMenuA(m, MF_POPUP, (UINT_PTR)conn, "&Connection");
        AppendMenuA(m, MF_STRING, IDC_OPTIONS, "&Options...");
        AppendMenuA(m, MF_STRING, CMD_SHOWLOG, "Show Log...");
        AppendMenuA(m, MF_STRING, IDC_HELPBTN, "&Help");
        AppendMenuA(m, MF_STRING, IDC_ABOUT, "About...");
    }
    AppendMenuA(m, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(m, MF_POPUP, (UINT_PTR)ftp, "&FTP Commands");
    return m;
}

static void RunContextMenu(HWND wnd, POINT screen)
{
    int side = 0;
    HMENU m = BuildContextMenu(wnd, &side);
    int cmd = (int)TrackPopupMenu(m, TPM_RETURNCMD | TPM_RIGHTBUTTON, screen.x, screen.y, 0, g_main, nullptr);
    DestroyMenu(m);
    if (cmd)
        DoCommand(g_main, cmd, side);
}

// ---------------------------------------------------------------- drag between panes

static struct {
    int tracking;
    int index;
    HWND list;
} s_drag;

static HGLOBAL BuildDropBlock(HWND list, POINT pt, int nonClient)
{
    std::string names;
    static int sel[8192];
    int n = (int)SendMessageA(list, LB_GETSELITEMS, 8192, (LPARAM)sel);
    char dir[MAX_PATH];
    GetCurrentDirectoryA(sizeof dir, dir);
    for (int i = 0; i < n; ++i) {
        char name[300];
        int kind;
        if (!ItemAt(list, sel[i], name, sizeof name, &kind) || !strcmp(name, ".."))
            continue;
        if (GetDlgCtrlID(list) == IDC_LLIST) {
            names += dir;
            if (names.back() != '\\')
                names += '\\';
        }
        names += name;
        names += '\0';
    }
    names += '\0';
    HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + names.size() + 1);
    if (!h)
        return nullptr;
    DROPFILES *df = (DROPFILES *)GlobalLock(h);
    df->pFiles = sizeof(DROPFILES);
    df->pt = pt;
    df->fNC = nonClient;
    df->fWide = FALSE;
    memcpy((char *)df + sizeof(DROPFILES), names.data(), names.size());
    GlobalUnlock(h);
    return h;
}

static HWND DropTargetAt(POINT screen)
{
    HWND w = WindowFromPoint(screen);
    while (w && !(GetWindowLongA(w, GWL_EXSTYLE) & WS_EX_ACCEPTFILES))
        w = GetParent(w);
    return w;
}

static void EndDrag(HWND list, POINT client, int cancel)
{
    s_drag.tracking = 0;
    ReleaseCapture();
    SetCursor(LoadCursorA(nullptr, IDC_ARROW));
    if (cancel)
        return;
    POINT screen = client;
    ClientToScreen(list, &screen);
    int at = (int)SendMessageA(list, LB_ITEMFROMPOINT, 0, MAKELPARAM(client.x, client.y));
    HWND target = DropTargetAt(screen);
    if (target == list && LOWORD(at) == s_drag.index && !HIWORD(at)) {
        SendMessageA(list, LB_SETSEL, FALSE, -1);
        SendMessageA(list, LB_SETSEL, TRUE, s_drag.index);
        UpdateButtons();
        return;
    }
    if (!target || target == list)
        return;
    POINT tp = screen;
    ScreenToClient(target, &tp);
    HGLOBAL block = BuildDropBlock(list, tp, 0);
    if (!block)
        return;
    s_dragSourceSide = GetDlgCtrlID(list) == IDC_RLIST ? 1 : 0;
    if (!PostMessageA(target, WM_DROPFILES, (WPARAM)block, 0))
        GlobalFree(block);
}

// A drop from the other pane runs a transfer or a move; anything else is a
// drop from another program.
static void HandleDrop(HWND list, HDROP drop)
{
    int from = s_dragSourceSide;
    s_dragSourceSide = -1;
    DropFiles(list, drop, from);
}

// ---------------------------------------------------------------- column boundaries

static struct {
    int active;
    int side;
    int index; // boundary 0..3
    int startX;
    int lastX;
} s_col;

static int HeaderEdgeAt(HWND header, int x, int *boundary)
{
    int id = GetDlgCtrlID(header);
    int side = SideOf(id);
    int i = id - (side ? IDC_RHTYPE : IDC_LHTYPE);
    RECT r;
    GetClientRect(header, &r);
    // Left edge of a button (not the first) is the boundary before it; the
    // right edge (not the last) the boundary after it.
    if (i > 0 && x < 6) {
        *boundary = i - 1;
        return 1;
    }
    if (i < 4 && x > r.right - 6) {
        *boundary = i;
        return 1;
    }
    return 0;
}

static void InvertColumnLine(int side, int x)
{
    HWND list = Ctl(side ? IDC_RLIST : IDC_LLIST);
    HDC dc = GetDC(list);
    RECT r;
    GetClientRect(list, &r);
    PatBlt(dc, x, 0, 1, r.bottom, DSTINVERT);
    ReleaseDC(list, dc);
}

// ---------------------------------------------------------------- control subclass

static int IndexOfControl(HWND c)
{
    // By window, not only by number: the edit part of a combo box carries
    // the number 1001 of its own.
    if (!c || GetParent(c) != g_main)
        return -1;
    int id = GetDlgCtrlID(c);
    for (int i = 0; i < T95_CONTROL_COUNT; ++i)
        if (g_controls[i].id == id)
            return i;
    return -1;
}

static void TypeAhead(HWND list, char ch)
{
    int n = (int)SendMessageA(list, LB_GETCOUNT, 0, 0);
    int cur = (int)SendMessageA(list, LB_GETCARETINDEX, 0, 0);
    char want = ch;
    CharLowerBuffA(&want, 1);
    for (int step = 1; step <= n; ++step) {
        int i = (cur + step) % n;
        char name[300];
        if (!ItemAt(list, i, name, sizeof name, nullptr))
            continue;
        char first = name[0];
        CharLowerBuffA(&first, 1);
        if (first == want) {
            SendMessageA(list, LB_SETSEL, FALSE, -1);
            SendMessageA(list, LB_SETSEL, TRUE, i);
            SendMessageA(list, LB_SETCARETINDEX, i, FALSE);
            UpdateButtons();
            return;
        }
    }
}

static void ListDoubleClick(HWND list)
{
    int remote = GetDlgCtrlID(list) == IDC_RLIST;
    char name[300];
    int kind = 0;
    int caret = (int)SendMessageA(list, LB_GETCARETINDEX, 0, 0);
    if (!ItemAt(list, caret, name, sizeof name, &kind))
        return;
    if (kind == KIND_DIR || kind == KIND_DRIVE || (remote && kind == KIND_LINK)) {
        if (remote)
            RemoteChangeDir(name);
        else
            LocalChangeDir();
        return;
    }
    switch (g_cfg.dblClk) {
    case 0:
        DoCommand(g_main, remote ? IDC_DOWNLOAD : IDC_UPLOAD, remote);
        break;
    case 1:
        DoCommand(g_main, remote ? IDC_RVIEW : IDC_LVIEW, remote);
        break;
    default:
        break;
    }
}

static LRESULT CALLBACK ControlProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp)
{
    int idx = IndexOfControl(wnd);
    // Combo boxes forward from their edit child.
    HWND self = wnd;
    if (idx < 0) {
        HWND parent = GetParent(wnd);
        idx = IndexOfControl(parent);
        self = parent;
    }
    WNDPROC old = idx >= 0 ? s_oldProc[idx] : DefWindowProcA;
    if (self != wnd) {
        // Subclassed edit child of a combo box: only keys matter here.
        old = (WNDPROC)GetPropA(wnd, "T95OLD");
    }
    const int id = GetDlgCtrlID(self);
    const int isList = id == IDC_LLIST || id == IDC_RLIST;
    const int isHeader = (id >= IDC_LHTYPE && id <= IDC_LHBLANK) || (id >= IDC_RHTYPE && id <= IDC_RHBLANK);
    switch (msg) {
    case WM_KEYDOWN:
        if (wp == VK_TAB) {
            MoveFocus(self, GetKeyState(VK_SHIFT) < 0);
            return 0;
        }
        if (wp == VK_F1) {
            const ControlInfo *info = InfoFor(id);
            if (GetKeyState(VK_CONTROL) < 0 && info && info->help)
                WinHelpA(g_main, g_files.hlp, HELP_CONTEXT, (ULONG_PTR)info->help);
            else
                WinHelpA(g_main, g_files.hlp, HELP_INDEX, 0);
            return 0;
        }
        if (wp == VK_RETURN) {
            if (id == IDC_RMASK) {
                GetWindowTextA(Ctl(IDC_RMASK), g_session.rmask, sizeof g_session.rmask);
                s_lastRemoteMaskChanged = 0;
                ShowRemote(1);
                return 0;
            }
            if (id == IDC_LMASK) {
                GetWindowTextA(Ctl(IDC_LMASK), g_localMask, sizeof g_localMask);
                if (!g_localMask[0])
                    strcpy(g_localMask, "*.*");
                RefreshLocal();
                return 0;
            }
            if (id == IDC_LDIR || id == IDC_RDIR) {
                char dir[MAX_PATH];
                GetWindowTextA(self, dir, sizeof dir);
                if (id == IDC_LDIR) {
                    if (!SetCurrentDirectoryA(dir))
                        Logf("! %s %s", "Failed change to new local directory:", dir);
                    RefreshLocal();
                } else {
                    RemoteChangeDir(dir);
                }
                return 0;
            }
            if (isList) {
                ListDoubleClick(self);
                return 0;
            }
        }
        break;
    case WM_CHAR:
        if (wp == '\t' || (wp == '\r' && (isList || id == IDC_LMASK || id == IDC_RMASK || self != wnd)))
            return 0;
        if (isList && wp > ' ') {
            TypeAhead(self, (char)wp);
            return 0;
        }
        if (id == IDC_RMASK)
            s_lastRemoteMaskChanged = 1;
        break;
    case WM_KILLFOCUS:
        if (id == IDC_RMASK && s_lastRemoteMaskChanged) {
            s_lastRemoteMaskChanged = 0;
            char mask[20];
            GetWindowTextA(self, mask, sizeof mask);
            if (strcmp(mask, g_session.rmask)) {
                snprintf(g_session.rmask, sizeof g_session.rmask, "%s", mask);
                if (g_ftp.connected && !IsBusy())
                    ShowRemote(1);
            }
        }
        break;
    case WM_MOUSEMOVE: {
        BalloonFor(self);
        POINT pt = {(short)LOWORD(lp), (short)HIWORD(lp)};
        if (isList && s_drag.tracking) {
            POINT screen = pt;
            ClientToScreen(wnd, &screen);
            HWND t = DropTargetAt(screen);
            int many = SelCount(id) > 1;
            SetCursor(t ? (many ? s_curDragMult : s_curDrag) : s_curNoDrop);
            return 0;
        }
        if (isHeader) {
            if (s_col.active) {
                HWND list = Ctl(s_col.side ? IDC_RLIST : IDC_LLIST);
                POINT lp2 = pt;
                MapWindowPoints(wnd, list, &lp2, 1);
                const int *cols = s_col.side ? g_cfg.locr : g_cfg.locl;
                int minX = s_col.index > 0 ? cols[s_col.index - 1] + 1 : 1;
                int x = lp2.x < minX ? minX : lp2.x;
                InvertColumnLine(s_col.side, s_col.lastX);
                InvertColumnLine(s_col.side, x);
                s_col.lastX = x;
                return 0;
            }
            int b;
            if (HeaderEdgeAt(wnd, pt.x, &b)) {
                SetCursor(s_curSplitH1);
                return 0;
            }
        }
        break;
    }
    case WM_SETCURSOR:
        if (IsBusy()) {
            SetCursor(LoadCursorA(nullptr, IDC_WAIT));
            return TRUE;
        }
        if (isHeader) {
            POINT pt;
            GetCursorPos(&pt);
            ScreenToClient(wnd, &pt);
            int b;
            if (HeaderEdgeAt(wnd, pt.x, &b) || s_col.active) {
                SetCursor(s_curSplitH1);
                return TRUE;
            }
        }
        break;
    case WM_LBUTTONDOWN:
        if (isHeader) {
            int b;
            POINT pt = {(short)LOWORD(lp), (short)HIWORD(lp)};
            if (HeaderEdgeAt(wnd, pt.x, &b)) {
                s_col.active = 1;
                s_col.side = SideOf(id);
                s_col.index = b;
                const int *cols = s_col.side ? g_cfg.locr : g_cfg.locl;
                s_col.startX = s_col.lastX = cols[b];
                InvertColumnLine(s_col.side, s_col.lastX);
                SetCapture(wnd);
                return 0;
            }
        }
        if (isList && g_cfg.proDrag && !(wp & (MK_SHIFT | MK_CONTROL))) {
            LRESULT at = SendMessageA(wnd, LB_ITEMFROMPOINT, 0, lp);
            int index = LOWORD(at);
            if (!HIWORD(at) && SendMessageA(wnd, LB_GETSEL, (WPARAM)index, 0) > 0) {
                s_drag.tracking = 1;
                s_drag.index = index;
                s_drag.list = wnd;
                SetFocus(wnd);
                SetCapture(wnd);
                return 0;
            }
        }
        break;
    case WM_LBUTTONUP: {
        POINT pt = {(short)LOWORD(lp), (short)HIWORD(lp)};
        if (isHeader && s_col.active) {
            InvertColumnLine(s_col.side, s_col.lastX);
            s_col.active = 0;
            ReleaseCapture();
            int delta = s_col.lastX - s_col.startX;
            int *cols = s_col.side ? g_cfg.locr : g_cfg.locl;
            for (int i = s_col.index; i < 4; ++i)
                cols[i] += delta;
            SaveColumns();
            LayoutControls(g_main);
            InvalidateRect(Ctl(s_col.side ? IDC_RLIST : IDC_LLIST), nullptr, TRUE);
            return 0;
        }
        if (isList && s_drag.tracking) {
            EndDrag(wnd, pt, 0);
            return 0;
        }
        break;
    }
    case WM_RBUTTONDOWN:
        if (s_col.active) {
            InvertColumnLine(s_col.side, s_col.lastX);
            s_col.active = 0;
            ReleaseCapture();
            return 0;
        }
        if (s_drag.tracking) {
            POINT pt = {0, 0};
            EndDrag(wnd, pt, 1);
            return 0;
        }
        break;
    case WM_RBUTTONUP:
        if (isList) {
            POINT pt = {(short)LOWORD(lp), (short)HIWORD(lp)};
            ClientToScreen(wnd, &pt);
            RunContextMenu(wnd, pt);
            return 0;
        }
        break;
    case WM_CAPTURECHANGED:
        if (s_drag.tracking && (HWND)lp != wnd)
            s_drag.tracking = 0;
        break;
    case WM_DROPFILES:
        if (isList) {
            HandleDrop(wnd, (HDROP)wp);
            return 0;
        }
        break;
    }
    return CallWindowProcA(old, wnd, msg, wp, lp);
}

static void SubclassControl(HWND c, int idx)
{
    s_oldProc[idx] = (WNDPROC)SetWindowLongPtrA(c, GWLP_WNDPROC, (LONG_PTR)ControlProc);
    if (!strcmp(g_controls[idx].cls, "COMBOBOX")) {
        // The edit part of a drop-down combo gets the keys.
        HWND edit = FindWindowExA(c, nullptr, "EDIT", nullptr);
        if (edit) {
            WNDPROC old = (WNDPROC)SetWindowLongPtrA(edit, GWLP_WNDPROC, (LONG_PTR)ControlProc);
            SetPropA(edit, "T95OLD", (HANDLE)old);
        }
    }
}

static void CreateControls(HWND wnd)
{
    for (int i = 0; i < T95_CONTROL_COUNT; ++i) {
        const ControlInfo &c = g_controls[i];
        DWORD style = WS_CHILD | WS_VISIBLE;
        DWORD ex = 0;
        const char *cls = c.cls;
        if (!strcmp(cls, "COMBOBOX")) {
            style |= CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_VSCROLL | WS_TABSTOP;
        } else if (!strcmp(cls, "STATIC")) {
            style |= SS_LEFTNOWORDWRAP | SS_NOPREFIX;
            if (c.id == IDC_LCAPTION || c.id == IDC_RCAPTION)
                style = (style & ~SS_LEFTNOWORDWRAP) | SS_CENTER;
        } else if (!strcmp(cls, "SCROLLBAR")) {
            style |= SBS_VERT;
        } else if (!strcmp(cls, "EDIT")) {
            style |= ES_AUTOHSCROLL | WS_TABSTOP;
            ex = WS_EX_CLIENTEDGE;
        } else if (!strcmp(cls, "LISTBOX")) {
            if (c.id == IDC_DRIVES) {
                style = WS_CHILD;
            } else {
                style |= LBS_OWNERDRAWFIXED | LBS_EXTENDEDSEL | LBS_USETABSTOPS | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT |
                         WS_VSCROLL | WS_HSCROLL | WS_TABSTOP;
                ex = WS_EX_CLIENTEDGE | WS_EX_ACCEPTFILES;
            }
        } else if (!strcmp(cls, "BUTTON")) {
            style |= WS_TABSTOP;
            if (c.id == IDC_ASCII || c.id == IDC_BINARY)
                style |= BS_AUTORADIOBUTTON;
            else if (c.id == IDC_AUTO)
                style |= BS_CHECKBOX;
            else
                style |= BS_PUSHBUTTON;
        }
        const char *label = c.label;
        if (c.id == IDC_LMASK)
            label = g_localMask;
        HWND h = CreateWindowExA(ex, cls, label, style, 0, 0, 10, 10, wnd, (HMENU)(INT_PTR)c.id, g_inst, nullptr);
        if (!h)
            continue;
        SubclassControl(h, i);
    }
    SendMessageA(Ctl(IDC_LDIR), CB_LIMITTEXT, 259, 0);
    SendMessageA(Ctl(IDC_RDIR), CB_LIMITTEXT, 255, 0);
    SendMessageA(Ctl(IDC_LMASK), EM_LIMITTEXT, MAX_PATH - 1, 0);
    SendMessageA(Ctl(IDC_RMASK), EM_LIMITTEXT, 19, 0);
    ApplyListFont();
    SendMessageA(Ctl(IDC_LLIST), LB_SETHORIZONTALEXTENT, 1200, 0);
    SendMessageA(Ctl(IDC_RLIST), LB_SETHORIZONTALEXTENT, 1200, 0);
    HMENU sys = GetSystemMenu(wnd, FALSE);
    if (sys) {
        AppendMenuA(sys, MF_SEPARATOR, 0, nullptr);
        AppendMenuA(sys, MF_STRING, 0x1010, "About...");
        AppendMenuA(sys, MF_STRING, 0x1020, "Show Log...");
    }
    s_curSplitH = LoadCursorA(g_inst, "SPLITH");
    s_curSplitV = LoadCursorA(g_inst, "SPLITV");
    s_curSplitH1 = LoadCursorA(g_inst, "SPLITH1");
    s_curDrag = LoadCursorA(g_inst, "DRAG");
    s_curDragMult = LoadCursorA(g_inst, "DRAGMULT");
    s_curNoDrop = LoadCursorA(g_inst, "NODROP");
    g_lsort = g_cfg.lsort;
    g_rsort = g_cfg.rsort;
}

// ---------------------------------------------------------------- splitters

static struct {
    int which; // 0 none, 1 vertical, 2 horizontal
    int pos;
} s_split;

static int SplitterAt(HWND wnd, POINT pt)
{
    RECT lr;
    GetWindowRect(Ctl(IDC_LLIST), &lr);
    MapWindowPoints(nullptr, wnd, (POINT *)&lr, 2);
    if (pt.x >= g_vsplit - 5 && pt.x <= g_vsplit + 2 && pt.y < g_hsplit)
        return 1;
    if (pt.y >= g_hsplit - 5 && pt.y <= g_hsplit + 5 && !g_cfg.layout)
        return 2;
    return 0;
}

static void InvertBar(HWND wnd)
{
    HDC dc = GetDC(wnd);
    RECT r;
    GetClientRect(wnd, &r);
    if (s_split.which == 1)
        PatBlt(dc, s_split.pos - 1, 0, 3, r.bottom, DSTINVERT);
    else
        PatBlt(dc, 0, s_split.pos - 1, r.right, 3, DSTINVERT);
    ReleaseDC(wnd, dc);
}

static void SaveLocation(HWND wnd)
{
    WINDOWPLACEMENT wp = {sizeof wp};
    if (!GetWindowPlacement(wnd, &wp) || g_cmd.unattended)
        return;
    RECT r = wp.rcNormalPosition;
    char buf[96];
    snprintf(buf, sizeof buf, "%ld,%ld,%ld,%ld,%d,%d", r.left, r.top, r.right - r.left, r.bottom - r.top, g_vsplit,
             g_hsplit);
    WriteIniText(T95_CONFIG, "LOC", buf);
    if (g_logRectValid) {
        snprintf(buf, sizeof buf, "%ld,%ld,%ld,%ld", g_logRect.left, g_logRect.top,
                 g_logRect.right - g_logRect.left, g_logRect.bottom - g_logRect.top);
        WriteIniText(T95_CONFIG, "SLOC", buf);
    }
}

} // namespace t95

using namespace t95;

extern "C" __declspec(dllexport) LRESULT CALLBACK WndProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_CREATE:
        g_main = wnd;
        CreateControls(wnd);
        LayoutControls(wnd);
        UpdateButtons();
        return 0;
    case WM_SIZE:
        if (wp != SIZE_MINIMIZED)
            LayoutControls(wnd);
        return 0;
    case WM_MEASUREITEM: {
        MEASUREITEMSTRUCT *m = (MEASUREITEMSTRUCT *)lp;
        HWND list = GetDlgItem(wnd, (int)m->CtlID);
        HDC dc = GetDC(list ? list : wnd);
        HGDIOBJ old = list ? SelectObject(dc, (HFONT)SendMessageA(list, WM_GETFONT, 0, 0)) : nullptr;
        TEXTMETRICA tm;
        GetTextMetricsA(dc, &tm);
        if (old)
            SelectObject(dc, old);
        ReleaseDC(list ? list : wnd, dc);
        m->itemHeight = tm.tmHeight > 16 ? (UINT)tm.tmHeight + 1 : 17;
        return TRUE;
    }
    case WM_DRAWITEM: {
        const DRAWITEMSTRUCT *d = (const DRAWITEMSTRUCT *)lp;
        if (d->CtlType == ODT_LISTBOX) {
            DrawListItem(d);
            return TRUE;
        }
        break;
    }
    case WM_DELETEITEM:
        FreeDeletedItem((const DELETEITEMSTRUCT *)lp);
        return TRUE;
    case WM_COMMAND: {
        int id = LOWORD(wp);
        int code = HIWORD(wp);
        if (id == CMD_COMMANDLINE) {
            RunCommandLine(wnd, (const char *)lp);
            return 0;
        }
        if ((id == IDC_LLIST || id == IDC_RLIST) && lp) {
            if (code == LBN_SELCHANGE)
                UpdateButtons();
            else if (code == LBN_DBLCLK)
                ListDoubleClick((HWND)lp);
            return 0;
        }
        if ((id == IDC_LDIR || id == IDC_RDIR) && code == CBN_SELENDOK) {
            HWND combo = (HWND)lp;
            int sel = (int)SendMessageA(combo, CB_GETCURSEL, 0, 0);
            char dir[300];
            if (sel >= 0 && SendMessageA(combo, CB_GETLBTEXTLEN, sel, 0) < (LRESULT)sizeof dir) {
                SendMessageA(combo, CB_GETLBTEXT, sel, (LPARAM)dir);
                if (id == IDC_LDIR) {
                    SetCurrentDirectoryA(dir);
                    RefreshLocal();
                } else {
                    RemoteChangeDir(dir);
                }
            }
            return 0;
        }
        if (lp && (code == EN_CHANGE || code == CBN_EDITCHANGE || code == CBN_DROPDOWN || code == EN_SETFOCUS ||
                   code == EN_KILLFOCUS || code == CBN_SETFOCUS || code == CBN_KILLFOCUS || code == EN_UPDATE))
            return 0;
        if ((id >= IDC_LHTYPE && id <= IDC_LHSIZE) || (id >= IDC_RHTYPE && id <= IDC_RHSIZE)) {
            // A re-sort rebuilds the list a running transfer reads from.
            if (IsBusy()) {
                LogLine("! Command in progress, ignored");
                return 0;
            }
        }
        if (id >= IDC_LHTYPE && id <= IDC_LHSIZE) {
            HeaderClick(0, id - IDC_LHTYPE);
            return 0;
        }
        if (id >= IDC_RHTYPE && id <= IDC_RHSIZE) {
            HeaderClick(1, id - IDC_RHTYPE);
            return 0;
        }
        DoCommand(wnd, id, SideOf(id));
        return 0;
    }
    case WM_SYSCOMMAND:
        if ((wp & 0xFFF0) == 0x1010) {
            AboutBox(wnd);
            return 0;
        }
        if ((wp & 0xFFF0) == 0x1020) {
            ShowLogWindow();
            return 0;
        }
        break;
    case WM_VSCROLL:
        if ((HWND)lp == GetDlgItem(wnd, IDC_STATSCROLL)) {
            int code = LOWORD(wp);
            if (code == SB_THUMBPOSITION || code == SB_THUMBTRACK)
                ScrollStatusLines(0x10000 | (HIWORD(wp) << 16));
            else
                ScrollStatusLines(code);
            return 0;
        }
        break;
    case WM_TIMER:
        if (wp == TIMER_WATCHDOG)
            OnWatchdogTimer(wnd);
        else if (wp == TIMER_KEEPALIVE)
            OnKeepAliveTimer(wnd);
        else if (wp == TIMER_RETRYCLOSE) {
            KillTimer(wnd, TIMER_RETRYCLOSE);
            PostMessageA(wnd, WM_CLOSE, 0, 0);
        }
        return 0;
    case WM_KEYDOWN:
        if (wp == VK_F1) {
            WinHelpA(wnd, g_files.hlp, HELP_INDEX, 0);
            return 0;
        }
        if (wp == VK_F2) {
            WinHelpA(wnd, g_files.hlp, HELP_CONTEXT, 140);
            return 0;
        }
        break;
    case WM_SETCURSOR:
        if (LOWORD(lp) == HTCLIENT && (HWND)wp == wnd) {
            if (IsBusy()) {
                HCURSOR c = LoadCursorA(nullptr, IDC_WAIT);
                SetCursor(c ? c : LoadCursorA(g_inst, "MYWAITCURSOR"));
                return TRUE;
            }
            POINT pt;
            GetCursorPos(&pt);
            ScreenToClient(wnd, &pt);
            int which = s_split.which ? s_split.which : SplitterAt(wnd, pt);
            if (which) {
                SetCursor(which == 1 ? s_curSplitH : s_curSplitV);
                return TRUE;
            }
        }
        break;
    case WM_MOUSEMOVE: {
        if (s_balloonOwner)
            HideBalloon();
        if (s_split.which) {
            InvertBar(wnd);
            s_split.pos = s_split.which == 1 ? (short)LOWORD(lp) : (short)HIWORD(lp);
            InvertBar(wnd);
        }
        return 0;
    }
    case WM_LBUTTONDOWN: {
        POINT pt = {(short)LOWORD(lp), (short)HIWORD(lp)};
        int which = SplitterAt(wnd, pt);
        if (which) {
            s_split.which = which;
            s_split.pos = which == 1 ? pt.x : pt.y;
            SetCapture(wnd);
            InvertBar(wnd);
        }
        return 0;
    }
    case WM_LBUTTONUP:
        if (s_split.which) {
            InvertBar(wnd);
            ReleaseCapture();
            if (s_split.which == 1)
                g_vsplit = s_split.pos;
            else
                g_hsplit = s_split.pos;
            s_split.which = 0;
            LayoutControls(wnd);
        }
        return 0;
    case WM_RBUTTONDOWN:
        if (s_split.which) {
            InvertBar(wnd);
            ReleaseCapture();
            s_split.which = 0;
        }
        return 0;
    case WM_RBUTTONUP: {
        POINT pt = {(short)LOWORD(lp), (short)HIWORD(lp)};
        ClientToScreen(wnd, &pt);
        RunContextMenu(wnd, pt);
        return 0;
    }
    case WM_DROPFILES:
        // A drop on the minimised window uploads.
        DropFiles(IsIconic(wnd) ? GetDlgItem(wnd, IDC_RLIST) : nullptr, (HDROP)wp, -1);
        return 0;
    case WM_T95_RUN:
        // A worker's question or prompt, run on this thread.
        return wp ? ((LRESULT(*)(void *))wp)((void *)lp) : 0;
    case WM_T95_WORKERDONE:
        UpdateButtons();
        return 0;
    case WM_CLOSE:
        if (IsBusy()) {
            // Let the running wait see the cancel and unwind first.
            CancelAll();
            SetTimer(wnd, TIMER_RETRYCLOSE, 100, nullptr);
            return 0;
        }
        SaveLocation(wnd);
        if (g_ftp.connected)
            CloseSession(1);
        ClearRemoteCache();
        if (g_remoteListFile[0]) {
            DeleteFileA(g_remoteListFile);
            ForgetTempFile(g_remoteListFile);
            g_remoteListFile[0] = 0;
        }
        if (g_session.name[0])
            WriteIniText(T95_CONFIG, "SESSION", g_session.name);
        if (g_logWnd)
            DestroyWindow(g_logWnd);
        DestroyWindow(wnd);
        return 0;
    case WM_DESTROY: {
        int code = g_cmd.unattended ? (g_cmd.lastResult ? 0 : 1) : 0;
        KillTimer(wnd, TIMER_WATCHDOG);
        KillTimer(wnd, TIMER_KEEPALIVE);
        // Clear the lists while the window can still free their records.
        ClearList(GetDlgItem(wnd, IDC_LLIST));
        ClearList(GetDlgItem(wnd, IDC_RLIST));
        g_main = nullptr;
        PostQuitMessage(code);
        return 0;
    }
    }
    return DefWindowProcA(wnd, msg, wp, lp);
}
