// Site sessions: lifetime, the list of live sessions, and the connect job
// with its thread and login loop.
#include "session.h"
#include "module.h"
#include "resource.h"
#include "sessiontext.h"
#include "sitesint.h"
#include "tessel_sites.h"

#include <process.h>
#include <shlobj.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>

namespace {

void (*g_sessionAdded)(SiteSession *);
void (*g_sessionRemoved)(SiteSession *);

// Every live session of the process, so that a pointer handed back through
// an export can be checked before it is used.
struct LiveList {
    CRITICAL_SECTION cs;
    std::vector<const void *> items;
    LiveList() { InitializeCriticalSection(&cs); }
} g_live;

void CopyText(char *dst, size_t size, const char *src)
{
    if (!size)
        return;
    if (!src)
        src = "";
    size_t n = strnlen(src, size - 1);
    memcpy(dst, src, n);
    dst[n] = 0;
}

std::string Printf1(UINT id, const char *fallback, const char *insert)
{
    std::string fmt = LoadStr(id, fallback);
    char buf[1024];
    snprintf(buf, sizeof buf, fmt.c_str(), insert ? insert : "");
    return buf;
}

} // namespace

void SetSessionListHooks(void (*added)(SiteSession *), void (*removed)(SiteSession *))
{
    g_sessionAdded = added;
    g_sessionRemoved = removed;
}

size_t ItemListSize(const void *list, size_t maxBytes)
{
    if (!list)
        return 0;
    const BYTE *p = (const BYTE *)list;
    size_t off = 0;
    while (off + 2 <= maxBytes) {
        uint16_t cb;
        memcpy(&cb, p + off, 2);
        if (cb == 0)
            return off + 2;
        if (cb < 2)
            return 0;
        off += cb;
    }
    return 0;
}

SiteSession::SiteSession()
{
    memset(&profile_, 0, sizeof profile_);
    profile_.size = sizeof profile_;
    InitializeCriticalSection(&navLock_);
    InitializeCriticalSection(&textLock_);
    LiveObjectAdd();
}

SiteSession::~SiteSession()
{
    EnterCriticalSection(&g_live.cs);
    g_live.items.erase(std::remove(g_live.items.begin(), g_live.items.end(), (const void *)this), g_live.items.end());
    LeaveCriticalSection(&g_live.cs);
    if (g_sessionRemoved)
        g_sessionRemoved(this);
    Disconnect();
    DestroyLogWindow();
    // The profile held the password in clear.
    SecureZeroMemory(&profile_, sizeof profile_);
    DeleteCriticalSection(&navLock_);
    DeleteCriticalSection(&textLock_);
    LiveObjectRemove();
}

SiteSession *SiteSession::Create(const char *siteName)
{
    if (!siteName || !*siteName || strnlen(siteName, 256) >= 256)
        return nullptr;
    SiteSession *s = new (std::nothrow) SiteSession();
    if (!s)
        return nullptr;
    CopyText(s->site_, sizeof s->site_, siteName);
    EnterCriticalSection(&g_live.cs);
    g_live.items.push_back(s);
    LeaveCriticalSection(&g_live.cs);
    if (g_sessionAdded)
        g_sessionAdded(s);
    return s;
}

bool SiteSession::IsLive(const void *p)
{
    if (!p)
        return false;
    EnterCriticalSection(&g_live.cs);
    bool found = std::find(g_live.items.begin(), g_live.items.end(), p) != g_live.items.end();
    LeaveCriticalSection(&g_live.cs);
    return found;
}

ULONG SiteSession::AddRef() { return (ULONG)InterlockedIncrement(&refs_); }

bool SiteSession::TryAddRef()
{
    for (;;) {
        LONG n = refs_;
        if (n <= 0)
            return false;
        if (InterlockedCompareExchange(&refs_, n + 1, n) == n)
            return true;
    }
}

ULONG SiteSession::Release()
{
    LONG n = InterlockedDecrement(&refs_);
    if (n == 0)
        delete this;
    return (ULONG)n;
}

void SiteSession::SetRootItems(const void *itemList)
{
    size_t n = ItemListSize(itemList, 0x100000);
    if (n)
        rootItems_.assign((const BYTE *)itemList, (const BYTE *)itemList + n);
    else
        rootItems_.clear();
}

std::string SiteSession::LastStatus() const
{
    EnterCriticalSection(&textLock_);
    std::string s = lastStatus_;
    LeaveCriticalSection(&textLock_);
    return s;
}

void SiteSession::Status(UINT id, const char *fallback, const char *insert)
{
    std::string text = Printf1(id, fallback, insert);
    EnterCriticalSection(&textLock_);
    lastStatus_ = text;
    LeaveCriticalSection(&textLock_);
    // Part 0 of the owner's status bar, when it has one.
    HWND owner = progressWnd_;
    HWND bar = owner ? FindWindowExA(owner, nullptr, STATUSCLASSNAMEA, nullptr) : nullptr;
    if (bar)
        SendMessageTimeoutA(bar, SB_SETTEXTA, 0, (LPARAM)text.c_str(), SMTO_ABORTIFHUNG, 1000, nullptr);
}

HRESULT SiteSession::Failure(DWORD flags, int code, const std::string &text, HWND owner)
{
    TESSEL_FAILUREINFO info = {};
    info.flags = flags;
    info.ci = ci_;
    info.replyCode = code;
    info.title = site_;
    info.headline = text.c_str();
    return TESSEL_FailureDlg(owner, &info);
}

// ---------------------------------------------------------------- connect

HRESULT SiteSession::Connect(HWND owner, BOOL async)
{
    if (connectThreadId_) {
        // A connect runs: bring its prompt forward; a synchronous caller
        // waits for that job rather than starting another.
        if (loginDlg_)
            SendMessageTimeoutA(loginDlg_, WM_TESSEL_TO_FRONT, 0, 0, SMTO_ABORTIFHUNG, 1000, nullptr);
        if (async)
            return S_OK;
        AddRef();
        while (connectThreadId_) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
            MSG m;
            while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&m);
                DispatchMessageA(&m);
            }
        }
        Release();
        return S_OK;
    }
    FTPSITEINFO fresh;
    memset(&fresh, 0, sizeof fresh);
    fresh.size = sizeof fresh;
    if (FAILED(TESSEL_GetFTPSiteInfo(site_, &fresh))) {
        SecureZeroMemory(&fresh, sizeof fresh);
        return E_UNEXPECTED;
    }
    memcpy(&profile_, &fresh, sizeof profile_);
    SecureZeroMemory(&fresh, sizeof fresh);
    if (!logWnd_)
        CreateLogWindow();
    if (!ci_) {
        ci_ = TESSEL_InitCINFO(logWnd_, logEdit_, WM_TESSEL_PROGRESS, 0);
        if (!ci_) {
            state_ = kSessionNoRecord;
            return E_UNEXPECTED;
        }
    }
    ci_->ownerContext = this;
    ci_->ownerData = site_;
    ci_->hostType = profile_.hostType;
    ci_->usePassive = (profile_.flags & SITE_PASSIVE) ? 1 : 0;
    ci_->progressOn = 1;
    ci_->initFlags |= CINFO_TIMING_MSGS;

    SessionConnectJob *job = (SessionConnectJob *)calloc(1, sizeof *job);
    if (!job)
        return E_OUTOFMEMORY;
    job->owner = owner;
    job->session = this;
    job->async = async;
    job_ = job;
    // The thread's reference and live count are taken here, before it can
    // run, so that neither the session nor the library can go away first.
    AddRef();
    LiveObjectAdd();
    unsigned tid = 0;
    HANDLE h = (HANDLE)_beginthreadex(nullptr, 0, ConnectThread, job, CREATE_SUSPENDED, &tid);
    if (!h) {
        LiveObjectRemove();
        job_ = nullptr;
        free(job);
        Release();
        return E_UNEXPECTED;
    }
    connectThreadId_ = tid;
    connectThread_ = h;
    ResumeThread(h);
    if (async)
        return S_OK;

    while (!job->done) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        MSG m;
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
            if (owner && IsDialogMessageA(owner, &m))
                continue;
            TranslateMessage(&m);
            DispatchMessageA(&m);
        }
    }
    if (!rootItems_.empty())
        SHChangeNotify(SHCNE_NETSHARE, SHCNF_IDLIST, rootItems_.data(), nullptr);
    // The thread may still be finishing its last lines.
    WaitForSingleObject(h, 5000);
    CloseHandle(h);
    connectThread_ = nullptr;
    HRESULT hr = job->result;
    job_ = nullptr;
    free(job);
    return hr;
}

unsigned __stdcall SiteSession::ConnectThread(void *arg)
{
    SessionConnectJob *job = (SessionConnectJob *)arg;
    SiteSession *s = job->session;
    s->RunConnect(job);
    // Nothing of the session or the job may be touched after this point
    // unless held: the reference and the live count were taken for us.
    bool async = job->async != 0;
    if (async) {
        if (s->connectThread_) {
            CloseHandle(s->connectThread_);
            s->connectThread_ = nullptr;
        }
        s->job_ = nullptr;
        free(job);
    }
    s->connectThreadId_ = 0;
    InterlockedDecrement(&s->connectOpen_);
    if (!async)
        InterlockedExchange(&job->done, 1);
    s->Release();
    LiveObjectRemove();
    return 0;
}

void SiteSession::RunConnect(SessionConnectJob *job)
{
    InterlockedIncrement(&connectOpen_);
    progressWnd_ = job->owner;
    HWND parent = job->owner ? GetParent(job->owner) : nullptr;
    const int fwType = (profile_.flags & SITE_USE_FIREWALL) ? profile_.fwType : 0;
    DWORD prompt = 0;
    bool connected = false;
    for (;;) {
        HRESULT hr = TESSEL_LoginFTPSiteDlg(this, parent, &profile_, prompt);
        prompt &= ~LOGIN_FIREWALL;
        if (hr != S_OK) {
            state_ = kSessionCancelled;
            break;
        }
        Status(IDS_CONNECTING, "Connecting to %s", profile_.host);
        state_ = kSessionConnecting;
        ci_->abortFlag = 0;
        ci_->cancelFlag = 0;
        // The profile's own fields (255 characters), not the record's
        // shorter copies.
            int code = ConnectLogin(ci_, profile_.host, profile_.port, profile_.user, profile_.password,
                                profile_.account, fwType, profile_.fwHost, profile_.fwPort, profile_.fwUser,
                                profile_.fwPassword);
        if (code == 609 || code == 610) {
            prompt |= LOGIN_RETRY | LOGIN_FIREWALL;
            continue;
        }
        if (code == 331 || code == 604 || code == 605) {
            PlayEventSound("TESSEL_NeedPass");
            Status(IDS_WAITING_PASSWORD, "Waiting for password", nullptr);
            state_ = kSessionNeedPassword;
            prompt |= code == 605 ? LOGIN_ASK_ACCOUNT : LOGIN_ASK_PASSWORD;
            hr = TESSEL_LoginFTPSiteDlg(this, parent, &profile_, prompt);
            prompt &= ~(LOGIN_FIREWALL | LOGIN_ASK_PASSWORD | LOGIN_ASK_ACCOUNT);
            if (hr != S_OK) {
                TESSEL_CloseConnect(ci_, 0);
                state_ = kSessionCancelled;
                break;
            }
            if (code == 605)
                code = TESSEL_DoCmd(ci_, "ACCT", profile_.account);
            else
                code = TESSEL_DoCmd(ci_, "PASS", profile_.password);
            if (code / 100 == 2)
                TESSEL_AutoDetectSyst(ci_);
        }
        if (code / 100 == 2) {
            PlayEventSound("TESSEL_ConGood");
            for (const std::string &cmd : SplitInitCommands(profile_.initCmd))
                TESSEL_DoCmd(ci_, cmd.c_str(), nullptr);
            state_ = kSessionStartup;
            if (profile_.remoteDir[0])
                TESSEL_DoCmd(ci_, "CWD", profile_.remoteDir);
            state_ = kSessionReady;
            Status(IDS_CONNECTED, "Connected", nullptr);
            connected = true;
            break;
        }
        PlayEventSound("TESSEL_ConFail");
        state_ = kSessionFailed;
        Status(IDS_CONNECT_FAILED, "Connection to %s failed", profile_.host);
        std::string text = Printf1(IDS_CONNECT_FAILED, "Connection to %s failed", profile_.host);
        TESSEL_FAILUREINFO info = {};
        info.flags = FAILURE_CONNECT;
        info.ci = ci_;
        info.replyCode = code;
        info.title = site_;
        info.headline = text.c_str();
        if (TESSEL_FailureDlg(parent, &info) != S_OK)
            break;
        prompt = LOGIN_RETRY;
    }
    progressWnd_ = nullptr;
    WriteBackStatistics(connected);
    job->result = S_OK;
    if (job->owner && IsWindow(job->owner))
        SendMessageTimeoutA(job->owner, WM_TESSEL_SESSION_DONE, connected ? 1 : 0, 0, SMTO_ABORTIFHUNG, 5000,
                            nullptr);
}

void SiteSession::WriteBackStatistics(bool connected)
{
    FTPSITEINFO p;
    memset(&p, 0, sizeof p);
    p.size = sizeof p;
    if (SUCCEEDED(TESSEL_GetFTPSiteInfo(site_, &p))) {
        GetSystemTime(&p.prevCon);
        if (connected) {
            p.flags &= ~SITE_LAST_FAILED;
            p.conGood++;
        } else {
            p.flags |= SITE_LAST_FAILED;
            p.conFail++;
        }
        TESSEL_SetFTPSiteInfo(&p);
    }
    SecureZeroMemory(&p, sizeof p);
}
