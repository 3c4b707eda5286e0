/* Reading the replies that set up a data connection: the address of a PASV
 * reply, the choice of where to connect, and the path of a PWD reply.
 * Portable: no Win32 types, so these build and are tested natively. */
#ifndef TESSEL_PASV_H
#define TESSEL_PASV_H

#include <stddef.h>
#include <stdint.h>

enum PasvParseResult {
    PASV_OK = 0,
    PASV_NO_START = 1,    /* no "(" and no digit after the code: "! Unable to parse %s" */
    PASV_BAD_ADDRESS = 2  /* fewer or more than six numbers, or one above 255: "! Bad address in %s" */
};

/* Reads "h1,h2,h3,h4,p1,p2" out of a PASV reply line.  The numbers start
 * after the first "(" (the text is cut at the first ")"), or else at the
 * first digit after the code and its separator.  On PASV_OK, *addr is the
 * IPv4 address in host order (h1 in the top byte) and *port the data port. */
int ParsePasvReply(const char *line, uint32_t *addr, uint16_t *port);

/* True for addresses that only make sense inside one network or host:
 * 0.0.0.0/8, 10/8, 127/8, 172.16/12, 192.168/16 (host order). */
int IsInternalAddress(uint32_t addr);

/* Where to connect for a PASV reply naming replyAddr when the control
 * connection goes to peerAddr (both host order; 0 when the peer is not
 * known).  Always the server's own address: one behind a NAT router hands
 * out its private address, and a hostile one could aim our data connection
 * at any host and port (of our own network or anyone else's).  The reply's
 * address is used only when the peer is unknown.  Copies between two
 * servers do not come here: they hand the PASV text on as it stands. */
uint32_t PasvTarget(uint32_t replyAddr, uint32_t peerAddr);

/* Longest directory path kept from a PWD reply. */
#define TESSEL_PWD_PATH_MAX 249

/* Takes the quoted path out of a PWD reply line.  The path starts after the
 * first double quote and ends at the next double quote that is not doubled
 * (a doubled one stands for one quote character); when the line has no
 * double quote, it starts after the first single quote and ends at the next
 * one.  An unclosed quote runs to the end of the line.  At most
 * TESSEL_PWD_PATH_MAX characters are kept (and outSize-1).  Returns 1 and
 * fills out when the line holds a quote, else 0 and leaves out empty. */
int ParsePwdReply(const char *line, char *out, size_t outSize);

#endif
