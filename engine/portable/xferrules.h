/* Rules that decide whether a transfer really happened, and what may
 * become a local file name: shared by the engine and the client, so both
 * judge a transfer and a name alike.  Portable: no Win32 types. */
#ifndef TESSEL_XFERRULES_H
#define TESSEL_XFERRULES_H

#include <stddef.h>
#include <stdint.h>

/* ---------------------------------------------------------------- sizes */

/* The size a preliminary reply announces: the last parenthesis holding a
 * decimal number followed by "bytes", as in "150 Opening BINARY mode data
 * connection for f (5000 bytes)."  Signs, missing digits and numbers that
 * do not fit in 63 bits count as no announcement.  1 when found. */
int ParseAnnouncedSize(const char *reply, uint64_t *size);

/* The size in a reply to SIZE: "213 N" (N decimal, 63 bits at most, and
 * nothing but blanks after it).  1 when the reply is one. */
int ParseSizeReply(const char *reply, uint64_t *size);

/* Where the expected length of a download comes from, best first. */
struct SizeSources {
    int announcedOk;
    uint64_t announced; /* "(N bytes)" of the preliminary reply */
    int sizeOk;
    uint64_t size; /* the reply to SIZE */
    int listingOk;
    uint64_t listing; /* the size the listing showed */
};

/* The length the local file must have when the transfer is done, or 0
 * when it cannot be known (*known = 0).  offset is the restart point the
 * server accepted.  For a whole file the announcement counts first, then
 * SIZE, then the listing.  For a restarted one only the remote file's own
 * size (SIZE, else the listing) says how long the result must be: servers
 * announce either the whole size or what is left. */
uint64_t ExpectedLength(const struct SizeSources *s, uint64_t offset, int *known);

/* Restart point of a resumed binary download: the local size rounded down
 * to 1024 bytes, 0 for 1024 bytes or less, and 0 as well when the remote
 * size is unknown or not larger than that part (there is then nothing to
 * resume, or no way to tell when the file is complete).  A local tail
 * past the restart point is never kept, so a local file somewhat longer
 * than the remote one still resumes from its whole kilobytes. */
uint64_t ResumeOffset(uint64_t localSize, int remoteKnown, uint64_t remoteSize);

/* ---------------------------------------------------------------- verdict */

enum TransferVerdictCode {
    XV_OK = 0,
    XV_NO_DATA_CONNECTION, /* no data connection was made for it */
    XV_LOCAL_FILE,         /* the local file was not written or closed cleanly */
    XV_DATA_BROKEN,        /* the data connection failed, or was stopped */
    XV_CLOSING_REPLY,      /* the closing reply is not 2xx */
    XV_SHORT,              /* fewer bytes than the server meant */
    XV_LONG                /* more bytes than the server meant */
};

struct TransferFacts {
    int dataConnection; /* a data connection was made for the transfer */
    int localFileOk;    /* every block written and the file closed */
    int dataOk;         /* the data ended cleanly (no error, no stop) */
    int closingCode;    /* code of the closing reply */
    int binary;         /* sizes are compared in binary mode only */
    int lengthKnown;
    uint64_t expected;  /* what the local file must hold at the end */
    uint64_t actual;    /* what it holds (restart offset included) */
};

/* The first of the conditions above that fails, in the order listed, or
 * XV_OK when the transfer may be called complete. */
int TransferVerdict(const struct TransferFacts *f);

/* A failure line for a verdict, beginning "! ".  Returns out. */
const char *VerdictText(int verdict, const struct TransferFacts *f, char *out, size_t size);

/* ---------------------------------------------------------------- local names */

enum LocalNameCheck {
    LN_OK = 0,
    LN_EMPTY,
    LN_DOTS_BLANKS, /* only dots and blanks: the folder itself or its parent */
    LN_TRAILING,    /* ends in a dot or blank, which Windows strips */
    LN_PATH,        /* holds a path separator, a colon or a control character */
    LN_DEVICE,      /* a reserved device name (CON, COM1, LPT3, COM followed by a superscript one...) */
    LN_TOO_LONG     /* longer than the volume's names */
};

/* Whether a remote name may be used unchanged as a local file or folder
 * name on Windows.  maxLength: the volume's longest name, 0 for no limit. */
int CheckLocalName(const char *name, size_t maxLength);

/* Why a name was refused, for the log. */
const char *LocalNameCheckText(int check);

/* The form two names share when Windows takes them for the same file:
 * letters folded to upper case (ASCII and the Latin-1 letters of the
 * Windows ANSI code page).  out holds at most size-1 characters. */
void LocalNameKey(const char *name, char *out, size_t size);

/* ---------------------------------------------------------------- name lists */

enum NameLineResult { NL_END = 0, NL_OK, NL_NUL, NL_LONG, NL_EMPTY };

/* The next line of a name list (NLST data) from buf[*pos..len): a line
 * ends at LF, a CR before it is dropped.  NL_OK with the name in out;
 * NL_NUL for a line holding a NUL byte and NL_LONG for one that does not
 * fit in out (both skipped whole, never joined with the next line);
 * NL_EMPTY for an empty line; NL_END at the end.  *pos moves past the line. */
int NextNameLine(const char *buf, size_t len, size_t *pos, char *out, size_t outSize);

/* ---------------------------------------------------------------- deadlines */

/* Milliseconds left of limit counted from start, at now (32-bit tick
 * counts, which wrap); 0 once the limit has passed. */
uint32_t DeadlineLeft(uint32_t start, uint32_t limit, uint32_t now);

#endif
