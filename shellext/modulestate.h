// ModuleState: the shell extension's per-process state.  One static object,
// constructed before the entry code runs: the module handle, the lists of
// open site sessions and of folder records under one critical section,
// WinSock started once, the names the registration writes, and the
// notification thread that receives the copy hook's drops.
#ifndef TESSEL_MODULESTATE_H
#define TESSEL_MODULESTATE_H

#include <winsock2.h>
#include <windows.h>

#include <string>
#include <vector>

class SiteSession;

// What the module state needs of a folder record (one per location shown):
// the copy hook hands a drop folder to the first record with a drag
// waiting.
class DropTarget {
public:
    virtual ~DropTarget() {}
    virtual bool DragWaiting() = 0;
    virtual void DeliverDrop(const char *folder) = 0;
    virtual void DropPending() = 0; // forget the items of a drag nobody claimed
};

class ModuleState {
public:
    ModuleState();
    ~ModuleState();

    HMODULE Instance() const { return instance_; }
    const char *Description() const { return TESSEL_DESCRIPTION_TEXT; }
    const char *ProgIdIndependent() const { return progIdIndependent_; }
    const char *ProgId() const { return progId_; }
    const char *ClsidText() const { return clsid_; }
    const std::string &VersionText() const { return version_; }
    const char *DecimalSeparator() const { return decimal_; }
    const char *ThousandSeparator() const { return thousand_; }

    void Lock() { EnterCriticalSection(&cs_); }
    void Unlock() { LeaveCriticalSection(&cs_); }

    void AddSession(SiteSession *s);
    void RemoveSession(SiteSession *s);
    // The session of a site (a new reference), created when absent.
    SiteSession *FindOrCreateSession(const char *site);
    // The open session of a site (no new reference) or null.
    SiteSession *FindSession(const char *site);
    int ConnectedSessions();

    void AddDropTarget(DropTarget *t);
    void RemoveDropTarget(DropTarget *t);
    // On the notification thread: hands the folder in the shared area to
    // the first record with a drag waiting.
    void DeliverDrop();

    // Process attach and detach (hooks of the entry code).
    void Attach();
    void Detach(BOOL atExit);
    // Starts the notification thread when this process created the shared
    // area and it does not run yet, and waits until it takes messages.
    // Never called from the entry code: a thread made there cannot start
    // before the loader lets go, and an unload right after the load would
    // leave it to run in unmapped code.
    void EnsureNotifyThread();
    // Thread id of the running notification thread in this process, or 0.
    DWORD NotifyThreadId() const { return notifyThreadId_; }

private:
    static constexpr const char *TESSEL_DESCRIPTION_TEXT = "Quillfold";
    void StartNotifyThread();
    void StopNotifyThread(BOOL atExit);
    static unsigned __stdcall NotifyThread(void *arg);

    HMODULE instance_ = nullptr;
    CRITICAL_SECTION cs_;
    std::vector<SiteSession *> sessions_;
    std::vector<DropTarget *> targets_;
    LONG attachCount_ = 0;
    bool winsockStarted_ = false;
    char progIdIndependent_[64];
    char progId_[64];
    char clsid_[40];
    std::string version_;
    char decimal_[8] = ".";
    char thousand_[8] = ",";
    HANDLE notifyThread_ = nullptr;
    volatile DWORD notifyThreadId_ = 0;
};

ModuleState &Module();

#endif
