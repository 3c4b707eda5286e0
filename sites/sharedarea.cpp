// The cross-process shared area and its settings cache.
#include "sharedarea.h"
#include "sitesint.h"
#include "module.h"

#include <string.h>

namespace {

struct AreaState {
    CRITICAL_SECTION cs;      // guards opening and releasing in this process
    HANDLE mapping = nullptr;
    HANDLE cacheLock = nullptr;
    TesselSharedArea *view = nullptr;
    BOOL created = FALSE;
    BOOL tried = FALSE;
    AreaState() { InitializeCriticalSection(&cs); }
};

// Constructed by the C++ runtime before DllMain's attach code runs.
AreaState g_area;

// Named after the mapping; a mutex because the cache is shared between
// processes and a critical section cannot be.
const char kCacheLockName[] = TESSEL_SHARED_NAME ".settings";

typedef LONG(NTAPI *QuerySectionFn)(HANDLE, int, PVOID, ULONG, PULONG);

struct SectionBasicInformation {
    PVOID base;
    ULONG attributes;
    LARGE_INTEGER size;
};

// Size of an existing mapping as the system recorded it.  Where it cannot
// be asked, the successful full-size view has to do.
bool ViewLargeEnough(HANDLE mapping)
{
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    QuerySectionFn query = ntdll ? (QuerySectionFn)(void *)GetProcAddress(ntdll, "NtQuerySection") : nullptr;
    if (!query)
        return true;
    SectionBasicInformation info = {};
    if (query(mapping, 0 /* SectionBasicInformation */, &info, sizeof info, nullptr) != 0)
        return true;
    return info.size.QuadPart >= (LONGLONG)sizeof(TesselSharedArea);
}

// The creator writes the stamp right after making the mapping; a process
// that opens it in that moment waits a little for it.
bool StampPresent(const TesselSharedArea *view)
{
    for (int i = 0; i < 25; i++) {
        if (!memcmp((const void *)view->clsid, TESSEL_SHARED_STAMP, sizeof TESSEL_SHARED_STAMP))
            return true;
        Sleep(20);
    }
    return false;
}

void DetachHook(BOOL) { SharedAreaRelease(); }

// The area is opened at process attach in the library; a program that links
// the code statically opens it on first use.
struct RegisterHooks {
    RegisterHooks() { AddProcessHooks(kHookSharedArea, SharedAreaOpen, DetachHook); }
} g_registerHooks;

} // namespace

void SharedAreaOpen(void)
{
    EnterCriticalSection(&g_area.cs);
    if (g_area.tried) {
        LeaveCriticalSection(&g_area.cs);
        return;
    }
    g_area.tried = TRUE;
    SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
    HANDLE h = CreateFileMappingA(INVALID_HANDLE_VALUE, &sa, PAGE_READWRITE, 0,
                                  sizeof(TesselSharedArea), TESSEL_SHARED_NAME);
    BOOL created = h && GetLastError() != ERROR_ALREADY_EXISTS;
    TesselSharedArea *view = nullptr;
    if (h) {
        // The view is asked for at the area's full size: a mapping of that
        // name made smaller by another program cannot give it, and the
        // library then runs without the area instead of writing past it.
        view = (TesselSharedArea *)MapViewOfFile(h, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(TesselSharedArea));
        if (view && !created && (!ViewLargeEnough(h) || !StampPresent(view))) {
            UnmapViewOfFile(view);
            view = nullptr;
        }
        if (!view) {
            CloseHandle(h);
            h = nullptr;
        }
    }
    if (view) {
        g_area.cacheLock = CreateMutexA(&sa, FALSE, kCacheLockName);
        g_area.mapping = h;
        g_area.created = created;
        if (created) {
            memset(view, 0, sizeof *view);
#ifndef _WIN64
            // The creator initialises the lock as 32-bit callers expect;
            // nothing takes it, so the 64-bit build leaves its bytes zero.
            static_assert(sizeof(CRITICAL_SECTION) == sizeof view->lock, "shared area lock");
            InitializeCriticalSection((CRITICAL_SECTION *)view->lock);
#endif
            memcpy(view->clsid, TESSEL_SHARED_STAMP, sizeof TESSEL_SHARED_STAMP);
        }
        g_area.view = view;
        InterlockedIncrement(&view->attachCount);
    }
    LeaveCriticalSection(&g_area.cs);
    if (view && created) {
        // The creator fills the cache once, from the registry.
        FTPINFO info;
        memset(&info, 0, sizeof info);
        info.size = sizeof info;
        TESSEL_GetFTPInfo(&info, FALSE);
    }
}

void SharedAreaRelease(void)
{
    EnterCriticalSection(&g_area.cs);
    if (g_area.view) {
        InterlockedDecrement(&g_area.view->attachCount);
        UnmapViewOfFile(g_area.view);
        CloseHandle(g_area.mapping);
        if (g_area.cacheLock)
            CloseHandle(g_area.cacheLock);
    }
    g_area.view = nullptr;
    g_area.mapping = nullptr;
    g_area.cacheLock = nullptr;
    g_area.created = FALSE;
    g_area.tried = FALSE;
    LeaveCriticalSection(&g_area.cs);
}

TesselSharedArea *SharedArea(void)
{
    if (!g_area.tried)
        SharedAreaOpen();
    return g_area.view;
}

BOOL SharedAreaCreatedHere(void) { return g_area.view && g_area.created; }

namespace {

bool LockCache()
{
    if (!g_area.cacheLock)
        return true;
    DWORD r = WaitForSingleObject(g_area.cacheLock, 2000);
    // An abandoned lock still guards a complete copy: the holder died
    // between two copies or in one, and the next put rewrites it whole.
    return r == WAIT_OBJECT_0 || r == WAIT_ABANDONED;
}

void UnlockCache()
{
    if (g_area.cacheLock)
        ReleaseMutex(g_area.cacheLock);
}

} // namespace

BOOL SharedSettingsGet(FTPINFO *out)
{
    TesselSharedArea *a = SharedArea();
    if (!a || !LockCache())
        return FALSE;
    BOOL filled = a->settings.tmpDir[0] != 0;
    if (filled)
        memcpy(out, &a->settings, sizeof *out);
    UnlockCache();
    return filled;
}

void SharedSettingsPut(const FTPINFO *info)
{
    TesselSharedArea *a = SharedArea();
    if (!a || !LockCache())
        return;
    memcpy(&a->settings, info, sizeof *info);
    a->settings.size = sizeof(FTPINFO);
    UnlockCache();
}

void SharedSettingsClear(void)
{
    TesselSharedArea *a = SharedArea();
    if (!a || !LockCache())
        return;
    memset(&a->settings, 0, sizeof a->settings);
    UnlockCache();
}
