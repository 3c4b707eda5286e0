/* Exported dialogs of the site sessions: the login prompt and the failure
 * dialog.  Ordinals are fixed in tesselcore.def. */
#ifndef TESSEL_DIALOGS_H
#define TESSEL_DIALOGS_H

#include "tessel_api.h"
#include "cinfo.h"
#include "ftpsiteinfo.h"

/* Login prompt flags */
#define LOGIN_RETRY        0x0001u /* show even when a password is known */
#define LOGIN_ASK_PASSWORD 0x0002u /* the server asks for a password: dialog "Password" */
#define LOGIN_ASK_ACCOUNT  0x0004u /* the server asks for an account */
#define LOGIN_FIREWALL     0x1000u /* the firewall credentials are missing */

/* Shows "Connect To" (or "Password" with LOGIN_ASK_PASSWORD) for the
 * profile and stores what the user typed.  session is a site session of the
 * library or NULL.  S_OK, or E_ABORT when cancelled. */
TESSEL_EXTERN_C HRESULT TESSEL_API TESSEL_LoginFTPSiteDlg(void *session, HWND owner, FTPSITEINFO *profile,
                                                          DWORD flags); /* 1115 */

/* Failure dialog descriptor.  An in-memory argument, not a stored record:
 * its pointers make it 28 bytes in the i686 build and 56 in the x86_64
 * build. */
#define FAILURE_NO_RETRY     0x01u /* hide Retry */
#define FAILURE_FROM_RECORD  0x02u /* detail text from the connection record */
#define FAILURE_USE_TITLE    0x08u
#define FAILURE_USE_HEADLINE 0x10u
#define FAILURE_USE_DETAIL   0x20u
#define FAILURE_USE_ICON     0x40u
#define FAILURE_CONTINUE     0x80u /* Retry reads "Continue" (any value from 0x80 up) */
/* The library's own descriptors */
#define FAILURE_CONNECT   30u  /* Retry and Cancel */
#define FAILURE_OPERATION 31u  /* Cancel only */
#define FAILURE_JOB_ITEM  158u /* Continue and Cancel */

typedef struct TESSEL_FAILUREINFO {
    DWORD       flags;
    CINFO      *ci;        /* or NULL */
    int         replyCode;
    const char *title;
    const char *headline;
    const char *detail;
    HICON       icon;
} TESSEL_FAILUREINFO;

/* S_OK for Retry or Continue, E_ABORT for Cancel, E_INVALIDARG without a
 * descriptor. */
TESSEL_EXTERN_C HRESULT TESSEL_API TESSEL_FailureDlg(HWND owner, const TESSEL_FAILUREINFO *info); /* 1114 */

/* Message that brings an open login or failure dialog to the front. */
#define WM_TESSEL_TO_FRONT 2031

#endif
