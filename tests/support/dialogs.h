// Answering the library's dialogs from a test thread: find a dialog of this
// process by its title (or of any process, for programs the test starts),
// always with a deadline.
#ifndef TESSEL_TEST_DIALOGS_H
#define TESSEL_TEST_DIALOGS_H

#include <winsock2.h>
#include <windows.h>

#include <string>

namespace dlg {

struct FindArgs {
    const char *title;
    bool anyProcess;
    HWND found;
};

inline BOOL CALLBACK FindProc(HWND w, LPARAM lp)
{
    FindArgs *a = (FindArgs *)lp;
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    if (!a->anyProcess && pid != GetCurrentProcessId())
        return TRUE;
    char cls[64] = "", title[512] = "";
    GetClassNameA(w, cls, sizeof cls);
    GetWindowTextA(w, title, sizeof title);
    if (!strcmp(cls, "#32770") && IsWindowVisible(w) && !strcmp(title, a->title)) {
        a->found = w;
        return FALSE;
    }
    return TRUE;
}

// The visible dialog with that exact title, or null after ms.
inline HWND WaitFor(const char *title, DWORD ms = 20000, bool anyProcess = false)
{
    FindArgs a = {title, anyProcess, nullptr};
    DWORD start = GetTickCount();
    while (GetTickCount() - start < ms) {
        EnumWindows(FindProc, (LPARAM)&a);
        if (a.found)
            return a.found;
        Sleep(20);
    }
    return nullptr;
}

inline std::string Text(HWND dlg, int id)
{
    char buf[1024] = "";
    GetDlgItemTextA(dlg, id, buf, sizeof buf);
    return buf;
}

inline void SetText(HWND dlg, int id, const char *text) { SetDlgItemTextA(dlg, id, text); }

// Presses a button the way a click does.
inline void Press(HWND dlg, int id) { PostMessageA(dlg, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)GetDlgItem(dlg, id)); }

// Waits until the window is gone.
inline bool WaitGone(HWND w, DWORD ms = 10000)
{
    DWORD start = GetTickCount();
    while (IsWindow(w) && GetTickCount() - start < ms)
        Sleep(20);
    return !IsWindow(w);
}

} // namespace dlg

#endif
