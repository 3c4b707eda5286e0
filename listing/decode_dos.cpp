// DOS-style and Windows NT listings.
#include "lineutil.h"

#include <string.h>

namespace tessel {
namespace listing {

namespace {

inline bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Advances over the current field and the blanks after it.
char *NextField(char *p)
{
    while (*p && *p != ' ')
        ++p;
    while (*p == ' ')
        ++p;
    return p;
}

}  // namespace

void DecodeNt(Work &w)
{
    char *line = w.line;
    if (line[0] == 'd' || line[0] == '-') {
        // The server's UNIX-style listing.  Links are not shown as links.
        char *name = FieldStart(line, 9);
        if (!name)
            return;
        UnixFields(w, 8, 6, 7, 8, 5, CurrentHostType());
        SetName(w, name);
        if (line[0] == 'd')
            w.kind = DIRENTRY_DIR;
        return;
    }
    if (At(w, 2) != '-' || At(w, 5) != '-')
        return;

    // "02-15-24  03:31PM       <DIR>          foo"
    // "01-01-00  12:15AM                  123 a.txt"
    w.month = NumAt(w, 0);
    w.day = NumAt(w, 3);
    w.year = YearAtCol(w, 6);
    char *p = NextField(line);
    if (!*p)
        return;
    uint64_t hour = NumberAt(p);
    const char *m = p;
    while (IsDigit(*m))
        ++m;
    while (*m == ':')
        ++m;
    w.minute = NumberAt(m);
    char suffix = (m[0] && m[1]) ? m[2] : 0;
    if (suffix == 'P' && hour != 12)
        hour += 12;
    else if (suffix == 'A' && hour == 12)
        hour = 0;
    w.hour = hour;

    p = NextField(p);
    if (HasDirMarker(line))
        w.kind = DIRENTRY_DIR;
    else
        w.size = NumberAt(p);
    p = NextField(p);
    SetName(w, p);
}

void DecodeSiNt(Work &w)
{
    char *line = w.line;
    char *name = AfterLastBlank(line);
    if (name == line)
        return;  // no blank: nothing but a name, no columns to judge it by
    TerminateBefore(w, name);
    if (strlen(line) <= 3 || !*name)
        return;
    bool dir = line[0] == 'd' || line[0] == 'D' || HasDirMarker(line);
    if (dir) {
        size_t n = strlen(name);
        if (n > 0 && (name[n - 1] == '/' || name[n - 1] == '\\'))
            name[n - 1] = 0;
        w.kind = DIRENTRY_DIR;
    }
    if (dir || line[0] == 'l') {
        // "name -> target": the listed name is the last word before the arrow
        if (char *arrow = strstr(line, " ->")) {
            *arrow = 0;
            name = AfterLastBlank(line);
            w.kind = DIRENTRY_LINK;
        }
    }
    SetName(w, name);
}

void DecodeDosList(Work &w)
{
    char *line = w.line;
    int fields = FieldCount(line);
    if (fields > 8 && line[0] && line[1] == 'r') {
        DecodeUnix(w);
        return;
    }
    if (StartsWith(line, "Files match") || StartsWith(line, "Directories match"))
        return;
    if (fields <= 3)
        return;
    // name (blanks kept), size or <DIR>, date, time
    char *sizeField = FieldFromEnd(line, 3);
    char *dateField = FieldFromEnd(line, 2);
    char *timeField = FieldFromEnd(line, 1);
    if (!sizeField || !dateField || !timeField || sizeField == line)
        return;
    SetName(w, line, size_t(sizeField - line));
    TrimRight(w.name);
    if (HasDirMarker(sizeField))
        w.kind = DIRENTRY_DIR;
    else
        w.size = NumberAt(sizeField);
    DatePair(dateField, &w.year, &w.month, &w.day);
    ClockTime(timeField, &w.hour, &w.minute);
}

void DecodeDosFixed(Work &w)
{
    // "README   TXT      1234 01-02-98  10:00a": 8.3 names in fixed columns
    const char *line = w.line;
    if (line[0] == ' ' || line[0] == '.' || LineLength(w) <= 13)
        return;
    char base[13];
    memcpy(base, line, 12);
    base[12] = 0;
    if (base[9] != ' ') {
        base[8] = '.';
        if (base[7] == ' ') {
            // base name shorter than eight letters: join it to the extension
            char joined[13];
            size_t n = 0;
            for (size_t i = 0; i < 8 && base[i] != ' '; ++i)
                joined[n++] = base[i];
            joined[n++] = '.';
            for (size_t i = 9; i < 12 && base[i] != ' '; ++i)
                joined[n++] = base[i];
            joined[n] = 0;
            memcpy(base, joined, n + 1);
        }
    }
    SetName(w, base);
    TrimRight(w.name);

    if (HasDirMarker(Col(w, 13)))
        w.kind = DIRENTRY_DIR;
    else
        w.size = NumAt(w, 13);
    w.year = YearAtCol(w, 29);
    w.month = NumAt(w, 23);
    w.day = NumAt(w, 26);
    w.hour = NumAt(w, 33);
    w.minute = NumAt(w, 36);
    char half = At(w, 38);
    if (half == 'a' && w.hour == 12)
        w.hour = 0;
    else if (half == 'p' && w.hour != 12)
        w.hour += 12;
}

}  // namespace listing
}  // namespace tessel
