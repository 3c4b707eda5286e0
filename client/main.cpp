// Entry point of tessel95.exe.
#include "client.h"

int WINAPI WinMain(HINSTANCE inst, HINSTANCE prev, LPSTR cmdLine, int show)
{
    return t95::TesselMain(inst, prev, cmdLine, show);
}
