// Control channel: sending commands, reading replies, connect and login
// (directly or through the firewall kinds), closing.
#include "engine.h"
#include "opguard.h"
#include "util.h"

#include <stdio.h>
#include <string.h>

// How long one select slice lasts before the pump and the flags are looked
// at again.  Short enough for a responsive window, long enough to cost
// nothing measurable.
static const DWORD kSliceMs = 25;

static BOOL PumpPending(void)
{
    MSG msg;
    int n = 0;
    while (n++ < 64 && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            // Leave the quit for the program's own loop.
            PostQuitMessage((int)msg.wParam);
            return FALSE;
        }
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return TRUE;
}

static int WaitSocketEx(CINFO *ci, SOCKET s, int forWrite, DWORD timeoutMs, int stopOnCancel)
{
    const BOOL pump = ci && (ci->hookFlags & CINFO_BLOCKING_HOOK);
    DWORD prevThread = 0;
    if (pump) {
        prevThread = ci->pumpThread;
        ci->pumpThread = GetCurrentThreadId();
        InterlockedIncrement(&ci->pumpDepth);
    }
    const DWORD start = GetTickCount();
    int result;
    for (;;) {
        if (ci && (ci->abortFlag || ci->closeRequest || (stopOnCancel && ci->cancelFlag))) {
            result = -2;
            break;
        }
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= timeoutMs) {
            result = 0;
            break;
        }
        DWORD slice = timeoutMs - elapsed;
        if (slice > kSliceMs)
            slice = kSliceMs;
        fd_set fds, exc;
        FD_ZERO(&fds);
        FD_ZERO(&exc);
        FD_SET(s, &fds);
        FD_SET(s, &exc);
        timeval tv;
        tv.tv_sec = 0;
        tv.tv_usec = (long)slice * 1000;
        int n = select(0, forWrite ? nullptr : &fds, forWrite ? &fds : nullptr, &exc, &tv);
        if (n > 0) {
            result = 1;
            break;
        }
        if (n == SOCKET_ERROR) {
            result = -1;
            break;
        }
        if (pump)
            PumpPending();
    }
    if (pump) {
        InterlockedDecrement(&ci->pumpDepth);
        ci->pumpThread = prevThread;
    }
    return result;
}

int WaitSocket(CINFO *ci, SOCKET s, int forWrite, DWORD timeoutMs)
{
    return WaitSocketEx(ci, s, forWrite, timeoutMs, 1);
}

int ConnectSocket(CINFO *ci, SOCKET s, const struct sockaddr_in *addr, DWORD timeoutMs)
{
    u_long nb = 1;
    ioctlsocket(s, FIONBIO, &nb);
    int err = 0;
    if (connect(s, (const sockaddr *)addr, sizeof *addr) == SOCKET_ERROR) {
        err = WSAGetLastError();
        if (err == WSAEWOULDBLOCK) {
            int w = WaitSocket(ci, s, 1, timeoutMs);
            if (w == 1) {
                int soerr = 0;
                int len = sizeof soerr;
                getsockopt(s, SOL_SOCKET, SO_ERROR, (char *)&soerr, &len);
                err = soerr;
            } else {
                err = w == 0 ? WSAETIMEDOUT : WSAEINTR;
            }
        }
    }
    nb = 0;
    ioctlsocket(s, FIONBIO, &nb);
    return err;
}

TESSEL_EXTERN_C int TESSEL_API TESSEL_SendCommand(CINFO *ci, const char *cmd)
{
    if (!RecordValid(ci) || !cmd)
        return -1;
    char buf[2048];
    size_t len = strnlen(cmd, sizeof buf - 3);
    if (cmd[len] != 0 || memchr(cmd, '\r', len) || memchr(cmd, '\n', len)) {
        SetErrorText(ci, "! command refused: too long or holds a line break");
        return -1;
    }
    memcpy(buf, cmd, len);
    buf[len++] = '\r';
    buf[len++] = '\n';
    if (ci->ctrlSocket == INVALID_SOCKET) {
        SetErrorText(ci, "! Invalid socket");
        return -1;
    }
    size_t sent = 0;
    do {
        ci->lastError = 0;
        while (sent < len) {
            int n = send(ci->ctrlSocket, buf + sent, (int)(len - sent), 0);
            if (n == SOCKET_ERROR || n == 0) {
                ci->lastError = WSAGetLastError();
                break;
            }
            sent += (size_t)n;
        }
        if (ci->lastError == WSAEWOULDBLOCK)
            Sleep(0);
    } while (ci->lastError == WSAEWOULDBLOCK && !ci->cancelFlag && !ci->abortFlag);
    return sent == len ? 0 : -1;
}

int ReadReplyLine(CINFO *ci)
{
    return ReadReplyLineBy(ci, GetTickCount());
}

// One line, waiting no longer than what is left of the reply time-out
// counted from start: a server that sends a line a byte at a time, or an
// endless run of continuation lines, must not hold the caller for ever.
int ReadReplyLineBy(CINFO *ci, DWORD start)
{
    ci->lastError = 0;
    const int32_t cap = ci->rxBufSize > 0 && ci->rxBufSize <= CINFO_BUFSIZE ? ci->rxBufSize : CINFO_BUFSIZE;
    for (;;) {
        if (TakeReplyLine(ci->rxBuf, &ci->rxPending, cap, &ci->rxDiscard, ci->replyLine,
                          sizeof ci->replyLine))
            return ReplyValue(ci->replyLine);
        if (ci->ctrlSocket == INVALID_SOCKET) {
            strcpy(ci->replyLine, "500 no socket");
            SetErrorText(ci, "! Invalid socket");
            return -1;
        }
        // Receive only into the free part of the buffer, leaving room for the
        // terminator.
        int room = cap - 1 - ci->rxPending;
        if (room > 256)
            room = 256;
        int err = 0;
        const DWORD left = DeadlineLeft(start, ReplyTimeoutMs(ci), GetTickCount());
        int w = left ? WaitSocketEx(ci, ci->ctrlSocket, 0, left, 0) : 0;
        if (w == 1) {
            int n = recv(ci->ctrlSocket, ci->rxBuf + ci->rxPending, room, 0);
            if (n > 0) {
                ci->rxPending += n;
                ci->rxBuf[ci->rxPending] = 0;
                continue;
            }
            err = n == 0 ? 0 : WSAGetLastError(); // 0: the server closed
        } else if (w == 0 || w == -2) {
            err = WSAEINTR; // time-out or cancelled: the wait was given up
        } else {
            err = WSAGetLastError();
        }
        ci->lastError = err;
        if (err == WSAEWOULDBLOCK) {
            Sleep(0);
            continue;
        }
        return 421;
    }
}

TESSEL_EXTERN_C int TESSEL_API TESSEL_RecvResponse(CINFO *ci)
{
    if (!RecordValid(ci))
        return -1;
    if (ci->ctrlSocket == INVALID_SOCKET) {
        strcpy(ci->replyLine, "500 no socket");
        return -1;
    }
    ci->replyLine[0] = 0;
    int v;
    // The whole reply, every line of it, must arrive within the time-out.
    const DWORD start = GetTickCount();
    // A loop, not recursion: a server may send any number of continuation
    // lines.
    for (;;) {
        v = ReadReplyLineBy(ci, start);
        if (v == 421 || v == -1)
            break;
        if (ReplyIsFinal(ci->replyLine, v))
            break;
        LogText(ci, ci->replyLine);
        if (!DeadlineLeft(start, ReplyTimeoutMs(ci), GetTickCount())) {
            // Continuation lines without end: the reply never completes.
            ci->lastError = WSAEINTR;
            ci->replyLine[0] = 0;
            v = 421;
            break;
        }
    }
    if (v == 421 && ci->lastError == WSAEINTR && !DeadlineLeft(start, ReplyTimeoutMs(ci), GetTickCount())) {
        Logf(ci, "! Reply not complete within %u ms", (unsigned)ReplyTimeoutMs(ci));
        strcpy(ci->replyLine, "421 reply timed out");
    }
    if (v == -1) {
        strcpy(ci->replyLine, "500 failed to return anything");
        SetErrorf(ci, "! rl error %u", (unsigned)ci->lastError);
    }
    if (v == 421 && ci->replyLine[0] == 0)
        strcpy(ci->replyLine, "421 connection closed");
    LogText(ci, ci->replyLine);
    int code = v == 421 ? 421 : ReplyValue(ci->replyLine);
    return code >= 100 && code <= 599 ? code : -1;
}

int RunCommand(CINFO *ci, const char *word, const char *arg)
{
    if (!RecordValid(ci))
        return 500;
    if (!word || !*word) {
        SetErrorText(ci, "! no command");
        return 500;
    }
    char cmd[TESSEL_CMD_MAX];
    if (BuildCommand(cmd, sizeof cmd, word, arg) < 0) {
        // Sending a cut or split command could act on another file.
        SetErrorText(ci, "! command refused: too long or holds a line break");
        return 500;
    }
    char w[8];
    size_t wl = strcspn(word, " ");
    if (wl < sizeof w) {
        memcpy(w, word, wl);
        w[wl] = 0;
    } else {
        w[0] = 0;
    }
    if (!lstrcmpiA(w, "PASS"))
        LogText(ci, "PASS (hidden)");
    else if (!lstrcmpiA(w, "ACCT"))
        LogText(ci, "ACCT (hidden)");
    else
        LogText(ci, cmd);
    if (ci->ctrlSocket == INVALID_SOCKET) {
        strcpy(ci->replyLine, "500 no socket");
    } else if (TESSEL_SendCommand(ci, cmd) == 0) {
        int r = TESSEL_RecvResponse(ci);
        if (r == 421)
            return 421;
    }
    return ReplyValue(ci->replyLine);
}

TESSEL_EXTERN_C int TESSEL_API TESSEL_DoCmd(CINFO *ci, const char *word, const char *arg)
{
    if (!RecordValid(ci))
        return 500;
    OperationGuard op(ci, CINFO_BUSY_CMD);
    if (!op.Held())
        return 500;
    // The abort mark of a failed transfer stops that transfer; it must not
    // make every later command of the session give up before it is read.
    ci->abortFlag = 0;
    return RunCommand(ci, word, arg);
}

unsigned long ResolveHost(const char *text)
{
    if (!text || !*text)
        return 0;
    unsigned long a = inet_addr(text);
    if (a != INADDR_NONE)
        return a;
    // No legal host name is this long; do not hand it to the resolver.
    if (strnlen(text, 256) > 255) {
        WSASetLastError(WSAHOST_NOT_FOUND);
        return INADDR_NONE;
    }
    hostent *he = gethostbyname(text);
    if (!he || !he->h_addr_list || !he->h_addr_list[0])
        return INADDR_NONE;
    unsigned long out;
    memcpy(&out, he->h_addr_list[0], sizeof out);
    return out;
}

SOCKET CloseSocketGently(HWND wnd, SOCKET s)
{
    if (s == INVALID_SOCKET)
        return INVALID_SOCKET;
    if (wnd)
        WSAAsyncSelect(s, wnd, 0, 0);
    shutdown(s, SD_BOTH);
    char junk[80];
    // Drain what the peer still sends, but never wait for it for long.
    for (int i = 0; i < 1000; ++i) {
        fd_set fds;
        FD_ZERO(&fds);
        FD_SET(s, &fds);
        timeval tv = {0, 200000};
        if (select(0, &fds, nullptr, nullptr, &tv) <= 0)
            break;
        if (recv(s, junk, sizeof junk, 0) <= 0)
            break;
    }
    Sleep(200);
    if (closesocket(s) == SOCKET_ERROR) {
        char msg[64];
        snprintf(msg, sizeof msg, "Failed to close socket (%u)\r\n", (unsigned)WSAGetLastError());
        (void)msg; // formatted for the debugger only, as before
    }
    return INVALID_SOCKET;
}


static int Empty(const char *s) { return !s || !*s; }

void GreetingCheck(CINFO *ci)
{
    if (ci->hostType == TESSEL_HOST_AUTO)
        ci->hostType = TESSEL_DoAutoCheck(ci->replyLine, ci->hostType);
    const char *name = TESSEL_ReturnHostTypeName(ci->hostType);
    Logf(ci, "Host type (1): %s", name ? name : "");
}

namespace {

// Runs one login sequence, remembering the code of the last command sent.
struct Login {
    CINFO *ci;
    int code;

    int Send(const char *word, const char *arg)
    {
        code = RunCommand(ci, word, arg);
        return code;
    }
    int Sendf(const char *word, const char *fmt, ...)
    {
        char arg[TESSEL_CMD_MAX];
        va_list ap;
        va_start(ap, fmt);
        int n = vsnprintf(arg, sizeof arg, fmt, ap);
        va_end(ap);
        if (n < 0 || (size_t)n >= sizeof arg) {
            SetErrorText(ci, "! command refused: too long or holds a line break");
            return code = 500;
        }
        return Send(word, arg);
    }
    int Class() const { return code / 100; }
    // PASS password when asked, then ACCT account when asked.
    void Tail(const char *password, const char *account)
    {
        if (Class() != 3)
            return;
        if (Empty(password)) {
            code = 604;
            return;
        }
        Send("PASS", password);
        if (Class() != 3)
            return;
        if (Empty(account)) {
            code = 605;
            return;
        }
        Send("ACCT", account);
    }
};

} // namespace

int ConnectLogin(CINFO *ci, const char *host, int port, const char *user, const char *password,
                 const char *account, int firewallType, const char *fwHost, int fwPort,
                 const char *fwUser, const char *fwPassword)
{
    if (!ci)
        return 600;
    if (ci->magic != CINFO_MAGIC) {
        strcpy(ci->errorBuf, "! not initialized");
        return 600;
    }
    OperationGuard op(ci, CINFO_BUSY_CONNECT);
    if (!op.Held())
        return 500;
    if (Empty(host))
        return 601;
    if (Empty(user))
        return 603;
    if (ci->ctrlSocket != INVALID_SOCKET) {
        TESSEL_CloseConnect(ci, 0);
        op.Remark();
    }
    ci->rxPending = 0;
    ci->rxDiscard = 0;
    ci->cmdPending = 0;
    ci->closeRequest = 0;
    // A cancel or abort of an earlier operation must not end this new
    // session's waits before they start.
    ci->cancelFlag = 0;
    ci->abortFlag = 0;
    // The record keeps bounded copies for display; the login below sends the
    // caller's full strings.
    CopyBounded(ci->host, sizeof ci->host, host);
    CopyBounded(ci->user, sizeof ci->user, user);
    CopyBounded(ci->password, sizeof ci->password, password);

    int fw = firewallType;
    if (fw < 0 || fw > 8)
        fw = 0;
    const char *epHost = host;
    int epPort = port;
    if (fw != 0) {
        const int needCreds = fw == 1 || fw == 2 || fw == 5 || fw == 6 || fw == 7 || fw == 8;
        if (needCreds && Empty(fwUser))
            return 609;
        if (needCreds && Empty(fwPassword))
            return 610;
        if (fw != 7) {
            epHost = fwHost;
            epPort = fwPort;
        }
    }
    if (epPort == 0)
        epPort = 21;

    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    if (s == INVALID_SOCKET) {
        LogText(ci, "! Create socket failure\r\n");
        ci->lastError = WSAGetLastError();
        SetErrorf(ci, "create socket failed %u", (unsigned)ci->lastError);
        return 500;
    }
    memset(&ci->serverAddr, 0, sizeof ci->serverAddr);
    unsigned long addr = ResolveHost(epHost);
    int err = 0;
    if (addr == INADDR_NONE || addr == 0) {
        err = WSAGetLastError();
        LogText(ci, "! Host not resolved\r\n");
        SetErrorf(ci, "failed to resolve %s", epHost ? epHost : "");
    } else {
        ci->serverAddr.sin_family = AF_INET;
        ci->serverAddr.sin_port = htons((u_short)epPort);
        ci->serverAddr.sin_addr.s_addr = addr;
        err = ConnectSocket(ci, s, &ci->serverAddr, ReplyTimeoutMs(ci));
        if (err) {
            LogText(ci, "! Connect failure\r\n");
            SetErrorf(ci, "connect to %s failed", inet_ntoa(ci->serverAddr.sin_addr));
        }
    }
    if (addr == INADDR_NONE || addr == 0 || err) {
        ci->lastError = err;
        CloseSocketGently(nullptr, s);
        ci->ctrlSocket = INVALID_SOCKET;
        return 500;
    }
    ci->ctrlSocket = s;
    LogText(ci, "Connected\r\n");

    Login L{ci, 0};
    L.code = TESSEL_RecvResponse(ci);
    if (L.Class() != 2)
        return L.code;
    switch (fw) {
    case 0:
        GreetingCheck(ci);
        L.Send("USER", user);
        L.Tail(password, account);
        break;
    case 1:
    case 2:
        L.Send("USER", fwUser);
        if (L.Class() != 3)
            break;
        L.Send("PASS", fwPassword);
        if (L.Class() != 2)
            break;
        if (fw == 1) {
            L.Send("SITE", host);
            L.Send("USER", user);
        } else {
            L.Sendf("USER", "%s@%s", user, host);
        }
        L.Tail(password, account);
        break;
    case 3:
        L.Sendf("USER", "%s@%s", user, host);
        L.Tail(password, account);
        break;
    case 4:
        L.Send("OPEN", host);
        if (L.Class() == 2)
            GreetingCheck(ci);
        L.Send("USER", user);
        L.Tail(password, account);
        break;
    case 5:
        L.Sendf("USER", "%s@%s %s", user, host, fwUser);
        if (Empty(password)) {
            L.code = 604;
            break;
        }
        L.Send("PASS", password);
        L.Send("ACCT", fwPassword);
        if (L.Class() != 3)
            break;
        if (Empty(account)) {
            L.code = 605;
            break;
        }
        L.Send("ACCT", account);
        break;
    case 6:
        L.Sendf("USER", "%s@%s", fwUser, host);
        if (L.Class() != 3)
            break;
        L.Send("PASS", fwPassword);
        if (L.Class() == 2)
            GreetingCheck(ci);
        L.Send("USER", user);
        L.Tail(password, account);
        break;
    case 7:
        L.Send("USER", fwUser);
        L.Send("PASS", fwPassword);
        if (L.Class() == 2)
            GreetingCheck(ci);
        L.Send("USER", user);
        L.Tail(password, account);
        break;
    case 8:
        L.Sendf("USER", "%s@%s@%s", user, fwUser, host);
        if (L.Class() != 3)
            break;
        L.Sendf("PASS", "%s@%s", password ? password : "", fwPassword);
        if (L.Class() != 3)
            break;
        if (Empty(account)) {
            L.code = 605;
            break;
        }
        L.Send("ACCT", account);
        break;
    }
    if (L.Class() == 2)
        TESSEL_AutoDetectSyst(ci);
    return L.code;
}

TESSEL_EXTERN_C int TESSEL_API TESSEL_Connect(CINFO *ci, const char *host, int port, const char *user,
                                              const char *password)
{
    return ConnectLogin(ci, host, port, user, password, nullptr, 0, nullptr, 0, nullptr, nullptr);
}

TESSEL_EXTERN_C int TESSEL_API TESSEL_CloseConnect(CINFO *ci, int)
{
    if (!RecordValid(ci))
        return -1;
    AddRef(ci);
    int result = -1;
    if (ci->ctrlSocket == INVALID_SOCKET) {
        Release(ci);
        return -1;
    }
    if (ci->pumpDepth > 0 && ci->pumpThread == GetCurrentThreadId()) {
        // Called from a message dispatched by our own wait: end the wait; the
        // operation below us still owns the socket.
        ci->closeRequest = 1;
        if (WSAIsBlocking())
            WSACancelBlockingCall();
        Release(ci);
        return -1;
    }
    SOCKET s = ci->ctrlSocket;
    if (ci->asyncWnd)
        WSAAsyncSelect(s, ci->asyncWnd, 0, 0);
    u_long nb = 0;
    ioctlsocket(s, FIONBIO, &nb);
    shutdown(s, SD_SEND);
    const int32_t cap = ci->rxBufSize > 0 && ci->rxBufSize <= CINFO_BUFSIZE ? ci->rxBufSize : CINFO_BUFSIZE;
    // Keep what the server still says (a goodbye line), but a peer that never
    // closes must not hold us for long.
    DWORD start = GetTickCount();
    while (GetTickCount() - start < 2000) {
        fd_set fds;
        FD_ZERO(&fds);
        FD_SET(s, &fds);
        timeval tv = {0, 100000};
        int n = select(0, &fds, nullptr, nullptr, &tv);
        if (n < 0)
            break;
        if (n == 0)
            continue;
        int room = cap - 1 - ci->rxPending;
        if (room <= 0) {
            ci->rxPending = 0;
            room = cap - 1;
        }
        int got = recv(s, ci->rxBuf + ci->rxPending, room, 0);
        if (got <= 0)
            break;
        ci->rxPending += got;
        ci->rxBuf[ci->rxPending] = 0;
    }
    result = closesocket(s);
    if (result == SOCKET_ERROR)
        Logf(ci, "Failed to close socket (%u)\r\n", (unsigned)WSAGetLastError());
    ci->ctrlSocket = INVALID_SOCKET;
    ci->asyncState = 0;
    ClearBusy(ci);
    ci->closeRequest = 0;
    LogText(ci, "Closed\r\n");
    Release(ci);
    return result;
}
