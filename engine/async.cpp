// The message-driven machine: socket events and lookup results arrive at
// each record's hidden handler window (class TESSELD32), which drives the
// login, command sends, reply reads and message-driven transfers and tells
// the caller's window how things go.
//
// Everything here runs on the thread that owns the handler window, except
// TESSEL_CancelAction, which only posts to it.
#include "async_internal.h"
#include "asynclines.h"
#include "dataconn.h"
#include "opguard.h"
#include "util.h"

#include <process.h>
#include <stdio.h>
#include <string.h>

#include <map>
#include <string>

namespace {

int g_blockSize = TESSEL_ASYNC_BLOCK;

int32_t RxCapacity(const CINFO *ci)
{
    return ci->rxBufSize > 0 && ci->rxBufSize <= CINFO_BUFSIZE ? ci->rxBufSize : CINFO_BUFSIZE;
}


void PostDone(CINFO *ci, WPARAM wp, LPARAM lp)
{
    if (ci->doneMsg && ci->notifyWnd)
        PostMessageA(ci->notifyWnd, ci->doneMsg, wp, lp);
}

// A message-driven transfer reports every block: its caller's window is
// what drives it, so progressOn does not apply.
void PostProgress(CINFO *ci) { PostProgressCount(ci, (uint32_t)ci->byteCount); }

void AddBytes(CINFO *ci, int n)
{
    uint32_t v = (uint32_t)ci->byteCount + (uint32_t)n;
    if (v < (uint32_t)ci->byteCount)
        v = 0xFFFFFFFFu; // saturate rather than wrap on files over 4 GiB
    ci->byteCount = (int32_t)v;
}

// What a message-driven download must end with, kept beside the record
// (whose layout is fixed): the length the server meant, the bytes so far,
// and the cut of an existing file that waits for the first byte.
struct DownloadCheck {
    int known;
    uint64_t expected;
    uint64_t total;
    uint64_t dropped;
    int overrun;
    int cutPending;
    int created;
    std::string path;
};

// Data kept beside each record (whose layout is fixed), under one lock.
template <class T> class BesideRecords {
public:
    BesideRecords() { InitializeCriticalSection(&lock_); }
    // The record's entry, or nullptr; map entries stay where they are.
    T *Find(CINFO *ci)
    {
        EnterCriticalSection(&lock_);
        auto it = of_.find(ci);
        T *v = it == of_.end() ? nullptr : &it->second;
        LeaveCriticalSection(&lock_);
        return v;
    }
    void Set(CINFO *ci, const T &v)
    {
        EnterCriticalSection(&lock_);
        of_[ci] = v;
        LeaveCriticalSection(&lock_);
    }
    // Removes the record's entry; true and *out when there was one.
    bool Take(CINFO *ci, T *out)
    {
        EnterCriticalSection(&lock_);
        auto it = of_.find(ci);
        const bool found = it != of_.end();
        if (found) {
            if (out)
                *out = it->second;
            of_.erase(it);
        }
        LeaveCriticalSection(&lock_);
        return found;
    }

private:
    CRITICAL_SECTION lock_;
    std::map<CINFO *, T> of_;
};

BesideRecords<DownloadCheck> &Checks()
{
    static BesideRecords<DownloadCheck> c;
    return c;
}

// The record's entry (its own thread is the only one that uses it).
DownloadCheck *CheckOf(CINFO *ci) { return Checks().Find(ci); }
void SetCheck(CINFO *ci, const DownloadCheck &d) { Checks().Set(ci, d); }
void DropCheck(CINFO *ci) { Checks().Take(ci, nullptr); }

// The data block of each message-driven transfer, on the heap: the events
// run inside the caller's window procedure, on a stack we do not own, and
// the block may be 1 MiB.  Taken at the start with the size set then, freed
// when the transfer ends.
struct TransferBlock {
    char *data;
    int size;
};

BesideRecords<TransferBlock> &Blocks()
{
    static BesideRecords<TransferBlock> b;
    return b;
}

void DropBlock(CINFO *ci)
{
    TransferBlock t;
    if (Blocks().Take(ci, &t))
        HeapFree(GetProcessHeap(), 0, t.data);
}

int NewBlock(CINFO *ci)
{
    DropBlock(ci);
    const int size = g_blockSize;
    char *data = (char *)HeapAlloc(GetProcessHeap(), 0, (SIZE_T)size);
    if (!data)
        return 0;
    Blocks().Set(ci, TransferBlock{data, size});
    return 1;
}

// The record's block; an event that comes without one (after the end)
// gets a small one of its caller's.  Only the handler's thread uses and
// ends a transfer's block.
TransferBlock BlockOf(CINFO *ci, char *fallback, int fallbackSize)
{
    const TransferBlock *t = Blocks().Find(ci);
    return t ? *t : TransferBlock{fallback, fallbackSize};
}

int CutFile(HANDLE f, uint64_t at)
{
    LARGE_INTEGER pos;
    pos.QuadPart = (LONGLONG)at;
    return SetFilePointerEx(f, pos, nullptr, FILE_BEGIN) && SetEndOfFile(f);
}

// Stops the notifications of a socket and makes it blocking again, so that
// the blocking operations can use it afterwards.
void Unselect(CINFO *ci, SOCKET s)
{
    if (s == INVALID_SOCKET)
        return;
    if (ci->asyncWnd)
        WSAAsyncSelect(s, ci->asyncWnd, 0, 0);
    u_long nb = 0;
    ioctlsocket(s, FIONBIO, &nb);
}

// Drops the events still queued for a socket that is about to be closed:
// once closed, its handle may come back for a new socket, and a stale event
// must not act on that one.  Only on the window's own thread.
void PurgeEvents(CINFO *ci, SOCKET s)
{
    if (!ci->asyncWnd || GetWindowThreadProcessId(ci->asyncWnd, nullptr) != GetCurrentThreadId())
        return;
    MSG keep[128];
    int kept = 0;
    MSG m;
    while (kept < (int)(sizeof keep / sizeof keep[0]) &&
           PeekMessageA(&m, ci->asyncWnd, TESSEL_MSG_SOCKET, TESSEL_MSG_SOCKET, PM_REMOVE)) {
        if ((SOCKET)m.wParam != s)
            keep[kept++] = m;
    }
    for (int i = 0; i < kept; ++i)
        PostMessageA(ci->asyncWnd, keep[i].message, keep[i].wParam, keep[i].lParam);
}

// A socket that never got connected has nothing to drain.
SOCKET CloseUnconnected(CINFO *ci, SOCKET s)
{
    if (s == INVALID_SOCKET)
        return INVALID_SOCKET;
    if (ci->asyncWnd)
        WSAAsyncSelect(s, ci->asyncWnd, 0, 0);
    PurgeEvents(ci, s);
    closesocket(s);
    return INVALID_SOCKET;
}

SOCKET CloseAsyncSocket(CINFO *ci, SOCKET s)
{
    if (s == INVALID_SOCKET)
        return INVALID_SOCKET;
    if (ci->asyncWnd)
        WSAAsyncSelect(s, ci->asyncWnd, 0, 0);
    PurgeEvents(ci, s);
    return CloseSocketGently(ci->asyncWnd, s);
}

// asyncFlags is also written by TESSEL_CancelAction on the caller's thread.
void SetAsyncFlag(CINFO *ci, uint32_t flag, int on)
{
    volatile LONG *p = (volatile LONG *)&ci->asyncFlags;
    LONG old, now;
    do {
        old = *p;
        now = on ? (LONG)((uint32_t)old | flag) : (LONG)((uint32_t)old & ~flag);
    } while (InterlockedCompareExchange(p, now, old) != old);
}

void ReleaseTransferHold(CINFO *ci)
{
    DropBlock(ci);
    if (ci->asyncFlags & TESSEL_AFLAG_HOLDS_REF) {
        SetAsyncFlag(ci, TESSEL_AFLAG_HOLDS_REF, 0);
        Release(ci);
    }
}

// ---------------------------------------------------------------- lookups

// Each lookup gets its own result buffer: the resolver writes into it
// whenever it finishes, even after the record has moved on or is gone, so
// the buffer must not be the record's.
struct Lookup {
    Lookup *next;
    CINFO *ci;
    HANDLE handle;
    char buf[MAXGETHOSTSTRUCT];
};

struct LookupList {
    CRITICAL_SECTION cs;
    Lookup *head = nullptr;
    LookupList() { InitializeCriticalSection(&cs); }
} g_lookups;

Lookup *TakeLookup(HANDLE handle)
{
    EnterCriticalSection(&g_lookups.cs);
    Lookup **pp = &g_lookups.head;
    Lookup *found = nullptr;
    while (*pp) {
        if ((*pp)->handle == handle) {
            found = *pp;
            *pp = found->next;
            break;
        }
        pp = &(*pp)->next;
    }
    LeaveCriticalSection(&g_lookups.cs);
    return found;
}

// ---------------------------------------------------------------- login

bool LoginRuns(const CINFO *ci) { return (ci->asyncState & TESSEL_ASYNC_LOGIN_MASK) != 0; }

// Ends the login machine and tells the caller.
void EndLogin(CINFO *ci, int ok, LPARAM code)
{
    ci->asyncState = TESSEL_ASYNC_IDLE;
    Unselect(ci, ci->ctrlSocket);
    ClearBusy(ci);
    PostDone(ci, ok, code);
}

// Logged in: the host type is settled by SYST before the caller hears of
// it.  The machine is idle during the blocking SYST, so that events arriving
// meanwhile leave its reply to the blocking reader.
void LoginSucceeded(CINFO *ci, int code)
{
    ci->asyncState = TESSEL_ASYNC_IDLE;
    Unselect(ci, ci->ctrlSocket);
    TESSEL_AutoDetectSyst(ci);
    ClearBusy(ci);
    PostDone(ci, 1, code);
}

void FailConnect(CINFO *ci, int err, LPARAM doneCode)
{
    ci->lastError = err;
    SetErrorf(ci, "connect to %s failed", inet_ntoa(ci->serverAddr.sin_addr));
    ci->asyncState = TESSEL_ASYNC_IDLE;
    ClearBusy(ci);
    ci->ctrlSocket = CloseUnconnected(ci, ci->ctrlSocket);
    PostDone(ci, 0, doneCode);
}

int SendLoginCommand(CINFO *ci, const char *word, const char *arg)
{
    char cmd[TESSEL_CMD_MAX];
    if (BuildCommand(cmd, sizeof cmd, word, arg) < 0) {
        SetErrorText(ci, "! command refused: too long or holds a line break");
        return -1;
    }
    LogText(ci, lstrcmpiA(word, "PASS") ? cmd : "PASS (hidden)");
    return TESSEL_SendCommand(ci, cmd);
}

// One final reply line in a login state.
void StepLogin(CINFO *ci, int code)
{
    if (ci->abortFlag || ci->cancelFlag) {
        EndLogin(ci, 0, code);
        return;
    }
    const int cls = code / 100;
    switch (ci->asyncState) {
    case TESSEL_ASYNC_GREETING:
        if (cls != 2) {
            EndLogin(ci, 0, code);
            return;
        }
        GreetingCheck(ci);
        if (!ci->user[0]) {
            ci->asyncState = TESSEL_ASYNC_LOGGED;
            break;
        }
        if (SendLoginCommand(ci, "USER", ci->user) != 0) {
            EndLogin(ci, 0, code);
            return;
        }
        ci->asyncState = TESSEL_ASYNC_USER;
        PostSocketEvent(ci, ci->ctrlSocket, FD_READ);
        return;
    case TESSEL_ASYNC_USER:
        if (cls == 2) {
            // Let in without a password: as good as a login.
            LoginSucceeded(ci, code);
            return;
        }
        if (cls != 3) {
            EndLogin(ci, 0, code);
            return;
        }
        if (!ci->password[0]) {
            // The server wants a password and there is none: not logged in.
            SetErrorText(ci, "! password required");
            EndLogin(ci, 0, code);
            return;
        }
        if (SendLoginCommand(ci, "PASS", ci->password) != 0) {
            EndLogin(ci, 0, code);
            return;
        }
        ci->asyncState = TESSEL_ASYNC_PASS;
        PostSocketEvent(ci, ci->ctrlSocket, FD_READ);
        return;
    case TESSEL_ASYNC_PASS:
        if (cls == 2)
            LoginSucceeded(ci, code);
        else
            EndLogin(ci, 0, code);
        return;
    default:
        break;
    }
    if (ci->asyncState == TESSEL_ASYNC_LOGGED)
        EndLogin(ci, 1, code);
}

// ---------------------------------------------------------------- control

bool ControlStateRuns(const CINFO *ci)
{
    const uint32_t st = ci->asyncState;
    if (st & TESSEL_ASYNC_LOGIN_MASK)
        return ci->busy == CINFO_BUSY_CONNECT;
    // Command sends and reply reads do not mark the record busy; a blocking
    // operation that does owns the control connection.
    return (st == TESSEL_ASYNC_COMMAND || st == TESSEL_ASYNC_REPLY) && ci->busy == 0;
}

void ReadControl(CINFO *ci)
{
    ci->lastError = 0;
    const int32_t cap = RxCapacity(ci);
    int err = 0;
    int room = cap - 1 - ci->rxPending;
    if (room > 0) {
        int n = recv(ci->ctrlSocket, ci->rxBuf + ci->rxPending, room, 0);
        if (n > 0) {
            ci->rxPending += n;
            ci->rxBuf[ci->rxPending] = 0;
        } else if (n == SOCKET_ERROR) {
            err = WSAGetLastError();
        }
    }
    // Lines are cut out in every control state, so that the login sees its
    // replies whether or not the caller wants them one by one.
    int len = 0;
    while (ControlStateRuns(ci) &&
           TakeAsyncLine(ci->rxBuf, &ci->rxPending, cap, &ci->rxDiscard, ci->replyLine,
                         sizeof ci->replyLine, &len)) {
        const int value = ReplyValue(ci->replyLine);
        LogText(ci, ci->replyLine);
        if (ci->doneMsg && ci->notifyWnd)
            SendMessageA(ci->notifyWnd, ci->doneMsg + 1, (WPARAM)value, (LPARAM)len);
        // The caller's window procedure may have closed or reused the record.
        if (ci->magic != CINFO_MAGIC || ci->ctrlSocket == INVALID_SOCKET)
            return;
        if (LoginRuns(ci) && ControlStateRuns(ci) && ReplyIsFinal(ci->replyLine, value))
            StepLogin(ci, value);
    }
    if (err && err != WSAEWOULDBLOCK && ci->ctrlSocket != INVALID_SOCKET) {
        if (err != WSAENOTSOCK) {
            ci->lastError = err;
            SetErrorf(ci, "! recv error %u", (unsigned)err);
        }
        ci->cancelFlag = 1;
        PostSocketEvent(ci, ci->ctrlSocket, FD_CLOSE);
    }
}

void FinishCommand(CINFO *ci)
{
    ci->asyncState = TESSEL_ASYNC_IDLE;
    PostDone(ci, 1, (LPARAM)(uint32_t)ci->byteCount);
}

void WriteControl(CINFO *ci)
{
    if (ci->cmdPending <= 0) {
        ci->cmdPending = 0;
        if (ci->asyncState == TESSEL_ASYNC_COMMAND)
            FinishCommand(ci);
        return;
    }
    int n = send(ci->ctrlSocket, ci->cmdBuf, ci->cmdPending, 0);
    if (n == ci->cmdPending) {
        AddBytes(ci, n);
        ci->cmdPending = 0;
        // Done now: no further FD_WRITE is due after a send that took all.
        if (ci->asyncState == TESSEL_ASYNC_COMMAND)
            FinishCommand(ci);
    } else if (n > 0) {
        AddBytes(ci, n);
        memmove(ci->cmdBuf, ci->cmdBuf + n, (size_t)(ci->cmdPending - n));
        ci->cmdPending -= n;
        PostSocketEvent(ci, ci->ctrlSocket, FD_WRITE);
    } else {
        int err = WSAGetLastError();
        if (err == WSAEWOULDBLOCK)
            return; // WinSock posts FD_WRITE when there is room again
        ci->lastError = err;
        SetErrorf(ci, "! send error %u", (unsigned)err);
        ci->cancelFlag = 1;
        PostSocketEvent(ci, ci->ctrlSocket, FD_CLOSE);
    }
}

void OnConnected(CINFO *ci)
{
    if (ci->asyncState != TESSEL_ASYNC_GREETING)
        return;
    ci->rxPending = 0;
    ci->rxDiscard = 0;
    ci->lastError = 0;
    ReadControl(ci);
    if (ci->magic == CINFO_MAGIC && ci->asyncState == TESSEL_ASYNC_GREETING) {
        const int value = ReplyValue(ci->replyLine);
        if (strlen(ci->replyLine) > 2 && ReplyIsFinal(ci->replyLine, value))
            EndLogin(ci, 1, value);
    }
}

void CloseControl(CINFO *ci, SOCKET s)
{
    const uint32_t st = ci->asyncState;
    ci->ctrlSocket = CloseAsyncSocket(ci, s);
    ci->asyncState = TESSEL_ASYNC_IDLE;
    ClearBusy(ci);
    // A login or a command send that the connection's end cuts short still
    // ends with a message, or the caller would wait for ever.
    if (st & TESSEL_ASYNC_LOGIN_MASK) {
        if (!ci->replyLine[0])
            strcpy(ci->replyLine, "421 connection closed");
        PostDone(ci, 0, 421);
    } else if (st == TESSEL_ASYNC_COMMAND) {
        PostDone(ci, 0, (LPARAM)(uint32_t)ci->byteCount);
    }
}

// ---------------------------------------------------------------- data

void LocalFailure(CINFO *ci, const char *fmt, DWORD err)
{
    ci->lastError = 500;
    SetErrorf(ci, fmt, (unsigned)err);
    ci->cancelFlag = 1;
    PostSocketEvent(ci, ci->dataSocket, FD_CLOSE);
}

int WriteAll(HANDLE f, const char *buf, int n)
{
    DWORD written = 0;
    return WriteFile(f, buf, (DWORD)n, &written, nullptr) && written == (DWORD)n;
}

// Writes a download's block: the old file is cut at the first byte, and
// nothing past the length the server meant is written.  0 when the write
// failed (*overrun tells a block past that length).
int StoreData(CINFO *ci, const char *buf, int n, int *overrun)
{
    *overrun = 0;
    DownloadCheck *d = CheckOf(ci);
    if (d && d->known && d->total + (uint64_t)n > d->expected) {
        d->overrun = *overrun = 1;
        d->dropped = d->total + (uint64_t)n - d->expected;
        n = (int)(d->expected - d->total);
    }
    if (d && n && d->cutPending) {
        if (!CutFile(ci->asyncFile, 0))
            return 0;
        d->cutPending = 0;
    }
    if (n && !WriteAll(ci->asyncFile, buf, n))
        return 0;
    if (d)
        d->total += (uint64_t)n;
    AddBytes(ci, n);
    return 1;
}

// More data than the server meant: stopped like a cancel.
void StopOverrun(CINFO *ci)
{
    if (ci->ctrlSocket != INVALID_SOCKET && SendAbortSequence(ci, 0))
        SetAsyncFlag(ci, TESSEL_AFLAG_ABOR_SENT, 1);
    ci->cancelFlag = 1;
    PostSocketEvent(ci, ci->dataSocket, FD_CLOSE);
}

// FD_READ on the data socket of a download.
void ReadData(CINFO *ci)
{
    ci->lastError = 0;
    char spare[512];
    const TransferBlock block = BlockOf(ci, spare, (int)sizeof spare);
    char *buf = block.data;
    int n = recv(ci->dataSocket, buf, block.size, 0);
    if (n > 0) {
        // After a cancel or a failed write the rest only drains.
        if (ci->cancelFlag || ci->abortFlag)
            return;
        int overrun;
        if (!StoreData(ci, buf, n, &overrun)) {
            LocalFailure(ci, "! WriteFile error %u", GetLastError());
            return;
        }
        PostProgress(ci);
        if (overrun)
            StopOverrun(ci);
    } else if (n == 0) {
        // The end of the data.  FD_CLOSE normally follows, but not for a
        // connection that ended before it was selected.
        PostSocketEvent(ci, ci->dataSocket, FD_CLOSE);
    } else {
        int err = WSAGetLastError();
        if (err == WSAEWOULDBLOCK)
            return;
        if (ci->cancelFlag || ci->abortFlag)
            return;
        ci->lastError = err;
        SetErrorf(ci, "! recv error %u", (unsigned)err);
        ci->cancelFlag = 1;
        PostSocketEvent(ci, ci->dataSocket, FD_CLOSE);
    }
}

void SeekBack(HANDLE f, int n)
{
    LARGE_INTEGER d;
    d.QuadPart = -(LONGLONG)n;
    SetFilePointerEx(f, d, nullptr, FILE_CURRENT);
}

// FD_WRITE on the data socket of an upload: one block per event, so that the
// caller's messages keep flowing between blocks.  What the socket does not
// take is read again from the file next time.
void WriteData(CINFO *ci)
{
    if (ci->cancelFlag || ci->abortFlag)
        return; // the end is on its way
    char spare[512];
    const TransferBlock block = BlockOf(ci, spare, (int)sizeof spare);
    char *buf = block.data;
    DWORD got = 0;
    if (!ReadFile(ci->asyncFile, buf, (DWORD)block.size, &got, nullptr)) {
        LocalFailure(ci, "! ReadFile error %u", GetLastError());
        return;
    }
    if (got == 0) {
        ci->lastError = 0;
        PostSocketEvent(ci, ci->dataSocket, FD_CLOSE);
        return;
    }
    int n = send(ci->dataSocket, buf, (int)got, 0);
    if (n == (int)got) {
        AddBytes(ci, n);
        PostProgress(ci);
        PostSocketEvent(ci, ci->dataSocket, FD_WRITE);
    } else if (n > 0) {
        AddBytes(ci, n);
        SeekBack(ci->asyncFile, (int)got - n);
        PostProgress(ci);
        LogText(ci, "FD_WRITE-SentPartial");
        // A short send does not re-arm FD_WRITE; try again, and a send that
        // would block will.
        PostSocketEvent(ci, ci->dataSocket, FD_WRITE);
    } else {
        int err = WSAGetLastError();
        SeekBack(ci->asyncFile, (int)got);
        if (err == WSAEWOULDBLOCK)
            return;
        ci->lastError = err;
        SetErrorf(ci, "! send error %u", (unsigned)err);
        ci->cancelFlag = 1;
        PostSocketEvent(ci, ci->dataSocket, FD_CLOSE);
    }
}


void CloseData(CINFO *ci, SOCKET s)
{
    const uint32_t st = ci->asyncState;
    if (st == TESSEL_ASYNC_RECV && !ci->cancelFlag && !ci->abortFlag) {
        // The server has finished sending: take what is still on its way.
        Unselect(ci, s);
        PurgeEvents(ci, s);
        shutdown(s, SD_SEND);
        char spare[512];
        const TransferBlock block = BlockOf(ci, spare, (int)sizeof spare);
        char *buf = block.data;
        for (;;) {
            fd_set fds;
            FD_ZERO(&fds);
            FD_SET(s, &fds);
            timeval tv = {(long)(ReplyTimeoutMs(ci) / 1000), 0};
            if (select(0, &fds, nullptr, nullptr, &tv) <= 0)
                break;
            int n = recv(s, buf, block.size, 0);
            if (n <= 0)
                break;
            int overrun;
            if (!StoreData(ci, buf, n, &overrun)) {
                ci->lastError = 500;
                SetErrorf(ci, "! WriteFile error %u", (unsigned)GetLastError());
                ci->cancelFlag = 1;
                break;
            }
            PostProgress(ci);
            if (overrun)
                break; // the rest is not wanted; the verdict below says why
        }
    }
    if (st == TESSEL_ASYNC_RECV && (ci->cancelFlag || ci->abortFlag)) {
        // What the server still sends is unwanted; many servers only look
        // at the ABOR once a write to the data connection has failed.
        WSAAsyncSelect(s, ci->asyncWnd, 0, 0);
        PurgeEvents(ci, s);
        closesocket(s);
        ci->dataSocket = INVALID_SOCKET;
    } else {
        ci->dataSocket = CloseAsyncSocket(ci, s);
    }
    DownloadCheck *check = st == TESSEL_ASYNC_RECV ? CheckOf(ci) : nullptr;
    DownloadCheck d = check ? *check : DownloadCheck();
    if (check)
        DropCheck(ci);
    const int aborted = (ci->asyncFlags & TESSEL_AFLAG_ABOR_SENT) != 0;
    SetAsyncFlag(ci, TESSEL_AFLAG_ABOR_SENT, 0);
    int code = ci->ctrlSocket != INVALID_SOCKET ? ReadTransferEnd(ci, aborted) : 0;
    int sizeFailure = 0;
    if (check && ci->lastError != 500) {
        TransferFacts facts = {};
        facts.dataConnection = facts.localFileOk = facts.dataOk = 1;
        facts.closingCode = code;
        facts.binary = 1;
        facts.lengthKnown = d.known;
        facts.expected = d.expected;
        facts.actual = d.total + d.dropped;
        // Past the length the server meant the transfer was stopped, so
        // its closing reply says nothing more.
        const int verdict = d.overrun ? XV_LONG : TransferVerdict(&facts);
        if (verdict == XV_SHORT || verdict == XV_LONG) {
            char text[200];
            SetErrorText(ci, VerdictText(verdict, &facts, text, sizeof text));
            sizeFailure = 1;
        }
        // An empty file, confirmed: now the old one may go.
        if (d.cutPending && verdict == XV_OK && !ci->cancelFlag && !ci->abortFlag && ci->asyncFile)
            CutFile(ci->asyncFile, 0);
    }
    if (ci->asyncFile) {
        CloseHandle(ci->asyncFile);
        ci->asyncFile = nullptr;
    }
    ci->asyncState = TESSEL_ASYNC_IDLE;
    // A transfer stopped here never reads as a success: a local failure is
    // 500, a cancelled one that the server still calls complete is 426, and
    // so is one that moved more or fewer bytes than the server meant.
    if (ci->lastError == 500)
        code = 500;
    else if ((ci->cancelFlag || ci->abortFlag || sizeFailure) && code / 100 == 2)
        code = 426;
    if (check && d.cutPending && d.created && code / 100 != 2)
        DeleteFileA(d.path.c_str()); // nothing came: no empty file left behind
    ClearBusy(ci);
    PostDone(ci, (WPARAM)code, (LPARAM)(uint32_t)ci->byteCount);
    ReleaseTransferHold(ci);
}

// A transfer whose machine was ended from outside (the control connection
// closed under it): free its socket, file and reference without a message.
void DropOrphanTransfer(CINFO *ci, SOCKET s)
{
    ci->dataSocket = CloseAsyncSocket(ci, s);
    if (ci->asyncFile) {
        CloseHandle(ci->asyncFile);
        ci->asyncFile = nullptr;
    }
    ReleaseTransferHold(ci);
}

// ---------------------------------------------------------------- dispatch

void OnSocketEvent(CINFO *ci, SOCKET s, int event, int error)
{
    if (s == INVALID_SOCKET)
        return;
    const uint32_t st = ci->asyncState;
    const bool isData = s == ci->dataSocket && (st & TESSEL_ASYNC_DATA_MASK);
    const bool isCtrl = !isData && s == ci->ctrlSocket;
    if (!isData && !isCtrl) {
        if (s == ci->dataSocket && (ci->asyncFlags & TESSEL_AFLAG_HOLDS_REF))
            DropOrphanTransfer(ci, s);
        return; // an event for a socket closed since, or not ours
    }
    if (isCtrl && !ControlStateRuns(ci)) {
        // Idle or a blocking operation on the connection: only a close while
        // nothing else runs is acted upon.
        if (!(event == FD_CLOSE && ci->busy == 0 && st == TESSEL_ASYNC_IDLE))
            return;
    }
    if (event == FD_CLOSE) {
        LogText(ci, "FD_CLOSE");
        if (isData)
            CloseData(ci, s);
        else
            CloseControl(ci, s);
        return;
    }
    if (error) {
        if (event == FD_CONNECT && isCtrl && st == TESSEL_ASYNC_GREETING) {
            FailConnect(ci, error, (LPARAM)error);
        } else {
            SetErrorf(ci, "async error %u\r\n", (unsigned)error);
            LogText(ci, ci->errorBuf);
        }
        return;
    }
    switch (event) {
    case FD_READ:
    case FD_OOB:
        if (isData) {
            if (st == TESSEL_ASYNC_RECV)
                ReadData(ci);
        } else {
            ReadControl(ci);
        }
        break;
    case FD_WRITE:
        if (isData) {
            if (st == TESSEL_ASYNC_SEND)
                WriteData(ci);
        } else {
            WriteControl(ci);
        }
        break;
    case FD_ACCEPT:
        LogText(ci, "FD_ACCEPT");
        break;
    case FD_CONNECT:
        if (isCtrl)
            OnConnected(ci);
        break;
    default:
        break;
    }
}

void OnLookupDone(HWND wnd, HANDLE handle, int error)
{
    Lookup *lk = TakeLookup(handle);
    if (!lk)
        return;
    CINFO *ci = lk->ci;
    // Only the lookup that the record still waits for counts; the record
    // may have been closed, reconnected or destroyed since (a destroyed one
    // no longer owns this window).
    if (ci && (CINFO *)GetWindowLongPtrA(wnd, 0) == ci && ci->magic == CINFO_MAGIC &&
        ci->asyncState == TESSEL_ASYNC_LOOKUP && (HANDLE)(intptr_t)ci->byteCount == handle)
        AsyncLookupResult(ci, lk->buf, (int)sizeof lk->buf, error);
    HeapFree(GetProcessHeap(), 0, lk);
}

// Starts the connect of a record in state 512 (its socket selected).
// 1 connected at once, 0 under way, or the WinSock error.
int StartConnect(CINFO *ci)
{
    WSAAsyncSelect(ci->ctrlSocket, ci->asyncWnd, TESSEL_MSG_SOCKET, TESSEL_CONNECT_EVENTS);
    if (connect(ci->ctrlSocket, (const sockaddr *)&ci->serverAddr, sizeof ci->serverAddr) == 0)
        return -1;
    int err = WSAGetLastError();
    return err == WSAEWOULDBLOCK ? 0 : err;
}

} // namespace

void PostSocketEvent(CINFO *ci, SOCKET s, int event)
{
    if (ci->asyncWnd && s != INVALID_SOCKET)
        PostMessageA(ci->asyncWnd, TESSEL_MSG_SOCKET, (WPARAM)s, WSAMAKESELECTREPLY(event, 0));
}

void HoldForTransfer(CINFO *ci)
{
    if (!(ci->asyncFlags & TESSEL_AFLAG_HOLDS_REF)) {
        AddRef(ci);
        SetAsyncFlag(ci, TESSEL_AFLAG_HOLDS_REF, 1);
    }
}

void SetAsyncBlockSize(int bytes)
{
    g_blockSize = bytes >= 512 && bytes <= (1 << 20) ? bytes : TESSEL_ASYNC_BLOCK;
}

int AsyncBlockSize(void) { return g_blockSize; }

// Reads the transfer's closing reply, and after an ABOR the ABOR's own reply
// too (servers answer the transfer with 426 or 226, then the ABOR), so that
// the next command reads its own reply.
int ReadTransferEnd(CINFO *ci, int aborted)
{
    const int code = ReadAbortReplies(ci, aborted).first;
    return code < 0 ? 0 : code;
}

void AsyncLookupResult(CINFO *ci, const char *buf, int bufSize, int error)
{
    const char *failure = nullptr;
    unsigned long addr = INADDR_NONE;
    if (error) {
        failure = "(resolve) failure.\r\n";
    } else {
        // Take the first address, trusting no pointer that leaves the buffer.
        const char *end = buf + bufSize;
        const hostent *he = (const hostent *)buf;
        const char *list = (const char *)he->h_addr_list;
        if (bufSize >= (int)sizeof(hostent) && he->h_length == 4 && list >= buf &&
            list + sizeof(char *) <= end) {
            const char *first = he->h_addr_list[0];
            if (first && first >= buf && first + 4 <= end)
                memcpy(&addr, first, 4);
        }
        in_addr a;
        a.s_addr = addr;
        SetErrorf(ci, "(resolve) %s\r\n", addr == INADDR_NONE ? "" : inet_ntoa(a));
        LogText(ci, ci->errorBuf);
        if (addr == INADDR_NONE || addr == 0)
            failure = "(resolve) failure..\r\n";
    }
    if (failure) {
        ci->asyncState = TESSEL_ASYNC_IDLE;
        ClearBusy(ci);
        ci->ctrlSocket = CloseUnconnected(ci, ci->ctrlSocket);
        LogText(ci, failure);
        PostDone(ci, 0, error);
        return;
    }
    memset(ci->replyLine, 0, 50);
    ci->asyncState = TESSEL_ASYNC_GREETING;
    ci->serverAddr.sin_addr.s_addr = addr;
    int r = StartConnect(ci);
    if (r < 0) {
        LogText(ci, "(resolve) connecting...\r\n");
        SendMessageA(ci->asyncWnd, TESSEL_MSG_SOCKET, (WPARAM)ci->ctrlSocket, WSAMAKESELECTREPLY(FD_CONNECT, 0));
        return;
    }
    LogText(ci, "(resolve) connecting..\r\n");
    if (r > 0) {
        LogText(ci, "! Connect failure\r\n");
        FailConnect(ci, r, r);
    }
}

LRESULT CALLBACK TesselHandlerWndProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == TESSEL_MSG_LOOKUP) {
        OnLookupDone(wnd, (HANDLE)wp, WSAGETASYNCERROR(lp));
        return 0;
    }
    if (msg != TESSEL_MSG_SOCKET)
        return DefWindowProcA(wnd, msg, wp, lp);
    CINFO *ci = (CINFO *)GetWindowLongPtrA(wnd, 0);
    if (!ci || ci->magic != CINFO_MAGIC || ci->asyncWnd != wnd)
        return 0;
    // The caller's window procedure runs inside (doneMsg+1); a record freed
    // there lives until this event is handled.
    AddRef(ci);
    OnSocketEvent(ci, (SOCKET)wp, WSAGETSELECTEVENT(lp), WSAGETSELECTERROR(lp));
    Release(ci);
    return 0;
}

// ---------------------------------------------------------------- exports

static int HandlerUsable(CINFO *ci)
{
    if (!ci->asyncWnd || !IsWindow(ci->asyncWnd)) {
        SetErrorText(ci, "! no handler window");
        return 0;
    }
    return 1;
}

TESSEL_EXTERN_C int TESSEL_API TESSEL_ConnectAsync(CINFO *ci, const char *host, int port, const char *user,
                                                   const char *password, UINT doneMsg)
{
    if (!RecordValid(ci))
        return 0;
    // On success the login machine holds the mark and clears it at its end.
    OperationGuard op(ci, CINFO_BUSY_CONNECT);
    if (!op.Held())
        return 0;
    if (!HandlerUsable(ci))
        return 0;
    if (!host || !*host) {
        // An empty name would resolve to this machine.
        SetErrorText(ci, "! No host");
        return 0;
    }
    if (ci->ctrlSocket != INVALID_SOCKET) {
        TESSEL_CloseConnect(ci, 0);
        op.Remark();
    }
    ci->cancelFlag = 0;
    ci->abortFlag = 0;
    ci->rxPending = 0;
    ci->rxDiscard = 0;
    ci->cmdPending = 0;
    ci->closeRequest = 0;
    SetAsyncFlag(ci, TESSEL_AFLAG_ABOR_SENT, 0);
    // A line left from an earlier session must not pass for the greeting.
    ci->replyLine[0] = 0;
    CopyBounded(ci->host, sizeof ci->host, host);
    CopyBounded(ci->user, sizeof ci->user, user);
    CopyBounded(ci->password, sizeof ci->password, password);
    ci->port = (uint16_t)(port ? port : 21);

    int result = 0;
    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    if (s == INVALID_SOCKET) {
        LogText(ci, "! Create socket failure\r\n");
        ci->lastError = WSAGetLastError();
        SetErrorf(ci, "connect failed %u", (unsigned)ci->lastError);
        return 0;
    }
    ci->ctrlSocket = s;
    ci->asyncState = TESSEL_ASYNC_LOOKUP;
    ci->doneMsg = doneMsg;
    memset(&ci->serverAddr, 0, sizeof ci->serverAddr);
    ci->serverAddr.sin_family = AF_INET;
    ci->serverAddr.sin_port = htons(ci->port);

    int err = 0;
    unsigned long addr = inet_addr(host);
    if (addr != INADDR_NONE) {
        ci->asyncState = TESSEL_ASYNC_GREETING;
        ci->serverAddr.sin_addr.s_addr = addr;
        int r = StartConnect(ci);
        if (r < 0) {
            SendMessageA(ci->asyncWnd, TESSEL_MSG_SOCKET, (WPARAM)s, WSAMAKESELECTREPLY(FD_CONNECT, 0));
            result = 1;
        } else if (r == 0) {
            result = 1;
        } else {
            LogText(ci, "! Connect failure\r\n");
            err = r;
        }
    } else {
        Lookup *lk = (Lookup *)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(Lookup));
        if (lk) {
            lk->ci = ci;
            // Held across the request so that a result arriving on the window's
            // thread at once still finds its buffer listed.
            EnterCriticalSection(&g_lookups.cs);
            lk->handle = WSAAsyncGetHostByName(ci->asyncWnd, TESSEL_MSG_LOOKUP, ci->host, lk->buf,
                                               (int)sizeof lk->buf);
            if (lk->handle) {
                lk->next = g_lookups.head;
                g_lookups.head = lk;
            }
            LeaveCriticalSection(&g_lookups.cs);
        }
        if (lk && lk->handle) {
            ci->byteCount = (int32_t)(intptr_t)lk->handle;
            Logf(ci, "Resolving %s...", ci->host);
            result = 1;
        } else {
            err = WSAGetLastError();
            if (lk)
                HeapFree(GetProcessHeap(), 0, lk);
            LogText(ci, "! Queue request failure\r\n");
        }
    }
    if (!result) {
        ci->lastError = err;
        SetErrorf(ci, "connect failed %u", (unsigned)err);
        ci->ctrlSocket = CloseUnconnected(ci, s);
        ci->asyncState = TESSEL_ASYNC_IDLE;
    } else {
        op.KeepBusy();
    }
    return result;
}

TESSEL_EXTERN_C int TESSEL_API TESSEL_SendCommandAsync(CINFO *ci, const char *cmd, UINT doneMsg)
{
    if (!ci || ci->magic != CINFO_MAGIC || ci->busy || !ci->asyncWnd || !IsWindow(ci->asyncWnd) || !cmd)
        return 0;
    if (ci->ctrlSocket == INVALID_SOCKET) {
        SetErrorText(ci, "! Invalid socket");
        return 0;
    }
    const size_t len = strlen(cmd);
    const size_t total = len + (strchr(cmd, '\r') ? 0 : 2);
    const int32_t cap = ci->cmdBufSize > 0 && ci->cmdBufSize <= CINFO_BUFSIZE ? ci->cmdBufSize : CINFO_BUFSIZE;
    if (ci->cmdPending < 0)
        ci->cmdPending = 0;
    if (total > (size_t)(cap - ci->cmdPending)) {
        SetErrorText(ci, "! command buffer full");
        return 0;
    }
    // The count reported at the end covers the commands of this send.
    if (ci->cmdPending == 0 || ci->asyncState != TESSEL_ASYNC_COMMAND)
        ci->byteCount = 0;
    memcpy(ci->cmdBuf + ci->cmdPending, cmd, len);
    if (total > len)
        memcpy(ci->cmdBuf + ci->cmdPending + len, "\r\n", 2);
    ci->cmdPending += (int32_t)total;
    char shown[256];
    CopyBounded(shown, sizeof shown, cmd);
    shown[strcspn(shown, "\r\n")] = 0;
    LogText(ci, _strnicmp(shown, "PASS", 4) ? shown : "PASS (hidden)");
    ci->replyLine[0] = 0;
    ci->asyncState = TESSEL_ASYNC_COMMAND;
    ci->doneMsg = doneMsg;
    WSAAsyncSelect(ci->ctrlSocket, ci->asyncWnd, TESSEL_MSG_SOCKET, TESSEL_TRANSFER_EVENTS);
    PostSocketEvent(ci, ci->ctrlSocket, FD_WRITE);
    return 1;
}

TESSEL_EXTERN_C int TESSEL_API TESSEL_RecvResponseAsync(CINFO *ci, UINT doneMsg)
{
    if (!ci)
        return 0;
    strcpy(ci->replyLine, "500 failed to return anything");
    if (ci->magic != CINFO_MAGIC || ci->busy || !ci->asyncWnd || !IsWindow(ci->asyncWnd))
        return 0;
    if (ci->ctrlSocket == INVALID_SOCKET) {
        SetErrorText(ci, "! Invalid socket");
        return 0;
    }
    ci->replyLine[0] = 0;
    ci->asyncState = TESSEL_ASYNC_REPLY;
    ci->doneMsg = doneMsg;
    WSAAsyncSelect(ci->ctrlSocket, ci->asyncWnd, TESSEL_MSG_SOCKET, TESSEL_TRANSFER_EVENTS);
    PostSocketEvent(ci, ci->ctrlSocket, FD_READ);
    return 1;
}

TESSEL_EXTERN_C int TESSEL_API TESSEL_StopAsync(CINFO *ci)
{
    if (!ci || ci->magic != CINFO_MAGIC)
        return 0;
    const uint32_t st = ci->asyncState;
    if (st & TESSEL_ASYNC_DATA_MASK)
        return 0; // a transfer runs on its data socket; TESSEL_CancelAction ends it
    if (ci->ctrlSocket != INVALID_SOCKET && ci->asyncWnd)
        WSAAsyncSelect(ci->ctrlSocket, ci->asyncWnd, 0, 0);
    ci->asyncState = TESSEL_ASYNC_IDLE;
    // The login marked the record busy; nothing will clear it now.
    if ((st & TESSEL_ASYNC_LOGIN_MASK) && ci->busy == CINFO_BUSY_CONNECT)
        ClearBusy(ci);
    return 0;
}

TESSEL_EXTERN_C int TESSEL_API TESSEL_CancelAction(CINFO *ci)
{
    if (!ci || ci->magic != CINFO_MAGIC)
        return 0;
    if (!ci->cancelFlag && !ci->abortFlag && ci->asyncWnd) {
        const uint32_t st = ci->asyncState;
        if (st == TESSEL_ASYNC_RECV && ci->ctrlSocket != INVALID_SOCKET &&
            SendAbortSequence(ci, 0))
            SetAsyncFlag(ci, TESSEL_AFLAG_ABOR_SENT, 1);
        ci->cancelFlag = 1;
        // The download too ends by closing its data connection: a server
        // that still sends would otherwise send the whole file first.
        if (st & TESSEL_ASYNC_DATA_MASK)
            PostSocketEvent(ci, ci->dataSocket, FD_CLOSE);
        else if (st & TESSEL_ASYNC_LOGIN_MASK)
            PostSocketEvent(ci, ci->ctrlSocket, FD_CLOSE);
    }
    ci->cancelFlag = 1;
    return 0;
}

// ---------------------------------------------------------------- transfers

namespace {

// Stamp check of the message-driven transfers, before their guard.
int AsyncTransferStamp(CINFO *ci)
{
    if (!ci)
        return 0;
    if (ci->magic != CINFO_MAGIC) {
        strcpy(ci->errorBuf, "! not initialized");
        return 0;
    }
    return 1;
}

// Start of the message-driven transfers, under their guard.
int BeginAsyncTransfer(CINFO *ci)
{
    if (!HandlerUsable(ci))
        return 0;
    if (!NewBlock(ci)) {
        SetErrorText(ci, "! Failed to allocate memory.");
        return 0;
    }
    ci->byteCount = 0;
    ci->cancelFlag = 0;
    ci->abortFlag = 0;
    ci->lastError = 0;
    SetAsyncFlag(ci, TESSEL_AFLAG_ABOR_SENT, 0);
    ClearErrorText(ci);
    return 1;
}

// A start that failed before the handler took over; the guard ends it.
int FailAsyncTransfer(CINFO *ci, HANDLE file)
{
    DropBlock(ci);
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    return 500;
}

// TYPE, data connection and the transfer command, as the blocking
// transfers do it.  The data socket, or INVALID_SOCKET (text set).
SOCKET StartDataCommand(CINFO *ci, int binary, const char *word, const char *name, DataChannel *dc,
                        const char *refusedText, const char *noDataText, SizeSources *sizes = nullptr)
{
    if (ci->ctrlSocket == INVALID_SOCKET) {
        SetErrorText(ci, "! No socket");
        return INVALID_SOCKET;
    }
    StopControlNotifications(ci);
    RunCommand(ci, binary ? "TYPE I" : "TYPE A", nullptr);
    if (sizes && binary)
        AskRemoteSize(ci, name, sizes);
    if (OpenDataConnection(ci, dc) != 0)
        return INVALID_SOCKET;
    if (RunCommand(ci, word, name) / 100 != 1) {
        CloseDataChannel(ci, dc, 0);
        if (refusedText)
            SetErrorText(ci, refusedText);
        return INVALID_SOCKET;
    }
    if (sizes)
        sizes->announcedOk = ParseAnnouncedSize(ci->replyLine, &sizes->announced);
    SOCKET sock = AcceptDataConnection(ci, dc);
    if (sock == INVALID_SOCKET && noDataText)
        SetErrorText(ci, noDataText);
    return sock;
}

// From here the handler window drives the transfer: it holds a reference
// of its own and ends the busy mark the start's guard leaves set.
void RunOnHandler(OperationGuard &op, CINFO *ci, SOCKET s, uint32_t state, HANDLE file, UINT doneMsg)
{
    op.KeepBusy();
    ci->asyncFile = file;
    ci->doneMsg = doneMsg;
    ci->asyncState = state;
    HoldForTransfer(ci);
    WSAAsyncSelect(s, ci->asyncWnd, TESSEL_MSG_SOCKET, TESSEL_TRANSFER_EVENTS);
    // Data (or the end of it) that came before the selection still gets an
    // event.
    PostSocketEvent(ci, s, state == TESSEL_ASYNC_RECV ? FD_READ : FD_WRITE);
}

struct DirJob {
    CINFO *ci;
    HWND wnd;
    UINT msg;
    char arg[1]; // the listing argument, as long as it is
};

unsigned __stdcall DirectoryThread(void *p)
{
    DirJob *job = (DirJob *)p;
    CINFO *ci = job->ci;
    DirectoryListing *list = TESSEL_GetDirectory(ci, job->arg[0] ? job->arg : nullptr);
    // The listing belongs to whoever gets the message; nobody will if the
    // window is gone.
    if (!job->wnd || !PostMessageA(job->wnd, job->msg, list ? 1 : 0, (LPARAM)list))
        TESSEL_FreeDirectory(list);
    HeapFree(GetProcessHeap(), 0, job);
    Release(ci);
    return 0;
}

} // namespace

TESSEL_EXTERN_C int TESSEL_API TESSEL_RecvFileAsync(CINFO *ci, const char *remote, const char *local, int binary,
                                                    UINT doneMsg)
{
    if (!AsyncTransferStamp(ci))
        return 500;
    OperationGuard op(ci, CINFO_BUSY_TRANSFER);
    if (!op.Held() || !BeginAsyncTransfer(ci))
        return 500;
    DataChannel dc;
    SizeSources sizes = {};
    SOCKET s = StartDataCommand(ci, binary, "RETR", remote, &dc, "! Retr failed", "! No data socket", &sizes);
    if (s == INVALID_SOCKET)
        return FailAsyncTransfer(ci, INVALID_HANDLE_VALUE);
    // An existing file is not emptied here but at the first byte.
    DownloadCheck check;
    HANDLE f = CreateFileA(local ? local : "", GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    check.created = f != INVALID_HANDLE_VALUE;
    if (f == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_EXISTS)
        f = CreateFileA(local, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) {
        DWORD why = GetLastError();
        // Nothing will run on the handler window: read the replies here so
        // that the next command reads its own.
        int sent = SendAbortSequence(ci, 0);
        CloseDataChannel(ci, &dc, 1);
        ReadTransferEnd(ci, sent);
        ci->lastError = (int32_t)why;
        SetErrorf(ci, "! Failed to open %s for write.", local ? local : "");
        return FailAsyncTransfer(ci, INVALID_HANDLE_VALUE);
    }
    check.known = 0;
    check.expected = binary ? ExpectedLength(&sizes, 0, &check.known) : 0;
    check.total = check.dropped = 0;
    check.overrun = 0;
    check.cutPending = 1;
    check.path = local;
    SetCheck(ci, check);
    RunOnHandler(op, ci, s, TESSEL_ASYNC_RECV, f, doneMsg);
    return 200;
}

TESSEL_EXTERN_C int TESSEL_API TESSEL_SendFileAsync(CINFO *ci, const char *local, const char *remote, int binary,
                                                    UINT doneMsg)
{
    if (!AsyncTransferStamp(ci))
        return 500;
    OperationGuard op(ci, CINFO_BUSY_TRANSFER);
    if (!op.Held() || !BeginAsyncTransfer(ci))
        return 500;
    HANDLE f = CreateFileA(local ? local : "", GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
    if (f == INVALID_HANDLE_VALUE) {
        ci->lastError = (int32_t)GetLastError();
        SetErrorf(ci, "! Failed to open %s for read.", local ? local : "");
        return FailAsyncTransfer(ci, INVALID_HANDLE_VALUE);
    }
    DataChannel dc;
    SOCKET s = StartDataCommand(ci, binary, "STOR", remote, &dc, nullptr, nullptr);
    if (s == INVALID_SOCKET)
        return FailAsyncTransfer(ci, f);
    RunOnHandler(op, ci, s, TESSEL_ASYNC_SEND, f, doneMsg);
    return 200;
}

TESSEL_EXTERN_C int TESSEL_API TESSEL_GetDirectoryAsync(CINFO *ci, const char *listArg, UINT doneMsg)
{
    if (!RecordValid(ci))
        return 0;
    if (ci->busy) {
        strcpy(ci->errorBuf, "! busy");
        return 0;
    }
    if (!listArg)
        listArg = "";
    ci->doneMsg = doneMsg;
    CopyBounded(ci->threadArg, sizeof ci->threadArg, listArg);
    // The worker gets its own copy of what it needs: the record's fields
    // may change before it runs.
    const size_t len = strlen(listArg);
    DirJob *job = (DirJob *)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(DirJob) + len);
    if (!job) {
        SetErrorText(ci, "! Failed to allocate memory.");
        return 0;
    }
    job->ci = ci;
    job->wnd = ci->notifyWnd;
    job->msg = doneMsg;
    memcpy(job->arg, listArg, len + 1);
    AddRef(ci);
    HANDLE th = (HANDLE)_beginthreadex(nullptr, 0, DirectoryThread, job, 0, nullptr);
    if (!th) {
        HeapFree(GetProcessHeap(), 0, job);
        SetErrorText(ci, "! Failed to start thread");
        Release(ci);
        return 0;
    }
    CloseHandle(th);
    return 1;
}
