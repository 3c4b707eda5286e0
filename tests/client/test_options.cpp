// The Options sheet, the Session sheet and the About box, driven through
// their real pages by a helper thread; every key is read back from
// TESSEL.INI with GetPrivateProfileString, with the clamps and the rules
// (config or session, "Set as default" surviving Cancel).
#include "clienttest.h"
#include "dlgbot.h"
#include "options.h"

#include <string>
#include <vector>

using namespace t95;
using ct::DialogBot;
using ct::SheetBot;

namespace {

const char kIni[] = "[_config_]\r\nSESSION=s1\r\nHASH=1\r\nDOUPDATE=1\r\nPASVMODE=0\r\nMODE=73\r\n"
                    "[s1]\r\nHOST=host.example\r\nUID=joe\r\n";

// Selects the entry of a combo whose item data is value.
void SelectData(HWND page, int id, int value)
{
    HWND c = GetDlgItem(page, id);
    int n = (int)SendMessageA(c, CB_GETCOUNT, 0, 0);
    for (int i = 0; i < n; ++i)
        if ((int)SendMessageA(c, CB_GETITEMDATA, i, 0) == value)
            SendMessageA(c, CB_SETCURSEL, i, 0);
}

int ListCount(HWND page, int id) { return (int)SendDlgItemMessageA(page, id, LB_GETCOUNT, 0, 0); }

} // namespace

TEST(ClientOptionSheet, EveryPageWritesItsKeysByItsRule)
{
    ct::ClientState st(kIni);
    LoadConfig();
    ASSERT_STREQ(g_session.name, "s1");
    ct::MainWindow w;
    g_main = w.wnd;
    RECT before;
    GetWindowRect(w.wnd, &before);
    WriteProfileStringA("Extensions", "t95o", nullptr);
    std::string locSaved;
    {
        using B = SheetBot;
        SheetBot bot(
            {{0,
              [&locSaved](HWND p, HWND) {
                  B::Text(p, IDC_O_MAIL, "me@example.org");
                  B::Text(p, IDC_O_VIEWER, "C:\\tools\\view.exe");
                  B::Text(p, IDC_O_LOGFILE, "x.log");
                  B::Check(p, IDC_O_DOLOG, false);
                  B::Check(p, IDC_O_VRFYDEL, false);
                  B::Check(p, IDC_O_FINDEXEC, true);
                  B::Check(p, IDC_O_VERBOSE, true);
                  B::Click(p, IDC_O_SAVELOC);
                  char loc[100];
                  GetPrivateProfileStringA(T95_CONFIG, "LOC", "", loc, sizeof loc, g_files.ini);
                  locSaved = loc;
              }},
             {1,
              [](HWND p, HWND) {
                  B::Check(p, IDC_O_LONGDIR, false);
                  B::Check(p, IDC_O_AUTOSAVE, true);
                  B::Check(p, IDC_O_AUTOSTART, false);
                  B::Radio(p, IDC_O_BITS, 2, 1);
                  B::Radio(p, IDC_O_DBL0, 3, 2);
                  B::Text(p, IDC_O_RBP, "50");
                  B::Text(p, IDC_O_SBP, "-5");
              }},
             {2,
              [](HWND p, HWND) {
                  for (int id : {IDC_O_LAYOUT, IDC_O_BONTOP, IDC_O_HIDBTN, IDC_O_SCALE, IDC_O_BALLOON, IDC_O_LONGDATE})
                      B::Check(p, id, true);
                  B::Radio(p, IDC_O_DATE0, 3, 2);
                  B::Radio(p, IDC_O_FONT0, 5, 2);
              }},
             {3,
              [](HWND p, HWND) {
                  for (int i = 0; i < 5; ++i)
                      B::Check(p, IDC_O_SND0 + i, i == 0 || i == 3);
                  B::Text(p, IDC_O_SNDPATH0 + 3, "C:\\done.wav");
                  B::Radio(p, IDC_O_BELL0, 3, 1);
              }},
             {4,
              [](HWND p, HWND) {
                  B::Radio(p, IDC_O_LSORT0, 5, 3);
                  B::Check(p, IDC_O_LSORT0 + 5, true);
                  B::Radio(p, IDC_O_LSORT0 + 6, 3, 2);
                  B::Radio(p, IDC_O_RSORT0, 5, 4);
                  B::Radio(p, IDC_O_RSORT0 + 6, 3, 1);
              }},
             {5,
              [](HWND p, HWND) {
                  for (int i = 0; i < 5; ++i)
                      B::Check(p, IDC_O_PRO0 + i, i == 2);
              }},
             {6,
              [](HWND p, HWND) {
                  SelectData(p, IDC_O_HTYPE, 6010);
                  B::Check(p, IDC_O_SESS0, false);     // DOUPDATE differs from _config_
                  B::Check(p, IDC_O_SESS0 + 1, true);  // HASH equals _config_
                  B::Check(p, IDC_O_SESS0 + 2, true);  // PASVMODE
                  B::Check(p, IDC_O_SESS0 + 5, true);  // CONVEXT
              }},
             {7,
              [](HWND p, HWND) {
                  B::Check(p, IDC_O_STOU, true);
                  B::Radio(p, IDC_O_MODE0, 4, 2);
              }},
             {8,
              [](HWND p, HWND) {
                  B::Text(p, IDC_O_CSRC, ".html");
                  B::Text(p, IDC_O_CDST, ".htm");
                  B::Click(p, IDC_O_CADD);
              }},
             {9,
              [](HWND p, HWND) {
                  EXPECT_EQ(ListCount(p, IDC_O_ELIST), 1) << ".TXT when the file is missing";
                  B::Text(p, IDC_O_EEDIT, ".LOG");
                  B::Click(p, IDC_O_EADD);
                  B::Text(p, IDC_O_EEDIT, ".TXT");
                  B::Click(p, IDC_O_EDEL);
                  B::Text(p, IDC_O_EEDIT, "x");
                  B::Click(p, IDC_O_EADD); // one character: not taken
                  B::Text(p, IDC_O_EEDIT, ".LOG");
                  B::Click(p, IDC_O_EADD); // listed already
              }},
             {10,
              [](HWND p, HWND) {
                  SetDlgItemTextA(p, IDC_AS_EXT, "t95o");
                  SetDlgItemTextA(p, IDC_AS_PROG, "viewer.exe");
              }}},
            PSBTN_OK);
        OptionsDialog(w.wnd);
        ASSERT_TRUE(bot.Finish());
    }
    EXPECT_NE(locSaved, "") << "Save Window Locations writes LOC at once";
    auto I = [&st](const char *k) { return st.Ini(T95_CONFIG, k); };
    EXPECT_EQ(I("MAILADDR"), "me@example.org");
    EXPECT_EQ(I("VIEWER"), "C:\\tools\\view.exe");
    EXPECT_EQ(I("logfile"), "x.log");
    EXPECT_EQ(I("dolog"), "0");
    EXPECT_EQ(I("VRFYDEL"), "0");
    EXPECT_EQ(I("UseFindExec"), "1");
    EXPECT_EQ(I("VERBOSE"), "1");
    EXPECT_EQ(I("LONGDIR"), "0");
    EXPECT_EQ(I("AUTOSAVE"), "1");
    EXPECT_EQ(I("AUTOSTART"), "0");
    EXPECT_EQ(I("tranrate"), "1");
    EXPECT_EQ(I("DBLCLK"), "2");
    EXPECT_EQ(I("RBP"), "80") << "clamped to 80..4096";
    EXPECT_EQ(I("SBP"), "512") << "a negative number keeps the old value";
    for (const char *k : {"LAYOUT", "BONTOP", "HIDBTN", "SCALE", "balloon", "LONGDATE"})
        EXPECT_EQ(I(k), "1") << k;
    EXPECT_EQ(I("DateFmt"), "2");
    EXPECT_EQ(I("FONT"), "2");
    EXPECT_EQ(I("soundflags"), "9");
    EXPECT_EQ(I("BELL"), "1");
    EXPECT_EQ(I("usewave"), "0");
    EXPECT_EQ(I("sndts"), "C:\\done.wav");
    EXPECT_EQ(I("LSORT"), std::to_string(3 | SORT_REVERSE | SORT_BOTTOM));
    EXPECT_EQ(I("RSORT"), std::to_string(4 | SORT_MIXED));
    EXPECT_EQ(I("PRODRAG"), "0");
    EXPECT_EQ(I("PROTIMES"), "1");
    // Session rule: written to the session unless equal to _config_.
    EXPECT_EQ(st.Ini("s1", "TYPE"), "6010");
    EXPECT_EQ(st.Ini("s1", "DOUPDATE"), "0");
    EXPECT_EQ(st.Ini("s1", "HASH"), "<absent>");
    EXPECT_EQ(st.Ini("s1", "PASVMODE"), "1");
    EXPECT_EQ(st.Ini("s1", "CONVEXT"), "1");
    EXPECT_EQ(st.Ini("s1", "STOU"), "1");
    EXPECT_EQ(st.Ini("s1", "MODE"), "76");
    EXPECT_EQ(I("DOUPDATE"), "1") << "_config_ untouched by the session rule";
    EXPECT_EQ(g_cfg.mode, 'L');
    EXPECT_EQ(st.dir.Read("TESSEL.CNV"), ".html=.htm\r\n");
    EXPECT_EQ(st.dir.Read("TESSEL.EXT"), ".LOG\r\n");
    char assoc[100];
    GetProfileStringA("Extensions", "t95o", "", assoc, sizeof assoc);
    EXPECT_STREQ(assoc, "viewer.exe ^.t95o");
    WriteProfileStringA("Extensions", "t95o", nullptr);
    // The display change re-laid the window out by a one-pixel resize.
    RECT after;
    GetWindowRect(w.wnd, &after);
    EXPECT_EQ(after.right - after.left, before.right - before.left - 1);
    // HASH comes back per session, with _config_ as the default.
    WriteIniText("s1", "HASH", "0");
    LoadSessionOptions("s1");
    EXPECT_EQ(g_cfg.hash, 0);
    LoadSessionOptions("nosuch");
    EXPECT_EQ(g_cfg.hash, 1);

    // Reset Window Locations deletes the keys and moves the window.
    {
        SheetBot bot({{0, [](HWND p, HWND) { SheetBot::Click(p, IDC_O_RESETLOC); }}}, PSBTN_CANCEL);
        OptionsDialog(w.wnd);
        ASSERT_TRUE(bot.Finish());
    }
    for (const char *k : {"LOC", "SLOC", "LOCL", "LOCR"})
        EXPECT_EQ(I(k), "<absent>") << k;
    GetWindowRect(w.wnd, &after);
    EXPECT_EQ(after.left, 10);
    EXPECT_EQ(after.bottom - after.top, 440);
}

TEST(ClientOptionSheet, SetAsDefaultActsEvenWhenTheSheetIsCancelled)
{
    ct::ClientState st(kIni);
    LoadConfig();
    ct::MainWindow w;
    {
        SheetBot bot({{6,
                       [](HWND p, HWND) {
                           SheetBot::Check(p, IDC_O_SESS0 + 4, true); // FORCLOW
                           SheetBot::Check(p, IDC_O_SESS0 + 1, false); // HASH
                           SheetBot::Click(p, IDC_O_SDEFAULT);
                       }},
                      {7,
                       [](HWND p, HWND) {
                           SheetBot::Check(p, IDC_O_RECU, true);
                           SheetBot::Radio(p, IDC_O_MODE0, 4, 0);
                           SheetBot::Click(p, IDC_O_S2DEFAULT);
                       }}},
                     PSBTN_CANCEL);
        OptionsDialog(w.wnd);
        ASSERT_TRUE(bot.Finish());
    }
    EXPECT_EQ(st.Ini(T95_CONFIG, "FORCLOW"), "1");
    EXPECT_EQ(st.Ini(T95_CONFIG, "HASH"), "0");
    EXPECT_EQ(st.Ini(T95_CONFIG, "RECU"), "1");
    EXPECT_EQ(st.Ini(T95_CONFIG, "MODE"), "65");
    EXPECT_EQ(st.Ini(T95_CONFIG, "AMODE"), "0");
    EXPECT_EQ(st.Ini("s1", "FORCLOW"), "<absent>") << "the cancelled sheet wrote no session key";
    EXPECT_EQ(g_cfg.forclow, 0);
}

TEST(ClientOptionSheet, ListFilesWithHugeLinesAndTheAboutBox)
{
    ct::ClientState st(kIni);
    LoadConfig();
    ct::MainWindow w;
    st.dir.Write("TESSEL.EXT", std::string(10000, 'e') + "\r\n.DOC\r\nx\r\n");
    st.dir.Write("TESSEL.CNV", std::string(10000, 'c') + "=y\r\n.a=.b\r\n");
    {
        SheetBot bot({{8, [](HWND p, HWND) { EXPECT_EQ(ListCount(p, IDC_O_CLIST), 1); }},
                      {9, [](HWND p, HWND) { EXPECT_EQ(ListCount(p, IDC_O_ELIST), 1); }}},
                     PSBTN_OK);
        OptionsDialog(w.wnd);
        ASSERT_TRUE(bot.Finish());
    }
    EXPECT_EQ(st.dir.Read("TESSEL.EXT"), ".DOC\r\n");
    EXPECT_EQ(st.dir.Read("TESSEL.CNV"), ".a=.b\r\n");
    EXPECT_EQ(st.Ini("s1", "HOST"), "host.example") << "the INI file is undamaged";
    EXPECT_EQ(st.Ini(T95_CONFIG, "SESSION"), "s1");

    std::string version, system, memory, disk;
    {
        DialogBot bot({{"About TESSEL Pro", "", IDOK, [&](HWND dlg) {
                            char t[200];
                            GetDlgItemTextA(dlg, IDC_AB_VERSION, t, sizeof t);
                            version = t;
                            GetDlgItemTextA(dlg, IDC_AB_SYSTEM, t, sizeof t);
                            system = t;
                            GetDlgItemTextA(dlg, IDC_AB_MEMORY, t, sizeof t);
                            memory = t;
                            GetDlgItemTextA(dlg, IDC_AB_DISK, t, sizeof t);
                            disk = t;
                        }}});
        AboutBox(w.wnd);
        bot.Finish();
    }
    EXPECT_NE(version.find("5.00"), std::string::npos);
    EXPECT_NE(version.find("98.03.14"), std::string::npos);
    EXPECT_EQ(system.rfind("Windows NT (threaded)  - ", 0), 0u) << system;
    EXPECT_TRUE(system.size() > 4 && (system.substr(system.size() - 4) == " CPU" ||
                                      system.substr(system.size() - 5) == " CPUs"))
        << system;
    EXPECT_EQ(memory.rfind("Tot:", 0), 0u) << memory;
    EXPECT_NE(memory.find("k Avl:"), std::string::npos) << memory;
    EXPECT_NE(disk.find(" KB Free"), std::string::npos) << disk;
}

TEST(ClientSessionSheet, ClampsFirewallSectionAndNoStoredPasswordWithSpflags)
{
    ct::ClientState st("[_config_]\r\nSPFLAGS=1\r\n[p1]\r\nHOST=h1.example\r\nUID=joe\r\n[p0]\r\nHOST=h0\r\n");
    LoadConfig();
    ClearSession(&g_session);
    strcpy(g_session.name, "p1");
    LoadSession(&g_session);
    bool saveHidden = false;
    {
        using B = SheetBot;
        SheetBot bot({{0,
                       [&saveHidden](HWND p, HWND) {
                           saveHidden = !IsWindowVisible(GetDlgItem(p, IDC_SS_SAVEPWD));
                           B::Text(p, IDC_SS_PASS, "secret");
                           B::Check(p, IDC_SS_SAVEPWD, true);
                           B::Text(p, IDC_SS_COMMENT, "a note");
                       }},
                      {1, [](HWND p, HWND) { B::Text(p, IDC_SS_OFFSET, "-3"); }},
                      {2,
                       [](HWND p, HWND) {
                           B::Text(p, IDC_SS_RETRIES, "45");
                           B::Text(p, IDC_SS_PORT, "23");
                           B::Text(p, IDC_SS_TIMEOUT, "0");
                       }},
                      {3,
                       [](HWND p, HWND) {
                           B::Check(p, IDC_SS_USEFW, true);
                           B::Text(p, IDC_SS_FWHOST, "fw.example");
                           B::Text(p, IDC_SS_FWUSER, "fu");
                           B::Text(p, IDC_SS_FWPASS, "fp");
                           B::Check(p, IDC_SS_FWSAVE, true);
                           B::Text(p, IDC_SS_FWPORT, "23");
                           B::Radio(p, IDC_SS_FWTYPE0, 8, 5);
                       }}},
                     PSBTN_OK);
        EXPECT_EQ(SessionSheet(nullptr), 1);
        ASSERT_TRUE(bot.Finish());
    }
    EXPECT_TRUE(saveHidden) << "SPFLAGS hides Save Pwd";
    EXPECT_STREQ(g_session.password, "secret") << "used for the connection";
    EXPECT_EQ(st.Ini("p1", "PWD"), "<absent>") << "but not stored";
    EXPECT_EQ(st.Ini("FIREWALL", "PWD"), "<absent>");
    EXPECT_EQ(st.Ini("p1", "RETRIES"), "45");
    EXPECT_EQ(st.Ini("p1", "PORT"), "23") << "a remote port of 23 is kept";
    EXPECT_EQ(st.Ini("p1", "TIMEOUT"), "<absent>") << "0 becomes 65, the default";
    EXPECT_EQ(st.Ini("p1", "TIMEOFFSET"), "-3");
    EXPECT_EQ(st.Ini("p1", "COMMENT"), "a note");
    EXPECT_EQ(st.Ini("p1", "FIREWALL"), "1");
    EXPECT_EQ(st.Ini("FIREWALL", "PORT"), "21") << "a firewall port up to 27 becomes 21";
    EXPECT_EQ(st.Ini("FIREWALL", "FIRETYPE"), "5");
    EXPECT_EQ(st.Ini("FIREWALL", "HOST"), "fw.example");
    EXPECT_EQ(g_session.port, 23);

    // 60 retries become 40; letters in a number field keep the value.
    {
        SheetBot bot({{2,
                       [](HWND p, HWND) {
                           SheetBot::Text(p, IDC_SS_RETRIES, "60");
                           SheetBot::Text(p, IDC_SS_PORT, "2x1");
                       }}},
                     PSBTN_OK);
        EXPECT_EQ(SessionSheet(nullptr), 1);
        ASSERT_TRUE(bot.Finish());
    }
    EXPECT_EQ(st.Ini("p1", "RETRIES"), "40");
    EXPECT_EQ(st.Ini("p1", "PORT"), "23");

    // Cancel leaves the live record alone.
    {
        SheetBot bot({{0, [](HWND p, HWND) { SheetBot::Text(p, IDC_SS_HOST, "other.example"); }}}, PSBTN_CANCEL);
        EXPECT_EQ(SessionSheet(nullptr), 0);
        ASSERT_TRUE(bot.Finish());
    }
    EXPECT_STREQ(g_session.host, "h1.example");

    // Delete removes the named profile and loads the next one.
    std::string loaded;
    {
        SheetBot bot({{0,
                       [&loaded](HWND p, HWND) {
                           SheetBot::Click(p, IDC_SS_DELETE);
                           char host[100];
                           GetDlgItemTextA(p, IDC_SS_HOST, host, sizeof host);
                           loaded = host;
                       }}},
                     PSBTN_CANCEL);
        SessionSheet(nullptr);
        ASSERT_TRUE(bot.Finish());
    }
    EXPECT_EQ(st.Ini("p1", "HOST"), "<absent>");
    EXPECT_EQ(loaded, "h0");
}
