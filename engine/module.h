// Process-level state of the library that every layer may use: the process
// attach and detach hooks (higher layers register theirs, so the entry code
// never needs their headers) and the counters that decide whether the
// library may be unloaded.
#ifndef TESSEL_MODULE_H
#define TESSEL_MODULE_H

#include <windows.h>

// Attach hooks run in ascending order, detach hooks in descending order.
// atExit is TRUE when the process is ending (other threads are already
// gone and must not be waited for).
typedef void (*ProcessAttachHook)(void);
typedef void (*ProcessDetachHook)(BOOL atExit);
// Registers a pair of hooks; called from static constructors, which run
// before the entry code's process attach.
void AddProcessHooks(int order, ProcessAttachHook attach, ProcessDetachHook detach);
// Hook orders of the layers.
enum { kHookSharedArea = 10, kHookModuleState = 20 };

// Live objects: every COM object, every site session and every running
// library thread.  DllCanUnloadNow answers S_OK only when this and the lock
// count are 0.
void LiveObjectAdd(void);
void LiveObjectRemove(void);
LONG LiveObjectCount(void);
void ServerLockAdd(void);
void ServerLockRemove(void);
LONG ServerLockCount(void);
// Shell folders alive in this process.
void FolderCountAdd(void);
void FolderCountRemove(void);
LONG FolderCount(void);

// Keeps a live-object count for the lifetime of a scope (threads).
struct LiveObjectHold {
    LiveObjectHold() { LiveObjectAdd(); }
    ~LiveObjectHold() { LiveObjectRemove(); }
    LiveObjectHold(const LiveObjectHold &) = delete;
    LiveObjectHold &operator=(const LiveObjectHold &) = delete;
};

#endif
