/* Exported engine functions of tesselcore (connection record, control
 * channel, logging).  Ordinals are fixed in tesselcore.def. */
#ifndef TESSEL_ENGINE_H
#define TESSEL_ENGINE_H

#include "tessel_api.h"
#include "cinfo.h"

TESSEL_EXTERN_C CINFO *TESSEL_API TESSEL_InitCINFO(HWND notifyWnd, HWND logWnd, UINT progressMsg, DWORD flags);
TESSEL_EXTERN_C CINFO *TESSEL_API TESSEL_IntFixCInfo(CINFO *ci, const char *text);
TESSEL_EXTERN_C int TESSEL_API TESSEL_FreeCINFO(CINFO *ci);
TESSEL_EXTERN_C char *TESSEL_API TESSEL_ReturnLastErrorString(CINFO *ci);
TESSEL_EXTERN_C char *TESSEL_API TESSEL_ReturnLastLineString(CINFO *ci);
TESSEL_EXTERN_C int TESSEL_API TESSEL_ReturnLastErrorInt(CINFO *ci);
TESSEL_EXTERN_C char *TESSEL_API TESSEL_ReturnCurrentHostString(CINFO *ci);
TESSEL_EXTERN_C char *TESSEL_API TESSEL_ReturnCurrentUserIDString(CINFO *ci);
TESSEL_EXTERN_C int TESSEL_API TESSEL_ReturnCurrentHostTypeInt(CINFO *ci);
TESSEL_EXTERN_C const char *TESSEL_API TESSEL_ReturnCurrentHostTypeString(CINFO *ci);
TESSEL_EXTERN_C WORD TESSEL_API TESSEL_GetDllVersion(void);
TESSEL_EXTERN_C BOOL TESSEL_API TESSEL_AddTextToWindow(HWND wnd, const char *text);
TESSEL_EXTERN_C void __cdecl TESSEL_DoPrintf(HWND wnd, const char *fmt, ...);
TESSEL_EXTERN_C const char *TESSEL_API TESSEL_ReturnErrorString(int code, char *buf);

TESSEL_EXTERN_C int TESSEL_API TESSEL_SendCommand(CINFO *ci, const char *cmd);
TESSEL_EXTERN_C int TESSEL_API TESSEL_RecvResponse(CINFO *ci);
TESSEL_EXTERN_C int TESSEL_API TESSEL_DoCmd(CINFO *ci, const char *word, const char *arg);
TESSEL_EXTERN_C int TESSEL_API TESSEL_Connect(CINFO *ci, const char *host, int port, const char *user, const char *password);
TESSEL_EXTERN_C int TESSEL_API TESSEL_CloseConnect(CINFO *ci, int reserved);
TESSEL_EXTERN_C int TESSEL_API TESSEL_AutoDetectSyst(CINFO *ci);
TESSEL_EXTERN_C int TESSEL_API TESSEL_AddHostTypesToListBox(HWND wnd, int comboFlag);

#endif
