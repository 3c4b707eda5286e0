// Directory listings: the remote one by LIST over a data connection, each
// line decoded with the rules of the record's host type, and the local one
// from the file system.
#include "dataconn.h"
#include "opguard.h"
#include "pasv.h"

#include <stdlib.h>
#include <string.h>

static const char kNoDirectory[] = "directory identifier unavailable";
// Listing lines longer than this are cut; no decoder looks further.
static const size_t kListingLineMax = 4096;

static DirectoryListing *NewListing(void)
{
    return (DirectoryListing *)LocalAlloc(LPTR, sizeof(DirectoryListing));
}

static void CopyText(char *dst, size_t size, const char *src)
{
    size_t n = 0;
    while (n + 1 < size && src[n]) {
        dst[n] = src[n];
        ++n;
    }
    dst[n] = 0;
}

// Cuts the line end off.  Blanks before it stay: in a UNIX-style line they
// may end the name ("notes " is another file than "notes").  A line of
// nothing but white space counts as no line at all (returns 0).
static int TrimLineEnd(char *line, int *len)
{
    int n = *len;
    while (n > 0 && (line[n - 1] == '\r' || line[n - 1] == '\n'))
        --n;
    line[n] = 0;
    *len = n;
    for (int i = 0; i < n; ++i)
        if (line[i] != ' ' && line[i] != '\t')
            return n;
    return 0;
}

// Reads the listing off the data socket into the header.  Returns the last
// receive error (0 at a clean end or when stopped); *peerClosed tells
// whether the server ended the data connection.
static int ReadListing(CINFO *ci, SOCKET s, DirectoryListing *dir, int *peerClosed)
{
    char *storage = (char *)HeapAlloc(GetProcessHeap(), 0, TESSEL_DATA_BLOCK + kListingLineMax);
    *peerClosed = 0;
    if (!storage) {
        SetErrorText(ci, "! Failed to allocate memory.");
        return 0;
    }
    char *line = storage + TESSEL_DATA_BLOCK;
    LineBuffer lb;
    LineBufferInit(&lb, storage, TESSEL_DATA_BLOCK);
    uint64_t total = 0;
    int err = 0;
    for (;;) {
        if (ci->cancelFlag || ci->abortFlag)
            break;
        int len = ReadListingLine(ci, s, &lb, line, kListingLineMax);
        if (len < 0) {
            err = ci->lastError;
            *peerClosed = err == 0 && !ci->cancelFlag && !ci->abortFlag;
            break;
        }
        if (TrimLineEnd(line, &len) == 0)
            continue;
        ListingEntry entry;
        memset(&entry, 0, sizeof entry);
        entry.owner = dir;
        if (TESSEL_ParseLine(ci, dir, &entry, line) > 0)
            AppendEntry(dir, &entry);
        total += (uint64_t)len;
        if (ci->progressOn && ci->progressMsg && ci->notifyWnd)
            PostMessageA(ci->notifyWnd, ci->progressMsg, (WPARAM)Saturate32(total), 0);
    }
    HeapFree(GetProcessHeap(), 0, storage);
    return err;
}

TESSEL_EXTERN_C DirectoryListing *TESSEL_API TESSEL_GetDirectory(CINFO *ci, const char *listArg)
{
    // A stale record is not touched at all: it may be freed memory.
    if (!ci || ci->magic != CINFO_MAGIC)
        return nullptr;
    // A busy record is refused without a text, as it always was.
    OperationGuard op(ci, CINFO_BUSY_TRANSFER, OperationGuard::kQuiet);
    if (!op.Held())
        return nullptr;
    ci->lineCount = 0;
    ci->parseFlags = 0;
    ClearErrorText(ci);
    ci->cancelFlag = 0;
    ci->abortFlag = 0;
    DirectoryListing *dir = nullptr;
    if (ci->ctrlSocket == INVALID_SOCKET) {
        SetErrorText(ci, "! No socket");
    } else if (!(dir = NewListing())) {
        SetErrorText(ci, "! Failed to allocate memory.");
    } else {
        StopControlNotifications(ci);
        CopyText(dir->siteName, sizeof dir->siteName, ci->host);
        CopyText(dir->path, sizeof dir->path, kNoDirectory);
        if (ci->hostType != 6026) { // CDC Cyber has no PWD
            char path[TESSEL_PWD_PATH_MAX + 1];
            if (RunCommand(ci, "PWD", nullptr) / 100 == 2 && ParsePwdReply(ci->replyLine, path, sizeof path))
                CopyText(dir->path, sizeof dir->path, path);
            CopyText(ci->currentDir, sizeof ci->currentDir, dir->path);
        }
        RunCommand(ci, "TYPE A", nullptr);
        DataChannel dc;
        if (OpenDataConnection(ci, &dc) == 0) {
            int code = RunCommand(ci, "LIST", listArg);
            SOCKET s = code / 100 == 1 ? AcceptDataConnection(ci, &dc) : INVALID_SOCKET;
            if (s != INVALID_SOCKET) {
                SetErrorText(ci, "Success");
                int peerClosed = 0;
                int err = ReadListing(ci, s, dir, &peerClosed);
                if (err) {
                    ci->lastError = err;
                    SetErrorf(ci, "! Receive error %u", (unsigned)err);
                }
                if (peerClosed)
                    shutdown(s, SD_SEND);
                CloseDataChannel(ci, &dc, peerClosed);
                ReadClosingReply(ci);
            } else {
                CloseDataChannel(ci, &dc, 0);
            }
        }
    }
    return dir;
}

static void FillLocalEntry(ListingEntry *e, const WIN32_FIND_DATAA *fd, int kind)
{
    memset(e, 0, sizeof *e);
    CopyText(e->name, sizeof e->name, fd->cFileName);
    FILETIME local;
    SYSTEMTIME st;
    if (FileTimeToLocalFileTime(&fd->ftLastWriteTime, &local) && FileTimeToSystemTime(&local, &st)) {
        e->year = st.wYear;
        e->month = st.wMonth;
        e->day = st.wDay;
        e->hour = st.wHour;
        e->minute = st.wMinute;
    }
    e->size = fd->nFileSizeHigh ? 0xFFFFFFFFu : fd->nFileSizeLow;
    e->kind = kind;
}

TESSEL_EXTERN_C DirectoryListing *TESSEL_API TESSEL_GetLocalDirectory(CINFO *ci, const char *pattern)
{
    if (ci && ci->magic != CINFO_MAGIC)
        ci = nullptr; // a stale record gets no texts
    if (!pattern || !*pattern)
        pattern = "*.*";
    if (ci)
        ClearErrorText(ci);
    DirectoryListing *dir = NewListing();
    if (!dir) {
        if (ci)
            SetErrorText(ci, "! Failed to allocate memory.");
        return nullptr;
    }
    CopyText(dir->siteName, sizeof dir->siteName, "LOCALHOST");
    char cwd[MAX_PATH * 4];
    DWORD n = GetCurrentDirectoryA(sizeof cwd, cwd);
    if (n > 0 && n < sizeof cwd)
        CopyText(dir->path, sizeof dir->path, cwd);

    ListingEntry e;
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA("*.*", &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                FillLocalEntry(&e, &fd, LISTING_DIR);
                AppendEntry(dir, &e);
                dir->dirCount++;
            }
        } while (FindNextFileA(h, &fd));
        FindClose(h);
    }
    h = FindFirstFileA(pattern, &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
                FillLocalEntry(&e, &fd, LISTING_FILE);
                AppendEntry(dir, &e);
                dir->fileCount++;
            }
        } while (FindNextFileA(h, &fd));
        FindClose(h);
    }
    return dir;
}
