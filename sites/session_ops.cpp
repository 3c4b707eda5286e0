// Remote operations of a site session: navigate, change, read and list
// directories, make a directory, rename, cancel, disconnect.
#include "session.h"
#include "resource.h"
#include "sessiontext.h"
#include "sitesint.h"
#include "tessel_async.h"
#include "tessel_transfer.h"

#include <stdio.h>
#include <string.h>

namespace {

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

std::string Format1(UINT id, const char *fallback, const char *insert)
{
    std::string fmt = LoadStr(id, fallback);
    char buf[1024];
    snprintf(buf, sizeof buf, fmt.c_str(), insert ? insert : "");
    return buf;
}

struct WaitCursor {
    HCURSOR old;
    WaitCursor() : old(SetCursor(LoadCursor(nullptr, IDC_WAIT))) {}
    ~WaitCursor() { SetCursor(old); }
};

struct NavGuard {
    CRITICAL_SECTION *cs;
    explicit NavGuard(CRITICAL_SECTION *c) : cs(c) { EnterCriticalSection(cs); }
    ~NavGuard() { LeaveCriticalSection(cs); }
};

bool NeedsConnect(LONG state) { return state == kSessionIdle || state > 99; }

} // namespace

BOOL SiteSession::IsConnected() const { return ci_ && state_ == kSessionReady; }

int SiteSession::Command(const char *word, const char *arg)
{
    if (!ci_)
        return 0;
    return TESSEL_DoCmd(ci_, word, arg);
}

// The connection is gone: free the record so that the next use connects
// afresh.
void SiteSession::DropRecord()
{
    if (ci_) {
        TESSEL_FreeCINFO(ci_);
        ci_ = nullptr;
    }
    state_ = kSessionIdle;
}

bool SiteSession::EnsureConnected(HWND owner)
{
    if (NeedsConnect(state_) || !ci_)
        Connect(owner, FALSE);
    return IsConnected() != FALSE;
}

HRESULT SiteSession::Navigate(const char *targetPath, const void *itemList, HWND owner, BOOL post)
{
    NavGuard guard(&navLock_);
    WaitCursor wait;
    SessionOp op(this);
    if (reconnect_) {
        reconnect_ = 0;
        Disconnect();
    }
    if (NeedsConnect(state_) || !ci_)
        Connect(owner, post ? TRUE : FALSE);
    if (state_ == kSessionReady && targetPath && *targetPath) {
        CopyText(currentDir_, sizeof currentDir_, targetPath);
        std::string wanted = targetPath;
        if (SUCCEEDED(ReadCurrentDir()) && wanted == currentDir_)
            return S_OK;
        HRESULT hr = ChangeDir(wanted.c_str(), owner);
        if (SUCCEEDED(hr))
            CopyText(currentDir_, sizeof currentDir_, wanted.c_str());
        return hr;
    }
    if (state_ == kSessionReady) {
        const BYTE *p = (const BYTE *)itemList;
        HRESULT hr = S_OK;
        // Item lists from the shell end with a zero cb; a foreign item is
        // stepped over by its own size.
        for (size_t guardBytes = 0; p && guardBytes < 0x100000;) {
            uint16_t cb;
            memcpy(&cb, p, 2);
            if (cb == 0)
                break;
            if (cb < 2)
                return E_INVALIDARG;
            if (TesselItemIsOurs(p)) {
                TesselItemHead h = TesselItemRead(p);
                if (h.kind & ITEM_SITE) {
                    hr = ChangeDir(homeDir_, owner);
                } else if (h.kind & (ITEM_DIR | ITEM_LINK)) {
                    char name[MAX_PATH];
                    TesselItemName(p, name, sizeof name);
                    hr = ChangeDir(name, owner);
                }
                if (FAILED(hr))
                    return hr;
            }
            p += cb;
            guardBytes += cb;
        }
        return hr;
    }
    if (post && owner)
        PostMessageA(owner, WM_TESSEL_SESSION_DONE, 0, 0);
    return E_FAIL;
}

HRESULT SiteSession::ChangeDirOnce(const char *path, int *code)
{
    *code = Command("CWD", path);
    return *code / 100 == 2 ? S_OK : E_FAIL;
}

HRESULT SiteSession::ChangeDir(const char *path, HWND owner)
{
    if (!path || !*path)
        return S_OK;
    SessionOp op(this);
    std::string target = path; // may point into our own buffers
    int code = 0;
    if (SUCCEEDED(ChangeDirOnce(target.c_str(), &code)))
        return S_OK;
    if (code == 0 || code == 421 || !ci_) {
        // The connection was gone: one reconnect, then the same change.
        DropRecord();
        Connect(owner, FALSE);
        if (IsConnected() && SUCCEEDED(ChangeDirOnce(target.c_str(), &code)))
            return S_OK;
    }
    Failure(FAILURE_OPERATION, code, Format1(IDS_CHDIR_FAILED, "Change folder to %s failed", target.c_str()),
            owner);
    return E_UNEXPECTED;
}

HRESULT SiteSession::ReadCurrentDir()
{
    SessionOp op(this);
    char path[SESSION_PWD_MAX + 1] = "";
    bool found = false;
    if (ci_ && ci_->hostType != 6026) {
        int code = Command("PWD", nullptr);
        if (code / 100 == 2)
            found = SessionPwdPath(ci_->replyLine, path, sizeof path,
                                   strnlen(ci_->replyLine, sizeof ci_->replyLine) >= sizeof ci_->replyLine - 1) != 0;
    }
    if (found)
        CopyText(currentDir_, sizeof currentDir_, path);
    else
        currentDir_[0] = 0;
    return found ? S_OK : E_FAIL;
}

static void FillEntry(const ListingEntry *e, long offsetHours, SessionEntry *out)
{
    memset(out, 0, sizeof *out);
    RemoteEntryRecord &r = out->record;
    r.size = sizeof r;
    r.entryFlags = e->kind == LISTING_LINK ? REMOTE_ENTRY_LINK : 0;
    r.modeValid = e->modeFlags;
    r.mode = e->mode;
    r.find.dwFileAttributes = e->kind == LISTING_DIR ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
    r.find.nFileSizeLow = e->size;
    size_t n = strnlen(e->name, sizeof e->name);
    if (n >= MAX_PATH)
        n = MAX_PATH - 1;
    memcpy(r.find.cFileName, e->name, n);
    ListingTime t = {(int)e->year, (int)e->month, (int)e->day, (int)e->hour, (int)e->minute, (int)e->second};
    ShiftListingTime(&t, offsetHours);
    SYSTEMTIME st = {};
    st.wYear = (WORD)t.year;
    st.wMonth = (WORD)t.month;
    st.wDay = (WORD)t.day;
    st.wHour = (WORD)t.hour;
    st.wMinute = (WORD)t.minute;
    st.wSecond = (WORD)(t.second < 60 ? t.second : 0);
    SystemTimeToFileTime(&st, &r.find.ftLastWriteTime);
    out->kind = (uint16_t)(ITEM_REMOTE | (e->kind == LISTING_DIR ? ITEM_DIR : 0) |
                           (e->kind == LISTING_LINK ? ITEM_LINK : 0));
}

HRESULT SiteSession::ListDir(const char *path, std::vector<SessionEntry> *entries, std::string *currentPath,
                             HWND owner)
{
    (void)owner;
    SessionOp op(this);
    Status(IDS_GETTING_DIR, "Getting directory", nullptr);
    state_ = kSessionStartup;
    DirectoryListing *dir = ci_ ? TESSEL_GetDirectory(ci_, path && *path ? path : nullptr) : nullptr;
    if (!dir) {
        state_ = kSessionNoDirectory;
        Status(IDS_NO_DIR, "Couldn't get directory", nullptr);
        return E_UNEXPECTED;
    }
    std::string cur = dir->path;
    if (cur.size() > 1 && cur.back() == '/')
        cur.pop_back();
    if (!homeDir_[0] && dir->path[0] && cur.size() < sizeof homeDir_)
        CopyText(homeDir_, sizeof homeDir_, cur.c_str());
    if (currentPath)
        *currentPath = cur;
    if (entries) {
        entries->clear();
        for (const ListingEntry *e = dir->firstEntry; e; e = e->next) {
            if (!strcmp(e->name, ".") || !strcmp(e->name, ".."))
                continue;
            SessionEntry se;
            FillEntry(e, profile_.timeOffset, &se);
            entries->push_back(se);
        }
    }
    TESSEL_FreeDirectory(dir);
    state_ = kSessionReady;
    Status(IDS_READY, "Ready", nullptr);
    return S_OK;
}

HRESULT SiteSession::MakeDir(const char *name, HWND owner)
{
    SessionOp op(this);
    if (!EnsureConnected(owner))
        return E_UNEXPECTED;
    int code = Command("MKD", name);
    if (code / 100 != 2) {
        Failure(FAILURE_OPERATION, code, Format1(IDS_MKDIR_FAILED, "Create folder %s failed", name), owner);
        return E_UNEXPECTED;
    }
    return S_OK;
}

HRESULT SiteSession::Rename(const char *from, const char *to, HWND owner)
{
    SessionOp op(this);
    if (!EnsureConnected(owner))
        return E_UNEXPECTED;
    int code = Command("RNFR", from);
    if (code / 100 != 3) {
        Failure(FAILURE_OPERATION, code, Format1(IDS_RENAME_FROM_FAILED, "Rename from '%s' failed.", from), owner);
        return E_UNEXPECTED;
    }
    code = Command("RNTO", to);
    if (code / 100 != 2) {
        Failure(FAILURE_OPERATION, code, Format1(IDS_RENAME_TO_FAILED, "Rename to '%s' failed.", to), owner);
        return E_UNEXPECTED;
    }
    return S_OK;
}

void SiteSession::Cancel()
{
    cancelRequested_ = 1;
    CINFO *ci = ci_;
    if (!ci)
        return;
    if (!ci->cancelFlag && !ci->abortFlag) {
        TESSEL_CancelAction(ci);
        lastCancel_ = GetTickCount();
    } else if (GetTickCount() - lastCancel_ > 2000) {
        // A second cancel after the first had time to work: the engine's
        // own waits watch the flag; a blocking call is cancelled where the
        // platform still can, and the data socket is closed under it.
        ci->cancelFlag = 1;
        lastCancel_ = GetTickCount();
        if (WSAIsBlocking())
            WSACancelBlockingCall();
        SOCKET s = ci->dataSocket;
        if (s != INVALID_SOCKET && s != 0 && closesocket(s) == 0)
            ci->dataSocket = INVALID_SOCKET;
    }
}

void SiteSession::Disconnect()
{
    if (!ci_) {
        state_ = kSessionIdle;
        return;
    }
    state_ = kSessionDisconnecting;
    for (int i = 0; i < 2 && ci_->busy; i++) {
        TESSEL_CancelAction(ci_);
        Sleep(1000);
    }
    TESSEL_CloseConnect(ci_, 0);
    TESSEL_FreeCINFO(ci_);
    ci_ = nullptr;
    state_ = kSessionIdle;
}
