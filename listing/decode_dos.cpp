// DOS-style and Windows NT listings.
#include "dategroup.h"
#include "lineutil.h"

#include <string.h>

namespace tessel {
namespace listing {

namespace {

inline bool IsDigit(char c) { return c >= '0' && c <= '9'; }

inline bool IsLetterAP(char c) { return c == 'A' || c == 'a' || c == 'P' || c == 'p'; }

// "03:31PM", "3:31 pm", "18:48", "18:48:07": *p is moved past it.
bool WindowsTime(const char *&p, uint64_t *hour, uint64_t *minute, uint64_t *second)
{
    const char *s = p;
    uint64_t h = 0, m = 0, sec = 0;
    int digits = 0;
    while (IsDigit(*s) && digits < 3)
        h = h * 10 + unsigned(*s++ - '0'), ++digits;
    if (digits < 1 || digits > 2 || *s != ':' || !IsDigit(s[1]) || !IsDigit(s[2]))
        return false;
    m = unsigned(s[1] - '0') * 10 + unsigned(s[2] - '0');
    s += 3;
    if (*s == ':' && IsDigit(s[1]) && IsDigit(s[2]) && !IsDigit(s[3])) {
        sec = unsigned(s[1] - '0') * 10 + unsigned(s[2] - '0');
        s += 3;
    }
    // AM or PM, written on or after one blank
    const char *q = *s == ' ' ? s + 1 : s;
    char half = 0;
    if (IsLetterAP(q[0]) && (q[1] == 'M' || q[1] == 'm') && (q[2] == ' ' || !q[2]))
        half = q[0], s = q + 2;
    else if (q == s && IsLetterAP(q[0]) && (q[1] == ' ' || !q[1]))
        half = q[0], s = q + 1;
    if (*s != ' ' || m > 59 || sec > 60)
        return false;
    if (half) {
        if (h < 1 || h > 12)
            return false;
        if ((half == 'P' || half == 'p') && h != 12)
            h += 12;
        else if ((half == 'A' || half == 'a') && h == 12)
            h = 0;
    } else if (h > 23) {
        return false;
    }
    *hour = h, *minute = m, *second = sec;
    p = s;
    return true;
}

}  // namespace

bool DecodeWindowsLine(Work &w)
{
    // "02-15-24  03:31PM       <DIR>          foo"
    // "2013-09-02  19:06                9,730 notes.txt"
    const char *p = w.line;
    DateGroup g;
    if (!ParseDateToken(p, &g) || *g.end != ' ')
        return false;
    p = g.end;
    while (*p == ' ')
        ++p;
    uint64_t hour, minute, second;
    if (!WindowsTime(p, &hour, &minute, &second))
        return false;
    while (*p == ' ')
        ++p;
    bool dir = false;
    uint64_t size = 0;
    if (p[0] == '<' && p[1] == 'D' && p[2] == 'I' && p[3] == 'R' && p[4] == '>' && p[5] == ' ') {
        dir = true;
        p += 5;
    } else {
        const char *e;
        if (!ParseSize(p, &size, &e))
            return false;
        p = e;
    }
    while (*p == ' ')
        ++p;
    if (!*p)
        return false;  // no name
    w.year = g.year, w.month = g.month, w.day = g.day;
    w.hour = hour, w.minute = minute, w.second = second;
    w.size = size;
    w.kind = dir ? DIRENTRY_DIR : DIRENTRY_FILE;
    SetName(w, p);
    return true;
}

void DecodeNt(Work &w)
{
    char *line = w.line;
    const char *permEnd;
    if (PermissionBlock(line, &permEnd)) {
        // The server's UNIX-style listing.
        DecodeUnix(w);
        return;
    }
    // Date, time, <DIR> or size, and a name, each as it must be; a line
    // with any of them wrong (a 13th month, "<GARBAGE>", "-1") is no entry.
    DecodeWindowsLine(w);
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
    uint64_t grouped;
    const char *end;
    if (HasDirMarker(sizeField))
        w.kind = DIRENTRY_DIR;
    else if (ParseSize(sizeField, &grouped, &end))
        w.size = grouped;  // "9,730"
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
