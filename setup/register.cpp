// Registration: the library's own entry points (in this process for the
// 32-bit library, through the system's 64-bit regsvr32 for the one in
// "x64"), and the "ftp" URL handler.
#include "setup.h"

#include <stdio.h>

namespace {

bool SetText(HKEY root, const char *path, const char *value, const std::string &text)
{
    HKEY key;
    if (RegCreateKeyExA(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return false;
    LONG rc = RegSetValueExA(key, value, 0, REG_SZ, (const BYTE *)text.c_str(), (DWORD)text.size() + 1);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS;
}

// Waits for a process while keeping this thread's windows alive.
DWORD WaitPumping(HANDLE process)
{
    for (;;) {
        DWORD w = MsgWaitForMultipleObjects(1, &process, FALSE, INFINITE, QS_ALLINPUT);
        if (w == WAIT_OBJECT_0)
            break;
        MSG m;
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&m);
            DispatchMessageA(&m);
        }
    }
    DWORD code = 1;
    GetExitCodeProcess(process, &code);
    return code;
}

typedef BOOL(WINAPI *Wow64DisableFn)(PVOID *);
typedef BOOL(WINAPI *Wow64RevertFn)(PVOID);

// Runs the 64-bit regsvr32; the file system redirection of 32-bit
// processes would otherwise start the 32-bit one.
bool RunRegsvr64(const std::string &args)
{
    char windir[MAX_PATH];
    UINT n = GetSystemWindowsDirectoryA(windir, sizeof windir);
    if (!n || n >= sizeof windir)
        return false;
    HMODULE k32 = GetModuleHandleA("kernel32.dll");
    Wow64DisableFn disable = (Wow64DisableFn)(void *)GetProcAddress(k32, "Wow64DisableWow64FsRedirection");
    Wow64RevertFn revert = (Wow64RevertFn)(void *)GetProcAddress(k32, "Wow64RevertWow64FsRedirection");
    std::string exe = std::string(windir) + "\\Sysnative\\regsvr32.exe";
    PVOID old = nullptr;
    bool disabled = false;
    if (!FileExists(exe) && disable && disable(&old)) {
        disabled = true;
        exe = std::string(windir) + "\\System32\\regsvr32.exe";
    }
    std::string cmd = "\"" + exe + "\" " + args;
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    BOOL started = CreateProcessA(exe.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi);
    if (disabled && revert)
        revert(old);
    if (!started)
        return false;
    CloseHandle(pi.hThread);
    DWORD code = WaitPumping(pi.hProcess);
    CloseHandle(pi.hProcess);
    return code == 0;
}

} // namespace

bool CallServerEntry(const std::string &library, const char *entry)
{
    HMODULE lib = LoadLibraryExA(library.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (!lib)
        return false;
    typedef HRESULT(__stdcall * EntryFn)(void);
    EntryFn fn = (EntryFn)(void *)GetProcAddress(lib, entry);
    HRESULT hr = fn ? fn() : E_FAIL;
    FreeLibrary(lib);
    return fn && SUCCEEDED(hr);
}

bool IsWow64()
{
    typedef BOOL(WINAPI * IsWow64Fn)(HANDLE, PBOOL);
    IsWow64Fn fn = (IsWow64Fn)(void *)GetProcAddress(GetModuleHandleA("kernel32.dll"), "IsWow64Process");
    BOOL wow = FALSE;
    return fn && fn(GetCurrentProcess(), &wow) && wow;
}

bool RegisterX64(const InstallState &st, bool unregister)
{
    std::string lib = JoinPath(JoinPath(st.destDir, SETUP_X64_FOLDER), SETUP_LIBRARY);
    if (!FileExists(lib))
        return false;
    return RunRegsvr64(std::string(unregister ? "/u " : "") + "/s \"" + lib + "\"");
}

bool RegisterFtpHandler(const std::string &clientPath)
{
    char icon[MAX_PATH + 8];
    snprintf(icon, sizeof icon, "%s,0", clientPath.c_str());
    if (!SetText(HKEY_CLASSES_ROOT, "ftp\\DefaultIcon", nullptr, icon))
        return false;
    // The URL is quoted too: Explorer passes it as it stands, and one with a
    // blank in it would otherwise reach the client as two arguments.
    SetText(HKEY_CLASSES_ROOT, "ftp\\shell\\open\\command", nullptr, "\"" + clientPath + "\" \"%1\"");
    HKEY key;
    if (RegCreateKeyExA(HKEY_CLASSES_ROOT, "ftp\\shell\\open", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) ==
        ERROR_SUCCESS) {
        DWORD one = 1;
        RegSetValueExA(key, "EditFlags", 0, REG_BINARY, (const BYTE *)&one, sizeof one);
        RegCloseKey(key);
    }
    return true;
}
