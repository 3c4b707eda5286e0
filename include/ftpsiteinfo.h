/* FTPSITEINFO: one site profile.  Crosses the exported interface and the
 * shell extension's item identifiers, so its layout is fixed (checked at
 * compile time for i686). */
#ifndef TESSEL_FTPSITEINFO_H
#define TESSEL_FTPSITEINFO_H

#include <winsock2.h>
#include <windows.h>
#include <stdint.h>

#define FTPSITEINFO_SIZE 3208u

/* Name of the profile that holds the defaults for new sites. */
#define FTPSITE_CONFIG_NAME "_config_"

/* flags */
#define SITE_ANONYMOUS     0x0001u
#define SITE_SAVE_PASSWORD 0x0002u
#define SITE_LAST_FAILED   0x0004u
#define SITE_PASSIVE       0x0008u
#define SITE_SAVE_FWPASS   0x0010u
#define SITE_USE_FIREWALL  0x0020u
#define SITE_DLG_COMPLETE  0x0040u
#define SITE_CONFIRM_OVERWRITE 0x0080u
#define SITE_CONFIRM_DELETE 0x0100u
#define SITE_RETAIN_TIME   0x0200u
#define SITE_AUTO_REGET    0x0400u
#define SITE_FORCE_LOWER   0x0800u
#define SITE_CONVERT_EXT   0x1000u
#define SITE_PROMPT_NAME   0x2000u
#define SITE_STATUS_DLG    0x4000u
#define SITE_HAS_RESUME    0x8000u      /* computed on every read */
#define SITE_MACHINE_HIVE  0x10000000u  /* computed on every read */

#define SITE_DEFAULT_FLAGS 0x47C9u
#define SITE_PREFERENCE_MASK 0x7FC0u

/* fwType 255 while writing: same as the defaults, not stored. */
#define SITE_FWTYPE_SAME 255

typedef struct FTPSITEINFO {
    uint32_t size;          /* set by the caller: 3208 */
    uint32_t flags;
    char     name[256];
    char     host[256];
    char     comment[256];
    char     user[256];
    char     account[256];
    char     password[256]; /* in clear here; scrambled only in storage */
    char     remoteDir[260];
    char     localMask[32];
    char     remoteMask[32];
    char     initCmd[256];
    char     fwHost[256];
    char     fwUser[256];
    char     fwPassword[256];
    char     iconFile[260];
    int32_t  iconIndex;
    int32_t  hostType;      /* 6000 = detect automatically */
    int32_t  fwType;        /* 0 none, 1..8 */
    int32_t  timeOffset;    /* hours */
    int32_t  retries;
    int32_t  timeout;       /* seconds */
    int32_t  port;
    int32_t  fwPort;
    int32_t  conGood;
    int32_t  conFail;
    SYSTEMTIME prevCon;     /* all zero = never connected */
} FTPSITEINFO;

#ifdef __cplusplus
#include <stddef.h>
static_assert(offsetof(FTPSITEINFO, name) == 8, "FTPSITEINFO layout");
static_assert(offsetof(FTPSITEINFO, remoteDir) == 1544, "FTPSITEINFO layout");
static_assert(offsetof(FTPSITEINFO, initCmd) == 1868, "FTPSITEINFO layout");
static_assert(offsetof(FTPSITEINFO, iconFile) == 2892, "FTPSITEINFO layout");
static_assert(offsetof(FTPSITEINFO, iconIndex) == 3152, "FTPSITEINFO layout");
static_assert(offsetof(FTPSITEINFO, prevCon) == 3192, "FTPSITEINFO layout");
static_assert(sizeof(FTPSITEINFO) == FTPSITEINFO_SIZE, "FTPSITEINFO is 3208 bytes");
#endif

#endif
