// The client's INI rules on real INI files written with the private-profile
// API: _config_ keys, the session record, fallback keys, the
// unless-equal-to-default rule, histories and bad files.
#include "clienttest.h"

#include <string>

using namespace t95;

TEST(ClientFiles, LocateTriesCurrentThenProgramThenWindowsDirectory)
{
    ct::TempDir here;
    char old[MAX_PATH];
    GetCurrentDirectoryA(sizeof old, old);
    SetCurrentDirectoryA(here.path.c_str());
    char out[MAX_PATH];
    char win[MAX_PATH];
    GetWindowsDirectoryA(win, sizeof win);
    // Nowhere: the Windows directory is used even though the file is missing.
    LocateFile("T95NOSUCH.INI", out, sizeof out);
    EXPECT_EQ(std::string(out), std::string(win) + "\\T95NOSUCH.INI");
    // Beside the program.
    char exe[MAX_PATH];
    GetModuleFileNameA(nullptr, exe, sizeof exe);
    std::string exeDir(exe, strrchr(exe, '\\') - exe);
    std::string beside = exeDir + "\\T95BESIDE.INI";
    FILE *f = fopen(beside.c_str(), "w");
    ASSERT_TRUE(f);
    fclose(f);
    LocateFile("T95BESIDE.INI", out, sizeof out);
    EXPECT_STREQ(out, beside.c_str());
    // The current directory wins.
    here.Write("T95BESIDE.INI", "");
    LocateFile("T95BESIDE.INI", out, sizeof out);
    EXPECT_EQ(std::string(out), here.File("T95BESIDE.INI"));
    DeleteFileA(beside.c_str());
    SetCurrentDirectoryA(old);
}

TEST(ClientConfig, DefaultsValuesAndRefusedValues)
{
    ct::ClientState st("[_config_]\r\n");
    LoadConfig();
    EXPECT_STREQ(g_cfg.viewer, "notepad");
    EXPECT_EQ(g_cfg.hash, 1);
    EXPECT_EQ(g_cfg.rbp, 4096);
    EXPECT_EQ(g_cfg.sbp, 512);
    EXPECT_EQ(g_cfg.soundflags, 30);
    EXPECT_EQ(g_cfg.mode, 'I');
    EXPECT_EQ(g_cfg.retain, 1);
    EXPECT_EQ(g_cfg.doupdate, 1);
    EXPECT_STREQ(g_cfg.logfile, "TESSEL.LOG");
    EXPECT_EQ(g_cfg.locr[3], 330);

    std::string longMail(200, 'm');
    ct::ClientState st2("[_config_]\r\nMAILADDR=" + longMail + "\r\nVIEWER=myview\r\nRBP=50\r\nSBP=2048\r\n"
                        "DateFmt=7\r\nMODE=65\r\nLOCL=1,2,3,4\r\nLOCR=9,8,7,6\r\nVERBOSE=1\r\n");
    char before[128];
    strcpy(before, g_cfg.mailAddr);
    LoadConfig();
    // A value that does not fit its field counts as absent, never cut.
    EXPECT_STREQ(g_cfg.mailAddr, before);
    EXPECT_STREQ(g_cfg.viewer, "myview");
    EXPECT_EQ(g_cfg.rbp, 4096) << "outside 80..4096";
    EXPECT_EQ(g_cfg.sbp, 2048);
    EXPECT_EQ(g_cfg.dateFmt, 0);
    EXPECT_EQ(g_cfg.mode, 'A');
    EXPECT_EQ(g_cfg.locl[3], 4);
    EXPECT_EQ(g_cfg.locr[0], 20) << "falling boundaries are refused";
    EXPECT_EQ(g_cfg.verbose, 1);
}

TEST(ClientConfig, SessionRecordReadRules)
{
    ct::ClientState st("[_config_]\r\nSESSION=box\r\nMAILADDR=me@example.org\r\n"
                       "[box]\r\nUID=joe\r\nTYPE=7000\r\nDIR=\"/pub/x\"\r\nPORT=2121\r\nRETRIES=3\r\n"
                       "LMASK=*.c\r\nLOCDIR=origdir\r\nINITCMD=SITE A;SITE B\r\nTIMEOFFSET=-5\r\n"
                       "[anon]\r\nHOST=ftp.example.org\r\nUID=Anonymous\r\nTYPE=6010\r\n"
                       "[long]\r\nHOST=" + std::string(300, 'h') + "\r\nUID=" + std::string(90, 'u') + "\r\n");
    LoadConfig();
    EXPECT_STREQ(g_session.name, "box");
    EXPECT_STREQ(g_session.host, "box") << "no HOST: the section name";
    EXPECT_STREQ(g_session.user, "joe");
    EXPECT_EQ(g_session.hostType, 6000) << "TYPE 7000 loads as 6000";
    EXPECT_STREQ(g_session.remoteDir, "/pub/x");
    EXPECT_EQ(g_session.port, 2121);
    EXPECT_EQ(g_session.retries, 3);
    EXPECT_EQ(g_session.timeout, 65);
    EXPECT_STREQ(g_session.lmask, "*.c");
    EXPECT_STREQ(g_session.localDir, "origdir");
    EXPECT_STREQ(g_session.initCmd, "SITE A;SITE B");
    EXPECT_EQ(g_session.timeOffset, -5);
    EXPECT_EQ(g_session.savePwd, 0);

    SessionRec s;
    ClearSession(&s);
    strcpy(s.name, "anon");
    LoadSession(&s);
    EXPECT_STREQ(s.host, "ftp.example.org");
    EXPECT_EQ(s.hostType, 6010);
    // Anonymous without a password takes the mail address (a quiet test run
    // cannot answer the question).
    EXPECT_STREQ(s.password, "me@example.org");

    ClearSession(&s);
    strcpy(s.name, "long");
    LoadSession(&s);
    EXPECT_STREQ(s.host, "long") << "a host over 250 characters counts as absent";
    EXPECT_STREQ(s.user, "") << "a user id over 79 characters counts as absent";
}

TEST(ClientConfig, SessionSaveRulesAndPasswordRoundTrip)
{
    ct::ClientState st("[_config_]\r\nPASVMODE=1\r\n[s1]\r\nTYPE=6010\r\nPORT=99\r\nFIREWALL=1\r\nRETRIES=4\r\n");
    SessionRec s;
    ClearSession(&s);
    strcpy(s.name, "s1");
    strcpy(s.host, "ftp.example.org");
    strcpy(s.user, "joe");
    strcpy(s.password, "s3cr\xe9t pw");
    strcpy(s.account, "acct1");
    strcpy(s.remoteDir, "/home/joe");
    s.savePwd = 1;
    s.passive = 1;
    s.timeOffset = -3;
    SaveSession(&s);
    EXPECT_EQ(st.Ini("s1", "HOST"), "ftp.example.org");
    EXPECT_EQ(st.Ini("s1", "TYPE"), "<absent>") << "6000 is not stored";
    EXPECT_EQ(st.Ini("s1", "PORT"), "<absent>") << "21 is not stored";
    EXPECT_EQ(st.Ini("s1", "FIREWALL"), "<absent>");
    EXPECT_EQ(st.Ini("s1", "RETRIES"), "<absent>");
    EXPECT_EQ(st.Ini("s1", "TIMEOUT"), "<absent>");
    EXPECT_EQ(st.Ini("s1", "PASVMODE"), "<absent>") << "equal to _config_";
    EXPECT_EQ(st.Ini("s1", "TIMEOFFSET"), "-3");
    // The private-profile reader strips the quotes; the file holds them.
    EXPECT_NE(st.dir.Read("TESSEL.INI").find("DIR=\"/home/joe\""), std::string::npos);
    std::string pwd = st.Ini("s1", "PWD");
    ASSERT_EQ(pwd.size(), 33u + 2 * strlen(s.password));
    EXPECT_EQ(pwd[0], 'V');
    EXPECT_EQ(st.dir.Read("TESSEL.INI").find("s3cr"), std::string::npos) << "never in clear";

    SessionRec r;
    ClearSession(&r);
    strcpy(r.name, "s1");
    LoadSession(&r);
    EXPECT_STREQ(r.password, s.password);
    EXPECT_STREQ(r.account, "acct1");
    EXPECT_EQ(r.savePwd, 1);
    EXPECT_STREQ(r.remoteDir, "/home/joe");

    s.passive = 0;
    s.savePwd = 0;
    s.hostType = 6016;
    s.port = 2100;
    s.useFirewall = 1;
    SaveSession(&s);
    EXPECT_EQ(st.Ini("s1", "PASVMODE"), "0") << "differs from _config_";
    EXPECT_EQ(st.Ini("s1", "PWD"), "<absent>");
    EXPECT_EQ(st.Ini("s1", "TYPE"), "6016");
    EXPECT_EQ(st.Ini("s1", "PORT"), "2100");
    EXPECT_EQ(st.Ini("s1", "FIREWALL"), "1");
}

TEST(ClientConfig, OptionKeysFallBackFromSessionToConfigToCurrent)
{
    ct::ClientState st("[_config_]\r\nAMODE=1\r\nSTOU=1\r\n[s]\r\nSTOU=0\r\nMODE=76\r\n");
    g_cfg.recu = 1; // the program's current value
    LoadSessionOptions("s");
    EXPECT_EQ(g_cfg.stou, 0) << "session wins";
    EXPECT_EQ(g_cfg.amode, 1) << "then _config_";
    EXPECT_EQ(g_cfg.recu, 1) << "then the current value";
    EXPECT_EQ(g_cfg.mode, 'L');
    EXPECT_EQ(g_cfg.doupdate, 1);
    // FIREWALL and PASVMODE fall back to 0, not to the current value.
    g_cfg.firewall = g_cfg.pasvmode = 1;
    LoadSessionOptions("s");
    EXPECT_EQ(g_cfg.firewall, 0);
    EXPECT_EQ(g_cfg.pasvmode, 0);
}

TEST(ClientConfig, HistoriesWithRetainOnAndOff)
{
    ct::ClientState st("[h]\r\nrdir0=/a\r\nrdir3=/b\r\nrdir15=/c\r\nrdir16=/a\r\n");
    HWND combo = CreateWindowExA(0, "COMBOBOX", "", WS_POPUP | CBS_DROPDOWN, 0, 0, 100, 100, nullptr, nullptr,
                                 GetModuleHandleA(nullptr), nullptr);
    ReadHistory("h", "rdir%u", combo);
    ASSERT_EQ(SendMessageA(combo, CB_GETCOUNT, 0, 0), 3) << "up to twenty keys, duplicates skipped";
    for (int i = 0; i < 9; ++i) {
        char d[16];
        sprintf(d, "/d%d", i);
        SendMessageA(combo, CB_ADDSTRING, 0, (LPARAM)d);
    }
    g_cfg.retain = 1;
    SaveHistory("h", "rdir%u", combo, 1);
    EXPECT_NE(st.dir.Read("TESSEL.INI").find("rdir0=\"/a\""), std::string::npos);
    EXPECT_EQ(st.Ini("h", "rdir9"), "/d6");
    EXPECT_EQ(st.Ini("h", "rdir15"), "/c") << "keys past 9 are left alone";
    SaveHistory("h", "ldir%u", combo, 0);
    EXPECT_NE(st.dir.Read("TESSEL.INI").find("ldir0=/a\r\n"), std::string::npos);
    g_cfg.retain = 0;
    SaveHistory("h", "rdir%u", combo, 1);
    for (int i = 0; i < 10; ++i) {
        char key[16];
        sprintf(key, "rdir%d", i);
        EXPECT_EQ(st.Ini("h", key), "<absent>") << key;
    }
    DestroyWindow(combo);
}

TEST(ClientConfig, HugeIniFileIsReadAndLeftUntouched)
{
    std::string ini = "[_config_]\r\nSESSION=big\r\nLOC=" + std::string(5000, '9') + "\r\n[big]\r\nHOST=" +
                      std::string(10000, 'x') + "\r\nUID=" + std::string(10000, 'u') + "\r\nPWD=V" +
                      std::string(5000, 'Z') + "\r\nTYPE=garbage\r\n";
    while (ini.size() < 1024 * 1024)
        ini += "[filler" + std::to_string(ini.size()) + "]\r\nKEY=" + std::string(200, 'f') + "\r\n";
    ct::ClientState st(ini);
    LoadConfig();
    EXPECT_STREQ(g_session.host, "big");
    EXPECT_STREQ(g_session.user, "");
    EXPECT_STREQ(g_session.password, "");
    EXPECT_EQ(g_session.hostType, 6000);
    EXPECT_EQ(st.dir.Read("TESSEL.INI"), ini) << "reading never writes";
}
