#include "xferrules.h"

#include <stdio.h>
#include <string.h>

namespace {

const uint64_t kMaxSize = (uint64_t)1 << 62; // far beyond any file, far from overflow

// Decimal digits at p (at least one), no sign.  Returns the end, or null.
const char *ParseDigits(const char *p, uint64_t *value)
{
    uint64_t v = 0;
    const char *start = p;
    while (*p >= '0' && *p <= '9') {
        v = v * 10 + (uint64_t)(*p - '0');
        if (v > kMaxSize)
            return nullptr;
        ++p;
    }
    if (p == start)
        return nullptr;
    *value = v;
    return p;
}

int IsBlank(char c) { return c == ' ' || c == '\t'; }

} // namespace

int ParseAnnouncedSize(const char *reply, uint64_t *size)
{
    if (!reply)
        return 0;
    const char *found = nullptr;
    uint64_t value = 0;
    for (const char *open = strchr(reply, '('); open; open = strchr(open + 1, '(')) {
        const char *p = open + 1;
        while (IsBlank(*p))
            ++p;
        uint64_t v;
        const char *end = ParseDigits(p, &v);
        if (!end || !IsBlank(*end))
            continue;
        while (IsBlank(*end))
            ++end;
        if (strncmp(end, "bytes", 5) != 0)
            continue;
        end += 5;
        while (IsBlank(*end))
            ++end;
        if (*end != ')')
            continue;
        found = open;
        value = v;
    }
    if (!found)
        return 0;
    *size = value;
    return 1;
}

int ParseSizeReply(const char *reply, uint64_t *size)
{
    if (!reply || strncmp(reply, "213", 3) != 0 || !IsBlank(reply[3]))
        return 0;
    const char *p = reply + 4;
    while (IsBlank(*p))
        ++p;
    uint64_t v;
    const char *end = ParseDigits(p, &v);
    if (!end)
        return 0;
    while (IsBlank(*end) || *end == '\r' || *end == '\n')
        ++end;
    if (*end)
        return 0;
    *size = v;
    return 1;
}

uint64_t ExpectedLength(const SizeSources *s, uint64_t offset, int *known)
{
    *known = 1;
    if (offset == 0) {
        if (s->announcedOk)
            return s->announced;
        if (s->sizeOk)
            return s->size;
        if (s->listingOk)
            return s->listing;
    } else {
        if (s->sizeOk)
            return s->size;
        if (s->listingOk)
            return s->listing;
    }
    *known = 0;
    return 0;
}

uint64_t ResumeOffset(uint64_t localSize, int remoteKnown, uint64_t remoteSize)
{
    if (!remoteKnown || localSize <= 1024)
        return 0;
    const uint64_t offset = localSize & ~(uint64_t)1023;
    return offset < remoteSize ? offset : 0;
}

int TransferVerdict(const TransferFacts *f)
{
    if (!f->dataConnection)
        return XV_NO_DATA_CONNECTION;
    if (!f->localFileOk)
        return XV_LOCAL_FILE;
    if (!f->dataOk)
        return XV_DATA_BROKEN;
    if (f->closingCode / 100 != 2)
        return XV_CLOSING_REPLY;
    if (f->binary && f->lengthKnown) {
        if (f->actual < f->expected)
            return XV_SHORT;
        if (f->actual > f->expected)
            return XV_LONG;
    }
    return XV_OK;
}

const char *VerdictText(int verdict, const TransferFacts *f, char *out, size_t size)
{
    if (!size)
        return out;
    const unsigned long long got = f->actual, want = f->expected;
    switch (verdict) {
    case XV_OK:
        snprintf(out, size, "Transfer complete: %llu bytes", got);
        break;
    case XV_NO_DATA_CONNECTION:
        snprintf(out, size, "! Transfer failed: no data connection (reply %d)", f->closingCode);
        break;
    case XV_LOCAL_FILE:
        snprintf(out, size, "! Transfer failed: the local file was not written");
        break;
    case XV_DATA_BROKEN:
        snprintf(out, size, "! Transfer failed: the data connection broke after %llu bytes", got);
        break;
    case XV_CLOSING_REPLY:
        snprintf(out, size, "! Transfer failed: the server's closing reply was %d", f->closingCode);
        break;
    case XV_SHORT:
        snprintf(out, size, "! Transfer failed: short file, %llu of %llu bytes", got, want);
        break;
    case XV_LONG:
        snprintf(out, size, "! Transfer failed: %llu bytes where the server meant %llu", got, want);
        break;
    default:
        snprintf(out, size, "! Transfer failed");
        break;
    }
    return out;
}

// ---------------------------------------------------------------- local names

namespace {

int EqualNoCase(const char *a, const char *b, size_t n)
{
    for (size_t i = 0; i < n; ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z')
            x = (char)(x - 32);
        if (y >= 'a' && y <= 'z')
            y = (char)(y - 32);
        if (x != y)
            return 0;
    }
    return 1;
}

// Superscript one, two and three in the Windows ANSI code page: Windows
// reserves COM and LPT followed by them as it does COM1 to COM3.
int IsDeviceDigit(unsigned char c)
{
    return (c >= '1' && c <= '9') || c == 0xB9 || c == 0xB2 || c == 0xB3;
}

int IsDevice(const char *name)
{
    // The device part runs to the first dot; blanks before it do not count.
    size_t n = strcspn(name, ".");
    while (n && name[n - 1] == ' ')
        --n;
    static const char *const fixed[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$", "CLOCK$"};
    for (const char *d : fixed)
        if (strlen(d) == n && EqualNoCase(name, d, n))
            return 1;
    if (n == 4 && (EqualNoCase(name, "COM", 3) || EqualNoCase(name, "LPT", 3)) &&
        IsDeviceDigit((unsigned char)name[3]))
        return 1;
    return 0;
}

} // namespace

int CheckLocalName(const char *name, size_t maxLength)
{
    if (!name || !*name)
        return LN_EMPTY;
    const size_t len = strlen(name);
    if (strspn(name, ". ") == len)
        return LN_DOTS_BLANKS;
    for (const unsigned char *p = (const unsigned char *)name; *p; ++p)
        if (*p == '/' || *p == '\\' || *p == ':' || *p < 32 || *p == 127)
            return LN_PATH;
    if (name[len - 1] == '.' || name[len - 1] == ' ')
        return LN_TRAILING;
    if (IsDevice(name))
        return LN_DEVICE;
    if (maxLength && len > maxLength)
        return LN_TOO_LONG;
    return LN_OK;
}

const char *LocalNameCheckText(int check)
{
    switch (check) {
    case LN_OK:
        return "a plain name";
    case LN_EMPTY:
        return "empty";
    case LN_DOTS_BLANKS:
        return "only dots and blanks";
    case LN_TRAILING:
        return "Windows drops its trailing dots and blanks";
    case LN_PATH:
        return "not a plain name";
    case LN_DEVICE:
        return "a device name on Windows";
    case LN_TOO_LONG:
        return "longer than this volume's names";
    }
    return "not usable";
}

void LocalNameKey(const char *name, char *out, size_t size)
{
    if (!size)
        return;
    size_t i = 0;
    for (; name && name[i] && i + 1 < size; ++i) {
        unsigned char c = (unsigned char)name[i];
        if ((c >= 'a' && c <= 'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7))
            c = (unsigned char)(c - 32);
        out[i] = (char)c;
    }
    out[i] = 0;
}

// ---------------------------------------------------------------- name lists

int NextNameLine(const char *buf, size_t len, size_t *pos, char *out, size_t outSize)
{
    if (outSize)
        out[0] = 0;
    if (*pos >= len)
        return NL_END;
    const char *start = buf + *pos;
    const size_t rest = len - *pos;
    const char *lf = (const char *)memchr(start, '\n', rest);
    size_t n = lf ? (size_t)(lf - start) : rest;
    *pos += lf ? n + 1 : n;
    if (n && start[n - 1] == '\r')
        --n;
    if (memchr(start, 0, n))
        return NL_NUL;
    if (!n)
        return NL_EMPTY;
    if (n + 1 > outSize)
        return NL_LONG;
    memcpy(out, start, n);
    out[n] = 0;
    return NL_OK;
}

uint32_t DeadlineLeft(uint32_t start, uint32_t limit, uint32_t now)
{
    const uint32_t gone = now - start;
    return gone >= limit ? 0 : limit - gone;
}
