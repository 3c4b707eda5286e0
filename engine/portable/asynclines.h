/* Line cutting for the message-driven control reader and the HTTP header
 * reader.  Portable: no Win32 types. */
#ifndef TESSEL_ASYNCLINES_H
#define TESSEL_ASYNCLINES_H

#include <stddef.h>
#include <stdint.h>

/* Message-driven control reader: the next line of a receive buffer holding
 * *pending bytes out of capacity (one byte is kept for a terminator).
 *  - a line ends at the first CR or LF; CR directly followed by LF is one end;
 *  - a CR that is the last buffered byte waits for the next byte, so that a
 *    CR LF split over two receives does not yield an empty line;
 *  - the line goes to out (cut to outSize-1 characters, terminated), its
 *    length to *lineLen, and the rest of the buffer moves down;
 *  - a full buffer without a line end hands out its start and sets *discard:
 *    the rest of that line, up to its end, is dropped on later calls.
 * Returns 1 when a line was produced, 0 when more data is needed. */
int TakeAsyncLine(char *buf, int32_t *pending, int32_t capacity, uint32_t *discard, char *out,
                  size_t outSize, int *lineLen);

/* HTTP header reader: like the above, but a line ends only at LF and keeps
 * its CR LF in out.  A line longer than outSize-1 is handed out cut (without
 * its end) and the rest of it is dropped.  Returns the length of the line
 * handed out, 0 when more data is needed. */
int TakeHeaderLine(char *buf, int32_t *pending, int32_t capacity, uint32_t *discard, char *out,
                   size_t outSize);

#endif
