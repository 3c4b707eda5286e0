// Numbered diagnostic lines for a debugger (OutputDebugString).
#ifndef TESSEL_DEBUGTRACE_H
#define TESSEL_DEBUGTRACE_H

// Formats "%4ld : " with the process's line counter, then the message.
void DebugTrace(const char *fmt, ...);

#endif
