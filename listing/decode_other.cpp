// VMS and RSX, CDC Cyber, and the minicomputer and other systems.
#include "dategroup.h"
#include "lineutil.h"

#include <stdio.h>
#include <string.h>

namespace tessel {
namespace listing {

namespace {

inline bool IsDigit(char c) { return c >= '0' && c <= '9'; }
inline bool IsWhite(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// p advanced by up to n characters, never past the end of its text.
const char *Skip(const char *p, size_t n)
{
    for (size_t i = 0; i < n && *p; ++i)
        ++p;
    return p;
}

// The text after the first blank-delimited word.
const char *AfterFirstWord(const char *line)
{
    while (*line && *line != ' ' && *line != '\t')
        ++line;
    return line;
}

}  // namespace

void DecodeVms(Work &w)
{
    // "FOO.TXT;2     2/3   12-FEB-1999 09:30:00  [USER]  (RWED,RWED,RE,)"
    char *line = w.line;
    if (line[0] == ' ')
        return;  // continuation of a long name's entry
    if (line[0] == '%')
        return;  // a message ("%RMS-E-FNF, file not found"): no file name starts so
    if (w.hostType == 6012 && strstr(line, ", file not found"))
        return;
    const char *semi = strchr(line, ';');
    if (!semi)
        return;

    if (w.hostType == 6012) {
        if (At(w, 41) == ':') {
            w.hour = NumAt(w, 39);
            w.minute = NumAt(w, 42);
        }
        w.size = MulSat(NumberAt(FieldStart(line, 2)), 512);  // used blocks
        if (const char *date = FieldStart(line, 3)) {
            w.day = NumberAt(date);
            const char *dash = date;
            while (*dash && *dash != ' ' && *dash != '-')
                ++dash;
            if (*dash == '-') {
                w.month = MonthNumber(dash + 1);
                w.year = YearAt(Skip(dash, 5));
            }
        }
    }

    size_t before = size_t(semi - line);
    char name[kWorkSize];
    if (before >= 5 && memcmp(semi - 4, ".DIR", 4) == 0) {
        w.kind = DIRENTRY_DIR;
        size_t n = before - 4;
        memcpy(name, line, n);
        name[n] = 0;
        if (w.hostType == 6019) {
            // RSX directories are UICs: "001002.DIR" is [001,002]
            char uic[kWorkSize];
            snprintf(uic, sizeof uic, "[%3.3s,%3.3s]", name, n > 3 ? name + 3 : "");
            strcpy(name, uic);
        }
    } else {
        // keep the version: the name ends after its last digit
        const char *end = semi + 1;
        while (IsDigit(*end))
            ++end;
        size_t n = 0;
        for (const char *s = line; s < end && *s != ' ' && *s != '\t'; ++s)
            name[n++] = *s;
        name[n] = 0;
    }

    const char *result = name;
    size_t dirLength = strlen(w.dir);
    if (w.hostType != 6019 && dirLength > 0 && strncmp(name, w.dir, dirLength) == 0)
        result = name + dirLength;  // names listed with the directory in front
    SetName(w, result);
}

void DecodeCyber(Work &w)
{
    if (w.line[0] != ' ')
        return;
    SetNameFromColumns(w, 0, 9);
    uint64_t size = 0;
    for (size_t c = 11; c <= 21; ++c) {
        char ch = At(w, c);
        if (IsDigit(ch))
            size = (size > (UINT64_MAX - 9) / 10) ? UINT64_MAX : size * 10 + unsigned(ch - '0');
    }
    w.size = size;
    // no dates in these listings
    w.year = 1980;
    w.month = 1;
    w.day = 1;
    if (strlen(Col(w, 23)) >= 7)
        w.kind = DIRENTRY_DIR;
}

void DecodeOs9(Work &w)
{
    const char *line = w.line;
    if (strstr(line, "Directory") || strstr(line, "Owner") || At(w, 1) == '-')
        return;
    if (At(w, 26) == 'd')
        w.kind = DIRENTRY_DIR;
    SetName(w, AfterLastBlank(w.line));
}

void DecodeGcos(Work &w)
{
    char *line = w.line;
    char *name = AfterLastBlank(line);
    if (name == line)
        return;
    TerminateBefore(w, name);
    if (strlen(line) <= 3)
        return;
    if (StartsWith(line, " d "))
        w.kind = DIRENTRY_DIR;
    else if (!StartsWith(line, " - "))
        return;
    SetName(w, name);
}

void DecodeCp6(Work &w)
{
    const char *line = w.line;
    if (LineLength(w) < 45 || strstr(line, "t modified") || strstr(line, "s listed") ||
        At(w, 2) == ':')
        return;
    const char *name = Col(w, 43);
    while (*name == ' ')
        ++name;
    size_t n = 0;
    while (name[n] && name[n] != ' ')
        ++n;
    SetName(w, name, n);
}

namespace {

// "PAYROLL        101      123456  5-APR-97 10:21:05 255,255 \"oooo\"": the
// name, the file code, the end-of-file (size), the date and the time, each
// a word, wherever the widths of the name and the numbers put them.
bool DecodeTandemWords(Work &w)
{
    const char *p = w.line;
    const char *name = p;
    while (*p && *p != ' ')
        ++p;
    size_t nameLength = size_t(p - name);
    while (*p == ' ')
        ++p;
    if (!IsDigit(*p))
        return false;  // the file code
    while (*p && *p != ' ')
        ++p;
    while (*p == ' ')
        ++p;
    uint64_t size;
    const char *e;
    if (!ParseSize(p, &size, &e))
        return false;
    p = e;
    while (*p == ' ')
        ++p;
    DateGroup g;
    if (!ParseDateToken(p, &g))
        return false;
    p = g.end;
    while (*p == ' ')
        ++p;
    uint64_t second;  // not kept: the classic columns never gave it
    if (!ParseTimeToken(p, &w.hour, &w.minute, &second, &e))
        return false;
    w.size = size;
    w.year = g.year, w.month = g.month, w.day = g.day;
    SetName(w, name, nameLength);
    return true;
}

}  // namespace

void DecodeTandem(Work &w)
{
    if (StartsWith(w.line, "File"))
        return;
    if (DecodeTandemWords(w))
        return;
    // The columns of the classic layout.
    w.hour = w.minute = w.second = 0;
    w.size = NumberEndingAt(w, 33);
    if (char *c = ColMut(w, 35); c && *c == ' ')
        *c = '0';  // " 5-APR-97"
    w.day = NumAt(w, 35);
    w.month = UpperMonth(Col(w, 38));
    w.year = YearAtCol(w, 42);
    ClockTime(Col(w, 45), &w.hour, &w.minute);
    SetNameFromColumns(w, 0, 9);
}

void DecodeHp3000(Work &w)
{
    const char *line = w.line;
    if (strstr(line, "PATH=") || strstr(line, "SIZE  TY") || strstr(line, "-------") ||
        LineLength(w) <= 60)
        return;
    if (IsDigit(At(w, 61)) && IsWhite(At(w, 62))) {
        size_t n = 1;
        while (line[n] && line[n] != ' ')
            ++n;
        SetName(w, line, n);
    } else {
        SetName(w, Col(w, 61));
    }
}

void DecodeOs2200(Work &w)
{
    if (LineLength(w) <= 51)
        return;
    // file name (up to a whole line), "/", element name: room for both
    char name[2 * kWorkSize];
    size_t n = 0;
    for (const char *s = w.line; *s && *s != ' ' && *s != '\t'; ++s)
        name[n++] = *s;
    if (At(w, 16) != ' ') {
        // element name after the file name
        name[n++] = '/';
        for (const char *s = Col(w, 16); *s && *s != ' ' && *s != '\t' && n < sizeof name - 1;
             ++s)
            name[n++] = *s;
    }
    name[n] = 0;
    SetName(w, name);
    w.year = YearAtCol(w, 36);
    w.month = NumAt(w, 39);
    w.day = NumAt(w, 42);
    w.hour = NumAt(w, 48);
    w.minute = NumAt(w, 51);
    // SYM, REL and ABS elements, and everything else, are files
}

void DecodeQnx2(Work &w)
{
    const char *line = w.line;
    if (line[0] == '+') {
        w.kind = DIRENTRY_DIR;
        SetName(w, line + 1);
        return;
    }
    if (line[0] == 'T' || At(w, 1) == 'B' || LineLength(w) < 60)
        return;
    w.year = YearAtCol(w, 51);
    w.month = MonthNumber(Col(w, 47));
    w.day = NumAt(w, 44);
    w.hour = NumAt(w, 54);
    w.minute = NumAt(w, 57);
    w.size = MulSat(NumAt(w, 0), 512);  // blocks
    SetName(w, Col(w, 60));
}

void DecodeAosVs(Work &w)
{
    const char *line = w.line;
    if (line[0] == ' ')
        return;
    if (LineLength(w) > 44)
        w.size = ValueAt(Col(w, 44));
    const char *rest = AfterFirstWord(line);
    SetName(w, line, size_t(rest - line));
    if (strstr(rest, " DIR ") || strstr(rest, " CPD ") || strstr(rest, " LDU "))
        w.kind = DIRENTRY_DIR;
    else if (strstr(rest, " LNK "))
        w.kind = DIRENTRY_LINK;
    // "12-MAR-97 10:21:05" after the name; a "-" in the name is no date
    if (const char *dash = strchr(rest, '-')) {
        w.day = NumberAt(dash - 2 >= line ? dash - 2 : line);
        w.month = MonthNumber(dash + 1);
        w.year = YearAt(Skip(dash, 5));
    }
    if (const char *colon = strchr(rest, ':'))
        ClockTime(colon - 2 >= line ? colon - 2 : line, &w.hour, &w.minute);
}

void DecodePassport(Work &w)
{
    const char *line = w.line;
    size_t length = LineLength(w);
    if (length < 36 || line[0] == '-' || At(w, 2) == 's')
        return;
    if (length >= 58 && StartsWith(Col(w, 54), "<DIR>"))
        w.kind = DIRENTRY_DIR;
    w.size = NumberEndingAt(w, 7);
    w.month = UpperMonth(Col(w, 12));
    w.day = NumAt(w, 16);
    w.year = YearAtCol(w, 19);
    ClockTime(Col(w, 25), &w.hour, &w.minute);
    SetNameFromColumns(w, 36, 53);
}

}  // namespace listing
}  // namespace tessel
