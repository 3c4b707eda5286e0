/* CINFO: one connection record per FTP control connection.  The client
 * allocates records itself and pre-fills them, so the layout below is an
 * interface: field order and widths must not change (checked at compile
 * time for both builds).
 *
 * i686: exactly 2056 bytes, the layout callers of the 32-bit library know.
 * x86_64: the same fields in the same order; pointers, SOCKET, HWND and
 * HANDLE grow to 8 bytes and WSADATA to 408, so the record is 2144 bytes.
 * CINFO_SIZE is the size a caller of the build allocates and clears. */
#ifndef TESSEL_CINFO_H
#define TESSEL_CINFO_H

#include <winsock2.h>
#include <windows.h>
#include <stdint.h>

#define CINFO_MAGIC 0x0130B972u
#define CINFO_BUFSIZE 4096
#ifdef _WIN64
#define CINFO_SIZE 2144u
#else
#define CINFO_SIZE 2056u
#endif

/* initFlags */
#define CINFO_OWN_WINSOCK   0x04u
#define CINFO_BLOCKING_HOOK 0x10u
#define CINFO_TIMING_MSGS   0x20u

/* busy codes */
#define CINFO_BUSY_CMD      1
#define CINFO_BUSY_TRANSFER 2
#define CINFO_BUSY_CONNECT  4

/* libOwned bits: which buffers the library allocated (and so frees). */
#define CINFO_OWN_RXBUF   0x01u
#define CINFO_OWN_CMDBUF  0x02u
#define CINFO_OWN_FILEBUF 0x04u

typedef struct CINFO {
    int32_t  lastError;
    int32_t  hostType;
    uint32_t magic;
    uint32_t initFlags;
    volatile int32_t abortFlag;
    volatile int32_t cancelFlag;
    int32_t  usePassive;
    int32_t  progressOn;
    char    *errorText;
    char    *replyText;
    void    *ownerContext;
    void    *ownerData;
    char    *hostText;
    char    *dirText;
    char    *userText;
    char    *passText;
    SOCKET   ctrlSocket;
    SOCKET   dataSocket;
    struct sockaddr_in serverAddr;
    char     host[256];
    char     currentDir[256];
    char     user[80];
    char     password[80];
    char     errorBuf[256];
    char     replyLine[256];
    uint32_t hookFlags;
    HWND     notifyWnd;
    HWND     logWnd;
    WSADATA  wsaData;
    volatile int32_t busy;
    int32_t  threadMode;
    uint32_t doneMsg;
    uint32_t progressMsg;
    char     threadArg[256];
    HANDLE   asyncFile;
    int32_t  byteCount;
    HWND     asyncWnd;
    uint32_t asyncState;
    uint16_t port;
    uint32_t timeout;
    char    *cmdBuf;
    int32_t  cmdBufSize;
    int32_t  cmdPending;
    char    *rxBuf;
    int32_t  rxBufSize;
    int32_t  rxPending;
    char    *fileBuf;
    int32_t  fileBufSize;
    int32_t  filePending;
    int32_t  lineCount;
    uint32_t parseFlags;
    volatile LONG refCount;
    /* Library-private tail.  Pre-initialisers clear the whole 2056 bytes, so
     * a zero here means "nothing allocated by the library yet". */
    uint32_t libOwned;
    volatile LONG pumpDepth;   /* >0 while a blocking wait pumps messages */
    volatile LONG closeRequest;/* CloseConnect asked from inside the pump */
    DWORD    pumpThread;       /* thread whose wait is pumping messages */
    uint32_t rxDiscard;        /* dropping the rest of an over-long reply line */
    uint32_t asyncFlags;       /* message-driven machine's own marks (tessel_async.h) */
    uint32_t reserved[1];
} CINFO;

#ifdef __cplusplus
#include <stddef.h>
#if defined(_WIN32) && !defined(_WIN64)
static_assert(offsetof(CINFO, ctrlSocket) == 64, "CINFO layout");
static_assert(offsetof(CINFO, host) == 88, "CINFO layout");
static_assert(offsetof(CINFO, user) == 600, "CINFO layout");
static_assert(offsetof(CINFO, errorBuf) == 760, "CINFO layout");
static_assert(offsetof(CINFO, replyLine) == 1016, "CINFO layout");
static_assert(offsetof(CINFO, wsaData) == 1284, "CINFO layout");
static_assert(offsetof(CINFO, busy) == 1684, "CINFO layout");
static_assert(offsetof(CINFO, threadArg) == 1700, "CINFO layout");
static_assert(offsetof(CINFO, port) == 1972, "CINFO layout");
static_assert(offsetof(CINFO, timeout) == 1976, "CINFO layout");
static_assert(offsetof(CINFO, refCount) == 2024, "CINFO layout");
static_assert(sizeof(CINFO) == 2056, "CINFO must be exactly what pre-initialisers clear");
#elif defined(_WIN64)
static_assert(offsetof(CINFO, errorText) == 32, "CINFO layout (x86_64)");
static_assert(offsetof(CINFO, ctrlSocket) == 96, "CINFO layout (x86_64)");
static_assert(offsetof(CINFO, host) == 128, "CINFO layout (x86_64)");
static_assert(offsetof(CINFO, user) == 640, "CINFO layout (x86_64)");
static_assert(offsetof(CINFO, errorBuf) == 800, "CINFO layout (x86_64)");
static_assert(offsetof(CINFO, replyLine) == 1056, "CINFO layout (x86_64)");
static_assert(offsetof(CINFO, wsaData) == 1336, "CINFO layout (x86_64)");
static_assert(offsetof(CINFO, busy) == 1744, "CINFO layout (x86_64)");
static_assert(offsetof(CINFO, threadArg) == 1760, "CINFO layout (x86_64)");
static_assert(offsetof(CINFO, port) == 2044, "CINFO layout (x86_64)");
static_assert(offsetof(CINFO, timeout) == 2048, "CINFO layout (x86_64)");
static_assert(offsetof(CINFO, refCount) == 2112, "CINFO layout (x86_64)");
static_assert(sizeof(CINFO) == 2144, "CINFO must be exactly what pre-initialisers clear");
#endif
#endif

#endif
