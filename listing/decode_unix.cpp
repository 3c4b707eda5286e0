// UNIX-style listings: ls -l with and without the group column, and the
// servers that imitate it with columns of their own (UniTree, MacOS Peter
// server, HellSoft, NetWare v4).
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

void DecodeUnix(Work &w)
{
    if (IsTotalLine(w))
        return;
    char *line = w.line;
    char *name;
    const char *f5 = FieldStart(line, 5);
    if (f5 && IsDigit(f5[0])) {
        // mode, links, owner, group, size, month, day, time-or-year, name
        name = FieldStart(line, 9);
        if (name && *name) {
            LinkOrDir(w, name);
            UnixFields(w, 8, 6, 7, 8, 5, CurrentHostType());
        }
    } else {
        // no group column
        name = FieldStart(line, 8);
        if (name && *name) {
            LinkOrDir(w, name);
            UnixFields(w, 7, 5, 6, 7, 4, CurrentHostType());
        }
    }
    if (!name || !*name) {
        name = AfterLastBlank(line);
        if (!*name)
            return;
        if (BeginsWithD(w) || HasDirMarker(line))
            w.kind = DIRENTRY_DIR;
    }
    SetName(w, name);
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
