// File transfers: download (also resumed), upload, a download shown in an
// edit control, their worker-thread forms and the one-call get and put.
//
// How a transfer ends decides what its caller does next (a copy that
// reports success may have its source deleted), so the result follows one
// rule everywhere:
//   - a local failure (file read or write, data send) gives 500, after the
//     server's closing reply has been read so that the session stays in
//     step;
//   - a cancelled transfer, or one whose data connection failed, gives the
//     closing code unless that is class 2 (after ABOR servers answer 426
//     and then 226), then 426;
//   - otherwise the closing code; "Successful copy" only with a class-2
//     closing reply on a transfer that nothing stopped.
#include "dataconn.h"
#include "opguard.h"
#include "util.h"

#include <process.h>
#include <stdio.h>
#include <string.h>

namespace {

// Guard and start shared by the exported blocking transfers: 500 for a
// stale or busy record, else what the body gives.
template <class Body> int GuardedTransfer(CINFO *ci, Body body)
{
    if (!ci)
        return 500;
    if (ci->magic != CINFO_MAGIC) {
        strcpy(ci->errorBuf, "! not initialized");
        return 500;
    }
    OperationGuard op(ci, CINFO_BUSY_TRANSFER);
    if (!op.Held())
        return 500;
    ci->byteCount = 0;
    ci->cancelFlag = 0;
    ci->abortFlag = 0;
    ClearErrorText(ci);
    return body();
}

void SetByteCount(CINFO *ci, uint64_t total) { ci->byteCount = (int32_t)Saturate32(total); }

// A blocking transfer reports only when asked to, and not when the record
// wants timing messages instead.
void PostProgress(CINFO *ci, uint64_t total)
{
    if (ci->progressOn && !(ci->initFlags & CINFO_TIMING_MSGS))
        PostProgressCount(ci, total);
}

void PostTiming(CINFO *ci, int atEnd, uint64_t total)
{
    if ((ci->initFlags & CINFO_TIMING_MSGS) && ci->progressMsg && ci->notifyWnd)
        PostMessageA(ci->notifyWnd, ci->progressMsg + 1, (WPARAM)GetTickCount(),
                     atEnd ? (LPARAM)Saturate32(total) : 0);
}

// The result rule of the comment at the top.  localFailure: a file or send
// error (abortFlag); dataFailure: the data connection broke.
int TransferResult(CINFO *ci, int closing, int dataFailure)
{
    if (ci->abortFlag)
        return 500;
    if (ci->cancelFlag || dataFailure)
        return closing / 100 == 2 ? 426 : closing;
    if (closing / 100 == 2)
        SetErrorText(ci, "Successful copy");
    return closing;
}

// Reads up to the end of the data connection into a file (or nowhere).
struct Download {
    HANDLE file;        // INVALID_HANDLE_VALUE: received bytes are dropped
    HWND edit;          // display form: bytes go to this edit control
    uint64_t total;     // bytes so far, the restart offset included
    int recvError;      // WinSock error of the failed receive, or 0
    int peerClosed;     // the server ended the data connection
    // The file is cut at the restart point only when the first byte
    // arrives: a download that fails before any data leaves an existing
    // file as it was.
    int cutPending;
    uint64_t cutAt;
    // With the length known, nothing past it is written: more data than
    // the server meant is a failure, not part of the file.
    int limited;
    uint64_t limit;
    int overrun;
    uint64_t dropped; // bytes past the limit in the block that overran
};

// Cuts the file at the restart point and leaves the file pointer there.
int CutFile(HANDLE file, uint64_t at)
{
    LARGE_INTEGER pos;
    pos.QuadPart = (LONGLONG)at;
    return SetFilePointerEx(file, pos, nullptr, FILE_BEGIN) && SetEndOfFile(file);
}

void ShowText(HWND edit, char *buf, int n)
{
    if (!edit || !IsWindow(edit))
        return;
    buf[n] = 0;
    LRESULT end = SendMessageA(edit, WM_GETTEXTLENGTH, 0, 0);
    SendMessageA(edit, EM_SETSEL, (WPARAM)end, (LPARAM)end);
    SendMessageA(edit, EM_REPLACESEL, FALSE, (LPARAM)buf);
}

void ReceiveData(CINFO *ci, SOCKET s, Download *d, char *buf)
{
    // One byte more than a block is allocated for the display form's
    // terminator.
    while (!ci->cancelFlag && !ci->abortFlag) {
        int err;
        int n = RecvSome(ci, s, buf, TESSEL_DATA_BLOCK, &err);
        if (n == 0) {
            d->peerClosed = 1;
            break;
        }
        if (n < 0) {
            if (n == -1)
                d->recvError = err;
            break;
        }
        if (d->limited && d->total + (uint64_t)n > d->limit) {
            d->overrun = 1;
            d->dropped = d->total + (uint64_t)n - d->limit;
            n = (int)(d->limit - d->total);
        }
        if (d->file != INVALID_HANDLE_VALUE) {
            if (d->cutPending && n) {
                if (!CutFile(d->file, d->cutAt)) {
                    ci->lastError = (int32_t)GetLastError();
                    ci->abortFlag = 1;
                    SetErrorText(ci, "! File write error");
                    break;
                }
                d->cutPending = 0;
            }
            DWORD written = 0;
            if (n && (!WriteFile(d->file, buf, (DWORD)n, &written, nullptr) || written != (DWORD)n)) {
                ci->lastError = (int32_t)GetLastError();
                ci->abortFlag = 1;
                SetErrorText(ci, "! File write error");
                break;
            }
        } else {
            ShowText(d->edit, buf, n);
        }
        d->total += (uint64_t)n;
        SetByteCount(ci, d->total);
        PostProgress(ci, d->total);
        if (d->overrun)
            break;
    }
}

// Stops a download that the server may still be sending.  The abort
// sequence goes first, for servers that watch their control connection
// during a transfer; then the data connection is closed at once, because
// many servers look at the control connection only after a data write has
// failed (reading the rest instead could mean reading the whole file).
// Then both replies: the transfer's (426, or 226 when it had just ended)
// and the abort's.  Returns the last code.
int AbortDownload(CINFO *ci, DataChannel *dc)
{
    const int sent = SendAbortSequence(ci, 1);
    CloseDataChannel(ci, dc, 1);
    return ReadAbortReplies(ci, sent).last;
}

// Ends a download's data connection and reads the closing reply; returns
// its code.
int FinishDownload(CINFO *ci, DataChannel *dc, Download *d, int abortOnCancel)
{
    PostTiming(ci, 1, d->total);
    if (d->recvError) {
        ci->lastError = d->recvError;
        SetErrorf(ci, "! Receive error %u", (unsigned)d->recvError);
    }
    int closing;
    if ((ci->cancelFlag && abortOnCancel) || d->overrun) {
        closing = AbortDownload(ci, dc);
    } else {
        if (d->peerClosed)
            shutdown(dc->sock, SD_SEND);
        CloseDataChannel(ci, dc, d->peerClosed);
        closing = ReadClosingReply(ci);
    }
    return closing;
}

char *AllocBlock(void)
{
    return (char *)HeapAlloc(GetProcessHeap(), 0, TESSEL_DATA_BLOCK + 1);
}

void FreeBlock(char *b)
{
    if (b)
        HeapFree(GetProcessHeap(), 0, b);
}

// Size of a local file, or 0 when it cannot be read.
uint64_t LocalFileSize(const char *path)
{
    HANDLE h = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return 0;
    DWORD high = 0;
    DWORD low = GetFileSize(h, &high);
    uint64_t size = (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR)
                        ? 0
                        : ((uint64_t)high << 32 | low);
    CloseHandle(h);
    return size;
}

// Opens the download's local file without emptying it: an existing file
// is cut only once data arrives (Download::cutPending), so a download that
// fails before its first byte leaves the old copy as it was.  *created
// tells whether the file is new (and may go again if nothing comes).
HANDLE OpenDownloadFile(const char *path, int *created)
{
    // A new file is made as new, not as an emptied one: Linux file systems
    // under Wine flush a file that was cut to nothing when it is closed,
    // which costs as much as a third of a large download.
    HANDLE h = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    *created = h != INVALID_HANDLE_VALUE;
    if (h == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_EXISTS)
        h = CreateFileA(path, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    return h;
}

int RecvFileBody(CINFO *ci, const char *remote, const char *local, int binary, int resume)
{
    ClearErrorText(ci);
    if (ci->ctrlSocket == INVALID_SOCKET) {
        SetErrorText(ci, "! No socket");
        return 500;
    }
    StopControlNotifications(ci);
    RunCommand(ci, binary ? "TYPE I" : "TYPE A", nullptr);
    SizeSources src = {};
    if (binary)
        AskRemoteSize(ci, remote, &src);
    // Size, REST value and file position are one 64-bit number.  ASCII
    // sizes differ between the two ends, so ASCII always starts over; so
    // does a file whose remote size is unknown or not above the local part.
    uint64_t offset = 0;
    if (resume && binary) {
        uint64_t size = LocalFileSize(local);
        offset = ResumeOffset(size, src.sizeOk, src.size);
        if (size > 1024 && !offset)
            Logf(ci, src.sizeOk ? "Remote file is %llu bytes, not more than the local part of %llu: starting over"
                                : "Remote size unknown: starting over",
                 (unsigned long long)src.size, (unsigned long long)(size & ~(uint64_t)1023));
    }
    DataChannel dc;
    if (OpenDataConnection(ci, &dc) != 0)
        return 500;
    if (offset) {
        // Right before the transfer command, as RFC 959 wants it.
        char arg[24];
        snprintf(arg, sizeof arg, "%llu", (unsigned long long)offset);
        if (RunCommand(ci, "REST", arg) / 100 != 3)
            offset = 0;
    }
    int code = RunCommand(ci, "RETR", remote);
    if (code / 100 != 1) {
        CloseDataChannel(ci, &dc, 0);
        SetErrorText(ci, "! Retr failed");
        return 500;
    }
    src.announcedOk = ParseAnnouncedSize(ci->replyLine, &src.announced);
    SOCKET s = AcceptDataConnection(ci, &dc);
    if (s == INVALID_SOCKET) {
        SetErrorText(ci, "! No data socket");
        return 500;
    }
    Download d = {};
    d.file = INVALID_HANDLE_VALUE;
    d.total = offset;
    d.cutPending = 1;
    d.cutAt = offset;
    int lengthKnown = 0;
    uint64_t expected = binary ? ExpectedLength(&src, offset, &lengthKnown) : 0;
    if (lengthKnown) {
        d.limited = 1;
        d.limit = expected;
    }
    int created = 0;
    char *buf = AllocBlock();
    if (buf)
        d.file = OpenDownloadFile(local, &created);
    if (d.file == INVALID_HANDLE_VALUE) {
        DWORD why = GetLastError();
        AbortDownload(ci, &dc);
        ci->lastError = (int32_t)why;
        SetErrorf(ci, buf ? "! Failed to open %s for write." : "! Failed to allocate memory.", local);
        FreeBlock(buf);
        return 500;
    }
    ClearErrorText(ci);
    SetByteCount(ci, d.total);
    PostTiming(ci, 0, 0);
    ReceiveData(ci, s, &d, buf);
    const int closing = FinishDownload(ci, &dc, &d, 1);
    TransferFacts facts = {};
    facts.dataConnection = 1;
    facts.dataOk = !d.recvError && !ci->cancelFlag;
    facts.closingCode = closing;
    facts.binary = binary;
    facts.lengthKnown = lengthKnown;
    facts.expected = expected;
    facts.actual = d.total + d.dropped;
    // An empty file (or nothing left after the restart point) is cut now
    // that the server has confirmed it.
    facts.localFileOk = !ci->abortFlag;
    if (d.cutPending && !ci->abortFlag && !d.overrun && TransferVerdict(&facts) == XV_OK &&
        !CutFile(d.file, d.cutAt)) {
        ci->abortFlag = 1;
        SetErrorText(ci, "! File write error");
    }
    if (!CloseHandle(d.file) && !ci->abortFlag) {
        ci->abortFlag = 1;
        SetErrorText(ci, "! File write error");
    }
    facts.localFileOk = !ci->abortFlag;
    FreeBlock(buf);
    if (d.cutPending && created && (!facts.localFileOk || !facts.dataOk || d.overrun || closing / 100 != 2))
        DeleteFileA(local); // nothing came: no empty file left behind
    const int verdict = TransferVerdict(&facts);
    if (d.overrun && offset) {
        // The server sent the file from its start although it accepted
        // REST: what was written past the restart point is not the rest
        // of the file.  Back to the part that was good.
        HANDLE h = CreateFileA(local, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            CutFile(h, offset);
            CloseHandle(h);
        }
        LogText(ci, "! The server ignored REST and sent the file from its start; the local part is kept");
    }
    if (verdict == XV_SHORT || verdict == XV_LONG) {
        char text[200];
        VerdictText(verdict, &facts, text, sizeof text);
        int r = TransferResult(ci, closing, 1);
        SetErrorText(ci, text);
        return r;
    }
    return TransferResult(ci, closing, d.recvError != 0 || d.overrun);
}

int SendFileBody(CINFO *ci, const char *local, const char *remote, int binary)
{
    ClearErrorText(ci);
    HANDLE file = CreateFileA(local, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        ci->lastError = (int32_t)GetLastError();
        SetErrorf(ci, "! Failed to open %s for read.", local);
        return 500;
    }
    char *buf = AllocBlock();
    if (!buf) {
        CloseHandle(file);
        SetErrorText(ci, "! Failed to allocate memory.");
        return 500;
    }
    int result = 500;
    DataChannel dc;
    if (ci->ctrlSocket == INVALID_SOCKET) {
        SetErrorText(ci, "! No socket");
    } else {
        StopControlNotifications(ci);
        RunCommand(ci, binary ? "TYPE I" : "TYPE A", nullptr);
        if (OpenDataConnection(ci, &dc) == 0) {
            int code = RunCommand(ci, "STOR", remote);
            SOCKET s = INVALID_SOCKET;
            if (code / 100 != 1)
                CloseDataChannel(ci, &dc, 0);
            else
                s = AcceptDataConnection(ci, &dc);
            if (s != INVALID_SOCKET) {
                uint64_t total = 0;
                PostTiming(ci, 0, 0);
                while (!ci->cancelFlag && !ci->abortFlag) {
                    DWORD got = 0;
                    if (!ReadFile(file, buf, TESSEL_DATA_BLOCK, &got, nullptr)) {
                        ci->lastError = (int32_t)GetLastError();
                        ci->abortFlag = 1;
                        SetErrorf(ci, "! File read error %u", (unsigned)ci->lastError);
                        break;
                    }
                    if (got == 0)
                        break;
                    int err;
                    int r = SendAll(ci, s, buf, (int)got, &err);
                    if (r == -2)
                        break;
                    if (r != 0) {
                        ci->lastError = err;
                        ci->abortFlag = 1;
                        SetErrorf(ci, "! File send error %u", (unsigned)err);
                        break;
                    }
                    total += got;
                    SetByteCount(ci, total);
                    PostProgress(ci, total);
                }
                PostTiming(ci, 1, total);
                // Our end of the data is the end of the file: the server
                // answers once it has seen it and closed its side.
                shutdown(s, SD_SEND);
                int peerClosed = ci->abortFlag ? 0 : WaitPeerClose(ci, s, buf, TESSEL_DATA_BLOCK);
                CloseDataChannel(ci, &dc, peerClosed);
                int closing = ReadClosingReply(ci);
                result = TransferResult(ci, closing, 0);
            }
        }
    }
    CloseHandle(file);
    FreeBlock(buf);
    return result;
}

int RecvDspBody(CINFO *ci, HWND edit, const char *word, const char *arg)
{
    ClearErrorText(ci);
    if (ci->ctrlSocket == INVALID_SOCKET) {
        SetErrorText(ci, "! No socket");
        return 500;
    }
    StopControlNotifications(ci);
    RunCommand(ci, "TYPE A", nullptr);
    DataChannel dc;
    if (OpenDataConnection(ci, &dc) != 0)
        return 500;
    int code = RunCommand(ci, word, arg);
    if (code / 100 != 1) {
        CloseDataChannel(ci, &dc, 0);
        return 500;
    }
    SOCKET s = AcceptDataConnection(ci, &dc);
    if (s == INVALID_SOCKET)
        return 500;
    char *buf = AllocBlock();
    if (!buf) {
        CloseDataChannel(ci, &dc, 0);
        ReadClosingReply(ci);
        SetErrorText(ci, "! Failed to allocate memory.");
        return 500;
    }
    Download d = {};
    d.file = INVALID_HANDLE_VALUE;
    d.edit = edit;
    PostTiming(ci, 0, 0);
    ReceiveData(ci, s, &d, buf);
    int result = TransferResult(ci, FinishDownload(ci, &dc, &d, 0), d.recvError != 0);
    FreeBlock(buf);
    return result;
}

} // namespace

void AskRemoteSize(CINFO *ci, const char *remote, SizeSources *src)
{
    if (RunCommand(ci, "SIZE", remote) == 213 && ParseSizeReply(ci->replyLine, &src->size))
        src->sizeOk = 1;
}

int RecvFileResume(CINFO *ci, const char *remote, const char *local, int binary)
{
    return GuardedTransfer(ci, [&] { return RecvFileBody(ci, remote, local, binary, 1); });
}

TESSEL_EXTERN_C int TESSEL_API TESSEL_RecvFile(CINFO *ci, const char *remote, const char *local, int binary)
{
    return GuardedTransfer(ci, [&] { return RecvFileBody(ci, remote, local, binary, 0); });
}

TESSEL_EXTERN_C int TESSEL_API TESSEL_SendFile(CINFO *ci, const char *local, const char *remote, int binary)
{
    return GuardedTransfer(ci, [&] { return SendFileBody(ci, local, remote, binary); });
}

TESSEL_EXTERN_C int TESSEL_API TESSEL_RecvDsp(CINFO *ci, HWND edit, const char *word, const char *arg)
{
    return GuardedTransfer(ci, [&] { return RecvDspBody(ci, edit, word, arg); });
}

// Worker-thread forms.  The names travel in the record as they always have
// (threadArg and errorBuf), but the worker takes its own copies from this
// job: errorBuf is rewritten by any call the caller makes meanwhile (even a
// refused one writes "! busy"), and the worker must not pick that up as a
// file name.
namespace {

struct ThreadJob {
    CINFO *ci;
    int upload;
    int binary;
    char remote[256];
    char local[256];
};

unsigned __stdcall TransferThread(void *p)
{
    ThreadJob *job = (ThreadJob *)p;
    CINFO *ci = job->ci;
    strcpy(ci->errorBuf, "Thread starting");
    int code = job->upload ? SendFileBody(ci, job->local, job->remote, job->binary)
                           : RecvFileBody(ci, job->remote, job->local, job->binary, 0);
    HWND wnd = ci->notifyWnd;
    UINT msg = ci->doneMsg;
    LPARAM bytes = (LPARAM)(uint32_t)ci->byteCount;
    HeapFree(GetProcessHeap(), 0, job);
    // Idle before the message goes out, so that its receiver can start the
    // next transfer at once.
    ClearBusy(ci);
    if (wnd)
        PostMessageA(wnd, msg, (WPARAM)code, bytes);
    Release(ci);
    return 0;
}

int StartTransferThread(CINFO *ci, int upload, const char *remote, const char *local, int binary, UINT doneMsg)
{
    if (!RecordValid(ci))
        return 0;
    // Busy from here on, so that a FreeCINFO or a second start right after
    // this call already sees it; the worker ends the operation.
    OperationGuard op(ci, CINFO_BUSY_TRANSFER);
    if (!op.Held())
        return 0;
    ci->doneMsg = doneMsg;
    if (!remote || !*remote) {
        SetErrorText(ci, "! No remote filename");
        return 0;
    }
    if (!local || !*local) {
        SetErrorText(ci, "! No local filename");
        return 0;
    }
    // The record's fields hold 255 characters; a cut name would be another
    // file, so longer names are refused rather than cut.
    if (strlen(remote) >= sizeof ci->threadArg) {
        SetErrorText(ci, "! Remote filename too long");
        return 0;
    }
    if (strlen(local) >= sizeof ci->errorBuf) {
        SetErrorText(ci, "! Local filename too long");
        return 0;
    }
    ThreadJob *job = (ThreadJob *)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(ThreadJob));
    if (!job) {
        SetErrorText(ci, "! Failed to allocate memory.");
        return 0;
    }
    job->ci = ci;
    job->upload = upload;
    job->binary = binary;
    strcpy(job->remote, remote);
    strcpy(job->local, local);
    ci->byteCount = 0;
    ci->cancelFlag = 0;
    ci->abortFlag = 0;
    strcpy(ci->threadArg, remote);
    strcpy(ci->errorBuf, local);
    ci->threadMode = binary;
    HANDLE th = (HANDLE)_beginthreadex(nullptr, 0, TransferThread, job, 0, nullptr);
    if (!th) {
        HeapFree(GetProcessHeap(), 0, job);
        SetErrorText(ci, "! Failed to start thread");
        return 0;
    }
    op.HandOver();
    CloseHandle(th);
    return 1;
}

} // namespace

TESSEL_EXTERN_C int TESSEL_API TESSEL_RecvFileThread(CINFO *ci, const char *remote, const char *local, int binary,
                                                     UINT doneMsg)
{
    return StartTransferThread(ci, 0, remote, local, binary, doneMsg);
}

TESSEL_EXTERN_C int TESSEL_API TESSEL_SendFileThread(CINFO *ci, const char *local, const char *remote, int binary,
                                                     UINT doneMsg)
{
    return StartTransferThread(ci, 1, remote, local, binary, doneMsg);
}

// One-call transfers on their own record.
namespace {

void PutResult(char *out, CINFO *ci)
{
    if (out)
        snprintf(out, TESSEL_RESULT_TEXT_SIZE, "%s - %s", ci->errorBuf, ci->replyLine);
}

int OneCall(const char *host, const char *user, const char *password, const char *remote, const char *local,
            int binary, int startWinsock, char *resultText, HWND logWnd, int upload)
{
    CINFO *ci = TESSEL_InitCINFO(nullptr, logWnd, 0, startWinsock ? CINFO_OWN_WINSOCK : 0);
    if (!ci) {
        if (resultText)
            snprintf(resultText, TESSEL_RESULT_TEXT_SIZE, "%s", "failed to initialize");
        return 0;
    }
    int ok = 0;
    int rc = TESSEL_Connect(ci, host, 21, user, password);
    if (rc / 100 != 2) {
        PutResult(resultText, ci);
    } else {
        int code = upload ? TESSEL_SendFile(ci, local, remote, binary) : TESSEL_RecvFile(ci, remote, local, binary);
        PutResult(resultText, ci);
        ok = code / 100 == 2;
    }
    TESSEL_CloseConnect(ci, 0);
    TESSEL_FreeCINFO(ci);
    return ok;
}

} // namespace

TESSEL_EXTERN_C int TESSEL_API TESSEL_GetFile(const char *host, const char *user, const char *password,
                                              const char *remote, const char *local, int binary, int startWinsock,
                                              char *resultText, HWND logWnd)
{
    return OneCall(host, user, password, remote, local, binary, startWinsock, resultText, logWnd, 0);
}

TESSEL_EXTERN_C int TESSEL_API TESSEL_PutFile(const char *host, const char *user, const char *password,
                                              const char *local, const char *remote, int binary, int startWinsock,
                                              char *resultText, HWND logWnd)
{
    return OneCall(host, user, password, remote, local, binary, startWinsock, resultText, logWnd, 1);
}
