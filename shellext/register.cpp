// Registration and removal of the COM server, the namespace junctions and
// the "ftp" URL handler.
#include "engine.h"
#include "guids.h"
#include "modulestate.h"
#include "shellres.h"
#include "sitesint.h"
#include "tessel_sites.h"

#include <shlobj.h>
#include <stdio.h>
#include <string.h>

#include <string>

namespace {

// The icon placement answer of the last registration in this process.
bool g_placeInMyComputer = false;

const char kDesktopNs[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Desktop\\Namespace\\%s";
const char kComputerNs[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MyComputer\\Namespace\\%s";
const char kApproved[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";

// A key created with full access; value null = the default value.
void SetText(HKEY root, const std::string &path, const char *value, const char *text)
{
    HKEY key;
    if (RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return;
    RegSetValueExA(key, value, 0, REG_SZ, (const BYTE *)text, (DWORD)strlen(text) + 1);
    RegCloseKey(key);
}

void SetBinary(HKEY root, const std::string &path, const char *value, DWORD data)
{
    HKEY key;
    if (RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return;
    RegSetValueExA(key, value, 0, REG_BINARY, (const BYTE *)&data, sizeof data);
    RegCloseKey(key);
}

std::string Printf(const char *fmt, const char *a, const char *b = "", const char *c = "")
{
    char buf[1024];
    snprintf(buf, sizeof buf, fmt, a, b, c);
    return buf;
}

void CallCompanion(const char *folder, const char *entry)
{
    std::string path = Printf("%s\\tesselch.dll", folder);
    HMODULE lib = LoadLibraryA(path.c_str());
    if (!lib)
        return;
    typedef HRESULT(__stdcall * EntryFn)(void);
    EntryFn fn = (EntryFn)(void *)GetProcAddress(lib, entry);
    if (fn)
        fn();
    FreeLibrary(lib);
}

void NotifyShell()
{
    for (int csidl : {CSIDL_DESKTOP, CSIDL_DRIVES}) {
        LPITEMIDLIST pidl = nullptr;
        if (SUCCEEDED(SHGetSpecialFolderLocation(nullptr, csidl, &pidl)) && pidl) {
            SHChangeNotify(SHCNE_UPDATEDIR | SHCNE_UPDATEIMAGE, SHCNF_IDLIST | SHCNF_FLUSH, pidl, nullptr);
            CoTaskMemFree(pidl);
        }
    }
}

INT_PTR CALLBACK PlacementProc(HWND dlg, UINT msg, WPARAM wp, LPARAM)
{
    switch (msg) {
    case WM_INITDIALOG:
        CheckRadioButton(dlg, IDC_PLACE_DESKTOP, IDC_PLACE_COMPUTER, IDC_PLACE_DESKTOP);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wp) == IDOK || LOWORD(wp) == IDCANCEL) {
            g_placeInMyComputer = IsDlgButtonChecked(dlg, IDC_PLACE_COMPUTER) == BST_CHECKED;
            EndDialog(dlg, IDOK);
            return TRUE;
        }
        break;
    }
    return FALSE;
}

std::string FolderOf(const char *file)
{
    std::string f = file;
    size_t cut = f.find_last_of("\\/");
    return cut == std::string::npos ? std::string() : f.substr(0, cut);
}

} // namespace

extern "C" HRESULT __stdcall DllRegisterServer(void)
{
    ModuleState &m = Module();
    char file[MAX_PATH];
    DWORD n = GetModuleFileNameA(m.Instance() ? m.Instance() : TesselModule(), file, sizeof file);
    if (n == 0 || n >= sizeof file)
        return 1;
    std::string folder = FolderOf(file);
    RegisterSettings(file);
    std::string icon = Printf("%s,0", file);
    CallCompanion(folder.c_str(), "DllRegisterServer");

    const char *clsid = m.ClsidText();
    const char *desc = TESSEL_DESCRIPTION;
    DeleteKeyTree(HKEY_CLASSES_ROOT, "ftp");
    SetText(HKEY_CLASSES_ROOT, "ftp\\DefaultIcon", nullptr, icon.c_str());
    SetBinary(HKEY_CLASSES_ROOT, "ftp\\shell\\open", "EditFlags", 1);
    SetText(HKEY_CLASSES_ROOT, "ftp\\shell\\open\\command", nullptr, "Explorer.exe");

    std::string k = Printf("CLSID\\%s", clsid);
    SetText(HKEY_CLASSES_ROOT, k, nullptr, desc);
    SetText(HKEY_CLASSES_ROOT, k + "\\InprocServer32", nullptr, file);
    SetText(HKEY_CLASSES_ROOT, k + "\\InprocServer32", "ThreadingModel", "Apartment");
    SetText(HKEY_CLASSES_ROOT, k + "\\DefaultIcon", nullptr, icon.c_str());
    SetBinary(HKEY_CLASSES_ROOT, k + "\\ShellFolder", "Attributes", 0xA0000004u);
    SetText(HKEY_CLASSES_ROOT, k + "\\ProgID", nullptr, m.ProgId());
    SetText(HKEY_CLASSES_ROOT, k + "\\VersionIndependentProgID", nullptr, m.ProgIdIndependent());

    std::string vi = m.ProgIdIndependent();
    SetText(HKEY_CLASSES_ROOT, vi, nullptr, desc);
    SetText(HKEY_CLASSES_ROOT, vi + "\\ClsID", nullptr, clsid);
    SetText(HKEY_CLASSES_ROOT, vi + "\\DefaultIcon", nullptr, icon.c_str());
    SetText(HKEY_CLASSES_ROOT, vi + "\\CurVer", nullptr, m.ProgId());
    std::string pv = m.ProgId();
    SetText(HKEY_CLASSES_ROOT, pv, nullptr, desc);
    SetText(HKEY_CLASSES_ROOT, pv + "\\ClsID", nullptr, clsid);

    g_placeInMyComputer = false;
    DialogBoxParamA(m.Instance() ? m.Instance() : TesselModule(), MAKEINTRESOURCEA(IDD_ICON_PLACEMENT), nullptr,
                    PlacementProc, 0);
    SetText(HKEY_LOCAL_MACHINE, Printf(g_placeInMyComputer ? kComputerNs : kDesktopNs, clsid), nullptr, desc);
    SetText(HKEY_LOCAL_MACHINE, kApproved, clsid, desc);

    // Sound events were registered afresh by the settings part above.
    CreateDirectoryA(Printf("%s\\%s.%s", folder.c_str(), desc, clsid).c_str(), nullptr);
    NotifyShell();
    return S_OK;
}

extern "C" HRESULT __stdcall DllUnregisterServer(void)
{
    ModuleState &m = Module();
    const char *clsid = m.ClsidText();
    const char *desc = TESSEL_DESCRIPTION;
    FTPINFO settings;
    memset(&settings, 0, sizeof settings);
    settings.size = sizeof settings;
    TESSEL_GetFTPInfo(&settings, FALSE);
    RemoveDirectoryA(Printf("%s.%s", desc, clsid).c_str());
    if (settings.topDir[0])
        RemoveDirectoryA(Printf("%s\\%s.%s", settings.topDir, desc, clsid).c_str());

    DeleteKeyTree(HKEY_CLASSES_ROOT, Printf("CLSID\\%s", clsid).c_str());
    DeleteKeyTree(HKEY_CLASSES_ROOT, m.ProgIdIndependent());
    DeleteKeyTree(HKEY_CLASSES_ROOT, m.ProgId());
    DeleteKeyTree(HKEY_LOCAL_MACHINE, Printf(kDesktopNs, clsid).c_str());
    DeleteKeyTree(HKEY_LOCAL_MACHINE, Printf(kComputerNs, clsid).c_str());
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kApproved, 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
        RegDeleteValueA(key, clsid);
        RegCloseKey(key);
    }
    if (settings.topDir[0])
        CallCompanion(settings.topDir, "DllUnregisterServer");
    DeleteKeyTree(HKEY_CLASSES_ROOT, "ftp");
    UnregisterSettings();
    NotifyShell();
    return S_OK;
}

// Kept for installers that call it; there is nothing to do.
extern "C" void __stdcall Uninstall(HWND, HINSTANCE, LPSTR, int) {}
