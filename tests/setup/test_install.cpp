// A whole installation from the distribution folder, driven through the
// installer's dialogs, and everything it leaves behind.
#include "setupres.h"
#include "setuptest.h"

#include <shlobj.h>
#include <objidl.h>
#include <shlwapi.h>

using namespace setuptest;

namespace {

const char kDest[] = "C:\\Program Files\\TESSEL";
const char kDownloads[] = "C:\\tessel-downloads";
const char kMail[] = "tester@example.org";
const char kClsid[] = "{5A3C1E77-0B42-4D19-8E6A-3F20C7D41A01}";

// The answers of a plain installation into dest; extra rules go first.
Script InstallScript(const std::string &dest, std::vector<Rule> first = {})
{
    Script s;
    s.rules = first;
    std::vector<Rule> plain = {
        {"Remove previous installation", [](const Dialog &d) { d.Click(IDC_INSTALL); }},
        {"Please enter the destination directory",
         [dest](const Dialog &d) {
             d.SetText(IDC_INPUT_EDIT, dest);
             d.Click(IDOK);
         }},
        {"preferred local destination",
         [](const Dialog &d) {
             d.SetText(IDC_INPUT_EDIT, kDownloads);
             d.Click(IDOK);
         }},
        {"Classic 2-pane view", [](const Dialog &d) { d.Click(IDOK); }},
        {"anonymous FTP sites",
         [](const Dialog &d) {
             d.SetText(IDC_INPUT_EDIT, kMail);
             d.Click(IDOK);
         }},
        {"Program group for TESSEL Pro", [](const Dialog &d) { d.Click(IDOK); }},
        {"Icon Placement", [](const Dialog &d) { d.Click(IDOK); }, -1},
        // Answered so that nothing restarts.
        {"Restart Windows now", [](const Dialog &d) { d.Click(IDCANCEL); }},
    };
    s.rules.insert(s.rules.end(), plain.begin(), plain.end());
    return s;
}

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
    Script s = InstallScript(kDest);
    ASSERT_TRUE(s.Run(c)) << s.Log();
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
