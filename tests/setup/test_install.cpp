// A whole installation from the distribution folder, driven through the
// installer's dialogs, and everything it leaves behind.
#include "setupres.h"
#include "setuptest.h"

#include <shlobj.h>
#include <objidl.h>
#include <shlwapi.h>

using namespace setuptest;

namespace {

const char kClsid[] = "{5A3C1E77-0B42-4D19-8E6A-3F20C7D41A01}";

std::string ProgramsFolder()
{
    char buf[MAX_PATH] = "";
    SHGetFolderPathA(nullptr, CSIDL_PROGRAMS, nullptr, 0, buf);
    return buf;
}

std::string LinkTarget(const std::string &lnk)
{
    std::string target;
    IShellLinkA *link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA, (void **)&link)))
        return target;
    IPersistFile *file = nullptr;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, (void **)&file))) {
        wchar_t w[MAX_PATH];
        MultiByteToWideChar(CP_ACP, 0, lnk.c_str(), -1, w, MAX_PATH);
        if (SUCCEEDED(file->Load(w, STGM_READ))) {
            char path[MAX_PATH] = "";
            if (SUCCEEDED(link->GetPath(path, sizeof path, nullptr, 0)))
                target = path;
        }
        file->Release();
    }
    link->Release();
    return target;
}

std::string LongPath(const std::string &p)
{
    char buf[MAX_PATH] = "";
    DWORD n = GetLongPathNameA(p.c_str(), buf, sizeof buf);
    return n && n < sizeof buf ? std::string(buf) : p;
}

bool DesktopLists(const char *name)
{
    IShellFolder *desktop = nullptr;
    if (FAILED(SHGetDesktopFolder(&desktop)))
        return false;
    bool found = false;
    IEnumIDList *list = nullptr;
    if (desktop->EnumObjects(nullptr, SHCONTF_FOLDERS | SHCONTF_NONFOLDERS, &list) == S_OK && list) {
        LPITEMIDLIST item;
        ULONG got;
        while (!found && list->Next(1, &item, &got) == S_OK) {
            STRRET sr;
            char text[MAX_PATH] = "";
            if (SUCCEEDED(desktop->GetDisplayNameOf(item, SHGDN_NORMAL, &sr)))
                StrRetToBufA(&sr, item, text, sizeof text);
            found = strcmp(text, name) == 0;
            CoTaskMemFree(item);
        }
        list->Release();
    }
    desktop->Release();
    return found;
}

class InstallTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!XRun())
            GTEST_SKIP() << "installer runs need Wine's x11 driver (ctest test_setup_x11)";
        CoInitialize(nullptr);
        CleanInstallState();
    }
    void TearDown() override { CoUninitialize(); }
};

} // namespace

TEST_F(InstallTest, FullInstallationFromTheDistributionFolder)
{
    Child c;
    ASSERT_TRUE(c.Start(DistDir() + "\\tesselsetup.exe"));
    bool mainWindow = false;
    Script s = InstallScript(kDest, {{"Remove previous installation", [&mainWindow](const Dialog &d) {
                                          HWND w = FindWindowA("tesselsetup", "TESSEL Pro Install (32)");
                                          mainWindow = w && IsWindowVisible(w) && GetParent(d.wnd) == w;
                                          d.Click(IDC_INSTALL);
                                      }}});
    ASSERT_TRUE(s.Run(c)) << s.Log();
    EXPECT_TRUE(mainWindow) << "the install dialog belongs to the main window";
    EXPECT_TRUE(s.unexpected.empty()) << s.Log();
    EXPECT_FALSE(s.Saw("Some portion")) << s.Log();
    EXPECT_TRUE(s.Saw("Restart Windows now")) << s.Log();

    // Every installed file equals its source as msexpand makes it again.
    const char *files[] = {"tessel95.exe", "tesselcore.dll", "tesselch.dll", "tesselcore.cnt", "tesselcore.hlp",
                           "TESSEL.hlp", "whatsnew.txt", "complete.wav", "connect.wav", "error.wav", "TESSEL.pdf"};
    for (const char *f : files) {
        std::string want = ReadFile(ExpandedDir() + "\\" + f);
        ASSERT_FALSE(want.empty()) << f;
        EXPECT_TRUE(ReadFile(std::string(kDest) + "\\" + f) == want) << f << " differs";
    }
    EXPECT_TRUE(ReadFile(std::string(kDest) + "\\remove.exe") == ReadFile(ExpandedDir() + "\\remove32.exe"));
    EXPECT_FALSE(Exists(std::string(kDest) + "\\remove32.exe"));
    EXPECT_TRUE(Exists(std::string(kDownloads)));

    // TESSEL.ini holds the typed address.
    char mail[128] = "";
    GetPrivateProfileStringA("_config_", "MAILADDR", "", mail, sizeof mail, (std::string(kDest) + "\\TESSEL.ini").c_str());
    EXPECT_STREQ(kMail, mail);

    EXPECT_EQ(kDest, ProfileText("DIR"));
    EXPECT_EQ(kDownloads, ProfileText("DEFDIR"));
    EXPECT_EQ("TESSEL Pro", ProfileText("GROUP"));
    EXPECT_EQ("12", ProfileText("INSTOPTS"));
    EXPECT_EQ("980314", ProfileText("PRO"));

    std::string clsidKey = std::string("CLSID\\") + kClsid;
    EXPECT_EQ(std::string(kDest) + "\\tesselcore.dll", RegText(HKEY_CLASSES_ROOT, clsidKey + "\\InprocServer32", nullptr));
    EXPECT_EQ("Quillfold", RegText(HKEY_CLASSES_ROOT, "Corvane.TESSELCORE", nullptr));
    EXPECT_EQ("Quillfold", RegText(HKEY_CLASSES_ROOT, "Corvane.TESSELCORE.980314", nullptr));
    EXPECT_EQ("Quillfold", RegText(HKEY_LOCAL_MACHINE,
                                   std::string("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Desktop\\Namespace\\") + kClsid,
                                   nullptr));
    EXPECT_EQ("Quillfold",
              RegText(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved", kClsid));
    EXPECT_EQ(std::string("\"") + kDest + "\\tessel95.exe\" \"%1\"",
              RegText(HKEY_CLASSES_ROOT, "ftp\\shell\\open\\command", nullptr));
    EXPECT_EQ(std::string(kDest) + "\\tessel95.exe,0", RegText(HKEY_CLASSES_ROOT, "ftp\\DefaultIcon", nullptr));
    // The companion library registered itself as Explorer's copy hook.
    EXPECT_EQ("{5A3C1E77-0B42-4D19-8E6A-3F20C7D41A10}",
              RegText(HKEY_CLASSES_ROOT, "Directory\\shellex\\CopyHookHandlers\\Quillfold", nullptr));

    // The group: one link per item, each to its file.
    std::string group = ProgramsFolder() + "\\TESSEL Pro";
    struct Item {
        const char *name, *target;
    } items[] = {{"TESSEL Pro", "tessel95.exe"},
                 {"Quillfold Help", "tesselcore.hlp"},
                 {"Quillfold", "Quillfold.{5A3C1E77-0B42-4D19-8E6A-3F20C7D41A01}"},
                 {"TESSEL Pro Help", "TESSEL.hlp"},
                 {"TESSEL Pro Release Notes", "whatsnew.txt"},
                 {"TESSEL Documentation", "TESSEL.pdf"},
                 {"Uninstall TESSEL Pro", "remove.exe"}};
    for (const Item &it : items) {
        std::string lnk = group + "\\" + it.name + ".lnk";
        ASSERT_TRUE(Exists(lnk)) << lnk;
        EXPECT_EQ(0, lstrcmpiA((std::string(kDest) + "\\" + it.target).c_str(), LongPath(LinkTarget(lnk)).c_str()))
            << it.name << " -> " << LinkTarget(lnk);
    }

    EXPECT_TRUE(DesktopLists("Quillfold"));
}

TEST_F(InstallTest, AgainOverAChangedIniKeepsItAndRefusesTheSourceFolder)
{
    std::string log;
    ASSERT_TRUE(InstallPlain(&log)) << log;
    std::string ini = std::string(kDest) + "\\TESSEL.ini";
    std::string changed = ReadFile(ini) + "[mysite]\r\nHOST=ftp.example.org\r\nUID=me\r\n";
    WriteFile(ini, changed);

    Child c;
    ASSERT_TRUE(c.Start(DistDir() + "\\tesselsetup.exe"));
    Script s = InstallScript(kDest, {
        // First the folder of the installation files, which is refused.
        {"Please enter the destination directory",
         [](const Dialog &d) {
             d.SetText(IDC_INPUT_EDIT, DistDir());
             d.Click(IDOK);
         }},
        {"You cannot install to the directory that contains the installation files",
         [](const Dialog &d) { d.Click(IDOK); }},
        {"already holds TESSEL.ini", [](const Dialog &d) { d.Click(IDNO); }},
    });
    ASSERT_TRUE(s.Run(c)) << s.Log();
    EXPECT_TRUE(s.unexpected.empty()) << s.Log();
    EXPECT_TRUE(s.Saw("You cannot install")) << s.Log();
    EXPECT_FALSE(s.Saw("anonymous FTP sites")) << s.Log(); // the address is there
    EXPECT_TRUE(ReadFile(ini) == changed);
    EXPECT_FALSE(Exists(DistDir() + "\\tessel95.exe"));
}

TEST_F(InstallTest, LibraryInUseIsKeptAsBakOnNtAndWaitsAsNewElsewhere)
{
    std::string log;
    ASSERT_TRUE(InstallPlain(&log)) << log;
    std::string lib = std::string(kDest) + "\\tesselcore.dll";
    std::string want = ReadFile(ExpandedDir() + "\\tesselcore.dll");
    {
        LibraryHolder holder;
        ASSERT_TRUE(holder.Hold(lib));
        Child c;
        ASSERT_TRUE(c.Start(DistDir() + "\\tesselsetup.exe"));
        Script s = InstallScript(kDest, {{"already holds TESSEL.ini", [](const Dialog &d) { d.Click(IDNO); }}});
        ASSERT_TRUE(s.Run(c)) << s.Log();
        EXPECT_TRUE(s.unexpected.empty()) << s.Log();
        EXPECT_TRUE(s.Saw("Restart Windows now")) << s.Log();
        EXPECT_TRUE(Exists(std::string(kDest) + "\\tesselcore.bak"));
        EXPECT_TRUE(ReadFile(lib) == want);
    }

    // Without "OS" the installer takes the rules of Windows 95.
    const char runOnce[] = "Software\\Microsoft\\Windows\\CurrentVersion\\RunServicesOnce";
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, runOnce, 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
        for (int i = 0; i < 10; i++)
            RegDeleteValueA(key, ("Corvane" + std::to_string(i)).c_str());
        RegCloseKey(key);
    }
    LibraryHolder holder;
    ASSERT_TRUE(holder.Hold(lib));
    Child c;
    ASSERT_TRUE(c.Start(DistDir() + "\\tesselsetup.exe", "", true));
    Script s = InstallScript(kDest, {{"already holds TESSEL.ini", [](const Dialog &d) { d.Click(IDNO); }}});
    ASSERT_TRUE(s.Run(c)) << s.Log();
    EXPECT_TRUE(s.unexpected.empty()) << s.Log();
    EXPECT_TRUE(s.Saw("Restart Windows now")) << s.Log();
    std::string fresh = std::string(kDest) + "\\tesselcore.new";
    EXPECT_TRUE(ReadFile(fresh) == want);
    char shortNew[MAX_PATH] = "", shortLib[MAX_PATH] = "";
    GetShortPathNameA(fresh.c_str(), shortNew, MAX_PATH);
    GetShortPathNameA(lib.c_str(), shortLib, MAX_PATH);
    EXPECT_EQ(std::string("command.com /c copy ") + shortNew + " " + shortLib,
              RegText(HKEY_LOCAL_MACHINE, runOnce, "Corvane0"));
    EXPECT_EQ("<missing>", RegText(HKEY_LOCAL_MACHINE, runOnce, "Corvane1")); // the library is copied once
}

TEST_F(InstallTest, DamagedFilesReadOnlyTargetsAndAnIniWithoutConfig)
{
    // A distribution copy with a truncated and a damaged file.
    std::string dist = TempFolder("dist");
    CopyTree(DistDir(), dist);
    std::string notes = ReadFile(dist + "\\whatsnew.tx_");
    WriteFile(dist + "\\whatsnew.tx_", notes.substr(0, notes.size() / 2));
    std::string wav = ReadFile(dist + "\\connect.wa_");
    wav[0] = 'X';
    WriteFile(dist + "\\connect.wa_", wav);
    // A destination with a read-only file and an INI file of sessions only.
    CreateDirectoryA(kDest, nullptr);
    std::string ro = std::string(kDest) + "\\error.wav";
    WriteFile(ro, "old sound");
    SetFileAttributesA(ro.c_str(), FILE_ATTRIBUTE_READONLY);
    std::string ini = std::string(kDest) + "\\TESSEL.ini";
    WriteFile(ini, "[mysite]\r\nHOST=ftp.example.org\r\n");

    Child c;
    ASSERT_TRUE(c.Start(dist + "\\tesselsetup.exe"));
    Script s = InstallScript(kDest, {
        {"already holds TESSEL.ini", [](const Dialog &d) { d.Click(IDNO); }},
        {"failed.", [](const Dialog &d) { d.Click(IDOK); }, 3},
        {"Some portion of installation process failed", [](const Dialog &d) { d.Click(IDOK); }},
        // A group name that would end the Program Manager command, then a good one.
        {"Program group for TESSEL Pro",
         [](const Dialog &d) {
             d.SetText(IDC_GROUP_NAME, "TESSEL)][DeleteGroup(Startup");
             d.Click(IDOK);
         }},
        {"A group name cannot contain", [](const Dialog &d) { d.Click(IDOK); }},
        {"Program group for TESSEL Pro",
         [](const Dialog &d) {
             d.SetText(IDC_GROUP_NAME, "TESSEL Pro");
             d.Click(IDOK);
         }},
    });
    ASSERT_TRUE(s.Run(c)) << s.Log();
    EXPECT_TRUE(s.unexpected.empty()) << s.Log();
    EXPECT_TRUE(s.Saw("whatsnew.tx_ to C:\\Program Files\\TESSEL\\whatsnew.txt failed. (38)")) << s.Log();
    EXPECT_TRUE(s.Saw("connect.wa_ to C:\\Program Files\\TESSEL\\connect.wav failed. (11)")) << s.Log();
    EXPECT_TRUE(s.Saw("error.wav failed. (5)")) << s.Log();
    EXPECT_TRUE(s.Saw("Some portion of installation process failed")) << s.Log();
    EXPECT_TRUE(s.Saw("A group name cannot contain")) << s.Log();
    EXPECT_FALSE(Exists(std::string(kDest) + "\\whatsnew.txt"));
    EXPECT_FALSE(Exists(std::string(kDest) + "\\whatsnew.txt.$$$"));
    EXPECT_FALSE(Exists(std::string(kDest) + "\\connect.wav"));
    EXPECT_TRUE(ReadFile(ro) == "old sound");
    SetFileAttributesA(ro.c_str(), FILE_ATTRIBUTE_NORMAL);
    char mail[128] = "", host[128] = "";
    GetPrivateProfileStringA("_config_", "MAILADDR", "", mail, sizeof mail, ini.c_str());
    GetPrivateProfileStringA("mysite", "HOST", "", host, sizeof host, ini.c_str());
    EXPECT_STREQ(kMail, mail);
    EXPECT_STREQ("ftp.example.org", host);
    EXPECT_TRUE(Exists(GroupFolder("TESSEL Pro") + "\\TESSEL Pro.lnk"));
    RemoveTree(dist);
}

TEST_F(InstallTest, NoSourceAndBadDestinationsEndCleanly)
{
    // The installer alone, without "TESSEL.hl_" beside it.
    std::string lone = TempFolder("lone");
    ASSERT_TRUE(CopyFileA((DistDir() + "\\tesselsetup.exe").c_str(), (lone + "\\tesselsetup.exe").c_str(), FALSE));
    {
        Child c;
        ASSERT_TRUE(c.Start(lone + "\\tesselsetup.exe"));
        Script s;
        s.rules = {
            {"Remove previous installation", [](const Dialog &d) { d.Click(IDC_INSTALL); }},
            {"Please locate source directory!", [](const Dialog &d) { d.Click(IDCANCEL); }},
            {"Can't continue with no source.", [](const Dialog &d) { d.Click(IDOK); }},
        };
        ASSERT_TRUE(s.Run(c, 60000)) << s.Log();
        EXPECT_TRUE(s.unexpected.empty()) << s.Log();
        EXPECT_TRUE(s.Saw("Can't continue with no source.")) << s.Log();
    }
    RemoveTree(lone);

    // 300 characters, then a drive that does not exist, then giving up.
    std::string longDir = "C:\\" + std::string(296, 'd');
    Child c;
    ASSERT_TRUE(c.Start(DistDir() + "\\tesselsetup.exe"));
    Script s;
    s.rules = {
        {"Remove previous installation", [](const Dialog &d) { d.Click(IDC_INSTALL); }},
        {"Please enter the destination directory",
         [longDir](const Dialog &d) {
             d.SetText(IDC_INPUT_EDIT, longDir);
             d.Click(IDOK);
         }},
        {"is too long", [](const Dialog &d) { d.Click(IDOK); }},
        {"Please enter the destination directory",
         [](const Dialog &d) {
             d.SetText(IDC_INPUT_EDIT, "Q:\\TESSEL");
             d.Click(IDOK);
         }},
        {"Creation of Q:\\TESSEL failed.", [](const Dialog &d) { d.Click(IDOK); }},
        {"Please enter the destination directory", [](const Dialog &d) { d.Click(IDCANCEL); }},
        {"Can't continue without a destination directory!", [](const Dialog &d) { d.Click(IDOK); }},
    };
    ASSERT_TRUE(s.Run(c, 60000)) << s.Log();
    EXPECT_TRUE(s.unexpected.empty()) << s.Log();
    EXPECT_TRUE(s.Saw("is too long")) << s.Log();
    EXPECT_TRUE(s.Saw("Creation of Q:\\TESSEL failed.")) << s.Log();
    EXPECT_TRUE(s.Saw("Can't continue without a destination directory!")) << s.Log();
    EXPECT_EQ("", ProfileText("DIR"));
    EXPECT_FALSE(Exists(kDest));
}

TEST_F(InstallTest, SixtyFourBitSystemGetsTheX64LibraryRegisteredToo)
{
    BOOL wow = FALSE;
    IsWow64Process(GetCurrentProcess(), &wow);
    if (!wow)
        GTEST_SKIP() << "needs a 64-bit prefix (tools/setup-x11-tests.sh with TESSEL_SETUP_ARCH=x86_64)";
    std::string want = ReadFile(ExpandedDir() + "\\x64\\tesselcore.dll");
    if (want.empty())
        GTEST_SKIP() << "the distribution carries no x64 library (build build-win64 first)";
    std::string log;
    Child c;
    ASSERT_TRUE(c.Start(DistDir() + "\\tesselsetup.exe"));
    Script s = InstallScript(kDest);
    ASSERT_TRUE(s.Run(c)) << s.Log();
    EXPECT_TRUE(s.unexpected.empty()) << s.Log();
    EXPECT_FALSE(s.Saw("Some portion")) << s.Log();
    EXPECT_EQ(2, s.used[s.rules.size() - 2]) << "one icon placement question per library\n" << s.Log();
    EXPECT_TRUE(ReadFile(std::string(kDest) + "\\x64\\tesselcore.dll") == want);

    std::string inproc = std::string("CLSID\\") + kClsid + "\\InprocServer32";
    auto view = [&](REGSAM sam) {
        HKEY key;
        char buf[MAX_PATH] = "";
        DWORD size = sizeof buf;
        if (RegOpenKeyExA(HKEY_CLASSES_ROOT, inproc.c_str(), 0, KEY_READ | sam, &key) != ERROR_SUCCESS)
            return std::string("<missing>");
        RegQueryValueExA(key, nullptr, nullptr, nullptr, (BYTE *)buf, &size);
        RegCloseKey(key);
        return std::string(buf);
    };
    EXPECT_EQ(std::string(kDest) + "\\x64\\tesselcore.dll", view(KEY_WOW64_64KEY));
    EXPECT_EQ(std::string(kDest) + "\\tesselcore.dll", view(KEY_WOW64_32KEY));
    // The settings name the program folder, not "x64".
    EXPECT_EQ(std::string("\"") + kDest + "\\tessel95.exe\" \"%1\"",
              RegText(HKEY_CLASSES_ROOT, "ftp\\shell\\open\\command", nullptr));

    // Removal undoes both.
    Child r;
    ASSERT_TRUE(r.Start(DistDir() + "\\tesselsetup.exe"));
    Script rs;
    rs.rules = {
        {"Remove previous installation", [](const Dialog &d) { d.Click(IDC_REMOVE); }},
        {"site profiles kept in the registry", [](const Dialog &d) { d.Click(IDYES); }},
        {"Delete TESSEL.ini too?", [](const Dialog &d) { d.Click(IDYES); }},
        {"Removal process complete.", [](const Dialog &d) { d.Click(IDOK); }},
    };
    ASSERT_TRUE(rs.Run(r)) << rs.Log();
    EXPECT_TRUE(rs.unexpected.empty()) << rs.Log();
    EXPECT_EQ("<missing>", view(KEY_WOW64_64KEY));
    EXPECT_EQ("<missing>", view(KEY_WOW64_32KEY));
    EXPECT_FALSE(Exists(std::string(kDest) + "\\x64"));
    EXPECT_TRUE(rs.Saw("All files removed.")) << rs.Log();
    EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, "Directory\\shellex\\CopyHookHandlers\\Quillfold"));
}

TEST_F(InstallTest, ClientAloneNeedsNoRestartAndEndsWithCongratulations)
{
    Child c;
    ASSERT_TRUE(c.Start(DistDir() + "\\tesselsetup.exe"));
    Script s = InstallScript(kDest, {
        {"Classic 2-pane view",
         [](const Dialog &d) {
             d.Check(IDC_OPT_EXPLORER, false);
             d.Click(IDOK);
         }},
        {"Happy FTP'ing!", [](const Dialog &d) { d.Click(IDOK); }},
    });
    ASSERT_TRUE(s.Run(c)) << s.Log();
    EXPECT_TRUE(s.unexpected.empty()) << s.Log();
    EXPECT_TRUE(s.Saw("Congratulations!: OK|Installation successful!\nHappy FTP'ing!")) << s.Log();
    EXPECT_FALSE(s.Saw("Restart Windows now")) << s.Log();
    EXPECT_FALSE(s.Saw("Icon Placement")) << s.Log();
    EXPECT_EQ("4", ProfileText("INSTOPTS"));
    EXPECT_TRUE(Exists(std::string(kDest) + "\\tessel95.exe"));
    EXPECT_FALSE(Exists(std::string(kDest) + "\\tesselch.dll"));
    EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, std::string("CLSID\\") + kClsid));
    EXPECT_EQ(std::string("\"") + kDest + "\\tessel95.exe\" \"%1\"",
              RegText(HKEY_CLASSES_ROOT, "ftp\\shell\\open\\command", nullptr));
    EXPECT_FALSE(Exists(GroupFolder("TESSEL Pro") + "\\Quillfold.lnk"));
    EXPECT_TRUE(Exists(GroupFolder("TESSEL Pro") + "\\TESSEL Pro.lnk"));
}
