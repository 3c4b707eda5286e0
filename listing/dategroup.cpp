// Date groups and sizes as today's servers write them.
#include "dategroup.h"

#include "lineutil.h"

#include <string.h>

namespace tessel {
namespace listing {

namespace {

inline bool IsEnd(char c) { return c == 0 || c == ' '; }

inline char Lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

inline bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

const char *SkipBlanks(const char *p)
{
    while (*p == ' ')
        ++p;
    return p;
}

// Up to 9 digits at p (more are no part of any date); the count, 0 if none.
int ReadNumber(const char *&p, uint64_t *value)
{
    uint64_t v = 0;
    int n = 0;
    while (IsDigitChar(*p)) {
        if (n < 9)
            v = v * 10 + unsigned(*p - '0');
        ++n;
        ++p;
    }
    *value = v;
    return n;
}

// A month written as a word: "Mar", "mar", "MAR", "Sept", "March".  Only
// whole words: "Marketing" is no month.  Returns 1..12, or 0; *end is set
// past the letters.
unsigned MonthWord(const char *p, const char **end)
{
    static const char *const kNames[] = {"january", "february", "march",     "april",
                                         "may",     "june",     "july",      "august",
                                         "september", "october", "november", "december"};
    size_t n = 0;
    while (IsLetter(p[n]) && n < 10)
        ++n;
    if (n == 1 && (p[0] == 'M' || p[0] == 'm') && (unsigned char)p[1] == 0xC3 &&
        (unsigned char)p[2] == 0xA4 && Lower(p[3]) == 'r' && !IsLetter(p[4])) {
        *end = p + 4;  // "Mär" in UTF-8
        return 3;
    }
    if (n == 1 && (p[0] == 'M' || p[0] == 'm') && (unsigned char)p[1] == 0xE4 && Lower(p[2]) == 'r' &&
        !IsLetter(p[3])) {
        *end = p + 3;  // "Mär" in Latin-1
        return 3;
    }
    if (n == 0 && ((unsigned char)p[0] == 0xD0 || (unsigned char)p[0] == 0xD1)) {
        // Russian abbreviations in UTF-8 (three Cyrillic letters)
        static const char *const kRussian[] = {
            "\xd1\x8f\xd0\xbd\xd0\xb2", "\xd1\x84\xd0\xb5\xd0\xb2", "\xd0\xbc\xd0\xb0\xd1\x80",
            "\xd0\xb0\xd0\xbf\xd1\x80", "\xd0\xbc\xd0\xb0\xd0\xb9", "\xd0\xb8\xd1\x8e\xd0\xbd",
            "\xd0\xb8\xd1\x8e\xd0\xbb", "\xd0\xb0\xd0\xb2\xd0\xb3", "\xd1\x81\xd0\xb5\xd0\xbd",
            "\xd0\xbe\xd0\xba\xd1\x82", "\xd0\xbd\xd0\xbe\xd1\x8f", "\xd0\xb4\xd0\xb5\xd0\xba"};
        for (unsigned m = 0; m < 12; ++m)
            if (strncmp(p, kRussian[m], 6) == 0 && (p[6] == ' ' || p[6] == 0 || p[6] == '.')) {
                *end = p[6] == '.' ? p + 7 : p + 6;
                return m + 1;
            }
        return 0;
    }
    if (n < 3 || IsLetter(p[n]))
        return 0;
    unsigned month = MonthNumber(p);
    if (month == 0 && n == 3) {
        // German and Dutch abbreviations that differ from the English ones
        char a = Lower(p[0]), b = Lower(p[1]), c = Lower(p[2]);
        if (a == 'm' && b == 'a' && c == 'i')
            month = 5;
        else if (a == 'm' && b == 'r' && c == 'z')
            month = 3;
        else if (a == 'o' && b == 'k' && c == 't')
            month = 10;
        else if (a == 'd' && b == 'e' && c == 'z')
            month = 12;
        else if (a == 'm' && b == 'r' && c == 't')
            month = 3;
        else if (a == 'm' && b == 'e' && c == 'i')
            month = 5;
        if (month) {
            *end = p + 3;
            return month;
        }
    }
    if (month == 0)
        return 0;
    if (n > 3) {
        const char *full = kNames[month - 1];
        bool sept = month == 9 && n == 4;  // "Sept"
        for (size_t i = 0; i < n; ++i)
            if (full[i] == 0 || Lower(p[i]) != full[i])
                return 0;
        if (!sept && full[n] != 0)
            return 0;
    }
    *end = p + n;
    return month;
}

bool ValidDate(uint64_t year, uint64_t month, uint64_t day)
{
    return month >= 1 && month <= 12 && day >= 1 && day <= 31 && year <= 2099;
}

bool IsYear4(const char *p, uint64_t *year, const char **end)
{
    uint64_t v;
    const char *q = p;
    if (ReadNumber(q, &v) != 4 || v < 1900 || v > 2099)
        return false;
    *year = v;
    *end = q;
    return true;
}

// The token at p is a time of day: take it into the group.
bool TakeTime(const char *p, DateGroup *g)
{
    const char *e;
    if (!ParseTimeToken(p, &g->hour, &g->minute, &g->second, &e))
        return false;
    g->hasTime = true;
    g->end = e;
    return true;
}

// After a complete date: an optional time token.  False when the next
// word has the shape of a time but is none ("25:30"): such a line holds no
// date group that can be trusted.
bool OptionalTime(DateGroup *g)
{
    if (*g->end != ' ')
        return true;
    const char *p = SkipBlanks(g->end);
    if (TakeTime(p, g))
        return true;
    const char *q = p;
    while (IsDigitChar(*q))
        ++q;
    return !(q > p && q - p <= 2 && *q == ':' && IsDigitChar(q[1]));
}

// "Mar 14 10:21", "Mar 14  2011", "Mar 14, 2011 09:30" (p after the month).
bool MonthFirst(const char *p, DateGroup *g)
{
    if (*p != ' ')
        return false;
    p = SkipBlanks(p);
    uint64_t day;
    int digits = ReadNumber(p, &day);
    if (digits < 1 || digits > 2 || day < 1 || day > 31)
        return false;
    bool comma = *p == ',';
    if (comma)
        ++p;
    if (*p != ' ')
        return false;
    g->day = day;
    p = SkipBlanks(p);
    if (!comma && TakeTime(p, g)) {
        // "Mar 14 10:21:33 2011" (ls -T): the full time, then the year
        const char *y = g->end;
        if (y[0] == ' ' && y[-3] == ':' && y[-6] == ':' && IsYear4(SkipBlanks(y), &g->year, &y) &&
            IsEnd(*y)) {
            g->hasYear = true;
            g->end = y;
        }
        return true;
    }
    const char *e;
    if (comma && IsDigitChar(p[0]) && IsDigitChar(p[1]) && IsEnd(p[2])) {
        g->year = FullYear(uint64_t(p[0] - '0') * 10 + uint64_t(p[1] - '0'));  // "Mar 14, 11"
        e = p + 2;
    } else if (!IsYear4(p, &g->year, &e) || !IsEnd(*e)) {
        return false;
    }
    g->hasYear = true;
    g->end = e;
    g->endsInYear = true;
    if (comma && *e == ' ' && TakeTime(SkipBlanks(e), g))
        g->endsInYear = false;
    return true;
}

// "14 Mar 2011", "14 Mar 10:21" (p at the day).
bool DayFirst(const char *p, DateGroup *g)
{
    uint64_t day;
    int digits = ReadNumber(p, &day);
    if (*p == '.')
        ++p;  // "24. Mar 2011"
    if (digits < 1 || digits > 2 || day < 1 || day > 31 || *p != ' ')
        return false;
    p = SkipBlanks(p);
    const char *e;
    unsigned month = MonthWord(p, &e);
    if (!month || *e != ' ')
        return false;
    g->day = day;
    g->month = month;
    p = SkipBlanks(e);
    if (TakeTime(p, g))
        return true;
    if (!IsYear4(p, &g->year, &e) || !IsEnd(*e))
        return false;
    g->hasYear = true;
    g->endsInYear = true;
    g->end = e;
    return true;
}

uint64_t TwoDigitYear(uint64_t y, int digits)
{
    return digits == 4 ? y : FullYear(y);
}

// A date written as one token with "-", "/" or ".": three numbers, a day,
// a month word and a year, or month and day followed by a year or time.
bool NumericDate(const char *p, DateGroup *g, bool alone)
{
    uint64_t n1, n2 = 0, n3 = 0;
    int d1 = ReadNumber(p, &n1);
    if (d1 < 1 || d1 > 4 || d1 == 3)
        return false;
    char sep = *p;
    if (sep != '-' && sep != '/' && sep != '.')
        return false;
    ++p;
    unsigned wordMonth = 0;
    int d2 = 0;
    const char *e;
    if (d1 <= 2 && (wordMonth = MonthWord(p, &e)) != 0) {
        p = e;  // "14-mar-11"
    } else {
        d2 = ReadNumber(p, &n2);
        if (d2 < 1 || d2 > 2)
            return false;
    }
    if (*p != sep) {
        if (alone)
            return false;
        // "03-14 2011", "03-14 09:30": month and day, then a year or a time
        if (wordMonth || d1 > 2 || *p != ' ')
            return false;
        uint64_t month = n1, day = n2;
        if (month > 12 && day <= 12)
            month = n2, day = n1;
        if (!ValidDate(0, month, day))
            return false;
        g->month = month;
        g->day = day;
        p = SkipBlanks(p);
        if (TakeTime(p, g))
            return true;
        if (!IsYear4(p, &g->year, &e) || !IsEnd(*e))
            return false;
        g->hasYear = true;
        g->endsInYear = true;
        g->end = e;
        return true;
    }
    ++p;
    int d3 = ReadNumber(p, &n3);
    if (!IsEnd(*p) || (d3 != 2 && d3 != 4) || (d1 == 4 && d3 == 4))
        return false;
    uint64_t year, month, day;
    if (wordMonth) {
        if (d1 > 2)
            return false;
        day = n1, month = wordMonth, year = TwoDigitYear(n3, d3);
    } else if (d1 == 4) {
        year = n1, month = n2, day = n3;  // 2011-03-14
        if (d3 != 2)
            return false;
    } else if (d1 == 2 && d3 == 2 && n1 > 31) {
        year = FullYear(n1), month = n2, day = n3;  // 98-01-02
    } else if (n1 > 12 || (sep == '.' && n2 <= 12)) {
        day = n1, month = n2, year = TwoDigitYear(n3, d3);  // 14-03-2011, 14.03.2011
    } else {
        month = n1, day = n2, year = TwoDigitYear(n3, d3);  // 03-14-2011, 03/14/11
    }
    if (!ValidDate(year, month, day) || year < 1900)
        return false;
    g->year = year;
    g->month = month;
    g->day = day;
    g->hasYear = true;
    g->endsInYear = true;
    g->end = p;
    if (alone)
        return true;
    if (!OptionalTime(g))
        return false;
    if (g->hasTime)
        g->endsInYear = false;
    return true;
}

}  // namespace

bool ParseTimeToken(const char *p, uint64_t *hour, uint64_t *minute, uint64_t *second,
                    const char **end)
{
    uint64_t h, m, s = 0;
    int dh = ReadNumber(p, &h);
    if (dh < 1 || dh > 2 || *p != ':')
        return false;
    ++p;
    if (ReadNumber(p, &m) != 2)
        return false;
    if (*p == ':') {
        ++p;
        if (ReadNumber(p, &s) != 2)
            return false;
    }
    if (!IsEnd(*p) || h > 23 || m > 59 || s > 60)
        return false;
    *hour = h;
    *minute = m;
    *second = s;
    *end = p;
    return true;
}

bool ParseSize(const char *p, uint64_t *size, const char **end)
{
    if (!IsDigitChar(*p))
        return false;
    uint64_t v = 0;
    auto add = [&v](char c) {
        unsigned d = unsigned(c - '0');
        v = (v > (UINT64_MAX - d) / 10) ? UINT64_MAX : v * 10 + d;
    };
    int leading = 0;
    while (IsDigitChar(*p)) {
        add(*p++);
        ++leading;
    }
    // Groups of three after "," or "." (one separator for the whole number).
    char sep = 0;
    if (leading <= 3 && (*p == ',' || *p == '.')) {
        sep = *p;
        while (*p == sep && IsDigitChar(p[1]) && IsDigitChar(p[2]) && IsDigitChar(p[3]) &&
               !IsDigitChar(p[4])) {
            add(p[1]), add(p[2]), add(p[3]);
            p += 4;
        }
    }
    if (!IsEnd(*p))
        return false;
    *size = v;
    *end = p;
    return true;
}

bool ParseDateGroup(const char *p, DateGroup *g)
{
    *g = DateGroup();
    const char *e;
    if (unsigned month = MonthWord(p, &e)) {
        g->month = month;
        return MonthFirst(e, g);
    }
    if (!IsDigitChar(*p))
        return false;
    const char *q = p;
    while (IsDigitChar(*q))
        ++q;
    if (*q == ' ' || (*q == '.' && q[1] == ' '))
        return DayFirst(p, g);
    return NumericDate(p, g, false);
}

bool ParseDateToken(const char *p, DateGroup *g)
{
    *g = DateGroup();
    return IsDigitChar(*p) && NumericDate(p, g, true);
}

}  // namespace listing
}  // namespace tessel
