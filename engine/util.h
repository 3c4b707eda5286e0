/* Small helpers shared by the engine's sources (engine-private). */
#ifndef TESSEL_ENGINE_UTIL_H
#define TESSEL_ENGINE_UTIL_H

#include "engine.h"

#include <string.h>

/* Copies src (nullptr reads as "") into a fixed field of size bytes, cut to
 * fit.  The rest of the field is zeroed, so that no tail of a longer earlier
 * value (a password) stays behind it. */
inline void CopyBounded(char *dst, size_t size, const char *src)
{
    if (!src)
        src = "";
    size_t n = strnlen(src, size - 1);
    memcpy(dst, src, n);
    memset(dst + n, 0, size - n);
}

/* Posts the record's progress message with a byte count (saturated at
 * 4 GiB - 1), when the record has a message and a window for it.  The
 * callers decide when progress is wanted at all. */
inline void PostProgressCount(CINFO *ci, uint64_t total)
{
    if (ci->progressMsg && ci->notifyWnd)
        PostMessageA(ci->notifyWnd, ci->progressMsg, (WPARAM)(total > 0xFFFFFFFFull ? 0xFFFFFFFFu : (uint32_t)total),
                     0);
}

#endif
