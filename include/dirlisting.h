/* A decoded directory: a DirectoryListing header and a chain of
 * ListingEntry records.  Both are zero-filled local-heap blocks; the caller
 * owns a listing once it is returned and hands it back with
 * TESSEL_FreeDirectory.  Portable: fixed-width fields, no Win32 types, so
 * the listing code and its tests also build natively. */
#ifndef TESSEL_DIRLISTING_H
#define TESSEL_DIRLISTING_H

#include "tessel_api.h"
#include "direntry.h"

#include <stdint.h>

/* ListingEntry.kind */
#define LISTING_FILE 1
#define LISTING_DIR  2
#define LISTING_LINK 3

/* ListingEntry.modeFlags */
#define LISTING_MODE_VALID 0x0001u

#define LISTING_TEXT_SIZE 256

struct CINFO;
struct ListingEntry;

typedef struct DirectoryListing {
    char     siteName[LISTING_TEXT_SIZE]; /* host, or "LOCALHOST" */
    char     path[LISTING_TEXT_SIZE];     /* remote directory from PWD */
    struct ListingEntry *firstEntry;      /* null when empty */
    int32_t  fileCount;
    int32_t  dirCount;
    int32_t  linkCount;
    /* Library-private: last entry of the chain, so that appending to a
     * listing of many thousand lines does not walk the whole chain each
     * time.  Zero in a freshly zeroed header; code that edits the chain by
     * hand must reset it to null. */
    struct ListingEntry *lastEntry;
} DirectoryListing;

typedef struct ListingEntry {
    DirectoryListing    *owner;
    struct ListingEntry *next;
    char     name[LISTING_TEXT_SIZE];
    uint32_t year;    /* full year, e.g. 1998 */
    uint32_t month;   /* 1..12 */
    uint32_t day;     /* 1..31 */
    uint32_t hour;    /* 0..23 */
    uint32_t minute;  /* 0..59 */
    uint32_t second;
    uint32_t size;    /* bytes */
    uint32_t mode;    /* owner*64 + group*8 + other */
    uint32_t modeFlags;
    int32_t  kind;    /* LISTING_FILE, LISTING_DIR or LISTING_LINK */
    DirectoryListing *subdirectory; /* freed with the listing */
} ListingEntry;

/* parseFlags bit: an MVS member list is being read (its header line seen). */
#define PARSE_MVS_MEMBERS 0x0001u

/* Decodes one line of a LIST reply into entry (zeroed, owner set) and
 * counts it in listing.  Returns the name's length, or 0 when the line
 * yields no entry (MVS member-list lines append their entries themselves). */
TESSEL_EXTERN_C int TESSEL_API TESSEL_ParseLine(struct CINFO *ci, DirectoryListing *listing,
                                                ListingEntry *entry, const char *line);

/* Frees every entry (and, first, its subdirectory listing), then the
 * header.  Accepts null.  Returns null. */
TESSEL_EXTERN_C DirectoryListing *TESSEL_API TESSEL_FreeDirectory(DirectoryListing *listing);

/* Copies entry into a new block at the end of listing's chain, with owner
 * set to listing.  Out of memory drops the entry silently. */
TESSEL_EXTERN_C void AppendEntry(DirectoryListing *listing, const ListingEntry *entry);

#endif
