/* Exported directory retrieval and file transfer functions of tesselcore.
 * Ordinals are fixed in tesselcore.def. */
#ifndef TESSEL_TRANSFER_H
#define TESSEL_TRANSFER_H

#include "tessel_api.h"
#include "cinfo.h"
#include "dirlisting.h"

/* Remote directory by LIST (argument may be null); the caller owns the
 * result until TESSEL_FreeDirectory.  Null when the record is missing,
 * stale or busy, or has no connection. */
TESSEL_EXTERN_C DirectoryListing *TESSEL_API TESSEL_GetDirectory(CINFO *ci, const char *listArg);
/* Local directory: every folder of the current directory, then the files
 * matching pattern ("*.*" when null or empty).  The record may be null. */
TESSEL_EXTERN_C DirectoryListing *TESSEL_API TESSEL_GetLocalDirectory(CINFO *ci, const char *pattern);

/* Blocking transfers: the closing reply's code, or 500 for a local failure. */
TESSEL_EXTERN_C int TESSEL_API TESSEL_RecvFile(CINFO *ci, const char *remote, const char *local, int binary);
TESSEL_EXTERN_C int TESSEL_API TESSEL_SendFile(CINFO *ci, const char *local, const char *remote, int binary);
/* Runs a data command (RETR name, LIST, ...) and appends what arrives to an
 * edit control. */
TESSEL_EXTERN_C int TESSEL_API TESSEL_RecvDsp(CINFO *ci, HWND edit, const char *word, const char *arg);

/* Worker-thread forms: 1 when started; the result code and byte count
 * arrive later as doneMsg (wParam = code, lParam = bytes) to notifyWnd. */
TESSEL_EXTERN_C int TESSEL_API TESSEL_RecvFileThread(CINFO *ci, const char *remote, const char *local,
                                                     int binary, UINT doneMsg);
TESSEL_EXTERN_C int TESSEL_API TESSEL_SendFileThread(CINFO *ci, const char *local, const char *remote,
                                                     int binary, UINT doneMsg);

/* One call: connect to port 21, transfer, disconnect.  1 when the transfer
 * ended with a class-2 reply.  resultText, when given, receives at most
 * TESSEL_RESULT_TEXT_SIZE bytes. */
#define TESSEL_RESULT_TEXT_SIZE 256
TESSEL_EXTERN_C int TESSEL_API TESSEL_GetFile(const char *host, const char *user, const char *password,
                                              const char *remote, const char *local, int binary,
                                              int startWinsock, char *resultText, HWND logWnd);
TESSEL_EXTERN_C int TESSEL_API TESSEL_PutFile(const char *host, const char *user, const char *password,
                                              const char *local, const char *remote, int binary,
                                              int startWinsock, char *resultText, HWND logWnd);

#endif
