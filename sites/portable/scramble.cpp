// Password scrambling of stored profiles: see scramble.h for the forms.
#include "scramble.h"

#include <string.h>

static const char kHex[] = "0123456789ABCDEF";

static int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

static int HexByte(const char *p)
{
    int hi = HexValue(p[0]), lo = HexValue(p[1]);
    return (hi < 0 || lo < 0) ? -1 : hi * 16 + lo;
}

static char Upper(char c) { return (c >= 'a' && c <= 'f') ? (char)(c - 'a' + 'A') : c; }

extern "C" size_t TesselScrambleReg(const char *password, unsigned char *out, size_t outSize)
{
    size_t len = strlen(password);
    if (!out || outSize < len + 1)
        return 0;
    for (size_t i = 0; i < len; i++)
        out[i] = (unsigned char)((unsigned char)password[i] - 6);
    out[len] = 0;
    return len + 1;
}

extern "C" int TesselDescrambleReg(const unsigned char *data, size_t len, char *out, size_t outSize)
{
    if (!out || outSize == 0)
        return 0;
    out[0] = 0;
    // The last byte is the terminator's place; the rest must fit beside ours.
    if (!data || len == 0 || len > outSize)
        return 0;
    for (size_t i = 0; i + 1 < len; i++)
        out[i] = (char)(unsigned char)(data[i] + 6);
    out[len - 1] = 0;
    return 1;
}

extern "C" size_t TesselScrambleDigestInput(const char *user, const char *password, char *out, size_t outSize)
{
    size_t u = strlen(user), p = strlen(password), s = sizeof TESSEL_SCRAMBLE_SUFFIX - 1;
    if (!out || outSize < u + p + s + 1)
        return 0;
    memcpy(out, user, u);
    memcpy(out + u, password, p);
    memcpy(out + u + p, TESSEL_SCRAMBLE_SUFFIX, s + 1);
    return u + p + s;
}

extern "C" size_t TesselScrambleIni(const char *password, const char *digestHex, char *out, size_t outSize)
{
    size_t len = strlen(password);
    size_t need = 1 + TESSEL_DIGEST_HEX_LEN + 2 * len + 1;
    if (!out || !digestHex || outSize < need)
        return 0;
    out[0] = 'V';
    for (int k = 0; k < TESSEL_DIGEST_HEX_LEN; k++) {
        if (HexValue(digestHex[k]) < 0)
            return 0;
        out[1 + k] = Upper(digestHex[k]);
    }
    char *p = out + 1 + TESSEL_DIGEST_HEX_LEN;
    for (size_t i = 0; i < len; i++) {
        unsigned d = (unsigned char)out[1 + (i % TESSEL_DIGEST_HEX_LEN)];
        unsigned v = ((unsigned char)password[i] + i + (d & 0x3F)) & 0xFF;
        *p++ = kHex[v >> 4];
        *p++ = kHex[v & 15];
    }
    *p = 0;
    return need - 1;
}

extern "C" size_t TesselScrambleIniOld(const char *password, char *out, size_t outSize)
{
    size_t len = strlen(password);
    if (!out || outSize < 2 * len + 1)
        return 0;
    for (size_t i = 0; i < len; i++) {
        unsigned v = ((unsigned char)password[i] + i) & 0xFF;
        out[2 * i] = kHex[v >> 4];
        out[2 * i + 1] = kHex[v & 15];
    }
    out[2 * len] = 0;
    return 2 * len;
}

extern "C" int TesselDescrambleIni(const char *text, char *out, size_t outSize)
{
    if (!out || outSize == 0)
        return 0;
    out[0] = 0;
    if (!text || !*text)
        return 0;
    size_t len = strlen(text);
    const char *digest = nullptr;
    const char *body = text;
    if (text[0] == 'V') {
        if (len < 1 + TESSEL_DIGEST_HEX_LEN)
            return 0;
        digest = text + 1;
        for (int k = 0; k < TESSEL_DIGEST_HEX_LEN; k++)
            if (HexValue(digest[k]) < 0)
                return 0;
        body = text + 1 + TESSEL_DIGEST_HEX_LEN;
    }
    size_t bodyLen = strlen(body);
    if (bodyLen % 2 != 0 || bodyLen / 2 + 1 > outSize)
        return 0;
    size_t n = bodyLen / 2;
    for (size_t i = 0; i < n; i++) {
        int v = HexByte(body + 2 * i);
        if (v < 0) {
            out[0] = 0;
            return 0;
        }
        unsigned sub = (unsigned)i;
        if (digest)
            sub += (unsigned char)digest[i % TESSEL_DIGEST_HEX_LEN] & 0x3F;
        unsigned char c = (unsigned char)(((unsigned)v - sub) & 0xFF);
        if (c == 0) {
            out[0] = 0;
            return 0;
        }
        out[i] = (char)c;
    }
    out[n] = 0;
    return n > 0;
}
