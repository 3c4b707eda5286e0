// Removal of a previous installation, and the uninstaller's move to the
// temporary folder.
#include "setupres.h"
#include "setup.h"

#include <stdio.h>

namespace {

// Every file an installation may have put into the program folder; nothing
// else there is ever touched.
const char *const kInstalledFiles[] = {
    SETUP_CLIENT, SETUP_LIBRARY, SETUP_COMPANION, "tesselcore.cnt", "tesselcore.hlp", "TESSEL.hlp",
    "whatsnew.txt", "complete.wav", "connect.wav", "error.wav", "TESSEL.pdf",
    // Old images kept aside or waiting for a restart by the in-use rules.
    "tessel95.bak", "tesselcore.bak", "tesselch.bak", "remove.bak", "tessel95.new", "tesselcore.new", "tesselch.new",
    "remove.new",
};

const UINT kItemNames[] = {IDS_ITEM_CLIENT95, IDS_ITEM_EXT_HELP, IDS_ITEM_FOLDER, IDS_ITEM_HELP, IDS_ITEM_NOTES,
                           IDS_DOC_ITEM, IDS_ITEM_UNINSTALL};

void DeleteListed(const std::string &dir, const char *name)
{
    std::string path = JoinPath(dir, name);
    if (!FileExists(path))
        return;
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!DeleteFileA(path.c_str()))
        MoveFileExA(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}

} // namespace

void RunRemoval(InstallState &st)
{
    WinIniRecord r = ReadWinIni();
    if (r.dir.empty() || r.options == 0) {
        ShowMessage(st, IDS_NO_REMOVE_INFO, MB_OK | MB_ICONSTOP);
        return;
    }
    std::string dir = TrimSeparator(r.dir);
    st.destDir = dir;
    if (ShowMessage(st, IDS_REMOVE_ASK, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2, {(DWORD_PTR)dir.c_str()}) != IDYES)
        return;

    // The 32-bit library first: it finds the companion library through the
    // settings, which either unregistration deletes.
    std::string x64 = JoinPath(dir, SETUP_X64_FOLDER);
    if (FileExists(JoinPath(dir, SETUP_LIBRARY)))
        CallServerEntry(JoinPath(dir, SETUP_LIBRARY), "DllUnregisterServer");
    if (FileExists(JoinPath(x64, SETUP_LIBRARY)))
        RegisterX64(st, true);

    for (const char *name : kInstalledFiles)
        DeleteListed(dir, name);
    DeleteListed(x64, SETUP_LIBRARY);
    RemoveDirectoryA(x64.c_str());

    std::string ini = JoinPath(dir, "TESSEL.ini");
    if (FileExists(ini) && ShowMessage(st, IDS_INI_REMOVE, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) == IDYES)
        DeleteListed(dir, "TESSEL.ini");

    // The uninstaller: this very program only when it was started in place.
    char me[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, me, sizeof me);
    std::string uninstaller = JoinPath(dir, SETUP_UNINSTALLER);
    if (SamePath(me, uninstaller))
        MoveFileExA(uninstaller.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    else
        DeleteListed(dir, SETUP_UNINSTALLER);

    if (!r.group.empty()) {
        std::vector<std::string> names;
        for (UINT id : kItemNames)
            names.push_back(LoadText(id));
        DeleteGroup(r.group, names);
    }

    // Only an empty folder goes: anything left in it is not ours to delete.
    bool dirGone = RemoveDirectoryA(dir.c_str()) || !DirExists(dir);
    RemoveWinIniSection();
    if (dirGone)
        ShowMessage(st, IDS_REMOVED, MB_OK | MB_ICONINFORMATION);
    else
        ShowMessage(st, IDS_REMOVED_DIRLEFT, MB_OK | MB_ICONINFORMATION, {(DWORD_PTR)dir.c_str()});
}

bool RelaunchFromTemp(const InstallState &)
{
    char me[MAX_PATH] = "", temp[MAX_PATH] = "", copy[MAX_PATH] = "";
    if (!GetModuleFileNameA(nullptr, me, sizeof me) || !GetTempPathA(sizeof temp, temp))
        return false;
    if (!GetTempFileNameA(temp, "trm", 0, copy))
        return false;
    std::string exe = std::string(copy) + ".exe";
    DeleteFileA(copy);
    if (!CopyFileA(me, exe.c_str(), FALSE))
        return false;
    std::string cmd = "\"" + exe + "\" /remove";
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(exe.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        DeleteFileA(exe.c_str());
        return false;
    }
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return true;
}
