// Pictures of the installer for tools/setup-screenshots.sh: with
// TESSEL_SHOT_DIR set (a Linux folder) and under X, an installation stops at
// the main window, the options dialog and the group dialog for a PNG of the
// screen each, taken by ImageMagick's import.
#include "setupres.h"
#include "setuptest.h"

using namespace setuptest;

namespace {

void Shot(const std::string &dir, const char *name)
{
    Sleep(1000); // let the dialog paint
    std::string cmd = "/usr/bin/import -window root " + dir + "/" + name;
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        WaitForSingleObject(pi.hProcess, 30000);
        CloseHandle(pi.hProcess);
        CloseHandle(pi.hThread);
    }
}

} // namespace

TEST(SetupShots, MainWindowOptionsAndGroup)
{
    const char *env = getenv("TESSEL_SHOT_DIR");
    if (!env || !*env || !XRun())
        GTEST_SKIP() << "pictures only for tools/setup-screenshots.sh";
    std::string dir = env;
    CoInitialize(nullptr);
    CleanInstallState();
    Child c;
    ASSERT_TRUE(c.Start(DistDir() + "\\tesselsetup.exe"));
    Script s = InstallScript(kDest, {
        {"Remove previous installation",
         [dir](const Dialog &d) {
             Shot(dir, "1-main.png");
             d.Click(IDC_INSTALL);
         }},
        {"Classic 2-pane view",
         [dir](const Dialog &d) {
             Shot(dir, "2-options.png");
             d.Click(IDOK);
         }},
        {"Program group for TESSEL Pro",
         [dir](const Dialog &d) {
             Shot(dir, "3-group.png");
             d.Click(IDOK);
         }},
    });
    EXPECT_TRUE(s.Run(c)) << s.Log();
    EXPECT_TRUE(s.unexpected.empty()) << s.Log();
    CoUninitialize();
}
