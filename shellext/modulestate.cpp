// The shell extension's per-process state and its process attach and
// detach work.
#include "modulestate.h"
#include "guids.h"
#include "debugtrace.h"
#include "engine.h"
#include "module.h"
#include "resource.h"
#include "session.h"
#include "sharedarea.h"
#include "sitesint.h"

#include <objbase.h>
#include <process.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>

namespace {

// Constructed by the C++ runtime before the entry code's process attach.
ModuleState g_module;

const UINT kDeliverDrop = WM_USER + 1;

void AttachHook() { g_module.Attach(); }
void DetachHook(BOOL atExit) { g_module.Detach(atExit); }
void TraceLoading() { DebugTrace("************* tesselcore.dll loading *************\n"); }
void TraceUnloading(BOOL) { DebugTrace("************* tesselcore.dll unloading *************\n"); }

void SessionAdded(SiteSession *s) { g_module.AddSession(s); }
void SessionRemoved(SiteSession *s) { g_module.RemoveSession(s); }
int OpenConnections() { return g_module.ConnectedSessions(); }

} // namespace

ModuleState &Module() { return g_module; }

ModuleState::ModuleState()
{
    InitializeCriticalSection(&cs_);
    snprintf(progIdIndependent_, sizeof progIdIndependent_, "%s", TESSEL_PROGID_INDEPENDENT);
    snprintf(progId_, sizeof progId_, "%s.%s", TESSEL_PROGID_INDEPENDENT, TESSEL_PROGID_VERSION);
    wchar_t *wide = nullptr;
    clsid_[0] = 0;
    if (SUCCEEDED(StringFromCLSID(CLSID_TesselRoot, &wide)) && wide) {
        WideCharToMultiByte(CP_ACP, 0, wide, -1, clsid_, sizeof clsid_, nullptr, nullptr);
        CoTaskMemFree(wide);
    }
    SetSessionListHooks(SessionAdded, SessionRemoved);
    SetOpenConnectionsHook(OpenConnections);
    // The trace lines bracket everything else; the module state's own work
    // comes after the shared area is open and goes before it is released.
    AddProcessHooks(kHookSharedArea - 5, TraceLoading, TraceUnloading);
    AddProcessHooks(kHookModuleState, AttachHook, DetachHook);
}

ModuleState::~ModuleState()
{
    SetSessionListHooks(nullptr, nullptr);
    SetOpenConnectionsHook(nullptr);
    DeleteCriticalSection(&cs_);
}

void ModuleState::Attach()
{
    char buf[8];
    if (GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, buf, sizeof buf) > 0)
        snprintf(decimal_, sizeof decimal_, "%s", buf);
    if (GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_STHOUSAND, buf, sizeof buf) > 0)
        snprintf(thousand_, sizeof thousand_, "%s", buf);
    if (InterlockedIncrement(&attachCount_) == 1) {
        instance_ = TesselModule();
        version_ = FormatStr(IDS_VERSION, "Version %1!d!.%2!02d!  Build %3!d! (%4!s!, %5!s!)", 5, 0, 41,
                             __DATE__, __TIME__);
        if (!winsockStarted_) {
            WSADATA wsa;
            winsockStarted_ = WSAStartup(MAKEWORD(1, 1), &wsa) == 0;
        }
    }
    TesselSharedArea *area = SharedArea();
    if (area && SharedAreaCreatedHere())
        snprintf(area->clsid, sizeof area->clsid, "%s", clsid_);
}

void ModuleState::EnsureNotifyThread()
{
    TesselSharedArea *area = SharedArea();
    if (!area || !SharedAreaCreatedHere())
        return;
    Lock();
    if (!notifyThread_)
        StartNotifyThread();
    Unlock();
    DWORD start = GetTickCount();
    while (notifyThread_ && !notifyThreadId_ && GetTickCount() - start < 2000)
        Sleep(5);
}

void ModuleState::Detach(BOOL atExit)
{
    if (InterlockedDecrement(&attachCount_) == 0 && winsockStarted_) {
        // At process exit WinSock is torn down with the process; cleaning
        // up from here could wait on threads that are already gone.
        if (!atExit)
            WSACleanup();
        winsockStarted_ = false;
    }
    StopNotifyThread(atExit);
}

// ---------------------------------------------------------------- lists

void ModuleState::AddSession(SiteSession *s)
{
    Lock();
    // A free slot first, so that the list does not grow with every site
    // opened and closed.
    auto slot = std::find(sessions_.begin(), sessions_.end(), nullptr);
    if (slot != sessions_.end())
        *slot = s;
    else
        sessions_.push_back(s);
    Unlock();
}

void ModuleState::RemoveSession(SiteSession *s)
{
    Lock();
    for (auto &p : sessions_)
        if (p == s)
            p = nullptr;
    Unlock();
}

SiteSession *ModuleState::FindSession(const char *site)
{
    SiteSession *found = nullptr;
    Lock();
    for (SiteSession *s : sessions_)
        if (s && !strcmp(s->SiteName(), site)) {
            found = s;
            break;
        }
    Unlock();
    return found;
}

SiteSession *ModuleState::FindOrCreateSession(const char *site)
{
    if (!site || !*site)
        return nullptr;
    Lock();
    SiteSession *found = nullptr;
    for (SiteSession *s : sessions_)
        if (s && !strcmp(s->SiteName(), site) && s->TryAddRef()) {
            found = s;
            break;
        }
    if (!found)
        found = SiteSession::Create(site); // registers itself (same thread: the lock is recursive)
    Unlock();
    return found;
}

int ModuleState::ConnectedSessions()
{
    int n = 0;
    Lock();
    for (SiteSession *s : sessions_)
        if (s && s->IsConnected())
            n++;
    Unlock();
    return n;
}

void ModuleState::AddDropTarget(DropTarget *t)
{
    Lock();
    targets_.push_back(t);
    Unlock();
}

void ModuleState::RemoveDropTarget(DropTarget *t)
{
    Lock();
    targets_.erase(std::remove(targets_.begin(), targets_.end(), t), targets_.end());
    Unlock();
}

// ---------------------------------------------------------------- drops

void ModuleState::DeliverDrop()
{
    TesselSharedArea *area = SharedArea();
    if (!area)
        return;
    char folder[260];
    memcpy(folder, area->dropDest, sizeof folder);
    folder[sizeof folder - 1] = 0;
    Lock();
    DropTarget *claimed = nullptr;
    for (DropTarget *t : targets_)
        if (t->DragWaiting()) {
            claimed = t;
            break;
        }
    if (claimed) {
        claimed->DeliverDrop(folder);
    } else {
        for (DropTarget *t : targets_)
            t->DropPending();
    }
    Unlock();
    if (!claimed) {
        DebugTrace(" >> drop into %s claimed by no folder\n", folder);
        MessageBoxA(nullptr, LoadStr(IDS_NO_DRAG_SOURCE, "Couldn't locate source of drag!").c_str(),
                    LoadStr(IDS_PRODUCT, "Quillfold").c_str(), MB_OK | MB_ICONEXCLAMATION | MB_SETFOREGROUND);
        if (OpenClipboard(nullptr)) {
            EmptyClipboard();
            CloseClipboard();
        }
    }
}

unsigned __stdcall ModuleState::NotifyThread(void *arg)
{
    ModuleState *self = (ModuleState *)arg;
    TesselSharedArea *area = SharedArea();
    MSG m;
    PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE); // makes the queue
    if (area) {
        area->notifyThreadId = GetCurrentThreadId();
        InterlockedExchange(&area->notifyRunning, 1);
    }
    self->notifyThreadId_ = GetCurrentThreadId(); // the queue exists: posts can come
    while (GetMessageA(&m, nullptr, 0, 0) > 0) {
        if (m.message == WM_CLOSE && !m.hwnd)
            break;
        if (m.message == kDeliverDrop && !m.hwnd) {
            self->DeliverDrop();
            continue;
        }
        TranslateMessage(&m);
        DispatchMessageA(&m);
    }
    self->notifyThreadId_ = 0;
    if (area)
        InterlockedExchange(&area->notifyRunning, 0);
    return 0;
}

void ModuleState::StartNotifyThread()
{
    if (notifyThread_)
        return;
    unsigned tid = 0;
    notifyThread_ = (HANDLE)_beginthreadex(nullptr, 0, NotifyThread, this, 0, &tid);
    TesselSharedArea *area = SharedArea();
    if (notifyThread_ && area) {
        area->notifyThread = HandleToULong(notifyThread_);
        area->notifyCreatedId = tid;
        // Until the thread records itself, posts go to the id it was made with.
        InterlockedCompareExchange((volatile LONG *)&area->notifyThreadId, (LONG)tid, 0);
    }
}

void ModuleState::StopNotifyThread(BOOL atExit)
{
    if (!notifyThread_)
        return;
    TesselSharedArea *area = SharedArea();
    if (!atExit) {
        // Ask it to end, and give it at most 2 s.  At process exit the thread
        // has already been stopped with its running flag still set, so
        // waiting for the flag would hold up the exit for nothing.
        DWORD tid = GetThreadId(notifyThread_);
        DWORD start = GetTickCount();
        do {
            PostThreadMessageA(tid, WM_CLOSE, 0, 0);
            if (WaitForSingleObject(notifyThread_, 0) == WAIT_OBJECT_0)
                break;
            Sleep(150);
        } while ((area ? area->notifyRunning : 1) && GetTickCount() - start < 2000);
    }
    CloseHandle(notifyThread_);
    notifyThread_ = nullptr;
    notifyThreadId_ = 0;
    if (area) {
        area->notifyThread = 0;
        area->notifyThreadId = 0;
    }
}
