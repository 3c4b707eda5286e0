// UNIX-style listings: ls -l with and without the group column, and the
// servers that imitate it with columns of their own (UniTree, MacOS Peter
// server, HellSoft, NetWare v4).
#include "dategroup.h"
#include "lineutil.h"

#include <string.h>

namespace tessel {
namespace listing {

namespace {

inline bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsTotalLine(const Work &w)
{
    return StartsWithNoCase(w.line, "total");
}

bool BeginsWithD(const Work &w)
{
    return w.line[0] == 'd' || w.line[0] == 'D';
}

void RemoveTrailingSlash(char *name)
{
    size_t n = strlen(name);
    if (n > 0 && (name[n - 1] == '/' || name[n - 1] == '\\'))
        name[n - 1] = 0;
}

// Morning or afternoon after a NetWare clock time; 12 am is midnight.
void ApplyAmPm(uint64_t &hour, char letter)
{
    if ((letter == 'p' || letter == 'P') && hour != 12)
        hour += 12;
    else if ((letter == 'a' || letter == 'A') && hour == 12)
        hour = 0;
}

}  // namespace

void UnixFields(Work &w, int yearField, int monthField, int dayField, int timeField,
                int sizeField, int hostType)
{
    char *line = w.line;
    if (const char *f = FieldStart(line, monthField))
        w.month = MonthNumber(f);
    w.day = NumberAt(FieldStart(line, dayField));

    const char *t = FieldStart(line, timeField);
    if (hostType == 6035) {
        w.year = YearAt(FieldStart(line, yearField));
        if (t) {
            if (t[0] && t[1] && t[2] == ':') {
                w.hour = NumberAt(t);
                w.minute = NumberAt(t + 3);
            } else if (t[0] && t[1] == ':') {
                w.hour = NumberAt(t);
                w.minute = NumberAt(t + 2);
            }
            if (const char *next = FieldStart(line, timeField + 1))
                ApplyAmPm(w.hour, next[0]);
        }
    } else if (t && t[0] && (t[1] == ':' || (t[1] && t[2] == ':'))) {
        // "Mar 14 10:21": within the last six months, so the year is not
        // shown; a month later than now can only be last year's.
        w.hour = NumberAt(t);
        w.minute = NumberAt(strchr(t, ':') + 1);
        int year, month;
        CurrentYearMonth(&year, &month);
        w.year = uint64_t(year);
        if (uint64_t(month) < w.month)
            w.year -= 1;
    } else if (t) {
        w.year = YearAt(t);
    }

    w.size = NumberAt(FieldStart(line, sizeField));
    if (w.year >= 1 && w.year <= 1899)
        w.year += 1900;
}

void LinkOrDir(Work &w, char *name)
{
    TerminateBefore(w, name);
    bool dir = BeginsWithD(w) || HasDirMarker(w.line);
    if (dir)
        RemoveTrailingSlash(name);
    if (char *arrow = strstr(name, " ->")) {
        *arrow = 0;
        w.kind = DIRENTRY_LINK;
    } else {
        w.kind = dir ? DIRENTRY_DIR : DIRENTRY_FILE;
    }
}

namespace {

// Which characters may stand where in a permission block.
struct PermissionTable {
    bool type[256], letter[256];
    PermissionTable() : type(), letter()
    {
        for (const char *t = "-dlbcpsDa"; *t; ++t)  // "a": Plan 9's append-only files
            type[(unsigned char)*t] = true;
        for (const char *l = "rwxsStTlL-"; *l; ++l)
            letter[(unsigned char)*l] = true;
    }
};
const PermissionTable kPermission;

}  // namespace

bool PermissionBlock(const char *s, const char **end)
{
    if (!kPermission.type[(unsigned char)s[0]])
        return false;
    for (int i = 1; i <= 9; ++i)
        if (!kPermission.letter[(unsigned char)s[i]])
            return false;  // also at the end of the text
    const char *p = s + 10;
    if (*p == '+' || *p == '.' || *p == '@')
        ++p;
    // A link count too wide for its column follows without a blank
    // ("drwxr-xr-x1732 ..."): it is the next token.
    if (*p != ' ' && !(IsDigit(*p) && p == s + 10))
        return false;
    *end = p;
    return true;
}

namespace {

// The size in the token [start, end): a plain or grouped number, or the
// digits a too-wide size pushed into the group column before it
// ("staffgroup9876543").
uint64_t SizeOfToken(const char *start, const char *end)
{
    uint64_t size;
    const char *e;
    if (ParseSize(start, &size, &e) && e == end)
        return size;
    if (!IsDigit(end[-1])) {
        // "33.5k": as near as the listing tells
        uint64_t whole = 0, tenths = 0;
        const char *p = start;
        while (p < end && IsDigit(*p))
            whole = MulSat(whole, 10) + uint64_t(*p++ - '0');
        if (p + 1 < end && *p == '.' && IsDigit(p[1]))
            tenths = uint64_t(p[1] - '0');
        unsigned shift = 0;
        switch (end[-1]) {
        case 'k': case 'K': shift = 10; break;
        case 'M': shift = 20; break;
        case 'G': shift = 30; break;
        case 'T': shift = 40; break;
        default: shift = 50; break;
        }
        uint64_t unit = uint64_t(1) << shift;
        return MulSat(whole, unit) + MulSat(tenths, unit) / 10;
    }
    const char *d = end;
    while (d > start && IsDigit(d[-1]))
        --d;
    return NumberAt(d);
}

// A size ends in a digit, or in the unit of ls -h ("33.5k", "1.2M").
bool IsSizeEnd(const char *start, const char *end)
{
    char last = end[-1];
    if (IsDigit(last))
        return true;
    return end - start >= 2 && IsDigit(end[-2]) && strchr("kKMGTP", last) && last != 0;
}

// "ls -b" writes a blank inside a name as "\ " and a backslash as "\\":
// when every blank of the name is written so, the name is the text
// without the escapes.
void UnescapeBlanks(char *name)
{
    bool escaped = false;
    for (const char *p = name; *p; ++p) {
        if (*p == '\\' && p[1]) {
            escaped |= p[1] == ' ';
            ++p;
        } else if (*p == ' ') {
            return;  // a blank as it stands: the name is not escaped
        }
    }
    if (!escaped)
        return;
    char *out = name;
    for (const char *p = name; *p; ++p) {
        if (*p == '\\' && (p[1] == ' ' || p[1] == '\\'))
            ++p;
        *out++ = *p;
    }
    *out = 0;
}

void DateFromGroup(Work &w, const DateGroup &g)
{
    w.month = g.month;
    w.day = g.day;
    w.hour = g.hour;
    w.minute = g.minute;
    w.second = g.second;
    if (g.hasYear) {
        w.year = g.year;
        return;
    }
    // Within the last six months the year is not shown: a month later
    // than now can only be last year's.
    int year, month;
    CurrentYearMonth(&year, &month);
    w.year = uint64_t(year);
    if (uint64_t(month) < w.month)
        w.year -= 1;
}

// The permission block, the size immediately before a date group, and the
// name as the rest of the line after exactly one blank.  Owner and group
// may hold blanks or be missing; nothing in them is read.  Returns false
// when the line has no such date group (the caller tries the columns).
bool DecodeUnixAnchored(Work &w, const char *block, const char *permEnd)
{
    const char *line = w.line;
    const char *prevStart = block, *prevEnd = permEnd;
    const char *p = permEnd;
    while (*p == ' ')
        ++p;
    DateGroup g;
    for (;;) {
        if (!*p)
            return false;
        const char *tokenEnd = p;
        while (*tokenEnd && *tokenEnd != ' ')
            ++tokenEnd;
        if (IsSizeEnd(prevStart, prevEnd) && ParseDateGroup(p, &g))
            break;
        prevStart = p;
        prevEnd = tokenEnd;
        p = tokenEnd;
        while (*p == ' ')
            ++p;
    }
    if (prevStart == block)
        return false;  // a date right after the permissions: no size
    w.size = SizeOfToken(prevStart, prevEnd);
    DateFromGroup(w, g);

    const char *name = g.end;
    if (*name == ' ')
        ++name;
    // A year is one character narrower than a time of day: ls pads it to
    // the same width, after it on some servers.
    if (g.endsInYear && *name == ' ')
        ++name;
    if (!*name)
        return true;  // a date and no name: no entry

    // The whole rest of the line, with the blanks the cleaning took off its end.
    size_t n = w.length - size_t(name - line);
    size_t room = sizeof w.name - 1;
    size_t k = 0;
    for (; k < n && k < room; ++k)
        w.name[k] = name[k];
    for (size_t t = 0; t < w.trailingBlanks && k < room; ++t)
        w.name[k++] = ' ';
    w.name[k] = 0;

    bool dir = block[0] == 'd' || block[0] == 'D';
    char *arrow = w.name;
    while ((arrow = static_cast<char *>(memchr(arrow, '-', k - size_t(arrow - w.name)))) &&
           !(arrow > w.name && arrow[-1] == ' ' && arrow[1] == '>'))
        ++arrow;
    if (arrow) {
        arrow[-1] = 0;  // "name -> target"
        w.kind = DIRENTRY_LINK;
    } else if (block[0] == 'l') {
        w.kind = DIRENTRY_LINK;  // a link whose target the server does not show
    } else {
        w.kind = dir ? DIRENTRY_DIR : DIRENTRY_FILE;
        if (dir)
            RemoveTrailingSlash(w.name);
    }
    UnescapeBlanks(w.name);
    if (!w.name[0])
        w.kind = DIRENTRY_FILE;
    return true;
}

// The columns of the old ls layouts: with owner and group (name in field 9)
// or without a group (field 8).  Only when the columns hold a month, a day,
// a time or year and a size: otherwise the line is no entry.
void DecodeUnixColumns(Work &w)
{
    w.kind = 0;
    char *line = w.line;
    const char *f5 = FieldStart(line, 5);
    bool group = f5 && IsDigit(f5[0]);
    int nameField = group ? 9 : 8, sizeField = group ? 5 : 4;
    char *name = FieldStart(line, nameField);
    const char *month = FieldStart(line, nameField - 3), *day = FieldStart(line, nameField - 2),
               *time = FieldStart(line, nameField - 1), *size = FieldStart(line, sizeField);
    if (!name || !*name || !MonthNumber(month) || !IsDigit(day[0]) || !IsDigit(time[0]) ||
        !IsDigit(size[0]))
        return;
    LinkOrDir(w, name);
    if (group)
        UnixFields(w, 8, 6, 7, 8, 5, CurrentHostType());
    else
        UnixFields(w, 7, 5, 6, 7, 4, CurrentHostType());
    SetName(w, name);
}

bool IsPermissionWord(const char *p, const char *end)
{
    if (end - p < 2 || (*p != '-' && *p != 'd' && *p != 'D' && *p != 'l'))
        return false;
    for (++p; p < end; ++p)
        if (!strchr("rwxsStT-", *p))
            return false;
    return true;
}

// Lines without the columns of ls -l: a bare name (a server that answers
// LIST with names only), or a short permission word and a name.  Headers
// ("/pub:", ".:") and anything longer, such as a message, are no entry.
void DecodeNameOnly(Work &w)
{
    char *line = w.line;
    const char *blank = strchr(line, ' ');
    if (strchr(line, '\t'))
        return;
    if (!blank) {
        size_t n = LineLength(w);
        if (n > 0 && line[n - 1] != ':')
            SetName(w, line);
        return;
    }
    const char *second = blank;
    while (*second == ' ')
        ++second;
    if (!*second || strchr(second, ' ') || !IsPermissionWord(line, blank))
        return;
    if (line[0] == 'd' || line[0] == 'D')
        w.kind = DIRENTRY_DIR;
    SetName(w, second);
}

}  // namespace

void DecodeUnix(Work &w)
{
    if (IsTotalLine(w))
        return;
    const char *permEnd;
    if (PermissionBlock(w.line, &permEnd)) {
        if (!DecodeUnixAnchored(w, w.line, permEnd))
            DecodeUnixColumns(w);
        return;
    }
    // "ls -i" and "ls -s" put the inode number or the block count (or
    // both) before the permissions.
    const char *p = w.line;
    for (int numbers = 0; numbers < 2 && IsDigit(*(p += strspn(p, " "))); ++numbers) {
        p += strspn(p, "0123456789");
        if (*p != ' ')
            break;
        p += strspn(p, " ");
        if (PermissionBlock(p, &permEnd)) {
            if ((p[1] == '-' || p[1] == 'r') && (p[2] == '-' || p[2] == 'w') &&
                (p[3] == '-' || p[3] == 'x') && (p[9] == '-' || p[9] == 'x')) {
                w.mode = 0;
                for (int i = 1; i <= 9; ++i)
                    w.mode = w.mode << 1 | (p[i] == "rwxrwxrwx"[i - 1] ? 1u : 0u);
                w.modeFlags |= DIRENTRY_MODE_VALID;
            }
            DecodeUnixAnchored(w, p, permEnd);
            return;
        }
    }
    // A Windows server taken for a UNIX one, or one that lists like
    // Windows whatever it says about itself.
    if (DecodeWindowsLine(w))
        return;
    // Servers with a permission column of their own (NetWare's
    // "d [R----F--]") keep the columns of ls.
    DecodeUnixColumns(w);
    if (!w.name[0])
        DecodeNameOnly(w);
}

void DecodeUniTree(Work &w)
{
    if (IsTotalLine(w))
        return;
    char *name = FieldStart(w.line, 11);
    bool columns = name != nullptr;
    if (!columns)
        name = AfterLastBlank(w.line);
    if (!*name)
        return;
    LinkOrDir(w, name);
    if (columns)
        UnixFields(w, 10, 8, 9, 10, 7, CurrentHostType());
    SetName(w, name);
}

void DecodePeterServer(Work &w)
{
    if (IsTotalLine(w))
        return;
    bool dir = w.line[0] == 'd';
    char *name = FieldStart(w.line, dir ? 7 : 8);
    if (name) {
        if (dir)
            UnixFields(w, 6, 4, 5, 6, 3, CurrentHostType());
        else
            UnixFields(w, 7, 5, 6, 7, 4, CurrentHostType());
    } else {
        name = AfterLastBlank(w.line);
    }
    if (dir)
        w.kind = DIRENTRY_DIR;
    SetName(w, name);
}

void DecodeHellSoft(Work &w)
{
    if (IsTotalLine(w))
        return;
    bool dir = w.line[0] == 'd';
    char *name = FieldStart(w.line, 8);
    if (name)
        UnixFields(w, 7, 5, 6, 7, dir ? 0 : 4, CurrentHostType());  // a directory shows no size
    else
        name = AfterLastBlank(w.line);
    if (dir)
        w.kind = DIRENTRY_DIR;
    SetName(w, name);
}

void DecodeNetWare(Work &w)
{
    if (IsTotalLine(w))
        return;
    char *line = w.line;
    if (At(w, 1) == ' ') {
        // "d [RWCEAFMS] owner  512 Apr 11 1997 11:24 am NAME"
        char *name = FieldStart(line, 10);
        if (name)
            UnixFields(w, 7, 5, 6, 8, 4, 6035);
        else
            name = AfterLastBlank(line);
        if (line[0] == 'd')
            w.kind = DIRENTRY_DIR;
        SetName(w, name);
        return;
    }
    if (At(w, 1) != 'r' && At(w, 1) != '-')
        return;

    if (line[0] == 'd')
        w.kind = DIRENTRY_DIR;
    w.size = NumberEndingAt(w, 47);
    w.month = UpperMonth(Col(w, 51));
    w.day = NumAt(w, 55);
    const char *p = strchr(Col(w, 55), ',');
    if (!p)
        return;  // no year, time or name
    ++p;
    w.year = YearAt(p);  // two digits: 70..99 are 19xx, 00..69 20xx
    while (*p == ' ')
        ++p;
    while (IsDigit(*p))
        ++p;
    while (*p == ' ')
        ++p;
    if (IsDigit(*p)) {
        w.hour = NumberAt(p);
        while (IsDigit(*p))
            ++p;
        if (*p == ':') {
            ++p;
            w.minute = NumberAt(p);
            while (IsDigit(*p))
                ++p;
        }
        // "11:24pm", "11:24p" or "11:24 pm"
        const char *q = p;
        while (*q == ' ')
            ++q;
        char l0 = q[0], l1 = l0 ? q[1] : 0, l2 = l1 ? q[2] : 0;
        bool letter = l0 == 'a' || l0 == 'A' || l0 == 'p' || l0 == 'P';
        bool marker = letter && (q == p || l1 == 0 || l1 == ' ' ||
                                 ((l1 == 'm' || l1 == 'M') && (l2 == 0 || l2 == ' ')));
        if (marker) {
            ApplyAmPm(w.hour, l0);
            p = q;
            while (*p && *p != ' ')
                ++p;
        }
    }
    while (*p == ' ')
        ++p;
    SetName(w, p);
    TrimRight(w.name);
}

}  // namespace listing
}  // namespace tessel
