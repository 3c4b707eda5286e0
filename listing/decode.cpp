// TESSEL_DecodeLine: cleans a LIST line, reads UNIX permission letters,
// hands the line to the decoder of its host family and normalises the date.
#include "direntry.h"
#include "dategroup.h"
#include "lineutil.h"

#include <string.h>

namespace tessel {
namespace listing {

namespace {

thread_local int t_hostType = 0;

// The permission letters of "-rwxr-x---" wherever a line starts with them,
// whatever the family: some non-UNIX servers imitate ls -l.
void PermissionPrelude(Work &w)
{
    const char *s = w.line;
    if (w.length <= 10)
        return;
    if ((s[1] != '-' && s[1] != 'r') || (s[2] != '-' && s[2] != 'w') ||
        (s[3] != '-' && s[3] != 'x') || (s[9] != '-' && s[9] != 'x'))
        return;
    unsigned mode = 0;
    for (int digit = 0; digit < 3; ++digit) {
        const char *rwx = s + 1 + 3 * digit;
        mode <<= 3;
        if (rwx[0] == 'r')
            mode |= 4;
        if (rwx[1] == 'w')
            mode |= 2;
        if (rwx[2] == 'x')
            mode |= 1;
    }
    w.mode = mode;
    w.modeFlags |= DIRENTRY_MODE_VALID;
}

void Dispatch(Work &w)
{
    switch (w.hostType) {
    case 6045: DecodeUniTree(w); break;
    case 6016: DecodeNt(w); break;
    case 6007: DecodeSiNt(w); break;
    case 6001: case 6006: case 6008: case 6037: case 6038: case 6047: DecodeDosList(w); break;
    case 6022: case 6036: DecodeDosFixed(w); break;
    case 6011: case 6012: case 6019: DecodeVms(w); break;
    case 6004: DecodeVm(w); break;
    case 6018: DecodeMvs(w); break;
    case 6024: DecodeMvsKnet(w); break;
    case 6029: DecodeSpartacus(w); break;
    case 6017: DecodeAs400(w); break;
    case 6049: DecodeMusic(w); break;
    case 6027: DecodeR1000(w); break;
    case 6026: DecodeCyber(w); break;
    case 6002: DecodePcTcp(w); break;
    case 6003: DecodeIbmPcTcp(w); break;
    case 6048: DecodeOs2(w); break;
    case 6042: DecodeOs2Warp(w); break;
    case 6039: DecodeQvt4(w); break;
    case 6013: case 6014: DecodeFirstWordDir(w); break;
    case 6040: DecodeVersaTerm(w); break;
    case 6015: DecodePeterServer(w); break;
    case 6041: DecodeHellSoft(w); break;
    case 6035: DecodeNetWare(w); break;
    case 6031: DecodeVos(w); break;
    case 6025: DecodeAmiga(w); break;
    case 6005: DecodeKa9q(w); break;
    case 6021: DecodeOs9(w); break;
    case 6023: DecodeGcos(w); break;
    case 6028: DecodeCp6(w); break;
    case 6030: DecodeTandem(w); break;
    case 6032: DecodeHp3000(w); break;
    case 6043: break;  // PRIMOS listings carry nothing usable
    case 6044: DecodeOs2200(w); break;
    case 6046: DecodeQnx2(w); break;
    case 6050: DecodeAosVs(w); break;
    case 6051: DecodePassport(w); break;
    default: DecodeUnix(w); break;  // 6000 (not yet known), the UNIX types, unknown numbers
    }
}

// Bytes past the line that read as zero: a few after its end, and every
// column up to 96 (the families read no column beyond 80 or so).
constexpr size_t kZeroAfter = 16;
constexpr size_t kZeroThrough = 96;
static_assert(kWorkSize + kZeroAfter <= sizeof(Work::line), "zeroed stretch inside the buffer");

// True when the name is the tail of a date group that ends the line: the
// "10:21" of "Mar 14 10:21", the "18:48" of "2013-09-02  18:48".  That is
// what the last-word rules of some families find on a line without a name.
// Only short names that begin with a digit can be such a tail.
bool NameIsTailOfDate(const char *line, size_t length, const char *name, size_t nameLength)
{
    if (nameLength == 0 || nameLength > 8 || name[0] < '0' || name[0] > '9' || nameLength > length)
        return false;
    // The end of the line as a text of its own (the caller's line may go on
    // past the cleaned length with a CR or LF).
    char tail[96];
    size_t take = length < sizeof tail - 1 ? length : sizeof tail - 1;
    memcpy(tail, line + length - take, take);
    tail[take] = 0;
    const char *nameStart = tail + take - nameLength;
    if (memcmp(nameStart, name, nameLength) != 0)
        return false;
    const char *p = nameStart;
    for (int tokens = 0; tokens < 4 && p > tail; ++tokens) {
        while (p > tail && p[-1] == ' ')
            --p;
        while (p > tail && p[-1] != ' ')
            --p;
        DateGroup g;
        if (ParseDateGroup(p, &g) && g.end == tail + take)
            return true;
    }
    return false;
}

inline uint8_t Byte(uint64_t v) { return v > 0xFF ? 0xFF : uint8_t(v); }

}  // namespace

int CurrentHostType()
{
    return t_hostType;
}

}  // namespace listing
}  // namespace tessel

using namespace tessel::listing;

TESSEL_EXTERN_C int TESSEL_API TESSEL_DecodeLine(DirEntry *entry, const char *line, int hostType,
                                                 const char *currentDir, const char *user)
{
    t_hostType = hostType;
    if (!entry)
        return 0;
    memset(entry, 0, sizeof *entry);
    if (!line)
        return 0;

    // Only the fields are cleared, not the buffers: the cost of a line is
    // the listing's hot loop.  The line buffer is zeroed for a stretch past
    // the end of the line, further than any family reads a column.
    Work w;
    w.year = w.month = w.day = w.hour = w.minute = w.second = w.size = 0;
    w.mode = w.modeFlags = w.kind = 0;
    w.name[0] = 0;
    w.hostType = hostType;
    w.dir = currentDir ? currentDir : "";
    w.user = user ? user : "";
    // Lines longer than the work buffer are cut; no column of any family
    // lies that far to the right, only the end of a name can.
    size_t i = strnlen(line, kWorkSize - 1);
    if (const void *cr = memchr(line, '\r', i))
        i = size_t(static_cast<const char *>(cr) - line);
    if (const void *lf = memchr(line, '\n', i))
        i = size_t(static_cast<const char *>(lf) - line);
    memcpy(w.line, line, i);
    bool cut = false;
    for (size_t k = i; line[k] && line[k] != '\r' && line[k] != '\n' && !cut; ++k)
        cut = line[k] != ' ' && line[k] != '\t';
    size_t length = i;
    size_t blanks = 0;
    while (length > 0 && (w.line[length - 1] == ' ' || w.line[length - 1] == '\t')) {
        blanks = w.line[length - 1] == ' ' ? blanks + 1 : 0;  // blanks after the last tab
        --length;
    }
    // Trailing blanks are part of a name only when nothing but blanks
    // followed it.
    w.trailingBlanks = (!cut && blanks == i - length) ? blanks : 0;
    w.length = length;
    size_t zeroTo = length + kZeroAfter > kZeroThrough ? length + kZeroAfter : kZeroThrough;
    memset(w.line + length, 0, zeroTo - length);
    char cutLine[kWorkSize];
    if (cut)
        memcpy(cutLine, w.line, sizeof cutLine);

    PermissionPrelude(w);
    Dispatch(w);

    size_t nameLength = strnlen(w.name, sizeof w.name);
    if (NameIsTailOfDate(line, length, w.name, nameLength)) {
        memset(entry, 0, sizeof *entry);
        return 0;
    }
    // A name that ends where the line was cut may have been longer.
    bool nameCut = false;
    if (cut && nameLength > 0) {
        size_t lineLength = strlen(cutLine);
        nameCut = lineLength >= nameLength &&
                  memcmp(cutLine + lineLength - nameLength, w.name, nameLength) == 0;
    }
    if (nameLength > kMaxName || nameCut) {
        // A shortened name could make a later RETR or DELE hit another
        // file: such a line is no entry at all.
        memset(entry, 0, sizeof *entry);
        return 0;
    }

    if (w.year >= 1 && w.year <= 1899)
        w.year += 1900;
    if (w.year > 2037)
        w.year = 2038;
    if (w.month > 12)
        w.month = 12;
    if (w.day >= 32)
        w.day = 31;

    memcpy(entry->name, w.name, nameLength + 1);
    entry->year = uint16_t(w.year);
    entry->month = Byte(w.month);
    entry->day = Byte(w.day);
    entry->hour = Byte(w.hour);
    entry->minute = Byte(w.minute);
    entry->second = Byte(w.second);
    entry->size = w.size > 0xFFFFFFFFu ? 0xFFFFFFFFu : uint32_t(w.size);
    entry->mode = uint16_t(w.mode);
    entry->modeFlags = uint16_t(w.modeFlags);
    entry->kind = uint8_t(w.kind);
    return int(nameLength);
}
