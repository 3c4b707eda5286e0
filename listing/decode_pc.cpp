// PC and Macintosh servers, Stratus VOS, Amiga and KA9Q/NOS.
#include "dategroup.h"
#include "lineutil.h"

#include <string.h>

namespace tessel {
namespace listing {

namespace {

inline bool IsDigit(char c) { return c >= '0' && c <= '9'; }

enum VosSection { kVosFiles, kVosDirs, kVosLinks };
// Per thread: a listing says once which section its lines belong to, and
// another listing decoded at the same time must not switch it.
thread_local VosSection t_vosSection = kVosFiles;

// Removes one trailing "/" or "\"; true when there was one.
bool StripDirSlash(char *name)
{
    size_t n = strlen(name);
    if (n > 0 && (name[n - 1] == '/' || name[n - 1] == '\\')) {
        name[n - 1] = 0;
        return true;
    }
    return false;
}

// Columns first..last copied into out (zero-terminated).
void CopyColumns(const Work &w, size_t first, size_t last, char *out)
{
    const char *s = Col(w, first);
    size_t n = 0;
    for (; n <= last - first && s[n]; ++n)
        out[n] = s[n];
    out[n] = 0;
}

}  // namespace

bool DecodeOs2Words(Work &w);

void ResetVosState()
{
    t_vosSection = kVosFiles;
}

void DecodePcTcp(Work &w)
{
    // "      1234 readme.txt               Mon Jan 12 10:21 1998"
    if (LineLength(w) <= 53 || StartsWithNoCase(w.line, "Dirs:"))
        return;
    char cols[31];
    CopyColumns(w, 0, 29, cols);
    SetName(w, AfterLastBlank(cols));
    w.year = YearAtCol(w, 53);
    w.month = MonthNumber(Col(w, 37));
    w.day = NumAt(w, 41);
    w.hour = NumAt(w, 44);
    w.minute = NumAt(w, 47);
    if (HasDirMarker(w.line))
        w.kind = DIRENTRY_DIR;
    else
        w.size = NumberAt(w.line);
}

void DecodeIbmPcTcp(Work &w)
{
    const char *line = w.line;
    if (LineLength(w) <= 40 || strstr(line, "volume label") || strstr(line, "Volume Serial") ||
        strstr(line, "Directory of") || strstr(line, " bytes "))
        return;
    w.month = NumAt(w, 0);
    w.day = NumAt(w, 3);
    w.year = YearAtCol(w, 6);
    w.hour = NumAt(w, 10);
    w.minute = NumAt(w, 13);
    char half = At(w, 15);
    if (half == 'a' && w.hour == 12)
        w.hour = 0;
    else if (half == 'p' && w.hour != 12)
        w.hour += 12;
    SetName(w, Col(w, 40));
    if (strstr(line, "<DIR>"))
        w.kind = DIRENTRY_DIR;
    else
        w.size = NumAt(w, 16);
}

void DecodeOs2(Work &w)
{
    // The words of the line first: the name is then whole wherever the
    // widths put it, and the date is read month first, as OS/2 writes it.
    if (DecodeOs2Words(w))
        return;
    if (LineLength(w) <= 52)
        return;
    SetName(w, Col(w, 53));
    if (HasDirMarker(w.line))
        w.kind = DIRENTRY_DIR;
    DatePair(Col(w, 35), &w.year, &w.month, &w.day);
    ClockTime(Col(w, 46), &w.hour, &w.minute);
    w.size = NumberEndingAt(w, 16);
}

void DecodeOs2Warp(Work &w)
{
    DecodeOs2Words(w);
}

// "         0           DIR   05-12-97   16:44  DIRNAME"
// "      1834      A    05-12-97   16:44  CONFIG SYS.BAK"
// The size, attribute words, the date, the time, and the name: the rest of
// the line, blanks and all.  True when the line gave an entry.
bool DecodeOs2Words(Work &w)
{
    const char *p = w.line;
    while (*p == ' ')
        ++p;
    uint64_t size;
    const char *e;
    if (!ParseSize(p, &size, &e))
        return false;
    p = e;
    bool dir = false;
    DateGroup g;
    for (;;) {
        while (*p == ' ')
            ++p;
        if (!*p)
            return false;
        if (ParseDateToken(p, &g))
            break;
        const char *word = p;
        while (*p >= 'A' && *p <= 'Z')
            ++p;
        if (p == word || (*p && *p != ' '))
            return false;  // an attribute is a word of capitals: not such a line
        dir |= p - word == 3 && memcmp(word, "DIR", 3) == 0;
    }
    p = g.end;
    while (*p == ' ')
        ++p;
    uint64_t second;
    if (!ParseTimeToken(p, &w.hour, &w.minute, &second, &e))
        return false;
    p = e;
    while (*p == ' ')
        ++p;
    if (!*p)
        return false;  // the line ends at the time: no name
    w.size = size;
    w.year = g.year, w.month = g.month, w.day = g.day;
    if (dir)
        w.kind = DIRENTRY_DIR;
    SetName(w, p);
    return true;
}

void DecodeQvt4(Work &w)
{
    size_t length = LineLength(w);
    if (length > 34 && At(w, 16) == '-' && At(w, 19) == '-') {
        char cols[34];
        CopyColumns(w, 0, 32, cols);
        w.size = NumberAt(cols);
        w.month = NumAt(w, 14);
        w.day = NumAt(w, 17);
        w.year = YearAtCol(w, 20);
        w.hour = NumAt(w, 25);
        w.minute = NumAt(w, 28);
        SetName(w, Col(w, 34));
        if (strstr(w.line, "[dir]"))
            w.kind = DIRENTRY_DIR;
        return;
    }
    if (length <= 44)
        return;
    // "name ...   <blanks up to column 44> size-or-[dir] mm-dd-yy hh:mm"
    const char *line = w.line;
    size_t end = 44;
    if (line[end] != ' ')
        while (end > 0 && line[end - 1] != ' ')
            --end;  // column 44 inside a word: the run before that word
    else
        ++end;
    size_t nameEnd = end;
    while (nameEnd > 0 && line[nameEnd - 1] == ' ')
        --nameEnd;
    SetName(w, line, nameEnd);

    const char *p = line + end;
    while (*p == ' ')
        ++p;
    if (StartsWith(p, "[dir]"))
        w.kind = DIRENTRY_DIR;
    else
        w.size = NumberAt(p);
    while (*p && *p != ' ')
        ++p;
    while (*p == ' ')
        ++p;
    w.month = NumberAt(p);
    if (const char *dash = strchr(p, '-')) {
        const char *day = dash + 1;
        w.day = NumberAt(day);
        const char *year = day;
        for (int i = 0; i < 3 && *year; ++i)
            ++year;
        w.year = YearAt(year);
        p = year;
    }
    while (*p && *p != ' ')
        ++p;
    while (*p == ' ')
        ++p;
    w.hour = NumberAt(p);
    while (IsDigit(*p))
        ++p;
    if (*p == ':')
        w.minute = NumberAt(p + 1);
}

void DecodeFirstWordDir(Work &w)
{
    if (w.hostType == 6014)
        SetName(w, w.line);  // Macintosh names keep their blanks
    else
        SetNameFirstWord(w, w.line);
    if (StripDirSlash(w.name))
        w.kind = DIRENTRY_DIR;
}

void DecodeVersaTerm(Work &w)
{
    char *line = w.line;
    size_t length = LineLength(w);
    if (length < 77) {
        // "folder/......" or "file.txt......"
        char *slash = strchr(line, '/');
        char *dots = strstr(line, "..");
        if (slash && (!dots || slash < dots)) {
            SetName(w, line, size_t(slash - line));
            w.kind = DIRENTRY_DIR;
        } else if (dots) {
            SetName(w, line, size_t(dots - line));
        }
        return;
    }
    // name padded with dots to column 30, then the columns
    char name[32];
    CopyColumns(w, 0, 30, name);
    size_t n = strlen(name);
    while (n > 0 && name[n - 1] == '.')
        name[--n] = 0;
    if (n > 0 && name[n - 1] == '/') {
        name[--n] = 0;
        w.kind = DIRENTRY_DIR;
    }
    SetName(w, name);
    for (char *p = line + 31; *p; ++p)
        if (*p == '.')
            *p = ' ';
    w.size = NumAt(w, 41);
    w.year = YearAtCol(w, 76);
    w.month = MonthNumber(Col(w, 57));
    w.day = NumAt(w, 61);
    w.hour = NumAt(w, 65);
    w.minute = NumAt(w, 68);
    char half = At(w, 71);
    if (half == 'P' && w.hour != 12)
        w.hour += 12;
    else if (half == 'A' && w.hour == 12)
        w.hour = 0;
}

void DecodeVos(Work &w)
{
    char *line = w.line;
    if (StartsWith(line, "Files:")) {
        t_vosSection = kVosFiles;
        return;
    }
    if (StartsWith(line, "Dirs:")) {
        t_vosSection = kVosDirs;
        return;
    }
    if (StartsWith(line, "Links:")) {
        t_vosSection = kVosLinks;
        return;
    }
    size_t length = LineLength(w);
    if (length <= 20)
        return;
    char *name = AfterLastBlank(line);
    switch (t_vosSection) {
    case kVosFiles:
        if (length > 33) {
            w.year = YearAtCol(w, 21);
            w.month = NumAt(w, 24);
            w.day = NumAt(w, 27);
            w.hour = NumAt(w, 30);
            w.minute = NumAt(w, 33);
            w.size = NumAt(w, 4);
        }
        break;
    case kVosDirs:
        if (length > 23) {
            w.year = YearAtCol(w, 11);
            w.month = NumAt(w, 14);
            w.day = NumAt(w, 17);
            w.hour = NumAt(w, 20);
            w.minute = NumAt(w, 23);
            w.size = NumAt(w, 4);
        }
        w.kind = DIRENTRY_DIR;
        break;
    case kVosLinks:
        w.year = YearAtCol(w, 0);
        w.month = NumAt(w, 3);
        w.day = NumAt(w, 6);
        w.hour = NumAt(w, 9);
        w.minute = NumAt(w, 12);
        if (char *arrow = strstr(line, "->")) {
            *arrow = 0;  // "link -> target": the link's own name
            name = AfterLastBlank(line);
        }
        w.kind = DIRENTRY_LINK;
        break;
    }
    SetName(w, name);
}

void DecodeAmiga(Work &w)
{
    if (StartsWithNoCase(w.line, "Dirs:"))
        return;
    char *name = AfterLastBlank(w.line);
    if (HasDirMarker(w.line) || StartsWith(w.line, "drw") || StartsWith(w.line, "dr-"))
        w.kind = DIRENTRY_DIR;
    SetName(w, name);
}

void DecodeKa9q(Work &w)
{
    if (strstr(w.line, "Disk size"))
        return;
    size_t length = LineLength(w);
    if (length > 41)
        SetNameFromColumns(w, 41, 53);
    else if (length > 12)
        SetNameFromColumns(w, 0, 12);
    else
        return;
    if (StripDirSlash(w.name))
        w.kind = DIRENTRY_DIR;
}

}  // namespace listing
}  // namespace tessel
