// The installer's work data and the functions of its steps.  One
// InstallState lives for one run of the program; the steps fill it in order.
#ifndef TESSEL_SETUP_H
#define TESSEL_SETUP_H

#include <windows.h>

#include <string>
#include <vector>

// Install option bits, kept in WIN.INI "INSTOPTS".  The 16-bit and NT-only
// clients (0x1, 0x2) are not part of this system: their bits keep their
// meaning but are never offered.
enum : DWORD {
    OPT_CLIENT16 = 0x1,
    OPT_CLIENT32 = 0x2,
    OPT_CLIENT95 = 0x4,
    OPT_EXPLORER = 0x8,
    OPT_OFFERED = OPT_CLIENT95 | OPT_EXPLORER,
};

#define SETUP_STAMP "980314"
#define SETUP_INI_SECTION "TESSEL"
#define SETUP_FOLDER_NAME "Quillfold.{5A3C1E77-0B42-4D19-8E6A-3F20C7D41A01}"
#define SETUP_LIBRARY "tesselcore.dll"
#define SETUP_CLIENT "tessel95.exe"
#define SETUP_COMPANION "tesselch.dll"
#define SETUP_UNINSTALLER "remove.exe"
#define SETUP_X64_FOLDER "x64"

struct InstallState {
    HINSTANCE instance = nullptr;
    HWND owner = nullptr;       // main window: owner of every dialog
    bool nt = false;            // "OS" names NT
    bool nt3 = false;           // NT before 4.0
    bool win3 = false;          // Windows 3.x
    bool wow64 = false;         // a 32-bit installer on 64-bit Windows
    DWORD possible = 0;         // options this system can install
    DWORD preselected = 0;
    DWORD options = 0;          // chosen, minus clients that failed to copy
    std::string sourceDir;      // no trailing separator
    std::string destDir;
    std::string downloadDir;
    std::string group;          // confirmed Program Manager group, or empty
    std::string mail;           // e-mail address in TESSEL.ini, when a real one
    bool restartNeeded = false; // files wait for a restart
    bool restartNow = false;    // the user agreed to restart
    bool removeOnly = false;    // started as the uninstaller
    bool failed = false;        // some step failed (message 10028)
    HWND progress = nullptr;    // modeless progress window while copying
};

// ---- text and dialogs (dialogs.cpp)
std::string LoadText(UINT id);
// Formats a string resource with positional inserts (%1!s!, %2!u!...);
// each argument is a pointer-sized value: a char pointer or a number.
std::string FormatText(UINT id, const std::vector<DWORD_PTR> &args = {});
int ShowMessage(const InstallState &st, UINT id, UINT flags, const std::vector<DWORD_PTR> &args = {},
                UINT titleId = 0);
// "DLG_INSTALL": IDC_INSTALL, IDC_REMOVE or IDCANCEL.
int AskInstallOrRemove(const InstallState &st);
// A prompt with an edit box; false when cancelled.  A browse button is
// offered for folders.
bool AskText(const InstallState &st, UINT promptId, std::string &value, bool folder);
bool BrowseForFolder(const InstallState &st, UINT titleId, std::string &folder);
bool AskOptions(const InstallState &st, DWORD &options);
bool AskGroup(const InstallState &st, const std::vector<std::string> &existing, std::string &name);
// True when the name can go into a Program Manager command unchanged.
bool IsSafeGroupName(const std::string &name);
void ShowProgress(InstallState &st, const std::string &text);
void CloseProgress(InstallState &st);

// ---- paths (paths.cpp)
std::string JoinPath(const std::string &dir, const std::string &name);
std::string FullPath(const std::string &path);
bool SamePath(const std::string &a, const std::string &b);
bool FileExists(const std::string &path);
bool DirExists(const std::string &path);
// Creates a folder and its missing parents; 0 or the Windows error.
DWORD MakeFolders(const std::string &path);
std::string TrimSeparator(std::string path);
std::string FolderOfModule(HMODULE module);

// ---- copying (copy.cpp)
struct CopyRequest {
    std::string sourceDir, name;  // source name before compression
    std::string destDir, destName;
    bool report = true;           // failures get a message box
};
// 0 on success (also when the file had to wait for a restart), else the
// Windows error; a failure never leaves a partial file behind.
DWORD CopyOneFile(InstallState &st, const CopyRequest &req);
// The compressed name: the last character replaced by "_".
std::string CompressedName(const std::string &name);
// Writes the restart copy command under the first free "Corvane<n>" value.
bool RegisterCopyAtRestart(const std::string &newFile, const std::string &target);

// ---- WIN.INI and TESSEL.ini (winini.cpp)
struct WinIniRecord {
    std::string dir, defDir, group;
    DWORD options = 0;
};
WinIniRecord ReadWinIni();
void WriteWinIni(const InstallState &st);
void RemoveWinIniSection();
// Copies TESSEL.ini (asking before replacing one) and makes sure it holds
// an e-mail address.
void PrepareTesselIni(InstallState &st);
// Puts the address back when the library's registration stored its
// placeholder over it.
void RestoreMailAddress(const InstallState &st);
// "DIR" and "DEFDIR" alone, for the library's registration to find the
// program folder before the whole record is written.
void WriteWinIniFolders(const InstallState &st);

// ---- Program Manager (dde.cpp)
struct GroupItem {
    std::string command, name, workDir;
};
std::vector<std::string> ListGroups();
bool CreateGroup(const std::string &group, const std::vector<GroupItem> &items);
bool DeleteGroup(const std::string &group, const std::vector<std::string> &itemNames);

// ---- registration (register.cpp)
// Loads the library by path and calls the named entry point; false when the
// library or the entry cannot be had or the call fails.
bool CallServerEntry(const std::string &library, const char *entry);
// The 64-bit library in "x64", registered by the system's 64-bit regsvr32.
bool RegisterX64(const InstallState &st, bool unregister);
bool IsWow64();
bool RegisterFtpHandler(const std::string &clientPath);

// ---- the runs (install.cpp, remove.cpp)
void RunInstall(InstallState &st);
void RunRemoval(InstallState &st);
// Started as "remove.exe": runs the removal from a copy in the temporary
// folder, so that "remove.exe" itself can be deleted.  True when it did.
bool RelaunchFromTemp(const InstallState &st);
void DetectSystem(InstallState &st);

#endif
