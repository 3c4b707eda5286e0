// The client's own FTP session layer: one control connection for the whole
// program, socket helpers with time-outs, replies, commands, login directly
// or through the firewall kinds, host-type detection, data connections,
// abort and close.
//
// Every wait is a select in short slices with the message pump between the
// slices.  A blocking hook is installed as well, but WinSock 2 stacks (and
// Wine) never call it, so nothing depends on it: the slices are what keeps
// the window painting and the Cancel button working.
#include "client.h"

#include "hosttypes.h"
#include "pasv.h"
#include "xferrules.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace t95 {

Ftp g_ftp = {INVALID_SOCKET, INVALID_SOCKET, INVALID_SOCKET};

static const DWORD kSliceMs = 25;

// ---------------------------------------------------------------- logging

void Logf(const char *fmt, ...)
{
    char buf[2400];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    LogLine(buf);
}

const char *ErrorText(int code, char *buf)
{
    static char own[32];
    struct Row {
        int code;
        const char *text;
    };
    static const Row rows[] = {
        {10004, "Blocking call cancelled"},
        {10022, "app version not supported by DLL"},
        {10024, "no file descriptors available"},
        {10035, "socket marked as non-blocking and SO_LINGER set not 0"},
        {10036, "Blocking operation in progress"},
        {10038, "descriptor is not a socket"},
        {10041, "protocol wrong type for this socket"},
        {10043, "specified protocol not supported"},
        {10044, "socket type not for address family"},
        {10047, "address family not supported"},
        {10048, "address already in use"},
        {10049, "address not available"},
        {10050, "Network subsystem failed"},
        {10053, "connection aborted"},
        {10054, "connection reset"},
        {10055, "no buffer space available"},
        {10057, "not connected"},
        {10060, "connection timed out"},
        {10061, "connection refused"},
        {10064, "host down"},
        {10065, "host unreachable"},
        {10091, "No WinSock present"},
        {10092, "Winsock version not supported"},
        {10093, "WSA Startup not initialized"},
        {11001, "Host not found or server failure"},
        {11002, "Host not found or server failure"},
        {11003, "Non-recoverable: refused or not implemented"},
        {11004, "Valid name, no data record for type"},
    };
    const char *text = nullptr;
    for (const Row &r : rows)
        if (r.code == code)
            text = r.text;
    char *out = buf ? buf : own;
    if (text)
        strcpy(out, text);
    else
        sprintf(out, "error %u", (unsigned)code);
    return out;
}

static void LogError(const char *what, int code)
{
    Logf("! %s: %s", what, ErrorText(code));
}

// ---------------------------------------------------------------- pumping and waits

BOOL PumpMessages()
{
    MSG msg;
    BOOL any = FALSE;
    for (int n = 0; n < 64 && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE); ++n) {
        any = TRUE;
        if (msg.message == WM_QUIT) {
            // Leave the quit for the program's own loop.
            PostQuitMessage((int)msg.wParam);
            break;
        }
        if (g_progressDlg && IsDialogMessageA(g_progressDlg, &msg))
            continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return any;
}

// The blocking hook installed at start and in every transfer thread: one
// message per call, as WinSock 1.1 expects.
static BOOL CALLBACK BlockingHook()
{
    MSG msg;
    if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
        return FALSE;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
    return TRUE;
}

void InstallBlockingHook()
{
    // Deprecated in WinSock 2 and ignored by Wine; installed because a
    // WinSock 1.1 stack would use it, not relied upon.
    WSASetBlockingHook((FARPROC)BlockingHook);
    WSASetLastError(0);
}

int PumpSleep(DWORD ms)
{
    DWORD start = GetTickCount();
    while (GetTickCount() - start < ms) {
        if (g_ftp.cancel)
            return 0;
        PumpMessages();
        DWORD left = ms - (GetTickCount() - start);
        MsgWaitForMultipleObjects(0, nullptr, FALSE, left < kSliceMs ? left : kSliceMs, QS_ALLINPUT);
    }
    return !g_ftp.cancel;
}

// Whether the socket is ready now (select without a time-out).
static int ReadyNow(SOCKET s, int forWrite)
{
    fd_set fds, exc;
    FD_ZERO(&fds);
    FD_ZERO(&exc);
    FD_SET(s, &fds);
    FD_SET(s, &exc);
    timeval tv = {0, 0};
    int n = select(0, forWrite ? nullptr : &fds, forWrite ? &fds : nullptr, &exc, &tv);
    return n > 0 ? 1 : n == SOCKET_ERROR ? -1 : 0;
}

// select only ever looks, with a zero time-out: a select that waits leaves
// a timer in Wine's server which, firing just as the socket's own event
// completes the same poll, trips an assertion that kills the server (and
// with it every program of the prefix).  The waiting is done on an event
// the socket signals, with the message pump between slices.
int WaitSocket(SOCKET s, int forWrite, DWORD ms, int stopOnCancel, int keepNonBlocking)
{
    const DWORD start = GetTickCount();
    WSAEVENT ev = WSA_INVALID_EVENT;
    int associated = 0;
    int result;
    for (;;) {
        if (stopOnCancel && g_ftp.cancel) {
            result = -2;
            break;
        }
        int r = ReadyNow(s, forWrite);
        if (r) {
            result = r;
            break;
        }
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= ms) {
            result = 0;
            break;
        }
        DWORD slice = ms - elapsed;
        if (slice > kSliceMs)
            slice = kSliceMs;
        if (ev == WSA_INVALID_EVENT) {
            ev = WSACreateEvent();
            if (ev != WSA_INVALID_EVENT) {
                long what = forWrite ? (FD_WRITE | FD_CONNECT | FD_CLOSE) : (FD_READ | FD_ACCEPT | FD_OOB | FD_CLOSE);
                associated = WSAEventSelect(s, ev, what) == 0;
            }
            continue; // readiness from before the event existed is seen by the next look
        }
        if (associated)
            MsgWaitForMultipleObjects(1, &ev, FALSE, slice, QS_ALLINPUT);
        else
            MsgWaitForMultipleObjects(0, nullptr, FALSE, slice, QS_ALLINPUT);
        if (associated)
            WSAResetEvent(ev);
        PumpMessages();
    }
    if (ev != WSA_INVALID_EVENT) {
        int err = WSAGetLastError();
        if (associated) {
            // The event made the socket non-blocking; callers that did not
            // ask for that get their blocking socket back.
            WSAEventSelect(s, nullptr, 0);
            if (!keepNonBlocking) {
                u_long off = 0;
                ioctlsocket(s, FIONBIO, &off);
            }
        }
        WSACloseEvent(ev);
        WSASetLastError(err);
    }
    return result;
}

int RecvTimeout(SOCKET s, char *buf, int len, DWORD ms, int stopOnCancel)
{
    int w = WaitSocket(s, 0, ms, stopOnCancel);
    if (w != 1) {
        WSASetLastError(w == -1 ? WSAGetLastError() : 10004);
        return -1;
    }
    return recv(s, buf, len, 0);
}

int SendTimeout(SOCKET s, const char *buf, int len, DWORD ms)
{
    int w = WaitSocket(s, 1, ms, 1);
    if (w != 1) {
        WSASetLastError(w == -1 ? WSAGetLastError() : 10004);
        return -1;
    }
    return send(s, buf, len, 0);
}

// ---------------------------------------------------------------- busy counter

void EnterBusy()
{
    if (InterlockedIncrement(&g_ftp.busy) == 1)
        g_ftp.busyThread = GetCurrentThreadId();
}

void LeaveBusy()
{
    if (InterlockedDecrement(&g_ftp.busy) <= 0) {
        g_ftp.busy = 0;
        g_ftp.busyThread = 0;
    }
}

int IsBusy()
{
    return g_ftp.busy > 0 || g_ftp.cmdInProgress || WorkerBusy();
}

// ---------------------------------------------------------------- replies

static void Trim(char *s)
{
    size_t n = strlen(s);
    while (n && (s[n - 1] == ' ' || s[n - 1] == '\t' || s[n - 1] == '\r' || s[n - 1] == '\n'))
        s[--n] = 0;
}

// In a run nobody watches, a server that let a reply time out (or closed
// the connection) gets no further commands: each would wait out the
// time-out again.  The connection is dropped, so what follows fails at once
// and the run ends with its failure.  (During the login the login's own
// failure path closes it.)
static void DropSilentServer()
{
    Ftp &f = g_ftp;
    if (f.ctrl == INVALID_SOCKET)
        return;
    LogLine("! The server stopped answering: connection dropped");
    linger hard = {1, 0};
    setsockopt(f.ctrl, SOL_SOCKET, SO_LINGER, (const char *)&hard, sizeof hard);
    closesocket(f.ctrl);
    f.ctrl = INVALID_SOCKET;
    f.carryLen = 0;
}

// One line of the control connection into g_ftp.reply.  Returns its code.
// The line must be complete within the session time-out counted from
// start, when the reply began to be awaited: a server sending a byte at a
// time gets no new time-out with every byte.
static int ReadLine(DWORD start)
{
    Ftp &f = g_ftp;
    char *line = f.reply;
    memset(line, 0, sizeof f.reply);
    int got = 0;
    int complete = 0;
    if (f.carryLen) {
        char *nl = (char *)memchr(f.carry, '\n', (size_t)f.carryLen);
        int take = nl ? (int)(nl - f.carry) + 1 : f.carryLen;
        memcpy(line, f.carry, (size_t)take);
        got = take;
        memmove(f.carry, f.carry + take, (size_t)(f.carryLen - take));
        f.carryLen -= take;
        complete = nl != nullptr;
    }
    while (!complete && got < 942 && !f.cancel) {
        const DWORD limit = (DWORD)(f.timeout > 0 ? f.timeout : 65) * 1000;
        const DWORD left = DeadlineLeft(start, limit, GetTickCount());
        int n = left ? RecvTimeout(f.ctrl, line + got, 1024 - got, left) : -1;
        if (n <= 0) {
            const int err = n < 0 && left ? WSAGetLastError() : 0;
            if (!left || (err == 10004 && !f.cancel && !DeadlineLeft(start, limit, GetTickCount()))) {
                f.replyLost = 1;
                Logf("! %s", "Reply not complete within the time-out");
            } else if (n < 0) {
                LogError("Receive error", err);
            }
            f.cancel = 1;
            if (g_cmd.nobody && f.connected)
                DropSilentServer();
            return 421;
        }
        char *end = line + got + n;
        char *stop = nullptr;
        for (char *p = line + got; p < end; ++p)
            if (*p == '\n' || *p == 0) {
                stop = p;
                break;
            }
        if (stop && stop < end - 1) {
            int rest = (int)(end - stop - 1);
            memcpy(f.carry, stop + 1, (size_t)rest);
            f.carryLen = rest;
            memset(stop + 1, 0, (size_t)rest);
            got = (int)(stop - line) + 1;
            break;
        }
        got += n;
        if (end[-1] == '\n')
            break;
    }
    line[got] = 0;
    char digits[4] = {line[0], line[1], line[2], 0};
    int code = atoi(digits);
    if (f.cancel)
        code = 421;
    Trim(line);
    return code;
}

static void LogReplyLine(const char *line)
{
    if (!g_cfg.verbose && !_strnicmp(line, "200 NOOP", 8))
        return;
    LogLine(line);
}

void GreetingDetect(const char *line)
{
    if (g_ftp.hostType != 6000)
        return;
    int t = TESSEL_DoAutoCheck(line, g_ftp.hostType);
    if (t != 6000 && t >= 6000 && t <= 6051) {
        g_ftp.hostType = t;
        Logf("%s (1): %s", "Host type", TESSEL_ReturnHostTypeName(t));
    }
}

int ReadReply()
{
    Ftp &f = g_ftp;
    EnterBusy();
    const DWORD start = GetTickCount();
    const DWORD limit = (DWORD)(f.timeout > 0 ? f.timeout : 65) * 1000;
    // Continuation lines are read in a loop: a server may send any number,
    // but all of them within the time-out.
    int remembered = 0;
    for (int first = 1;; first = 0) {
        if (!first && !DeadlineLeft(start, limit, GetTickCount())) {
            f.replyLost = 1;
            Logf("! %s", "Reply not complete within the time-out");
            f.cancel = 1;
            remembered = 421;
            break;
        }
        int code = ReadLine(start);
        const char *line = f.reply;
        int cont = code < 100 || code >= 600 || line[3] == '-';
        LogReplyLine(line);
        if (f.lineHook)
            f.lineHook(line);
        if (f.cancel) {
            remembered = 421;
            break;
        }
        if ((first || !remembered) && code >= 100 && code <= 599)
            remembered = code;
        if (f.greeting && f.hostType == 6000)
            GreetingDetect(line);
        if (cont || (!first && code != remembered))
            continue;
        break;
    }
    f.lastCode = remembered;
    LeaveBusy();
    return remembered / 100;
}

// ---------------------------------------------------------------- commands

// Sends one line plus CR LF, waiting for another thread's socket operation.
int SendLine(const char *text)
{
    Ftp &f = g_ftp;
    if (f.busy > 0) {
        if (f.busyThread == GetCurrentThreadId()) {
            // The busy operation is this thread's own, waiting below us in a
            // message pump: waiting here would never end.
            LogLine("! Command in progress, ignored");
            return 0;
        }
        LogLine("[X] Command in progress, yielding.");
        const DWORD start = GetTickCount(), limit = NetWaitMs(0xFFFFFFFF);
        while (f.busy > 0 && !f.cancel && GetTickCount() - start < limit) {
            PumpMessages();
            Sleep(10);
        }
        if (f.cancel || f.busy > 0)
            return 0;
    }
    if (f.ctrl == INVALID_SOCKET)
        return 0;
    char buf[2100];
    snprintf(buf, sizeof buf - 2, "%s", text);
    if (_strnicmp(buf, "PASS ", 5))
        Trim(buf);
    strcat(buf, "\r\n");
    int len = (int)strlen(buf);
    EnterBusy();
    int sent = 0;
    while (sent < len) {
        int n = SendTimeout(f.ctrl, buf + sent, len - sent, NetWaitMs(32000));
        if (n <= 0) {
            LogError("Send error", WSAGetLastError());
            LeaveBusy();
            return 0;
        }
        sent += n;
    }
    LeaveBusy();
    return 1;
}

static int Transact(const char *cmd)
{
    Ftp &f = g_ftp;
    if (InterlockedExchange(&f.cmdInProgress, 1)) {
        f.lastCode = 400;
        return 4;
    }
    if (!_strnicmp(cmd, "PASS ", 5))
        LogLine("PASS (hidden)");
    else if (!_strnicmp(cmd, "ACCT ", 5))
        LogLine("ACCT (hidden)");
    else if (_strnicmp(cmd, "NOOP", 4) || g_cfg.verbose)
        LogLine(cmd);
    int cls = 0;
    if (f.ctrl == INVALID_SOCKET) {
        LogLine("! Not connected, ignored");
        f.cmdInProgress = 0;
        return 0;
    }
    if (f.replyLost) {
        // Out of step since a reply timed out: a QUIT is still sent (the
        // server may as well know), nothing else, and no reply is awaited.
        if (!_strnicmp(cmd, "QUIT", 4))
            SendLine(cmd);
        else
            LogLine("! Not sent: the connection is out of step after a reply time-out");
        f.lastCode = 421;
        f.cmdInProgress = 0;
        return 4;
    }
    if (SendLine(cmd))
        cls = ReadReply();
    else
        f.lastCode = 0;
    f.cmdInProgress = 0;
    return cls;
}

int SendCommand(const char *fmt, ...)
{
    char cmd[2048];
    va_list ap;
    va_start(ap, fmt);
    int n = vsnprintf(cmd, sizeof cmd, fmt, ap);
    va_end(ap);
    if (n < 0 || n >= (int)sizeof cmd || strpbrk(cmd, "\r\n")) {
        // Never send a cut command or one that smuggles a second line.
        LogLine("! Command refused: too long or holds a line break");
        g_ftp.lastCode = 500;
        return 5;
    }
    // Send unique: only an upload's STOR becomes STOU.
    if (g_cfg.stou && !_strnicmp(cmd, "STOR ", 5)) {
        char stou[2048];
        snprintf(stou, sizeof stou, "STOU %s", cmd + 5);
        int cls = Transact(stou);
        if (g_ftp.lastCode != 500)
            return cls;
    }
    return Transact(cmd);
}

int SendRaw(const char *text)
{
    if (g_ftp.cmdInProgress)
        return 5;
    return SendCommand("%s", text);
}

int ChangeDir(const char *path)
{
    Ftp &f = g_ftp;
    if (!path || !*path)
        return 2;
    int cls;
    if (f.useCdup && !strcmp(path, "..")) {
        cls = SendCommand("CDUP");
        if (cls == 2)
            return cls;
    }
    cls = SendCommand("CWD %s", path);
    if (f.lastCode == 500) {
        if (f.hostType == 6012 && path[0] != '[')
            cls = SendCommand("CWD [.%s]", path);
        else
            cls = SendCommand("XCWD %s", path);
    }
    if (cls == 3) {
        char acct[80] = "";
        if (g_cmd.nobody)
            MissingAnswer("password (ACCT) for the remote directory");
        for (;;) {
            if (!AskText(g_main, "Password required:", acct, sizeof acct, 1))
                break;
            if (acct[0]) {
                cls = SendCommand("ACCT %s", acct);
                break;
            }
        }
    }
    if (cls == 5)
        PlayEvent(SND_OTHER_FAIL);
    return cls;
}

static int WithFallback(const char *cmd, const char *xcmd, const char *arg)
{
    int cls = arg ? SendCommand("%s %s", cmd, arg) : SendCommand("%s", cmd);
    if (g_ftp.lastCode == 500)
        cls = arg ? SendCommand("%s %s", xcmd, arg) : SendCommand("%s", xcmd);
    return cls;
}

int MakeDir(const char *path) { return WithFallback("MKD", "XMKD", path); }
int RemoveDir(const char *path) { return WithFallback("RMD", "XRMD", path); }
int PrintDir() { return WithFallback("PWD", "XPWD", nullptr); }
int DeleteRemote(const char *name) { return SendCommand("DELE %s", name); }
int KeepAlive() { return SendCommand("NOOP"); }
int Passive() { return WithFallback("PASV", "XPSV", nullptr); }

int UserCommand(const char *text)
{
    if (!strncmp(text, "LIST", 4) || !strncmp(text, "NLST", 4)) {
        char path[MAX_PATH];
        char dir[MAX_PATH];
        GetTempPathA(sizeof dir, dir);
        if (!GetTempFileNameA(dir, "DSP", 0, path))
            return 0;
        RememberTempFile(path);
        int cls = ListToFile(text, path, 0);
        snprintf(g_remoteListFile, sizeof g_remoteListFile, "%s", path);
        return cls;
    }
    return SendCommand("%s", text);
}

void TakePwdReply(const char *reply, int forced, char *out, size_t size)
{
    // The library's reader: doubled quotes inside the path, a cap on its
    // length, single quotes only where no double quote is.
    char path[TESSEL_PWD_PATH_MAX + 1];
    if (ParsePwdReply(reply, path, sizeof path)) {
        snprintf(out, size, "%s", path);
        return;
    }
    if (!forced)
        return;
    const char *p = reply;
    while (*p && *p != ' ')
        ++p;
    while (*p == ' ')
        ++p;
    size_t n = strcspn(p, " ");
    if (n >= size)
        n = size - 1;
    memcpy(out, p, n);
    out[n] = 0;
}

// ---------------------------------------------------------------- connecting

static int IsDotted(const char *host)
{
    int dots = 0;
    for (const char *p = host; *p; ++p) {
        if (*p == '.')
            ++dots;
        else if (*p < '0' || *p > '9')
            return 0;
    }
    return dots == 3;
}

// Connects with a time-out in slices, so that Cancel and the window work
// while a server does not answer.
static int TimedConnect(SOCKET s, const sockaddr_in *a)
{
    u_long nb = 1;
    ioctlsocket(s, FIONBIO, &nb);
    int err = 0;
    if (connect(s, (const sockaddr *)a, sizeof *a) == SOCKET_ERROR) {
        err = WSAGetLastError();
        if (err == WSAEWOULDBLOCK) {
            DWORD ms = (DWORD)(g_ftp.timeout > 0 ? g_ftp.timeout : 65) * 1000;
            int w = WaitSocket(s, 1, ms, 1);
            if (w == 1) {
                int soerr = 0;
                int len = sizeof soerr;
                getsockopt(s, SOL_SOCKET, SO_ERROR, (char *)&soerr, &len);
                err = soerr;
            } else {
                err = w == 0 ? WSAETIMEDOUT : 10004;
            }
        }
    }
    nb = 0;
    ioctlsocket(s, FIONBIO, &nb);
    return err;
}

SOCKET ConnectSocket(const char *host, unsigned port, const char *proto)
{
    (void)proto;
    LogLine("- -");
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) {
        Logf("! %s - %s", "Failed \"createsocket\":", ErrorText(WSAGetLastError()));
        return INVALID_SOCKET;
    }
    sockaddr_in a;
    memset(&a, 0, sizeof a);
    a.sin_family = AF_INET;
    a.sin_port = htons((u_short)port);
    int ok = 0;
    if (IsDotted(host)) {
        a.sin_addr.s_addr = inet_addr(host);
        Logf("connecting to %s:%u", host, port);
        int err = TimedConnect(s, &a);
        if (!err)
            ok = 1;
        else
            Logf("! %s %s - %s", "Connection failed", host, ErrorText(err));
    } else {
        hostent *he = gethostbyname(host);
        if (!he || he->h_addrtype != AF_INET) {
            Logf("! Can't get \"%s\" host entry", host);
            closesocket(s);
            return INVALID_SOCKET;
        }
        for (int i = 0; he->h_addr_list[i] && !ok && !g_ftp.cancel; ++i) {
            memcpy(&a.sin_addr, he->h_addr_list[i], 4);
            Logf("connecting to %s:%u", inet_ntoa(a.sin_addr), port);
            if (i) {
                // A failed connect leaves the socket unusable: start afresh.
                closesocket(s);
                s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
            }
            int err = TimedConnect(s, &a);
            if (!err)
                ok = 1;
            else
                Logf("! %s %s - %s", "Connection failed", host, ErrorText(err));
        }
    }
    if (!ok) {
        closesocket(s);
        return INVALID_SOCKET;
    }
    g_ftp.server = a;
    g_ftp.server.sin_port = htons(20);
    Logf("Connected to %s port %u", inet_ntoa(a.sin_addr), port);
    return s;
}

static void ResetCapabilities(int all)
{
    Ftp &f = g_ftp;
    f.canMkd = f.canRmd = f.canRename = f.canDelete = all;
}

// A credential the login needs: 1 when the field holds one (stored, or
// typed now), 0 when it stays empty and the step that needs it is skipped.
static int AskFor(const char *fmt, const char *a, const char *b, char *field, size_t size)
{
    if (field[0])
        return 1;
    char prompt[600];
    snprintf(prompt, sizeof prompt, fmt, a, b);
    if (g_cmd.nobody) {
        // "Please enter a password for u on host h:" -> "password for u on host h"
        char what[600];
        snprintf(what, sizeof what, "%s", prompt + (strncmp(prompt, "Please enter ", 13) ? 0 : 13));
        size_t n = strlen(what);
        if (n && what[n - 1] == ':')
            what[n - 1] = 0;
        return MissingAnswer(!strncmp(what, "a ", 2) ? what + 2 : !strncmp(what, "an ", 3) ? what + 3 : what);
    }
    for (;;) {
        char buf[80] = "";
        if (!AskText(g_main, prompt, buf, sizeof buf < size ? sizeof buf : size, 1))
            return 0;
        if (buf[0]) {
            snprintf(field, size, "%s", buf);
            return 1;
        }
    }
}

struct LoginCtx {
    SessionRec *s;
    char fwUser[80];
    char fwPass[80];
    char fwHost[80];
    int fwType;
};

// PASS, then ACCT when asked for or when the PASS reply mentions ACCOUNT.
static int PassAndAccount(LoginCtx &c, int cls)
{
    SessionRec *s = c.s;
    // A credential nobody gave skips its step, and the login fails on the
    // reply that asked for it.
    if (cls == 3) {
        if (!AskFor("Please enter a password for %s on host %s:", s->user, s->host, s->password, sizeof s->password))
            return cls;
        cls = SendCommand("PASS %s", s->password);
    }
    if (cls == 3) {
        if (AskFor("Please enter an account for %s on host %s:", s->user, s->host, s->account, sizeof s->account))
            cls = SendCommand("ACCT %s", s->account);
    } else if (cls == 2 && strstr(g_ftp.reply, "ACCOUNT")) {
        // Logged in already: an account nobody gave is left out.
        if (s->account[0] || (!g_cmd.nobody && AskFor("Please enter an account for %s on host %s:", s->user, s->host,
                                                       s->account, sizeof s->account))) {
            int keep = g_ftp.lastCode;
            SendCommand("ACCT %s", s->account);
            g_ftp.lastCode = keep;
        }
    }
    return cls;
}

static int StandardTail(LoginCtx &c)
{
    int cls = SendCommand("USER %s", c.s->user);
    return PassAndAccount(c, cls);
}

static int FirewallLogin(LoginCtx &c, const char **failure)
{
    SessionRec *s = c.s;
    const char *finalFail = "Connect to final destination failed, so quitting";
    const char *fwFail = "Firewall logon failure, so quitting";
    int cls;
    switch (c.fwType) {
    case 0: // SITE hostname
        cls = SendCommand("USER %s", c.fwUser);
        if (cls == 3 &&
            AskFor("Please enter a password for %s on firewall %s:", c.fwUser, c.fwHost, c.fwPass, sizeof c.fwPass))
            cls = SendCommand("PASS %s", c.fwPass);
        if (cls != 2) {
            *failure = fwFail;
            return cls;
        }
        cls = SendCommand("SITE %s", s->host);
        if (cls == 5) {
            *failure = finalFail;
            return cls;
        }
        return StandardTail(c);
    case 1: // USER after logon
        cls = SendCommand("USER %s", c.fwUser);
        if (cls == 3 &&
            AskFor("Please enter a password for %s on firewall %s:", c.fwUser, c.fwHost, c.fwPass, sizeof c.fwPass))
            cls = SendCommand("PASS %s", c.fwPass);
        if (cls != 2) {
            *failure = fwFail;
            return cls;
        }
        cls = SendCommand("USER %s@%s", s->user, s->host);
        if (cls != 3) {
            *failure = finalFail;
            return cls;
        }
        return PassAndAccount(c, cls);
    case 2: // USER with no logon
        cls = SendCommand("USER %s@%s", s->user, s->host);
        if (cls == 2) {
            GreetingDetect(g_ftp.reply);
            return cls;
        }
        if (cls != 3) {
            *failure = finalFail;
            return cls;
        }
        return PassAndAccount(c, cls);
    case 3: // Proxy OPEN
        cls = SendCommand("OPEN %s", s->host);
        if (cls != 2 && cls != 3) {
            *failure = finalFail;
            return cls;
        }
        GreetingDetect(g_ftp.reply);
        return StandardTail(c);
    case 4: // USER remoteID@remoteHost fireID
        cls = SendCommand("USER %s@%s %s", s->user, s->host, c.fwUser);
        if (cls == 3) {
            AskFor("Please enter a password for %s on host %s:", s->user, s->host, s->password, sizeof s->password);
            if (s->password[0]) {
                cls = SendCommand("PASS %s", s->password);
                if (cls == 3) {
                    AskFor("Please enter a password for %s on firewall %s:", c.fwUser, c.fwHost, c.fwPass,
                           sizeof c.fwPass);
                    if (c.fwPass[0]) {
                        cls = SendCommand("ACCT %s", c.fwPass);
                        if (cls != 2)
                            *failure = fwFail;
                        return cls;
                    }
                }
            }
        }
        *failure = fwFail;
        return cls == 2 ? 5 : cls;
    case 5: // USER fireID@remoteHost
        cls = SendCommand("USER %s@%s", c.fwUser, s->host);
        if (cls == 3 &&
            AskFor("Please enter a password for %s on firewall %s:", c.fwUser, c.fwHost, c.fwPass, sizeof c.fwPass))
            cls = SendCommand("PASS %s", c.fwPass);
        if (cls != 2) {
            *failure = finalFail;
            return cls;
        }
        GreetingDetect(g_ftp.reply);
        return StandardTail(c);
    case 6: // Transparent
        cls = SendCommand("USER %s", c.fwUser);
        if (cls == 3 &&
            AskFor("Please enter a password for %s on firewall %s:", c.fwUser, c.fwHost, c.fwPass, sizeof c.fwPass))
            cls = SendCommand("PASS %s", c.fwPass);
        if (cls != 2) {
            *failure = finalFail;
            return cls;
        }
        GreetingDetect(g_ftp.reply);
        return StandardTail(c);
    case 7: // USER remoteID@fireID@remoteHost
        cls = SendCommand("USER %s@%s@%s", s->user, c.fwUser, s->host);
        if (cls == 3) {
            int have = AskFor("Please enter a password for %s on firewall %s:", c.fwUser, c.fwHost, c.fwPass,
                              sizeof c.fwPass);
            have = AskFor("Please enter a password for %s on host %s:", s->user, s->host, s->password,
                          sizeof s->password) &&
                   have;
            if (!have)
                return cls;
            cls = SendCommand("PASS %s@%s", s->password, c.fwPass);
        }
        if (cls == 3) {
            if (AskFor("Please enter an account for %s on host %s:", s->user, s->host, s->account, sizeof s->account))
                cls = SendCommand("ACCT %s", s->account);
        } else if (cls == 2 && strstr(g_ftp.reply, "ACCOUNT")) {
            SendCommand("ACCT %s", s->account);
        }
        return cls;
    default:
        *failure = fwFail;
        return 5;
    }
}

static void FailLogin(const char *why)
{
    Logf("! %s", why);
    Ftp &f = g_ftp;
    if (f.ctrl != INVALID_SOCKET) {
        SOCKET s = f.ctrl;
        f.ctrl = INVALID_SOCKET;
        CloseSocket(s);
    }
    f.connected = 0;
    f.cancel = 0;
}

SOCKET ConnectLogin(SessionRec *s)
{
    Ftp &f = g_ftp;
    if (f.connected || f.ctrl != INVALID_SOCKET) {
        LogLine("! Already connected");
        return INVALID_SOCKET;
    }
    EnterBusy();
    f.cancel = 0;
    f.stop = 0;
    f.timeout = s->timeout > 0 ? s->timeout : 65;
    f.hostType = s->hostType;
    f.detectDone = 0;
    f.sentType = 0;
    f.carryLen = 0;
    f.lastCode = 0;
    f.replyLost = 0;
    ResetCapabilities(1);
    f.useCdup = 1;

    LoginCtx c;
    memset(&c, 0, sizeof c);
    c.s = s;
    const char *endpoint = s->host;
    unsigned port = (unsigned)s->port;
    if (s->useFirewall) {
        c.fwType = ReadIniInt("FIREWALL", "FIRETYPE", 1);
        ReadIniText("FIREWALL", "HOST", "", c.fwHost, sizeof c.fwHost);
        ReadIniText("FIREWALL", "UID", "", c.fwUser, sizeof c.fwUser);
        char stored[512];
        if (ReadIniText("FIREWALL", "PWD", "", stored, sizeof stored) && stored[0] &&
            !DescramblePassword(stored, c.fwPass, sizeof c.fwPass))
            c.fwPass[0] = 0;
        if (c.fwType != 6) {
            endpoint = c.fwHost;
            port = (unsigned)ReadIniInt("FIREWALL", "PORT", 21);
        }
    }
    SOCKET sock = ConnectSocket(endpoint, port, "tcp");
    if (sock == INVALID_SOCKET) {
        Logf("! %s %s", "Connection failed", endpoint);
        LeaveBusy();
        return INVALID_SOCKET;
    }
    f.ctrl = sock;
    int len = sizeof f.local;
    if (getsockname(sock, (sockaddr *)&f.local, &len) == SOCKET_ERROR) {
        LogError("getsockname", WSAGetLastError());
        f.ctrl = INVALID_SOCKET;
        CloseSocket(sock);
        LeaveBusy();
        return INVALID_SOCKET;
    }
    Logf("[%u] from %s port %u", (unsigned)sock, inet_ntoa(f.local.sin_addr), ntohs(f.local.sin_port));

    const int detect = !s->useFirewall && f.hostType == 6000;
    f.greeting = detect;
    int cls;
    // Preliminary replies ("120 wait") may come before the greeting, but
    // not for longer than the time-out.
    const DWORD greetStart = GetTickCount();
    do {
        cls = ReadReply();
    } while (cls == 1 && !f.cancel && DeadlineLeft(greetStart, (DWORD)f.timeout * 1000, GetTickCount()));
    f.greeting = 0;
    if (cls != 2) {
        if (cls == 4)
            Logf("! %s %s", "Connection failed", endpoint);
        else
            Logf("! %s \"%s\" %u", "unknown open message", f.reply, (unsigned)f.lastCode);
        f.ctrl = INVALID_SOCKET;
        CloseSocket(sock);
        f.cancel = 0;
        LeaveBusy();
        return INVALID_SOCKET;
    }
    if (detect)
        GreetingDetect(f.reply);
    BOOL on = TRUE;
    if (setsockopt(sock, SOL_SOCKET, SO_OOBINLINE, (const char *)&on, sizeof on) == SOCKET_ERROR)
        LogError("setsockopt", WSAGetLastError());
    LeaveBusy();

    const char *failure = "Logon failure, so quitting";
    if (s->useFirewall)
        cls = FirewallLogin(c, &failure);
    else
        cls = StandardTail(c);
    if (cls != 2) {
        FailLogin(failure);
        return INVALID_SOCKET;
    }
    // Initial commands, ";"-separated, in order.
    char cmds[257];
    snprintf(cmds, sizeof cmds, "%s", s->initCmd);
    for (char *p = cmds; *p;) {
        char *semi = strchr(p, ';');
        if (semi)
            *semi = 0;
        while (*p == ' ')
            ++p;
        if (*p)
            SendCommand("%s", p);
        if (!semi)
            break;
        p = semi + 1;
    }
    f.connected = 1;
    // Transfers name the session in the transfer log and keep their resume
    // record in its section.
    snprintf(f.hostName, sizeof f.hostName, "%s", s->host);
    snprintf(f.sessionName, sizeof f.sessionName, "%s", s->name);
    if (f.hostType == 6019) {
        f.detectDone = 1;
        ResetCapabilities(0);
        f.canDelete = 1;
    }
    if (g_main) {
        char title[400];
        snprintf(title, sizeof title, "%s %s", T95_APPNAME, s->host);
        SetWindowTextA(g_main, title);
    }
    f.retry = s->retries;
    return sock;
}

// ---------------------------------------------------------------- host type

static void HelpLine(const char *line)
{
    Ftp &f = g_ftp;
    if (strstr(line, "MKD"))
        f.canMkd = 1;
    if (strstr(line, "RMD"))
        f.canRmd = 1;
    if (strstr(line, "RNFR"))
        f.canRename = 1;
    if (strstr(line, "DELE"))
        f.canDelete = 1;
}

int DetectHostType()
{
    Ftp &f = g_ftp;
    if (f.detectDone)
        return 2;
    ResetCapabilities(0);
    f.useCdup = 1;
    f.detectDone = 1;
    if (f.hostType == 6000 && SendCommand("SYST") == 2) {
        int t = TESSEL_DetectFromSystString(f.reply, f.hostType);
        if (t != 6000 && t >= 6000 && t <= 6051) {
            f.hostType = t;
            Logf("%s (S): %s", "Host type", TESSEL_ReturnHostTypeName(t));
        } else {
            Logf("%s (I): %s", "Host type", TESSEL_ReturnHostTypeName(f.hostType));
        }
    } else {
        Logf("%s (I): %s", "Host type", TESSEL_ReturnHostTypeName(f.hostType));
    }
    int code = 2;
    switch (f.hostType) {
    case 6019:
        f.canDelete = 1;
        UpdateButtons();
        return 2;
    case 6005:
        f.canDelete = f.canMkd = f.canRmd = 1;
        f.useCdup = 0;
        break;
    case 6026:
        f.canDelete = 1;
        f.useCdup = 0;
        break;
    case 6027:
    case 6028:
        f.canDelete = 1;
        break;
    case 6000:
        break;
    default: // 6020, 6045 and every other known type
        ResetCapabilities(1);
        break;
    }
    if (f.hostType == 6000) {
        // Unknown server: its HELP text says which commands it knows and,
        // through its wording, what kind of server it is.
        if (f.cmdInProgress || f.ctrl == INVALID_SOCKET) {
            ResetCapabilities(1);
        } else {
            f.cmdInProgress = 1;
            LogLine("HELP");
            if (!SendLine("HELP")) {
                ResetCapabilities(1);
            } else {
                EnterBusy();
                int first = 1;
                const DWORD start = GetTickCount();
                for (;;) {
                    int c = ReadLine(start);
                    LogReplyLine(f.reply);
                    if (first) {
                        first = 0;
                        const char *l = f.reply;
                        int t = 6010;
                        if (strstr(l, "NCSA") || strstr(l, "CUTCP"))
                            t = 6006;
                        else if (strstr(l, "MACB"))
                            t = 6014;
                        else if (strstr(l, "HellSoft"))
                            t = 6041;
                        else if (!strncmp(l, "214-PC FTP server", 17) || strstr(l, "QVT"))
                            t = 6013;
                        f.hostType = t;
                        Logf("%s (3): %s", "Host type", TESSEL_ReturnHostTypeName(t));
                    }
                    HelpLine(f.reply);
                    if (c == 421 || f.cancel || (c / 100 == 2 && f.reply[3] != '-')) {
                        f.lastCode = c;
                        code = c;
                        break;
                    }
                    if (c >= 300 && c < 600 && f.reply[3] != '-') {
                        // A refusal ends the reply too.
                        f.lastCode = c;
                        code = c;
                        ResetCapabilities(1);
                        break;
                    }
                }
                LeaveBusy();
            }
            f.cmdInProgress = 0;
        }
    }
    if (f.hostType == 6004)
        f.canDelete = f.canRename = 1;
    UpdateButtons();
    return code;
}

// ---------------------------------------------------------------- data connections

static int ControlPeer(in_addr *out);

// The numbers of a PASV reply as the log shows them: after the "(" and up
// to the ")", or from the first digit after the code.
static void PasvNumbersText(const char *reply, char *out, size_t size)
{
    char text[2048];
    snprintf(text, sizeof text, "%s", reply);
    char *close = strchr(text, ')');
    if (close)
        *close = 0;
    const char *p = strchr(text, '(');
    if (p) {
        ++p;
    } else {
        p = text;
        while (*p && *p != ' ')
            ++p;
        while (*p && (*p < '0' || *p > '9'))
            ++p;
    }
    snprintf(out, size, "%s", p);
}

SOCKET OpenPassive()
{
    if (Passive() != 2)
        return INVALID_SOCKET;
    // The library's reader: the same numbers refused, and the data
    // connection goes to the server we talk to whatever address the reply
    // names, so that a server cannot aim it at a third host.
    uint32_t replyAddr = 0;
    uint16_t port = 0;
    const int parsed = ParsePasvReply(g_ftp.reply, &replyAddr, &port);
    if (parsed == PASV_NO_START) {
        Logf("! Unable to parse info %s", g_ftp.reply);
        PlayEvent(SND_OTHER_FAIL);
        return INVALID_SOCKET;
    }
    if (parsed != PASV_OK) {
        char numbers[2048];
        PasvNumbersText(g_ftp.reply, numbers, sizeof numbers);
        Logf("! bad address in %s", numbers);
        PlayEvent(SND_OTHER_FAIL);
        return INVALID_SOCKET;
    }
    in_addr peer;
    const uint32_t peerAddr = ControlPeer(&peer) ? ntohl(peer.s_addr) : 0;
    const uint32_t target = PasvTarget(replyAddr, peerAddr);
    char addr[32];
    snprintf(addr, sizeof addr, "%u.%u.%u.%u", (unsigned)(target >> 24), (unsigned)(target >> 16 & 0xFF),
             (unsigned)(target >> 8 & 0xFF), (unsigned)(target & 0xFF));
    if (target != replyAddr)
        Logf("PASV address %u.%u.%u.%u is not the server's, using %s", (unsigned)(replyAddr >> 24),
             (unsigned)(replyAddr >> 16 & 0xFF), (unsigned)(replyAddr >> 8 & 0xFF), (unsigned)(replyAddr & 0xFF),
             addr);
    Logf("connecting to %s:%u", addr, (unsigned)port);
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) {
        Logf("! %s %s", "Failed \"createsocket\":", ErrorText(WSAGetLastError()));
        return INVALID_SOCKET;
    }
    sockaddr_in a;
    memset(&a, 0, sizeof a);
    a.sin_family = AF_INET;
    a.sin_port = htons((u_short)port);
    a.sin_addr.s_addr = htonl(target);
    int err = TimedConnect(s, &a);
    if (err) {
        LogError("connect", err);
        closesocket(s);
        PlayEvent(SND_OTHER_FAIL);
        return INVALID_SOCKET;
    }
    g_ftp.pasv = s;
    return s;
}

SOCKET OpenActive()
{
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) {
        Logf("! %s %s", "Failed \"createsocket\":", ErrorText(WSAGetLastError()));
        return INVALID_SOCKET;
    }
    sockaddr_in local;
    int len = sizeof local;
    if (getsockname(g_ftp.ctrl, (sockaddr *)&local, &len) == SOCKET_ERROR ||
        (local.sin_addr.s_addr & 0xFF) == 0)
        local = g_ftp.local;
    // Only on the address the server already talks to: a listener on every
    // address takes connections from any network this computer is on.
    sockaddr_in a;
    memset(&a, 0, sizeof a);
    a.sin_family = AF_INET;
    a.sin_addr = local.sin_addr;
    const char *step = nullptr;
    len = sizeof a;
    if (bind(s, (sockaddr *)&a, sizeof a) == SOCKET_ERROR)
        step = "Failed \"bind\":";
    else if (getsockname(s, (sockaddr *)&a, &len) == SOCKET_ERROR)
        step = "Failed \"getsockname\":";
    else if (listen(s, 1) == SOCKET_ERROR)
        step = "Failed \"listen\":";
    if (step) {
        Logf("! %s %s", step, ErrorText(WSAGetLastError()));
        closesocket(s);
        return INVALID_SOCKET;
    }
    const unsigned char *b = (const unsigned char *)&local.sin_addr;
    unsigned port = ntohs(a.sin_port);
    if (SendCommand("PORT %d,%d,%d,%d,%d,%d", b[0], b[1], b[2], b[3], port >> 8, port & 0xFF) != 2) {
        LogLine("! Failed \"port\":");
        PlayEvent(SND_OTHER_FAIL);
        closesocket(s);
        return INVALID_SOCKET;
    }
    g_ftp.listen = s;
    return s;
}

SOCKET OpenDataConnection(int *active)
{
    *active = 0;
    if (g_cfg.pasvmode) {
        SOCKET s = OpenPassive();
        if (s != INVALID_SOCKET)
            return s;
        if (g_ftp.ctrl == INVALID_SOCKET || g_ftp.cancel)
            return INVALID_SOCKET;
        Logf("+ %s", "Passive mode failed, trying active mode (PORT)");
    }
    *active = 1;
    return OpenActive();
}

// The address the control connection goes to: the only one a data
// connection of ours may come from.
static int ControlPeer(in_addr *out)
{
    sockaddr_in a;
    int len = sizeof a;
    if (g_ftp.ctrl == INVALID_SOCKET || getpeername(g_ftp.ctrl, (sockaddr *)&a, &len) == SOCKET_ERROR)
        return 0;
    *out = a.sin_addr;
    return 1;
}

SOCKET AcceptData(SOCKET listener)
{
    const DWORD limit = (DWORD)(g_ftp.timeout > 0 ? g_ftp.timeout : 65) * 1000;
    const DWORD start = GetTickCount();
    in_addr server = {};
    const int known = ControlPeer(&server);
    SOCKET d = INVALID_SOCKET;
    StartWatchdog();
    for (;;) {
        const DWORD left = DeadlineLeft(start, limit, GetTickCount());
        int w = left ? WaitSocket(listener, 0, left, 1) : 0;
        if (w != 1) {
            WSASetLastError(w == -1 ? WSAGetLastError() : 10004);
            break;
        }
        sockaddr_in a;
        int len = sizeof a;
        d = accept(listener, (sockaddr *)&a, &len);
        if (d == INVALID_SOCKET)
            break;
        if (!known || a.sin_addr.s_addr == server.s_addr) {
            Logf("[%u] accept from %s port %u", (unsigned)d, inet_ntoa(a.sin_addr), ntohs(a.sin_port));
            break;
        }
        // Someone else reached our port first: not the server, so not its
        // data.  Wait on for the server until the time-out.
        Logf("! Data connection from %s refused: not the server", inet_ntoa(a.sin_addr));
        closesocket(d);
        d = INVALID_SOCKET;
    }
    StopWatchdog();
    if (d == INVALID_SOCKET)
        LogError("Accept error", WSAGetLastError());
    closesocket(listener);
    if (g_ftp.listen == listener)
        g_ftp.listen = INVALID_SOCKET;
    return d;
}

int SetTransferType(char type)
{
    if (type == g_ftp.sentType)
        return 2;
    int cls = type == 'L' ? SendCommand("TYPE L 8") : SendCommand("TYPE %c", type);
    if (cls == 2)
        g_ftp.sentType = type;
    return cls;
}

// ---------------------------------------------------------------- abort, close, cancel

int SendAbortSequence()
{
    SOCKET s = g_ftp.ctrl;
    if (s == INVALID_SOCKET)
        return 0;
    static const char ip[3] = {(char)255, (char)244, (char)255};
    if (send(s, ip, 3, MSG_OOB) != 3) {
        Logf("[%u] IP %s %u", (unsigned)s, "not accepted", (unsigned)WSAGetLastError());
        return 0;
    }
    static const char abor[7] = {(char)242, 'A', 'B', 'O', 'R', '\r', '\n'};
    if (send(s, abor, 7, 0) != 7) {
        Logf("[%u] ABOR %s %u", (unsigned)s, "not accepted", (unsigned)WSAGetLastError());
        return 0;
    }
    Logf("[%u] %s ABOR", (unsigned)s, "Transmitted");
    return 1;
}

int Abort()
{
    if (!SendAbortSequence())
        return 0;
    LONG was = InterlockedExchange(&g_ftp.cancel, 0);
    int cls = ReadReply();
    if (was)
        g_ftp.cancel = 1;
    return cls;
}

// Reads what the peer still sends until it stops, for at most two
// seconds in all: a peer that keeps sending a byte now and then must not
// hold a close (or the end of a run) for long.
static void Drain(SOCKET s)
{
    char buf[512];
    const DWORD start = GetTickCount();
    for (int i = 0; i < 4096; ++i) {
        const DWORD left = DeadlineLeft(start, 2000, GetTickCount());
        if (!left)
            break;
        int n = RecvTimeout(s, buf, sizeof buf, left < 1000 ? left : 1000, 0);
        if (n <= 0)
            break;
    }
}

SOCKET CloseSocket(SOCKET s)
{
    if (s == INVALID_SOCKET)
        return INVALID_SOCKET;
    g_ftp.cancel = 1;
    shutdown(s, SD_SEND);
    Drain(s);
    if (closesocket(s) == SOCKET_ERROR) {
        int err = WSAGetLastError();
        if (err == 10038)
            return INVALID_SOCKET;
        if (err == 10036 && closesocket(s) == 0)
            return INVALID_SOCKET;
        LogError("closesocket", err);
        return s;
    }
    return INVALID_SOCKET;
}

void CloseDataSocket(SOCKET s)
{
    if (s == INVALID_SOCKET)
        return;
    shutdown(s, SD_SEND);
    Drain(s);
    closesocket(s);
    if (g_ftp.pasv == s)
        g_ftp.pasv = INVALID_SOCKET;
}

int DrainControl()
{
    SOCKET s = g_ftp.ctrl;
    if (s == INVALID_SOCKET)
        return 0;
    fd_set fds;
    FD_ZERO(&fds);
    FD_SET(s, &fds);
    timeval tv = {0, 0}; // a look, not a wait (see WaitSocket)
    if (select(0, &fds, nullptr, nullptr, &tv) > 0) {
        char buf[82];
        RecvTimeout(s, buf, sizeof buf, NetWaitMs(32000), 0);
        g_ftp.carryLen = 0;
    }
    return 0;
}

void CancelAll()
{
    Ftp &f = g_ftp;
    f.cancel = 1;
    f.stop = 1;
    f.retry = 0;
    // A data loop sees the flag within one wait slice and closes its own
    // socket; closing it here, under the loop (perhaps on the worker
    // thread), could hand its handle number to a new socket before the
    // loop's own close.  Nor may this thread read the control connection
    // while the worker waits for a reply on it.
    if (f.inData || WorkerBusy())
        return;
    if (f.pasv != INVALID_SOCKET) {
        closesocket(f.pasv);
        f.pasv = INVALID_SOCKET;
    }
    if (f.listen != INVALID_SOCKET) {
        closesocket(f.listen);
        f.listen = INVALID_SOCKET;
    }
    DrainControl();
}

// ---------------------------------------------------------------- watchdog and keep-alive

void StartWatchdog()
{
    g_ftp.watchdog = (g_ftp.timeout > 0 ? g_ftp.timeout : 65) / 5;
    if (g_main)
        SetTimer(g_main, TIMER_WATCHDOG, 5000, nullptr);
}

void StopWatchdog()
{
    if (g_main)
        KillTimer(g_main, TIMER_WATCHDOG);
}

void OnWatchdogTimer(HWND wnd)
{
    if (--g_ftp.watchdog > 0)
        return;
    KillTimer(wnd, TIMER_WATCHDOG);
    if (g_ftp.busy > 0) {
        LogLine("! Timer cancelled blocking call");
        g_ftp.cancel = 1;
    }
}

void StartKeepAlive()
{
    if (g_main)
        SetTimer(g_main, TIMER_KEEPALIVE, 30000, nullptr);
}

void OnKeepAliveTimer(HWND wnd)
{
    Ftp &f = g_ftp;
    if (!f.connected || f.ctrl == INVALID_SOCKET) {
        KillTimer(wnd, TIMER_KEEPALIVE);
        return;
    }
    if (f.busy > 0 || f.cmdInProgress || WorkerBusy())
        return;
    KeepAlive();
}

} // namespace t95

// ---------------------------------------------------------------- exported record helper

extern "C" __declspec(dllexport) CINFO *WINAPI PreInitCINFO(CINFO *ci, HWND notifyWnd, HWND logWnd, UINT progressMsg,
                                                          DWORD flags)
{
    if (!ci)
        return nullptr;
    // Exactly the record's size: the library's tail must start out zero and
    // nothing past the caller's record may be touched.
    memset(ci, 0, sizeof(CINFO));
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
    ci->ctrlSocket = INVALID_SOCKET;
    ci->dataSocket = INVALID_SOCKET;
    ci->cmdBufSize = ci->rxBufSize = ci->fileBufSize = CINFO_BUFSIZE;
    ci->usePassive = 1;
    ci->hostType = 6000;
    return ci;
}
