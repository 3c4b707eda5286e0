// Helpers for the installer tests: the distribution folder of the build, a
// child installer process, and a driver that answers its dialogs from the
// test by window messages, each wait under a deadline.
#ifndef TESSEL_TEST_SETUPTEST_H
#define TESSEL_TEST_SETUPTEST_H

#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace setuptest {

std::string BuildDir();                        // folder of the test program
std::string DistDir();                         // BuildDir()\dist
std::string ExpandedDir();                     // msexpand's output of each file
std::string TempFolder(const char *tag);       // fresh, empty
void CopyTree(const std::string &from, const std::string &to);
void RemoveTree(const std::string &dir);
std::string ReadFile(const std::string &path);
void WriteFile(const std::string &path, const std::string &data);
bool Exists(const std::string &path);
std::string ProfileText(const char *key);      // WIN.INI [TESSEL]
std::string RegText(HKEY root, const std::string &path, const char *value);
bool RegKeyExists(HKEY root, const std::string &path);
// The installer tests change WIN.INI, the registry and the Start Menu of the
// prefix, which only the X run (test_setup_x11) owns.
bool XRun();
void CleanInstallState();

struct Child {
    PROCESS_INFORMATION pi = {};
    ~Child();
    // Starts exe with args; without the "OS" variable when asked.
    bool Start(const std::string &exe, const std::string &args = "", bool withoutOs = false);
    DWORD Pid() const { return pi.dwProcessId; }
    bool Running() const;
    DWORD WaitExit(DWORD ms); // exit code, or STILL_ACTIVE
};

// One dialog as the driver saw it.
struct Dialog {
    HWND wnd = nullptr;
    std::string title, text; // text: every child's text joined by "|"
    bool Has(const std::string &s) const { return title.find(s) != std::string::npos || text.find(s) != std::string::npos; }
    void Click(int id) const;
    void SetText(int id, const std::string &s) const;
    void Check(int id, bool on) const;
    std::string ItemText(int id) const;
};

struct Rule {
    std::string match;                         // substring of title or text
    std::function<void(const Dialog &)> act;
    int times = 1;                             // how often it may answer; -1 any
};

// Answers the dialogs of the child (and of any process but this one, as
// programs it starts show theirs) with the first matching rule until it exits
// (or the deadline); a dialog no rule matches is cancelled and recorded.
struct Script {
    std::vector<Rule> rules;
    std::vector<std::string> seen;             // title + ": " + text of each
    std::vector<std::string> unexpected;
    std::vector<int> used;                     // answers given per rule

private:
    bool Loop(DWORD pid, const std::function<bool()> &finished, DWORD deadlineMs);
public:
    bool Run(Child &child, DWORD deadlineMs = 120000);
    // Any process's dialogs (the uninstaller goes on in a copy of itself)
    // until finished() says so.
    bool RunAll(const std::function<bool()> &finished, DWORD deadlineMs = 120000);
    bool Saw(const std::string &s) const;
    std::string Log() const;
};

extern const char kDest[];      // "C:\\Program Files\\TESSEL"
extern const char kDownloads[];
extern const char kMail[];
// The answers of a plain installation into dest; extra rules go first.
Script InstallScript(const std::string &dest, std::vector<Rule> first = {});
// A plain installation from the distribution folder; true when it ran
// through without unexpected dialogs.
bool InstallPlain(std::string *log = nullptr);
// The Start Menu folder of the group.
std::string GroupFolder(const std::string &group);

// Another process that keeps a library loaded until released.
struct LibraryHolder {
    Child child;
    HANDLE release = nullptr;
    bool Hold(const std::string &library);
    ~LibraryHolder();
};

} // namespace setuptest

#endif
