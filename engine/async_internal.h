// Internal pieces of the message-driven machine shared by its sources and
// the tests.
#ifndef TESSEL_ASYNC_INTERNAL_H
#define TESSEL_ASYNC_INTERNAL_H

#include "engine.h"
#include "tessel_async.h"

/* Bytes moved per socket event by the message-driven download and upload. */
#define TESSEL_ASYNC_BLOCK 65536

/* Result of a host-name lookup for a record in state 256: he is the lookup's
 * result (null when error is nonzero), bufSize the size of the buffer that
 * holds it (every pointer of a usable result lies inside it). */
void AsyncLookupResult(CINFO *ci, const char *buf, int bufSize, int error);

/* Posts a socket event to the record's own handler window. */
void PostSocketEvent(CINFO *ci, SOCKET s, int event);

/* Takes a reference for a message-driven transfer and marks it held; the
 * transfer's end gives it back. */
void HoldForTransfer(CINFO *ci);

/* Block size of the message-driven transfers; tests and the benchmark switch
 * it to compare piece sizes (0 = the default). */
void SetAsyncBlockSize(int bytes);
int AsyncBlockSize(void);

#endif
