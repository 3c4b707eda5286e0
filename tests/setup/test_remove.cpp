// Removal of an installation: by the installer's own choice, by the
// installed uninstaller, and with too little or odd information.
#include "setupres.h"
#include "setuptest.h"

using namespace setuptest;

namespace {

const char kClsid[] = "{5A3C1E77-0B42-4D19-8E6A-3F20C7D41A01}";

class RemoveTest : public ::testing::Test {
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

std::vector<Rule> RemovalRules()
{
    return {
        {"Remove previous installation", [](const Dialog &d) { d.Click(IDC_REMOVE); }},
        {"site profiles kept in the registry", [](const Dialog &d) { d.Click(IDYES); }},
        {"Delete TESSEL.ini too?", [](const Dialog &d) { d.Click(IDYES); }},
        {"Removal process complete.", [](const Dialog &d) { d.Click(IDOK); }},
    };
}

void ExpectEverythingGone()
{
    const char *files[] = {"tessel95.exe", "tesselcore.dll", "tesselch.dll", "tesselcore.cnt", "tesselcore.hlp",
                           "TESSEL.hlp", "whatsnew.txt", "complete.wav", "connect.wav", "error.wav", "TESSEL.pdf",
                           "TESSEL.ini", "remove.exe"};
    for (const char *f : files)
        EXPECT_FALSE(Exists(std::string(kDest) + "\\" + f)) << f;
    EXPECT_FALSE(Exists(GroupFolder("TESSEL Pro")));
    EXPECT_EQ("", ProfileText("DIR"));
    EXPECT_EQ("", ProfileText("INSTOPTS"));
    EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, std::string("CLSID\\") + kClsid));
    EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, "Corvane.TESSELCORE"));
    EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, "ftp"));
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE,
                              std::string("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Desktop\\Namespace\\") + kClsid));
    EXPECT_EQ("<missing>",
              RegText(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved", kClsid));
    EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, "SOFTWARE\\Corvane\\TESSEL"));
    // The companion library was unregistered too.
    EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, "Directory\\shellex\\CopyHookHandlers\\Quillfold"));
}

} // namespace

TEST_F(RemoveTest, InstallerRemovesEverythingItPut)
{
    std::string log;
    ASSERT_TRUE(InstallPlain(&log)) << log;
    Child c;
    ASSERT_TRUE(c.Start(DistDir() + "\\tesselsetup.exe"));
    Script s;
    s.rules = RemovalRules();
    ASSERT_TRUE(s.Run(c)) << s.Log();
    EXPECT_TRUE(s.unexpected.empty()) << s.Log();
    EXPECT_TRUE(s.Saw("All files removed.")) << s.Log();
    ExpectEverythingGone();
    EXPECT_FALSE(Exists(kDest));
}

TEST_F(RemoveTest, UninstallerRunsFromACopyAndKeepsAForeignFile)
{
    std::string log;
    ASSERT_TRUE(InstallPlain(&log)) << log;
    std::string foreign = std::string(kDest) + "\\mynotes.txt";
    WriteFile(foreign, "mine");
    Child c;
    ASSERT_TRUE(c.Start(std::string(kDest) + "\\remove.exe"));
    Script s;
    s.rules = RemovalRules();
    bool done = false;
    s.rules.back().act = [&done](const Dialog &d) {
        d.Click(IDOK);
        done = true;
    };
    ASSERT_TRUE(s.RunAll([&done] { return done; })) << s.Log();
    EXPECT_TRUE(s.unexpected.empty()) << s.Log();
    EXPECT_TRUE(s.Saw(std::string(kDest) + " still holds other files")) << s.Log();
    Sleep(500); // the removal's own process ends after the last answer
    ExpectEverythingGone();
    EXPECT_TRUE(ReadFile(foreign) == "mine");
}

TEST_F(RemoveTest, TooLittleInformationOrASystemFolder)
{
    WriteProfileStringA("TESSEL", "DIR", kDest);
    WriteProfileStringA("TESSEL", "INSTOPTS", "0");
    {
        Child c;
        ASSERT_TRUE(c.Start(DistDir() + "\\tesselsetup.exe"));
        Script s;
        s.rules = {
            {"Remove previous installation", [](const Dialog &d) { d.Click(IDC_REMOVE); }},
            {"Insufficient information available to", [](const Dialog &d) { d.Click(IDOK); }},
        };
        ASSERT_TRUE(s.Run(c, 60000)) << s.Log();
        EXPECT_TRUE(s.unexpected.empty()) << s.Log();
        EXPECT_TRUE(s.Saw("Insufficient information available to\nremove this application.")) << s.Log();
    }

    // "DIR" naming the Windows folder: only the listed names are touched.
    char win[MAX_PATH];
    GetWindowsDirectoryA(win, sizeof win);
    WriteProfileStringA("TESSEL", "DIR", win);
    WriteProfileStringA("TESSEL", "INSTOPTS", "12");
    WriteProfileStringA("TESSEL", "GROUP", "");
    std::string marker = std::string(win) + "\\notepad.exe";
    ASSERT_TRUE(Exists(marker));
    Child c;
    ASSERT_TRUE(c.Start(DistDir() + "\\tesselsetup.exe"));
    Script s;
    s.rules = RemovalRules();
    ASSERT_TRUE(s.Run(c)) << s.Log();
    EXPECT_TRUE(s.unexpected.empty()) << s.Log();
    EXPECT_TRUE(s.Saw(std::string(win) + " still holds other files")) << s.Log();
    EXPECT_TRUE(Exists(marker));
    EXPECT_TRUE(Exists(std::string(win) + "\\system32"));
}
