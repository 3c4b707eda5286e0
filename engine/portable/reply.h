/* Control-channel reply parsing shared by the engine and its tests.
 * Portable: no Win32 types. */
#ifndef TESSEL_REPLY_H
#define TESSEL_REPLY_H

#include <stddef.h>
#include <stdint.h>

/* Longest line kept from the server; the rest of a longer line is dropped. */
#define TESSEL_REPLY_LINE_MAX 255

/* Decimal value at the very start of a reply line; 0 when it has no digits.
 * Capped so that a run of digits cannot overflow. */
int ReplyValue(const char *line);

/* True when the line ends a (possibly multi-line) reply: a code 100..599, not
 * starting with a blank, and no hyphen after the code. */
int ReplyIsFinal(const char *line, int value);

/* Cuts the next line out of a receive buffer holding *pending bytes out of
 * capacity bytes (one byte is kept for a terminator).
 *  - a line ends at LF; a CR just before the LF is dropped;
 *  - the line is copied into out (outSize bytes, always terminated, at most
 *    outSize-1 characters), the rest of the buffer moves down;
 *  - a full buffer without any LF yields its first characters as the line
 *    and sets *discard, so the remainder up to the next LF is thrown away.
 * Returns 1 when a line was produced, 0 when more data is needed. */
int TakeReplyLine(char *buf, int32_t *pending, int32_t capacity, uint32_t *discard,
                  char *out, size_t outSize);

/* Commands: word, blank, argument.  Returns the length written, or -1 when
 * the command would not fit or the argument or word holds CR or LF (a split
 * command could act on another file). */
int BuildCommand(char *out, size_t outSize, const char *word, const char *arg);

#endif
