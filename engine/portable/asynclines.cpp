#include "asynclines.h"

#include <stdio.h>
#include <string.h>

static void CopyCut(char *out, size_t outSize, const char *src, size_t len)
{
    if (outSize == 0)
        return;
    if (len > outSize - 1)
        len = outSize - 1;
    memcpy(out, src, len);
    out[len] = 0;
}

static void Consume(char *buf, int32_t *pending, size_t used)
{
    size_t n = (size_t)*pending;
    if (used > n)
        used = n;
    memmove(buf, buf + used, n - used);
    *pending = (int32_t)(n - used);
    buf[*pending] = 0;
}

int TakeAsyncLine(char *buf, int32_t *pending, int32_t capacity, uint32_t *discard, char *out,
                  size_t outSize, int *lineLen)
{
    for (;;) {
        if (*pending < 0)
            *pending = 0;
        size_t n = (size_t)*pending;
        size_t end = 0;
        while (end < n && buf[end] != '\r' && buf[end] != '\n')
            ++end;
        if (end < n && buf[end] == '\r' && end + 1 == n && n < (size_t)capacity - 1)
            return 0; // the LF may be on its way
        if (*discard) {
            // Still inside an over-long line: drop it up to its end.
            if (end == n) {
                *pending = 0;
                buf[0] = 0;
                return 0;
            }
            size_t used = end + 1;
            if (buf[end] == '\r' && end + 1 < n && buf[end + 1] == '\n')
                ++used;
            Consume(buf, pending, used);
            *discard = 0;
            continue;
        }
        if (end < n) {
            CopyCut(out, outSize, buf, end);
            if (lineLen)
                *lineLen = (int)strlen(out);
            size_t used = end + 1;
            if (buf[end] == '\r' && end + 1 < n && buf[end + 1] == '\n')
                ++used;
            Consume(buf, pending, used);
            return 1;
        }
        if (n >= (size_t)capacity - 1) {
            CopyCut(out, outSize, buf, n);
            if (lineLen)
                *lineLen = (int)strlen(out);
            *pending = 0;
            buf[0] = 0;
            *discard = 1;
            return 1;
        }
        return 0;
    }
}

int TakeHeaderLine(char *buf, int32_t *pending, int32_t capacity, uint32_t *discard, char *out,
                   size_t outSize)
{
    for (;;) {
        if (*pending < 0)
            *pending = 0;
        size_t n = (size_t)*pending;
        const char *lf = n ? (const char *)memchr(buf, '\n', n) : nullptr;
        if (*discard) {
            if (!lf) {
                *pending = 0;
                buf[0] = 0;
                return 0;
            }
            Consume(buf, pending, (size_t)(lf - buf) + 1);
            *discard = 0;
            continue;
        }
        if (lf) {
            size_t len = (size_t)(lf - buf) + 1;
            if (len > outSize - 1) {
                // Too long to keep whole: hand out its start, drop the rest.
                CopyCut(out, outSize, buf, len);
                Consume(buf, pending, len);
                return (int)strlen(out);
            }
            CopyCut(out, outSize, buf, len);
            Consume(buf, pending, len);
            return (int)len;
        }
        if (n >= (size_t)capacity - 1) {
            CopyCut(out, outSize, buf, n);
            *pending = 0;
            buf[0] = 0;
            *discard = 1;
            return (int)strlen(out);
        }
        return 0;
    }
}
