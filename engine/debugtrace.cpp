// Numbered diagnostic lines, one per call, for whoever watches the debugger
// output.  Lines are numbered so that two traces of the same run can be
// lined up.
#include "debugtrace.h"

#include <windows.h>

#include <stdarg.h>
#include <stdio.h>

static volatile LONG g_traceLine;

void DebugTrace(const char *fmt, ...)
{
    char buf[1024];
    long n = InterlockedIncrement(&g_traceLine) - 1;
    int head = snprintf(buf, sizeof buf, "%4ld : ", n);
    if (head < 0)
        return;
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(buf + head, sizeof buf - (size_t)head, fmt, ap);
    va_end(ap);
    OutputDebugStringA(buf);
}
