// Host-type detection on the login path: the greeting check, then SYST,
// against scripted servers (one script file per dialogue, and generated
// dialogues for every row of both tables).
#include "enginetest.h"
#include "fakeftp.h"

#include <gtest/gtest.h>

#include <string>

namespace {

int Login(LoggedRecord &r, int port)
{
    return TESSEL_Connect(r.ci, "127.0.0.1", port, "joe", "pw");
}

} // namespace

TEST(DetectOnLogin, ScriptedDialogues)
{
    REQUIRE_FAKE_SERVER();
    struct {
        const char *script;
        int code, type;
        const char *logLine;
    } cases[] = {
        {"login-vms-multinet", 230, 6011, "Host type (2): VMS MultiNet\r\n"},
        {"login-serv-u-greeting", 230, 6033, "Host type (I): Serv-U\r\n"},
        {"login-syst-refused", 230, 6000, "Host type (I): Automatic detect\r\n"},
        {"login-rsx-syst", 230, 6019, "Host type (2): PDP11 RSX11M\r\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.script);
        int port = fake::Load(c.script);
        ASSERT_NE(port, 0);
        LoggedRecord r;
        EXPECT_EQ(Login(r, port), c.code) << r.Log();
        EXPECT_EQ(r.ci->hostType, c.type);
        EXPECT_NE(r.Log().find(c.logLine), std::string::npos) << r.Log();
        TESSEL_CloseConnect(r.ci, 0);
        for (const auto &l : fake::Received(port))
            EXPECT_NE(l[0], '!') << l;
    }
}

TEST(DetectOnLogin, AutoDetectSystResults)
{
    REQUIRE_FAKE_SERVER();
    // RSX gives 2 whatever SYST said; a known type sends no SYST at all.
    int port = fake::Load("login-rsx-syst");
    LoggedRecord r;
    ASSERT_EQ(Login(r, port), 230);
    EXPECT_EQ(TESSEL_AutoDetectSyst(r.ci), 2); // type already settled: no SYST
    TESSEL_CloseConnect(r.ci, 0);
    auto got = Commands(fake::Received(port));
    EXPECT_EQ(got, std::vector<std::string>({"USER joe", "SYST"}));

    port = fake::Inline("send 220 hi\nexpect USER joe\nsend 230 in\nexpect SYST\nsend 215 UNIX Type: L8\n"
                        "expect SYST\nsend 215 UNIX again\n");
    LoggedRecord u;
    ASSERT_EQ(Login(u, port), 230);
    u.ci->hostType = TESSEL_HOST_AUTO;
    EXPECT_EQ(TESSEL_AutoDetectSyst(u.ci), 2); // class of the SYST reply
    EXPECT_EQ(u.ci->hostType, 6010);
}

// Every greeting pattern and every SYST pattern, through a real login.
TEST(DetectOnLogin, EveryTableRowThroughALogin)
{
    REQUIRE_FAKE_SERVER();
    const struct {
        const char *greeting, *syst;
        int type;
    } rows[] = {
        {"220 WAR-FTPD 1.6", nullptr, 6047}, {"220 x MUSIC/SP", nullptr, 6049},
        {"220 Spartacus KNET", nullptr, 6029}, {"220 - qnx - ftpd", nullptr, 6046},
        {"220 (UniTree 2)", nullptr, 6045}, {"220 NetWare v4.1", nullptr, 6035},
        {"220 Serv-U FTP", nullptr, 6033}, {"220 h WFTPD 2.0", nullptr, 6034},
        {"220 HellSoft", nullptr, 6041}, {"220 Novell LAN WorkPlace", nullptr, 6008},
        {"220 (EXOS 1)", nullptr, 6009}, {"220 (XElink)", nullptr, 6043},
        {"220 VersaTerm FTP", nullptr, 6040}, {"220 KNET/MVS", nullptr, 6024},
        {"220 RSX", nullptr, 6019}, {"220 N1BEE", nullptr, 6005},
        {"220 IBM OS/2 TCP/IP", nullptr, 6003}, {"220 a OS-9 b", nullptr, 6021},
        {"220 GCOS", nullptr, 6023}, {"220 BULL", nullptr, 6023}, {"220 Amiga FTP", nullptr, 6025},
        {"220 JNOS", nullptr, 6005}, {"220 Rational FTP", nullptr, 6027},
        {"220 CP-6 FTP", nullptr, 6028}, {"220 DOS FTP Server 3.0", nullptr, 6038},
        {"220 IBM TCP/IP for OS/2 - FTP", nullptr, 6048},
        {"220 hi", "215 MPE/iX", 6032}, {"220 hi", "215 a MUSIC/SP", 6049},
        {"220 hi", "215 WAR-FTPD", 6047}, {"220 hi", "215 RSX", 6019},
        {"220 hi", "215 UniTree", 6045}, {"220 hi", "215 NetWare v4", 6035},
        {"220 hi", "215 a PRIMOS b", 6043}, {"220 hi", "215 VersaTerm x", 6040},
        {"220 hi", "215 HellSoft", 6041}, {"220 hi", "215 Windows_NT", 6016},
        {"220 hi", "215 a PC b", 6022}, {"220 hi", "215 MacOS Peter", 6015},
        {"220 hi", "215 OS/2 operating", 6003}, {"220 hi", "215 Ultrix", 6010},
        {"220 hi", "215 UNIX", 6010}, {"220 hi", "215 MVS", 6018},
        {"220 hi", "215 QVT/Net 4", 6039}, {"220 hi", "215 QVT", 6013},
        {"220 hi", "215 NCSA", 6006}, {"220 hi", "215 Chameleon", 6001},
        {"220 hi", "215 NetManage", 6001}, {"220 hi", "215 Windows [MultiNet", 6037},
        {"220 hi", "215 VMS MultiNet", 6011}, {"220 hi", "215 VMS", 6012},
        {"220 hi", "215 OS/400", 6017}, {"220 hi", "215 a MTS SYS", 6003},
        {"220 hi", "215 a VM b", 6004}, {"220 hi", "215 a VM/ESA", 6004},
        {"220 hi", "215 a VM/CMS", 6004}, {"220 hi", "215 VOS", 6031},
        {"220 hi", "215 M28", 6031}, {"220 hi", "215 Tandem", 6030},
        {"220 hi", "215 CyberB", 6026}, {"220 hi", "215 DOS FTP SERVER 3.1", 6038},
    };
    for (const auto &row : rows) {
        std::string script = std::string("send ") + row.greeting +
                             "\nexpect USER joe\nsend 331 pw\nexpect PASS pw\nsend 230 in\n";
        if (row.syst)
            script += std::string("expect SYST\nsend ") + row.syst + "\n";
        int port = fake::Inline(script);
        ASSERT_NE(port, 0);
        LoggedRecord r;
        ASSERT_EQ(Login(r, port), 230) << row.greeting << " " << (row.syst ? row.syst : "");
        EXPECT_EQ(r.ci->hostType, row.type) << row.greeting << " " << (row.syst ? row.syst : "");
        TESSEL_CloseConnect(r.ci, 0);
    }
}
