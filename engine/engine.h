/* Internal interface of the engine: shared between engine sources, the
 * site-session code and the tests. */
#ifndef TESSEL_ENGINE_INTERNAL_H
#define TESSEL_ENGINE_INTERNAL_H

#include "tessel_engine.h"
#include "hosttypes.h"
#include "reply.h"
#include "xferrules.h"

#include <stdarg.h>

/* Command buffer: big enough for the longest legal login command (firewall
 * kind 8 joins user, firewall user and host, 255 characters each). */
#define TESSEL_CMD_MAX 1024

void AddRef(CINFO *ci);
void Release(CINFO *ci);

/* Guard: 1 when the record may be used; sets "! not initialized" otherwise. */
int RecordValid(CINFO *ci);
/* Copies a text into errorBuf (cut to fit); failure texts also go to the log. */
void SetErrorText(CINFO *ci, const char *text);
void SetErrorf(CINFO *ci, const char *fmt, ...);
void LogText(CINFO *ci, const char *text);
void Logf(CINFO *ci, const char *fmt, ...);
void ClearErrorText(CINFO *ci);

void SetDebugLog(int enabled, const char *path);
int DebugLogEnabled(void);

/* Reply time-out of a record in milliseconds. */
DWORD ReplyTimeoutMs(const CINFO *ci);

/* Waits until a socket is readable (or writable), in short slices.  Between
 * slices the record's thread pumps window messages when the record wants the
 * blocking hook, and the wait stops early on cancelFlag, abortFlag or a
 * close requested from inside the pump.
 * Returns 1 ready, 0 timed out, -1 select error, -2 cancelled. */
int WaitSocket(CINFO *ci, SOCKET s, int forWrite, DWORD timeoutMs);
/* One pass of the blocking hook: dispatches one pending message. */
BOOL PumpOneMessage(void);

int ReadReplyLine(CINFO *ci);
/* ReadReplyLine with the reply time-out counted from start (a tick count):
 * the line must be complete by then. */
int ReadReplyLineBy(CINFO *ci, DWORD start);
int RunCommand(CINFO *ci, const char *word, const char *arg);
unsigned long ResolveHost(const char *text);
SOCKET CloseSocketGently(HWND wnd, SOCKET s);
/* Connects a stream socket with a time-out, pumping like WaitSocket.
 * Returns 0 or a WinSock error code. */
int ConnectSocket(CINFO *ci, SOCKET s, const struct sockaddr_in *addr, DWORD timeoutMs);

int ConnectLogin(CINFO *ci, const char *host, int port, const char *user, const char *password,
                 const char *account, int firewallType, const char *fwHost, int fwPort,
                 const char *fwUser, const char *fwPassword);
/* Greeting check: detect from replyLine when the type is still automatic. */
void GreetingCheck(CINFO *ci);

/* Handler window procedure of class TESSELD32 (message-driven machine). */
LRESULT CALLBACK TesselHandlerWndProc(HWND, UINT, WPARAM, LPARAM);
/* Registers TESSELD32 once per process; true when registered. */
BOOL EnsureHandlerClass(void);
extern "C" HMODULE TesselModule(void);
extern "C" void TesselSetModule(HMODULE);

#endif
