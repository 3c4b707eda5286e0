// The installation run (command 100): source, destination, options, files,
// TESSEL.ini, group and registration, WIN.INI, the "ftp" handler, finish.
#include "setupres.h"
#include "setup.h"

#include <set>

namespace {

// Longest folder that still leaves room for every installed name below it
// ("Quillfold.{...}" with its 48 characters is the longest).
const size_t kMaxDestLength = MAX_PATH - 60;

std::string SystemDrive()
{
    char win[MAX_PATH] = "C:\\";
    GetWindowsDirectoryA(win, sizeof win);
    return std::string(win, 2);
}

bool FindSource(InstallState &st)
{
    std::string own = FolderOfModule(nullptr);
    if (FileExists(JoinPath(own, "TESSEL.hl_"))) {
        st.sourceDir = own;
        return true;
    }
    for (;;) {
        std::string folder;
        if (!BrowseForFolder(st, IDS_LOCATE_SOURCE, folder)) {
            ShowMessage(st, IDS_NO_SOURCE, MB_OK | MB_ICONSTOP);
            return false;
        }
        if (FileExists(JoinPath(folder, "TESSEL.hl_"))) {
            st.sourceDir = TrimSeparator(folder);
            return true;
        }
    }
}

// Asks for a folder until it exists or can be made; false when cancelled.
bool AskFolder(InstallState &st, UINT prompt, std::string &folder, bool refuseSource)
{
    for (;;) {
        if (!AskText(st, prompt, folder, true))
            return false;
        std::string typed = TrimSeparator(folder);
        while (!typed.empty() && typed[0] == ' ')
            typed.erase(0, 1);
        if (typed.empty())
            continue;
        if (typed.size() > kMaxDestLength) {
            ShowMessage(st, IDS_DEST_TOO_LONG, MB_OK | MB_ICONEXCLAMATION, {(DWORD_PTR)typed.c_str()});
            continue;
        }
        std::string full = FullPath(typed);
        if (full.size() > kMaxDestLength) {
            ShowMessage(st, IDS_DEST_TOO_LONG, MB_OK | MB_ICONEXCLAMATION, {(DWORD_PTR)full.c_str()});
            continue;
        }
        if (refuseSource && SamePath(full, st.sourceDir)) {
            ShowMessage(st, IDS_DEST_IS_SOURCE, MB_OK | MB_ICONEXCLAMATION);
            continue;
        }
        DWORD rc = MakeFolders(full);
        if (rc) {
            ShowMessage(st, IDS_CREATE_FAILED, MB_OK | MB_ICONEXCLAMATION, {(DWORD_PTR)full.c_str(), (DWORD_PTR)rc});
            continue;
        }
        folder = full;
        return true;
    }
}

std::string DefaultDestination(const InstallState &st)
{
    if (st.nt3)
        return SystemDrive() + "\\WIN32APP\\TESSEL";
    if (!st.win3)
        return SystemDrive() + "\\Program Files\\TESSEL";
    return SystemDrive() + "\\TESSEL";
}

class Copier {
public:
    explicit Copier(InstallState &st) : st_(st) {}
    // Copies a file once per run; true when it is in place.
    bool Copy(const std::string &name, bool report = true, const std::string &destName = std::string(),
              const std::string &subfolder = std::string())
    {
        std::string as = destName.empty() ? name : destName;
        std::string key = subfolder + "\\" + as;
        if (done_.count(key))
            return true;
        CopyRequest req{subfolder.empty() ? st_.sourceDir : JoinPath(st_.sourceDir, subfolder), name,
                        subfolder.empty() ? st_.destDir : JoinPath(st_.destDir, subfolder), as, report};
        if (CopyOneFile(st_, req) != 0) {
            if (report)
                st_.failed = true;
            return false;
        }
        done_.insert(key);
        return true;
    }

private:
    InstallState &st_;
    std::set<std::string> done_;
};

void CopyFiles(InstallState &st)
{
    Copier c(st);
    if (st.options & OPT_CLIENT95) {
        bool ok = c.Copy(SETUP_CLIENT);
        ok = c.Copy(SETUP_LIBRARY) && ok;
        if (!ok)
            st.options &= ~OPT_CLIENT95;
    }
    if (st.options & OPT_CLIENT95)
        c.Copy("TESSEL.hlp");
    c.Copy("whatsnew.txt");
    c.Copy("complete.wav");
    c.Copy("connect.wav");
    c.Copy("error.wav");
    c.Copy("TESSEL.pdf", false);
    c.Copy("remove32.exe", false, SETUP_UNINSTALLER);
    if (st.options & OPT_EXPLORER) {
        c.Copy(SETUP_COMPANION);
        c.Copy("tesselcore.cnt");
        c.Copy("tesselcore.hlp");
        // Without the library there is nothing to register.
        if (!c.Copy(SETUP_LIBRARY))
            st.options &= ~OPT_EXPLORER;
        // A 64-bit Explorer loads only a 64-bit extension.
        if (st.wow64 && (st.options & OPT_EXPLORER) &&
            FileExists(JoinPath(JoinPath(st.sourceDir, SETUP_X64_FOLDER), CompressedName(SETUP_LIBRARY)))) {
            DWORD rc = MakeFolders(JoinPath(st.destDir, SETUP_X64_FOLDER));
            if (rc == 0)
                c.Copy(SETUP_LIBRARY, true, std::string(), SETUP_X64_FOLDER);
            else
                st.failed = true;
        }
        st.restartNeeded = true;
    }
    CloseProgress(st);
}

std::string ShortPath(const std::string &path)
{
    char buf[MAX_PATH];
    DWORD n = GetShortPathNameA(path.c_str(), buf, sizeof buf);
    return n && n < sizeof buf ? std::string(buf, n) : path;
}

void AddItem(std::vector<GroupItem> &items, const InstallState &st, const std::string &file, const std::string &name)
{
    // Short paths: the Program Manager takes the first blank of a command
    // as the start of its arguments.
    items.push_back({ShortPath(JoinPath(st.destDir, file)), name, ShortPath(st.destDir)});
}

void GroupAndRegister(InstallState &st, const WinIniRecord &previous)
{
    std::string group = previous.group.empty() ? LoadText(IDS_DEFGROUP) : previous.group;
    if (!IsSafeGroupName(group))
        group = LoadText(IDS_DEFGROUP);
    bool haveGroup = AskGroup(st, ListGroups(), group);

    std::vector<GroupItem> items;
    if (st.options & OPT_CLIENT95)
        AddItem(items, st, SETUP_CLIENT, LoadText(IDS_ITEM_CLIENT95));
    if (st.options & OPT_EXPLORER) {
        // The 64-bit registration goes first: both write the same settings
        // key, and its install folder must name the program folder, not
        // "x64".
        // The library's first registration finds the program folder and its
        // TESSEL.ini through WIN.INI "DIR".
        WriteWinIniFolders(st);
        if (st.wow64 && FileExists(JoinPath(JoinPath(st.destDir, SETUP_X64_FOLDER), SETUP_LIBRARY)) &&
            !RegisterX64(st, false))
            st.failed = true;
        if (!CallServerEntry(JoinPath(st.destDir, SETUP_LIBRARY), "DllRegisterServer"))
            st.failed = true;
        RestoreMailAddress(st);
        AddItem(items, st, "tesselcore.hlp", LoadText(IDS_ITEM_EXT_HELP));
        AddItem(items, st, SETUP_FOLDER_NAME, LoadText(IDS_ITEM_FOLDER));
    }
    if (st.options & OPT_CLIENT95)
        AddItem(items, st, "TESSEL.hlp", LoadText(IDS_ITEM_HELP));
    AddItem(items, st, "whatsnew.txt", LoadText(IDS_ITEM_NOTES));
    if (FileExists(JoinPath(st.destDir, "TESSEL.pdf")))
        AddItem(items, st, "TESSEL.pdf", LoadText(IDS_DOC_ITEM));
    AddItem(items, st, SETUP_UNINSTALLER, LoadText(IDS_ITEM_UNINSTALL));

    if (haveGroup) {
        if (CreateGroup(group, items))
            st.group = group;
        else
            st.failed = true;
    }
}

} // namespace

void DetectSystem(InstallState &st)
{
    char os[128] = "";
    GetEnvironmentVariableA("OS", os, sizeof os);
    st.nt = strstr(os, "NT") != nullptr;
    OSVERSIONINFOA vi = {};
    vi.dwOSVersionInfoSize = sizeof vi;
    GetVersionExA(&vi);
    const DWORD all = OPT_CLIENT16 | OPT_CLIENT32 | OPT_CLIENT95 | OPT_EXPLORER;
    if (st.nt) {
        st.nt3 = vi.dwMajorVersion < 4;
        st.possible = all;
        st.preselected = OPT_CLIENT95 | OPT_EXPLORER;
    } else if (vi.dwMajorVersion < 4 && vi.dwMinorVersion < 50) {
        st.win3 = true;
        st.possible = OPT_CLIENT16 | OPT_CLIENT32;
        st.preselected = OPT_CLIENT16;
    } else {
        st.possible = all;
        st.preselected = OPT_CLIENT95 | OPT_EXPLORER;
    }
    // The 16-bit and NT-only clients are not part of this system.
    st.possible &= OPT_OFFERED;
    st.wow64 = IsWow64();
}

void RunInstall(InstallState &st)
{
    WinIniRecord previous = ReadWinIni();
    if (!FindSource(st))
        return;

    st.destDir = previous.dir.empty() ? DefaultDestination(st) : previous.dir;
    if (!AskFolder(st, IDS_ASK_DEST, st.destDir, true)) {
        ShowMessage(st, IDS_NO_DEST, MB_OK | MB_ICONSTOP);
        return;
    }
    st.downloadDir = previous.defDir.empty() ? st.destDir : previous.defDir;
    if (!AskFolder(st, IDS_ASK_DLDIR, st.downloadDir, false))
        st.downloadDir = st.destDir;

    st.options = (st.preselected | previous.options) & st.possible;
    if (!(st.options & OPT_OFFERED))
        st.options = (st.possible & OPT_CLIENT95) ? OPT_CLIENT95 : st.possible;
    if (!st.options)
        return; // nothing this system can install here
    if (!st.nt3 && !AskOptions(st, st.options))
        return;

    CopyFiles(st);
    PrepareTesselIni(st);
    GroupAndRegister(st, previous);
    if (st.failed)
        ShowMessage(st, IDS_PARTIAL_FAILURE, MB_OK | MB_ICONEXCLAMATION);
    WriteWinIni(st);
    if (st.options & OPT_CLIENT95) {
        if (!RegisterFtpHandler(JoinPath(st.destDir, SETUP_CLIENT))) {
            ShowMessage(st, IDS_REGISTRY_FAILED, MB_OK | MB_ICONSTOP);
            return;
        }
    }
    if (st.restartNeeded) {
        if (ShowMessage(st, IDS_RESTART, MB_OKCANCEL | MB_ICONQUESTION) == IDOK)
            st.restartNow = true;
    } else {
        ShowMessage(st, IDS_SUCCESS, MB_OK | MB_ICONINFORMATION, {}, IDS_SUCCESS_TITLE);
    }
}
