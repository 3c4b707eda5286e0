// DllCopyCallback: the companion copy hook forwards every copy Explorer
// makes.  A copy of the marker folder "Notify" tells where the user dropped
// remote items; the folder goes to the notification thread through the
// shared area, and Explorer copies nothing itself.
#include "modulestate.h"
#include "sharedarea.h"
#include "sitesint.h"
#include "tessel_sites.h"

#include <shellapi.h>
#include <string.h>

namespace {

const size_t kMarkerTailLen = 7; // "\Notify"

bool EndsWithNotify(const char *path, size_t len)
{
    return len >= kMarkerTailLen && (path[len - 7] == '\\' || path[len - 7] == '/') &&
           lstrcmpiA(path + len - 6, "Notify") == 0;
}

} // namespace

extern "C" UINT __stdcall DllCopyCallback(HWND, UINT op, UINT, LPCSTR src, DWORD, LPCSTR dst, DWORD)
{
    if (op != FO_MOVE && op != FO_COPY)
        return IDYES;
    if (!src)
        return IDYES;
    FTPINFO settings;
    memset(&settings, 0, sizeof settings);
    settings.size = sizeof settings;
    TESSEL_GetFTPInfo(&settings, TRUE);
    char marker[MAX_PATH + 8];
    size_t tmpLen = strnlen(settings.tmpDir, sizeof settings.tmpDir);
    if (!tmpLen || tmpLen + 7 > sizeof marker)
        return IDYES;
    memcpy(marker, settings.tmpDir, tmpLen);
    strcpy(marker + tmpLen, "Notify");
    if (lstrcmpiA(src, marker) != 0)
        return IDYES;
    TesselSharedArea *area = SharedArea();
    if (!area)
        return IDYES; // nobody here can take the drop
    // The marker itself is never copied.  Only a destination that names the
    // marker inside a folder that fits the area's field is passed on.
    if (!dst)
        return IDCANCEL;
    size_t len = strnlen(dst, 4096);
    if (len >= 4096 || !EndsWithNotify(dst, len))
        return IDCANCEL;
    size_t folderLen = len - kMarkerTailLen;
    if (folderLen == 0 || folderLen > sizeof area->dropDest - 1)
        return IDCANCEL;
    Module().EnsureNotifyThread();
    memcpy(area->dropDest, dst, folderLen);
    area->dropDest[folderLen] = 0;
    if (area->notifyThreadId)
        PostThreadMessageA(area->notifyThreadId, WM_USER + 1, 0, 0);
    return IDCANCEL;
}
