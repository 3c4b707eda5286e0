// Text helpers shared by the listing decoders.
#include "lineutil.h"

#include <atomic>
#include <string.h>
#include <time.h>

namespace tessel {
namespace listing {

namespace {

const char kEmpty[1] = {0};

inline bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Reads the digits at p (after blanks), advancing p past them.
uint64_t ReadDigits(const char *&p, bool *found = nullptr)
{
    while (*p == ' ')
        ++p;
    uint64_t v = 0;
    bool any = false;
    while (IsDigit(*p)) {
        any = true;
        unsigned d = unsigned(*p - '0');
        // Listing numbers never come close to this; saturate rather than wrap.
        v = (v > (UINT64_MAX - d) / 10) ? UINT64_MAX : v * 10 + d;
        ++p;
    }
    if (found)
        *found = any;
    return v;
}

}  // namespace

char *FieldStart(char *line, int n)
{
    if (!line || n < 1)
        return nullptr;
    char *p = line;
    for (int i = 1; i < n; ++i) {
        while (*p && *p != ' ')
            ++p;
        while (*p == ' ')
            ++p;
        if (!*p)
            return nullptr;
    }
    return *p ? p : nullptr;
}

int FieldCount(const char *line)
{
    int count = 0;
    bool inField = false;
    for (const char *p = line; p && *p; ++p) {
        bool sep = (*p == ' ' || *p == '\t');
        if (!sep && !inField)
            ++count;
        inField = !sep;
    }
    return count;
}

char *FieldFromEnd(char *line, int k)
{
    int n = FieldCount(line) - k + 1;
    return n >= 1 ? FieldStart(line, n) : nullptr;
}

void TrimRight(char *text)
{
    if (!text)
        return;
    size_t n = strlen(text);
    while (n > 0 && (text[n - 1] == ' ' || text[n - 1] == '\t' || text[n - 1] == '\r' ||
                     text[n - 1] == '\n'))
        --n;
    text[n] = 0;
}

char *AfterLastBlank(char *line)
{
    TrimRight(line);
    char *p = strrchr(line, ' ');
    if (!p)
        p = strrchr(line, '\t');
    if (!p)
        return line;
    ++p;
    while (*p == ' ' || *p == '\t')
        ++p;
    return p;
}

unsigned MonthNumber(const char *text)
{
    if (!text || !text[0] || !text[1] || !text[2])
        return 0;
    // The three letters, lowered (a letter's case bit), as one number.
    auto lower = [](char c) { return unsigned((c >= 'A' && c <= 'Z') ? c | 0x20 : c) & 0xFF; };
    unsigned key = lower(text[0]) << 16 | lower(text[1]) << 8 | lower(text[2]);
    switch (key) {
#define TESSEL_MONTH(a, b, c, n) case unsigned(a) << 16 | unsigned(b) << 8 | unsigned(c): return n;
    TESSEL_MONTH('j', 'a', 'n', 1) TESSEL_MONTH('f', 'e', 'b', 2) TESSEL_MONTH('m', 'a', 'r', 3)
    TESSEL_MONTH('a', 'p', 'r', 4) TESSEL_MONTH('m', 'a', 'y', 5) TESSEL_MONTH('j', 'u', 'n', 6)
    TESSEL_MONTH('j', 'u', 'l', 7) TESSEL_MONTH('a', 'u', 'g', 8) TESSEL_MONTH('s', 'e', 'p', 9)
    TESSEL_MONTH('o', 'c', 't', 10) TESSEL_MONTH('n', 'o', 'v', 11) TESSEL_MONTH('d', 'e', 'c', 12)
#undef TESSEL_MONTH
    default: return 0;
    }
}

unsigned UpperMonth(const char *text)
{
    if (!text)
        return 0;
    char m[4] = {0, 0, 0, 0};
    for (int i = 0; i < 4 && text[i]; ++i)
        m[i] = (text[i] >= 'a' && text[i] <= 'z') ? char(text[i] - 'a' + 'A') : text[i];
    switch (m[0]) {
    case 'A': return m[1] == 'P' ? 4 : m[1] == 'U' ? 8 : 0;
    case 'D': return 12;
    case 'F': return 2;
    case 'J':
        if (m[1] == 'A')
            return 1;
        return m[2] == 'L' ? 7 : m[2] == 'N' ? 6 : 0;
    case 'M': return m[2] == 'R' ? 3 : m[2] == 'Y' ? 5 : 0;
    case 'N': return 11;
    case 'O': return 10;
    case 'S': return 9;
    default: return 0;
    }
}

uint64_t NumberAt(const char *text)
{
    if (!text)
        return 0;
    return ReadDigits(text);
}

bool HasNumberAt(const char *text)
{
    if (!text)
        return false;
    bool found = false;
    ReadDigits(text, &found);
    return found;
}

uint64_t ValueAt(const char *text)
{
    if (!text)
        return 0;
    while (*text == ' ' || (*text >= '\t' && *text <= '\r'))
        ++text;
    bool negative = false;
    if (*text == '+' || *text == '-')
        negative = (*text++ == '-');
    uint64_t v = ReadDigits(text);
    return negative ? 0 : v;
}

bool HasDirMarker(const char *text)
{
    static const char *const kMarkers[] = {"<DIR>",       " dir ", " Dir ", " DIR ",
                                           "<DIRECTORY>", "[dir]", "<dir>"};
    if (!text)
        return false;
    for (const char *m : kMarkers)
        if (strstr(text, m))
            return true;
    return false;
}

void SqueezeBlanks(char *text)
{
    if (!text)
        return;
    TrimRight(text);
    char *out = text;
    for (const char *in = text; *in; ++in)
        if (*in != ' ')
            *out++ = *in;
    *out = 0;
}

uint64_t FullYear(uint64_t year)
{
    if (year < 70)
        return 2000 + year;
    if (year < 1900)
        return 1900 + year;
    return year;
}

uint64_t YearAt(const char *text)
{
    if (!text)
        return 0;
    bool found = false;
    uint64_t v = ReadDigits(text, &found);
    return found ? FullYear(v) : 0;
}

void DatePair(const char *text, uint64_t *year, uint64_t *month, uint64_t *day)
{
    uint64_t n[3] = {0, 0, 0};
    bool found[3] = {false, false, false};
    const char *p = text ? text : kEmpty;
    for (int i = 0; i < 3; ++i) {
        if (i > 0) {
            if (*p != '-' && *p != '/')
                break;
            while (*p == '-' || *p == '/')
                ++p;
        }
        n[i] = ReadDigits(p, &found[i]);
    }
    int y = 2, m = 0, d = 1;  // month-day-year
    if (n[2] < 32) {
        y = 0, m = 1, d = 2;  // year-month-day
        // "12-25-05" is not the 25th month of 2012: when only the other
        // order makes a date, take it.
        if (n[1] > 12 && n[0] >= 1 && n[0] <= 12 && n[1] <= 31)
            y = 2, m = 0, d = 1;
    }
    *year = found[y] ? FullYear(n[y]) : 0;
    *month = n[m];
    *day = n[d];
}

void ClockTime(const char *text, uint64_t *hour, uint64_t *minute)
{
    const char *p = text ? text : kEmpty;
    uint64_t h = ReadDigits(p);
    while (*p == ':')
        ++p;
    const char *minutes = p;
    *minute = NumberAt(minutes);
    char suffix = (minutes[0] && minutes[1]) ? minutes[2] : 0;
    if ((suffix == 'P' || suffix == 'p') && h < 12)
        h += 12;
    else if ((suffix == 'A' || suffix == 'a') && h == 12)
        h = 0;  // 12:15 AM is a quarter past midnight
    *hour = h;
}

uint64_t MulSat(uint64_t a, uint64_t b)
{
    if (a != 0 && b > UINT64_MAX / a)
        return UINT64_MAX;
    return a * b;
}

size_t LineLength(const Work &w)
{
    return strnlen(w.line, kWorkSize);
}

const char *Col(const Work &w, size_t c)
{
    return c < LineLength(w) ? w.line + c : kEmpty;
}

char *ColMut(Work &w, size_t c)
{
    return c < LineLength(w) ? w.line + c : nullptr;
}

char At(const Work &w, size_t c)
{
    return *Col(w, c);
}

uint64_t NumAt(const Work &w, size_t c)
{
    return NumberAt(Col(w, c));
}

uint64_t YearAtCol(const Work &w, size_t c)
{
    return YearAt(Col(w, c));
}

uint64_t NumberEndingAt(const Work &w, size_t c)
{
    if (c >= LineLength(w) || w.line[c] == ' ')
        return 0;
    size_t start = c;
    while (start > 0 && w.line[start - 1] != ' ')
        --start;
    uint64_t v = 0;
    for (size_t i = start; i <= c && IsDigit(w.line[i]); ++i) {
        unsigned d = unsigned(w.line[i] - '0');
        v = (v > (UINT64_MAX - d) / 10) ? UINT64_MAX : v * 10 + d;
    }
    return v;
}

void SetName(Work &w, const char *text, size_t n)
{
    size_t i = 0;
    if (text)
        for (; i < n && i < sizeof w.name - 1 && text[i]; ++i)
            w.name[i] = text[i];
    w.name[i] = 0;
}

void SetName(Work &w, const char *text)
{
    SetName(w, text, sizeof w.name);
}

void SetNameFromColumns(Work &w, size_t first, size_t last)
{
    SetName(w, Col(w, first), last - first + 1);
    TrimRight(w.name);
}

void SetNameFirstWord(Work &w, const char *text)
{
    size_t n = 0;
    if (text)
        while (text[n] && text[n] != ' ' && text[n] != '\t')
            ++n;
    SetName(w, text, n);
}

bool StartsWith(const char *text, const char *prefix)
{
    return strncmp(text, prefix, strlen(prefix)) == 0;
}

bool StartsWithNoCase(const char *text, const char *prefix)
{
    for (; *prefix; ++text, ++prefix) {
        char a = *text, b = *prefix;
        if (a >= 'A' && a <= 'Z')
            a = char(a - 'A' + 'a');
        if (b >= 'A' && b <= 'Z')
            b = char(b - 'A' + 'a');
        if (a != b)
            return false;  // also at the end of text
    }
    return true;
}

void TerminateBefore(Work &w, char *p)
{
    if (p > w.line && p <= w.line + kWorkSize)
        p[-1] = 0;
}

}  // namespace listing
}  // namespace tessel

namespace {
// 0 = read the local clock.  Tests pin a year and month here so that the
// last-year rule does not depend on the day the tests run.
std::atomic<int> g_pinnedYear{0};
std::atomic<int> g_pinnedMonth{0};
}  // namespace

void TesselSetClockForTests(int year, int month)
{
    g_pinnedMonth.store(month);
    g_pinnedYear.store(year);
}

static void ReadLocalYearMonth(int *year, int *month)
{
    time_t now = time(nullptr);
    struct tm local;
#ifdef _WIN32
    // The C runtime keeps localtime's result per thread.
    struct tm *t = localtime(&now);
    if (!t) {
        *year = 1970, *month = 1;
        return;
    }
    local = *t;
#else
    if (!localtime_r(&now, &local)) {
        *year = 1970, *month = 1;
        return;
    }
#endif
    *year = local.tm_year + 1900;
    *month = local.tm_mon + 1;
}

void tessel::listing::CurrentYearMonth(int *year, int *month)
{
    int pinned = g_pinnedYear.load();
    if (pinned != 0) {
        *year = pinned;
        *month = g_pinnedMonth.load();
        return;
    }
    // Reading the clock costs more than decoding a line under Wine, and a
    // listing is decoded within moments: look again every 64 lines only.
    struct Cache {
        int year, month;
        unsigned uses;
    };
    static thread_local Cache cache = {0, 0, 0};
    if (cache.uses++ % 64 == 0 || cache.year == 0)
        ReadLocalYearMonth(&cache.year, &cache.month);
    *year = cache.year;
    *month = cache.month;
}
