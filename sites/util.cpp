// Registry helpers, MD5 through the CryptoAPI, string resources, debug log
// lines and the hooks that tie the store to the shell extension.
#include "sitesint.h"
#include "engine.h"
#include "scramble.h"

#include <wincrypt.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>

BOOL RegReadString(HKEY key, const char *name, char *out, size_t size)
{
    DWORD type = 0, len = 0;
    if (!key || RegQueryValueExA(key, name, nullptr, &type, nullptr, &len) != ERROR_SUCCESS ||
        type != REG_SZ || len == 0)
        return FALSE;
    // Read the whole value, however long, then cut it to the field.
    std::vector<char> buf(len + 2, 0);
    DWORD got = len;
    if (RegQueryValueExA(key, name, nullptr, &type, (BYTE *)buf.data(), &got) != ERROR_SUCCESS ||
        type != REG_SZ)
        return FALSE;
    if (size) {
        size_t n = strnlen(buf.data(), got);
        if (n >= size)
            n = size - 1;
        memcpy(out, buf.data(), n);
        out[n] = 0;
    }
    return TRUE;
}

BOOL RegReadDword(HKEY key, const char *name, DWORD *out)
{
    DWORD type = 0, value = 0, len = sizeof value;
    if (!key || RegQueryValueExA(key, name, nullptr, &type, (BYTE *)&value, &len) != ERROR_SUCCESS ||
        type != REG_DWORD || len != sizeof value)
        return FALSE;
    *out = value;
    return TRUE;
}

BOOL RegWriteString(HKEY key, const char *name, const char *text)
{
    return RegSetValueExA(key, name, 0, REG_SZ, (const BYTE *)text, (DWORD)strlen(text) + 1) ==
           ERROR_SUCCESS;
}

BOOL RegWriteDword(HKEY key, const char *name, DWORD value)
{
    return RegSetValueExA(key, name, 0, REG_DWORD, (const BYTE *)&value, sizeof value) == ERROR_SUCCESS;
}

LONG DeleteKeyTree(HKEY parent, const char *path)
{
    HKEY key;
    LONG rc = RegOpenKeyExA(parent, path, 0, KEY_ALL_ACCESS, &key);
    if (rc != ERROR_SUCCESS)
        return rc;
    char sub[256];
    for (;;) {
        DWORD len = sizeof sub;
        if (RegEnumKeyExA(key, 0, sub, &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        rc = DeleteKeyTree(key, sub);
        if (rc != ERROR_SUCCESS)
            break;
    }
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS)
        return rc;
    return RegDeleteKeyA(parent, path);
}

BOOL ScrambleIniPassword(const char *user, const char *password, char *out, size_t size)
{
    if (size)
        out[0] = 0;
    std::vector<char> input(strlen(user) + strlen(password) + 16);
    size_t n = TesselScrambleDigestInput(user, password, input.data(), input.size());
    char digest[33];
    BOOL ok = n && Md5Hex(input.data(), n, digest) && TesselScrambleIni(password, digest, out, size) != 0;
    // The digest input holds the password in clear.
    SecureZeroMemory(input.data(), input.size());
    return ok;
}

namespace {
void (*g_rootRefresh)(void);
int (*g_openConnections)(void);
} // namespace

void SetRootRefreshHook(void (*hook)(void)) { g_rootRefresh = hook; }
void NotifyRootRefresh(void)
{
    if (g_rootRefresh)
        g_rootRefresh();
}
void SetOpenConnectionsHook(int (*hook)(void)) { g_openConnections = hook; }
int OpenConnectionCount(void) { return g_openConnections ? g_openConnections() : 0; }

std::string LoadStr(UINT id, const char *fallback)
{
    char buf[1024];
    int n = LoadStringA(TesselModule(), id, buf, sizeof buf);
    return n > 0 ? std::string(buf, (size_t)n) : std::string(fallback);
}

std::string FormatStr(UINT id, const char *fallback, ...)
{
    std::string fmt = LoadStr(id, fallback);
    va_list ap;
    va_start(ap, fallback);
    char *msg = nullptr;
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ALLOCATE_BUFFER, fmt.c_str(), 0, 0,
                             (LPSTR)&msg, 0, &ap);
    va_end(ap);
    std::string out = n && msg ? std::string(msg, n) : fmt;
    if (msg)
        LocalFree(msg);
    return out;
}

void DebugLogLine(const char *fmt, ...)
{
    if (!DebugLogEnabled())
        return;
    char buf[1024];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    TESSEL_AddTextToWindow(nullptr, buf);
}
