// The cross-process shared area and its settings cache.
#include "sharedarea.h"
#include "sitesint.h"

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
        view = (TesselSharedArea *)MapViewOfFile(h, FILE_MAP_ALL_ACCESS, 0, 0, 0);
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
