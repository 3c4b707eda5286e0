#include "sessiontext.h"

#include <string.h>

int SessionPwdPath(const char *line, char *out, size_t outSize, bool lineWasCut)
{
    if (!out || !outSize)
        return 0;
    out[0] = 0;
    if (!line)
        return 0;
    char quote = '"';
    const char *p = strchr(line, '"');
    if (!p) {
        quote = '\'';
        p = strchr(line, '\'');
        if (!p)
            return 0;
    }
    ++p;
    std::string path;
    while (*p) {
        if (*p == quote) {
            if (quote == '"' && p[1] == '"') {
                path += '"';
                p += 2;
                continue;
            }
            break;
        }
        path += *p++;
        if (path.size() > SESSION_PWD_MAX)
            return 0;
    }
    if (!*p && lineWasCut)
        return 0;
    if (path.size() > 1 && path.back() == '/')
        path.pop_back();
    if (path.size() >= outSize)
        return 0;
    memcpy(out, path.c_str(), path.size() + 1);
    return 1;
}

std::vector<std::string> SplitInitCommands(const char *text)
{
    std::vector<std::string> out;
    if (!text || !*text)
        return out;
    std::string piece;
    for (const char *p = text; *p; ++p) {
        if (*p == ';') {
            out.push_back(piece);
            piece.clear();
        } else {
            piece += *p;
        }
    }
    if (!piece.empty())
        out.push_back(piece);
    return out;
}

namespace {

// Days from 1 March of year 0 (proleptic Gregorian), the usual civil-date
// conversion: months counted from March put the leap day last.
long long DaysFromCivil(long long y, int m, int d)
{
    y -= m <= 2;
    long long era = (y >= 0 ? y : y - 399) / 400;
    long long yoe = y - era * 400;
    long long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe;
}

void CivilFromDays(long long z, long long *y, int *m, int *d)
{
    long long era = (z >= 0 ? z : z - 146096) / 146097;
    long long doe = z - era * 146097;
    long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    long long mp = (5 * doy + 2) / 153;
    *d = (int)(doy - (153 * mp + 2) / 5 + 1);
    *m = (int)(mp < 10 ? mp + 3 : mp - 9);
    *y = yoe + era * 400 + (*m <= 2);
}

int DaysInMonth(long long y, int m)
{
    static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return m == 2 && leap ? 29 : days[m - 1];
}

} // namespace

void ShiftListingTime(ListingTime *t, long hours)
{
    if (!t || hours == 0)
        return;
    if (t->month < 1 || t->month > 12 || t->day < 1 || t->day > DaysInMonth(t->year, t->month) ||
        t->hour < 0 || t->hour > 23)
        return;
    long long total = DaysFromCivil(t->year, t->month, t->day) * 24 + t->hour + hours;
    long long days = total >= 0 ? total / 24 : -((-total + 23) / 24);
    int hour = (int)(total - days * 24);
    long long y;
    int m, d;
    CivilFromDays(days, &y, &m, &d);
    if (y < 0 || y > 30000)
        return; // beyond anything a FILETIME or SYSTEMTIME holds
    t->year = (int)y;
    t->month = m;
    t->day = d;
    t->hour = hour;
}
