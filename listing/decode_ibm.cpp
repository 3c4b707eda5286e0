// IBM mainframe and midrange listings: VM/CMS, MVS (plain and the KNET
// servers), AS/400, MUSIC/SP and R1000.
#include "lineutil.h"

#include <string.h>

namespace tessel {
namespace listing {

namespace {

inline bool IsDigit(char c) { return c >= '0' && c <= '9'; }
inline bool IsBlankOrEnd(char c) { return c == ' ' || c == 0; }

const char *SkipDigits(const char *p)
{
    while (IsDigit(*p))
        ++p;
    return p;
}

// What an AS/400 object line carried, for the member lines after it.
struct As400Carry {
    uint64_t year, month, day, hour, minute, second, size;
};
// Per thread: two listings decoded at once on two threads must not borrow
// each other's dates.
thread_local As400Carry t_as400;

bool IsDirType(const char *type, size_t length)
{
    static const char *const kDirTypes[] = {"DIR", "DDI", "LIB", "FLR"};
    if (length != 3)
        return false;
    for (const char *t : kDirTypes)
        if (memcmp(type, t, 3) == 0)
            return true;
    return false;
}

// Start of the blank-separated field that ends before position end.
const char *FieldBefore(const char *line, const char *end)
{
    while (end > line && end[-1] == ' ')
        --end;
    while (end > line && end[-1] != ' ')
        --end;
    return end;
}

}  // namespace

void ResetAs400State()
{
    t_as400 = As400Carry();
}

void DecodeVm(Work &w)
{
    const char *line = w.line;
    size_t length = LineLength(w);
    if (At(w, 2) == '/' && At(w, 5) == '/' && At(w, 13) == ':' && length > 48) {
        // "03/24/97 14:01 ..." with the name, in quotes, from column 48
        w.month = NumAt(w, 0);
        w.day = NumAt(w, 3);
        w.year = YearAtCol(w, 6);
        w.hour = NumAt(w, 11);
        w.minute = NumAt(w, 14);
        if (At(w, 22) == 'D')
            w.kind = DIRENTRY_DIR;
        else
            w.size = MulSat(NumAt(w, 23), NumAt(w, 32));
        const char *name = Col(w, 48);
        size_t n = strlen(name);
        if (n > 0 && name[0] == '\'')
            ++name, --n;
        if (n > 0 && name[n - 1] == '\'')
            --n;
        SetName(w, name, n);
        return;
    }

    // CMS file list: "PROFILE  EXEC     V         72         21 ... 1997-03-24 14:01:12"
    bool dirLine = strstr(line, " DIR ") != nullptr;
    char name[19];
    size_t k = 0;
    for (; k < 18 && line[k]; ++k)
        name[k] = line[k];
    name[k] = 0;
    TrimRight(name);
    bool full = strlen(name) == 18;
    if (char *blank = strchr(name, ' ')) {
        // file name and file type joined by a dot
        *blank = '.';
        char *rest = blank + 1;
        while (*rest == ' ')
            ++rest;
        memmove(blank + 1, rest, strlen(rest) + 1);
    }

    // date as 1997-03-24 or 3/24/97, then hh:mm
    const char *p = Col(w, 53);
    while (*p == ' ')
        ++p;
    bool isoDate = p[0] && p[1] && p[2] && p[3] && p[4] == '-';
    uint64_t n[3] = {0, 0, 0};
    bool found[3] = {false, false, false};
    for (int i = 0; i < 3; ++i) {
        if (i > 0) {
            if (*p != '-' && *p != '/')
                break;
            ++p;
        }
        found[i] = HasNumberAt(p);
        n[i] = NumberAt(p);
        while (*p == ' ')
            ++p;
        p = SkipDigits(p);
    }
    int y = isoDate ? 0 : 2, m = isoDate ? 1 : 0, d = isoDate ? 2 : 1;
    w.year = found[y] ? FullYear(n[y]) : 0;
    w.month = n[m];
    w.day = n[d];
    while (*p == ' ')
        ++p;
    w.hour = NumberAt(p);
    p = SkipDigits(p);
    if (*p == ':')
        w.minute = NumberAt(p + 1);
    w.size = MulSat(NumAt(w, 23), NumAt(w, 31));

    char out[kWorkSize];
    strcpy(out, name);
    if (line[0] != ' ' && line[0] != '\t') {
        if (dirLine)
            w.kind = DIRENTRY_DIR;
        size_t dirLength = strlen(w.dir);
        if (dirLength > 0 && strncmp(name, w.dir, dirLength) == 0) {
            if (full) {
                // the name column was full: the name runs on to the next blank
                const char *s = Col(w, dirLength);
                size_t i = 0;
                for (; i < sizeof out - 1 && s[i] && s[i] != ' ' && s[i] != '\t'; ++i)
                    out[i] = s[i];
                out[i] = 0;
            } else {
                memmove(out, out + dirLength, strlen(out + dirLength) + 1);
            }
        }
        unsigned char first = (unsigned char)out[0];
        if (first == '.' || (first > 0 && first < 0x20) || first == 0x7F) {
            SqueezeBlanks(out + 1);
            SetName(w, out + 1);
            return;
        }
    }
    SetName(w, out);
}

namespace {

// Splits the line at runs of blanks into at most max tokens.
size_t Tokens(const char *line, const char **start, size_t *length, size_t max)
{
    size_t n = 0;
    const char *p = line;
    for (;;) {
        while (*p == ' ')
            ++p;
        if (!*p || n == max)
            return n;
        start[n] = p;
        while (*p && *p != ' ')
            ++p;
        length[n] = size_t(p - start[n]);
        ++n;
    }
}

bool TokenIs(const char *start, size_t length, const char *word)
{
    return strlen(word) == length && memcmp(start, word, length) == 0;
}

// Data set organisations as z/OS lists them, "-E" for extended format.
bool IsDsorg(const char *start, size_t length)
{
    static const char *const kOrgs[] = {"PS", "PO", "PO-E", "PS-E", "PS-L", "DA", "IS", "VS", "HFS", "??"};
    for (const char *org : kOrgs)
        if (TokenIs(start, length, org))
            return true;
    return false;
}

// "2011/03/14" or "03/03/18" (year first), or "**NONE**" for a data set
// never referred to.
bool MvsReferred(const char *start, size_t length, Work &w)
{
    if (TokenIs(start, length, "**NONE**"))
        return true;
    if ((length != 10 && length != 8) || start[length == 10 ? 4 : 2] != '/')
        return false;
    uint64_t year, month, day;
    DatePair(start, &year, &month, &day);
    if (month < 1 || month > 12 || day < 1 || day > 31)
        return false;
    w.year = year, w.month = month, w.day = day;
    return true;
}

// The data set lines of a z/OS catalog listing by what they hold, not by
// their columns, which move with the widths of the values:
//   Volume Unit    Referred Ext Used Recfm Lrecl BlkSz Dsorg Dsname
//   WYOSPT 3390   2011/03/14  1   15  FB      80 27920  PO-E  USER.LIB
// The data set name is the last word (data set names hold no blanks), the
// organisation the word before it.  True when the line was such a line.
bool DecodeMvsDataSet(Work &w)
{
    const char *start[12];
    size_t length[12];
    size_t n = Tokens(w.line, start, length, 12);
    if (n == 2 && StartsWithNoCase(w.line, "Migrated")) {
        SetName(w, start[1], length[1]);  // on tape: listed, not readable until recalled
        return true;
    }
    if (n == 3 && StartsWith(w.line, "Pseudo Directory")) {
        w.kind = DIRENTRY_DIR;
        SetName(w, start[2], length[2]);
        return true;
    }
    if (n < 5 || n > 11 || !IsDsorg(start[n - 2], length[n - 2]))
        return false;
    uint64_t year = w.year, month = w.month, day = w.day;
    if (!MvsReferred(start[2], length[2], w)) {
        w.year = year, w.month = month, w.day = day;
        return false;
    }
    if (start[n - 2][0] == 'P' && start[n - 2][1] == 'O')
        w.kind = DIRENTRY_DIR;  // partitioned: its members are listed inside it
    SetName(w, start[n - 1], length[n - 1]);
    return true;
}

}  // namespace

void DecodeMvs(Work &w)
{
    const char *line = w.line;
    size_t length = LineLength(w);
    const char *permEnd;
    if (PermissionBlock(line, &permEnd)) {
        DecodeUnix(w);  // z/OS UNIX files: ls -l lines
        return;
    }
    if (!strstr(line, " VSAM ") && !strstr(line, "Not Direct Acc") && DecodeMvsDataSet(w))
        return;
    if (length > 50 && line[6] != ' ' && !StartsWithNoCase(line, "Migrated")) {
        const char *rest = line;
        while (*rest && *rest != ' ')
            ++rest;
        if (strstr(rest, "MIGRAT"))
            return;
        SetNameFirstWord(w, line);
        return;
    }
    if (length < 55 || strstr(line, "Not Direct Acc") || strstr(line, " VSAM ") ||
        strstr(line, "Lrecl") || line[0] == ' ') {
        if (line[0] != ' ' && IsBlankOrEnd(At(w, 9)))
            SetNameFromColumns(w, 0, 8);  // a member name
        return;
    }
    // Four-digit years put the second "/" of the date at column 21 and push
    // the data set name two columns to the right.
    size_t nameColumn = At(w, 21) == '/' ? 56 : 54;
    if (strstr(line, " PO ")) {
        w.kind = DIRENTRY_DIR;  // partitioned data set
        SetName(w, Col(w, nameColumn));
        return;
    }
    if (At(w, 9) == ' ' && IsDigit(At(w, 10))) {
        SetNameFromColumns(w, 0, 8);  // member line with statistics
        return;
    }
    if (IsDigit(At(w, 14)))
        DatePair(Col(w, 14), &w.year, &w.month, &w.day);
    const char *name = Col(w, nameColumn);
    while (*name == ' ' || *name == '\t')
        ++name;
    SetName(w, name);
}

void DecodeMvsKnet(Work &w)
{
    const char *line = w.line;
    if (strstr(line, "Migrated"))
        return;
    const char *rest = line;
    while (*rest && *rest != ' ' && *rest != '\t')
        ++rest;
    if (strstr(rest, " PO "))
        w.kind = DIRENTRY_DIR;
    const char *name = line;
    size_t userLength = strlen(w.user);
    if (userLength > 0 && StartsWithNoCase(line, w.user) && line[userLength] == '.')
        name = line + userLength + 1;  // the user's own high-level qualifier
    SetName(w, name, size_t(rest - name));
}

void DecodeSpartacus(Work &w)
{
    if (strstr(w.line, "Migrated"))
        return;
    char cols[24];
    size_t n = 0;
    for (const char *s = w.line; n < 23 && s[n]; ++n)
        cols[n] = s[n];
    cols[n] = 0;
    TrimRight(cols);
    const char *start = cols;
    while (*start == ' ')
        ++start;
    if (strlen(start) <= 1)
        return;
    // qualifiers in blank-separated columns, joined with dots
    char name[24];
    size_t k = 0;
    for (const char *s = start; *s; ++s) {
        if (*s == ' ') {
            if (s[-1] != ' ')
                name[k++] = '.';
        } else {
            name[k++] = *s;
        }
    }
    name[k] = 0;
    SetName(w, name);
    if (IsDigit(At(w, 57)))
        DatePair(Col(w, 57), &w.year, &w.month, &w.day);
    w.hour = NumAt(w, 67);
    w.minute = NumAt(w, 70);
    w.second = NumAt(w, 73);
    w.size = MulSat(NumAt(w, 27), NumAt(w, 33));
}

void DecodeAs400(Work &w)
{
    char *line = w.line;
    size_t length = LineLength(w);
    if (length <= 51)
        return;
    if (char *star = strchr(line + 16, '*')) {
        // "RMTUSR   28672 05/06/98 12:59:30 *FILE      RMTLIB/QCLSRC.FILE"
        // "RMTUSR                           *MEM       RMTLIB/QCLSRC.FILE/MBR1.MBR"
        const char *type = star + 1;
        size_t typeLength = 0;
        while (type[typeLength] && type[typeLength] != ' ')
            ++typeLength;
        if (IsDirType(type, typeLength))
            w.kind = DIRENTRY_DIR;
        char *name = star + 1 + typeLength;
        while (*name == ' ')
            ++name;
        size_t n = strlen(name);
        if (n > 0 && name[n - 1] == '/')
            name[n - 1] = 0;
        bool member = typeLength == 3 && memcmp(type, "MEM", 3) == 0;
        if (char *slash = strrchr(name, '/')) {
            // An object is named by its last part.  A member is reached
            // through its file, "QCLSRC.FILE/MBR1.MBR": the last two parts.
            char *from = slash + 1;
            if (member) {
                *slash = 0;
                char *fileSlash = strrchr(name, '/');
                *slash = '/';
                from = fileSlash ? fileSlash + 1 : name;
            }
            name = from;
        }
        SetName(w, name);

        if (member) {
            // members carry no date of their own: they borrow their file's
            w.year = t_as400.year;
            w.month = t_as400.month;
            w.day = t_as400.day;
            w.hour = t_as400.hour;
            w.minute = t_as400.minute;
            w.second = t_as400.second;
            w.size = t_as400.size;
            return;
        }
        const char *timeField = FieldBefore(line, star);
        const char *dateField = FieldBefore(line, timeField);
        const char *sizeField = FieldBefore(line, dateField);
        ClockTime(timeField, &w.hour, &w.minute);
        DatePair(dateField, &w.year, &w.month, &w.day);
        w.size = NumberAt(sizeField);
        t_as400 = As400Carry{w.year, w.month, w.day, w.hour, w.minute, w.second, w.size};
        return;
    }

    size_t dateColumn, timeColumn, nameColumn;
    if (At(w, 26) == '/') {
        const char *type = Col(w, 43);
        if (StartsWith(type, "MEM"))
            return;
        if (StartsWith(type, "DIR") || StartsWith(type, "DDI") || StartsWith(type, "LIB") ||
            StartsWith(type, "FLR"))
            w.kind = DIRENTRY_DIR;
        dateColumn = 24, timeColumn = 33, nameColumn = 53;
    } else {
        const char *type41 = Col(w, 41), *type43 = Col(w, 43);
        if (StartsWith(type41, "MEM"))
            return;
        if (StartsWith(type41, "DIR") || StartsWith(type41, "DDI") ||
            StartsWith(type43, "LIB") || StartsWith(type43, "FLR"))
            w.kind = DIRENTRY_DIR;
        dateColumn = 22, timeColumn = 31, nameColumn = 51;
    }
    DatePair(Col(w, dateColumn), &w.year, &w.month, &w.day);
    ClockTime(Col(w, timeColumn), &w.hour, &w.minute);
    SetName(w, Col(w, nameColumn));
    if (At(w, 20) != ' ') {
        w.size = NumberEndingAt(w, 20);
        t_as400.size = w.size;
    }
}

void DecodeMusic(Work &w)
{
    if (w.line[0] == ' ' || LineLength(w) <= 60)
        return;
    SetNameFirstWord(w, w.line);
    w.day = NumAt(w, 45);
    w.month = MonthNumber(Col(w, 47));
    w.year = YearAtCol(w, 50);
    w.hour = NumAt(w, 53);
    w.minute = NumAt(w, 56);
    w.size = MulSat(NumAt(w, 30), 1024);  // listed in kilobytes
}

void DecodeR1000(Work &w)
{
    const char *rest = w.line;
    while (*rest && *rest != ' ' && *rest != '\t')
        ++rest;
    if (strstr(rest, "SESSION"))
        return;
    if (strstr(rest, "DIRECTORY") || strstr(rest, "WORLD"))
        w.kind = DIRENTRY_DIR;
    SetNameFirstWord(w, w.line);
}

}  // namespace listing
}  // namespace tessel
