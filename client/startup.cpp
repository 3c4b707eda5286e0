// Start-up, window classes, self-registration, the message loop and the
// orderly exit of tessel95.
#include "client.h"
#include "resource.h"

#include <mmsystem.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

namespace t95 {

HINSTANCE g_inst;
HWND g_main;
HWND g_splash;
char g_startDir[150];
int g_useThreads = 1;
CRITICAL_SECTION g_busyLock;
int g_quitFlag;
char g_appTitle[64] = T95_APPNAME;
RECT g_mainRect;
int g_vsplit, g_hsplit;
RECT g_logRect;
int g_logRectValid;

static HBITMAP s_splashBmp;
static HACCEL s_accel;

// ---------------------------------------------------------------- own temporary files

static std::vector<std::string> s_tempFiles;

void RememberTempFile(const char *path)
{
    s_tempFiles.push_back(path);
}

void ForgetTempFile(const char *path)
{
    for (size_t i = 0; i < s_tempFiles.size(); ++i)
        if (!lstrcmpiA(s_tempFiles[i].c_str(), path)) {
            s_tempFiles.erase(s_tempFiles.begin() + (long)i);
            return;
        }
}

void DeleteOwnTempFiles()
{
    // Only the view and edit copies this instance made: another instance's
    // files in the same folder may be an edit still in progress.
    for (const std::string &p : s_tempFiles)
        DeleteFileA(p.c_str());
    s_tempFiles.clear();
}

// ---------------------------------------------------------------- helpers

void PlayEvent(int event)
{
    if (!g_cfg.bell || !(g_cfg.soundflags & event))
        return;
    int index = event == SND_OTHER_FAIL ? 0 : event == SND_CONNECT_OK ? 1 : event == SND_CONNECT_FAIL ? 2
                                         : event == SND_XFER_OK       ? 3
                                                                       : 4;
    const char *wave = g_cfg.snd[index];
    if (g_cfg.usewave && wave[0] && GetFileAttributesA(wave) != INVALID_FILE_ATTRIBUTES)
        PlaySoundA(wave, nullptr, SND_ASYNC | SND_FILENAME | SND_NODEFAULT);
    else
        MessageBeep(event & (SND_CONNECT_OK | SND_XFER_OK) ? MB_OK : MB_ICONEXCLAMATION);
}

void CloseSession(int saveHistories)
{
    Ftp &f = g_ftp;
    StopWorker();
    f.stop = 1;
    if (f.pasv != INVALID_SOCKET) {
        closesocket(f.pasv);
        f.pasv = INVALID_SOCKET;
    }
    if (f.listen != INVALID_SOCKET) {
        closesocket(f.listen);
        f.listen = INVALID_SOCKET;
    }
    if (f.ctrl != INVALID_SOCKET) {
        f.cancel = 0;
        f.cmdInProgress = 0;
        SendCommand("QUIT");
        SOCKET s = f.ctrl;
        f.ctrl = INVALID_SOCKET;
        CloseSocket(s);
    }
    f.connected = 0;
    f.busy = 0;
    f.cmdInProgress = 0;
    f.carryLen = 0;
    if (saveHistories && g_main) {
        SaveHistory(g_session.name, "rdir%u", GetDlgItem(g_main, IDC_RDIR), 1);
        SaveHistory(g_session.name, "ldir%u", GetDlgItem(g_main, IDC_LDIR), 0);
    }
    if (g_main) {
        SetWindowTextA(g_main, T95_APPNAME);
        SetConnectText(0);
        ClearList(GetDlgItem(g_main, IDC_RLIST));
        SetDlgItemTextA(g_main, IDC_RDIR, "");
        ClearRemoteCache();
        UpdateButtons();
    }
}

// ---------------------------------------------------------------- registration

int Register(const char *exePath)
{
    HKEY key;
    char value[MAX_PATH + 32];
    int ok = 0;
    if (RegCreateKeyExA(HKEY_CLASSES_ROOT, "ftp\\DefaultIcon", 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) ==
        ERROR_SUCCESS) {
        snprintf(value, sizeof value, "%s,0", exePath);
        ok = RegSetValueExA(key, nullptr, 0, REG_SZ, (const BYTE *)value, (DWORD)strlen(value) + 1) == ERROR_SUCCESS;
        RegCloseKey(key);
    }
    if (RegCreateKeyExA(HKEY_CLASSES_ROOT, "ftp\\shell\\open\\command", 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                        nullptr) == ERROR_SUCCESS) {
        // The URL is quoted: a URL with a blank must stay one argument, or
        // its second half would be taken as a local destination.
        snprintf(value, sizeof value, "\"%s\" \"%%1\"", exePath);
        RegSetValueExA(key, nullptr, 0, REG_SZ, (const BYTE *)value, (DWORD)strlen(value) + 1);
        RegCloseKey(key);
    }
    if (RegCreateKeyExA(HKEY_CLASSES_ROOT, "ftp\\shell\\open", 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) ==
        ERROR_SUCCESS) {
        static const BYTE flags[4] = {1, 0, 0, 0};
        RegSetValueExA(key, "EditFlags", 0, REG_BINARY, flags, sizeof flags);
        RegCloseKey(key);
    }
    return ok;
}

// ---------------------------------------------------------------- splash

LRESULT CALLBACK SplashWndProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_PAINT) {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(wnd, &ps);
        if (s_splashBmp) {
            HDC mem = CreateCompatibleDC(dc);
            HGDIOBJ old = SelectObject(mem, s_splashBmp);
            BITMAP bm;
            GetObjectA(s_splashBmp, sizeof bm, &bm);
            RECT r;
            GetClientRect(wnd, &r);
            StretchBlt(dc, 0, 0, r.right, r.bottom, mem, 0, 0, bm.bmWidth, bm.bmHeight, SRCCOPY);
            SelectObject(mem, old);
            DeleteDC(mem);
        }
        EndPaint(wnd, &ps);
        return 0;
    }
    if (msg == WM_DESTROY && g_splash == wnd)
        g_splash = nullptr;
    return DefWindowProcA(wnd, msg, wp, lp);
}

static void ShowSplash()
{
    WNDCLASSA wc = {};
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = SplashWndProc;
    wc.hInstance = g_inst;
    wc.hIcon = LoadIconA(g_inst, "APP_MAIN");
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.lpszClassName = "TESSELSPLASH";
    RegisterClassA(&wc);
    s_splashBmp = LoadBitmapA(g_inst, "BMPSPLASH1");
    int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
    g_splash = CreateWindowExA(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, "TESSELSPLASH", "", WS_POPUP | WS_VISIBLE,
                               sw / 2 - 189, sh / 2 - 139, 377, 277, nullptr, nullptr, g_inst, nullptr);
    if (!g_splash) {
        char msg[64];
        snprintf(msg, sizeof msg, "Error %u creating window", (unsigned)GetLastError());
        AskUser(nullptr, msg, T95_APPNAME, MB_OK | MB_ICONSTOP);
        return;
    }
    UpdateWindow(g_splash);
}

static void CloseSplash()
{
    if (g_splash)
        DestroyWindow(g_splash);
    g_splash = nullptr;
}

// ---------------------------------------------------------------- classes

int RegisterClasses()
{
    WNDCLASSA wc = {};
    wc.style = CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW | CS_BYTEALIGNWINDOW;
    wc.lpfnWndProc = WndProc;
    wc.hInstance = g_inst;
    wc.hIcon = LoadIconA(g_inst, "APP_MAIN");
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = (HBRUSH)(COLOR_BTNFACE + 1);
    wc.lpszClassName = T95_APPNAME;
    if (!RegisterClassA(&wc))
        return 0;
    WNDCLASSA lc = {};
    lc.lpfnWndProc = LogWndProc;
    lc.hInstance = g_inst;
    lc.hIcon = LoadIconA(g_inst, "APP_MAIN");
    lc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    lc.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
    lc.lpszMenuName = "LOGMENU";
    lc.lpszClassName = "TESSELDBWNDC";
    RegisterClassA(&lc);
    WNDCLASSA bc = {};
    bc.lpfnWndProc = BalloonWndProc;
    bc.hInstance = g_inst;
    bc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    bc.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
    bc.cbWndExtra = 8;
    bc.lpszClassName = "TESSELBALLOONWND";
    RegisterClassA(&bc);
    return 1;
}

static void UnregisterClasses()
{
    UnregisterClassA(T95_APPNAME, g_inst);
    UnregisterClassA("TESSELDBWNDC", g_inst);
    UnregisterClassA("TESSELBALLOONWND", g_inst);
    UnregisterClassA("TESSELSPLASH", g_inst);
}

// "x,y,w,h" or "x,y,w,h,vsplit,hsplit"; anything else is ignored.
static int ParseRect(const char *text, int *v, int maxFields)
{
    int n = 0;
    const char *p = text;
    while (*p && n < maxFields + 1) {
        char *end;
        long x = strtol(p, &end, 10);
        if (end == p || x < -32000 || x > 32000)
            return 0;
        v[n < maxFields ? n : maxFields - 1] = (int)x;
        ++n;
        p = end;
        while (*p == ' ')
            ++p;
        if (*p == ',')
            ++p;
        else if (*p)
            return 0;
    }
    return n;
}

static void ReadPlacement()
{
    char text[128];
    int v[6];
    if (ReadIniText(T95_CONFIG, "LOC", "", text, sizeof text) && text[0]) {
        int n = ParseRect(text, v, 6);
        if ((n == 4 || n == 6) && v[2] > 0 && v[3] > 0) {
            g_mainRect.left = v[0];
            g_mainRect.top = v[1];
            g_mainRect.right = v[0] + v[2];
            g_mainRect.bottom = v[1] + v[3];
            if (n == 6 && v[4] >= 0 && v[5] >= 0) {
                g_vsplit = v[4];
                g_hsplit = v[5];
            }
        }
    }
    if (ReadIniText(T95_CONFIG, "SLOC", "", text, sizeof text) && text[0]) {
        if (ParseRect(text, v, 4) == 4 && v[2] > 0 && v[3] > 0) {
            SetRect(&g_logRect, v[0], v[1], v[0] + v[2], v[1] + v[3]);
            g_logRectValid = 1;
        }
    }
}

void CleanupAtExit()
{
    Ftp &f = g_ftp;
    if (f.pasv != INVALID_SOCKET)
        closesocket(f.pasv);
    if (f.listen != INVALID_SOCKET)
        closesocket(f.listen);
    f.pasv = f.listen = INVALID_SOCKET;
    if (f.ctrl != INVALID_SOCKET) {
        f.cancel = 0;
        f.cmdInProgress = 0;
        f.busy = 0;
        SendCommand("QUIT");
        SOCKET s = f.ctrl;
        f.ctrl = INVALID_SOCKET;
        CloseSocket(s);
    }
    f.connected = 0;
    ClearRemoteCache();
    DeleteOwnTempFiles();
    CloseSplash();
    FreeGdi();
    if (s_splashBmp)
        DeleteObject(s_splashBmp);
    s_splashBmp = nullptr;
    UnregisterClasses();
}

int TesselMain(HINSTANCE inst, HINSTANCE prev, const char *cmdLine, int show)
{
    g_inst = inst;
    if (!cmdLine)
        cmdLine = "";
    // 1. Caption and class name.
    snprintf(g_appTitle, sizeof g_appTitle, "%s", T95_APPNAME);
    // 2. Self-registration of the URL handler.
    if (!lstrcmpiA(cmdLine, "-config")) {
        char path[MAX_PATH];
        GetModuleFileNameA(nullptr, path, sizeof path);
        int ok = Register(path);
        AskUser(nullptr, ok ? "Initialized, restart" : "Initialization failed.\nRegistry access failed.",
                    T95_APPNAME, MB_OK);
        return 0;
    }
    // 3. Worker threads everywhere but on Win32s.
    OSVERSIONINFOA vi = {sizeof vi};
    GetVersionExA(&vi);
    g_useThreads = !(vi.dwPlatformId == VER_PLATFORM_WIN32s || (vi.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS &&
                                                                 vi.dwMajorVersion < 4));
    // 4.
    InitBusyLock();
    // 5.  Whether anybody is there to answer is settled here, before the
    // configuration is read: loading the remembered session may ask for an
    // e-mail address, and in a run nobody watches nothing may ask.  Such a
    // run logs to xferlog.txt from its first line.
    g_cmd.nobody = IsUnattendedCommandLine(cmdLine);
    if (g_cmd.nobody)
        g_cmd.unattended = 1;
    int unattended = strlen(cmdLine) > 3 || g_cmd.nobody;
    int code = 0;
    WSADATA wsa;
    int wsErr = WSAStartup(MAKEWORD(1, 1), &wsa);
    if (wsErr) {
        Logf("! %s: %s", "WSAStartup", ErrorText(wsErr));
        AskUser(nullptr, ErrorText(wsErr), "WSAStartup", MB_OK | MB_ICONWARNING);
        CleanupAtExit();
        // A run nobody watches has only its exit code to say it failed.
        return g_cmd.nobody ? 1 : 0;
    }
    if (!unattended)
        ShowSplash();
    InstallBlockingHook();
    if (!prev && !RegisterClasses()) {
        CloseSplash();
        LogLine("! Error registering window class");
        AskUser(nullptr, "Error registering window class", T95_APPNAME, MB_OK | MB_ICONSTOP);
        WSACleanup();
        return -1;
    }
    // 10. Default placement.
    int sw = GetSystemMetrics(SM_CXSCREEN);
    SetRect(&g_mainRect, 10, 10, 10 + sw * 5 / 6, 10 + 440);
    g_vsplit = sw * 5 / 12;
    g_hsplit = 0;
    // 11. Files, configuration, options.
    SetConfigDefaults();
    ClearSession(&g_session);
    LocateAllFiles();
    LoadConfig();
    static char rest[8192];
    if (!ParseOptions(cmdLine, rest, sizeof rest))
        rest[0] = 0;
    // 12.
    ReadPlacement();
    // 13.
    LoadBitmaps();
    g_main = CreateWindowExA(0, T95_APPNAME, g_appTitle, WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, g_mainRect.left,
                             g_mainRect.top, g_mainRect.right - g_mainRect.left, g_mainRect.bottom - g_mainRect.top,
                             nullptr, nullptr, inst, nullptr);
    if (!g_main) {
        CloseSplash();
        LogLine("! Window creation failed");
        AskUser(nullptr, "Window creation failed", T95_APPNAME, MB_OK | MB_ICONSTOP);
        WSACleanup();
        return 2;
    }
    // 14.
    // A run nobody watches always goes through the command line, which ends
    // it (with a log line and an exit code) even when nothing could be run.
    unattended = g_cmd.src[0] || g_cmd.batch[0] || strlen(rest) > 3 || g_cmd.nobody;
    if (unattended || show == SW_MINIMIZE || show == SW_SHOWMINIMIZED || show == SW_SHOWMINNOACTIVE)
        ShowWindow(g_main, SW_SHOWMINNOACTIVE);
    else
        ShowWindow(g_main, g_cfg.maximize ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL);
    UpdateWindow(g_main);
    LogLine(T95_APPNAME " - FTP client for Windows");
    // 15.
    GetCurrentDirectoryA(sizeof g_startDir, g_startDir);
    if (g_session.localDir[0])
        SetCurrentDirectoryA(!lstrcmpiA(g_session.localDir, "origdir") ? g_startDir : g_session.localDir);
    RefreshLocal();
    // 16.
    static char posted[8192];
    if (unattended) {
        snprintf(posted, sizeof posted, "%s", rest);
        PostMessageA(g_main, WM_COMMAND, CMD_COMMANDLINE, (LPARAM)posted);
    } else if (g_cfg.autoStart) {
        PostMessageA(g_main, WM_COMMAND, IDC_CONNECT, 0);
    }
    // 17.
    s_accel = LoadAcceleratorsA(inst, "ACCEL");
    if (!g_cfg.autoStart || unattended)
        CloseSplash();
    // 18.
    MSG msg;
    code = 0;
    while (!g_quitFlag) {
        BOOL r = GetMessageA(&msg, nullptr, 0, 0);
        if (r == 0) {
            code = (int)msg.wParam;
            break;
        }
        if (r == -1)
            break;
        if (g_progressDlg && IsDialogMessageA(g_progressDlg, &msg))
            continue;
        if (g_main && s_accel && TranslateAcceleratorA(g_main, s_accel, &msg))
            continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    if (g_quitFlag && g_main)
        code = g_cmd.unattended ? (g_cmd.lastResult ? 0 : 1) : 0;
    // 19.
    CleanupAtExit();
    WSACleanup();
    return code;
}

} // namespace t95
