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

/* Reads a transfer's closing reply (even with abortFlag set), and after an
 * ABOR the ABOR's own reply too, waiting at most 3 s for that one: servers
 * answer the transfer (426, or 226 when it had just ended), then the ABOR.
 * The first code, 0 when none could be read. */
int ReadTransferEnd(CINFO *ci, int aborted);

/* Server-to-server: PASV on passive, PORT with its address on active.  1
 * when the active side accepted PORT. */
int PassiveToActive(CINFO *passive, CINFO *active);

#endif
