/* DLL entry point: remembers the module for window classes and resources,
 * and runs the process attach and detach work of every layer. */
#include <windows.h>

void TesselSetModule(HMODULE);
void TesselProcessAttach(void);
void TesselProcessDetach(int atExit);

BOOL WINAPI DllMain(HINSTANCE inst, DWORD reason, LPVOID reserved)
{
    if (reason == DLL_PROCESS_ATTACH) {
        DisableThreadLibraryCalls(inst);
        TesselSetModule(inst);
        TesselProcessAttach();
    } else if (reason == DLL_PROCESS_DETACH) {
        /* A non-null reserved argument means the process is ending: its
         * other threads have already been stopped. */
        TesselProcessDetach(reserved != NULL);
    }
    return TRUE;
}
