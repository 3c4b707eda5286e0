// Data connections: PASV and PORT, the fallback from one to the other,
// accepting the server's connection, reading and sending on data sockets,
// and the abort sequence on the control connection.
#include "dataconn.h"
#include "pasv.h"

#include <stdio.h>
#include <string.h>

static void SetBlocking(SOCKET s, int blocking)
{
    u_long nb = blocking ? 0 : 1;
    ioctlsocket(s, FIONBIO, &nb);
}

static const char *Dotted(uint32_t hostOrder, char *buf, size_t size)
{
    snprintf(buf, size, "%u.%u.%u.%u", (unsigned)(hostOrder >> 24), (unsigned)((hostOrder >> 16) & 0xFF),
             (unsigned)((hostOrder >> 8) & 0xFF), (unsigned)(hostOrder & 0xFF));
    return buf;
}

// The address the control connection actually goes to (behind a firewall
// kind this is the firewall, which is also where a PASV address of ours
// would be reachable); the resolved server address when that is unknown.
static uint32_t ControlPeer(CINFO *ci)
{
    sockaddr_in a;
    int len = sizeof a;
    if (getpeername(ci->ctrlSocket, (sockaddr *)&a, &len) == 0 && a.sin_family == AF_INET)
        return ntohl(a.sin_addr.s_addr);
    return ntohl(ci->serverAddr.sin_addr.s_addr);
}

void StopControlNotifications(CINFO *ci)
{
    if (ci->ctrlSocket == INVALID_SOCKET)
        return;
    if (ci->asyncWnd)
        WSAAsyncSelect(ci->ctrlSocket, ci->asyncWnd, 0, 0);
    SetBlocking(ci->ctrlSocket, 1);
}

SOCKET OpenPassiveData(CINFO *ci)
{
    int code = RunCommand(ci, "PASV", nullptr);
    if (code / 100 != 2)
        return INVALID_SOCKET;
    uint32_t addr = 0;
    uint16_t port = 0;
    int parsed = ParsePasvReply(ci->replyLine, &addr, &port);
    if (parsed == PASV_NO_START) {
        SetErrorf(ci, "! Unable to parse %s", ci->replyLine);
        return INVALID_SOCKET;
    }
    if (parsed != PASV_OK) {
        SetErrorf(ci, "! Bad address in %s", ci->replyLine);
        return INVALID_SOCKET;
    }
    const uint32_t peer = ControlPeer(ci);
    const uint32_t target = PasvTarget(addr, peer);
    if (target != addr) {
        char from[16], to[16];
        Logf(ci, "PASV address %s is not the server's, using the server's own %s", Dotted(addr, from, sizeof from),
             Dotted(target, to, sizeof to));
    }
    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    if (s == INVALID_SOCKET) {
        ci->lastError = WSAGetLastError();
        return INVALID_SOCKET;
    }
    BOOL on = TRUE;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, (const char *)&on, sizeof on);
    sockaddr_in sa;
    memset(&sa, 0, sizeof sa);
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(target);
    sa.sin_port = htons(port);
    int err = ConnectSocket(ci, s, &sa, ReplyTimeoutMs(ci));
    if (err) {
        char to[16];
        ci->lastError = err;
        Logf(ci, "! Data connection to %s:%u failed (%u)", Dotted(target, to, sizeof to), (unsigned)port,
             (unsigned)err);
        // Never connected: nothing to drain, so no gentle close.
        closesocket(s);
        return INVALID_SOCKET;
    }
    return s;
}

SOCKET OpenActiveListen(CINFO *ci)
{
    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in local, ctrl;
    int len;
    char cmd[64];
    if (s == INVALID_SOCKET) {
        SetErrorText(ci, "! Failed to create listen socket");
        goto fail;
    }
    len = sizeof ctrl;
    if (getsockname(ci->ctrlSocket, (sockaddr *)&ctrl, &len) == SOCKET_ERROR) {
        SetErrorText(ci, "! Failed getsockname of control socket");
        goto fail;
    }
    // Only on the address the server already talks to: a listener on every
    // address would take connections from any network this host is on.
    memset(&local, 0, sizeof local);
    local.sin_family = AF_INET;
    local.sin_addr = ctrl.sin_addr;
    local.sin_port = 0;
    if (bind(s, (sockaddr *)&local, sizeof local) == SOCKET_ERROR) {
        SetErrorText(ci, "! Failed bind");
        goto fail;
    }
    len = sizeof local;
    if (getsockname(s, (sockaddr *)&local, &len) == SOCKET_ERROR) {
        SetErrorText(ci, "! Failed getsockname of listen socket");
        goto fail;
    }
    if (listen(s, 1) == SOCKET_ERROR) {
        SetErrorText(ci, "! Failed listen");
        goto fail;
    }
    {
        const unsigned char *a = (const unsigned char *)&ctrl.sin_addr.s_addr;
        const unsigned char *p = (const unsigned char *)&local.sin_port;
        snprintf(cmd, sizeof cmd, "%d,%d,%d,%d,%d,%d", a[0], a[1], a[2], a[3], p[0], p[1]);
    }
    if (RunCommand(ci, "PORT", cmd) / 100 == 2)
        return s;
    SetErrorf(ci, "! Port failed %s", ci->replyLine);
fail:
    if (s != INVALID_SOCKET)
        closesocket(s); // a listener has nothing to drain
    return INVALID_SOCKET;
}

int OpenDataConnection(CINFO *ci, DataChannel *dc)
{
    dc->sock = INVALID_SOCKET;
    dc->listen = INVALID_SOCKET;
    if (ci->usePassive) {
        dc->sock = OpenPassiveData(ci);
        if (dc->sock == INVALID_SOCKET) {
            ci->usePassive = 0; // for the rest of this record's life
            LogText(ci, "PASV failed: using PORT from now on");
        }
    }
    if (dc->sock == INVALID_SOCKET)
        dc->listen = OpenActiveListen(ci);
    if (dc->sock == INVALID_SOCKET && dc->listen == INVALID_SOCKET) {
        SetErrorText(ci, "! Failed to create data socket");
        return -1;
    }
    return 0;
}

// True when the control connection has something to say (a server that
// cannot connect to our PORT says so there instead of connecting).
static int ControlReadable(CINFO *ci)
{
    if (ci->rxPending > 0 && memchr(ci->rxBuf, '\n', (size_t)ci->rxPending))
        return 1;
    fd_set fds;
    FD_ZERO(&fds);
    FD_SET(ci->ctrlSocket, &fds);
    timeval tv = {0, 0};
    return select(0, &fds, nullptr, nullptr, &tv) > 0;
}

SOCKET AcceptDataConnection(CINFO *ci, DataChannel *dc)
{
    if (dc->sock == INVALID_SOCKET && dc->listen != INVALID_SOCKET) {
        const DWORD limit = ReplyTimeoutMs(ci);
        const DWORD start = GetTickCount();
        const uint32_t server = ControlPeer(ci);
        int error = WSAETIMEDOUT;
        for (;;) {
            DWORD elapsed = GetTickCount() - start;
            if (elapsed >= limit)
                break;
            DWORD slice = limit - elapsed < 200 ? limit - elapsed : 200;
            int w = WaitSocket(ci, dc->listen, 0, slice);
            if (w == 1) {
                sockaddr_in from;
                int len = sizeof from;
                SOCKET s = accept(dc->listen, (sockaddr *)&from, &len);
                if (s == INVALID_SOCKET) {
                    error = WSAGetLastError();
                    break;
                }
                if (from.sin_family == AF_INET && ntohl(from.sin_addr.s_addr) == server) {
                    dc->sock = s;
                    break;
                }
                // Someone else got to our port first: not the server, so
                // not its data.  Wait on for the server.
                char who[16];
                Logf(ci, "! Data connection from %s refused: not the server",
                     Dotted(ntohl(from.sin_addr.s_addr), who, sizeof who));
                closesocket(s);
                continue;
            }
            if (w < 0)
                break;
            if (ControlReadable(ci)) {
                // The server gave up on the connection: take its reply so
                // the next command reads its own.
                TESSEL_RecvResponse(ci);
                break;
            }
        }
        if (dc->sock == INVALID_SOCKET)
            ci->lastError = error;
        closesocket(dc->listen);
        dc->listen = INVALID_SOCKET;
    }
    if (dc->sock != INVALID_SOCKET) {
        SetBlocking(dc->sock, 0);
        ci->dataSocket = dc->sock;
    }
    return dc->sock;
}

void CloseDataChannel(CINFO *ci, DataChannel *dc, int noDrain)
{
    if (dc->listen != INVALID_SOCKET) {
        closesocket(dc->listen);
        dc->listen = INVALID_SOCKET;
    }
    if (dc->sock != INVALID_SOCKET) {
        if (noDrain) {
            // The peer has ended its side, or what it still sends is
            // unwanted: the gentle close would only wait.
            closesocket(dc->sock);
        } else {
            SetBlocking(dc->sock, 1);
            CloseSocketGently(nullptr, dc->sock);
        }
        dc->sock = INVALID_SOCKET;
    }
    ci->dataSocket = INVALID_SOCKET;
}

int RecvSome(CINFO *ci, SOCKET s, char *buf, int len, int *err)
{
    *err = 0;
    for (;;) {
        int n = recv(s, buf, len, 0);
        if (n >= 0)
            return n;
        int e = WSAGetLastError();
        if (e != WSAEWOULDBLOCK) {
            *err = e;
            return -1;
        }
        int w = WaitSocket(ci, s, 0, ReplyTimeoutMs(ci));
        if (w == 0) {
            *err = WSAETIMEDOUT;
            return -1;
        }
        if (w == -2)
            return -2;
        if (w < 0) {
            *err = WSAGetLastError();
            return -1;
        }
    }
}

int SendAll(CINFO *ci, SOCKET s, const char *buf, int len, int *err)
{
    *err = 0;
    if (s == INVALID_SOCKET) {
        *err = WSAENOTSOCK;
        return -1;
    }
    int off = 0;
    while (off < len) {
        int n = send(s, buf + off, len - off, 0);
        if (n > 0) {
            off += n;
            continue;
        }
        int e = n == 0 ? WSAECONNRESET : WSAGetLastError();
        if (e != WSAEWOULDBLOCK) {
            *err = e;
            return -1;
        }
        int w = WaitSocket(ci, s, 1, ReplyTimeoutMs(ci));
        if (w == 0) {
            *err = WSAETIMEDOUT;
            return -1;
        }
        if (w == -2)
            return -2;
        if (w < 0) {
            *err = WSAGetLastError();
            return -1;
        }
    }
    return 0;
}

int WaitPeerClose(CINFO *ci, SOCKET s, char *buf, int size)
{
    const DWORD start = GetTickCount();
    const DWORD limit = ReplyTimeoutMs(ci);
    while (GetTickCount() - start < limit) {
        fd_set fds;
        FD_ZERO(&fds);
        FD_SET(s, &fds);
        if (ci->ctrlSocket != INVALID_SOCKET)
            FD_SET(ci->ctrlSocket, &fds);
        timeval tv = {0, 50000};
        int w = select(0, &fds, nullptr, nullptr, &tv);
        if (w < 0)
            return 0;
        if (w == 0)
            continue;
        if (FD_ISSET(s, &fds)) {
            int n = recv(s, buf, size, 0);
            if (n > 0 || (n < 0 && WSAGetLastError() == WSAEWOULDBLOCK))
                continue;
            return n == 0;
        }
        // The closing reply is there: the server is done with the data
        // even if it has not closed its end.
        return 0;
    }
    return 0;
}

int ReadListingLine(CINFO *ci, SOCKET s, LineBuffer *lb, char *line, size_t lineSize)
{
    ci->lastError = 0;
    if (s == INVALID_SOCKET) {
        SetErrorText(ci, "500 no socket");
        return -1;
    }
    for (;;) {
        int n = TakeDataLine(lb, line, lineSize);
        if (n >= 0)
            return n;
        if (ci->abortFlag)
            return -1;
        int32_t room;
        char *at = LineBufferSpace(lb, &room);
        int err;
        int got = RecvSome(ci, s, at, room, &err);
        if (got > 0) {
            LineBufferCommit(lb, got);
            continue;
        }
        if (got == 0)
            return TakeLastDataLine(lb, line, lineSize);
        if (got == -1)
            ci->lastError = err;
        return -1;
    }
}

int SendAbortSequence(CINFO *ci, int logging)
{
    const unsigned sock = (unsigned)ci->ctrlSocket;
    // IAC IP IAC with the urgent mark on the last byte, then DM: the Telnet
    // "Synch" that makes a busy server look at the control connection.
    static const char interrupt[3] = {(char)255, (char)244, (char)255};
    if (send(ci->ctrlSocket, interrupt, 3, MSG_OOB) != 3) {
        SetErrorf(ci, "[%u] IP not accepted %u", sock, (unsigned)WSAGetLastError());
        return 0;
    }
    static const char abor[7] = {(char)242, 'A', 'B', 'O', 'R', '\r', '\n'};
    if (send(ci->ctrlSocket, abor, 7, 0) != 7) {
        SetErrorf(ci, "[%u] ABOR not accepted %u", sock, (unsigned)WSAGetLastError());
        return 0;
    }
    if (logging)
        LogText(ci, "ABOR");
    SetErrorf(ci, "[%u] sent ABOR", sock);
    return 1;
}

int SendAbort(CINFO *ci)
{
    if (!SendAbortSequence(ci, 1))
        return 0;
    ReadClosingReply(ci);
    return 1;
}

int SendAbortQuiet(CINFO *ci)
{
    if (!SendAbortSequence(ci, 0))
        return 0;
    if (!ci->asyncWnd) // otherwise the message-driven machine reads it
        ReadClosingReply(ci);
    return 1;
}

AbortReplies ReadAbortReplies(CINFO *ci, int aborted)
{
    AbortReplies r;
    r.first = r.last = ReadClosingReply(ci);
    if (!aborted || r.first == 421 || r.first == -1)
        return r;
    char first[sizeof ci->replyLine];
    memcpy(first, ci->replyLine, sizeof first);
    const uint32_t savedTimeout = ci->timeout;
    if (ReplyTimeoutMs(ci) > TESSEL_ABORT_REPLY_MS)
        ci->timeout = TESSEL_ABORT_REPLY_MS;
    const int second = ReadClosingReply(ci);
    ci->timeout = savedTimeout;
    if (second == 421 || second == -1)
        memcpy(ci->replyLine, first, sizeof first);
    else
        r.last = second;
    return r;
}

int ReadClosingReply(CINFO *ci)
{
    const LONG aborted = ci->abortFlag;
    ci->abortFlag = 0;
    int code = TESSEL_RecvResponse(ci);
    if (aborted)
        ci->abortFlag = aborted;
    return code;
}
