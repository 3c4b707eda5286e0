/* DirEntry: one decoded line of a LIST reply, and the decoder that fills it.
 * The record crosses deliverables (the desktop client passes its own
 * buffers), so its layout must not change.  Portable: no Win32 types. */
#ifndef TESSEL_DIRENTRY_H
#define TESSEL_DIRENTRY_H

#include "tessel_api.h"

#include <stdint.h>

/* kind */
#define DIRENTRY_FILE 0
#define DIRENTRY_LINK 2
#define DIRENTRY_DIR  4

/* modeFlags */
#define DIRENTRY_MODE_VALID 0x0001u

#define DIRENTRY_NAME_SIZE 256

typedef struct DirEntry {
    char     name[DIRENTRY_NAME_SIZE]; /* empty: the line is no entry */
    uint16_t year;                     /* full year, 0 = unknown */
    uint8_t  month;                    /* 1..12, 0 = unknown */
    uint8_t  day;
    uint8_t  hour;                     /* 0..23 */
    uint8_t  minute;
    uint8_t  second;
    uint32_t size;                     /* bytes (blocks or records for a few families) */
    uint16_t mode;                     /* owner*64 + group*8 + other, rwx = 4/2/1 */
    uint16_t modeFlags;                /* DIRENTRY_MODE_VALID when mode was read */
    uint8_t  kind;                     /* DIRENTRY_FILE, _LINK or _DIR */
} DirEntry;

#ifdef __cplusplus
#include <stddef.h>
static_assert(offsetof(DirEntry, year) == 256, "DirEntry layout");
static_assert(offsetof(DirEntry, size) == 264, "DirEntry layout");
static_assert(offsetof(DirEntry, kind) == 272, "DirEntry layout");
static_assert(sizeof(DirEntry) == 276, "DirEntry layout");
#endif

/* Decodes one listing line with the rules of the host family.  currentDir
 * and user are needed by a few families only and may be null.  Returns the
 * length of the decoded name; 0 when the line is no entry. */
TESSEL_EXTERN_C int TESSEL_API TESSEL_DecodeLine(DirEntry *entry, const char *line, int hostType,
                                                 const char *currentDir, const char *user);

#endif
