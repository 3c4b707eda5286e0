// SiteSession: the library's session with one FTP site, shared by every
// folder and view that shows the site.  It owns the engine's connection
// record, a hidden connection-log window (with the keep-alive timer) and
// the connect thread, and runs the remote operations the folders need.
#ifndef TESSEL_SESSION_H
#define TESSEL_SESSION_H

#include "engine.h"
#include "ftpsiteinfo.h"
#include "shellitem.h"
#include "tessel_dialogs.h"

#include <string>
#include <vector>

// Session states.  0 and anything above 99 connect before the next use.
enum SessionState : LONG {
    kSessionIdle = 0,
    kSessionConnecting = 1,
    kSessionNeedPassword = 2,
    kSessionStartup = 3,
    kSessionDisconnecting = 4,
    kSessionReady = 5,
    kSessionNoRecord = 100,
    kSessionFailed = 101,
    kSessionNoDirectory = 103,
    kSessionCancelled = 107,
};

// Messages
#define WM_TESSEL_SESSION_DONE 4028 // to the owner: wParam 1 connected, 0 not
#define WM_TESSEL_PROGRESS     4029 // engine progress: wParam bytes so far
#define WM_TESSEL_TIMING       4030 // engine timing: lParam nonzero start

class SiteSession;

// The connect job, shared by the caller and the connect thread.
struct SessionConnectJob {
    HWND owner;
    SiteSession *session;
    HRESULT result;
    volatile LONG done;
    BOOL async;
};

// One remote entry of a listing, ready to become an item.
struct SessionEntry {
    uint16_t kind; // ITEM_REMOTE plus ITEM_DIR / ITEM_LINK
    RemoteEntryRecord record;
};

class SiteSession {
public:
    // A new session (reference count 1) for a site name, or null.
    static SiteSession *Create(const char *siteName);
    // True when p is a session of this process that is still alive.
    static bool IsLive(const void *p);

    ULONG AddRef();
    ULONG Release();
    // A reference unless the last one is already gone (the session is on
    // its way out and only not yet out of the lists).
    bool TryAddRef();

    // Connects and logs in; the caller either waits, pumping messages, or
    // returns at once (async) and learns the outcome from 4028 and state().
    HRESULT Connect(HWND owner, BOOL async);
    // Connects when needed, then makes targetPath (or, without one, the
    // folder named by the stamped items of itemList) current.
    HRESULT Navigate(const char *targetPath, const void *itemList, HWND owner, BOOL post);
    HRESULT ChangeDir(const char *path, HWND owner);
    // PWD into the current directory; S_OK when the server named one.
    HRESULT ReadCurrentDir();
    // Lists path; entries without "." and "..", time offset applied.
    HRESULT ListDir(const char *path, std::vector<SessionEntry> *entries, std::string *currentPath, HWND owner);
    HRESULT MakeDir(const char *name, HWND owner);
    HRESULT Rename(const char *from, const char *to, HWND owner);
    void Cancel();
    void Disconnect();
    // One command on the connection: its reply code, 0 without a record.
    int Command(const char *word, const char *arg);
    void ShowLog(BOOL show);
    BOOL TranslateAccel(MSG *msg);
    BOOL IsConnected() const;

    // Asks for a disconnect before the next navigation.
    void RequestReconnect() { reconnect_ = 1; }
    // The site root's item list, for the shell's redraw notice.
    void SetRootItems(const void *itemList);
    // Window that receives the engine's progress (a transfer's dialog).
    void SetProgressWindow(HWND w) { progressWnd_ = w; }

    const char *SiteName() const { return site_; }
    LONG State() const { return state_; }
    const char *HomeDir() const { return homeDir_; }
    const char *CurrentDir() const { return currentDir_; }
    CINFO *Record() const { return ci_; }
    HWND LogWindow() const { return logWnd_; }
    std::string LogText() const;
    std::string LastStatus() const;
    FTPSITEINFO &Profile() { return profile_; }
    // Keep-alive period; the test suite shortens it to seconds.
    void SetKeepAliveMinutes(int minutes) { keepAliveLimit_ = minutes > 0 ? minutes * 60 : 0; }
    void SetKeepAliveSeconds(int seconds) { keepAliveLimit_ = seconds; }
    LONG KeepAliveCount() const { return keepAliveSent_; }
    // The login dialog registers itself so that a second connect can bring
    // it to the front.
    void SetLoginDialog(HWND w) { loginDlg_ = w; }

private:
    SiteSession();
    ~SiteSession();

    static unsigned __stdcall ConnectThread(void *arg);
    HRESULT CreateLogWindow();
    void DestroyLogWindow();
    void RunConnect(SessionConnectJob *job);
    void WriteBackStatistics(bool connected);
    void Status(UINT id, const char *fallback, const char *insert);
    HRESULT Failure(DWORD flags, int code, const std::string &text, HWND owner);
    bool EnsureConnected(HWND owner);
    void DropRecord();
    HRESULT ChangeDirOnce(const char *path, int *code);

    friend INT_PTR CALLBACK SessionLogProc(HWND, UINT, WPARAM, LPARAM);
    void OnKeepAliveTick();
    void RelayProgress(WPARAM wp, LPARAM lp);
    void RelayTiming(WPARAM wp, LPARAM lp);

    volatile LONG refs_ = 1;
    volatile LONG opsRunning_ = 0;  // held by every operation while it runs
    volatile LONG connectOpen_ = 0; // held while a connect runs
    volatile LONG state_ = kSessionIdle;
    char site_[256] = "";
    char homeDir_[256] = "";
    char currentDir_[256] = "";
    FTPSITEINFO profile_;
    CINFO *ci_ = nullptr;
    HWND logWnd_ = nullptr;
    HWND logEdit_ = nullptr;
    int keepAliveLimit_ = 5 * 60; // seconds
    int keepAliveCounter_ = 0;
    volatile LONG keepAliveSent_ = 0;
    HWND progressWnd_ = nullptr;
    WPARAM lastRelayedKb_ = (WPARAM)-1;
    HWND loginDlg_ = nullptr;
    HANDLE connectThread_ = nullptr;
    volatile DWORD connectThreadId_ = 0;
    SessionConnectJob *job_ = nullptr;
    CRITICAL_SECTION navLock_;
    mutable CRITICAL_SECTION textLock_; // last status text
    volatile LONG reconnect_ = 0;
    DWORD lastCancel_ = 0;
    volatile LONG cancelRequested_ = 0;
    std::vector<BYTE> rootItems_;
    std::string lastStatus_;

    friend struct SessionOp;
};

// Holds a session's operation counter for a scope (the keep-alive timer
// stays idle meanwhile).
struct SessionOp {
    SiteSession *s;
    explicit SessionOp(SiteSession *session) : s(session) { InterlockedIncrement(&s->opsRunning_); }
    ~SessionOp() { InterlockedDecrement(&s->opsRunning_); }
    SessionOp(const SessionOp &) = delete;
    SessionOp &operator=(const SessionOp &) = delete;
};

// Links to the module state of the shell extension, which lists the open
// sessions; installed from above so that this layer needs none of its
// headers.
void SetSessionListHooks(void (*added)(SiteSession *), void (*removed)(SiteSession *));

// Sound hook for tests: every event name played goes through it too.
void SetSoundObserver(void (*observer)(const char *event));

// Size of an item list up to and including its 2-byte end, or 0 when no
// end is found within maxBytes.
size_t ItemListSize(const void *list, size_t maxBytes);

#endif
