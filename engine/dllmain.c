/* DLL entry point: remembers the module for window classes and resources. */
#include <windows.h>

void TesselSetModule(HMODULE);
void TesselProcessAttach(void);
void TesselProcessDetach(void);

BOOL WINAPI DllMain(HINSTANCE inst, DWORD reason, LPVOID reserved)
{
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) {
        DisableThreadLibraryCalls(inst);
        TesselSetModule(inst);
        TesselProcessAttach();
    } else if (reason == DLL_PROCESS_DETACH) {
        TesselProcessDetach();
    }
    return TRUE;
}
