// Site sections and the "FIREWALL" section of TESSEL.INI.
#include "siteini.h"
#include "sitesint.h"
#include "scramble.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

const SiteIniFlag kSiteIniFlags[10] = {
    {"PASVMODE", SITE_PASSIVE, 0},       {"PROREGET", SITE_AUTO_REGET, 0},
    {"HASH", SITE_STATUS_DLG, 1},        {"DLGCOMPLETE", SITE_DLG_COMPLETE, 0},
    {"DLGOW", SITE_CONFIRM_OVERWRITE, 0}, {"VRFYDEL", SITE_CONFIRM_DELETE, 0},
    {"PROMPT", SITE_PROMPT_NAME, 0},     {"RETAIN", SITE_RETAIN_TIME, 1},
    {"FORCELOW", SITE_FORCE_LOWER, 0},   {"CONVEXT", SITE_CONVERT_EXT, 0},
};

namespace {

// Default handed to the profile API to tell an absent key from an empty one.
const char kAbsent[] = "\x01\x02\x03";

// Longest scrambled password that fits a 255-character field, and then some:
// a longer stored value is refused rather than cut.
const size_t kPwdBuf = 1024;

void CopyText(char *dst, size_t size, const char *src)
{
    size_t n = strnlen(src, size - 1);
    memcpy(dst, src, n);
    dst[n] = 0;
}

} // namespace

BOOL IniReadText(const char *ini, const char *section, const char *key, char *out, size_t size)
{
    std::vector<char> buf(size < 8 ? 8 : size);
    GetPrivateProfileStringA(section, key, kAbsent, buf.data(), (DWORD)buf.size(), ini);
    if (strcmp(buf.data(), kAbsent) == 0)
        return FALSE;
    CopyText(out, size, buf.data());
    return TRUE;
}

long IniReadLong(const char *ini, const char *section, const char *key, long fallback)
{
    char buf[64];
    if (!IniReadText(ini, section, key, buf, sizeof buf))
        return fallback;
    char *end = nullptr;
    long long v = strtoll(buf, &end, 10);
    if (end == buf)
        return fallback;
    return (long)v;
}

BOOL IniWriteText(const char *ini, const char *section, const char *key, const char *text)
{
    BOOL ok = WritePrivateProfileStringA(section, key, text, ini);
    // Deleting a key that is not there is no failure.
    return ok || !text;
}

BOOL IniWriteLong(const char *ini, const char *section, const char *key, long value)
{
    char buf[24];
    snprintf(buf, sizeof buf, "%ld", value);
    return IniWriteText(ini, section, key, buf);
}

BOOL IniReadPassword(const char *ini, const char *section, const char *key, char *out, size_t size)
{
    out[0] = 0;
    std::vector<char> buf(kPwdBuf);
    if (!IniReadText(ini, section, key, buf.data(), buf.size()))
        return FALSE;
    if (strlen(buf.data()) >= kPwdBuf - 1)
        return FALSE; // cut by the buffer: not a password we stored
    return TesselDescrambleIni(buf.data(), out, size);
}

BOOL IniWritePassword(const char *ini, const char *section, const char *key, const char *user,
                      const char *password)
{
    if (!password[0])
        return IniWriteText(ini, section, key, nullptr);
    std::vector<char> buf(2 * strlen(password) + 40);
    if (!ScrambleIniPassword(user, password, buf.data(), buf.size())) {
        // Never in clear: without a digest there is nothing to store.
        IniWriteText(ini, section, key, nullptr);
        return FALSE;
    }
    return IniWriteText(ini, section, key, buf.data());
}

BOOL IniWriteFlag(const char *ini, const char *section, const char *key, BOOL set, BOOL reference)
{
    if ((set != 0) == (reference != 0))
        return IniWriteText(ini, section, key, nullptr);
    return IniWriteText(ini, section, key, set ? "1" : "0");
}

BOOL IniReadFlag(const char *ini, const char *section, const char *key, BOOL fallback)
{
    return IniReadLong(ini, section, key, fallback ? 1 : 0) != 0;
}

BOOL IniSectionHasKeys(const char *ini, const char *section)
{
    char buf[512];
    return GetPrivateProfileStringA(section, nullptr, "", buf, sizeof buf, ini) > 0;
}

void IniFlush(const char *ini) { WritePrivateProfileStringA(nullptr, nullptr, nullptr, ini); }

std::vector<std::string> IniSectionNames(const char *ini)
{
    std::vector<std::string> names;
    IniFlush(ini);
    HANDLE h = CreateFileA(ini, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return names;
    std::string text;
    char chunk[4096];
    DWORD got = 0;
    // Profile files are small; a huge one is read no further than 16 MB.
    while (ReadFile(h, chunk, sizeof chunk, &got, nullptr) && got > 0 && text.size() < (16u << 20))
        text.append(chunk, got);
    CloseHandle(h);
    size_t pos = 0;
    while (pos < text.size()) {
        size_t eol = text.find('\n', pos);
        if (eol == std::string::npos)
            eol = text.size();
        size_t p = pos;
        while (p < eol && (text[p] == ' ' || text[p] == '\t'))
            p++;
        if (p < eol && text[p] == '[') {
            size_t close = text.find(']', p + 1);
            if (close != std::string::npos && close < eol) {
                std::string name = text.substr(p + 1, close - p - 1);
                bool dup = false;
                for (const auto &n : names)
                    dup = dup || lstrcmpiA(n.c_str(), name.c_str()) == 0;
                if (!name.empty() && name.size() < 256 && !dup)
                    names.push_back(name);
            }
        }
        pos = eol + 1;
    }
    return names;
}

HRESULT IniReadSite(const char *ini, const char *sec, FTPSITEINFO *r, const FTPSITEINFO *tmpl, BOOL isConfig,
                    const char *email)
{
    char regetDir[256] = "";
    if (IniReadText(ini, sec, "REGETRDIR", regetDir, sizeof regetDir) && regetDir[0])
        r->flags |= SITE_HAS_RESUME;
    else
        r->flags &= ~SITE_HAS_RESUME;
    if (!IniSectionHasKeys(ini, sec))
        return E_FAIL;

    if (!IniReadText(ini, sec, "HOST", r->host, sizeof r->host))
        CopyText(r->host, sizeof r->host, sec);
    if (!IniReadText(ini, sec, "UID", r->user, sizeof r->user))
        strcpy(r->user, "anonymous");
    if (lstrcmpiA(r->user, "anonymous") == 0)
        r->flags |= SITE_ANONYMOUS;
    else
        r->flags &= ~SITE_ANONYMOUS;
    if (IniReadPassword(ini, sec, "PWD", r->password, sizeof r->password)) {
        r->flags |= SITE_SAVE_PASSWORD;
    } else {
        r->flags &= ~SITE_SAVE_PASSWORD;
        CopyText(r->password, sizeof r->password, (r->flags & SITE_ANONYMOUS) ? email : "");
    }
    r->hostType = IniReadLong(ini, sec, "TYPE", r->hostType);
    if (r->hostType < 6000 || r->hostType > 6051)
        r->hostType = 6000;
    if (!IniReadText(ini, sec, "DIR", r->remoteDir, sizeof r->remoteDir))
        r->remoteDir[0] = 0;
    if (!IniReadText(ini, sec, "ACT", r->account, sizeof r->account))
        r->account[0] = 0;
    r->timeOffset = IniReadLong(ini, sec, "TIMEOFFSET", r->timeOffset);
    r->timeout = IniReadLong(ini, sec, "TIMEOUT", r->timeout);
    if (!IniReadText(ini, sec, "RMASK", r->remoteMask, sizeof r->remoteMask))
        r->remoteMask[0] = 0;
    if (!IniReadText(ini, sec, "INITCMD", r->initCmd, sizeof r->initCmd))
        r->initCmd[0] = 0;
    r->port = IniReadLong(ini, sec, "PORT", r->port);
    for (const auto &f : kSiteIniFlags) {
        BOOL fallback = tmpl ? (tmpl->flags & f.bit) != 0 : f.readDefault;
        if (IniReadFlag(ini, sec, f.key, fallback))
            r->flags |= f.bit;
        else
            r->flags &= ~f.bit;
    }
    r->retries = IniReadLong(ini, sec, "RETRIES", r->retries);
    if (!IniReadText(ini, sec, "COMMENT", r->comment, sizeof r->comment))
        r->comment[0] = 0;
    IniReadText(ini, sec, "ICONFILE", r->iconFile, sizeof r->iconFile);
    r->iconIndex = IniReadLong(ini, sec, "ICONINDEX", r->iconIndex);
    r->conGood = IniReadLong(ini, sec, "CGOOD", 0);
    r->conFail = IniReadLong(ini, sec, "CFAIL", 0);
    char ctime[64];
    if (IniReadText(ini, sec, "CTIME", ctime, sizeof ctime)) {
        char *end = nullptr;
        long long lo = strtoll(ctime, &end, 10);
        long long hi = strtoll(end, nullptr, 10);
        FILETIME ft = {(DWORD)lo, (DWORD)hi};
        SYSTEMTIME st;
        if (FileTimeToSystemTime(&ft, &st))
            r->prevCon = st;
    }
    if (IniReadLong(ini, sec, "FIREWALL", 0) == 1)
        r->flags |= SITE_USE_FIREWALL;
    else
        r->flags &= ~SITE_USE_FIREWALL;

    // The one firewall of the file.
    const char *fw = INI_FIREWALL_SECTION;
    if (isConfig || (r->flags & SITE_USE_FIREWALL)) {
        if (isConfig) {
            r->fwType = IniReadLong(ini, fw, "FIRETYPE", -1) + 1;
            if (r->fwType > 1)
                r->flags |= SITE_USE_FIREWALL;
        } else {
            r->fwType = IniReadLong(ini, fw, "FIRETYPE", r->fwType - 1) + 1;
        }
        IniReadText(ini, fw, "HOST", r->fwHost, sizeof r->fwHost);
        IniReadText(ini, fw, "UID", r->fwUser, sizeof r->fwUser);
        r->fwPort = IniReadLong(ini, fw, "PORT", r->fwPort);
        std::vector<char> raw(kPwdBuf);
        if (IniReadText(ini, fw, "PWD", raw.data(), raw.size())) {
            BOOL ok = TRUE;
            if (strcmp(raw.data(), r->fwPassword) != 0)
                ok = IniReadPassword(ini, fw, "PWD", r->fwPassword, sizeof r->fwPassword);
            if (ok)
                r->flags |= SITE_SAVE_FWPASS;
            else
                r->flags &= ~SITE_SAVE_FWPASS;
        } else {
            r->flags &= ~SITE_SAVE_FWPASS;
        }
    }
    return S_OK;
}

HRESULT IniWriteSite(const char *ini, const FTPSITEINFO *r, const FTPSITEINFO *defaults, BOOL isConfig)
{
    const char *sec = r->name;
    BOOL ok = TRUE;
    auto text = [&](const char *key, const char *value, bool write) {
        ok &= IniWriteText(ini, sec, key, write ? value : nullptr);
    };
    auto number = [&](const char *key, long value, bool write) {
        if (write)
            ok &= IniWriteLong(ini, sec, key, value);
        else
            ok &= IniWriteText(ini, sec, key, nullptr);
    };
    // Against defaults a key is left out where the value equals them (the
    // reader then takes the template's), and written where it differs, even
    // when it is zero or the usual value.  Texts whose reader falls back to
    // empty rather than to the template are written whenever nonempty.
    auto stored = [&](long v, long def, bool plainRule) { return defaults ? v != def : plainRule; };
    if (!isConfig)
        text("HOST", r->host, true);
    const char *uid = (r->flags & SITE_ANONYMOUS) ? "anonymous" : r->user;
    text("UID", uid, uid[0] != 0);
    if ((r->flags & SITE_SAVE_PASSWORD) && r->password[0])
        ok &= IniWritePassword(ini, sec, "PWD", uid, r->password);
    else
        text("PWD", nullptr, false);
    number("TYPE", r->hostType, stored(r->hostType, defaults ? defaults->hostType : 0, r->hostType > 6000));
    text("DIR", r->remoteDir, r->remoteDir[0] != 0);
    text("ACT", r->account, r->account[0] != 0);
    number("TIMEOFFSET", r->timeOffset, stored(r->timeOffset, defaults ? defaults->timeOffset : 0, r->timeOffset != 0));
    number("TIMEOUT", r->timeout, stored(r->timeout, defaults ? defaults->timeout : 0, r->timeout != 0));
    text("RMASK", r->remoteMask, r->remoteMask[0] != 0);
    text("INITCMD", r->initCmd, r->initCmd[0] != 0);
    number("PORT", r->port, stored(r->port, defaults ? defaults->port : 0, r->port != 0 && r->port != 21));
    for (const auto &f : kSiteIniFlags) {
        // Without defaults the reference is what a reader without a template
        // assumes, so that a cleared "HASH" or "RETAIN" survives the trip.
        BOOL reference = defaults ? (defaults->flags & f.bit) != 0 : f.readDefault;
        ok &= IniWriteFlag(ini, sec, f.key, (r->flags & f.bit) != 0, reference);
    }
    number("RETRIES", r->retries, stored(r->retries, defaults ? defaults->retries : 0, r->retries != 0));
    text("COMMENT", r->comment, r->comment[0] != 0);
    text("ICONFILE", r->iconFile, defaults ? strcmp(r->iconFile, defaults->iconFile) != 0 : r->iconFile[0] != 0);
    number("ICONINDEX", r->iconIndex, stored(r->iconIndex, defaults ? defaults->iconIndex : 0, r->iconIndex != 0));
    number("CGOOD", r->conGood, r->conGood != 0);
    number("CFAIL", r->conFail, r->conFail != 0);
    FILETIME ft;
    if (r->prevCon.wYear != 0 && SystemTimeToFileTime(&r->prevCon, &ft)) {
        char buf[48];
        snprintf(buf, sizeof buf, "%ld %ld", (long)ft.dwLowDateTime, (long)ft.dwHighDateTime);
        text("CTIME", buf, true);
    } else {
        text("CTIME", nullptr, false);
    }
    text("FIREWALL", "1", (r->flags & SITE_USE_FIREWALL) != 0);

    // The "FIREWALL" section is shared by every site of the file: only the
    // defaults and the sites that use it may change it, or saving any site
    // without a firewall would wipe the one the others rely on.
    if (isConfig || (r->flags & SITE_USE_FIREWALL)) {
        const char *fw = INI_FIREWALL_SECTION;
        if (r->fwType == 0 || r->fwType == SITE_FWTYPE_SAME)
            ok &= IniWriteText(ini, fw, "FIRETYPE", nullptr);
        else
            ok &= IniWriteLong(ini, fw, "FIRETYPE", r->fwType - 1);
        ok &= IniWriteText(ini, fw, "HOST", r->fwHost);
        ok &= IniWriteText(ini, fw, "UID", r->fwUser[0] ? r->fwUser : nullptr);
        if ((r->flags & SITE_SAVE_FWPASS) && r->fwPassword[0])
            ok &= IniWritePassword(ini, fw, "PWD", r->fwUser, r->fwPassword);
        else
            ok &= IniWriteText(ini, fw, "PWD", nullptr);
        if (r->fwPort != 0)
            ok &= IniWriteLong(ini, fw, "PORT", r->fwPort);
        else
            ok &= IniWriteText(ini, fw, "PORT", nullptr);
    }
    IniFlush(ini);
    return ok ? S_OK : E_FAIL;
}
