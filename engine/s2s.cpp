// Copies between two FTP servers: one is put into passive mode, the other
// is told by PORT to connect to it, and RETR and STOR make them move the
// data between themselves; only the two control connections pass through
// here.  With one record missing, the copy is an ordinary download or
// upload.
#include "async_internal.h"
#include "dataconn.h"
#include "opguard.h"
#include "pasv.h"

#include <initializer_list>
#include <optional>
#include <process.h>
#include <stdio.h>
#include <string.h>

namespace {

void FormatPort(char *out, size_t size, uint32_t addr, uint16_t port)
{
    snprintf(out, size, "%u,%u,%u,%u,%u,%u", (unsigned)(addr >> 24), (unsigned)((addr >> 16) & 0xFF),
             (unsigned)((addr >> 8) & 0xFF), (unsigned)(addr & 0xFF), (unsigned)(port >> 8),
             (unsigned)(port & 0xFF));
}

// Reads the PASV reply in p's replyLine into the PORT argument; on failure
// the text goes into p's errorBuf.  1, or 0.
int PasvToPortArgument(CINFO *p, char *arg, size_t size)
{
    uint32_t addr = 0;
    uint16_t port = 0;
    int r = ParsePasvReply(p->replyLine, &addr, &port);
    if (r == PASV_OK) {
        FormatPort(arg, size, addr, port);
        return 1;
    }
    SetErrorf(p, r == PASV_NO_START ? "! Unable to parse %s" : "! Bad address in %s", p->replyLine);
    return 0;
}

int Class(int code) { return code / 100; }

// Stops a transfer that the server has accepted: the abort sequence, then
// both of its replies, so that the next command reads its own.
void AbortTransfer(CINFO *ci)
{
    const int sent = SendAbortSequence(ci, 1);
    ReadTransferEnd(ci, sent);
}

// A server-to-server copy sends nothing over the control connections while
// the servers work, however long the file: a closing reply is waited for in
// rounds of the reply time-out until it comes, the connection ends or the
// copy is cancelled.
int ReadCopyClosing(CINFO *ci, CINFO *other)
{
    for (;;) {
        int code = ReadClosingReply(ci);
        const bool quietTooLong = code == 421 && ci->lastError == WSAEINTR &&
                                  !strcmp(ci->replyLine, "421 connection closed");
        if (!quietTooLong || ci->ctrlSocket == INVALID_SOCKET || ci->cancelFlag || other->cancelFlag)
            return code;
        ci->replyLine[0] = 0;
    }
}

// Start of a copy, under its pair guard.
void BeginCopy(CINFO *src, CINFO *dst)
{
    for (CINFO *ci : {src, dst}) {
        ci->byteCount = 0;
        ci->cancelFlag = 0;
        ci->abortFlag = 0;
        ClearErrorText(ci);
    }
}

int ControlsOpen(CINFO *src, CINFO *dst)
{
    if (src->ctrlSocket == INVALID_SOCKET || dst->ctrlSocket == INVALID_SOCKET) {
        SetErrorText(dst, "! No socket");
        return 0;
    }
    StopControlNotifications(src);
    StopControlNotifications(dst);
    return 1;
}

void SendTypes(CINFO *src, CINFO *dst, int binary)
{
    const char *type = binary ? "TYPE I" : "TYPE A";
    RunCommand(dst, type, nullptr);
    RunCommand(src, type, nullptr);
}

int CombineClosing(CINFO *src, CINFO *dst)
{
    int dstCode = ReadCopyClosing(dst, src);
    int srcCode = ReadCopyClosing(src, dst);
    return Class(dstCode) != 2 ? dstCode : srcCode;
}

// The copy itself, with both records checked and marked busy.
int CopyBody(CINFO *src, const char *srcName, CINFO *dst, const char *dstName, int binary)
{
    if (!ControlsOpen(src, dst))
        return 500;
    SendTypes(src, dst, binary);
    if (PassiveToActive(dst, src)) {
        // The destination listens; the source connects as soon as it has
        // the RETR.
        if (Class(RunCommand(src, "RETR", srcName)) != 1) {
            SendAbort(dst); // only listening: one reply
            SetErrorText(dst, "! Failed source RETR command");
            return 500;
        }
        if (Class(RunCommand(dst, "STOR", dstName)) != 1) {
            AbortTransfer(src);
            SetErrorText(dst, "! Failed destination STOR command");
            return 500;
        }
        return CombineClosing(src, dst);
    }
    if (PassiveToActive(src, dst)) {
        if (Class(RunCommand(dst, "STOR", dstName)) != 1) {
            SendAbort(src); // only listening: one reply
            SetErrorText(dst, "! Failed destination STOR command");
            return 500;
        }
        if (Class(RunCommand(src, "RETR", srcName)) != 1) {
            AbortTransfer(dst);
            SetErrorText(dst, "! Failed source RETR command");
            return 500;
        }
        return CombineClosing(src, dst);
    }
    return 0;
}

// Stamps of the two-record forms, before their pair guard; a stale source
// gets its own text.
int CheckPair(CINFO *src, CINFO *dst) { return RecordValid(dst) && RecordValid(src); }

struct CopyJob {
    CINFO *src;
    CINFO *dst;
    int binary;
    UINT msg;
    HWND wnd;
    char *srcName;
    char *dstName;
    char names[2];
};

unsigned __stdcall CopyThread(void *p)
{
    CopyJob *job = (CopyJob *)p;
    int result;
    if (job->src && job->dst) {
        // The start's pair guard handed both marks and references over.
        result = CopyBody(job->src, job->srcName, job->dst, job->dstName, job->binary);
        ClearBusy(job->src);
        ClearBusy(job->dst);
    } else {
        result = TESSEL_TransferFile(job->src, job->srcName, job->dst, job->dstName, job->binary);
    }
    if (job->wnd)
        PostMessageA(job->wnd, job->msg, (WPARAM)result, 0);
    if (job->src)
        Release(job->src);
    if (job->dst)
        Release(job->dst);
    HeapFree(GetProcessHeap(), 0, job);
    return 0;
}

} // namespace

int PassiveToActive(CINFO *passive, CINFO *active)
{
    if (Class(RunCommand(passive, "PASV", nullptr)) != 2)
        return 0;
    char arg[64];
    if (!PasvToPortArgument(passive, arg, sizeof arg)) {
        // The text names the PASV reply; the abort's reply comes after.
        char text[sizeof passive->errorBuf];
        memcpy(text, passive->errorBuf, sizeof text);
        SendAbort(passive);
        SetErrorText(passive, text);
        return 0;
    }
    if (Class(RunCommand(active, "PORT", arg)) == 2)
        return 1;
    SendAbort(passive);
    SetErrorText(active, "! Failed destination PORT command");
    return 0;
}

TESSEL_EXTERN_C int TESSEL_API TESSEL_TransferFile(CINFO *src, const char *srcName, CINFO *dst,
                                                   const char *dstName, int binary)
{
    if (!dst)
        return TESSEL_RecvFile(src, srcName, dstName, binary);
    if (!src)
        return TESSEL_SendFile(dst, srcName, dstName, binary);
    if (!CheckPair(src, dst))
        return 500;
    PairGuard op(src, dst, CINFO_BUSY_TRANSFER);
    if (!op.Held())
        return 500;
    BeginCopy(src, dst);
    return CopyBody(src, srcName, dst, dstName, binary);
}

TESSEL_EXTERN_C int TESSEL_API TESSEL_TransferFileAsync(CINFO *src, const char *srcName, CINFO *dst,
                                                        const char *dstName, int binary, UINT doneMsg)
{
    if (!dst)
        return TESSEL_RecvFileAsync(src, srcName, dstName, binary, doneMsg);
    if (!src)
        return TESSEL_SendFileAsync(dst, srcName, dstName, binary, doneMsg);
    if (!RecordValid(dst) || !RecordValid(src))
        return 500;
    if (!dst->asyncWnd || !IsWindow(dst->asyncWnd)) {
        SetErrorText(dst, "! no handler window");
        return 500;
    }
    PairGuard op(src, dst, CINFO_BUSY_TRANSFER);
    if (!op.Held())
        return 500;
    BeginCopy(src, dst);
    int result = 0;
    char arg[64];
    if (!ControlsOpen(src, dst)) {
        result = 500;
        goto done;
    }
    SendTypes(src, dst, binary);
    // The source is asked to listen first.
    if (Class(RunCommand(src, "PASV", nullptr)) == 2) {
        if (!PasvToPortArgument(src, arg, sizeof arg))
            goto done;
        if (Class(RunCommand(dst, "PORT", arg)) != 2) {
            RunCommand(src, "ABOR", nullptr);
            SetErrorText(dst, "! Failed destination PORT command");
            goto done;
        }
    } else if (Class(RunCommand(dst, "PASV", nullptr)) == 2) {
        if (!PasvToPortArgument(dst, arg, sizeof arg))
            goto done;
        if (Class(RunCommand(src, "PORT", arg)) != 2) {
            RunCommand(dst, "ABOR", nullptr);
            SetErrorText(dst, "! Failed source PORT command");
            goto done;
        }
    } else {
        // Neither side listens: STOR and RETR now would have both servers
        // connect to their clients' default data ports.
        SetErrorText(dst, "! No data connection between the servers");
        goto done;
    }
    if (Class(RunCommand(dst, "STOR", dstName)) != 1) {
        RunCommand(src, "ABOR", nullptr);
        SetErrorText(dst, "! Failed destination STOR command");
        result = 500;
        goto done;
    }
    if (Class(RunCommand(src, "RETR", srcName)) != 1) {
        RunCommand(dst, "ABOR", nullptr);
        SetErrorText(dst, "! Failed source RETR command");
        result = 500;
        goto done;
    }
    result = CombineClosing(src, dst);
done:
    return result;
}

TESSEL_EXTERN_C int TESSEL_API TESSEL_TransferFileThread(CINFO *src, const char *srcName, CINFO *dst,
                                                         const char *dstName, int binary, HWND notify,
                                                         UINT doneMsg)
{
    if (src && src->magic == CINFO_MAGIC && src->busy) {
        strcpy(src->errorBuf, "! busy");
        return 0;
    }
    if (dst && dst->magic == CINFO_MAGIC && dst->busy) {
        strcpy(dst->errorBuf, "! busy");
        return 0;
    }
    if ((src && !RecordValid(src)) || (dst && !RecordValid(dst)) || (!src && !dst))
        return 0;
    // A copy between two servers is busy from now on, so that a second start
    // or a blocking call right after this one sees it; a one-record worker
    // takes its record's guard itself.
    std::optional<PairGuard> pair;
    if (src && dst) {
        pair.emplace(src, dst, CINFO_BUSY_TRANSFER);
        if (!pair->Held())
            return 0;
        BeginCopy(src, dst);
    }
    // Each worker has its own copy of the arguments: a second start must
    // not change what the first one copies.
    const size_t sl = srcName ? strlen(srcName) : 0;
    const size_t dl = dstName ? strlen(dstName) : 0;
    CopyJob *job = (CopyJob *)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(CopyJob) + sl + dl);
    if (!job) {
        SetErrorText(dst ? dst : src, "! Failed to allocate memory.");
        return 0;
    }
    job->src = src;
    job->dst = dst;
    job->binary = binary;
    job->msg = doneMsg;
    job->srcName = job->names;
    job->dstName = job->names + sl + 1;
    memcpy(job->srcName, srcName ? srcName : "", sl + 1);
    memcpy(job->dstName, dstName ? dstName : "", dl + 1);
    // The completion goes to the window the caller names, else to the
    // destination's (the source's for a download to a local file).
    if (notify && IsWindow(notify))
        job->wnd = notify;
    else
        job->wnd = dst ? dst->notifyWnd : src->notifyWnd;
    if (!pair)
        AddRef(src ? src : dst);
    HANDLE th = (HANDLE)_beginthreadex(nullptr, 0, CopyThread, job, 0, nullptr);
    if (!th) {
        if (!pair)
            Release(src ? src : dst);
        HeapFree(GetProcessHeap(), 0, job);
        SetErrorText(dst ? dst : src, "! Failed to start thread");
        return 0;
    }
    if (pair)
        pair->HandOver();
    CloseHandle(th);
    return 1;
}
