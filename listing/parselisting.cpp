// Decodes one LIST line into a ListingEntry for the engine's directory
// retrieval: the MVS member-list lines first, then the family decoder.
#include "parselisting.h"
#include "direntry.h"
#include "lineutil.h"

#include <string.h>

namespace {

constexpr int kMvs = 6018;

// "NAME1     NAME2     NAME3" after the header: member names in slots of
// ten characters.
bool IsMemberNameLine(const char *line, size_t n)
{
    return n > 9 && line[0] != ' ' && line[8] == ' ' && line[9] == ' ';
}

void AppendMembers(const char *line, size_t n, DirectoryListing *listing, AppendEntryFn append)
{
    for (size_t slot = 0; slot < n; slot += 10) {
        char c = line[slot];
        if (c == ' ' || c == '\r' || c == '\n')
            break;
        ListingEntry member;
        memset(&member, 0, sizeof member);
        member.owner = listing;
        size_t k = 0;
        for (; k < 8 && slot + k < n; ++k)
            member.name[k] = line[slot + k];
        member.name[k] = 0;
        tessel::listing::TrimRight(member.name);
        member.kind = LISTING_FILE;
        if (append && listing) {
            append(listing, &member);
            listing->fileCount++;
        }
    }
}

}  // namespace

bool IsMvsMemberListHeader(const char *line)
{
    size_t n = strnlen(line, 512);
    if (n < 70)
        return false;
    return line[40] == ' ' && memcmp(line + 44, "FB ", 3) == 0 && line[50] == ' ' &&
           memcmp(line + 61, "PO ", 3) == 0 && memcmp(line + 64, "NO ", 3) == 0 &&
           line[68] == ' ';
}

int ParseListingLine(int32_t *lineCount, uint32_t *parseFlags, int hostType, const char *user,
                     DirectoryListing *listing, ListingEntry *entry, const char *line,
                     AppendEntryFn append)
{
    if (!entry)
        return 0;
    memset(entry, 0, sizeof *entry);
    entry->owner = listing;
    if (!line)
        line = "";
    int32_t seen = 0;
    if (lineCount)
        seen = (*lineCount)++;
    uint32_t dummyFlags = 0;
    if (!parseFlags)
        parseFlags = &dummyFlags;

    if (hostType == kMvs) {
        if (seen == 0) {
            // A listing starts afresh: a member list of an earlier listing
            // must not carry over into this one.
            *parseFlags &= ~PARSE_MVS_MEMBERS;
            if (IsMvsMemberListHeader(line)) {
                *parseFlags |= PARSE_MVS_MEMBERS;
                return 0;
            }
        } else if (*parseFlags & PARSE_MVS_MEMBERS) {
            size_t n = strnlen(line, 100000);
            if (IsMemberNameLine(line, n)) {
                AppendMembers(line, n, listing, append);
                return 0;
            }
            *parseFlags &= ~PARSE_MVS_MEMBERS;
        }
    }

    DirEntry decoded;
    int length = TESSEL_DecodeLine(&decoded, line, hostType, listing ? listing->path : "", user);
    if (length <= 0)
        return 0;

    memcpy(entry->name, decoded.name, sizeof entry->name);
    entry->year = decoded.year;
    entry->month = decoded.month;
    entry->day = decoded.day;
    entry->hour = decoded.hour;
    entry->minute = decoded.minute;
    entry->second = decoded.second;
    entry->size = decoded.size;
    entry->mode = decoded.mode;
    entry->modeFlags = decoded.modeFlags;
    switch (decoded.kind) {
    case DIRENTRY_DIR:
        entry->kind = LISTING_DIR;
        if (listing)
            listing->dirCount++;
        break;
    case DIRENTRY_LINK:
        entry->kind = LISTING_LINK;
        if (listing)
            listing->linkCount++;
        break;
    default:
        entry->kind = LISTING_FILE;
        if (listing)
            listing->fileCount++;
        break;
    }
    return length;
}
