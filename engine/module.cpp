// Process attach and detach of the library, and the process-wide counters.
// Layers above the engine (shared settings area, shell extension module
// state) register their attach and detach work here.
#include "engine.h"
#include "module.h"

namespace {

struct HookEntry {
    int order;
    ProcessAttachHook attach;
    ProcessDetachHook detach;
};

// Few enough for a fixed table; filled by static constructors, which run on
// one thread before the entry code.
HookEntry g_hooks[8];
int g_hookCount;

volatile LONG g_liveObjects;
volatile LONG g_serverLocks;
volatile LONG g_folders;

} // namespace

void AddProcessHooks(int order, ProcessAttachHook attach, ProcessDetachHook detach)
{
    if (g_hookCount >= (int)(sizeof g_hooks / sizeof g_hooks[0]))
        return;
    int i = g_hookCount++;
    while (i > 0 && g_hooks[i - 1].order > order) {
        g_hooks[i] = g_hooks[i - 1];
        --i;
    }
    g_hooks[i] = {order, attach, detach};
}

extern "C" void TesselProcessAttach(void)
{
    for (int i = 0; i < g_hookCount; i++)
        if (g_hooks[i].attach)
            g_hooks[i].attach();
}

extern "C" void TesselProcessDetach(int atExit)
{
    for (int i = g_hookCount - 1; i >= 0; i--)
        if (g_hooks[i].detach)
            g_hooks[i].detach(atExit ? TRUE : FALSE);
}

void LiveObjectAdd(void) { InterlockedIncrement(&g_liveObjects); }
void LiveObjectRemove(void) { InterlockedDecrement(&g_liveObjects); }
LONG LiveObjectCount(void) { return g_liveObjects; }
void ServerLockAdd(void) { InterlockedIncrement(&g_serverLocks); }
void ServerLockRemove(void) { InterlockedDecrement(&g_serverLocks); }
LONG ServerLockCount(void) { return g_serverLocks; }
void FolderCountAdd(void) { InterlockedIncrement(&g_folders); }
void FolderCountRemove(void) { InterlockedDecrement(&g_folders); }
LONG FolderCount(void) { return g_folders; }
