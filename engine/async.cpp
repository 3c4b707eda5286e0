// Hidden handler window of each record (class TESSELD32).  The message-driven
// operations hang off this procedure.
#include "engine.h"

LRESULT CALLBACK TesselHandlerWndProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp)
{
    return DefWindowProcA(wnd, msg, wp, lp);
}
