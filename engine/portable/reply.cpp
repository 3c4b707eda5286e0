#include "reply.h"

#include <string.h>

int ReplyValue(const char *line)
{
    int v = 0;
    for (int i = 0; line && line[i] >= '0' && line[i] <= '9'; ++i) {
        if (v > 100000)
            return v; // no real code is this long; stop before overflow
        v = v * 10 + (line[i] - '0');
    }
    return v;
}

int ReplyIsFinal(const char *line, int value)
{
    if (value < 100 || value > 599)
        return 0;
    if (line[0] == ' ')
        return 0;
    // The code takes three characters; a hyphen after it marks continuation.
    size_t n = strnlen(line, 4);
    if (n >= 4 && line[3] == '-')
        return 0;
    return 1;
}

static void CopyLine(char *out, size_t outSize, const char *src, size_t len)
{
    if (outSize == 0)
        return;
    if (len > outSize - 1)
        len = outSize - 1;
    memcpy(out, src, len);
    out[len] = 0;
}

int TakeReplyLine(char *buf, int32_t *pending, int32_t capacity, uint32_t *discard,
                  char *out, size_t outSize)
{
    for (;;) {
        int32_t n = *pending;
        if (n < 0)
            n = 0;
        char *lf = n ? (char *)memchr(buf, '\n', (size_t)n) : nullptr;
        if (*discard) {
            // Still inside an over-long line: drop it up to its line feed.
            if (!lf) {
                *pending = 0;
                return 0;
            }
            size_t used = (size_t)(lf - buf) + 1;
            memmove(buf, lf + 1, (size_t)n - used);
            *pending = n - (int32_t)used;
            *discard = 0;
            continue;
        }
        if (lf) {
            size_t i = (size_t)(lf - buf);
            size_t len = i;
            if (len > 0 && buf[len - 1] == '\r')
                --len;
            CopyLine(out, outSize, buf, len);
            memmove(buf, lf + 1, (size_t)n - i - 1);
            *pending = n - (int32_t)(i + 1);
            buf[*pending] = 0;
            return 1;
        }
        if (n >= capacity - 1) {
            // Full buffer, no line end in sight: hand out the start of the
            // line and forget the rest of it.
            CopyLine(out, outSize, buf, (size_t)n);
            *pending = 0;
            buf[0] = 0;
            *discard = 1;
            return 1;
        }
        return 0;
    }
}

int BuildCommand(char *out, size_t outSize, const char *word, const char *arg)
{
    if (!word || !*word || outSize == 0)
        return -1;
    if (strpbrk(word, "\r\n") || (arg && strpbrk(arg, "\r\n")))
        return -1;
    size_t wl = strlen(word);
    size_t al = arg ? strlen(arg) : 0;
    int blank = (al > 0 && word[wl - 1] != ' ') ? 1 : 0;
    size_t total = wl + (size_t)blank + al;
    if (total + 1 > outSize)
        return -1;
    memcpy(out, word, wl);
    if (blank)
        out[wl] = ' ';
    if (al)
        memcpy(out + wl + blank, arg, al);
    out[total] = 0;
    return (int)total;
}
