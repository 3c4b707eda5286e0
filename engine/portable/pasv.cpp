// PASV and PWD replies.  Both come from the server and are copied into
// fixed buffers and socket addresses, so every number and length is checked
// here rather than trusted.
#include "pasv.h"

#include <string.h>

static int IsDigit(char c) { return c >= '0' && c <= '9'; }
static int IsBlank(char c) { return c == ' ' || c == '\t'; }

// One unsigned decimal as scanf's %u reads it (leading blanks allowed).
// Values are capped just above 255 so that a long run of digits cannot
// overflow; *value > 255 means "out of range".
static const char *ReadNumber(const char *p, const char *end, unsigned *value)
{
    while (p < end && IsBlank(*p))
        ++p;
    if (p >= end || !IsDigit(*p))
        return nullptr;
    unsigned v = 0;
    while (p < end && IsDigit(*p)) {
        if (v <= 255)
            v = v * 10 + (unsigned)(*p - '0');
        ++p;
    }
    *value = v;
    return p;
}

int ParsePasvReply(const char *line, uint32_t *addr, uint16_t *port)
{
    if (!line)
        return PASV_NO_START;
    const char *end = strchr(line, ')');
    if (!end)
        end = line + strlen(line);
    const char *open = (const char *)memchr(line, '(', (size_t)(end - line));
    const char *p = nullptr;
    if (open) {
        p = open + 1;
    } else {
        // After the code and its separator: the first four characters.
        size_t len = (size_t)(end - line);
        for (size_t i = 4; i < len; ++i) {
            if (IsDigit(line[i])) {
                p = line + i;
                break;
            }
        }
        if (!p)
            return PASV_NO_START;
    }
    unsigned n[6];
    for (int i = 0; i < 6; ++i) {
        if (i > 0) {
            if (p >= end || *p != ',')
                return PASV_BAD_ADDRESS;
            ++p;
        }
        p = ReadNumber(p, end, &n[i]);
        if (!p || n[i] > 255)
            return PASV_BAD_ADDRESS;
    }
    // A seventh number means the reply is not the address we think it is.
    if (p < end && *p == ',')
        return PASV_BAD_ADDRESS;
    *addr = (uint32_t)n[0] << 24 | (uint32_t)n[1] << 16 | (uint32_t)n[2] << 8 | (uint32_t)n[3];
    *port = (uint16_t)(n[4] * 256 + n[5]);
    return PASV_OK;
}

int IsInternalAddress(uint32_t addr)
{
    const uint32_t a = addr >> 24, b = (addr >> 16) & 0xFF;
    return a == 0 || a == 10 || a == 127 || (a == 172 && b >= 16 && b <= 31) ||
           (a == 192 && b == 168);
}

uint32_t PasvTarget(uint32_t replyAddr, uint32_t peerAddr)
{
    return peerAddr != 0 ? peerAddr : replyAddr;
}

int ParsePwdReply(const char *line, char *out, size_t outSize)
{
    if (!out || outSize == 0)
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
    size_t max = outSize - 1;
    if (max > TESSEL_PWD_PATH_MAX)
        max = TESSEL_PWD_PATH_MAX;
    size_t n = 0;
    while (*p && n < max) {
        if (*p == quote) {
            // RFC 959: a quote inside the path is written twice.
            if (quote == '"' && p[1] == '"') {
                out[n++] = '"';
                p += 2;
                continue;
            }
            break;
        }
        out[n++] = *p++;
    }
    out[n] = 0;
    return 1;
}
