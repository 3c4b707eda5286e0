// The program properties sheet, driven from a second thread through the
// library file itself (the dialogs are resources of tesselcore.dll).  With
// TESSEL_SHOT_DIR set, every page is also held on screen for a picture
// by tools/settings-screenshots.sh, which takes a PNG of each page.
#include "engine.h"
#include "sitestest.h"
#include "resource.h"
#include "engine.h"

#include <commctrl.h>
#include <process.h>

namespace {

typedef HRESULT(__stdcall *ModifyFn)(HWND, FTPINFO *);

HMODULE LoadCore()
{
    std::string dir;
    const char *env = getenv("TESSEL_BUILD_DIR");
    if (env && *env) {
        dir = env;
    } else {
        char self[MAX_PATH];
        GetModuleFileNameA(nullptr, self, sizeof self);
        dir = self;
        dir.resize(dir.find_last_of("\\/"));
    }
    return LoadLibraryA((dir + "\\tesselcore.dll").c_str());
}

struct SheetRun {
    ModifyFn modify;
    FTPINFO info;
    HRESULT result = E_UNEXPECTED;
};

unsigned __stdcall RunSheet(void *p)
{
    SheetRun *run = (SheetRun *)p;
    run->result = run->modify(nullptr, &run->info);
    return 0;
}

HWND g_found;

BOOL CALLBACK FindSheet(HWND w, LPARAM)
{
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    char title[256] = "";
    GetWindowTextA(w, title, sizeof title);
    if (pid == GetCurrentProcessId() && strstr(title, "Properties")) {
        g_found = w;
        return FALSE;
    }
    return TRUE;
}

HWND WaitForSheet()
{
    for (int i = 0; i < 200 && !g_found; i++) {
        EnumWindows(FindSheet, 0);
        if (!g_found)
            Sleep(50);
    }
    return g_found;
}

// Hands the page over to the screenshot script: "N.ready" holds the window
// rectangle, the script answers with "N.done" once it has taken the picture.
void OfferPicture(HWND w, const std::string &dir, int n)
{
    RECT rc;
    GetWindowRect(w, &rc);
    std::string base = dir + "\\" + std::to_string(n);
    FILE *f = fopen((base + ".tmp").c_str(), "w");
    if (!f)
        return;
    fprintf(f, "%ldx%ld+%ld+%ld\n", rc.right - rc.left, rc.bottom - rc.top, rc.left, rc.top);
    fclose(f);
    MoveFileA((base + ".tmp").c_str(), (base + ".ready").c_str());
    for (int i = 0; i < 300 && GetFileAttributesA((base + ".done").c_str()) == INVALID_FILE_ATTRIBUTES; i++)
        Sleep(50);
}

// Lets the sheet's thread paint before a picture is taken.
void Settle(HWND sheet)
{
    SetWindowPos(sheet, HWND_TOP, 20, 20, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
    RedrawWindow(sheet, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    Sleep(700);
}

} // namespace

class SitesSheet : public SitesTest {
protected:
    HMODULE dll_ = nullptr;
    SheetRun run_;
    HANDLE thread_ = nullptr;

    void SetUp() override
    {
        SitesTest::SetUp();
        // The sheet needs a window driver; a prefix without one cannot show it.
        HWND probe = CreateWindowA("STATIC", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
        if (!probe)
            GTEST_SKIP() << "no window driver in this Wine prefix";
        DestroyWindow(probe);
        ASSERT_EQ(UseRegistry(), S_OK);
        dll_ = LoadCore();
        ASSERT_NE(dll_, nullptr);
        run_.modify = (ModifyFn)GetProcAddress(dll_, MAKEINTRESOURCEA(1102));
        ASSERT_NE(run_.modify, nullptr);
        memset(&run_.info, 0, sizeof run_.info);
        run_.info.size = sizeof run_.info;
        g_found = nullptr;
    }

    // Opens the sheet on its own thread.  Tests prepare the settings first:
    // the sheet reads them as it opens.
    void Start() { thread_ = (HANDLE)_beginthreadex(nullptr, 0, RunSheet, &run_, 0, nullptr); }

    // Titles and texts of the windows still open on the sheet's thread.
    static BOOL CALLBACK AddChildText(HWND c, LPARAM out)
    {
        char t[256] = "";
        GetWindowTextA(c, t, sizeof t);
        if (t[0] && IsWindowVisible(c))
            *(std::string *)out += std::string(" '") + t + "'";
        return TRUE;
    }
    static BOOL CALLBACK AddWindowText(HWND w, LPARAM out)
    {
        char t[256] = "";
        GetWindowTextA(w, t, sizeof t);
        *(std::string *)out += std::string("[") + t + "]";
        EnumChildWindows(w, AddChildText, out);
        return TRUE;
    }
    static std::string OpenWindows(DWORD tid)
    {
        std::string out;
        EnumThreadWindows(tid, AddWindowText, (LPARAM)&out);
        return out;
    }

    // A button pressed by a message sent from this thread ends the sheet's
    // modal loop only when that loop next gets a posted message: the sent
    // message is handled inside GetMessage, which then keeps waiting (a
    // real click arrives as posted input).  A posted WM_NULL wakes it.
    HRESULT Finish()
    {
        DWORD waited = WAIT_TIMEOUT;
        for (int i = 0; i < 200 && waited == WAIT_TIMEOUT; ++i) {
            if (g_found && IsWindow(g_found))
                PostMessageA(g_found, WM_NULL, 0, 0);
            waited = WaitForSingleObject(thread_, 100);
        }
        EXPECT_EQ(waited, WAIT_OBJECT_0) << OpenWindows(GetThreadId(thread_));
        CloseHandle(thread_);
        thread_ = nullptr;
        return run_.result;
    }

    void TearDown() override
    {
        if (thread_) {
            if (g_found)
                PostMessageA(g_found, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
            WaitForSingleObject(thread_, 5000);
            CloseHandle(thread_);
        }
        if (dll_)
            FreeLibrary(dll_);
        SitesTest::TearDown();
    }
};

TEST_F(SitesSheet, SevenPagesOpenAndCancelAborts)
{
    Start();
    HWND sheet = WaitForSheet();
    ASSERT_NE(sheet, nullptr);
    char title[256];
    GetWindowTextA(sheet, title, sizeof title);
    EXPECT_STREQ(title, "Quillfold Properties");
    HWND tab = (HWND)SendMessageA(sheet, PSM_GETTABCONTROL, 0, 0);
    ASSERT_NE(tab, nullptr);
    ASSERT_EQ(SendMessageA(tab, TCM_GETITEMCOUNT, 0, 0), 7);
    static const char *const names[7] = {"Preferences", "Directories", "Site List", "Logging",
                                         "Debug",       "Firewall",    "Extensions"};
    static const int probe[7] = {IDC_PREF_APPLYALL, IDC_DIR_TEMP, IDC_LIST_INIPATH, IDC_LOG_VIEW,
                                 IDC_LOG_ENABLE,    IDC_FW_TYPE,  IDC_EXT_LIST};
    const char *shots = getenv("TESSEL_SHOT_DIR");
    for (int i = 0; i < 7; i++) {
        SendMessageA(sheet, PSM_SETCURSEL, (WPARAM)i, 0);
        HWND page = (HWND)SendMessageA(sheet, PSM_GETCURRENTPAGEHWND, 0, 0);
        ASSERT_NE(page, nullptr);
        EXPECT_NE(GetDlgItem(page, probe[i]), nullptr) << names[i];
        char text[64] = "";
        TCITEMA item = {};
        item.mask = TCIF_TEXT;
        item.pszText = text;
        item.cchTextMax = sizeof text;
        SendMessageA(tab, TCM_GETITEMA, (WPARAM)i, (LPARAM)&item);
        EXPECT_STREQ(text, names[i]);
        if (shots && *shots) {
            Settle(sheet);
            OfferPicture(sheet, shots, i + 1);
        }
    }
    // The firewall page lists the nine types.
    SendMessageA(sheet, PSM_SETCURSEL, 5, 0);
    HWND fw = (HWND)SendMessageA(sheet, PSM_GETCURRENTPAGEHWND, 0, 0);
    EXPECT_EQ(SendDlgItemMessageA(fw, IDC_FW_TYPE, CB_GETCOUNT, 0, 0), 9);
    char pwd[32] = "";
    GetDlgItemTextA(fw, IDC_FW_PASSWORD, pwd, sizeof pwd);
    EXPECT_STREQ(pwd, "password");

    SendMessageA(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
    EXPECT_EQ(Finish(), E_ABORT);
}

TEST_F(SitesSheet, OkStoresSettingsProfileAndExtensions)
{
    std::string ext = dir_ + "\\TESSEL.EXT";
    FTPINFO info = Settings();
    snprintf(info.extFile, sizeof info.extFile, "%s", ext.c_str());
    ASSERT_EQ(TESSEL_SetFTPInfo(&info), S_OK);
    WriteText(ext, ".TXT\n");

    Start();
    HWND sheet = WaitForSheet();
    ASSERT_NE(sheet, nullptr);
    // Debug page: switch the debug log on with a file of our own.
    SendMessageA(sheet, PSM_SETCURSEL, 4, 0);
    HWND page = (HWND)SendMessageA(sheet, PSM_GETCURRENTPAGEHWND, 0, 0);
    std::string log = dir_ + "\\dbg.log";
    CheckDlgButton(page, IDC_LOG_ENABLE, BST_CHECKED);
    SetDlgItemTextA(page, IDC_LOG_FILE, log.c_str());
    // Preferences: no overwrite confirmation for new sites.
    SendMessageA(sheet, PSM_SETCURSEL, 0, 0);
    page = (HWND)SendMessageA(sheet, PSM_GETCURRENTPAGEHWND, 0, 0);
    CheckDlgButton(page, IDC_PREF_OVERWRITE, BST_UNCHECKED);
    // Extensions: add one, and a one-character text that is refused.
    SendMessageA(sheet, PSM_SETCURSEL, 6, 0);
    page = (HWND)SendMessageA(sheet, PSM_GETCURRENTPAGEHWND, 0, 0);
    SetDlgItemTextA(page, IDC_EXT_EDIT, ".ZZ");
    SendMessageA(page, WM_COMMAND, MAKEWPARAM(IDC_EXT_ADD, BN_CLICKED), (LPARAM)GetDlgItem(page, IDC_EXT_ADD));
    SetDlgItemTextA(page, IDC_EXT_EDIT, "Q");
    SendMessageA(page, WM_COMMAND, MAKEWPARAM(IDC_EXT_ADD, BN_CLICKED), (LPARAM)GetDlgItem(page, IDC_EXT_ADD));
    EXPECT_EQ(SendDlgItemMessageA(page, IDC_EXT_LIST, LB_GETCOUNT, 0, 0), 2);

    SendMessageA(sheet, PSM_PRESSBUTTON, PSBTN_OK, 0);
    EXPECT_EQ(Finish(), S_OK);
    EXPECT_NE(run_.info.flags & FTPINFO_DEBUG_LOG, 0u);
    EXPECT_EQ(std::string(run_.info.debugFile), log);
    FTPINFO back = Settings();
    EXPECT_NE(back.flags & FTPINFO_DEBUG_LOG, 0u);
    EXPECT_EQ(std::string(back.debugFile), log);
    FTPSITEINFO config = Empty();
    ASSERT_EQ(TESSEL_GetFTPSiteInfo(FTPSITE_CONFIG_NAME, &config), S_OK);
    EXPECT_EQ(config.flags & SITE_CONFIRM_OVERWRITE, 0u);
    EXPECT_NE(config.flags & SITE_CONFIRM_DELETE, 0u);
    EXPECT_EQ(FileText(ext), ".TXT\n.ZZ\n");
    SetDebugLog(0, nullptr);
}
