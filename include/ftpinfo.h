/* FTPINFO: the library's global settings record.  It crosses the exported
 * interface and is cached byte for byte in the shared area, so its layout
 * is fixed (checked at compile time for i686). */
#ifndef TESSEL_FTPINFO_H
#define TESSEL_FTPINFO_H

#include <stdint.h>

#define FTPINFO_SIZE 2860u

/* flags: the low 16 bits are per user, the high 16 bits per machine. */
#define FTPINFO_INI_STORE       0x00000001u /* site profiles in TESSEL.INI, not the registry */
#define FTPINFO_MACHINE_PROFILE 0x00000002u /* single profiles may live in HKEY_LOCAL_MACHINE */
#define FTPINFO_TRANSFER_LOG    0x00000008u
#define FTPINFO_DEBUG_LOG       0x00000010u
#define FTPINFO_CLIENT_FOUND    0x00000020u
#define FTPINFO_ALLOW_MOVE      0x00000040u
#define FTPINFO_MACHINE_WIDE    0x10000000u /* everything lives in HKEY_LOCAL_MACHINE */

typedef struct FTPINFO {
    uint32_t size;          /* set by the caller before a read: 2860 */
    uint32_t flags;
    char     topDir[260];   /* folder of the library */
    char     tmpDir[260];   /* always ends in "\" */
    char     dlDir[260];    /* always ends in "\" */
    char     wsDir[260];    /* folder of the desktop client, ends in "\", or empty */
    char     iniPath[260];  /* full path of TESSEL.INI */
    char     extFile[260];  /* full path of TESSEL.EXT */
    char     helpFile[260];
    char     email[512];    /* password of anonymous logins */
    char     logFile[260];  /* transfer log */
    char     debugFile[260];
} FTPINFO;

#ifdef __cplusplus
#include <stddef.h>
static_assert(offsetof(FTPINFO, topDir) == 8, "FTPINFO layout");
static_assert(offsetof(FTPINFO, iniPath) == 1048, "FTPINFO layout");
static_assert(offsetof(FTPINFO, email) == 1828, "FTPINFO layout");
static_assert(offsetof(FTPINFO, debugFile) == 2600, "FTPINFO layout");
static_assert(sizeof(FTPINFO) == FTPINFO_SIZE, "FTPINFO is 2860 bytes");
#endif

#endif
