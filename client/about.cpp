// The About box: version, system, memory and free disk space.
#include "options.h"
#include "resource.h"

#include <stdio.h>

namespace t95 {

// The system line: "Windows 95 " for a major version of 4 without the NT
// platform, else "Windows NT " or "Win32s "; threads; processors.
static void SystemLine(char *out, size_t size)
{
    OSVERSIONINFOA vi = {};
    vi.dwOSVersionInfoSize = sizeof vi;
    GetVersionExA(&vi);
    const int threads = vi.dwPlatformId != VER_PLATFORM_WIN32s;
    SYSTEM_INFO si;
    GetSystemInfo(&si);
    const char *cpu;
    switch (si.dwProcessorType) {
    case 601: cpu = "PPC"; break;
    case 21064: cpu = "A21064"; break;
    case 386: cpu = "386"; break;
    case 486: cpu = "486"; break;
    case 586: cpu = "Pentium"; break;
    default:
        cpu = si.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_ALPHA ? "ALPHA"
              : si.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_PPC ? "PPC"
                                                                        : "unknown";
        break;
    }
    const char *system = vi.dwMajorVersion == 4 && vi.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS ? "Windows 95 "
                         : threads                                                               ? "Windows NT "
                                                                                                 : "Win32s ";
    snprintf(out, size, "%s%s - %u %s%s", system, threads ? "(threaded) " : "", (unsigned)si.dwNumberOfProcessors,
             cpu, si.dwNumberOfProcessors == 1 ? " CPU" : " CPUs");
}

static INT_PTR CALLBACK AboutProc(HWND dlg, UINT msg, WPARAM wp, LPARAM)
{
    if (msg == WM_INITDIALOG) {
        char text[200];
        snprintf(text, sizeof text, "Version %s (%s)", "5.00", "98.03.14");
        SetDlgItemTextA(dlg, IDC_AB_VERSION, text);
        SystemLine(text, sizeof text);
        SetDlgItemTextA(dlg, IDC_AB_SYSTEM, text);
        MEMORYSTATUSEX ms = {};
        ms.dwLength = sizeof ms;
        GlobalMemoryStatusEx(&ms);
        snprintf(text, sizeof text, "Tot:%luk Avl:%luk", (unsigned long)(ms.ullTotalPhys / 1024),
                 (unsigned long)(ms.ullAvailPhys / 1024));
        SetDlgItemTextA(dlg, IDC_AB_MEMORY, text);
        ULARGE_INTEGER avail = {}, total, freeAll;
        GetDiskFreeSpaceExA(nullptr, &avail, &total, &freeAll);
        snprintf(text, sizeof text, "%lu KB Free", (unsigned long)(avail.QuadPart / 1024 > 0xFFFFFFFFull
                                                                      ? 0xFFFFFFFFul
                                                                      : avail.QuadPart / 1024));
        SetDlgItemTextA(dlg, IDC_AB_DISK, text);
        return TRUE;
    }
    if (msg == WM_COMMAND && (LOWORD(wp) == IDOK || LOWORD(wp) == IDCANCEL)) {
        EndDialog(dlg, 0);
        return TRUE;
    }
    return FALSE;
}

void AboutBox(HWND owner)
{
    DialogBoxParamA(g_inst, MAKEINTRESOURCEA(IDD_ABOUT2), owner, AboutProc, 0);
}

} // namespace t95
