// Listing lines out of the data connection.  Lines of any length, bytes of
// any value: what does not fit is dropped, never written past a buffer.
#include "datalines.h"

#include <string.h>

void LineBufferInit(LineBuffer *lb, char *storage, int32_t capacity)
{
    lb->buf = storage;
    lb->capacity = capacity > 0 ? capacity : 0;
    lb->start = lb->end = 0;
    lb->discard = 0;
}

static int CopyLine(const char *from, size_t len, char *out, size_t outSize)
{
    if (len > 0 && from[len - 1] == '\r')
        --len;
    if (outSize == 0)
        return 0;
    if (len > outSize - 1)
        len = outSize - 1;
    memcpy(out, from, len);
    out[len] = 0;
    return (int)len;
}

int TakeDataLine(LineBuffer *lb, char *out, size_t outSize)
{
    for (;;) {
        const int32_t avail = lb->end - lb->start;
        if (avail <= 0) {
            lb->start = lb->end = 0;
            return -1;
        }
        const char *from = lb->buf + lb->start;
        const char *lf = (const char *)memchr(from, '\n', (size_t)avail);
        if (!lf) {
            if (lb->discard) {
                // Still inside a line already given out: drop what came.
                lb->start = lb->end = 0;
                return -1;
            }
            if (lb->start == 0 && lb->end >= lb->capacity) {
                // Full without an end of line: give what we have.
                lb->discard = 1;
                int n = CopyLine(from, (size_t)avail, out, outSize);
                lb->start = lb->end = 0;
                if (n == 0)
                    continue;
                return n;
            }
            return -1;
        }
        const size_t len = (size_t)(lf - from);
        lb->start += (int32_t)len + 1;
        if (lb->discard) {
            lb->discard = 0;
            continue;
        }
        int n = CopyLine(from, len, out, outSize);
        if (n == 0)
            continue; // empty line
        return n;
    }
}

int TakeLastDataLine(LineBuffer *lb, char *out, size_t outSize)
{
    int n = -1;
    const int32_t avail = lb->end - lb->start;
    if (avail > 0 && !lb->discard) {
        n = CopyLine(lb->buf + lb->start, (size_t)avail, out, outSize);
        if (n == 0)
            n = -1;
    }
    lb->start = lb->end = 0;
    lb->discard = 0;
    return n;
}

char *LineBufferSpace(LineBuffer *lb, int32_t *room)
{
    if (lb->end >= lb->capacity && lb->start > 0) {
        memmove(lb->buf, lb->buf + lb->start, (size_t)(lb->end - lb->start));
        lb->end -= lb->start;
        lb->start = 0;
    }
    *room = lb->capacity - lb->end;
    return lb->buf + lb->end;
}

void LineBufferCommit(LineBuffer *lb, int32_t received)
{
    if (received > 0 && received <= lb->capacity - lb->end)
        lb->end += received;
}
