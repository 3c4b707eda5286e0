/* Cutting the lines of a listing out of what the data connection delivers.
 * The buffer keeps a read position instead of moving the rest down after
 * each line, so a listing of a hundred thousand lines costs one pass over
 * its bytes.  Portable: no Win32 types. */
#ifndef TESSEL_DATALINES_H
#define TESSEL_DATALINES_H

#include <stddef.h>
#include <stdint.h>

typedef struct LineBuffer {
    char    *buf;      /* caller-owned storage */
    int32_t  capacity; /* its size in bytes */
    int32_t  start;    /* first unread byte */
    int32_t  end;      /* one past the last received byte */
    int32_t  discard;  /* dropping the rest of an over-long line */
} LineBuffer;

void LineBufferInit(LineBuffer *lb, char *storage, int32_t capacity);

/* Cuts the next complete line (ended by LF; a CR before it is dropped) into
 * out, keeping at most outSize-1 characters; the rest of a longer line is
 * dropped.  A buffer that fills up without any LF gives its contents as a
 * line and drops the remainder up to the next LF.  Empty lines are skipped.
 * Returns the length of the line, or -1 when more data is needed. */
int TakeDataLine(LineBuffer *lb, char *out, size_t outSize);

/* At the end of the data: the last line if it had no LF (length), or -1. */
int TakeLastDataLine(LineBuffer *lb, char *out, size_t outSize);

/* Room for the next receive: moves unread bytes to the front when needed
 * and returns where to receive and (in *room) how much.  Room is never 0
 * unless capacity is. */
char *LineBufferSpace(LineBuffer *lb, int32_t *room);
void LineBufferCommit(LineBuffer *lb, int32_t received);

#endif
