// tesselsetup: start-up, the main window with its logo, and the restart.
#include "setupres.h"
#include "setup.h"

#include <string.h>

namespace {

const char kClass[] = "tesselsetup";
const char kTitle[] = "TESSEL Pro Install (32)";
const COLORREF kBackground = RGB(0, 0, 128);

InstallState g_state;
HBITMAP g_logo;

void Paint(HWND wnd)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(wnd, &ps);
    RECT rc;
    GetClientRect(wnd, &rc);
    HBRUSH bg = CreateSolidBrush(kBackground);
    FillRect(dc, &rc, bg);
    DeleteObject(bg);
    if (g_logo) {
        BITMAP bm;
        GetObjectA(g_logo, sizeof bm, &bm);
        HDC mem = CreateCompatibleDC(dc);
        HGDIOBJ old = SelectObject(mem, g_logo);
        // In the upper part: the dialogs open centred over the window.
        BitBlt(dc, (rc.right - bm.bmWidth) / 2, (rc.bottom / 2 - bm.bmHeight) / 3, bm.bmWidth, bm.bmHeight, mem, 0, 0,
               SRCCOPY);
        SelectObject(mem, old);
        DeleteDC(mem);
    }
    EndPaint(wnd, &ps);
}

LRESULT CALLBACK MainProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_PAINT:
        Paint(wnd);
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_COMMAND:
        if (LOWORD(wp) == CMD_RUN) {
            g_state.owner = wnd;
            if (g_state.removeOnly) {
                RunRemoval(g_state);
            } else {
                int choice = AskInstallOrRemove(g_state);
                if (choice == IDC_INSTALL)
                    RunInstall(g_state);
                else if (choice == IDC_REMOVE)
                    RunRemoval(g_state);
            }
            CloseProgress(g_state);
            DestroyWindow(wnd);
            return 0;
        }
        break;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(wnd, msg, wp, lp);
}

void Restart(const InstallState &st)
{
    if (st.nt) {
        HANDLE token;
        if (OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
            TOKEN_PRIVILEGES tp = {};
            tp.PrivilegeCount = 1;
            tp.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
            if (LookupPrivilegeValueA(nullptr, SE_SHUTDOWN_NAME, &tp.Privileges[0].Luid))
                AdjustTokenPrivileges(token, FALSE, &tp, 0, nullptr, nullptr);
            CloseHandle(token);
        }
    }
    ExitWindowsEx(EWX_REBOOT, 0);
}

bool StartedAs(const char *name)
{
    char me[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, me, sizeof me);
    const char *base = strrchr(me, '\\');
    base = base ? base + 1 : me;
    return lstrcmpiA(base, name) == 0;
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR cmdLine, int show)
{
    InstallState &st = g_state;
    st.instance = instance;
    DetectSystem(st);
    st.removeOnly = cmdLine && strstr(cmdLine, "/remove") != nullptr;
    if (st.removeOnly) {
        // The uninstaller's temporary copy goes at the next restart.
        char me[MAX_PATH] = "";
        GetModuleFileNameA(nullptr, me, sizeof me);
        if (!StartedAs(SETUP_UNINSTALLER))
            MoveFileExA(me, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    } else if (StartedAs(SETUP_UNINSTALLER)) {
        if (RelaunchFromTemp(st))
            return 0;
        st.removeOnly = true; // no temporary copy: remove from here
    }
    CoInitialize(nullptr);

    WNDCLASSA wc = {};
    wc.lpfnWndProc = MainProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_SETUP));
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.lpszClassName = kClass;
    if (!RegisterClassA(&wc)) {
        ShowMessage(st, IDS_NO_WINCLASS, MB_OK | MB_ICONSTOP);
        return 1;
    }
    g_logo = (HBITMAP)LoadImageA(instance, MAKEINTRESOURCEA(IDB_LOGO), IMAGE_BITMAP, 0, 0, 0);

    int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
    int w = sw * 4 / 5, h = sh * 4 / 5;
    if (sw < 750 || sh < 500) {
        w = 600;
        h = 400;
    }
    HWND wnd = CreateWindowA(kClass, kTitle, WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, (sw - w) / 2,
                             (sh - h) / 2, w, h, nullptr, nullptr, instance, nullptr);
    if (!wnd) {
        ShowMessage(st, IDS_NO_WINDOW, MB_OK | MB_ICONSTOP);
        return 1;
    }
    ShowWindow(wnd, show ? show : SW_SHOWNORMAL);
    UpdateWindow(wnd);
    PostMessageA(wnd, WM_COMMAND, CMD_RUN, 0);

    MSG m;
    while (GetMessageA(&m, nullptr, 0, 0) > 0) {
        TranslateMessage(&m);
        DispatchMessageA(&m);
    }
    if (g_logo)
        DeleteObject(g_logo);
    CoUninitialize();
    if (st.restartNow)
        Restart(st);
    return 0;
}
