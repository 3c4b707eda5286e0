// Pictures of every option and session page, the file-command dialogs, the
// About box and the main window with the alternate layout and a custom
// font.  Runs only under tools/dialog-screenshots.sh (TESSEL_SHOT_DIR set):
// for each picture it writes NAME.ready with the window's geometry and
// waits for the script to take it and answer with NAME.done.
#include "clienttest.h"
#include "dlgbot.h"
#include "fileops.h"
#include "options.h"

#include <stdlib.h>

#include <string>
#include <vector>

using namespace t95;
using ct::DialogBot;
using ct::SheetBot;

namespace {

std::string ShotDir()
{
    const char *d = getenv("TESSEL_SHOT_DIR");
    return d ? d : "";
}

// Waits for the script to take the picture; pumps when asked to (the
// window to be shot belongs to this thread).
void Shot(HWND w, const std::string &name, bool pump = false)
{
    const std::string dir = ShotDir();
    if (dir.empty() || !w)
        return;
    if (pump)
        ct::Pump(700);
    else
        Sleep(700);
    RECT r;
    GetWindowRect(w, &r);
    const std::string ready = dir + "\\" + name + ".ready", done = dir + "\\" + name + ".done";
    std::string tmp = ready + ".tmp";
    FILE *f = fopen(tmp.c_str(), "w");
    ASSERT_TRUE(f);
    fprintf(f, "%ldx%ld+%ld+%ld", r.right - r.left, r.bottom - r.top, r.left, r.top);
    fclose(f);
    MoveFileA(tmp.c_str(), ready.c_str());
    for (int i = 0; i < 400 && GetFileAttributesA(done.c_str()) == INVALID_FILE_ATTRIBUTES; ++i) {
        if (pump)
            ct::Pump(50);
        else
            Sleep(50);
    }
}

const char *const kOptionNames[11] = {"General", "Advanced", "Display",    "Sounds",     "Sort",        "Pro",
                                      "Session", "Session2", "Convert",    "Extensions", "Associations"};
const char *const kSessionNames[4] = {"General", "Startup", "Advanced", "Firewall"};

} // namespace

TEST(ClientScreenshots, EveryPageDialogAndTheMainWindow)
{
    if (ShotDir().empty())
        GTEST_SKIP() << "pictures are taken by tools/dialog-screenshots.sh";
    ct::ClientState st("[_config_]\r\nSESSION=demo\r\nMAILADDR=me@example.org\r\n"
                       "[demo]\r\nHOST=ftp.example.org\r\nUID=joe\r\nDIR=\"/pub\"\r\nLOCDIR=C:\\work\r\n"
                       "COMMENT=The demo server\r\nRETRIES=3\r\n"
                       "[FIREWALL]\r\nHOST=gate.example.org\r\nUID=fw\r\nFIRETYPE=1\r\nPORT=21\r\n");
    st.dir.Write("TESSEL.EXT", ".TXT\r\n.HTM\r\n.C\r\nREADME\r\n");
    st.dir.Write("TESSEL.CNV", ".html=.htm\r\n.jpeg=.jpg\r\n");
    LoadConfig();
    WriteProfileStringA("Extensions", "t95doc", "C:\\Tools\\writer.exe ^.t95doc");
    WriteProfileStringA("Extensions", "t95log", "notepad.exe ^.t95log");

    ct::MainWindow w;
    g_main = w.wnd;
    MoveWindow(w.wnd, 20, 20, 900, 600, FALSE);
    g_vsplit = 430;
    g_hsplit = 420;

    int n = 1;
    auto name = [&n](const std::string &what) {
        char buf[16];
        snprintf(buf, sizeof buf, "%02d-", n++);
        return buf + what;
    };
    {
        std::vector<ct::SheetAction> acts;
        for (int i = 0; i < 11; ++i) {
            std::string shot = name(std::string("options-") + kOptionNames[i]);
            acts.push_back({i, [shot](HWND, HWND sheet) { Shot(sheet, shot); }});
        }
        SheetBot bot(acts, PSBTN_CANCEL, 60000);
        OptionsDialog(w.wnd);
        EXPECT_TRUE(bot.Finish());
    }
    {
        std::vector<ct::SheetAction> acts;
        for (int i = 0; i < 4; ++i) {
            std::string shot = name(std::string("session-") + kSessionNames[i]);
            acts.push_back({i, [shot](HWND, HWND sheet) { Shot(sheet, shot); }});
        }
        SheetBot bot(acts, PSBTN_CANCEL, 60000);
        SessionSheet(w.wnd);
        EXPECT_TRUE(bot.Finish());
    }
    {
        std::string shot = name("associate");
        DialogBot bot({{"Associate", "", IDCANCEL, [shot](HWND d) { Shot(d, shot); }}}, 60000);
        AssociateDialog(w.wnd, "t95doc");
        bot.Finish();
    }
    {
        std::string shot = name("verify-deletion");
        DialogBot bot({{"Verify Deletion", "", IDNO, [shot](HWND d) { Shot(d, shot); }}}, 60000);
        VerifyDeletion(w.wnd, "annual report 2024.txt", 1);
        bot.Finish();
    }
    {
        std::string shot = name("permissions");
        DialogBot bot({{"Remote file permissions", "", IDCANCEL, [shot](HWND d) { Shot(d, shot); }}}, 60000);
        int mode = 0644;
        PermissionsDialog(w.wnd, &mode);
        bot.Finish();
    }
    {
        std::string shot = name("about");
        DialogBot bot({{"About TESSEL Pro", "", IDOK, [shot](HWND d) { Shot(d, shot); }}}, 60000);
        AboutBox(w.wnd);
        bot.Finish();
    }

    // The main window: standard first, then the alternate layout with a
    // custom list font.
    CreateDirectoryA(st.dir.File("projects").c_str(), nullptr);
    st.dir.Write("notes.txt", "n");
    st.dir.Write("setup.exe", std::string(5000, 'x'));
    RefreshLocal();
    HWND remote = w.Item(IDC_RLIST);
    AddItem(remote, NewItem(1, KIND_DIR, "..", nullptr));
    AddItem(remote, NewItem(1, KIND_DIR, "pub", nullptr));
    AddItem(remote, NewItem(1, KIND_FILE, "README", nullptr));
    AddItem(remote, NewItem(1, KIND_FILE, "archive.zip", nullptr));
    ShowWindow(w.wnd, SW_SHOW);
    Shot(w.wnd, name("main-standard"), true);
    g_cfg.layout = 1;
    WriteConfigKey("LAYOUT", 1);
    WriteIniText(T95_CONFIG, "FNAME", "Courier New");
    WriteIniInt(T95_CONFIG, "FHEIGHT", -16);
    WriteIniInt(T95_CONFIG, "FWEIGHT", 700);
    g_cfg.font = 4;
    ApplyListFont();
    RelayoutMain();
    Shot(w.wnd, name("main-alternate-layout-custom-font"), true);

    WriteProfileStringA("Extensions", "t95doc", nullptr);
    WriteProfileStringA("Extensions", "t95log", nullptr);
}
