// Session log: the buffer of the latest lines, the three status lines under
// the panes, the "Message Log" window and, in unattended runs, xferlog.txt.
#include "client.h"

#include <stdio.h>
#include <string.h>

namespace t95 {

HWND g_logWnd;

static const int kLogLines = 60;
static const int kLogWidth = 119;
static char s_lines[kLogLines][kLogWidth + 1];
static int s_count;        // lines held
static int s_first;        // index of the oldest line
static int s_scroll;       // status lines shown this many lines back from the end
static CRITICAL_SECTION s_lock;
static LONG s_lockInit;

static void Lock()
{
    if (InterlockedCompareExchange(&s_lockInit, 1, 0) == 0) {
        InitializeCriticalSection(&s_lock);
        s_lockInit = 2;
    }
    while (s_lockInit != 2)
        Sleep(0);
    EnterCriticalSection(&s_lock);
}

static void Unlock() { LeaveCriticalSection(&s_lock); }

void AddLogBuffer(const char *text)
{
    Lock();
    int slot;
    if (s_count < kLogLines) {
        slot = (s_first + s_count) % kLogLines;
        ++s_count;
    } else {
        slot = s_first;
        s_first = (s_first + 1) % kLogLines;
    }
    snprintf(s_lines[slot], sizeof s_lines[slot], "%s", text);
    Unlock();
}

int LogLineAt(int back, char *out, size_t size)
{
    // back = 0: the latest line.
    Lock();
    out[0] = 0;
    int ok = back >= 0 && back < s_count;
    if (ok)
        snprintf(out, size, "%s", s_lines[(s_first + s_count - 1 - back) % kLogLines]);
    Unlock();
    return ok;
}

void RefreshStatusLines()
{
    if (!g_main)
        return;
    static const int ids[3] = {IDC_STAT1, IDC_STAT2, IDC_STAT3};
    for (int i = 0; i < 3; ++i) {
        char text[kLogWidth + 1];
        LogLineAt(s_scroll + 2 - i, text, sizeof text);
        HWND h = GetDlgItem(g_main, ids[i]);
        if (h)
            SetWindowTextA(h, text);
    }
    HWND bar = GetDlgItem(g_main, IDC_STATSCROLL);
    if (bar) {
        SCROLLINFO si = {sizeof si, SIF_RANGE | SIF_POS | SIF_PAGE};
        si.nMin = 0;
        si.nMax = s_count > 3 ? s_count - 3 : 0;
        si.nPage = 1;
        si.nPos = si.nMax - s_scroll;
        SetScrollInfo(bar, SB_CTL, &si, TRUE);
    }
}

void ScrollStatusLines(int code)
{
    int max = s_count > 3 ? s_count - 3 : 0;
    switch (code) {
    case SB_LINEUP:
    case SB_PAGEUP:
        ++s_scroll;
        break;
    case SB_LINEDOWN:
    case SB_PAGEDOWN:
        --s_scroll;
        break;
    case SB_TOP:
        s_scroll = max;
        break;
    case SB_BOTTOM:
        s_scroll = 0;
        break;
    default:
        if (code >= 0x10000)
            s_scroll = max - (code >> 16);
        break;
    }
    if (s_scroll > max)
        s_scroll = max;
    if (s_scroll < 0)
        s_scroll = 0;
    RefreshStatusLines();
}

static HWND LogEdit()
{
    return g_logWnd ? GetDlgItem(g_logWnd, 1) : nullptr;
}

static void AppendToEdit(HWND edit, const char *text)
{
    int len = GetWindowTextLengthA(edit);
    if (len > 60000) {
        // The window shows the recent past; cut the front instead of letting
        // the control fill up and refuse new lines.
        SendMessageA(edit, EM_SETSEL, 0, len / 2);
        SendMessageA(edit, EM_REPLACESEL, FALSE, (LPARAM) "");
        len = GetWindowTextLengthA(edit);
    }
    SendMessageA(edit, EM_SETSEL, len, len);
    char line[kLogWidth + 3];
    snprintf(line, sizeof line, "%.*s\r\n", kLogWidth, text);
    SendMessageA(edit, EM_REPLACESEL, FALSE, (LPARAM)line);
}

void LogLine(const char *text)
{
    if (!text)
        return;
    // Debug lines only when asked for.
    if (text[0] == '[' && !g_cfg.verbose)
        return;
    AddLogBuffer(text);
    if (g_cmd.unattended) {
        FILE *f = fopen("xferlog.txt", "a");
        if (f) {
            fprintf(f, "%s\n", text);
            fclose(f);
        }
    }
    s_scroll = 0;
    RefreshStatusLines();
    if (HWND edit = LogEdit())
        AppendToEdit(edit, text);
}

// ---------------------------------------------------------------- log window

static void SaveLog(HWND owner)
{
    char name[MAX_PATH] = "";
    if (!InputBox(owner, "Enter name for log file:", name, sizeof name) || !name[0])
        return;
    FILE *f = fopen(name, "w");
    if (!f) {
        Logf("! %s %s", "Failed to open file", name);
        return;
    }
    for (int i = s_count - 1; i >= 0; --i) {
        char line[kLogWidth + 1];
        LogLineAt(i, line, sizeof line);
        fprintf(f, "%s\n", line);
    }
    fclose(f);
}

LRESULT CALLBACK LogWndProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_CREATE: {
        HWND edit = CreateWindowExA(WS_EX_CLIENTEDGE, "EDIT", "",
                                    WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE | ES_AUTOVSCROLL |
                                        ES_AUTOHSCROLL | ES_READONLY,
                                    0, 0, 10, 10, wnd, (HMENU)1, g_inst, nullptr);
        SendMessageA(edit, WM_SETFONT, (WPARAM)GetStockObject(ANSI_FIXED_FONT), 0);
        SendMessageA(edit, EM_SETLIMITTEXT, 0x7FFFFFFE, 0);
        for (int i = s_count - 1; i >= 0; --i) {
            char line[kLogWidth + 1];
            LogLineAt(i, line, sizeof line);
            AppendToEdit(edit, line);
        }
        return 0;
    }
    case WM_SIZE:
        MoveWindow(GetDlgItem(wnd, 1), 0, 0, LOWORD(lp), HIWORD(lp), TRUE);
        return 0;
    case WM_COMMAND:
        switch (LOWORD(wp)) {
        case CMD_LOGCLOSE:
            DestroyWindow(wnd);
            return 0;
        case CMD_LOGSAVE:
            SaveLog(wnd);
            return 0;
        }
        break;
    case WM_DESTROY: {
        RECT r;
        if (GetWindowRect(wnd, &r) && !IsIconic(wnd)) {
            g_logRect = r;
            g_logRectValid = 1;
        }
        g_logWnd = nullptr;
        return 0;
    }
    }
    return DefWindowProcA(wnd, msg, wp, lp);
}

void ShowLogWindow()
{
    if (g_logWnd) {
        ShowWindow(g_logWnd, SW_SHOWNORMAL);
        SetWindowPos(g_logWnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
        SetForegroundWindow(g_logWnd);
        return;
    }
    int x, y, w, h;
    if (g_logRectValid) {
        x = g_logRect.left;
        y = g_logRect.top;
        w = g_logRect.right - g_logRect.left;
        h = g_logRect.bottom - g_logRect.top;
    } else {
        RECT r = {0, 0, 600, 400};
        if (g_main)
            GetWindowRect(g_main, &r);
        x = r.left;
        y = r.top + 40;
        w = r.right - r.left;
        h = (r.bottom - r.top) / 2;
    }
    g_logWnd = CreateWindowExA(0, "TESSELDBWNDC", "Message Log", WS_OVERLAPPEDWINDOW, x, y, w, h, nullptr, nullptr,
                               g_inst, nullptr);
    if (g_logWnd) {
        ShowWindow(g_logWnd, SW_SHOWNORMAL);
        UpdateWindow(g_logWnd);
    }
}

} // namespace t95
