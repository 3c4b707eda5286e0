// Host-type names and both detectors: every pattern row, and the ordering
// rules that make the first hit win.
#include "hosttypes.h"

#include <gtest/gtest.h>

#include <string>

TEST(HostTypeNames, TableBoundsAndBothNumberForms)
{
    EXPECT_STREQ(TESSEL_ReturnHostTypeName(6000), "Automatic detect");
    EXPECT_STREQ(TESSEL_ReturnHostTypeName(6010), "UNIX (standard)");
    EXPECT_STREQ(TESSEL_ReturnHostTypeName(10), "UNIX (standard)");
    EXPECT_STREQ(TESSEL_ReturnHostTypeName(6051), "Passport 160");
    EXPECT_STREQ(TESSEL_ReturnHostTypeName(6037), "TGV MultiNet");
    EXPECT_EQ(TESSEL_ReturnHostTypeName(6052), nullptr);
    EXPECT_EQ(TESSEL_ReturnHostTypeName(52), nullptr);
    EXPECT_EQ(TESSEL_ReturnHostTypeName(-1), nullptr);
    for (int n = 6000; n <= 6051; ++n)
        EXPECT_NE(TESSEL_ReturnHostTypeName(n), nullptr) << n;
}

TEST(GreetingDetection, EveryRow)
{
    const struct {
        const char *greeting;
        int type;
    } rows[] = {
        {"220 WAR-FTPD 1.6 Ready", 6047},
        {"220 host MUSIC/SP FTP", 6049},
        {"220 Spartacus KNET server", 6029},
        {"220 box - qnx - ftpd", 6046},
        {"220 archive (UniTree 2.1)", 6045},
        {"220 NetWare v4.10 FTP", 6035},
        {"220 Serv-U FTP Server v2.5 ready", 6033},
        {"220 host WFTPD 2.0 service", 6034},
        {"220 HellSoft FTP", 6041},
        {"220 Novell LAN WorkPlace", 6008},
        {"220 unisys (EXOS 5000)", 6009},
        {"220 prime (XElink 1.0)", 6043},
        {"220 VersaTerm FTP Server", 6040},
        {"220 KNET/MVS ready", 6024},
        {"220 RSX-11M FTP", 6019},
        {"220 N1BEE NOS", 6005},
        {"220 IBM OS/2 TCP/IP FTP", 6003},
        {"220 micro OS-9 FTP", 6021},
        {"220 GCOS 8 FTP", 6023},
        {"220 BULL server", 6023},
        {"220 Amiga FTP", 6025},
        {"220 JNOS ready", 6005},
        {"220 Rational FTP server", 6027},
        {"220 CP-6 FTP Server", 6028},
        {"220 DOS FTP Server 3.0", 6038},
        {"220 IBM TCP/IP for OS/2 - FTP Server", 6048},
    };
    for (const auto &r : rows)
        EXPECT_EQ(TESSEL_DoAutoCheck(r.greeting, 6000), r.type) << r.greeting;
    // Case matters for the greeting.
    EXPECT_EQ(TESSEL_DoAutoCheck("220 serv-u ftp", 6000), 6000);
    // Only automatic detection is ever replaced.
    EXPECT_EQ(TESSEL_DoAutoCheck("220 Serv-U FTP", 6010), 6010);
    EXPECT_EQ(TESSEL_DoAutoCheck("220 nothing known", 6000), 6000);
    EXPECT_EQ(TESSEL_DoAutoCheck(nullptr, 6000), 6000);
    // First hit in table order: WAR-FTPD before RSX, both present.
    EXPECT_EQ(TESSEL_DoAutoCheck("220 RSX WAR-FTPD", 6000), 6047);
}

TEST(SystDetection, EveryRow)
{
    const struct {
        const char *reply;
        int type;
    } rows[] = {
        {"215 MPE/iX: HP 3000", 6032},
        {"215 host MUSIC/SP", 6049},
        {"215 WAR-FTPD", 6047},
        {"215 RSX-11M", 6019},
        {"215 UniTree archive", 6045},
        {"215 NetWare v4.1", 6035},
        {"215 System PRIMOS 23", 6043},
        {"215 VersaTerm Server", 6040},
        {"215 HellSoft", 6041},
        {"215 Windows_NT version 4.0", 6016},
        {"215 WINDOWS_NT", 6016},
        {"215 DOS PC FTP", 6022},
        {"215 MacOS Peter's Server", 6015},
        {"215 OS/2 Operating System", 6003},
        {"215 ULTRIX 4.3", 6010},
        {"215 UNIX Type: L8", 6010},
        {"215 MVS is the operating system of this server", 6018},
        {"215 QVT/Net 4.0", 6039},
        {"215 QVT/Net 3", 6013},
        {"215 NCSA Telnet", 6006},
        {"215 Chameleon FTP", 6001},
        {"215 NetManage Inc", 6001},
        {"215 Windows [MultiNet", 6037},
        {"215 VMS MultiNet V3.5", 6011},
        {"215 VMS version 7", 6012},
        {"215 OS/400 is the remote operating system", 6017},
        {"215 MTS system", 6003},
        {"215 IBM VM level", 6004},
        {"215 IBM VM/ESA", 6004},
        {"215 IBM VM/CMS", 6004},
        {"215 Stratus VOS", 6031},
        {"215 M28", 6031},
        {"215 Tandem NonStop", 6030},
        {"215 CDC cyberB", 6026},
        {"215 Dos FTP Server 3.1", 6038},
    };
    for (const auto &r : rows)
        EXPECT_EQ(TESSEL_DetectFromSystString(r.reply, 6000), r.type) << r.reply;
}

TEST(SystDetection, OrderingRules)
{
    // UNIX is tested before MVS.
    EXPECT_EQ(TESSEL_DetectFromSystString("215 UNIX emulation on MVS", 6000), 6010);
    // The longer "qvt/net 4" before the shorter "qvt".
    EXPECT_EQ(TESSEL_DetectFromSystString("215 qvt/net 4.1", 6000), 6039);
    EXPECT_EQ(TESSEL_DetectFromSystString("215 qvt/net 3.0", 6000), 6013);
    // VMS with and without MultiNet, in any case.
    EXPECT_EQ(TESSEL_DetectFromSystString("215 vms multinet", 6000), 6011);
    EXPECT_EQ(TESSEL_DetectFromSystString("215 VMS", 6000), 6012);
    // The first group is case-sensitive: lower-case mpe/ix is not HP/3000.
    EXPECT_EQ(TESSEL_DetectFromSystString("215 mpe/ix", 6000), 6000);
    EXPECT_EQ(TESSEL_DetectFromSystString("215 UNIX", 6016), 6016);
    EXPECT_EQ(TESSEL_DetectFromSystString("215 something else", 6000), 6000);
}

TEST(SystDetection, OnlyTheFirst999CharactersCount)
{
    std::string text(998, 'x');
    EXPECT_EQ(TESSEL_DetectFromSystString((text + " unix").c_str(), 6000), 6000);
    EXPECT_EQ(TESSEL_DetectFromSystString((std::string(990, 'x') + " unix").c_str(), 6000), 6010);
    std::string huge(100000, 'y');
    EXPECT_EQ(TESSEL_DoAutoCheck(huge.c_str(), 6000), 6000);
}
