// Transfers: the transfer type, local and remote names, the single-file
// download and upload with their overwrite checks, the data loops with
// progress and rate, resume of broken binary downloads, the transfer log,
// selections and whole directory trees on the worker thread, and files
// dropped on the panes.
//
// Data moves in blocks of up to 1 MiB, as in the engine, whatever RBP and
// SBP say: those keep their meaning as the least socket buffer sizes.
// Under Wine every socket call has a fixed cost far above the copying:
// 4096- and 512-byte calls cost a tenth of the throughput, and even 64 KiB
// calls a third of what 1 MiB ones reach.  Counts are 64-bit; they are cut
// only where they enter a 32-bit field.
#include "client.h"
#include "resource.h"

#include <commctrl.h>
#include <inttypes.h>
#include <shellapi.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include <set>
#include <string>
#include <vector>

#include "xferrules.h"

namespace t95 {

static_assert(ANSWER_YESALL == IDC_OW_YESALL && ANSWER_NOALL == IDC_OW_NOALL, "answers are the dialog's buttons");

int g_workerBusy;
HWND g_progressDlg;
int (*g_answerHook)(const char *text, UINT type);

static const int kBlock = 1 << 20;

static HANDLE s_worker;
static int s_dirXfer;         // a directory transfer runs (PRODIROW decides)
static int s_toAll;           // overwrite answer for the rest: 1 yes, -1 no, 0 ask
static uint64_t s_expected;   // expected size of the current file, 0 unknown

// ---------------------------------------------------------------- the worker's busy flag

void InitBusyLock()
{
    static LONG done;
    if (!InterlockedExchange(&done, 1))
        InitializeCriticalSection(&g_busyLock);
}

int WorkerBusy()
{
    InitBusyLock();
    EnterCriticalSection(&g_busyLock);
    int on = g_workerBusy;
    LeaveCriticalSection(&g_busyLock);
    return on;
}

void SetWorkerBusy(int on)
{
    InitBusyLock();
    EnterCriticalSection(&g_busyLock);
    g_workerBusy = on;
    LeaveCriticalSection(&g_busyLock);
}

// Marks the worker busy unless it already is, or a socket operation runs.
static int ClaimWorker()
{
    InitBusyLock();
    EnterCriticalSection(&g_busyLock);
    int ok = !g_workerBusy && g_ftp.busy <= 0 && !g_ftp.cmdInProgress;
    if (ok)
        g_workerBusy = 1;
    LeaveCriticalSection(&g_busyLock);
    return ok;
}

int WaitForWorker(DWORD ms)
{
    DWORD start = GetTickCount();
    while (WorkerBusy()) {
        if (GetTickCount() - start >= ms)
            return 0;
        HANDLE h = s_worker;
        if (h)
            MsgWaitForMultipleObjects(1, &h, FALSE, 20, QS_ALLINPUT);
        else
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        PumpMessages();
    }
    if (s_worker && WaitForSingleObject(s_worker, 0) == WAIT_OBJECT_0) {
        CloseHandle(s_worker);
        s_worker = nullptr;
    }
    return 1;
}

void StopWorker()
{
    if (!WorkerBusy())
        return;
    LogLine("! Aborting thread.");
    g_ftp.cancel = 1;
    g_ftp.stop = 1;
    // The worker ends at its next wait slice; killing it outright could
    // leave the heap or the busy lock held by a dead thread.  Only one that
    // does not end in time is terminated.
    if (!WaitForWorker(10000) && s_worker) {
        TerminateThread(s_worker, 1);
        CloseHandle(s_worker);
        s_worker = nullptr;
        g_ftp.inData = 0;
        g_ftp.busy = 0;
        SetWorkerBusy(0);
    }
}

// ---------------------------------------------------------------- the user-interface thread

// Windows and questions belong to the main window's thread; a worker asks
// it to run them.
static LRESULT OnUiThread(LRESULT (*fn)(void *), void *ctx)
{
    if (g_main && GetWindowThreadProcessId(g_main, nullptr) != GetCurrentThreadId())
        return SendMessageA(g_main, WM_T95_RUN, (WPARAM)fn, (LPARAM)ctx);
    return fn(ctx);
}

struct BoxArgs {
    const char *text;
    UINT type;
};

static LRESULT BoxOnUi(void *p)
{
    BoxArgs *a = (BoxArgs *)p;
    return AskUser(g_main, a->text, T95_APPNAME, a->type);
}

// A question or notice; a run with nobody to ask answers No.
static int Question(const char *text, UINT type)
{
    if (g_answerHook)
        return g_answerHook(text, type);
    if (NobodyToAnswer())
        return (type & 0x0F) == MB_OK ? IDOK : IDNO;
    BoxArgs a = {text, type};
    return (int)OnUiThread(BoxOnUi, &a);
}

struct AskArgs {
    const char *prompt;
    char *buf;
    size_t size;
};

static LRESULT AskOnUi(void *p)
{
    AskArgs *a = (AskArgs *)p;
    return AskText(g_main, a->prompt, a->buf, a->size);
}

static int Ask(const char *prompt, char *buf, size_t size)
{
    AskArgs a = {prompt, buf, size};
    return (int)OnUiThread(AskOnUi, &a);
}

static INT_PTR CALLBACK OverwriteProc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_INITDIALOG: {
        const BoxArgs *a = (const BoxArgs *)lp;
        SetDlgItemTextA(dlg, IDC_OW_TEXT, a->text);
        SendDlgItemMessageA(dlg, IDC_OW_ICON, STM_SETICON, (WPARAM)LoadIconA(nullptr, IDI_QUESTION), 0);
        if (!(a->type & ASK_ALL)) {
            ShowWindow(GetDlgItem(dlg, IDC_OW_YESALL), SW_HIDE);
            ShowWindow(GetDlgItem(dlg, IDC_OW_NOALL), SW_HIDE);
        }
        return TRUE;
    }
    case WM_COMMAND:
        switch (LOWORD(wp)) {
        case IDYES:
        case IDNO:
        case IDC_OW_YESALL:
        case IDC_OW_NOALL:
            EndDialog(dlg, LOWORD(wp));
            return TRUE;
        case IDCANCEL:
            EndDialog(dlg, IDNO);
            return TRUE;
        }
        break;
    }
    return FALSE;
}

static LRESULT OverwriteOnUi(void *p)
{
    return DialogBoxParamA(g_inst, MAKEINTRESOURCEA(IDD_OVERWRITE), g_main, OverwriteProc, (LPARAM)p);
}

static int AskOverwrite(const char *text, int offerAll)
{
    UINT type = ASK_OVERWRITE | (offerAll ? ASK_ALL : 0);
    if (g_answerHook)
        return g_answerHook(text, type);
    // Nobody to ask: the options answer as they do for directory transfers
    // (PRODIROW on keeps the existing file, and the caller logs the skip).
    if (NobodyToAnswer())
        return g_cfg.proDirOw ? IDNO : IDYES;
    BoxArgs a = {text, type};
    int r = (int)OnUiThread(OverwriteOnUi, &a);
    return r > 0 ? r : IDNO;
}

// ---------------------------------------------------------------- list items

struct ItemInfo {
    int found;
    int kind;
    int year, month, day, hour, minute;
    int64_t size;
    std::string name;
};

static int ReadItem(HWND list, int index, ItemInfo *out)
{
    LRESULT d = SendMessageA(list, LB_GETITEMDATA, (WPARAM)index, 0);
    if (d == LB_ERR || !d)
        return 0;
    HGLOBAL h = (HGLOBAL)d;
    ListItem *it = (ListItem *)GlobalLock(h);
    if (!it)
        return 0;
    out->found = 1;
    out->kind = it->kind;
    out->year = it->year;
    out->month = it->month;
    out->day = it->day;
    out->hour = it->hour;
    out->minute = it->minute;
    out->size = it->size;
    out->name.assign(it->text, (size_t)(it->nameLen > 0 ? it->nameLen : 0));
    GlobalUnlock(h);
    return 1;
}

static HWND List(int id)
{
    return g_main ? GetDlgItem(g_main, id) : nullptr;
}

// The item of that name in a list (directories and drives only when asked).
static ItemInfo FindItem(HWND list, const char *name, int exactCase, int dirsToo)
{
    ItemInfo r = {};
    if (!list || !name || !*name)
        return r;
    int n = (int)SendMessageA(list, LB_GETCOUNT, 0, 0);
    for (int i = 0; i < n; ++i) {
        ItemInfo it = {};
        if (!ReadItem(list, i, &it))
            continue;
        if (!dirsToo && (it.kind == KIND_DIR || it.kind == KIND_DRIVE))
            continue;
        if (exactCase ? it.name == name : !lstrcmpiA(it.name.c_str(), name))
            return it;
    }
    return r;
}

static std::vector<ItemInfo> Snapshot(HWND list, int selectedOnly)
{
    std::vector<ItemInfo> out;
    if (!list)
        return out;
    if (selectedOnly) {
        int n = (int)SendMessageA(list, LB_GETSELCOUNT, 0, 0);
        if (n <= 0)
            return out;
        std::vector<int> sel((size_t)n);
        n = (int)SendMessageA(list, LB_GETSELITEMS, (WPARAM)n, (LPARAM)sel.data());
        for (int i = 0; i < n; ++i) {
            ItemInfo it = {};
            if (ReadItem(list, sel[(size_t)i], &it))
                out.push_back(it);
        }
    } else {
        int n = (int)SendMessageA(list, LB_GETCOUNT, 0, 0);
        for (int i = 0; i < n; ++i) {
            ItemInfo it = {};
            if (ReadItem(list, i, &it))
                out.push_back(it);
        }
    }
    return out;
}

static const char *BaseOf(const char *path)
{
    const char *p = path;
    for (const char *q = path; *q; ++q)
        if (*q == '/' || *q == '\\')
            p = q + 1;
    return p;
}

// ---------------------------------------------------------------- names

int ConvertName(char *name, size_t size, int toServer)
{
    if (toServer && g_cfg.forclow)
        CharLowerA(name);
    if (!g_cfg.convext)
        return 0;
    char version[256] = "";
    if (char *semi = strchr(name, ';')) {
        snprintf(version, sizeof version, "%s", semi);
        *semi = 0;
    }
    int changed = 0;
    FILE *f = fopen(g_files.cnv, "r");
    if (f) {
        char line[128];
        const size_t n = strlen(name);
        while (!changed && fgets(line, sizeof line, f)) {
            if (!strchr(line, '\n') && !feof(f)) {
                int ch;
                while ((ch = fgetc(f)) != EOF && ch != '\n') {
                }
            }
            line[strcspn(line, "\r\n")] = 0;
            line[80] = 0;
            char *eq = strchr(line, '=');
            if (!eq)
                continue;
            *eq = 0;
            const char *src = line;
            char dst[21];
            snprintf(dst, sizeof dst, "%s", eq + 1);
            const size_t sl = strlen(src);
            if (sl < 2)
                continue;
            if (!lstrcmpiA(src, name)) {
                snprintf(name, size, "%s", dst);
                changed = 1;
            } else if (sl < n && !lstrcmpiA(src, name + n - sl)) {
                name[n - sl] = 0;
                size_t keep = strlen(name);
                snprintf(name + keep, size - keep, "%s", dst);
                changed = 1;
            }
        }
        fclose(f);
    }
    if (!changed && toServer && version[0]) {
        size_t keep = strlen(name);
        snprintf(name + keep, size - keep, "%s", version);
    }
    return changed;
}

// Device names that Windows opens as devices in any folder, with any
// extension: a download under such a name would write to the device.
static int IsDeviceName(const char *name)
{
    char base[16];
    size_t n = 0;
    while (name[n] && name[n] != '.' && n < sizeof base - 1) {
        base[n] = name[n];
        ++n;
    }
    if (name[n] && name[n] != '.')
        return 0;
    while (n && base[n - 1] == ' ')
        --n;
    base[n] = 0;
    static const char *const fixed[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$", "CLOCK$"};
    for (const char *d : fixed)
        if (!lstrcmpiA(base, d))
            return 1;
    if (n == 4 && (!_strnicmp(base, "COM", 3) || !_strnicmp(base, "LPT", 3)) && base[3] >= '1' && base[3] <= '9')
        return 1;
    return 0;
}

static int LongNamesAllowed();

int UnsafeRemoteName(const char *name)
{
    return CheckLocalName(name, (size_t)LongNamesAllowed()) != LN_OK;
}

// The longest name the current folder's volume takes, 0 when that is 12
// or less (8.3 names).  Asked once per drive: Wine warns on standard error
// at every call that it cannot read the volume's label.
static int LongNamesAllowed()
{
    static char lastDrive;
    static int lastMax;
    char cwd[MAX_PATH] = "";
    GetCurrentDirectoryA(sizeof cwd, cwd);
    char drive = (char)(cwd[1] == ':' ? (cwd[0] & ~0x20) : '\\');
    if (drive != lastDrive) {
        DWORD maxLen = 0;
        if (!GetVolumeInformationA(nullptr, nullptr, 0, nullptr, &maxLen, nullptr, nullptr, 0))
            maxLen = 255;
        lastDrive = drive;
        lastMax = (int)maxLen;
    }
    return lastMax > 12 ? lastMax : 0;
}

static void Replace(char *s, size_t size, const char *with)
{
    snprintf(s, size, "%s", with);
}

void LocalNameFor(const char *remote, char *out, size_t size)
{
    char name[MAX_PATH] = "";
    char base[16] = "", ext[16] = "";
    int split = 0;
    const int limit = LongNamesAllowed();
    // Long names stay long wherever the volume takes them.
    const size_t rlen = strlen(BaseOf(remote));
    if (g_ftp.hostType == 6044) {
        snprintf(name, sizeof name, "%s", remote);
        for (char *c = name; *c; ++c)
            if (*c == '/' || *c == '\\')
                *c = '.';
        ConvertName(name, sizeof name, 0);
    } else if (limit && rlen <= (size_t)limit) {
        snprintf(name, sizeof name, "%s", BaseOf(remote));
        if (g_ftp.hostType == 6011)
            if (char *semi = strrchr(name, ';'))
                *semi = 0;
        ConvertName(name, sizeof name, 0);
    } else {
        // Short-name volumes: an 8.3 name.
        char work[MAX_PATH];
        snprintf(work, sizeof work, "%s", remote);
        if (g_ftp.hostType == 6029) {
            char *w = work;
            for (const char *r = work; *r; ++r)
                if (!(*r == ' ' && w > work && w[-1] == ' '))
                    *w++ = *r;
            *w = 0;
        }
        const char *p = BaseOf(work);
        while (*p == '.')
            ++p;
        size_t b = 0;
        while (*p && *p != '.' && *p != ' ') {
            if (b < 8)
                base[b++] = *p == ':' ? '_' : *p;
            ++p;
        }
        base[b] = 0;
        if (*p)
            ++p;
        while (*p == '.' || *p == ' ')
            ++p;
        size_t e = 0;
        while (*p && *p != '.' && *p != ' ' && *p != ';' && e < 10)
            ext[e++] = *p++;
        ext[e] = 0;
        if (ext[0]) {
            char conv[32];
            snprintf(conv, sizeof conv, ".%s", ext);
            if (ConvertName(conv, sizeof conv, 0) && conv[0] == '.')
                snprintf(ext, sizeof ext, "%.10s", conv + 1);
            else
                ext[3] = 0;
            snprintf(name, sizeof name, "%s.%s", base, ext);
        } else {
            snprintf(name, sizeof name, "%s", base);
        }
        split = 1;
    }
    // A name of dots only would name the folder itself.
    const char *d = name;
    while (*d == '.')
        ++d;
    if (!*d)
        Replace(name, sizeof name, "aaremote");
    for (unsigned char *c = (unsigned char *)name; *c; ++c) {
        switch (*c) {
        case '*': *c = '@'; break;
        case '<': *c = '{'; break;
        case '>': *c = '}'; break;
        case '?': *c = '$'; break;
        case '|': *c = '+'; break;
        // A colon would write into an alternate stream of another file.
        case ':': *c = '_'; break;
        default:
            if (*c < 32)
                *c = '_';
            break;
        }
    }
    if (IsDeviceName(name)) {
        char safe[MAX_PATH];
        snprintf(safe, sizeof safe, "_%s", name);
        snprintf(name, sizeof name, "%s", safe);
    }
    if (g_cfg.recu && GetFileAttributesA(name) != INVALID_FILE_ATTRIBUTES) {
        if (!split) {
            const char *dot = strrchr(name, '.');
            size_t bl = dot && dot != name ? (size_t)(dot - name) : strlen(name);
            snprintf(base, sizeof base, "%.*s", (int)(bl < sizeof base - 1 ? bl : sizeof base - 1), name);
            snprintf(ext, sizeof ext, "%s", dot && dot != name ? dot + 1 : "");
            if (bl >= sizeof base - 1)
                base[6] = 0; // only the first five characters are used below
        }
        char tryName[MAX_PATH];
        for (unsigned i = 0; i < 99; ++i) {
            if (ext[0] && strlen(base) < 6)
                snprintf(tryName, sizeof tryName, "%s%03u.%s", base, i, ext);
            else if (ext[0])
                snprintf(tryName, sizeof tryName, "%-5.5s%03u.%s", base, i, ext);
            else
                snprintf(tryName, sizeof tryName, "%s.%03u", name, i);
            if (GetFileAttributesA(tryName) == INVALID_FILE_ATTRIBUTES)
                break;
        }
        snprintf(name, sizeof name, "%s", tryName);
    }
    snprintf(out, size, "%s", name);
}

void RemoteNameFor(const char *localPath, char *out, size_t size)
{
    char name[MAX_PATH];
    snprintf(name, sizeof name, "%s", BaseOf(localPath));
    ConvertName(name, sizeof name, 1);
    snprintf(out, size, "%s", name);
}

// ---------------------------------------------------------------- transfer type

// The type for one file: fixed, or chosen by the ASCII list in automatic
// mode (the mode buttons follow).
static char ChooseType(const char *name)
{
    char t = (char)g_cfg.mode;
    if (g_cfg.amode) {
        t = IsAsciiName(BaseOf(name)) ? 'A' : 'I';
        if (g_cfg.mode != t) {
            g_cfg.mode = t;
            UpdateButtons();
        }
    }
    return t == 'A' || t == 'L' ? t : 'I';
}

// ---------------------------------------------------------------- progress

struct Progress {
    int on;
    HWND dlg;
    int caption; // pane caption showing the count when there is no dialog
    DWORD start, last;
    uint64_t bytes;
};
static Progress s_prog;
static POINT s_dlgPos;
static int s_dlgPosValid;

static INT_PTR CALLBACK ProgressProc(HWND dlg, UINT msg, WPARAM wp, LPARAM)
{
    switch (msg) {
    case WM_INITDIALOG:
        SendDlgItemMessageA(dlg, IDC_PROG_BAR, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wp) == IDCANCEL) {
            g_ftp.cancel = 1;
            g_ftp.stop = 1;
            return TRUE;
        }
        break;
    case WM_CLOSE:
        // Closing only closes the window; the transfer goes on.
        DestroyWindow(dlg);
        return TRUE;
    case WM_DESTROY: {
        RECT r;
        if (GetWindowRect(dlg, &r)) {
            s_dlgPos.x = r.left;
            s_dlgPos.y = r.top;
            s_dlgPosValid = 1;
        }
        if (g_progressDlg == dlg)
            g_progressDlg = nullptr;
        if (s_prog.dlg == dlg)
            s_prog.dlg = nullptr;
        return TRUE;
    }
    }
    return FALSE;
}

// The expected size: from the last parenthesis of the description
// ("(1234 bytes)", "(12 kbytes)"), else the list item's size.
static uint64_t ExpectedSize(const char *desc, int64_t itemSize)
{
    const char *open = strrchr(desc, '(');
    if (open) {
        std::string inside(open + 1);
        size_t close = inside.find(')');
        if (close != std::string::npos)
            inside.resize(close);
        unsigned long long n = strtoull(inside.c_str(), nullptr, 10);
        if (inside.find("bytes") != std::string::npos)
            return n;
        if (inside.find('k') != std::string::npos)
            return n * 1024;
    }
    return itemSize > 0 ? (uint64_t)itemSize : 0;
}

static double RateOf(uint64_t bytes, DWORD ms, const char **unit)
{
    const double secs = (ms < 100 ? 100 : ms) / 1000.0;
    double r;
    if (g_cfg.tranrate == 1) {
        r = (double)bytes / secs;
        *unit = "Bps";
        if (r > 1024) {
            r /= 1024;
            *unit = "KBps";
            if (r > 1024) {
                r /= 1024;
                *unit = "MBps";
            }
        }
        return r;
    }
    // Bits, counting ten to the byte (start and stop bits of a modem).
    if (bytes <= 100000) {
        r = (double)bytes * 10 / secs;
        *unit = "bps";
        if (r > 10000) {
            r /= 1024;
            *unit = "Kbps";
            if (r > 1024) {
                r = (double)(bytes / 102) / secs / 1024;
                *unit = "Mbps";
            }
        }
        return r;
    }
    r = (double)(bytes / 102) / secs;
    *unit = "Kbps";
    if (r > 1024) {
        r /= 1024;
        *unit = "Mbps";
    }
    return r;
}

static void ShowProgress()
{
    const DWORD ms = GetTickCount() - s_prog.start;
    const uint64_t bytes = s_prog.bytes;
    if (!s_prog.dlg) {
        if (s_prog.caption && g_main) {
            char cap[32];
            snprintf(cap, sizeof cap, "%" PRIu64, bytes);
            SetDlgItemTextA(g_main, s_prog.caption, cap);
        }
        return;
    }
    const char *unit;
    double rate = RateOf(bytes, ms, &unit);
    char text[200];
    int n = snprintf(text, sizeof text, "%" PRIu64 " : %.2f %s", bytes, rate, unit);
    if (ms >= 1000)
        n += snprintf(text + n, sizeof text - (size_t)n, " : %lu:%02lu", (unsigned long)(ms / 60000),
                      (unsigned long)(ms / 1000 % 60));
    const double perSec = (double)bytes * 1000.0 / (ms < 100 ? 100 : ms);
    if (s_expected && perSec > 0 && bytes > 0) {
        uint64_t left = bytes < s_expected ? (uint64_t)((double)(s_expected - bytes) / perSec) : 0;
        snprintf(text + n, sizeof text - (size_t)n, " : %lu:%02lu", (unsigned long)(left / 60),
                 (unsigned long)(left % 60));
    }
    SetDlgItemTextA(s_prog.dlg, IDC_PROG_STATUS, text);
    if (s_expected) {
        uint64_t pct = s_expected > 999999 ? bytes / (s_expected / 100) : bytes * 100 / s_expected;
        if (pct > 100)
            pct = 100;
        SendDlgItemMessageA(s_prog.dlg, IDC_PROG_BAR, PBM_SETPOS, (WPARAM)pct, 0);
        char p[16];
        snprintf(p, sizeof p, "%u%%", (unsigned)pct);
        SetDlgItemTextA(s_prog.dlg, IDC_PROG_PCT, p);
    }
}

static void ProgressBegin(const char *desc, int caption)
{
    memset(&s_prog, 0, sizeof s_prog);
    s_prog.on = 1;
    s_prog.caption = caption;
    s_prog.start = s_prog.last = GetTickCount();
    if (!g_cfg.hash)
        return;
    HWND dlg = CreateDialogParamA(g_inst, MAKEINTRESOURCEA(IDD_PROGRESS), g_main, ProgressProc, 0);
    if (!dlg)
        return;
    SetDlgItemTextA(dlg, IDC_PROG_DESC, desc);
    RECT r;
    GetWindowRect(dlg, &r);
    int x = s_dlgPos.x, y = s_dlgPos.y;
    if (!s_dlgPosValid) {
        RECT m = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
        if (g_main && !IsIconic(g_main))
            GetWindowRect(g_main, &m);
        x = (m.left + m.right - (r.right - r.left)) / 2;
        y = (m.top + m.bottom - (r.bottom - r.top)) / 2;
    }
    SetWindowPos(dlg, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    // Someone working in another window keeps it active.
    HWND fg = GetForegroundWindow();
    ShowWindow(dlg, fg && fg != g_main && fg != dlg ? SW_SHOWNOACTIVATE : SW_SHOW);
    s_prog.dlg = dlg;
    g_progressDlg = dlg;
}

static void ProgressStep(uint64_t bytes)
{
    if (!s_prog.on)
        return;
    s_prog.bytes = bytes;
    DWORD now = GetTickCount();
    if (now - s_prog.last < 500)
        return;
    s_prog.last = now;
    ShowProgress();
}

static void ProgressEnd()
{
    if (!s_prog.on)
        return;
    if (s_prog.dlg)
        DestroyWindow(s_prog.dlg);
    if (s_prog.caption && g_main)
        SetDlgItemTextA(g_main, s_prog.caption, s_prog.caption == IDC_RCAPTION ? "Remote System" : "Local System");
    s_prog.on = 0;
    s_prog.dlg = nullptr;
}

// "Received 1234 bytes in 0.5 secs, (12.34 Kbps), transfer succeeded"
static void LogRate(const char *what, uint64_t bytes, DWORD ms, int ok)
{
    const char *unit;
    double rate = RateOf(bytes, ms, &unit);
    Logf("%s %" PRIu64 " bytes in %.1lf secs, (%.2f %s), %s", what, bytes, ms / 1000.0, rate, unit,
         ok ? "transfer succeeded" : "transfer failed");
}

// ---------------------------------------------------------------- data loops

static void LeastBuffer(SOCKET s, int opt, int want)
{
    int cur = 0, len = sizeof cur;
    if (getsockopt(s, SOL_SOCKET, opt, (char *)&cur, &len) == 0 && cur >= want)
        return;
    setsockopt(s, SOL_SOCKET, opt, (const char *)&want, sizeof want);
}

static void NonBlocking(SOCKET s)
{
    u_long on = 1;
    ioctlsocket(s, FIONBIO, &on);
}

// The window's messages between blocks: often enough for a live window and
// a Cancel button (every 20 ms), not after every block, since under Wine
// each look at the queue costs about as much as a tenth of a block.
static void PumpBetweenBlocks(DWORD *last)
{
    DWORD now = GetTickCount();
    if (now - *last < 20)
        return;
    *last = now;
    PumpMessages();
}

static DWORD DataTimeoutMs()
{
    return (DWORD)(g_ftp.timeout > 0 ? g_ftp.timeout : 65) * 1000;
}

// The data loops wait on an event the socket keeps for the whole transfer:
// setting one up for every wait would cost more than the waits themselves.
// (Its FD_READ and FD_WRITE come again after each recv or send that would
// block, which is when the loops wait.)
struct DataEvent {
    SOCKET s;
    WSAEVENT ev;
    int on;
    DataEvent(SOCKET sock, int forWrite) : s(sock), ev(WSACreateEvent()), on(0)
    {
        if (ev != WSA_INVALID_EVENT)
            on = WSAEventSelect(s, ev, forWrite ? (FD_WRITE | FD_CLOSE) : (FD_READ | FD_CLOSE)) == 0;
    }
    ~DataEvent()
    {
        if (on)
            WSAEventSelect(s, nullptr, 0);
        if (ev != WSA_INVALID_EVENT)
            WSACloseEvent(ev);
    }
    // 1 when the socket may be ready, 0 after ms without, -2 on a cancel.
    int Wait(int forWrite, DWORD ms)
    {
        if (!on)
            return WaitSocket(s, forWrite, ms, 1, 1);
        const DWORD start = GetTickCount();
        for (;;) {
            if (g_ftp.cancel)
                return -2;
            DWORD elapsed = GetTickCount() - start;
            if (elapsed >= ms)
                return 0;
            DWORD slice = ms - elapsed > 25 ? 25 : ms - elapsed;
            DWORD w = MsgWaitForMultipleObjects(1, &ev, FALSE, slice, QS_ALLINPUT);
            if (w == WAIT_OBJECT_0) {
                WSAResetEvent(ev);
                return 1;
            }
            PumpMessages();
            // A slice gone by: look again, in case a signal went astray.
            if (w == WAIT_TIMEOUT)
                return 1;
        }
    }
};

// Cuts a file at a point and leaves its pointer there.
static int CutFile(HANDLE f, uint64_t at)
{
    LARGE_INTEGER pos;
    pos.QuadPart = (LONGLONG)at;
    return SetFilePointerEx(f, pos, nullptr, FILE_BEGIN) && SetEndOfFile(f);
}

int ReceiveIntoFile(SOCKET data, HANDLE file, int binary, int append)
{
    (void)binary;
    (void)append;
    ReceiveTarget t = {};
    t.file = file;
    t.cutAt = -1;
    return ReceiveInto(data, &t);
}

int ReceiveInto(SOCKET data, ReceiveTarget *t)
{
    HANDLE file = t->file;
    t->overrun = t->writeFailed = 0;
    t->dropped = 0;
    t->cutPending = t->cutAt >= 0;
    char *buf = (char *)HeapAlloc(GetProcessHeap(), 0, kBlock);
    if (!buf) {
        Logf("! %s", "Failed to allocate memory.");
        return XFER_FAILED;
    }
    LeastBuffer(data, SO_RCVBUF, g_cfg.rbp);
    NonBlocking(data);
    g_ftp.cancel = 0;
    EnterBusy();
    StopWatchdog();
    InterlockedIncrement(&g_ftp.inData);
    uint64_t total = 0;
    int outcome = XFER_DONE;
    int error = 0;
    DataEvent ready(data, 0);
    DWORD idleSince = 0; // when the socket last had nothing, 0 while data flows
    DWORD pumped = GetTickCount();
    for (;;) {
        if (g_ftp.cancel) {
            outcome = XFER_BROKEN;
            break;
        }
        int n = recv(data, buf, kBlock, 0);
        if (n == SOCKET_ERROR) {
            int e = WSAGetLastError();
            if (e == WSAEWOULDBLOCK) {
                if (!idleSince)
                    idleSince = GetTickCount();
                DWORD idle = GetTickCount() - idleSince;
                int w = idle < DataTimeoutMs() ? ready.Wait(0, DataTimeoutMs() - idle) : 0;
                if (w == 1)
                    continue;
                if (w == -2) {
                    outcome = XFER_BROKEN;
                    break;
                }
                e = 10004;
            }
            error = e ? e : 10004;
            break;
        }
        idleSince = 0;
        if (n == 0)
            break;
        if (t->limited && total + (uint64_t)n > t->limit) {
            // More than the server meant: nothing past it is written.
            t->overrun = 1;
            t->dropped = total + (uint64_t)n - t->limit;
            n = (int)(t->limit - total);
        }
        if (n && t->cutPending) {
            if (file != INVALID_HANDLE_VALUE && !CutFile(file, (uint64_t)t->cutAt))
                file = INVALID_HANDLE_VALUE; // reported as a write failure below
            t->cutPending = 0;
        }
        if (n && !total && t->firstByte)
            t->firstByte(t->ctx);
        DWORD written = 0;
        if (n && (file == INVALID_HANDLE_VALUE || !WriteFile(file, buf, (DWORD)n, &written, nullptr) ||
                  written != (DWORD)n)) {
            Logf("! %s", "File error on WRITE! Transfer cancelled.");
            PlayEvent(SND_OTHER_FAIL);
            g_ftp.cancel = 1;
            t->writeFailed = 1;
            outcome = XFER_BROKEN;
            break;
        }
        total += (uint64_t)n;
        if (t->overrun) {
            // Stopped like a cancel: the abort sequence goes out.
            g_ftp.cancel = 1;
            outcome = XFER_BROKEN;
            break;
        }
        ProgressStep(total);
        PumpBetweenBlocks(&pumped);
    }
    if (error) {
        Logf("! %s: %s", "Receive error", ErrorText(error));
        if (!total)
            PlayEvent(SND_XFER_FAIL);
        outcome = total ? XFER_BROKEN : XFER_FAILED;
    }
    s_prog.bytes = total;
    InterlockedDecrement(&g_ftp.inData);
    LeaveBusy();
    HeapFree(GetProcessHeap(), 0, buf);
    return outcome;
}

// Sends a block whole, waiting in slices; 0 on an error or a cancel.
static int SendBlock(SOCKET s, DataEvent &ready, const char *buf, int len)
{
    int off = 0;
    DWORD idleSince = 0;
    while (off < len) {
        int n = send(s, buf + off, len - off, 0);
        if (n > 0) {
            off += n;
            idleSince = 0;
            continue;
        }
        int e = n == 0 ? WSAECONNRESET : WSAGetLastError();
        if (e == WSAEWOULDBLOCK) {
            if (!idleSince)
                idleSince = GetTickCount();
            DWORD idle = GetTickCount() - idleSince;
            const DWORD limit = NetWaitMs(32000);
            int w = idle < limit ? ready.Wait(1, limit - idle) : 0;
            if (w == 1)
                continue;
            if (w == -2)
                return 0;
            e = 10004;
        }
        Logf("! %s: %s", "Send error", ErrorText(e));
        g_ftp.cancel = 1;
        return 0;
    }
    return 1;
}

int SendFromFile(SOCKET data, HANDLE file, int ascii)
{
    char *buf = (char *)HeapAlloc(GetProcessHeap(), 0, kBlock);
    if (!buf) {
        Logf("! %s", "Failed to allocate memory.");
        return 0;
    }
    BOOL on = TRUE;
    setsockopt(data, IPPROTO_TCP, TCP_NODELAY, (const char *)&on, sizeof on);
    LeastBuffer(data, SO_SNDBUF, g_cfg.sbp);
    NonBlocking(data);
    LARGE_INTEGER size = {};
    GetFileSizeEx(file, &size);
    g_ftp.cancel = 0;
    EnterBusy();
    InterlockedIncrement(&g_ftp.inData);
    int ok = 1;
    uint64_t total = 0, read = 0;
    DataEvent ready(data, 1);
    DWORD pumped = GetTickCount();
    for (;;) {
        if (g_ftp.cancel) {
            ok = 0;
            break;
        }
        DWORD got = 0;
        if (!ReadFile(file, buf, kBlock, &got, nullptr)) {
            Logf("! %s (%u)", "File error on READ! Transfer cancelled.", (unsigned)GetLastError());
            PlayEvent(SND_OTHER_FAIL);
            ok = 0;
            break;
        }
        if (!got)
            break;
        read += got;
        // A text file's end mark goes no further; a 26 that merely ends a
        // block inside the file is data.
        if (ascii && buf[got - 1] == 26 && read >= (uint64_t)size.QuadPart)
            --got;
        if (got && !SendBlock(data, ready, buf, (int)got)) {
            ok = 0;
            break;
        }
        total += got;
        ProgressStep(total);
        PumpBetweenBlocks(&pumped);
    }
    s_prog.bytes = total;
    InterlockedDecrement(&g_ftp.inData);
    LeaveBusy();
    HeapFree(GetProcessHeap(), 0, buf);
    return ok;
}

// Opens the data connection and sends the command (after "REST" when
// restart is set).  Returns the connected data socket, or INVALID_SOCKET
// with the reply class in *cls.  *restOk tells whether REST was accepted.
static SOCKET StartData(const char *cmd, const char *arg, int *cls, int sounds, const uint64_t *restart = nullptr,
                        int *restOk = nullptr)
{
    int active = 0;
    SOCKET s = OpenDataConnection(&active);
    if (s == INVALID_SOCKET) {
        if (sounds)
            PlayEvent(SND_XFER_FAIL);
        *cls = 0;
        return INVALID_SOCKET;
    }
    if (restart) {
        *restOk = SendCommand("REST %" PRIu64, *restart) == 3;
    }
    *cls = arg ? SendCommand("%s%s", cmd, arg) : SendCommand("%s", cmd);
    if (active && *cls == 5 && g_ftp.lastCode == 550 && g_ftp.hostType == 6024 && arg && !strcmp(cmd, "RETR ")) {
        // IBM MVS/KNET wants the data set name in single quotes.
        *cls = SendCommand("%s'%s'", cmd, arg);
    }
    if (*cls == 2 && arg) {
        // Done without a preliminary reply and without using the data
        // connection: nothing was moved, whatever the reply says.
        TransferFacts facts = {};
        facts.closingCode = g_ftp.lastCode;
        char text[200];
        LogLine(VerdictText(XV_NO_DATA_CONNECTION, &facts, text, sizeof text));
        if (sounds)
            PlayEvent(SND_XFER_FAIL);
        *cls = 0;
    }
    if (*cls != 1) {
        closesocket(s);
        if (g_ftp.listen == s)
            g_ftp.listen = INVALID_SOCKET;
        if (g_ftp.pasv == s)
            g_ftp.pasv = INVALID_SOCKET;
        return INVALID_SOCKET;
    }
    if (active)
        s = AcceptData(s);
    if (s == INVALID_SOCKET) {
        // The server may still be trying to reach us; tell it to stop.
        Abort();
        *cls = 0;
    }
    return s;
}

// Ends a data transfer: the data connection closed and the completion
// reply read.  Returns its class.
//
// After a cancel the abort sequence goes first and the data connection is
// then dropped at once (a reset), before any reply is awaited: many
// servers (vsftpd among them) look at the control connection only when a
// data read or write fails, and one blocked writing to a client that no
// longer reads would never answer ABOR.  Then both replies: the transfer's
// (426, or 226 when it had just ended) and the abort's.
static int FinishData(SOCKET data, int outcome)
{
    if (outcome == XFER_BROKEN && g_ftp.cancel) {
        const int sent = SendAbortSequence();
        linger hard = {1, 0};
        setsockopt(data, SOL_SOCKET, SO_LINGER, (const char *)&hard, sizeof hard);
        closesocket(data);
        if (g_ftp.pasv == data)
            g_ftp.pasv = INVALID_SOCKET;
        Logf("[%u] looking for completion line", (unsigned)data);
        g_ftp.cancel = 0;
        int cls = ReadReply();
        if (sent && !g_ftp.cancel)
            ReadReply();
        g_ftp.cancel = 1;
        return cls;
    }
    CloseDataSocket(data);
    Logf("[%u] looking for completion line", (unsigned)data);
    LONG was = InterlockedExchange(&g_ftp.cancel, 0);
    int cls = ReadReply();
    if (was)
        g_ftp.cancel = 1;
    return cls;
}

int ListToFile(const char *cmd, const char *path, int append)
{
    if (!g_ftp.connected)
        return 0;
    if (SetTransferType('A') != 2)
        return 0;
    HANDLE f = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, append ? OPEN_ALWAYS : CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) {
        Logf("! %s %s (%u)", "Failed to open file", path, (unsigned)GetLastError());
        return 0;
    }
    if (append)
        SetFilePointer(f, 0, nullptr, FILE_END);
    int cls;
    SOCKET d = StartData(cmd, nullptr, &cls, 0);
    if (d == INVALID_SOCKET) {
        CloseHandle(f);
        return cls;
    }
    int outcome = ReceiveIntoFile(d, f, 0, append);
    CloseHandle(f);
    cls = FinishData(d, outcome);
    return outcome == XFER_DONE ? cls : (cls == 2 ? 4 : cls);
}

// ---------------------------------------------------------------- transfer log and resume keys

static void SplitLocal(const char *path, std::string *dir, std::string *name)
{
    char full[MAX_PATH * 2];
    char *file = nullptr;
    DWORD n = GetFullPathNameA(path, sizeof full, full, &file);
    if (!n || n >= sizeof full) {
        char cwd[MAX_PATH] = "";
        GetCurrentDirectoryA(sizeof cwd, cwd);
        *dir = cwd;
        *name = BaseOf(path);
    } else {
        const char *base = BaseOf(full);
        dir->assign(full, (size_t)(base - full));
        *name = base;
    }
    while (!dir->empty() && (dir->back() == '\\' || dir->back() == '/'))
        dir->pop_back();
}

static int RemoteDirKnown()
{
    return g_ftp.remoteDir[0] && strcmp(g_ftp.remoteDir, "directory identifier unavailable");
}

static void SplitRemote(const char *remote, std::string *dir, std::string *name)
{
    const char *slash = strrchr(remote, '/');
    if (slash) {
        *dir = slash == remote ? std::string("/") : std::string(remote, (size_t)(slash - remote));
        *name = slash + 1;
    } else {
        *dir = RemoteDirKnown() ? g_ftp.remoteDir : "";
        *name = remote;
    }
}

static std::string JoinRemote(const std::string &dir, const std::string &name)
{
    if (name.empty() || name[0] == '/' || dir.empty())
        return name;
    return dir + (dir.back() == '/' ? "" : "/") + name;
}

// The transfer log's file; a relative name lives beside TESSEL.INI, not in
// whatever folder a directory transfer has just entered.
static std::string LogFilePath()
{
    const char *name = g_cfg.logfile[0] ? g_cfg.logfile : "TESSEL.LOG";
    if (name[0] == '\\' || name[0] == '/' || (name[0] && name[1] == ':'))
        return name;
    std::string ini = g_files.ini;
    size_t cut = ini.find_last_of("\\/");
    return cut == std::string::npos ? std::string(name) : ini.substr(0, cut + 1) + name;
}

static void WriteTransferLog(char type, int upload, const char *localPath, const char *remote)
{
    if (g_cfg.dolog != 1)
        return;
    std::string ldir, lname, rdir, rname;
    SplitLocal(localPath, &ldir, &lname);
    SplitRemote(remote, &rdir, &rname);
    const char *who = upload || !g_ftp.sessionName[0] ? g_ftp.hostName : g_ftp.sessionName;
    time_t now = time(nullptr);
    struct tm *t = localtime(&now);
    FILE *f = fopen(LogFilePath().c_str(), "a");
    if (!f || !t) {
        if (f)
            fclose(f);
        return;
    }
    fprintf(f, "%02d.%02d.%02d %02d:%02d %c %s\\%s %s %s %s %s\n", t->tm_year % 100, t->tm_mon + 1, t->tm_mday, t->tm_hour,
            t->tm_min, type == 'A' ? 'A' : 'B', ldir.c_str(), lname.c_str(), upload ? "-->" : "<--", who,
            rdir.c_str(), rname.c_str());
    fclose(f);
}

static const char *ResumeSection()
{
    return g_ftp.sessionName[0] ? g_ftp.sessionName : nullptr;
}

static void ClearResumeKeys(const char *section)
{
    if (!section || !IniHasKey(section, "REGETRFILE"))
        return;
    static const char *const keys[] = {"REGETRDIR", "REGETRFILE", "REGETLDIR", "REGETLFILE", "REGETTIME"};
    for (const char *k : keys)
        WriteIniText(section, k, nullptr);
}

static void SaveResumeKeys(const char *section, const std::string &rdir, const std::string &rfile,
                           const std::string &ldir, const std::string &lfile)
{
    if (!section)
        return;
    if (g_cfg.proReget)
        Logf("Saving restart info for %s - %s", section, rfile.c_str());
    WriteIniText(section, "REGETRDIR", rdir.c_str());
    WriteIniText(section, "REGETRFILE", rfile.c_str());
    WriteIniText(section, "REGETLDIR", ldir.c_str());
    WriteIniText(section, "REGETLFILE", lfile.c_str());
    char now[24];
    snprintf(now, sizeof now, "%lu", (unsigned long)time(nullptr));
    WriteIniText(section, "REGETTIME", now);
}

// ---------------------------------------------------------------- overwrite check

static void DateKey(const ItemInfo &i, char *out, size_t size)
{
    unsigned y = (unsigned)(i.year < 200 ? i.year + 1900 : i.year);
    snprintf(out, size, "%04u%02u%02u%02u%02u", y, (unsigned)i.month, (unsigned)i.day, (unsigned)i.hour,
             (unsigned)i.minute);
}

enum { OW_NEWER = 1, OW_SAME = 2 };

// 1 to go ahead, 0 to skip (*why: OW_NEWER or OW_SAME).
static int OverwriteCheck(const ItemInfo &src, HWND destList, const char *destName, int index, int count, int *why)
{
    *why = 0;
    if (!s_dirXfer && !g_cfg.proOverw)
        return 1;
    if (!src.found || (!src.year && !src.month))
        return 1;
    ItemInfo dst = FindItem(destList, destName, 0, 0);
    if (!dst.found)
        return 1;
    char a[32], b[32];
    DateKey(src, a, sizeof a);
    DateKey(dst, b, sizeof b);
    int cmp = strcmp(a, b);
    if (cmp > 0)
        return 1;
    if (cmp == 0 && src.size != dst.size)
        return 1;
    const int state = cmp < 0 ? OW_NEWER : OW_SAME;
    if (s_dirXfer) {
        if (!g_cfg.proDirOw)
            return 1;
        *why = state;
        return 0;
    }
    if (s_toAll) {
        *why = s_toAll > 0 ? 0 : state;
        return s_toAll > 0;
    }
    char text[600];
    snprintf(text, sizeof text,
             state == OW_NEWER ? "Newer version of %s exists in the destination directory.\nCopy the file anyway?"
                               : "Same version of %s exists in the destination directory.\nCopy the file anyway?",
             destName);
    int r = AskOverwrite(text, count - index + 1 >= 2);
    if (r == ANSWER_YESALL)
        s_toAll = 1;
    else if (r == ANSWER_NOALL)
        s_toAll = -1;
    if (r == IDYES || r == ANSWER_YESALL)
        return 1;
    *why = state;
    return 0;
}

// The source item of a transfer, taken from the caller's snapshot when it
// has one (the lists change under a directory transfer).
static const ItemInfo *s_source;

static ItemInfo SourceItem(HWND list, const char *name)
{
    if (s_source && s_source->name == name)
        return *s_source;
    return FindItem(list, name, 1, 0);
}

static void SetRemoteTime(HANDLE f, const ItemInfo &src)
{
    SYSTEMTIME st = {};
    st.wYear = (WORD)(src.year < 200 ? src.year + 1900 : src.year);
    st.wMonth = (WORD)src.month;
    st.wDay = (WORD)src.day;
    st.wHour = (WORD)src.hour;
    st.wMinute = (WORD)src.minute;
    FILETIME local, utc;
    if (SystemTimeToFileTime(&st, &local) && LocalFileTimeToFileTime(&local, &utc))
        SetFileTime(f, &utc, &utc, &utc);
}

static int CommandRunning()
{
    if (g_ftp.busy > 0 || g_ftp.cmdInProgress) {
        Logf("! %s", "Command in progress, ignored");
        return 1;
    }
    return 0;
}

// ---------------------------------------------------------------- names written in a run

static std::set<std::string> *s_written;

TransferRun::TransferRun() : names(nullptr)
{
    if (!s_written) {
        s_written = new std::set<std::string>;
        names = s_written;
    }
}

TransferRun::~TransferRun()
{
    if (names && s_written == names) {
        delete s_written;
        s_written = nullptr;
    }
}

static std::string WrittenKey(const char *local)
{
    char full[MAX_PATH * 2];
    DWORD n = GetFullPathNameA(local, sizeof full, full, nullptr);
    const char *path = n && n < sizeof full ? full : local;
    std::string key(strlen(path) + 1, '\0');
    LocalNameKey(path, &key[0], key.size());
    key.resize(strlen(key.c_str()));
    return key;
}

// ---------------------------------------------------------------- one file

namespace {

// What a download learns of the remote file's size before it starts.
SizeSources RemoteSizes(const char *remote, int binary, const ItemInfo *item)
{
    SizeSources s = {};
    if (!binary)
        return s; // ASCII sizes differ between the two ends
    if (SendCommand("SIZE %s", remote) == 2 && ParseSizeReply(g_ftp.reply, &s.size))
        s.sizeOk = 1;
    // The list keeps sizes in 31 bits: a full one may stand for any more.
    if (item && item->found && item->size > 0 && item->size < 0x7FFFFFFF) {
        s.listingOk = 1;
        s.listing = (uint64_t)item->size;
    }
    return s;
}

struct KeysAtFirstByte {
    int binary;
    const char *section;
    std::string rdir, rname, ldir, lname;
};

void SaveKeysNow(void *p)
{
    KeysAtFirstByte *k = (KeysAtFirstByte *)p;
    if (k->binary)
        SaveResumeKeys(k->section, k->rdir, k->rname, k->ldir, k->lname);
}

// Opens a download's file without emptying it (ReceiveTarget::cutAt does
// that once data arrives); *created tells whether it is new.
HANDLE OpenForDownload(const char *local, int append, int *created)
{
    *created = 0;
    if (append)
        return CreateFileA(local, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    HANDLE f = CreateFileA(local, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f != INVALID_HANDLE_VALUE) {
        *created = 1;
        return f;
    }
    if (GetLastError() != ERROR_FILE_EXISTS)
        return f;
    return CreateFileA(local, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

} // namespace

int ReceiveFile(const char *remoteName, const char *localName, int index, int count, int prompt, int append)
{
    if (!g_ftp.connected) {
        Logf("! %s", "Not connected, ignored");
        return 0;
    }
    if (CommandRunning())
        return 0;
    // A cancel of an earlier transfer is spent; the stop flag still ends
    // the selection it belonged to.
    g_ftp.cancel = 0;
    const ItemInfo src = SourceItem(List(IDC_RLIST), remoteName);
    char local[MAX_PATH];
    if (localName && *localName) {
        snprintf(local, sizeof local, "%s", localName);
    } else {
        LocalNameFor(remoteName, local, sizeof local);
        // A name Windows would change (a trailing dot or blank) or cannot
        // take (too long) would land on another file.
        const int check = CheckLocalName(local, (size_t)LongNamesAllowed());
        if (check != LN_OK && !prompt && !append) {
            Logf("+ Skipped \"%s\": %s", remoteName, LocalNameCheckText(check));
            return 2;
        }
        if (prompt || append) {
            char q[400];
            snprintf(q, sizeof q, "Enter local file name for %s:", remoteName);
            if (!Ask(q, local, sizeof local) || !local[0]) {
                Logf("+ %s", "Cancelled");
                return 2;
            }
        }
    }
    Logf("receiving %s as %s (%u of %u)", remoteName, local, (unsigned)index, (unsigned)count);
    const std::string key = s_written && !append ? WrittenKey(local) : std::string();
    if (!key.empty() && s_written->count(key)) {
        Logf("+ Skipped \"%s\": already written in this transfer as %s", remoteName, local);
        return 2;
    }
    if (!append) {
        int why;
        if (!OverwriteCheck(src, List(IDC_LLIST), BaseOf(local), index, count, &why)) {
            Logf(why == OW_NEWER ? "+ Newer version of %s already exists!" : "+ Same verison of %s already exists!",
                 remoteName);
            return 2;
        }
    }
    const char type = ChooseType(remoteName);
    int cls = SetTransferType(type);
    if (cls != 2)
        return cls;
    const int binary = type != 'A';
    KeysAtFirstByte keys;
    keys.binary = binary;
    keys.section = ResumeSection();
    SplitRemote(remoteName, &keys.rdir, &keys.rname);
    SplitLocal(local, &keys.ldir, &keys.lname);
    SizeSources sizes = RemoteSizes(remoteName, binary, &src);
    s_expected = src.found && src.size > 0 ? (uint64_t)src.size : 0;
    // The resume keys are written once data arrives: a download that fails
    // before that leaves no record (and an older one stands).
    SOCKET d = StartData("RETR ", remoteName, &cls, 1);
    if (d == INVALID_SOCKET)
        return cls;
    sizes.announcedOk = ParseAnnouncedSize(g_ftp.reply, &sizes.announced);
    // Only now, with the server sending, is the file opened; an existing
    // one is cut when the first byte is there.
    int created = 0;
    HANDLE f = OpenForDownload(local, append, &created);
    if (f == INVALID_HANDLE_VALUE) {
        Logf("! %s %s (%u)", "Failed to open file", local, (unsigned)GetLastError());
        PlayEvent(SND_OTHER_FAIL);
        g_ftp.cancel = 1;
        FinishData(d, XFER_BROKEN);
        TransferFacts facts = {1, 0};
        char text[200];
        LogLine(VerdictText(XV_LOCAL_FILE, &facts, text, sizeof text));
        return 0;
    }
    if (append)
        SetFilePointer(f, 0, nullptr, FILE_END);
    if (!key.empty())
        s_written->insert(key);
    int lengthKnown = 0;
    const uint64_t expected = binary && !append ? ExpectedLength(&sizes, 0, &lengthKnown) : 0;
    s_expected = ExpectedSize(g_ftp.reply, src.found ? src.size : 0);
    ProgressBegin(g_ftp.reply, IDC_RCAPTION);
    ReceiveTarget t = {};
    t.file = f;
    t.cutAt = append ? -1 : 0;
    t.limited = lengthKnown;
    t.limit = expected;
    t.firstByte = SaveKeysNow;
    t.ctx = &keys;
    const DWORD start = GetTickCount();
    int outcome = ReceiveInto(d, &t);
    const DWORD ms = GetTickCount() - start;
    const uint64_t bytes = s_prog.bytes;
    ProgressEnd();
    if (outcome == XFER_FAILED) {
        CloseHandle(f);
        if (created && t.cutPending)
            DeleteFileA(local);
        LogRate("Received", bytes, ms, 0);
        FinishData(d, outcome);
        return 0;
    }
    cls = FinishData(d, outcome);
    TransferFacts facts = {};
    facts.dataConnection = 1;
    facts.dataOk = outcome == XFER_DONE || (t.overrun && !t.writeFailed);
    facts.closingCode = g_ftp.lastCode;
    facts.binary = binary;
    facts.lengthKnown = lengthKnown;
    facts.expected = expected;
    facts.actual = bytes + t.dropped;
    int fileOk = !t.writeFailed;
    facts.localFileOk = fileOk;
    // An empty file: cut now that it is confirmed complete.
    if (fileOk && t.cutPending && t.cutAt >= 0 && TransferVerdict(&facts) == XV_OK && !CutFile(f, 0))
        fileOk = 0;
    facts.localFileOk = fileOk;
    int verdict = TransferVerdict(&facts);
    if (verdict == XV_OK && g_cfg.proTimes && src.found && src.year && src.month && src.day)
        SetRemoteTime(f, src);
    if (!CloseHandle(f))
        fileOk = 0;
    facts.localFileOk = fileOk;
    verdict = TransferVerdict(&facts);
    if (created && t.cutPending && verdict != XV_OK)
        DeleteFileA(local); // nothing came: no empty file left behind
    LogRate("Received", bytes, ms, verdict == XV_OK);
    if (verdict != XV_OK) {
        char text[200];
        LogLine(VerdictText(verdict, &facts, text, sizeof text));
        // A long file is no part of the remote one: nothing to resume.
        if (binary && verdict == XV_LONG)
            ClearResumeKeys(keys.section);
        if (cls == 2 || cls == 0)
            cls = 4;
        return cls;
    }
    if (binary)
        ClearResumeKeys(keys.section);
    WriteTransferLog(type, 0, local, remoteName);
    return 2;
}

int SendFile(const char *localPath, const char *remoteName, int index, int count, int prompt, int append)
{
    if (!g_ftp.connected) {
        Logf("! %s", "Not connected, ignored");
        return 0;
    }
    if (CommandRunning())
        return 0;
    g_ftp.cancel = 0;
    char remote[MAX_PATH];
    if (remoteName && *remoteName) {
        snprintf(remote, sizeof remote, "%s", remoteName);
    } else {
        RemoteNameFor(localPath, remote, sizeof remote);
        if (prompt || append) {
            char q[400];
            snprintf(q, sizeof q, "Enter remote file name for %s:", localPath);
            if (!Ask(q, remote, sizeof remote) || !remote[0]) {
                Logf("+ %s", "cancelled");
                return 2;
            }
        }
    }
    const char *cmd = append ? "APPE " : "STOR ";
    Logf("sending %s as %s (%u of %u)", localPath, remote, (unsigned)index, (unsigned)count);
    if (!append) {
        int why;
        const ItemInfo src = SourceItem(List(IDC_LLIST), BaseOf(localPath));
        if (!OverwriteCheck(src, List(IDC_RLIST), remote, index, count, &why)) {
            Logf("+ newer or same version of %s already exists!", localPath);
            return SEND_SKIPPED;
        }
    }
    // The file is opened before the server is told to store: a file that
    // cannot be read must not empty the server's copy.
    HANDLE f = CreateFileA(localPath, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (f == INVALID_HANDLE_VALUE) {
        char line[MAX_PATH + 64];
        snprintf(line, sizeof line, "! %s %s (%u)", "Failed to open file", localPath, (unsigned)GetLastError());
        LogLine(line);
        PlayEvent(SND_XFER_FAIL);
        if (g_cmd.unattended && !g_cmd.quiet)
            Question(line, MB_OK | MB_ICONSTOP);
        return 0;
    }
    const char type = ChooseType(localPath);
    int cls = SetTransferType(type);
    if (cls != 2) {
        CloseHandle(f);
        return cls;
    }
    SOCKET d = StartData(cmd, remote, &cls, 1);
    if (d == INVALID_SOCKET) {
        CloseHandle(f);
        return cls;
    }
    LARGE_INTEGER size = {};
    GetFileSizeEx(f, &size);
    char desc[MAX_PATH + 80];
    int n = snprintf(desc, sizeof desc, type == 'A' ? "Sending ASCII file %s" : "Sending BINARY file %s", localPath);
    if (size.QuadPart > 0 && n > 0 && (size_t)n < sizeof desc)
        snprintf(desc + n, sizeof desc - (size_t)n, " (%" PRIu64 " bytes)", (uint64_t)size.QuadPart);
    s_expected = ExpectedSize(desc, 0);
    ProgressBegin(desc, IDC_LCAPTION);
    const DWORD start = GetTickCount();
    int ok = SendFromFile(d, f, type == 'A');
    const DWORD ms = GetTickCount() - start;
    const uint64_t bytes = s_prog.bytes;
    ProgressEnd();
    CloseHandle(f);
    cls = FinishData(d, ok ? XFER_DONE : XFER_BROKEN);
    ok = ok && cls == 2;
    LogRate("Transmitted", bytes, ms, ok);
    if (!ok)
        return cls == 2 || cls == 0 ? 4 : cls;
    WriteTransferLog(type, 1, localPath, remote);
    return 2;
}

// ---------------------------------------------------------------- resume

struct ResumeKeys {
    char rdir[256], rfile[256], ldir[MAX_PATH], lfile[MAX_PATH];
};

// The resumed download.  The remote size comes first: only a local part
// shorter than the remote file is resumed, and the result must be exactly
// as long as the remote file.  XFER_DONE for a verified file, XFER_BROKEN
// when the part may still be resumed (the record stays), XFER_FAILED when
// it may not.
static int Reget(HANDLE f, const char *remote, const char *localPath, uint64_t localSize)
{
    if (SetTransferType('I') != 2) {
        Logf("! %s", "Reget failed");
        return XFER_BROKEN;
    }
    SizeSources sizes = RemoteSizes(remote, 1, nullptr);
    uint64_t offset = ResumeOffset(localSize, sizes.sizeOk, sizes.size);
    if (!offset && localSize > 1024)
        LogLine(sizes.sizeOk ? "+ The remote file is not longer than the part to resume from, starting over."
                             : "+ The remote file's size is unknown, starting over.");
    int cls, restOk = -1; // -1: the data connection failed before REST
    s_expected = 0;
    SOCKET d = StartData("RETR ", remote, &cls, 1, &offset, &restOk);
    if (restOk == 0) {
        // The server would send the file from its start.
        LogLine("+ Cannot restart at requested location, starting over.");
        offset = 0;
    }
    if (d == INVALID_SOCKET) {
        Logf("! %s", "Reget failed");
        return XFER_BROKEN;
    }
    sizes.announcedOk = ParseAnnouncedSize(g_ftp.reply, &sizes.announced);
    int lengthKnown = 0;
    const uint64_t expected = ExpectedLength(&sizes, offset, &lengthKnown);
    s_expected = ExpectedSize(g_ftp.reply, 0);
    ProgressBegin(g_ftp.reply, IDC_RCAPTION);
    // What is past the restart point goes once the server's data is there
    // (a shorter copy starting over must not keep the old tail).
    ReceiveTarget t = {};
    t.file = f;
    t.cutAt = (int64_t)offset;
    t.limited = lengthKnown && expected >= offset;
    t.limit = t.limited ? expected - offset : 0;
    LARGE_INTEGER at;
    at.QuadPart = (LONGLONG)offset;
    SetFilePointerEx(f, at, nullptr, FILE_BEGIN);
    const DWORD start = GetTickCount();
    int outcome = ReceiveInto(d, &t);
    const DWORD ms = GetTickCount() - start;
    const uint64_t bytes = s_prog.bytes;
    ProgressEnd();
    cls = FinishData(d, outcome);
    TransferFacts facts = {};
    facts.dataConnection = 1;
    facts.localFileOk = !t.writeFailed;
    facts.dataOk = outcome == XFER_DONE || (t.overrun && !t.writeFailed);
    facts.closingCode = g_ftp.lastCode;
    facts.binary = 1;
    facts.lengthKnown = lengthKnown;
    facts.expected = expected;
    facts.actual = offset + bytes + t.dropped;
    if (facts.localFileOk && t.cutPending && TransferVerdict(&facts) == XV_OK && !CutFile(f, offset))
        facts.localFileOk = 0;
    const int verdict = TransferVerdict(&facts);
    LogRate("Received", bytes, ms, verdict == XV_OK);
    if (verdict == XV_OK) {
        WriteTransferLog('I', 0, localPath, remote);
        return XFER_DONE;
    }
    char text[200];
    LogLine(VerdictText(verdict, &facts, text, sizeof text));
    if (t.overrun && offset) {
        // REST was accepted, yet the file came from its start: what went
        // past the restart point is not the rest of the file.
        CutFile(f, offset);
        LogLine("! The server ignored REST and sent the file from its start; the local part is kept");
        return XFER_BROKEN;
    }
    if (verdict == XV_LONG)
        return XFER_FAILED;
    return XFER_BROKEN;
}

void ResumePending(const char *section)
{
    if (!g_cfg.proReget || !section || !*section || !g_ftp.connected)
        return;
    if (WorkerBusy() || g_ftp.busy > 0 || g_ftp.cmdInProgress)
        return;
    ResumeKeys k;
    ReadIniText(section, "REGETRDIR", "", k.rdir, sizeof k.rdir);
    ReadIniText(section, "REGETRFILE", "", k.rfile, sizeof k.rfile);
    ReadIniText(section, "REGETLDIR", "", k.ldir, sizeof k.ldir);
    ReadIniText(section, "REGETLFILE", "", k.lfile, sizeof k.lfile);
    if (!k.rdir[0] || !k.rfile[0] || !k.ldir[0] || !k.lfile[0])
        return;
    const std::string remote = JoinRemote(k.rdir, k.rfile);
    std::string ldir = k.ldir;
    while (ldir.size() > 1 && ldir.back() == '\\')
        ldir.pop_back();
    const std::string localPath = ldir + "\\" + k.lfile;
    std::string q = "Do you want to attempt to resume the transfer of:\n  " + remote + "\n-->\n  " + localPath;
    if (Question(q.c_str(), MB_YESNO | MB_ICONQUESTION) != IDYES) {
        ClearResumeKeys(section);
        return;
    }
    SetCurrentDirectoryA(k.ldir);
    RefreshLocal();
    HANDLE f = CreateFileA(localPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) {
        if (Question("Failed to open the local file. Did you delete it?", MB_YESNO | MB_ICONQUESTION) == IDYES) {
            ClearResumeKeys(section);
            Question("In that case, you need to attempt to retrieve the file again.", MB_OK | MB_ICONINFORMATION);
        } else {
            Question("The file could not be opened and may be locked by another process.\nYou should reboot your "
                     "system and try again.",
                     MB_OK | MB_ICONEXCLAMATION);
        }
        return;
    }
    LARGE_INTEGER size = {};
    GetFileSizeEx(f, &size);
    LARGE_INTEGER end;
    if (!SetFilePointerEx(f, size, &end, FILE_BEGIN)) {
        CloseHandle(f);
        Question("Failed to set file pointer.\nExit, reboot system and try again.", MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    SetWorkerBusy(1);
    UpdateButtons();
    g_ftp.cancel = g_ftp.stop = 0;
    int outcome = Reget(f, remote.c_str(), localPath.c_str(), (uint64_t)size.QuadPart);
    CloseHandle(f);
    SetWorkerBusy(0);
    if (outcome == XFER_BROKEN) {
        std::string rdir, rname, ld, ln;
        SplitRemote(remote.c_str(), &rdir, &rname);
        SplitLocal(localPath.c_str(), &ld, &ln);
        SaveResumeKeys(section, rdir, rname, ld, ln);
    } else {
        ClearResumeKeys(section);
    }
    RefreshLocal();
    UpdateButtons();
}

// ---------------------------------------------------------------- directories

static int Stopped()
{
    return g_ftp.stop || g_ftp.cancel || !g_ftp.connected;
}

// Remote folders of the directory download in progress, outermost first:
// a link that leads back into one of them is not followed again.
static std::vector<std::string> s_chain;

static std::string LocalDirName(const char *remote)
{
    std::string n = remote;
    for (char &c : n) {
        switch (c) {
        case '*': c = '@'; break;
        case '<': c = '{'; break;
        case '>': c = '}'; break;
        case '?': c = '$'; break;
        case '|': c = '+'; break;
        default: break;
        }
    }
    return n;
}

static int ReturnRemote(const std::string &dir)
{
    int cls = dir.empty() ? ChangeDir("..") : ChangeDir(dir.c_str());
    if (cls != 2) {
        Logf("[E] failed to return to original remote directory: %s", dir.c_str());
        return 0;
    }
    return 1;
}

int DownloadDirectory(const char *name)
{
    if (UnsafeRemoteName(name)) {
        Logf("+ Skipped \"%s\": not a name for a local folder", name);
        return 1;
    }
    // Besides the loop check, a bound on the depth: a server can make up a
    // new folder name (and a new PWD) at every level.
    if (s_chain.size() >= MAX_TREE_DEPTH) {
        Logf("! Folder %s is %u levels deep: not followed", name, (unsigned)MAX_TREE_DEPTH + 1);
        return 0;
    }
    char ldir[MAX_PATH] = "";
    GetCurrentDirectoryA(sizeof ldir, ldir);
    const std::string rdir = RemoteDirKnown() ? g_ftp.remoteDir : "";
    const std::string local = LocalDirName(name);
    if ((!CreateDirectoryA(local.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) ||
        !SetCurrentDirectoryA(local.c_str())) {
        Logf("! %s %s", "Failed to create or change directory:", name);
        PlayEvent(SND_OTHER_FAIL);
        return 0;
    }
    RefreshLocal();
    int ok = 1;
    if (ChangeDir(name) != 2) {
        Logf("[E] failed to change to selected remote directory: %s", name);
        ok = 0;
    } else {
        ShowRemote(1);
        const std::string here = g_ftp.remoteDir;
        int loop = 0;
        for (const std::string &d : s_chain)
            if (d == here)
                loop = 1;
        if (loop) {
            Logf("+ Skipped \"%s\": it leads back into a folder being transferred", name);
        } else {
            s_chain.push_back(here);
            std::vector<ItemInfo> items = Snapshot(List(IDC_RLIST), 0);
            int count = (int)items.size(), index = 0;
            for (const ItemInfo &it : items) {
                ++index;
                if (Stopped()) {
                    ok = 0;
                    break;
                }
                if (it.name == "..")
                    continue;
                if (it.kind == KIND_DIR) {
                    ok = DownloadDirectory(it.name.c_str()); // refuses names that climb out
                } else if (UnsafeRemoteName(it.name.c_str())) {
                    Logf("+ Skipped \"%s\": not a name for a local file", it.name.c_str());
                    continue;
                } else {
                    s_source = &it;
                    int r = ReceiveFile(it.name.c_str(), nullptr, index, count, 0, 0);
                    s_source = nullptr;
                    if (r == XFER_LINKDIR && it.kind == KIND_LINK)
                        ok = DownloadDirectory(it.name.c_str());
                    else if (r != 2)
                        ok = 0;
                }
                if (!ok)
                    break;
            }
            s_chain.pop_back();
        }
        LogLine("[S] transfer directory complete");
        if (!ReturnRemote(rdir))
            ok = 0;
        else
            ShowRemote(0); // the pane shows where the session is again
    }
    if (!SetCurrentDirectoryA(ldir)) {
        Logf("[E] failed to return to original local directory: %s", ldir);
        ok = 0;
    }
    RefreshLocal();
    return ok;
}

static unsigned s_upDepth;

int UploadDirectory(const char *name)
{
    if (s_upDepth >= MAX_TREE_DEPTH) {
        Logf("! Folder %s is %u levels deep: not followed", name, (unsigned)MAX_TREE_DEPTH + 1);
        return 0;
    }
    struct Level {
        Level() { ++s_upDepth; }
        ~Level() { --s_upDepth; }
    } level;
    char ldir[MAX_PATH] = "";
    GetCurrentDirectoryA(sizeof ldir, ldir);
    const std::string rdir = RemoteDirKnown() ? g_ftp.remoteDir : "";
    if (!SetCurrentDirectoryA(name)) {
        Logf("! %s %s", "Failed change to new local directory:", name);
        PlayEvent(SND_OTHER_FAIL);
        return 0;
    }
    RefreshLocal();
    MakeDir(name);
    int ok = 0;
    if (ChangeDir(name) == 2) {
        ok = 1;
        ShowRemote(1);
        std::vector<ItemInfo> items = Snapshot(List(IDC_LLIST), 0);
        int count = (int)items.size(), index = 0;
        for (const ItemInfo &it : items) {
            ++index;
            if (Stopped()) {
                ok = 0;
                break;
            }
            if (it.name == ".." || it.kind == KIND_DRIVE)
                continue;
            if (it.kind == KIND_DIR) {
                ok = UploadDirectory(it.name.c_str());
            } else {
                s_source = &it;
                int r = SendFile(it.name.c_str(), nullptr, index, count, 0, 0);
                s_source = nullptr;
                if (r != 2 && r != SEND_SKIPPED)
                    ok = 0;
            }
            if (!ok)
                break;
        }
        if (!ReturnRemote(rdir))
            ok = 0;
        // The list shows the folder the session is in, with the new one.
        ShowRemote(1);
    }
    if (!SetCurrentDirectoryA(ldir)) {
        Logf("[E] failed to return to original local directory: %s", ldir);
        ok = 0;
    }
    RefreshLocal();
    return ok;
}

// ---------------------------------------------------------------- selections

struct Job {
    int download;
    int append;
    int prompt;
    std::vector<ItemInfo> items;
};

// Directories of a selection go with progress dialog, sounds and prompting
// switched off, and with PRODIROW deciding over existing files.
static int TransferDirectory(int download, const char *name)
{
    const int hash = g_cfg.hash, bell = g_cfg.bell, prompt = g_cfg.prompt;
    g_cfg.hash = g_cfg.bell = g_cfg.prompt = 0;
    s_dirXfer = 1;
    s_chain.clear();
    int ok = download ? DownloadDirectory(name) : UploadDirectory(name);
    s_dirXfer = 0;
    g_cfg.hash = hash;
    g_cfg.bell = bell;
    g_cfg.prompt = prompt;
    if (!ok)
        Logf("! %s", "Error occured during transfer");
    return ok;
}

static void RunJob(Job *job)
{
    TransferRun run;
    s_toAll = 0;
    g_ftp.stop = 0;
    g_ftp.cancel = 0;
    const int download = job->download;
    const int n = (int)job->items.size();
    int any = 0, all = 1;
    if (!n) {
        char name[MAX_PATH] = "";
        const char *q = download ? "Enter remote file name to transfer to local system:"
                                 : "Enter local file name to transfer to remote system:";
        if (Ask(q, name, sizeof name) && name[0]) {
            int r = download ? ReceiveFile(name, nullptr, 1, 1, job->prompt, job->append)
                             : SendFile(name, nullptr, 1, 1, job->prompt, job->append);
            any = r == 2;
            all = any;
        } else {
            all = 0;
        }
    }
    int askDirs = 1;
    for (int i = 0; i < n; ++i) {
        if (g_ftp.stop) {
            all = 0;
            break;
        }
        const ItemInfo &it = job->items[(size_t)i];
        const char *name = it.name.c_str();
        if (name[0] == '[' || !strncmp(name, "..", 2))
            continue;
        int isDir = it.kind == KIND_DIR;
        if (!isDir && download && UnsafeRemoteName(name)) {
            Logf("+ Skipped \"%s\": not a name for a local file", name);
            all = 0;
            continue;
        }
        if (!isDir) {
            s_source = &it;
            int r = download ? ReceiveFile(name, nullptr, i + 1, n, job->prompt, job->append)
                             : SendFile(name, nullptr, i + 1, n, job->prompt, job->append);
            s_source = nullptr;
            if (download && r == XFER_LINKDIR && it.kind == KIND_LINK) {
                isDir = 1; // a link the server would not send as a file
            } else if (r == 2 || (!download && r == SEND_SKIPPED)) {
                any = 1;
                continue;
            } else {
                all = 0;
                break;
            }
        }
        if (askDirs) {
            if (Question("Do you want to transfer the selected directory structures?", MB_YESNO | MB_ICONQUESTION) !=
                IDYES) {
                all = 0;
                continue;
            }
            askDirs = 0;
        }
        if (!TransferDirectory(download, name)) {
            all = 0;
            break;
        }
        any = 1;
    }
    if (download)
        RefreshLocal();
    else if (any && g_cfg.doupdate)
        ShowRemote(1);
    if (any && all)
        PlayEvent(SND_XFER_OK);
}

static DWORD WINAPI WorkerMain(LPVOID p)
{
    Job *job = (Job *)p;
    InstallBlockingHook();
    RunJob(job);
    delete job;
    SetWorkerBusy(0);
    if (g_main)
        PostMessageA(g_main, WM_T95_WORKERDONE, 0, 0);
    return 0;
}

static void StartJob(int download, int append, int direct)
{
    if (!g_ftp.connected) {
        Logf("! %s", "Not connected, ignored");
        return;
    }
    if (!ClaimWorker()) {
        Logf("! %s", "Command in progress, ignored");
        return;
    }
    if (s_worker) {
        // The last worker has cleared its flag and is on its way out.
        WaitForSingleObject(s_worker, 5000);
        CloseHandle(s_worker);
        s_worker = nullptr;
    }
    Job *job = new Job;
    job->download = download;
    job->append = append;
    // Ctrl or Shift held as the command was given turns prompting round.
    const int held = GetKeyState(VK_CONTROL) < 0 || GetKeyState(VK_SHIFT) < 0;
    job->prompt = g_cfg.prompt ^ held;
    job->items = Snapshot(List(download ? IDC_RLIST : IDC_LLIST), 1);
    UpdateButtons();
    if (!direct && g_useThreads) {
        DWORD id;
        s_worker = CreateThread(nullptr, 0, WorkerMain, job, 0, &id);
        if (s_worker)
            return;
    }
    RunJob(job);
    delete job;
    SetWorkerBusy(0);
    UpdateButtons();
}

void DownloadSelection(HWND, int append)
{
    StartJob(1, append, 0);
}

void UploadSelection(HWND, int append)
{
    StartJob(0, append, 0);
}

// ---------------------------------------------------------------- dropped files

static ItemInfo ItemAtDrop(HWND list, HDROP drop)
{
    ItemInfo it = {};
    POINT pt;
    if (!list || !DragQueryPoint(drop, &pt))
        return it;
    LRESULT at = SendMessageA(list, LB_ITEMFROMPOINT, 0, MAKELPARAM(pt.x, pt.y));
    if (HIWORD(at) == 0)
        ReadItem(list, LOWORD(at), &it);
    return it;
}

// The dropped names; a block of no names may still count one empty name.
static std::vector<std::string> DroppedNames(HDROP drop)
{
    std::vector<std::string> out;
    UINT n = DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < n; ++i) {
        UINT len = DragQueryFileA(drop, i, nullptr, 0);
        if (!len)
            continue;
        std::string s(len + 1, '\0');
        DragQueryFileA(drop, i, &s[0], len + 1);
        s.resize(len);
        out.push_back(s);
    }
    return out;
}

// Files another program dropped on the local list: copied in under their
// own names, asking first (PROOVERW) before a same or newer file goes.
static void CopyDroppedIn(const std::vector<std::string> &paths)
{
    char dir[MAX_PATH] = "";
    GetCurrentDirectoryA(sizeof dir, dir);
    s_toAll = 0;
    int index = 0;
    const int count = (int)paths.size();
    for (const std::string &path : paths) {
        ++index;
        const char *base = BaseOf(path.c_str());
        std::string dest = std::string(dir) + (dir[0] && dir[strlen(dir) - 1] == '\\' ? "" : "\\") + base;
        if (!lstrcmpiA(path.c_str(), dest.c_str()))
            continue;
        WIN32_FILE_ATTRIBUTE_DATA fa;
        if (GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &fa)) {
            ItemInfo src = {};
            src.found = 1;
            FILETIME lt;
            SYSTEMTIME st;
            if (FileTimeToLocalFileTime(&fa.ftLastWriteTime, &lt) && FileTimeToSystemTime(&lt, &st)) {
                src.year = st.wYear;
                src.month = st.wMonth;
                src.day = st.wDay;
                src.hour = st.wHour;
                src.minute = st.wMinute;
            }
            src.size = fa.nFileSizeHigh ? 0x7FFFFFFF : (int64_t)(fa.nFileSizeLow > 0x7FFFFFFF ? 0x7FFFFFFF : fa.nFileSizeLow);
            int why;
            if (!OverwriteCheck(src, List(IDC_LLIST), base, index, count, &why))
                continue;
        }
        if (!CopyFileA(path.c_str(), dest.c_str(), FALSE)) {
            Logf("! %s %s (%u)", "Failed to copy file", path.c_str(), (unsigned)GetLastError());
            PlayEvent(SND_OTHER_FAIL);
        }
    }
    RefreshLocal();
}

static void DropOnLocal(HDROP drop, const std::vector<std::string> &names, int from)
{
    HWND list = List(IDC_LLIST);
    ItemInfo target = ItemAtDrop(list, drop);
    const int onDir = target.found && target.kind == KIND_DIR;
    if (from == 1) {
        char back[MAX_PATH] = "";
        GetCurrentDirectoryA(sizeof back, back);
        const int moved = onDir && SetCurrentDirectoryA(target.name.c_str());
        if (moved && (g_cfg.proTimes || g_cfg.proOverw))
            RefreshLocal();
        StartJob(1, 0, 1);
        if (moved)
            SetCurrentDirectoryA(back);
        RefreshLocal();
        return;
    }
    if (from == 0) {
        if (!onDir)
            return;
        char dir[MAX_PATH] = "";
        GetCurrentDirectoryA(sizeof dir, dir);
        std::string to = std::string(dir) + (dir[0] && dir[strlen(dir) - 1] == '\\' ? "" : "\\") + target.name;
        for (const std::string &path : names) {
            std::string dest = to + "\\" + BaseOf(path.c_str());
            if (MoveFileA(path.c_str(), dest.c_str())) {
                Logf("Moved %s to %s", path.c_str(), dest.c_str());
            } else {
                Logf("! Move of %s to %s failed.", path.c_str(), dest.c_str());
                PlayEvent(SND_OTHER_FAIL);
            }
        }
        RefreshLocal();
        return;
    }
    CopyDroppedIn(names);
}

static void DropOnRemote(HDROP drop, const std::vector<std::string> &names, int from)
{
    HWND list = List(IDC_RLIST);
    ItemInfo target = ItemAtDrop(list, drop);
    const int onDir = target.found && (target.kind == KIND_DIR || target.kind == KIND_LINK);
    if (from == 1) {
        if (!onDir || !g_ftp.connected)
            return;
        int moved = 0;
        for (const std::string &n : names) {
            std::string to = target.name + "/" + n;
            if (SendCommand("RNFR %s", n.c_str()) == 3 && SendCommand("RNTO %s", to.c_str()) == 2) {
                Logf("Moved %s to %s", n.c_str(), to.c_str());
                moved = 1;
            } else {
                Logf("! Move of %s to %s failed.", n.c_str(), to.c_str());
                PlayEvent(SND_OTHER_FAIL);
            }
        }
        if (moved)
            ShowRemote(1);
        return;
    }
    if (WorkerBusy())
        return;
    if (!g_ftp.connected) {
        Logf("! %s", "Not connected. File(s) ignored.");
        return;
    }
    if (IsBusy()) {
        Logf("! %s", "Busy!! File(s) ignored.");
        return;
    }
    if (from == 0) {
        const std::string back = RemoteDirKnown() ? g_ftp.remoteDir : "";
        int moved = 0;
        if (onDir && ChangeDir(target.name.c_str()) == 2) {
            moved = 1;
            if (g_cfg.proTimes || g_cfg.proOverw)
                ShowRemote(1);
        }
        StartJob(0, 0, 1);
        if (moved) {
            ReturnRemote(back);
            ShowRemote(1);
        }
        return;
    }
    if (!ClaimWorker()) {
        Logf("! %s", "Busy!! File(s) ignored.");
        return;
    }
    UpdateButtons();
    s_toAll = 0;
    g_ftp.stop = 0;
    int index = 0;
    for (const std::string &path : names) {
        ++index;
        if (g_ftp.stop)
            break;
        int r = SendFile(path.c_str(), nullptr, index, (int)names.size(), g_cfg.prompt, 0);
        if (r != 2 && r != SEND_SKIPPED)
            break;
    }
    SetWorkerBusy(0);
    if (g_cfg.doupdate)
        ShowRemote(1);
    UpdateButtons();
}

void DropFiles(HWND list, HDROP drop, int fromSide)
{
    std::vector<std::string> names = DroppedNames(drop);
    int id = list ? GetDlgCtrlID(list) : 0;
    if (names.empty()) {
        Logf("+ %s", "got a drop with no files!");
    } else if (id != IDC_LLIST && id != IDC_RLIST) {
        Logf("+ %s", "Received drop request outside of list boxes!");
    } else {
        if (id == IDC_LLIST)
            DropOnLocal(drop, names, fromSide);
        else
            DropOnRemote(drop, names, fromSide);
    }
    DragFinish(drop);
}

} // namespace t95
