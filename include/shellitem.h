/* Item identifiers of the shell extension.  Explorer keeps them in
 * shortcuts, history and window state and puts them on the clipboard, so
 * their layout is a stored format: every record here is free of pointers and
 * has the same layout in the i686 and the x86_64 build (checked below).
 *
 * One item (all integers little-endian):
 *   offset 0  uint16  cb: whole item = payload + 12
 *   offset 2  uint16  kind flags (ITEM_*)
 *   offset 4  uint32  stamp 0xBABEF00D
 *   offset 8  payload by kind: label text, FTPSITEINFO (3208) or
 *             RemoteEntryRecord (336); ".." has none
 *   then      4 unused bytes, written as zero
 * An item list ends with a 2-byte zero.  Items follow each other without
 * padding, so a label item can leave the next one unaligned: read the
 * fields with memcpy (TesselItemRead), never through a cast. */
#ifndef TESSEL_SHELLITEM_H
#define TESSEL_SHELLITEM_H

#include <winsock2.h>
#include <windows.h>
#include <stdint.h>
#include <string.h>

#include "ftpsiteinfo.h"

#define TESSEL_ITEM_STAMP 0xBABEF00Du

/* kind flags */
#define ITEM_ADDSITE   0x0001u /* "Add Site" of the root: zero-terminated label */
#define ITEM_SITE      0x0002u /* a site: the profile record, secrets zeroed */
#define ITEM_REMOTE    0x0004u /* a remote entry: RemoteEntryRecord */
#define ITEM_PARENT    0x0008u /* "..": no payload */
#define ITEM_DIR       0x0100u /* with ITEM_REMOTE: a directory */
#define ITEM_LINK      0x0200u /* with ITEM_REMOTE: a symbolic link */
#define ITEM_TYPED     0x0400u /* with ITEM_REMOTE|ITEM_DIR: a path the user typed */
#define ITEM_LINK_DIR  0x0800u /* a link known to lead to a directory */
#define ITEM_LINK_FILE 0x1000u /* a link known to lead to a file */
#define ITEM_BASE_KINDS (ITEM_ADDSITE | ITEM_SITE | ITEM_REMOTE | ITEM_PARENT)

#define ITEM_HEAD_SIZE 8u
#define ITEM_TAIL_SIZE 4u
#define ITEM_OVERHEAD  12u
#define ITEM_SITE_PAYLOAD   FTPSITEINFO_SIZE
#define ITEM_REMOTE_PAYLOAD 336u

/* RemoteEntryRecord.entryFlags */
#define REMOTE_ENTRY_LINK 0x1u

typedef struct TesselItemHead {
    uint16_t cb;
    uint16_t kind;
    uint32_t stamp;
} TesselItemHead;

typedef struct RemoteEntryRecord {
    uint32_t size;        /* 336 */
    uint32_t entryFlags;  /* REMOTE_ENTRY_LINK */
    uint32_t modeValid;   /* from the listing entry */
    uint32_t mode;
    WIN32_FIND_DATAA find; /* attributes, last-write time, size, cFileName */
} RemoteEntryRecord;

#ifdef __cplusplus
#include <stddef.h>
static_assert(sizeof(TesselItemHead) == ITEM_HEAD_SIZE, "item head layout");
static_assert(sizeof(WIN32_FIND_DATAA) == 320, "WIN32_FIND_DATAA is 320 bytes in both builds");
static_assert(offsetof(RemoteEntryRecord, find) == 16, "remote entry layout");
static_assert(offsetof(RemoteEntryRecord, find.ftLastWriteTime) == 36, "remote entry layout");
static_assert(offsetof(RemoteEntryRecord, find.nFileSizeHigh) == 44, "remote entry layout");
static_assert(offsetof(RemoteEntryRecord, find.cFileName) == 60, "remote entry layout");
static_assert(sizeof(RemoteEntryRecord) == ITEM_REMOTE_PAYLOAD, "remote entry record is 336 bytes");
static_assert(sizeof(FTPSITEINFO) == ITEM_SITE_PAYLOAD, "site payload is 3208 bytes");
#endif

/* Copies the head of the item at p (at least 8 readable bytes). */
static inline TesselItemHead TesselItemRead(const void *p)
{
    TesselItemHead h;
    memcpy(&h, p, sizeof h);
    return h;
}

/* The payload size an item of this kind needs, or 0 for a kind that is not
 * ours (no base kind, or more than one).  Labels need at least their
 * terminating zero and are checked by TesselItemIsOurs. */
static inline uint32_t TesselItemPayloadNeeded(uint16_t kind)
{
    uint16_t base = (uint16_t)(kind & ITEM_BASE_KINDS);
    switch (base) {
    case ITEM_ADDSITE: return 1;
    case ITEM_SITE:    return ITEM_SITE_PAYLOAD;
    case ITEM_REMOTE:  return ITEM_REMOTE_PAYLOAD;
    case ITEM_PARENT:  return 0;
    default:           return 0xFFFFFFFFu;
    }
}

/* True when the item at p is one of ours: the stamp, a known kind, and a cb
 * that holds the 12 bytes of head and tail plus the kind's payload (for a
 * label: a terminating zero inside the payload).  cb below 12 or an unknown
 * kind makes the item foreign. */
static inline int TesselItemIsOurs(const void *p)
{
    if (!p)
        return 0;
    TesselItemHead h;
    memcpy(&h, p, 4); /* cb and kind first: cb may be smaller than the head */
    if (h.cb < ITEM_OVERHEAD)
        return 0;
    memcpy(&h, p, sizeof h);
    if (h.stamp != TESSEL_ITEM_STAMP)
        return 0;
    uint32_t need = TesselItemPayloadNeeded(h.kind);
    if (need == 0xFFFFFFFFu)
        return 0;
    uint32_t payload = (uint32_t)h.cb - ITEM_OVERHEAD;
    if (payload < need)
        return 0;
    if ((h.kind & ITEM_BASE_KINDS) == ITEM_ADDSITE)
        return memchr((const char *)p + ITEM_HEAD_SIZE, 0, payload) != NULL;
    return 1;
}

/* Name of an item, copied within its field into out (always terminated).
 * The item must have passed TesselItemIsOurs. */
static inline void TesselItemName(const void *p, char *out, size_t size)
{
    if (!size)
        return;
    TesselItemHead h = TesselItemRead(p);
    const char *payload = (const char *)p + ITEM_HEAD_SIZE;
    const char *src = "<Unknown>";
    size_t field = 10;
    if (h.kind & ITEM_PARENT) {
        src = "..";
        field = 3;
    } else if (h.kind & ITEM_ADDSITE) {
        src = payload;
        field = (size_t)h.cb - ITEM_OVERHEAD;
    } else if (h.kind & ITEM_SITE) {
        src = payload + offsetof(FTPSITEINFO, name);
        field = sizeof(((FTPSITEINFO *)0)->name);
    } else if (h.kind & ITEM_REMOTE) {
        src = payload + offsetof(RemoteEntryRecord, find.cFileName);
        field = MAX_PATH;
    }
    size_t n = strnlen(src, field);
    if (n >= size)
        n = size - 1;
    memcpy(out, src, n);
    out[n] = 0;
}

/* Writes an item into out (room for the whole item, cb bytes): head,
 * payload, zero tail.  Returns cb, or 0 when the payload does not fit the
 * 16-bit size. */
static inline uint32_t TesselItemBuild(void *out, uint16_t kind, const void *payload, uint32_t payloadSize)
{
    uint32_t cb = payloadSize + ITEM_OVERHEAD;
    if (cb > 0xFFFFu)
        return 0;
    TesselItemHead h = {(uint16_t)cb, kind, TESSEL_ITEM_STAMP};
    memcpy(out, &h, sizeof h);
    if (payloadSize)
        memcpy((char *)out + ITEM_HEAD_SIZE, payload, payloadSize);
    memset((char *)out + ITEM_HEAD_SIZE + payloadSize, 0, ITEM_TAIL_SIZE);
    return cb;
}

/* A site item's payload: the profile with its secrets zeroed, since
 * Explorer stores items in shortcuts and on the clipboard. */
static inline void TesselSitePayload(const FTPSITEINFO *profile, FTPSITEINFO *out)
{
    memcpy(out, profile, sizeof *out);
    memset(out->password, 0, sizeof out->password);
    memset(out->fwPassword, 0, sizeof out->fwPassword);
}

#endif
