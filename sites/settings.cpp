// Global settings: registry storage under SOFTWARE\Corvane\TESSEL\Settings,
// the shared cache, folder completion, and the registration steps that find
// the desktop client and its files.
#include "sitesint.h"
#include "sharedarea.h"
#include "engine.h"

#include <stdio.h>
#include <string.h>

namespace {

const char kConfigSection[] = FTPSITE_CONFIG_NAME;

void CopyText(char *dst, size_t size, const char *src)
{
    size_t n = strnlen(src, size - 1);
    memcpy(dst, src, n);
    dst[n] = 0;
}

// "%s%s" into a fixed field; FALSE (and the field untouched) when it would not fit.
BOOL JoinText(char *dst, size_t size, const char *a, const char *b)
{
    size_t la = strlen(a), lb = strlen(b);
    if (la + lb >= size)
        return FALSE;
    memmove(dst, a, la);
    memcpy(dst + la, b, lb + 1);
    return TRUE;
}

BOOL IsDir(const char *path)
{
    DWORD a = GetFileAttributesA(path);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

BOOL IsFile(const char *path)
{
    if (!path[0])
        return FALSE;
    DWORD a = GetFileAttributesA(path);
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

BOOL EndsInSeparator(const char *s)
{
    size_t n = strlen(s);
    return n && (s[n - 1] == '\\' || s[n - 1] == '/');
}

// The folder without its final separator, for existence checks and
// CreateDirectory ("C:\" stays as it is).
std::string WithoutSeparator(const char *dir)
{
    std::string s(dir);
    if (s.size() > 1 && EndsInSeparator(dir) && !(s.size() == 3 && s[1] == ':'))
        s.pop_back();
    return s;
}

// Makes dir exist (one level) and end in "\"; falls back to the system
// temporary folder when neither can be done.
void EnsureFolder(char dir[260], const char *systemTemp)
{
    std::string plain = WithoutSeparator(dir);
    if (!IsDir(plain.c_str()) && !CreateDirectoryA(plain.c_str(), nullptr) && !IsDir(plain.c_str()))
        CopyText(dir, 260, systemTemp);
    if (!EndsInSeparator(dir) && !JoinText(dir, 260, dir, "\\"))
        CopyText(dir, 260, systemTemp);
}

void SystemTemp(char out[260])
{
    DWORD n = GetTempPathA(260, out);
    if (n == 0 || n >= 260)
        strcpy(out, "C:\\");
    if (!EndsInSeparator(out) && strlen(out) < 259)
        strcat(out, "\\");
}

BOOL IsPlaceholder(const char *email) { return lstrcmpiA(email, TESSEL_PLACEHOLDER_EMAIL) == 0; }

// "MAILADDR" of the INI file's "_config_" section, unless it is the placeholder.
void IniMailAddress(const char *ini, char *out, size_t size)
{
    if (!ini[0])
        return;
    char buf[512] = "";
    GetPrivateProfileStringA(kConfigSection, "MAILADDR", "", buf, sizeof buf, ini);
    if (buf[0] && !IsPlaceholder(buf))
        CopyText(out, size, buf);
}

// First existing file of the search order, else topDir\name.
void SearchFile(const FTPINFO *info, const char *name, char out[260])
{
    char cand[MAX_PATH * 2];
    if (info->wsDir[0]) {
        snprintf(cand, sizeof cand, "%s%s", info->wsDir, name);
        if (IsFile(cand) && strlen(cand) < 260)
            return (void)strcpy(out, cand);
    }
    char dir[MAX_PATH];
    DWORD n = GetCurrentDirectoryA(sizeof dir, dir);
    if (n && n < sizeof dir) {
        snprintf(cand, sizeof cand, "%s%s%s", dir, EndsInSeparator(dir) ? "" : "\\", name);
        if (IsFile(cand) && strlen(cand) < 260)
            return (void)strcpy(out, cand);
    }
    if (info->topDir[0]) {
        snprintf(cand, sizeof cand, "%s\\%s", info->topDir, name);
        if (IsFile(cand) && strlen(cand) < 260)
            return (void)strcpy(out, cand);
    }
    n = GetWindowsDirectoryA(dir, sizeof dir);
    if (n && n < sizeof dir) {
        snprintf(cand, sizeof cand, "%s%s%s", dir, EndsInSeparator(dir) ? "" : "\\", name);
        if (IsFile(cand) && strlen(cand) < 260)
            return (void)strcpy(out, cand);
    }
    snprintf(cand, sizeof cand, "%s\\%s", info->topDir, name);
    CopyText(out, 260, cand);
}

BOOL WriteOrDelete(HKEY key, const char *name, const char *text)
{
    if (text[0])
        return RegWriteString(key, name, text);
    LONG rc = RegDeleteValueA(key, name);
    return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND;
}

} // namespace

void CompleteFolders(FTPINFO *info)
{
    char temp[260];
    SystemTemp(temp);
    if (!info->tmpDir[0] && !JoinText(info->tmpDir, sizeof info->tmpDir, temp, "TESSELE"))
        CopyText(info->tmpDir, sizeof info->tmpDir, temp);
    EnsureFolder(info->tmpDir, temp);
    char notify[300];
    snprintf(notify, sizeof notify, "%sNotify", info->tmpDir);
    if (!IsDir(notify))
        CreateDirectoryA(notify, nullptr);
    if (!info->dlDir[0])
        CopyText(info->dlDir, sizeof info->dlDir, info->tmpDir);
    EnsureFolder(info->dlDir, temp);
}

TESSEL_EXTERN_C HRESULT TESSEL_API TESSEL_GetFTPInfo(FTPINFO *info, BOOL useCache)
{
    if (!info || info->size < FTPINFO_SIZE)
        return E_INVALIDARG;
    uint32_t callerSize = info->size;
    FTPINFO rec;
    if (useCache && SharedSettingsGet(&rec)) {
        memcpy(info, &rec, sizeof rec);
        info->size = callerSize;
        // A process that only ever reads the cache still logs as the
        // settings say.
        SetDebugLog((rec.flags & FTPINFO_DEBUG_LOG) != 0, rec.debugFile);
        return S_OK;
    }

    memset(&rec, 0, sizeof rec);
    rec.size = FTPINFO_SIZE;
    BOOL incomplete = FALSE;
    DWORD machineFlags = 0;
    HKEY machine = nullptr, user = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, TESSEL_REG_SETTINGS, 0, KEY_READ, &machine) == ERROR_SUCCESS) {
        RegReadDword(machine, "Flags", &machineFlags);
        RegReadString(machine, "TopDir", rec.topDir, sizeof rec.topDir);
    } else {
        incomplete = TRUE;
    }
    HKEY perUser = nullptr;
    if (machineFlags & FTPINFO_MACHINE_WIDE) {
        rec.flags = machineFlags;
        perUser = machine;
        if (!perUser)
            incomplete = TRUE;
    } else {
        rec.flags = machineFlags & 0xFFFF0000u;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, TESSEL_REG_SETTINGS, 0, KEY_READ, &user) == ERROR_SUCCESS) {
            DWORD f = 0;
            if (RegReadDword(user, "Flags", &f))
                rec.flags |= f & 0xFFFFu;
            perUser = user;
        } else {
            incomplete = TRUE;
        }
    }
    RegReadString(perUser, "TmpDir", rec.tmpDir, sizeof rec.tmpDir);
    RegReadString(perUser, "DLDir", rec.dlDir, sizeof rec.dlDir);
    RegReadString(perUser, "WSDir", rec.wsDir, sizeof rec.wsDir);
    if (!RegReadString(perUser, "INIDir", rec.iniPath, sizeof rec.iniPath) && rec.topDir[0]) {
        char path[300];
        snprintf(path, sizeof path, "%s\\" TESSEL_INI_NAME, rec.topDir);
        CopyText(rec.iniPath, sizeof rec.iniPath, path);
    }
    RegReadString(perUser, "ExtFile", rec.extFile, sizeof rec.extFile);
    RegReadString(perUser, "HLPDir", rec.helpFile, sizeof rec.helpFile);
    if (!RegReadString(perUser, "EAddr", rec.email, sizeof rec.email))
        IniMailAddress(rec.iniPath, rec.email, sizeof rec.email);
    if (!RegReadString(perUser, "LogFile", rec.logFile, sizeof rec.logFile))
        strcpy(rec.logFile, TESSEL_DEFAULT_LOG);
    if (!RegReadString(perUser, "DebugFile", rec.debugFile, sizeof rec.debugFile))
        strcpy(rec.debugFile, TESSEL_DEFAULT_DEBUG);
    if (user)
        RegCloseKey(user);
    if (machine)
        RegCloseKey(machine);

    HRESULT hr = (incomplete || !rec.email[0]) ? S_FALSE : S_OK;
    CompleteFolders(&rec);
    SetDebugLog((rec.flags & FTPINFO_DEBUG_LOG) != 0, rec.debugFile);
    SharedSettingsPut(&rec);
    memcpy(info, &rec, sizeof rec);
    info->size = callerSize;
    return hr;
}

TESSEL_EXTERN_C HRESULT TESSEL_API TESSEL_SetFTPInfo(const FTPINFO *in)
{
    if (!in || in->size < FTPINFO_SIZE)
        return E_INVALIDARG;
    FTPINFO rec;
    memcpy(&rec, in, sizeof rec);
    rec.size = FTPINFO_SIZE;
    // Every field is used as a C string below, whatever the caller left in it.
    rec.topDir[259] = rec.tmpDir[259] = rec.dlDir[259] = rec.wsDir[259] = 0;
    rec.iniPath[259] = rec.extFile[259] = rec.helpFile[259] = rec.email[511] = 0;
    rec.logFile[259] = rec.debugFile[259] = 0;
    CompleteFolders(&rec);

    BOOL ok = TRUE;
    const BOOL machineWide = (rec.flags & FTPINFO_MACHINE_WIDE) != 0;
    if ((rec.flags & FTPINFO_INI_STORE) && rec.iniPath[0]) {
        WritePrivateProfileStringA(FTPSITE_CONFIG_NAME, "MAILADDR", rec.email, rec.iniPath);
        WritePrivateProfileStringA(nullptr, nullptr, nullptr, rec.iniPath);
    }
    HKEY machine = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, TESSEL_REG_SETTINGS, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &machine, nullptr) == ERROR_SUCCESS) {
        ok &= RegWriteDword(machine, "Flags", machineWide ? rec.flags : rec.flags & 0xFFFF0000u);
        ok &= RegWriteString(machine, "TopDir", rec.topDir);
    } else {
        ok = FALSE;
    }
    HKEY user = nullptr, perUser = nullptr;
    if (machineWide) {
        perUser = machine;
    } else if (RegCreateKeyExA(HKEY_CURRENT_USER, TESSEL_REG_SETTINGS, 0, nullptr, 0, KEY_ALL_ACCESS,
                               nullptr, &user, nullptr) == ERROR_SUCCESS) {
        perUser = user;
        ok &= RegWriteDword(user, "Flags", rec.flags & 0xFFFFu);
    }
    if (perUser) {
        ok &= RegWriteString(perUser, "TmpDir", rec.tmpDir);
        ok &= RegWriteString(perUser, "DLDir", rec.dlDir);
        ok &= WriteOrDelete(perUser, "WSDir", rec.wsDir);
        ok &= WriteOrDelete(perUser, "INIDir", rec.iniPath);
        ok &= WriteOrDelete(perUser, "ExtFile", rec.extFile);
        ok &= WriteOrDelete(perUser, "HLPDir", rec.helpFile);
        SetLastError(0);
        if (!WriteOrDelete(perUser, "EAddr", rec.email)) {
            ok = FALSE;
            char msg[128];
            snprintf(msg, sizeof msg, "Couldn't save e-mail address\nError=%ld", (long)GetLastError());
            MessageBoxA(nullptr, msg, LoadStr(10145, "Quillfold").c_str(), MB_OK | MB_ICONEXCLAMATION);
        }
        ok &= WriteOrDelete(perUser, "LogFile",
                            lstrcmpiA(rec.logFile, TESSEL_DEFAULT_LOG) == 0 ? "" : rec.logFile);
        ok &= WriteOrDelete(perUser, "DebugFile",
                            lstrcmpiA(rec.debugFile, TESSEL_DEFAULT_DEBUG) == 0 ? "" : rec.debugFile);
    } else {
        ok = FALSE;
    }
    if (user)
        RegCloseKey(user);
    if (machine)
        RegCloseKey(machine);
    SetDebugLog((rec.flags & FTPINFO_DEBUG_LOG) != 0, rec.debugFile);
    if (ok)
        SharedSettingsPut(&rec);
    return ok ? S_OK : E_FAIL;
}

void FindClientAndFiles(FTPINFO *info)
{
    const BOOL first = !(info->flags & (FTPINFO_INI_STORE | FTPINFO_CLIENT_FOUND)) && !info->iniPath[0] &&
                       !info->wsDir[0];
    if (first) {
        info->flags &= ~(FTPINFO_INI_STORE | FTPINFO_CLIENT_FOUND);
        info->wsDir[0] = 0;
    }
    char dir[260] = "";
    GetProfileStringA("TESSEL", "DIR", "", dir, sizeof dir);
    if (dir[0]) {
        size_t n = strlen(dir);
        if (n && dir[n - 1] == '\\')
            dir[n - 1] = 0;
        if (!first || IsDir(dir)) {
            if (JoinText(info->wsDir, sizeof info->wsDir, dir, "\\") && first)
                info->flags |= FTPINFO_CLIENT_FOUND;
        }
        if (!info->dlDir[0])
            GetProfileStringA("TESSEL", "DEFDIR", "", info->dlDir, sizeof info->dlDir);
        char cand[300];
        snprintf(cand, sizeof cand, "%s" TESSEL_INI_NAME, info->wsDir);
        if ((first || !IsFile(info->iniPath)) && strlen(cand) < sizeof info->iniPath)
            strcpy(info->iniPath, cand);
        if (IsFile(info->iniPath)) {
            if (first)
                info->flags |= FTPINFO_INI_STORE;
            if (!info->email[0])
                IniMailAddress(info->iniPath, info->email, sizeof info->email);
        }
        snprintf(cand, sizeof cand, "%s" TESSEL_EXT_NAME, info->wsDir);
        if (!IsFile(info->extFile) && strlen(cand) < sizeof info->extFile)
            strcpy(info->extFile, cand);
    }
    if (!IsFile(info->iniPath))
        SearchFile(info, TESSEL_INI_NAME, info->iniPath);
    if (!IsFile(info->extFile))
        SearchFile(info, TESSEL_EXT_NAME, info->extFile);
}

HRESULT RegisterSettings(const char *libraryFile)
{
    FTPINFO info;
    memset(&info, 0, sizeof info);
    info.size = sizeof info;
    TESSEL_GetFTPInfo(&info, FALSE);
    // The read filled in a download folder; whether one was stored decides
    // whether the client's default download folder is taken.
    HKEY key;
    char stored[260];
    BOOL hasDownload = FALSE;
    if (RegOpenKeyExA((info.flags & FTPINFO_MACHINE_WIDE) ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER,
                      TESSEL_REG_SETTINGS, 0, KEY_READ, &key) == ERROR_SUCCESS) {
        hasDownload = RegReadString(key, "DLDir", stored, sizeof stored);
        RegCloseKey(key);
    }
    if (!hasDownload)
        info.dlDir[0] = 0;
    CopyText(info.topDir, sizeof info.topDir, libraryFile);
    char *cut = strrchr(info.topDir, '\\');
    char *slash = strrchr(info.topDir, '/');
    if (slash > cut)
        cut = slash;
    if (cut)
        *cut = 0;
    FindClientAndFiles(&info);
    char help[300];
    snprintf(help, sizeof help, "%s\\" TESSEL_HELP_NAME, info.topDir);
    if (IsFile(help) && strlen(help) < sizeof info.helpFile)
        strcpy(info.helpFile, help);
    else
        info.helpFile[0] = 0;
    TESSEL_SetFTPInfo(&info);
    info.flags |= FTPINFO_INI_STORE;
    if (!info.email[0])
        strcpy(info.email, TESSEL_PLACEHOLDER_EMAIL);
    HRESULT hr = TESSEL_SetFTPInfo(&info);
    UnregisterSoundEvents();
    RegisterSoundEvents(info.topDir);
    return hr;
}

void UnregisterSettings(void)
{
    DeleteKeyTree(HKEY_CURRENT_USER, TESSEL_REG_ROOT);
    DeleteKeyTree(HKEY_LOCAL_MACHINE, TESSEL_REG_ROOT);
    SharedSettingsClear();
    UnregisterSoundEvents();
}
