// Host types on the Win32 side: list and combo boxes, SYST detection.
#include "engine.h"

TESSEL_EXTERN_C int TESSEL_API TESSEL_AddHostTypesToListBox(HWND wnd, int comboFlag)
{
    const UINT addMsg = comboFlag ? CB_ADDSTRING : LB_ADDSTRING;
    const UINT dataMsg = comboFlag ? CB_SETITEMDATA : LB_SETITEMDATA;
    int added = 0;
    for (int row = 0; row < TESSEL_HOST_COUNT; ++row) {
        LRESULT idx = SendMessageA(wnd, addMsg, 0, (LPARAM)TESSEL_ReturnHostTypeName(row));
        if (idx < 0) // LB_ERR / CB_ERR, or out of space
            continue;
        SendMessageA(wnd, dataMsg, (WPARAM)idx, (LPARAM)(TESSEL_HOST_FIRST + row));
        ++added;
    }
    return added;
}

TESSEL_EXTERN_C int TESSEL_API TESSEL_AutoDetectSyst(CINFO *ci)
{
    int cls = 0;
    if (ci->hostType == TESSEL_HOST_AUTO) {
        cls = RunCommand(ci, "SYST", nullptr) / 100;
        if (cls == 2) {
            ci->hostType = TESSEL_DetectFromSystString(ci->replyLine, ci->hostType);
            if (ci->hostType != TESSEL_HOST_AUTO) {
                Logf(ci, "Host type (2): %s", TESSEL_ReturnHostTypeName(ci->hostType));
                return ci->hostType == 6019 ? 2 : cls;
            }
            return cls;
        }
    }
    const char *name = TESSEL_ReturnHostTypeName(ci->hostType);
    Logf(ci, "Host type (I): %s", name ? name : "");
    return ci->hostType == 6019 ? 2 : cls;
}
