/* Exported message-driven operations, server-to-server copies and HTTP
 * retrieval through a proxy.  Ordinals are fixed in tesselcore.def.
 *
 * The message-driven operations return at once; progress and completion
 * arrive as messages to the record's notify window:
 *   doneMsg+1  sent (and waited for) for every control line read, while
 *              doneMsg is nonzero: wParam = the line's value, lParam = its
 *              length; the text is in replyLine.
 *   doneMsg    login: wParam 1 logged in / 0 failed, lParam = the last reply
 *              code (or the WinSock error of a failed lookup or connect);
 *              command sent: wParam 1, lParam = bytes sent;
 *              download, upload: wParam = closing reply code, lParam = bytes;
 *              listing: wParam 1/0, lParam = the DirectoryListing, which the
 *              receiver owns and frees with TESSEL_FreeDirectory.
 *   progressMsg  after each block of a transfer: wParam = bytes so far. */
#ifndef TESSEL_ASYNC_H
#define TESSEL_ASYNC_H

#include "tessel_api.h"
#include "cinfo.h"

/* Private messages of the hidden handler window (class TESSELD32). */
#define TESSEL_MSG_SOCKET (WM_USER + 10) /* wParam socket, lParam event | error << 16 */
#define TESSEL_MSG_LOOKUP (WM_USER + 12) /* wParam lookup handle, lParam error << 16 */

/* Socket events selected in each phase. */
#define TESSEL_CONNECT_EVENTS (FD_READ | FD_WRITE | FD_CONNECT | FD_CLOSE)  /* 51 */
#define TESSEL_TRANSFER_EVENTS (FD_READ | FD_WRITE | FD_OOB | FD_CLOSE)     /* 39 */

/* asyncState.  The low byte marks a data transfer, bits 8..11 the login. */
#define TESSEL_ASYNC_IDLE     0
#define TESSEL_ASYNC_RECV     3
#define TESSEL_ASYNC_SEND     4
#define TESSEL_ASYNC_COMMAND  5
#define TESSEL_ASYNC_REPLY    6
#define TESSEL_ASYNC_LOOKUP   256
#define TESSEL_ASYNC_GREETING 512
#define TESSEL_ASYNC_USER     768
#define TESSEL_ASYNC_PASS     1024
#define TESSEL_ASYNC_LOGGED   1536
#define TESSEL_ASYNC_DATA_MASK  0x00FFu
#define TESSEL_ASYNC_LOGIN_MASK 0x0F00u

/* asyncFlags */
#define TESSEL_AFLAG_ABOR_SENT 0x01u /* the running download was aborted with ABOR */
#define TESSEL_AFLAG_HOLDS_REF 0x02u /* a message-driven transfer holds a reference */

/* Message-driven connect and login.  1 when started (the outcome arrives as
 * doneMsg), 0 when refused or failed at once. */
TESSEL_EXTERN_C int TESSEL_API TESSEL_ConnectAsync(CINFO *ci, const char *host, int port, const char *user,
                                                   const char *password, UINT doneMsg);
/* Queues a command (CR LF added unless it holds a CR); 1 or 0. */
TESSEL_EXTERN_C int TESSEL_API TESSEL_SendCommandAsync(CINFO *ci, const char *cmd, UINT doneMsg);
/* Reads reply lines as they come, each one as doneMsg+1; 1 or 0. */
TESSEL_EXTERN_C int TESSEL_API TESSEL_RecvResponseAsync(CINFO *ci, UINT doneMsg);
/* 200 when the transfer runs on, otherwise the failure's code (500). */
TESSEL_EXTERN_C int TESSEL_API TESSEL_RecvFileAsync(CINFO *ci, const char *remote, const char *local, int binary,
                                                    UINT doneMsg);
TESSEL_EXTERN_C int TESSEL_API TESSEL_SendFileAsync(CINFO *ci, const char *local, const char *remote, int binary,
                                                    UINT doneMsg);
/* Listing on a worker thread; 1 when the thread started. */
TESSEL_EXTERN_C int TESSEL_API TESSEL_GetDirectoryAsync(CINFO *ci, const char *listArg, UINT doneMsg);
/* Ends the message-driven work on the control connection. */
TESSEL_EXTERN_C int TESSEL_API TESSEL_StopAsync(CINFO *ci);
/* Stops whatever runs on the record: message-driven, threaded or blocking. */
TESSEL_EXTERN_C int TESSEL_API TESSEL_CancelAction(CINFO *ci);

/* Server-to-server copy between two logged-in records; with one record
 * missing, an ordinary download or upload.  Reply code, 500, or 0 when no
 * data connection could be arranged. */
TESSEL_EXTERN_C int TESSEL_API TESSEL_TransferFile(CINFO *src, const char *srcName, CINFO *dst,
                                                   const char *dstName, int binary);
TESSEL_EXTERN_C int TESSEL_API TESSEL_TransferFileAsync(CINFO *src, const char *srcName, CINFO *dst,
                                                        const char *dstName, int binary, UINT doneMsg);
/* TESSEL_TransferFile on a worker thread; 1 when started.  The result goes
 * to notify (when it is a window, else to the destination's notifyWnd) as
 * doneMsg with wParam = the result code. */
TESSEL_EXTERN_C int TESSEL_API TESSEL_TransferFileThread(CINFO *src, const char *srcName, CINFO *dst,
                                                         const char *dstName, int binary, HWND notify,
                                                         UINT doneMsg);

/* HTTP proxy: 1 when its address is set, 0 when it does not resolve, 500
 * when the record is refused. */
TESSEL_EXTERN_C int TESSEL_API TESSEL_SetHTTPProxy(CINFO *ci, const char *host, int port, const char *user,
                                                   const char *password);
/* GET scheme://host[:port]/path through the proxy into localFile.  1 after a
 * request was made (whatever the status), 0 when the proxy could not be
 * reached or the file could not be created, 500 when the record is refused. */
TESSEL_EXTERN_C int TESSEL_API TESSEL_HTTPRetrieve(CINFO *ci, int http, const char *host, int port,
                                                   const char *path, const char *localFile, DWORD reserved);

#endif
