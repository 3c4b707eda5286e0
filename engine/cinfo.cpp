// Connection record lifecycle, logging, status accessors and error texts.
#include "engine.h"

#include <stdio.h>
#include <string.h>

#define CINFO_OWN_RECORD 0x08u

static HMODULE g_module;
static LONG g_classRegistered;

// Debug log state: process-wide, switched by the settings code.
static int g_debugLog;
static char g_debugPath[256] = "\\tesselcore.log";
// Initialised by the C++ runtime before DllMain's attach code runs.
static struct DebugLock {
    CRITICAL_SECTION cs;
    DebugLock() { InitializeCriticalSection(&cs); }
} g_debugLockHolder;
static CRITICAL_SECTION &g_debugLock = g_debugLockHolder.cs;

extern "C" HMODULE TesselModule(void)
{
    if (!g_module) {
        // Linked statically (tests): the code lives in the program itself.
        GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                               GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           (LPCSTR)&TesselModule, &g_module);
    }
    return g_module;
}

extern "C" void TesselSetModule(HMODULE m) { g_module = m; }

void SetDebugLog(int enabled, const char *path)
{
    EnterCriticalSection(&g_debugLock);
    g_debugLog = enabled ? 1 : 0;
    if (path) {
        strncpy(g_debugPath, path, sizeof g_debugPath - 1);
        g_debugPath[sizeof g_debugPath - 1] = 0;
    }
    LeaveCriticalSection(&g_debugLock);
}

int DebugLogEnabled(void) { return g_debugLog; }

static void AppendDebugLog(const char *buf, DWORD len)
{
    EnterCriticalSection(&g_debugLock);
    HANDLE h = CreateFileA(g_debugPath, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                           OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
        SetFilePointer(h, 0, nullptr, FILE_END);
        DWORD written = 0;
        WriteFile(h, buf, len, &written, nullptr);
        CloseHandle(h);
    }
    LeaveCriticalSection(&g_debugLock);
}

TESSEL_EXTERN_C BOOL TESSEL_API TESSEL_AddTextToWindow(HWND wnd, const char *text)
{
    char buf[1024];
    if (!text)
        text = "";
    // Keep room for the CR LF that a line without a line feed gets.
    size_t len = strnlen(text, sizeof buf - 3);
    memcpy(buf, text, len);
    buf[len] = 0;
    if (!memchr(buf, '\n', len)) {
        buf[len++] = '\r';
        buf[len++] = '\n';
        buf[len] = 0;
    }
    BOOL ok = TRUE;
    if (wnd) {
        if (IsWindow(wnd)) {
            LRESULT end = SendMessageA(wnd, WM_GETTEXTLENGTH, 0, 0);
            SendMessageA(wnd, EM_SETSEL, (WPARAM)end, (LPARAM)end);
            SendMessageA(wnd, EM_REPLACESEL, FALSE, (LPARAM)buf);
        } else {
            ok = FALSE;
        }
    }
    if (g_debugLog)
        AppendDebugLog(buf, (DWORD)len);
    return ok;
}

TESSEL_EXTERN_C void __cdecl TESSEL_DoPrintf(HWND wnd, const char *fmt, ...)
{
    char buf[256];
    va_list ap;
    va_start(ap, fmt);
    int n = vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    if (n < 0)
        return;
    TESSEL_AddTextToWindow(wnd, buf);
}

void LogText(CINFO *ci, const char *text) { TESSEL_AddTextToWindow(ci ? ci->logWnd : nullptr, text); }

void Logf(CINFO *ci, const char *fmt, ...)
{
    char buf[1024];
    va_list ap;
    va_start(ap, fmt);
    int n = vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    if (n >= 0)
        LogText(ci, buf);
}

void SetErrorText(CINFO *ci, const char *text)
{
    strncpy(ci->errorBuf, text, sizeof ci->errorBuf - 1);
    ci->errorBuf[sizeof ci->errorBuf - 1] = 0;
    if (text[0] == '!' && text[1] == ' ')
        LogText(ci, ci->errorBuf);
}

void SetErrorf(CINFO *ci, const char *fmt, ...)
{
    char buf[256];
    va_list ap;
    va_start(ap, fmt);
    int n = vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    if (n >= 0)
        SetErrorText(ci, buf);
}

void ClearErrorText(CINFO *ci) { memset(ci->errorBuf, 0, 200); }

int RecordValid(CINFO *ci)
{
    if (!ci)
        return 0;
    if (ci->magic != CINFO_MAGIC) {
        strcpy(ci->errorBuf, "! not initialized");
        return 0;
    }
    return 1;
}

DWORD ReplyTimeoutMs(const CINFO *ci)
{
    uint32_t t = ci->timeout;
    if (t >= 1 && t <= 999)
        return t * 1000;
    if (t >= 1000 && t <= 179999)
        return t;
    return 30000;
}

BOOL PumpOneMessage(void)
{
    MSG msg;
    if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
        return FALSE;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
    return TRUE;
}

// Installed with WSASetBlockingHook for records that ask for it.  Wine (and
// WinSock 2) never call it, so WaitSocket runs the same pump itself.
static BOOL CALLBACK BlockingHook(void) { return PumpOneMessage(); }

BOOL EnsureHandlerClass(void)
{
    if (g_classRegistered)
        return TRUE;
    WNDCLASSA wc;
    memset(&wc, 0, sizeof wc);
    wc.lpfnWndProc = TesselHandlerWndProc;
    wc.cbWndExtra = 8;
    wc.hInstance = TesselModule();
    wc.lpszClassName = "TESSELD32";
    if (RegisterClassA(&wc) || GetLastError() == ERROR_CLASS_ALREADY_EXISTS)
        g_classRegistered = 1;
    return g_classRegistered ? TRUE : FALSE;
}

static void CreateHandlerWindow(CINFO *ci)
{
    if (!EnsureHandlerClass())
        return;
    ci->asyncWnd = CreateWindowExA(0, "TESSELD32", "", WS_POPUP, CW_USEDEFAULT, CW_USEDEFAULT,
                                   CW_USEDEFAULT, CW_USEDEFAULT, ci->notifyWnd, nullptr,
                                   TesselModule(), nullptr);
    if (!ci->asyncWnd) {
        LogText(ci, "! failed to create async handler window\r\n");
        return;
    }
    SetWindowLongPtrA(ci->asyncWnd, 0, (LONG_PTR)ci);
}

static void InstallHook(CINFO *ci)
{
    ci->hookFlags |= CINFO_BLOCKING_HOOK;
    WSASetBlockingHook((FARPROC)BlockingHook);
}

static char *AllocBuffer()
{
    return (char *)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, CINFO_BUFSIZE);
}

TESSEL_EXTERN_C CINFO *TESSEL_API TESSEL_InitCINFO(HWND notifyWnd, HWND logWnd, UINT progressMsg,
                                                   DWORD flags)
{
    CINFO *ci = (CINFO *)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(CINFO));
    if (!ci)
        return nullptr;
    ci->magic = CINFO_MAGIC;
    ci->errorText = ci->errorBuf;
    ci->replyText = ci->replyLine;
    ci->hostText = ci->host;
    ci->dirText = ci->currentDir;
    ci->userText = ci->user;
    ci->passText = ci->password;
    ci->notifyWnd = notifyWnd;
    ci->logWnd = logWnd;
    ci->progressMsg = progressMsg;
    ci->initFlags = flags;
    ci->refCount = 1;
    ci->libOwned = CINFO_OWN_RECORD;
    ci->dataSocket = INVALID_SOCKET;
    if (flags & CINFO_OWN_WINSOCK) {
        ci->lastError = WSAStartup(MAKEWORD(1, 1), &ci->wsaData);
        LogText(ci, ci->lastError == 0 ? "WSAData initialized\r\n" : "! WSAData NOT initialized\r\n");
    }
    ci->ctrlSocket = INVALID_SOCKET;
    ci->rxBuf = AllocBuffer();
    ci->cmdBuf = AllocBuffer();
    ci->fileBuf = AllocBuffer();
    if (!ci->rxBuf || !ci->cmdBuf || !ci->fileBuf) {
        if (ci->rxBuf) HeapFree(GetProcessHeap(), 0, ci->rxBuf);
        if (ci->cmdBuf) HeapFree(GetProcessHeap(), 0, ci->cmdBuf);
        if (ci->fileBuf) HeapFree(GetProcessHeap(), 0, ci->fileBuf);
        if (flags & CINFO_OWN_WINSOCK)
            WSACleanup();
        HeapFree(GetProcessHeap(), 0, ci);
        return nullptr;
    }
    ci->libOwned |= CINFO_OWN_RXBUF | CINFO_OWN_CMDBUF | CINFO_OWN_FILEBUF;
    ci->rxBufSize = ci->cmdBufSize = ci->fileBufSize = CINFO_BUFSIZE;
    ci->usePassive = 1;
    ci->hostType = TESSEL_HOST_AUTO;
    LogText(ci, "Structure initialized\r\n");
    CreateHandlerWindow(ci);
    if (flags & CINFO_BLOCKING_HOOK)
        InstallHook(ci);
    return ci;
}

TESSEL_EXTERN_C CINFO *TESSEL_API TESSEL_IntFixCInfo(CINFO *ci, const char *)
{
    if (!ci)
        return nullptr;
    // The caller's pre-initialiser owns the record; the library owns only the
    // buffers it has to add here.
    ci->libOwned &= ~CINFO_OWN_RECORD;
    if (!ci->rxBuf && (ci->rxBuf = AllocBuffer()))
        ci->libOwned |= CINFO_OWN_RXBUF, ci->rxBufSize = CINFO_BUFSIZE;
    if (!ci->cmdBuf && (ci->cmdBuf = AllocBuffer()))
        ci->libOwned |= CINFO_OWN_CMDBUF, ci->cmdBufSize = CINFO_BUFSIZE;
    if (!ci->fileBuf && (ci->fileBuf = AllocBuffer()))
        ci->libOwned |= CINFO_OWN_FILEBUF, ci->fileBufSize = CINFO_BUFSIZE;
    CreateHandlerWindow(ci);
    if (ci->hookFlags & CINFO_BLOCKING_HOOK)
        InstallHook(ci);
    LogText(ci, "Structure initialized\r\n");
    ci->refCount = 1;
    return ci;
}

void AddRef(CINFO *ci)
{
    if (ci)
        InterlockedIncrement(&ci->refCount);
}

static BOOL FreeOwned(char **buf, uint32_t bit, uint32_t owned)
{
    if (!*buf || !(owned & bit))
        return TRUE;
    if (!HeapFree(GetProcessHeap(), 0, *buf))
        return FALSE;
    *buf = nullptr;
    return TRUE;
}

void Release(CINFO *ci)
{
    if (!ci)
        return;
    if (InterlockedDecrement(&ci->refCount) != 0)
        return;
    if (ci->dataSocket != INVALID_SOCKET && ci->dataSocket != 0) {
        closesocket(ci->dataSocket);
        ci->dataSocket = INVALID_SOCKET;
    }
    if (ci->ctrlSocket != INVALID_SOCKET) {
        closesocket(ci->ctrlSocket);
        ci->ctrlSocket = INVALID_SOCKET;
    }
    if (ci->hookFlags & CINFO_BLOCKING_HOOK)
        WSAUnhookBlockingHook();
    if (ci->initFlags & CINFO_OWN_WINSOCK)
        WSACleanup();
    if (ci->asyncWnd) {
        SetWindowLongPtrA(ci->asyncWnd, 0, 0);
        // Only the creating thread can destroy the window; a last release on
        // a worker thread asks that thread to close it instead.
        if (GetWindowThreadProcessId(ci->asyncWnd, nullptr) == GetCurrentThreadId())
            DestroyWindow(ci->asyncWnd);
        else
            PostMessageA(ci->asyncWnd, WM_CLOSE, 0, 0);
        ci->asyncWnd = nullptr;
    }
    uint32_t owned = ci->libOwned;
    BOOL ok = FreeOwned(&ci->rxBuf, CINFO_OWN_RXBUF, owned);
    ok = FreeOwned(&ci->cmdBuf, CINFO_OWN_CMDBUF, owned) && ok;
    ok = FreeOwned(&ci->fileBuf, CINFO_OWN_FILEBUF, owned) && ok;
    HWND log = ci->logWnd;
    if (!ok) {
        LogText(ci, "! Structure NOT destroyed\r\n");
        InterlockedIncrement(&ci->refCount);
        return;
    }
    ci->magic = 0;
    if (owned & CINFO_OWN_RECORD) {
        if (!HeapFree(GetProcessHeap(), 0, ci)) {
            ci->magic = CINFO_MAGIC;
            TESSEL_AddTextToWindow(log, "! Structure NOT destroyed\r\n");
            InterlockedIncrement(&ci->refCount);
            return;
        }
    }
    TESSEL_AddTextToWindow(log, "Structure destroyed\r\n");
}

TESSEL_EXTERN_C int TESSEL_API TESSEL_FreeCINFO(CINFO *ci)
{
    if (ci && ci->magic == CINFO_MAGIC)
        Release(ci);
    return 0;
}

TESSEL_EXTERN_C char *TESSEL_API TESSEL_ReturnLastErrorString(CINFO *ci) { return ci->errorBuf; }
TESSEL_EXTERN_C char *TESSEL_API TESSEL_ReturnLastLineString(CINFO *ci) { return ci->replyLine; }
TESSEL_EXTERN_C int TESSEL_API TESSEL_ReturnLastErrorInt(CINFO *ci) { return ci->lastError; }
TESSEL_EXTERN_C char *TESSEL_API TESSEL_ReturnCurrentHostString(CINFO *ci) { return ci->host; }
TESSEL_EXTERN_C char *TESSEL_API TESSEL_ReturnCurrentUserIDString(CINFO *ci) { return ci->user; }
TESSEL_EXTERN_C int TESSEL_API TESSEL_ReturnCurrentHostTypeInt(CINFO *ci) { return ci->hostType; }
TESSEL_EXTERN_C const char *TESSEL_API TESSEL_ReturnCurrentHostTypeString(CINFO *ci)
{
    return TESSEL_ReturnHostTypeName(ci->hostType);
}

TESSEL_EXTERN_C WORD TESSEL_API TESSEL_GetDllVersion(void) { return 0x0500; }

static const struct {
    int code;
    const char *text;
} kErrorTexts[] = {
    {10004, "Blocking call cancelled"},
    {10022, "app version not supported by DLL"},
    {10024, "no file descriptors available"},
    {10035, "socket marked as non-blocking and SO_LINGER set not 0"},
    {10036, "Blocking operation in progress"},
    {10038, "descriptor is not a socket"},
    {10041, "protocol wrong type for this socket"},
    {10043, "specified protocol not supported"},
    {10044, "socket type not supported for address family"},
    {10047, "address family not supported"},
    {10048, "address already in use"},
    {10049, "address not available"},
    {10050, "Network subsystem failed"},
    {10051, "network unreachable"},
    {10053, "connection aborted"},
    {10054, "connection reset"},
    {10055, "no buffer space available"},
    {10057, "not connected"},
    {10060, "connection timed out"},
    {10061, "connection refused"},
    {10064, "host down"},
    {10065, "host unreachable"},
    {10091, "WinSock not present or not responding"},
    {10092, "version of WinSock not supported"},
    {10093, "WSA Startup not initialized"},
    {11001, "Authoritive: Host not found"},
    {11002, "Non-authoritive: host not found or server failure"},
    {11003, "Non-recoverable: refused or not implemented"},
    {11004, "Valid name, no data record for type"},
};

static char g_errorTextBuf[32];

TESSEL_EXTERN_C const char *TESSEL_API TESSEL_ReturnErrorString(int code, char *buf)
{
    for (const auto &e : kErrorTexts) {
        if (e.code == code) {
            if (!buf)
                return e.text;
            strcpy(buf, e.text);
            return buf;
        }
    }
    char *out = buf ? buf : g_errorTextBuf;
    sprintf(out, "error %u", (unsigned)code);
    return out;
}
