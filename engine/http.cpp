// Retrieval of one URL through an HTTP proxy: an HTTP/1.0 GET with an
// absolute URL, the response header skipped, the rest stored in a file.
// Proxies that speak both fetch ftp:// URLs the same way.
#include "engine.h"
#include "opguard.h"
#include "util.h"
#include "asynclines.h"
#include "debugtrace.h"
#include "tessel_async.h"

#include <stdio.h>
#include <string.h>

// A header that never ends is cut off here rather than read for ever.
static const int32_t kMaxHeaderBytes = 1 << 20;


static int32_t RxCapacity(const CINFO *ci)
{
    return ci->rxBufSize > 0 && ci->rxBufSize <= CINFO_BUFSIZE ? ci->rxBufSize : CINFO_BUFSIZE;
}

TESSEL_EXTERN_C int TESSEL_API TESSEL_SetHTTPProxy(CINFO *ci, const char *host, int port, const char *user,
                                                   const char *password)
{
    if (!RecordValid(ci))
        return 500;
    OperationGuard op(ci, CINFO_BUSY_CONNECT);
    if (!op.Held())
        return 500;
    if (ci->ctrlSocket != INVALID_SOCKET) {
        TESSEL_CloseConnect(ci, 0);
        op.Remark();
    }
    ci->rxPending = 0;
    ci->rxDiscard = 0;
    ci->cmdPending = 0;
    CopyBounded(ci->host, sizeof ci->host, host);
    CopyBounded(ci->user, sizeof ci->user, user);
    CopyBounded(ci->password, sizeof ci->password, password);
    int result;
    unsigned long addr = ResolveHost(host);
    if (addr == INADDR_NONE || addr == 0) {
        LogText(ci, "! Host not resolved\r\n");
        SetErrorf(ci, "failed to resolve %s", host ? host : "");
        result = 0;
    } else {
        memset(&ci->serverAddr, 0, sizeof ci->serverAddr);
        ci->serverAddr.sin_family = AF_INET;
        ci->serverAddr.sin_addr.s_addr = addr;
        ci->serverAddr.sin_port = htons((u_short)port);
        result = 1;
    }
    return result;
}

// Receives once into the free part of rxBuf, waiting at most the record's
// reply time-out.  Bytes received, 0 at the end of the stream, the time-out
// or an error (lastError set), -1 when stopped by abortFlag.
static int ReceiveMore(CINFO *ci, int maxBytes, int *fromNetwork)
{
    const int32_t cap = RxCapacity(ci);
    int room = cap - 1 - ci->rxPending;
    if (room > maxBytes)
        room = maxBytes;
    if (room <= 0)
        return 0;
    for (;;) {
        if (ci->abortFlag)
            return -1;
        int w = WaitSocket(ci, ci->ctrlSocket, 0, ReplyTimeoutMs(ci));
        if (w != 1) {
            ci->lastError = w == 0 ? WSAETIMEDOUT : (w == -2 ? WSAEINTR : WSAGetLastError());
            return 0;
        }
        int n = recv(ci->ctrlSocket, ci->rxBuf + ci->rxPending, room, 0);
        if (n > 0) {
            ci->rxPending += n;
            ci->rxBuf[ci->rxPending] = 0;
            if (fromNetwork)
                *fromNetwork = 1;
            return n;
        }
        if (n == 0)
            return 0;
        int err = WSAGetLastError();
        if (err == WSAEWOULDBLOCK) {
            Sleep(0);
            continue;
        }
        ci->lastError = err;
        return 0;
    }
}

// One header line, CR LF kept, into replyLine.  Its length, 0 when the
// connection ended, failed or went quiet for the reply time-out, -1 without
// a socket.  An over-long line arrives cut; the rest of it is dropped.
static int ReadHeaderLine(CINFO *ci, uint32_t *discard, int lineNo, int32_t *headerBytes)
{
    ci->lastError = 0;
    if (ci->ctrlSocket == INVALID_SOCKET) {
        strcpy(ci->replyLine, "500 no socket");
        SetErrorText(ci, "! Invalid socket");
        return -1;
    }
    int fromNetwork = 0;
    for (;;) {
        int len = TakeHeaderLine(ci->rxBuf, &ci->rxPending, RxCapacity(ci), discard, ci->replyLine,
                                 sizeof ci->replyLine);
        if (len > 0) {
            DebugTrace("http header line %d, %d bytes from the %s: %s", lineNo, len,
                       fromNetwork ? "network" : "buffer", ci->replyLine);
            return len;
        }
        if (*headerBytes >= kMaxHeaderBytes)
            return 0;
        int n = ReceiveMore(ci, 82, &fromNetwork);
        if (n <= 0)
            return 0;
        *headerBytes += n;
    }
}

// Next piece of the body (at most outSize bytes) from rxBuf, receiving when
// nothing is buffered.  Its length, 0 at the end, on an error, on the reply
// time-out or when abortFlag is set.
static int ReadBodyChunk(CINFO *ci, char *out, int outSize)
{
    if (ci->abortFlag)
        return 0;
    if (ci->rxPending <= 0) {
        ci->rxPending = 0;
        if (ReceiveMore(ci, RxCapacity(ci), nullptr) <= 0)
            return 0;
    }
    int n = ci->rxPending < outSize ? ci->rxPending : outSize;
    memcpy(out, ci->rxBuf, (size_t)n);
    memmove(ci->rxBuf, ci->rxBuf + n, (size_t)(ci->rxPending - n));
    ci->rxPending -= n;
    ci->rxBuf[ci->rxPending] = 0;
    return n;
}

// The request: "GET scheme://host/path HTTP/1.0" and three fields.  -1 when
// it would not fit or a part would break a line (another request could be
// smuggled in).
static int BuildRequest(char *out, size_t size, int http, const char *host, int port, const char *path)
{
    if (strpbrk(host, "\r\n") || strpbrk(path, "\r\n"))
        return -1;
    if (*path == '/')
        ++path;
    const char *scheme = http ? "http" : "ftp";
    // A proxy goes where the URL says, whatever the Host field: a port
    // other than the scheme's own belongs in the URL too.
    char target[300];
    if (port == (http ? 80 : 21))
        snprintf(target, sizeof target, "%s", host);
    else
        snprintf(target, sizeof target, "%s:%u", host, (unsigned)port);
    int n;
    if (port == 80)
        n = snprintf(out, size,
                     "GET %s://%s/%s HTTP/1.0\r\nAccept: */*\r\nUser-Agent: TESSEL/5.0\r\nHost: %s\r\n\r\n",
                     scheme, target, path, host);
    else
        n = snprintf(out, size,
                     "GET %s://%s/%s HTTP/1.0\r\nAccept: */*\r\nUser-Agent: TESSEL/5.0\r\nHost: %s:%u\r\n\r\n",
                     scheme, target, path, host, (unsigned)port);
    return n < 0 || (size_t)n >= size ? -1 : n;
}

static int SendBytes(CINFO *ci, const char *data, size_t len)
{
    size_t sent = 0;
    while (sent < len) {
        int n = send(ci->ctrlSocket, data + sent, (int)(len - sent), 0);
        if (n > 0) {
            sent += (size_t)n;
            continue;
        }
        int err = WSAGetLastError();
        if (n == SOCKET_ERROR && err == WSAEWOULDBLOCK && !ci->abortFlag) {
            WaitSocket(ci, ci->ctrlSocket, 1, ReplyTimeoutMs(ci));
            continue;
        }
        ci->lastError = err;
        return -1;
    }
    return 0;
}

TESSEL_EXTERN_C int TESSEL_API TESSEL_HTTPRetrieve(CINFO *ci, int http, const char *host, int port,
                                                   const char *path, const char *localFile, DWORD)
{
    if (!RecordValid(ci))
        return 500;
    OperationGuard op(ci, CINFO_BUSY_CONNECT);
    if (!op.Held())
        return 500;
    if (ci->ctrlSocket != INVALID_SOCKET) {
        TESSEL_CloseConnect(ci, 0);
        op.Remark();
    }
    ci->rxPending = 0;
    ci->rxDiscard = 0;
    ci->cmdPending = 0;
    ci->abortFlag = 0;
    ci->cancelFlag = 0;
    ci->byteCount = 0;
    ClearErrorText(ci);
    if (!host)
        host = "";
    if (!path)
        path = "";

    static const size_t kRequestMax = 2048;
    char request[kRequestMax];
    int requestLen = BuildRequest(request, sizeof request, http, host, port, path);
    if (requestLen < 0) {
        SetErrorText(ci, "! request refused: too long or holds a line break");
        return 0;
    }

    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    if (s == INVALID_SOCKET) {
        LogText(ci, "! Create socket failure\r\n");
        ci->lastError = WSAGetLastError();
        SetErrorf(ci, "create socket failed %u", (unsigned)ci->lastError);
        return 0;
    }
    int err = ConnectSocket(ci, s, &ci->serverAddr, ReplyTimeoutMs(ci));
    if (err) {
        LogText(ci, "! Connect failure\r\n");
        SetErrorf(ci, "connect to %s failed", inet_ntoa(ci->serverAddr.sin_addr));
        ci->lastError = err;
        CloseSocketGently(nullptr, s);
        return 0;
    }
    ci->ctrlSocket = s;
    LogText(ci, "Connected\r\n");
    // The request line goes to the log like any command; the fields are
    // always the same.
    Logf(ci, "%.*s", (int)strcspn(request, "\r"), request);

    int result = 1;
    char status[256] = "";
    // The request ends with its own empty line and nothing after it: a CR LF
    // more goes on to the server, which may then reset the connection and
    // cut the response short without anyone noticing.
    if (SendBytes(ci, request, (size_t)requestLen) == 0) {
        uint32_t discard = 0;
        int32_t headerBytes = ci->rxPending;
        int ended = 0;
        for (int lineNo = 0;; ++lineNo) {
            int len = ReadHeaderLine(ci, &discard, lineNo, &headerBytes);
            if (len <= 0)
                break;
            if (lineNo == 0)
                CopyBounded(status, sizeof status, ci->replyLine);
            if (!strcmp(ci->replyLine, "\r\n")) {
                ended = 1;
                break;
            }
        }
        status[strcspn(status, "\r\n")] = 0;
        if (status[0])
            LogText(ci, status);
        if (ended) {
            HANDLE f = CreateFileA(localFile ? localFile : "", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
            if (f == INVALID_HANDLE_VALUE) {
                SetErrorf(ci, "! Failed to open %s for write.", localFile ? localFile : "");
                result = 0;
            } else {
                char chunk[CINFO_BUFSIZE];
                int n;
                int64_t total = 0;
                while ((n = ReadBodyChunk(ci, chunk, sizeof chunk)) > 0) {
                    DWORD written = 0;
                    if (!WriteFile(f, chunk, (DWORD)n, &written, nullptr) || written != (DWORD)n) {
                        SetErrorf(ci, "! File write error %u", (unsigned)GetLastError());
                        break;
                    }
                    total += n;
                }
                CloseHandle(f);
                ci->byteCount = total > 0x7FFFFFFF ? 0x7FFFFFFF : (int32_t)total;
            }
        } else {
            LogText(ci, "! Response header did not end; nothing stored");
        }
    }
    TESSEL_CloseConnect(ci, 0);
    // replyLine served as the header buffer: leave the status line in it.
    CopyBounded(ci->replyLine, sizeof ci->replyLine, status);
    return result;
}
