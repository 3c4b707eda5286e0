// Host-type names and detection from the server's greeting and SYST reply.
#include "hosttypes.h"

#include <string.h>

static const char *const kHostTypeNames[TESSEL_HOST_COUNT] = {
    "Automatic detect", "Chameleon", "FTP PC/TCP", "IBM PC TCP/IP", "IBM VM",
    "KA9Q/NOS", "NCSA/CUTCP", "SI NT FTPD", "Super TCP", "Unisys 5000 (EXOS)",
    "UNIX (standard)", "VMS MultiNet", "VMS UCX", "QVT/Net 2/3", "MAC NCSA",
    "MAC Peter Server", "Microsoft NT", "IBM AS/400", "IBM MVS", "PDP11 RSX11M",
    "Sun Solaris", "OS/9", "Corvane", "BULL GCOS", "IBM MVS/KNET", "Amiga",
    "CDC Cyber", "IBM R1000", "BULL CP6", "IBM Spartacus KNET", "Tandem",
    "Stratus VOS", "HP/3000", "Serv-U", "WFTPD", "NetWare v4", "PCNFS-Pro",
    "TGV MultiNet", "FTP PC/TCP 3.0", "QVT/Net 4.0", "MAC VersaTerm", "HellSoft",
    "IBM OS2 WARP", "PRIMOS", "OS2200", "UniTree", "QNX2", "WarFTPD", "IBM OS2",
    "Music", "AOS/VS", "Passport 160",
};

TESSEL_EXTERN_C const char *TESSEL_API TESSEL_ReturnHostTypeName(int number)
{
    if (number >= TESSEL_HOST_FIRST)
        number -= TESSEL_HOST_FIRST;
    if (number < 0 || number >= TESSEL_HOST_COUNT)
        return nullptr;
    return kHostTypeNames[number];
}

namespace {

struct Pattern {
    const char *text;
    int type;
};

// Greeting patterns, case-sensitive, first hit wins.
const Pattern kGreeting[] = {
    {"WAR-FTPD", 6047}, {" MUSIC/SP", 6049}, {"Spartacus KNET", 6029},
    {"- qnx -", 6046}, {"(UniTree", 6045}, {"NetWare v4", 6035},
    {"Serv-U FTP", 6033}, {" WFTPD ", 6034}, {"HellSoft", 6041},
    {"Novell LAN W", 6008}, {"(EXOS", 6009}, {"(XElink", 6043},
    {"VersaTerm ", 6040}, {"KNET/MVS", 6024}, {"RSX", 6019}, {"N1BEE", 6005},
    {"IBM OS/2 TCP/IP", 6003}, {" OS-9 ", 6021}, {"GCOS", 6023}, {"BULL", 6023},
    {"Amiga ", 6025}, {"JNOS", 6005}, {"Rational FTP", 6027},
    {"CP-6 FTP", 6028}, {"DOS FTP Server 3.", 6038},
    {"IBM TCP/IP for OS/2 - FTP", 6048},
};

// SYST patterns tested on the text as received.
const Pattern kSystExact[] = {
    {"215 MPE/iX", 6032}, {" MUSIC/SP", 6049}, {"WAR-FTPD", 6047}, {"RSX", 6019},
    {"UniTree", 6045}, {"NetWare v4", 6035}, {" PRIMOS ", 6043},
    {"VersaTerm ", 6040}, {"HellSoft", 6041},
};

// SYST patterns tested on the lowered copy.  The VMS row is special-cased.
const Pattern kSystLower[] = {
    {"windows_nt", 6016}, {" pc ", 6022}, {"macos peter", 6015},
    {"os/2 operating", 6003}, {"ultrix", 6010}, {"unix", 6010}, {"mvs", 6018},
    {"qvt/net 4", 6039}, {"qvt", 6013}, {"ncsa", 6006}, {"chameleon", 6001},
    {"netmanage", 6001}, {"windows [multinet", 6037}, {"vms", -1},
    {"os/400", 6017}, {" mts sys", 6003}, {" vm ", 6004}, {" vm/esa", 6004},
    {" vm/cms", 6004}, {"vos", 6031}, {"m28", 6031}, {"tandem", 6030},
    {"cyberb", 6026}, {"dos ftp server 3.", 6038},
};

// Detection looks at the first 999 characters only, like the fixed buffer the
// patterns were tuned against.
struct DetectBuffer {
    char text[1024];
    explicit DetectBuffer(const char *src)
    {
        memset(text, 0, sizeof text);
        if (src)
            strncpy(text, src, 999);
    }
};

} // namespace

TESSEL_EXTERN_C int TESSEL_API TESSEL_DoAutoCheck(const char *text, int current)
{
    if (current != TESSEL_HOST_AUTO)
        return current;
    DetectBuffer buf(text);
    for (const Pattern &p : kGreeting)
        if (strstr(buf.text, p.text))
            return p.type;
    return current;
}

TESSEL_EXTERN_C int TESSEL_API TESSEL_DetectFromSystString(const char *text, int current)
{
    if (current != TESSEL_HOST_AUTO)
        return current;
    DetectBuffer buf(text);
    for (const Pattern &p : kSystExact)
        if (strstr(buf.text, p.text))
            return p.type;
    for (char *c = buf.text; *c; ++c)
        if (*c >= 'A' && *c <= 'Z')
            *c = (char)(*c - 'A' + 'a');
    for (const Pattern &p : kSystLower) {
        if (!strstr(buf.text, p.text))
            continue;
        if (p.type == -1)
            return strstr(buf.text, "multinet") ? 6011 : 6012;
        return p.type;
    }
    return current;
}
