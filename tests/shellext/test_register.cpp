// regsvr32 against the library file, the icon placement answered both
// ways: exactly the keys of the registration, the same keys twice, and
// nothing left after /u.
#include "dialogs.h"
#include "shellres.h"
#include "sitesint.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <thread>

namespace {

const char kClsid[] = "{5A3C1E77-0B42-4D19-8E6A-3F20C7D41A01}";

std::string Dll()
{
    const char *env = getenv("TESSEL_BUILD_DIR");
    std::string d;
    if (env && *env) {
        d = env;
    } else {
        char self[MAX_PATH];
        GetModuleFileNameA(nullptr, self, sizeof self);
        d = self;
        d = d.substr(0, d.find_last_of("\\/"));
    }
    // The name the library itself reports (regsvr32 registers that one),
    // whatever form the build folder was given in.
    std::string path = d + "\\tesselcore.dll";
    char full[MAX_PATH] = "";
    HMODULE mod = LoadLibraryA(path.c_str());
    if (mod && GetModuleFileNameA(mod, full, sizeof full))
        path = full;
    if (mod)
        FreeLibrary(mod);
    return path;
}

// Every value under a key, as "path|name|type|data".
void Collect(HKEY root, const std::string &path, std::set<std::string> *out)
{
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return;
    out->insert(path + "|");
    for (DWORD i = 0;; i++) {
        char name[256];
        BYTE data[1024];
        DWORD nlen = sizeof name, dlen = sizeof data, type = 0;
        if (RegEnumValueA(key, i, name, &nlen, nullptr, &type, data, &dlen) != ERROR_SUCCESS)
            break;
        std::string v = type == REG_SZ ? std::string((char *)data) : std::to_string(*(DWORD *)data);
        out->insert(path + "|" + name + "|" + std::to_string(type) + "|" + v);
    }
    for (DWORD i = 0;; i++) {
        char sub[256];
        DWORD len = sizeof sub;
        if (RegEnumKeyExA(key, i, sub, &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        Collect(root, path + "\\" + sub, out);
    }
    RegCloseKey(key);
}

std::string ApprovedValue()
{
    char buf[256] = "";
    DWORD len = sizeof buf;
    if (RegGetValueA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved",
                     kClsid, RRF_RT_REG_SZ, nullptr, buf, &len) != ERROR_SUCCESS)
        return "<none>";
    return buf;
}

std::set<std::string> Keys()
{
    std::set<std::string> k;
    Collect(HKEY_CLASSES_ROOT, "ftp", &k);
    Collect(HKEY_CLASSES_ROOT, std::string("CLSID\\") + kClsid, &k);
    Collect(HKEY_CLASSES_ROOT, "Corvane.TESSELCORE", &k);
    Collect(HKEY_CLASSES_ROOT, "Corvane.TESSELCORE.980314", &k);
    Collect(HKEY_LOCAL_MACHINE, std::string("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Desktop\\Namespace\\") + kClsid, &k);
    Collect(HKEY_LOCAL_MACHINE, std::string("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MyComputer\\Namespace\\") + kClsid, &k);
    k.insert("Approved|" + ApprovedValue());
    return k;
}

// regsvr32 [/u] with the placement dialog answered (computer: the second
// radio button).  Returns regsvr32's exit code.
DWORD RunRegsvr32(bool unregister, bool computer, bool *dialogSeen)
{
    std::string cmd = std::string("regsvr32.exe /s ") + (unregister ? "/u " : "") + "\"" + Dll() + "\"";
    STARTUPINFOA si = {sizeof si};
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return 0xFFFFFFFF;
    std::thread answer([&] {
        if (unregister)
            return;
        HWND d = dlg::WaitFor("Icon Placement", 20000, true);
        if (!d)
            return;
        *dialogSeen = true;
        if (computer) {
            SendMessageA(GetDlgItem(d, IDC_PLACE_COMPUTER), BM_CLICK, 0, 0);
        }
        PostMessageA(d, WM_COMMAND, IDOK, 0);
    });
    WaitForSingleObject(pi.hProcess, 60000);
    answer.join();
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    return code;
}

} // namespace

TEST(Register, Regsvr32WritesExactlyTheKeysAndRemovesThem)
{
    HANDLE lock = CreateMutexA(nullptr, FALSE, "TesselSitesTestLock");
    WaitForSingleObject(lock, 60000);
    std::string dll = Dll();
    std::string icon = dll + ",0";
    bool seen = false;
    ASSERT_EQ(RunRegsvr32(false, false, &seen), 0u);
    EXPECT_TRUE(seen);
    std::set<std::string> first = Keys();
    const std::string ns = std::string("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Desktop\\Namespace\\") + kClsid;
    const std::string k = std::string("CLSID\\") + kClsid;
    std::set<std::string> expected = {
        "ftp|", "ftp\\DefaultIcon|", "ftp\\DefaultIcon||1|" + icon, "ftp\\shell|", "ftp\\shell\\open|",
        "ftp\\shell\\open|EditFlags|3|1", "ftp\\shell\\open\\command|", "ftp\\shell\\open\\command||1|Explorer.exe",
        k + "|", k + "||1|Quillfold", k + "\\InprocServer32|", k + "\\InprocServer32||1|" + dll,
        k + "\\InprocServer32|ThreadingModel|1|Apartment", k + "\\DefaultIcon|", k + "\\DefaultIcon||1|" + icon,
        k + "\\ShellFolder|", k + "\\ShellFolder|Attributes|3|" + std::to_string(0xA0000004u), k + "\\ProgID|",
        k + "\\ProgID||1|Corvane.TESSELCORE.980314", k + "\\VersionIndependentProgID|",
        k + "\\VersionIndependentProgID||1|Corvane.TESSELCORE", "Corvane.TESSELCORE|",
        "Corvane.TESSELCORE||1|Quillfold", "Corvane.TESSELCORE\\ClsID|", std::string("Corvane.TESSELCORE\\ClsID||1|") + kClsid,
        "Corvane.TESSELCORE\\DefaultIcon|", "Corvane.TESSELCORE\\DefaultIcon||1|" + icon, "Corvane.TESSELCORE\\CurVer|",
        "Corvane.TESSELCORE\\CurVer||1|Corvane.TESSELCORE.980314", "Corvane.TESSELCORE.980314|",
        "Corvane.TESSELCORE.980314||1|Quillfold", "Corvane.TESSELCORE.980314\\ClsID|",
        std::string("Corvane.TESSELCORE.980314\\ClsID||1|") + kClsid, ns + "|", ns + "||1|Quillfold",
        "Approved|Quillfold"};
    EXPECT_EQ(first, expected);
    std::string junction = dll.substr(0, dll.find_last_of('\\')) + "\\Quillfold." + kClsid;
    EXPECT_NE(GetFileAttributesA(junction.c_str()), INVALID_FILE_ATTRIBUTES);

    seen = false;
    ASSERT_EQ(RunRegsvr32(false, false, &seen), 0u);
    EXPECT_EQ(Keys(), first) << "registering twice leaves the same keys";

    ASSERT_EQ(RunRegsvr32(false, true, &seen), 0u);
    std::set<std::string> withComputer = Keys();
    const std::string mc = std::string("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MyComputer\\Namespace\\") + kClsid;
    EXPECT_TRUE(withComputer.count(mc + "||1|Quillfold"));

    ASSERT_EQ(RunRegsvr32(true, false, &seen), 0u);
    EXPECT_EQ(Keys(), std::set<std::string>{"Approved|<none>"});
    EXPECT_EQ(GetFileAttributesA(junction.c_str()), INVALID_FILE_ATTRIBUTES);
    HKEY settings;
    EXPECT_NE(RegOpenKeyExA(HKEY_CURRENT_USER, TESSEL_REG_ROOT, 0, KEY_READ, &settings), ERROR_SUCCESS);
    ReleaseMutex(lock);
    CloseHandle(lock);
}
