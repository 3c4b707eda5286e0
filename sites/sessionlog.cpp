// The session's hidden connection-log window: it holds the engine's log,
// runs the keep-alive timer and relays the engine's progress and timing
// messages to whichever window shows a transfer.
#include "session.h"
#include "resource.h"
#include "sitesint.h"

#include <string.h>

namespace {

const UINT_PTR kKeepAliveTimer = 1;
const UINT kDestroyLog = WM_APP + 1; // sent by a session released on another thread

} // namespace

INT_PTR CALLBACK SessionLogProc(HWND w, UINT msg, WPARAM wp, LPARAM lp)
{
    SiteSession *s = (SiteSession *)GetWindowLongPtrA(w, DWLP_USER);
    switch (msg) {
    case WM_INITDIALOG:
        SetWindowLongPtrA(w, DWLP_USER, lp);
        SetTimer(w, kKeepAliveTimer, 1000, nullptr);
        return TRUE;
    case WM_TIMER:
        if (wp == kKeepAliveTimer && s)
            s->OnKeepAliveTick();
        return TRUE;
    case WM_TESSEL_PROGRESS:
        if (s)
            s->RelayProgress(wp, lp);
        return TRUE;
    case WM_TESSEL_TIMING:
        if (s)
            s->RelayTiming(wp, lp);
        return TRUE;
    case WM_CLOSE:
        ShowWindow(w, SW_HIDE); // closing only hides: the log lives with the session
        return TRUE;
    case kDestroyLog:
        DestroyWindow(w);
        return TRUE;
    case WM_COMMAND: {
        HWND edit = GetDlgItem(w, IDC_SLOG_TEXT);
        switch (LOWORD(wp)) {
        case IDC_SLOG_COPY:
            SendMessageA(edit, WM_COPY, 0, 0);
            return TRUE;
        case IDC_SLOG_SELALL:
            SendMessageA(edit, EM_SETSEL, 0, -1);
            return TRUE;
        case IDC_SLOG_TEXT:
            return FALSE; // notifications of the edit control
        case IDCANCEL:
            ShowWindow(w, SW_HIDE);
            return TRUE;
        default:
            MessageBeep(0);
            return TRUE;
        }
    }
    case WM_DESTROY:
        KillTimer(w, kKeepAliveTimer);
        SetWindowLongPtrA(w, DWLP_USER, 0);
        return FALSE;
    }
    return FALSE;
}

HRESULT SiteSession::CreateLogWindow()
{
    logWnd_ = CreateDialogParamA(TesselModule(), MAKEINTRESOURCEA(IDD_SESSION_LOG), nullptr, SessionLogProc,
                                 (LPARAM)this);
    if (!logWnd_)
        return E_FAIL;
    char title[300];
    snprintf(title, sizeof title, "%s", site_);
    SetWindowTextA(logWnd_, title);
    logEdit_ = GetDlgItem(logWnd_, IDC_SLOG_TEXT);
    if (logEdit_)
        SendMessageA(logEdit_, EM_SETLIMITTEXT, 0x7FFFFFFE, 0);
    return S_OK;
}

void SiteSession::DestroyLogWindow()
{
    HWND w = logWnd_;
    logWnd_ = nullptr;
    logEdit_ = nullptr;
    if (!w || !IsWindow(w))
        return;
    SetWindowLongPtrA(w, DWLP_USER, 0);
    if (GetWindowThreadProcessId(w, nullptr) == GetCurrentThreadId())
        DestroyWindow(w);
    else
        PostMessageA(w, kDestroyLog, 0, 0);
}

void SiteSession::ShowLog(BOOL show)
{
    if (logWnd_)
        ShowWindow(logWnd_, show ? SW_SHOW : SW_HIDE);
}

BOOL SiteSession::TranslateAccel(MSG *msg)
{
    return logWnd_ && IsWindowVisible(logWnd_) && IsDialogMessageA(logWnd_, msg);
}

std::string SiteSession::LogText() const
{
    if (!logEdit_)
        return std::string();
    int n = GetWindowTextLengthA(logEdit_);
    std::string s((size_t)n + 1, '\0');
    GetWindowTextA(logEdit_, &s[0], n + 1);
    s.resize(strnlen(s.c_str(), (size_t)n));
    return s;
}

void SiteSession::OnKeepAliveTick()
{
    // Idle means: a record, no operation and no connect running, the engine
    // not busy, and a period set.  Anything else starts the count again.
    if (!ci_ || opsRunning_ || connectOpen_ || connectThreadId_ || ci_->busy || keepAliveLimit_ <= 0 ||
        state_ != kSessionReady) {
        keepAliveCounter_ = 0;
        return;
    }
    if (++keepAliveCounter_ <= keepAliveLimit_)
        return;
    keepAliveCounter_ = 0;
    SessionOp op(this);
    InterlockedIncrement(&keepAliveSent_);
    int code = TESSEL_DoCmd(ci_, "NOOP", nullptr);
    // No reply, or the server saying it is closing the session: the
    // connection is gone, and the next use connects afresh.
    if (code == 0 || code == 421 || code == 500)
        DropRecord();
}

void SiteSession::RelayProgress(WPARAM wp, LPARAM lp)
{
    HWND to = progressWnd_;
    if (!to)
        return;
    WPARAM kb = wp / 1024;
    if (kb == lastRelayedKb_)
        return;
    lastRelayedKb_ = kb;
    PostMessageA(to, WM_TESSEL_PROGRESS, wp, lp);
}

void SiteSession::RelayTiming(WPARAM wp, LPARAM lp)
{
    if (progressWnd_)
        PostMessageA(progressWnd_, WM_TESSEL_TIMING, wp, lp);
}
