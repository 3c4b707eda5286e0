/* The cross-process shared area "tesselcoremap": one paging-file mapping
 * that every process loading the library maps.  Its layout is fixed; the
 * settings cache is the part used so far, the other fields belong to the
 * shell extension's module state (copy-hook drops, notification thread).
 *
 * The area is opened at process attach (TesselProcessAttach) or, when the
 * library is linked statically, lazily on first use. */
#ifndef TESSEL_SHAREDAREA_H
#define TESSEL_SHAREDAREA_H

#include <winsock2.h>
#include <windows.h>
#include "ftpinfo.h"

#define TESSEL_SHARED_NAME "tesselcoremap"
/* The primary CLSID as a string: the creator writes it into the area at
 * once, and a process that finds the mapping already there uses it only
 * when it holds this text (another program's mapping of the same name does
 * not, and may be smaller than the fields). */
#define TESSEL_SHARED_STAMP "{5A3C1E77-0B42-4D19-8E6A-3F20C7D41A01}"

/* flags */
#define SHARED_EMAIL_DEFAULTED 0x1u /* the e-mail address was defaulted this session */

/* One layout for both builds: on 64-bit Windows the 32-bit client and a
 * 64-bit Explorer map the same area, so no field may change width with the
 * pointer size.  The lock field keeps the room of a 32-bit CRITICAL_SECTION
 * (which cannot lock across processes anyway), and the notification
 * thread's handle is kept as its 32-bit value, which Windows guarantees to
 * be significant for handles. */
typedef struct TesselSharedArea {
    unsigned char lock[24];          /* 32-bit CRITICAL_SECTION; unused so far */
    volatile LONG attachCount;       /* processes that have the area mapped */
    volatile LONG flags;
    DWORD notifyThreadId;            /* notification thread (copy-hook drops) */
    char clsid[40];                  /* primary CLSID as a string */
    volatile LONG notifyRunning;
    uint32_t notifyThread;           /* HANDLE, valid in the creating process only */
    DWORD notifyCreatedId;
    char dropDest[260];              /* destination folder reported by the copy hook */
    FTPINFO settings;                /* cache of the global settings; filled when tmpDir[0] */
} TesselSharedArea;

#include <stddef.h>
static_assert(offsetof(TesselSharedArea, attachCount) == 24, "shared area layout");
static_assert(offsetof(TesselSharedArea, clsid) == 36, "shared area layout");
static_assert(offsetof(TesselSharedArea, dropDest) == 88, "shared area layout");
static_assert(offsetof(TesselSharedArea, settings) == 348, "shared area layout");
static_assert(sizeof(TesselSharedArea) == 348 + FTPINFO_SIZE, "shared area layout");

/* Maps the area (once per process) and counts this process in.  The
 * process that creates the mapping zeroes it, initialises it and loads the
 * settings into the cache. */
void SharedAreaOpen(void);
/* Counts this process out and unmaps the area. */
void SharedAreaRelease(void);
/* The mapped area (opened on first use), or NULL when it cannot be had. */
TesselSharedArea *SharedArea(void);
/* True when this process created the mapping. */
BOOL SharedAreaCreatedHere(void);

/* Settings cache.  Copies are made under a cross-process lock, so a reader
 * never sees half of another process's update. */
BOOL SharedSettingsGet(FTPINFO *out);         /* FALSE when not filled */
void SharedSettingsPut(const FTPINFO *info);
void SharedSettingsClear(void);

#endif
