// Helpers of the installer tests (see setuptest.h).
#include "setuptest.h"
#include "setupres.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <shellapi.h>

#include <fstream>
#include <sstream>

namespace setuptest {

std::string BuildDir()
{
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, sizeof self);
    std::string s = self;
    return s.substr(0, s.find_last_of("\\/"));
}

std::string DistDir() { return BuildDir() + "\\dist"; }
std::string ExpandedDir() { return BuildDir() + "\\dist-expanded"; }

std::string TempFolder(const char *tag)
{
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    std::string dir = std::string(temp) + "tsetup-" + tag + "-" + std::to_string(GetCurrentProcessId());
    RemoveTree(dir);
    CreateDirectoryA(dir.c_str(), nullptr);
    return dir;
}

void CopyTree(const std::string &from, const std::string &to)
{
    CreateDirectoryA(to.c_str(), nullptr);
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((from + "\\*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return;
    do {
        std::string name = fd.cFileName;
        if (name == "." || name == "..")
            continue;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            CopyTree(from + "\\" + name, to + "\\" + name);
        else
            CopyFileA((from + "\\" + name).c_str(), (to + "\\" + name).c_str(), FALSE);
    } while (FindNextFileA(h, &fd));
    FindClose(h);
}

void RemoveTree(const std::string &dir)
{
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((dir + "\\*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            std::string name = fd.cFileName;
            if (name == "." || name == "..")
                continue;
            std::string p = dir + "\\" + name;
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(p);
            } else {
                SetFileAttributesA(p.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileA(p.c_str());
            }
        } while (FindNextFileA(h, &fd));
        FindClose(h);
    }
    RemoveDirectoryA(dir.c_str());
}

std::string ReadFile(const std::string &path)
{
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

void WriteFile(const std::string &path, const std::string &data)
{
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f << data;
}

bool Exists(const std::string &path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string ProfileText(const char *key)
{
    char buf[1024] = "";
    GetProfileStringA("TESSEL", key, "", buf, sizeof buf);
    return buf;
}

std::string RegText(HKEY root, const std::string &path, const char *value)
{
    char buf[1024] = "";
    DWORD size = sizeof buf;
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return "<missing>";
    LONG rc = RegQueryValueExA(key, value, nullptr, nullptr, (BYTE *)buf, &size);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS ? std::string(buf) : "<missing>";
}

bool RegKeyExists(HKEY root, const std::string &path)
{
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

bool XRun()
{
    const char *e = getenv("TESSEL_SETUP_X11");
    return e && *e == '1';
}

void CleanInstallState()
{
    WriteProfileStringA("TESSEL", nullptr, nullptr);
    WriteProfileStringA(nullptr, nullptr, nullptr);
    RemoveTree("C:\\Program Files\\TESSEL");
    RemoveTree(GroupFolder("TESSEL Pro"));
    const char clsid[] = "{5A3C1E77-0B42-4D19-8E6A-3F20C7D41A01}";
    SHDeleteKeyA(HKEY_CLASSES_ROOT, (std::string("CLSID\\") + clsid).c_str());
    SHDeleteKeyA(HKEY_CLASSES_ROOT, "Corvane.TESSELCORE");
    SHDeleteKeyA(HKEY_CLASSES_ROOT, "Corvane.TESSELCORE.980314");
    SHDeleteKeyA(HKEY_CLASSES_ROOT, "ftp");
    SHDeleteKeyA(HKEY_CURRENT_USER, "SOFTWARE\\Corvane\\TESSEL");
}

// ---- child process

Child::~Child()
{
    if (pi.hProcess) {
        if (Running())
            TerminateProcess(pi.hProcess, 99);
        CloseHandle(pi.hProcess);
        CloseHandle(pi.hThread);
    }
}

bool Child::Start(const std::string &exe, const std::string &args, bool withoutOs)
{
    std::string cmd = "\"" + exe + "\"" + (args.empty() ? "" : " " + args);
    std::string env;
    if (withoutOs) {
        char *block = GetEnvironmentStringsA();
        for (char *p = block; *p; p += strlen(p) + 1)
            if (_strnicmp(p, "OS=", 3) != 0)
                env.append(p, strlen(p) + 1);
        FreeEnvironmentStringsA(block);
        env.push_back('\0');
    }
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    std::string dir = exe.substr(0, exe.find_last_of('\\'));
    return CreateProcessA(exe.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, withoutOs ? &env[0] : nullptr, dir.c_str(),
                          &si, &pi) != FALSE;
}

bool Child::Running() const { return pi.hProcess && WaitForSingleObject(pi.hProcess, 0) == WAIT_TIMEOUT; }

DWORD Child::WaitExit(DWORD ms)
{
    if (WaitForSingleObject(pi.hProcess, ms) != WAIT_OBJECT_0)
        return STILL_ACTIVE;
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    return code;
}

// ---- dialogs

static std::string TextOf(HWND w)
{
    char buf[2048] = "";
    DWORD_PTR r = 0;
    SendMessageTimeoutA(w, WM_GETTEXT, sizeof buf, (LPARAM)buf, SMTO_ABORTIFHUNG, 3000, &r);
    return buf;
}

void Dialog::Click(int id) const
{
    PostMessageA(wnd, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)GetDlgItem(wnd, id));
}

void Dialog::SetText(int id, const std::string &s) const
{
    DWORD_PTR r = 0;
    SendMessageTimeoutA(GetDlgItem(wnd, id), WM_SETTEXT, 0, (LPARAM)s.c_str(), SMTO_ABORTIFHUNG, 3000, &r);
}

void Dialog::Check(int id, bool on) const
{
    DWORD_PTR r = 0;
    SendMessageTimeoutA(GetDlgItem(wnd, id), BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0, SMTO_ABORTIFHUNG, 3000,
                        &r);
}

std::string Dialog::ItemText(int id) const { return TextOf(GetDlgItem(wnd, id)); }

struct FindRun {
    DWORD pid;
    std::vector<HWND> found;
};

static BOOL CALLBACK FindDialogs(HWND w, LPARAM lp)
{
    FindRun *run = (FindRun *)lp;
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    char cls[64] = "";
    GetClassNameA(w, cls, sizeof cls);
    bool ours = run->pid ? pid == run->pid : pid != GetCurrentProcessId();
    if (ours && IsWindowVisible(w) && IsWindowEnabled(w) && strcmp(cls, "#32770") == 0)
        run->found.push_back(w);
    return TRUE;
}

static BOOL CALLBACK CollectText(HWND w, LPARAM lp)
{
    std::string *text = (std::string *)lp;
    char cls[64] = "";
    GetClassNameA(w, cls, sizeof cls);
    if (_stricmp(cls, "Edit") == 0)
        return TRUE; // what the test typed is no part of the question
    std::string t = TextOf(w);
    if (!t.empty())
        *text += t + "|";
    return TRUE;
}

static bool HasButton(HWND dlg)
{
    for (HWND c = GetWindow(dlg, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        char cls[64] = "";
        GetClassNameA(c, cls, sizeof cls);
        if (_stricmp(cls, "Button") == 0 && IsWindowVisible(c))
            return true;
    }
    return false;
}

bool Script::Run(Child &child, DWORD deadlineMs)
{
    // Dialogs of other processes count too: the 64-bit registration shows
    // the library's icon placement question from the system's regsvr32.
    return Loop(0, [&child] { return !child.Running(); }, deadlineMs);
}

bool Script::RunAll(const std::function<bool()> &finished, DWORD deadlineMs)
{
    return Loop(0, finished, deadlineMs);
}

bool Script::Loop(DWORD pid, const std::function<bool()> &finished, DWORD deadlineMs)
{
    DWORD start = GetTickCount();
    if (used.size() != rules.size())
        used.assign(rules.size(), 0);
    while (GetTickCount() - start < deadlineMs) {
        if (finished())
            return true;
        FindRun run{pid, {}};
        EnumWindows(FindDialogs, (LPARAM)&run);
        HWND target = nullptr;
        for (HWND w : run.found)
            if (HasButton(w)) {
                target = w;
                break;
            }
        if (!target) {
            Sleep(50);
            continue;
        }
        Dialog d;
        d.wnd = target;
        d.title = TextOf(target);
        EnumChildWindows(target, CollectText, (LPARAM)&d.text);
        seen.push_back(d.title + ": " + d.text);
        bool answered = false;
        for (size_t i = 0; i < rules.size() && !answered; i++) {
            if ((rules[i].times >= 0 && used[i] >= rules[i].times) || !d.Has(rules[i].match))
                continue;
            used[i]++;
            rules[i].act(d);
            answered = true;
        }
        if (!answered) {
            unexpected.push_back(seen.back());
            d.Click(IDCANCEL);
            PostMessageA(target, WM_CLOSE, 0, 0);
        }
        // Wait until the dialog is gone or covered by another (disabled).
        DWORD t0 = GetTickCount();
        while (GetTickCount() - t0 < 15000 && IsWindow(target) && IsWindowVisible(target) && IsWindowEnabled(target))
            Sleep(30);
    }
    return false;
}

bool Script::Saw(const std::string &s) const
{
    for (const std::string &x : seen)
        if (x.find(s) != std::string::npos)
            return true;
    return false;
}

std::string Script::Log() const
{
    std::string s;
    for (const std::string &x : seen)
        s += "  " + x + "\n";
    for (const std::string &x : unexpected)
        s += "  unexpected: " + x + "\n";
    return s;
}

const char kDest[] = "C:\\Program Files\\TESSEL";
const char kDownloads[] = "C:\\tessel-downloads";
const char kMail[] = "tester@example.org";

Script InstallScript(const std::string &dest, std::vector<Rule> first)
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

bool InstallPlain(std::string *log)
{
    Child c;
    if (!c.Start(DistDir() + "\\tesselsetup.exe"))
        return false;
    Script s = InstallScript(kDest);
    bool ok = s.Run(c) && s.unexpected.empty() && !s.Saw("Some portion");
    if (log)
        *log = s.Log();
    return ok;
}

std::string GroupFolder(const std::string &group)
{
    char buf[MAX_PATH] = "";
    SHGetFolderPathA(nullptr, CSIDL_PROGRAMS, nullptr, 0, buf);
    return std::string(buf) + "\\" + group;
}

bool LibraryHolder::Hold(const std::string &library)
{
    release = CreateEventA(nullptr, TRUE, FALSE, "tsetup-release");
    HANDLE held = CreateEventA(nullptr, TRUE, FALSE, "tsetup-held");
    ResetEvent(held);
    SetEnvironmentVariableA("TESSEL_HOLD_LIBRARY", library.c_str());
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, sizeof self);
    bool ok = child.Start(self, "--gtest_filter=SetupHolder.*");
    SetEnvironmentVariableA("TESSEL_HOLD_LIBRARY", nullptr);
    ok = ok && WaitForSingleObject(held, 30000) == WAIT_OBJECT_0;
    CloseHandle(held);
    return ok;
}

LibraryHolder::~LibraryHolder()
{
    if (release) {
        SetEvent(release);
        child.WaitExit(10000);
        CloseHandle(release);
    }
}

} // namespace setuptest

// Run by LibraryHolder in a second process: loads the library, says so, and
// keeps it until released.
TEST(SetupHolder, KeepsALibraryLoaded)
{
    const char *lib = getenv("TESSEL_HOLD_LIBRARY");
    if (!lib || !*lib)
        GTEST_SKIP() << "helper of the in-use tests";
    HMODULE h = LoadLibraryA(lib);
    ASSERT_TRUE(h) << lib;
    HANDLE held = OpenEventA(EVENT_MODIFY_STATE, FALSE, "tsetup-held");
    HANDLE release = OpenEventA(SYNCHRONIZE, FALSE, "tsetup-release");
    ASSERT_TRUE(held && release);
    SetEvent(held);
    WaitForSingleObject(release, 120000);
    FreeLibrary(h);
    CloseHandle(held);
    CloseHandle(release);
}
