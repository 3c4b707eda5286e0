// The engine's line-by-line listing decoder, without the connection record:
// the record's listing counters and the allocator come in as arguments, so
// the MVS member-list rule and the kind conversion build and test natively.
#ifndef TESSEL_LISTING_PARSELISTING_H
#define TESSEL_LISTING_PARSELISTING_H

#include "dirlisting.h"

#include <stdint.h>

typedef void (*AppendEntryFn)(DirectoryListing *listing, const ListingEntry *entry);

// lineCount and parseFlags are the connection record's counters for the
// listing being read.  Returns the name's length, or 0 when the line yields
// no entry of its own.
int ParseListingLine(int32_t *lineCount, uint32_t *parseFlags, int hostType, const char *user,
                     DirectoryListing *listing, ListingEntry *entry, const char *line,
                     AppendEntryFn append);

// True for the header line an MVS server sends before a member list.
bool IsMvsMemberListHeader(const char *line);

#endif
