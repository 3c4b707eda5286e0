/* Internal interface of data connections and transfers, shared by the
 * blocking, threaded and message-driven operations. */
#ifndef TESSEL_DATACONN_H
#define TESSEL_DATACONN_H

#include "engine.h"
#include "tessel_transfer.h"
#include "datalines.h"

#include <stdint.h>

/* File data moves in blocks of this size.  Small blocks cost a lot under
 * Wine, where every receive is a round trip to the server process: against
 * a local vsftpd, 64 KiB blocks reached a third of curl's throughput and
 * 1 MiB blocks match it (tools/bench/transfer.sh).  A receive still returns
 * whatever has arrived, so slow links keep their progress messages. */
#define TESSEL_DATA_BLOCK (1024 * 1024)

/* A data connection being set up: a connected socket (PASV, or PORT once
 * the server has connected) and, for PORT, the listening socket until then. */
struct DataChannel {
    SOCKET sock;
    SOCKET listen;
};

/* PASV: sends the command, reads the address and connects.  Connected
 * socket, or INVALID_SOCKET. */
SOCKET OpenPassiveData(CINFO *ci);
/* PORT: listens on a fresh port of the control connection's local address
 * and announces it.  Listening socket, or INVALID_SOCKET. */
SOCKET OpenActiveListen(CINFO *ci);
/* PASV first while the record allows it (a failure switches the record to
 * PORT for good), else PORT.  0, or -1 with "! Failed to create data socket". */
int OpenDataConnection(CINFO *ci, DataChannel *dc);
/* After the transfer command got a class-1 reply: for PORT, waits for the
 * server's connection and closes the listener.  The data socket (set
 * non-blocking, also stored in dataSocket), or INVALID_SOCKET. */
SOCKET AcceptDataConnection(CINFO *ci, DataChannel *dc);
/* Closes whatever the channel holds; gently (draining what the peer still
 * sends) unless noDrain: the peer has already ended its side, or the rest
 * of its data is unwanted. */
void CloseDataChannel(CINFO *ci, DataChannel *dc, int noDrain);

/* One receive on a non-blocking data socket, waiting (and pumping, for hook
 * records) while nothing is there.  >0 bytes, 0 end of data, -1 error
 * (*err set; a time-out is WSAETIMEDOUT), -2 stopped by cancelFlag,
 * abortFlag or a close request. */
int RecvSome(CINFO *ci, SOCKET s, char *buf, int len, int *err);
/* Sends everything on a non-blocking data socket.  0, -1 error (*err set),
 * -2 stopped as above. */
int SendAll(CINFO *ci, SOCKET s, const char *buf, int len, int *err);

/* After an upload's end of data: reads and drops what the server still
 * sends until it closes its end (1), its closing reply arrives on the
 * control connection, or the reply time-out passes (0). */
int WaitPeerClose(CINFO *ci, SOCKET s, char *buf, int size);

/* Next non-empty listing line (CR LF removed, cut to lineSize-1); the last
 * line counts even without a line feed.  Length, or -1 at the end or on an
 * error (lastError = the WinSock error, 0 at a clean end or when stopped). */
int ReadListingLine(CINFO *ci, SOCKET s, LineBuffer *lb, char *line, size_t lineSize);

/* The FTP abort: Telnet IP as urgent data, then DM and ABOR.  The logging
 * form logs "ABOR" and reads the reply; the quiet form reads it only when
 * no handler window will.  1 when both parts were sent.  The sequence alone
 * (no reply read) is for callers that must close a data connection first:
 * many servers look at the control connection only once a data write has
 * failed. */
int SendAbort(CINFO *ci);
int SendAbortQuiet(CINFO *ci);
int SendAbortSequence(CINFO *ci, int logging);

/* Reads a transfer's closing reply even when abortFlag (which stops reply
 * waits) is set because the transfer failed locally. */
int ReadClosingReply(CINFO *ci);

/* The replies that end a transfer, after an abort sequence or without one.
 * After an ABOR a server answers the transfer (426, or 226 when it had
 * just ended) and then, right behind it, the ABOR itself; a server whose
 * transfer had already finished may answer only once.  So the first reply
 * gets the record's reply time-out, the second at most kAbortReplyMs, and
 * when the second does not come replyLine keeps the first.  Without an
 * abort (aborted 0) only the first is read.  abortFlag does not stop these
 * waits: the transfer is over, its replies are not. */
#define TESSEL_ABORT_REPLY_MS 3000u
struct AbortReplies {
    int first; /* the transfer's code, -1 when none came */
    int last;  /* the ABOR's code when it came, else first */
};
AbortReplies ReadAbortReplies(CINFO *ci, int aborted);

/* Stops message notifications on the control socket and makes it blocking
 * again: the blocking operations read it themselves. */
void StopControlNotifications(CINFO *ci);

/* The download that picks up where an earlier one stopped: binary
 * transfers restart at the local size rounded down to 1024 bytes. */
int RecvFileResume(CINFO *ci, const char *remote, const char *local, int binary);

/* The remote file's size by SIZE, for binary transfers (ASCII sizes differ
 * between the two ends): sets src->size and src->sizeOk when known. */
void AskRemoteSize(CINFO *ci, const char *remote, struct SizeSources *src);

/* 64-bit counts in the 32-bit fields and message parameters. */
static inline uint32_t Saturate32(uint64_t v) { return v > 0xFFFFFFFFull ? 0xFFFFFFFFu : (uint32_t)v; }

#endif
