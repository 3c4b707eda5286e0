// Directory listings on the local heap: decoding a LIST line into a
// ListingEntry, chaining entries under their header, and freeing it all.
#include "cinfo.h"
#include "dirlisting.h"
#include "parselisting.h"

#include <string.h>

TESSEL_EXTERN_C int TESSEL_API TESSEL_ParseLine(CINFO *ci, DirectoryListing *listing,
                                                ListingEntry *entry, const char *line)
{
    if (!ci)
        return 0;
    // Runs inside TESSEL_GetDirectory while the record is busy, so no busy check.
    return ParseListingLine(&ci->lineCount, &ci->parseFlags, ci->hostType, ci->user, listing,
                            entry, line, AppendEntry);
}

TESSEL_EXTERN_C void AppendEntry(DirectoryListing *listing, const ListingEntry *entry)
{
    if (!listing || !entry)
        return;
    ListingEntry *copy = static_cast<ListingEntry *>(LocalAlloc(LPTR, sizeof(ListingEntry)));
    if (!copy)
        return;  // out of memory: the entry is dropped
    memcpy(copy, entry, sizeof *copy);
    copy->owner = listing;
    copy->next = nullptr;

    // Start from the remembered last entry when it still belongs to this
    // chain; a header filled by other code starts from the first entry.
    ListingEntry *last = listing->lastEntry;
    if (!last || last->owner != listing)
        last = listing->firstEntry;
    if (!last) {
        listing->firstEntry = copy;
    } else {
        while (last->next)
            last = last->next;
        last->next = copy;
    }
    listing->lastEntry = copy;
}

TESSEL_EXTERN_C DirectoryListing *TESSEL_API TESSEL_FreeDirectory(DirectoryListing *listing)
{
    if (!listing)
        return nullptr;
    ListingEntry *entry = listing->firstEntry;
    while (entry) {
        ListingEntry *next = entry->next;
        if (entry->subdirectory)
            TESSEL_FreeDirectory(entry->subdirectory);
        LocalFree(entry);
        entry = next;
    }
    LocalFree(listing);
    return nullptr;
}
