// Site profile store: reading, writing, enumerating, deleting and bulk
// updating profiles in the registry or in TESSEL.INI.
#include "sitesint.h"
#include "siteini.h"
#include "scramble.h"

#include <objbase.h>
#include <stdio.h>
#include <string.h>

namespace {

const DWORD kFindStamp = 0x77340001;

struct FTPSITEFIND {
    FTPINFO settings;
    std::vector<std::string> *names; // INI section names, or none
    DWORD stamp;
    char subkey[512];
    HKEY sites;                       // open Sites key while enumerating the registry
    DWORD index;
    size_t pos;
};

void CopyText(char *dst, size_t size, const char *src)
{
    size_t n = strnlen(src, size - 1);
    memcpy(dst, src, n);
    dst[n] = 0;
}

HRESULT FetchSettings(FTPINFO *s)
{
    memset(s, 0, sizeof *s);
    s->size = sizeof *s;
    return TESSEL_GetFTPInfo(s, TRUE);
}

BOOL IsConfigName(const char *name) { return lstrcmpiA(name, FTPSITE_CONFIG_NAME) == 0; }

std::string SiteKeyPath(const char *name) { return std::string(TESSEL_REG_SITES "\\") + name; }

// Every text field terminated, whatever the caller left in it.
void TerminateFields(FTPSITEINFO *r)
{
    r->name[255] = r->host[255] = r->comment[255] = r->user[255] = r->account[255] = 0;
    r->password[255] = r->remoteDir[259] = r->localMask[31] = r->remoteMask[31] = 0;
    r->initCmd[255] = r->fwHost[255] = r->fwUser[255] = r->fwPassword[255] = r->iconFile[259] = 0;
}

void StartRecord(FTPSITEINFO *work, const char *name, const FTPSITEINFO *tmpl, const FTPINFO *s)
{
    if (tmpl) {
        memcpy(work, tmpl, sizeof *work);
        work->size = FTPSITEINFO_SIZE;
        TerminateFields(work);
        CopyText(work->name, sizeof work->name, name);
    } else {
        DefaultSiteProfile(work, name, s);
    }
}

// Registry form of a scrambled password; absent when too long for the field.
// Leaves out untouched when the value does not count.
BOOL ReadRegPassword(HKEY key, const char *value, char *out, size_t size)
{
    unsigned char data[FTPSITEINFO_SIZE];
    char clear[256];
    DWORD type = 0, len = (DWORD)size;
    if (RegQueryValueExA(key, value, nullptr, &type, data, &len) != ERROR_SUCCESS || type != REG_SZ || len == 0)
        return FALSE;
    BOOL ok = size <= sizeof clear && TesselDescrambleReg(data, len, clear, size);
    if (ok)
        memcpy(out, clear, size);
    SecureZeroMemory(data, sizeof data);
    SecureZeroMemory(clear, sizeof clear);
    return ok;
}

BOOL WriteRegPassword(HKEY key, const char *value, const char *password)
{
    unsigned char data[260];
    size_t n = TesselScrambleReg(password, data, sizeof data);
    BOOL ok = n && RegSetValueExA(key, value, 0, REG_SZ, data, (DWORD)n) == ERROR_SUCCESS;
    SecureZeroMemory(data, sizeof data);
    return ok;
}

HRESULT ReadRegistryProfile(const char *name, FTPSITEINFO *work, const FTPSITEINFO *tmpl, const FTPINFO *s)
{
    HKEY hives[2] = {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE};
    int first = (s->flags & FTPINFO_MACHINE_WIDE) ? 1 : 0;
    std::string path = SiteKeyPath(name);
    for (int h = first; h < 2; h++) {
        StartRecord(work, name, tmpl, s);
        HKEY key;
        if (RegOpenKeyExA(hives[h], path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
            continue;
        DWORD v;
        if (RegReadDword(key, "Flags", &v))
            work->flags = tmpl ? (work->flags | v) : v;
        if (RegReadDword(key, "FlagN", &v))
            work->flags &= ~v;
        if (hives[h] == HKEY_LOCAL_MACHINE)
            work->flags |= SITE_MACHINE_HIVE;
        else
            work->flags &= ~SITE_MACHINE_HIVE;
        char reget[256] = "";
        if (RegReadString(key, "REGETRDIR", reget, sizeof reget) && reget[0])
            work->flags |= SITE_HAS_RESUME;
        else
            work->flags &= ~SITE_HAS_RESUME;
        RegReadString(key, "Addr", work->host, sizeof work->host);
        RegReadString(key, "Comment", work->comment, sizeof work->comment);
        work->user[0] = work->password[0] = 0;
        if (!(work->flags & SITE_ANONYMOUS)) {
            if (!RegReadString(key, "UID", work->user, sizeof work->user) || !work->user[0])
                work->flags |= SITE_ANONYMOUS;
            RegReadString(key, "Account", work->account, sizeof work->account);
            if (work->flags & SITE_SAVE_PASSWORD)
                ReadRegPassword(key, "Passwd", work->password, sizeof work->password);
        }
        if (work->flags & SITE_ANONYMOUS) {
            strcpy(work->user, "anonymous");
            CopyText(work->password, sizeof work->password, s->email);
        }
        RegReadString(key, "Dir", work->remoteDir, sizeof work->remoteDir);
        RegReadString(key, "LMask", work->localMask, sizeof work->localMask);
        RegReadString(key, "RMask", work->remoteMask, sizeof work->remoteMask);
        RegReadString(key, "Cmd", work->initCmd, sizeof work->initCmd);
        if (RegReadDword(key, "FType", &v))
            work->fwType = (int32_t)v;
        if (work->fwType != 0) {
            RegReadString(key, "FHost", work->fwHost, sizeof work->fwHost);
            RegReadString(key, "FUser", work->fwUser, sizeof work->fwUser);
            if (work->flags & SITE_SAVE_FWPASS)
                ReadRegPassword(key, "FPswd", work->fwPassword, sizeof work->fwPassword);
            if (RegReadDword(key, "FPort", &v))
                work->fwPort = (int32_t)v;
        }
        RegReadString(key, "IconFile", work->iconFile, sizeof work->iconFile);
        if (RegReadDword(key, "IconIndex", &v))
            work->iconIndex = (int32_t)v;
        if (RegReadDword(key, "HostType", &v))
            work->hostType = (int32_t)v;
        if (work->hostType < 6000)
            work->hostType = 6000;
        if (RegReadDword(key, "TimeOffset", &v))
            work->timeOffset = (int32_t)v;
        if (RegReadDword(key, "ConRetry", &v))
            work->retries = (int32_t)v;
        if (RegReadDword(key, "Timeout", &v))
            work->timeout = (int32_t)v;
        if (work->timeout == 0)
            work->timeout = 65;
        if (RegReadDword(key, "Port", &v))
            work->port = (int32_t)v;
        if (RegReadDword(key, "ConGood", &v))
            work->conGood = (int32_t)v;
        if (RegReadDword(key, "ConFail", &v))
            work->conFail = (int32_t)v;
        SYSTEMTIME st;
        DWORD type = 0, len = sizeof st;
        if (RegQueryValueExA(key, "PrevCon", nullptr, &type, (BYTE *)&st, &len) == ERROR_SUCCESS &&
            type == REG_BINARY && len == sizeof st)
            work->prevCon = st;
        else
            memset(&work->prevCon, 0, sizeof work->prevCon);
        RegCloseKey(key);
        return S_OK;
    }
    return E_FAIL;
}

const char *const kProfileValues[] = {
    "Flags", "FlagN", "Addr", "Comment", "UID", "Account", "Passwd", "Dir", "LMask",
    "RMask", "Cmd", "FType", "FHost", "FUser", "FPswd", "FPort", "IconFile", "IconIndex",
    "HostType", "TimeOffset", "ConRetry", "Timeout", "Port", "ConGood", "ConFail", "PrevCon",
};

HRESULT WriteRegistryProfile(const FTPSITEINFO *orig, const FTPSITEINFO *defaults, const FTPINFO *s)
{
    // Values equal to the defaults are left out and read back from them.  A
    // value that differs is stored even when it is empty, zero or the usual
    // one, or the reader would take the defaults' value instead.
    FTPSITEINFO *w = new FTPSITEINFO;
    memcpy(w, orig, sizeof *w);
    auto diffText = [&](const char *field, const char *def) { return defaults && strcmp(field, def) != 0; };
    auto diffNum = [&](int32_t v, int32_t def) { return defaults && v != def; };
    const bool dComment = defaults && diffText(orig->comment, defaults->comment);
    const bool dAccount = defaults && diffText(orig->account, defaults->account);
    const bool dRMask = defaults && diffText(orig->remoteMask, defaults->remoteMask);
    const bool dCmd = defaults && diffText(orig->initCmd, defaults->initCmd);
    const bool dIcon = defaults && diffText(orig->iconFile, defaults->iconFile);
    const bool dIconIndex = defaults && diffNum(orig->iconIndex, defaults->iconIndex);
    const bool dHostType = defaults && diffNum(orig->hostType, defaults->hostType);
    const bool dOffset = defaults && diffNum(orig->timeOffset, defaults->timeOffset);
    const bool dRetries = defaults && diffNum(orig->retries, defaults->retries);
    const bool dTimeout = defaults && diffNum(orig->timeout, defaults->timeout);
    const bool dPort = defaults && diffNum(orig->port, defaults->port);
    const bool dFwHost = defaults && diffText(orig->fwHost, defaults->fwHost);
    const bool dFwUser = defaults && diffText(orig->fwUser, defaults->fwUser);
    const bool dFwPass = defaults && diffText(orig->fwPassword, defaults->fwPassword);
    const bool dFwPort = defaults && diffNum(orig->fwPort, defaults->fwPort);
    if (defaults) {
        if (!dComment)
            w->comment[0] = 0;
        if (!dAccount)
            w->account[0] = 0;
        if (!dRMask)
            w->remoteMask[0] = 0;
        if (!dCmd)
            w->initCmd[0] = 0;
        if (!dIcon)
            w->iconFile[0] = 0;
        if (w->fwType == defaults->fwType)
            w->fwType = SITE_FWTYPE_SAME;
        if (!dFwHost)
            w->fwHost[0] = 0;
        if (!dFwUser)
            w->fwUser[0] = 0;
        if (!dFwPass)
            w->fwPassword[0] = 0;
    }
    HKEY hive;
    if (s->flags & FTPINFO_MACHINE_WIDE) {
        hive = HKEY_LOCAL_MACHINE;
    } else {
        if (!(s->flags & FTPINFO_MACHINE_PROFILE))
            w->flags &= ~SITE_MACHINE_HIVE;
        hive = (w->flags & SITE_MACHINE_HIVE) ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
    }
    HKEY key;
    if (RegCreateKeyExA(hive, SiteKeyPath(w->name).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
        SecureZeroMemory(w, sizeof *w);
        delete w;
        return E_FAIL;
    }
    for (const char *v : kProfileValues)
        RegDeleteValueA(key, v);

    BOOL ok = TRUE;
    auto str = [&](const char *name, const char *text, bool write) {
        if (write)
            ok &= RegWriteString(key, name, text);
    };
    auto dword = [&](const char *name, int32_t value, bool write) {
        if (write)
            ok &= RegWriteDword(key, name, (DWORD)value);
    };
    const BOOL anon = (w->flags & SITE_ANONYMOUS) != 0;
    // Whether the profile uses a firewall, also when its type equals the defaults'.
    const bool fw = orig->fwType > 0 && orig->fwType < SITE_FWTYPE_SAME;
    if (defaults) {
        DWORD low = w->flags & 0xFFFFu, defLow = defaults->flags & 0xFFFFu;
        DWORD flags = (w->flags & 0xFFFF0000u) | (low & ~defLow);
        dword("Flags", (int32_t)flags, flags != 0);
        dword("FlagN", (int32_t)(~low & defLow), (~low & defLow) != 0);
    } else {
        // Written even when zero: a reader without a template would
        // otherwise start from the built-in flags.
        dword("Flags", (int32_t)w->flags, true);
    }
    str("Addr", w->host, w->host[0] != 0);
    str("Comment", w->comment, w->comment[0] || dComment);
    str("UID", w->user, !anon && w->user[0]);
    str("Account", w->account, !anon && (w->account[0] || dAccount));
    if ((w->flags & SITE_SAVE_PASSWORD) && w->password[0])
        ok &= WriteRegPassword(key, "Passwd", w->password);
    str("Dir", w->remoteDir, w->remoteDir[0] != 0);
    str("LMask", w->localMask, w->localMask[0] != 0);
    str("RMask", w->remoteMask, w->remoteMask[0] || dRMask);
    str("Cmd", w->initCmd, w->initCmd[0] || dCmd);
    dword("FType", w->fwType, w->fwType != SITE_FWTYPE_SAME);
    str("FHost", w->fwHost, fw && (w->fwHost[0] || dFwHost));
    str("FUser", w->fwUser, fw && (w->fwUser[0] || dFwUser));
    if (fw && (w->flags & SITE_SAVE_FWPASS) && (w->fwPassword[0] || dFwPass))
        ok &= WriteRegPassword(key, "FPswd", w->fwPassword);
    dword("FPort", orig->fwPort, fw && ((!defaults && orig->fwPort != 0) || dFwPort));
    str("IconFile", w->iconFile, w->iconFile[0] || dIcon);
    dword("IconIndex", orig->iconIndex, w->iconFile[0] || dIcon || dIconIndex);
    dword("HostType", orig->hostType, orig->hostType > 6000 ? (!defaults || dHostType) : dHostType);
    dword("TimeOffset", orig->timeOffset, defaults ? dOffset : orig->timeOffset != 0);
    dword("ConRetry", orig->retries, defaults ? dRetries : orig->retries != 0);
    dword("Timeout", orig->timeout, defaults ? dTimeout : (orig->timeout != 0 && orig->timeout != 65));
    dword("Port", orig->port, defaults ? dPort : (orig->port != 0 && orig->port != 21));
    dword("ConGood", w->conGood, w->conGood != 0);
    dword("ConFail", w->conFail, w->conFail != 0);
    ok &= RegSetValueExA(key, "PrevCon", 0, REG_BINARY, (const BYTE *)&w->prevCon, sizeof w->prevCon) ==
          ERROR_SUCCESS;
    RegCloseKey(key);
    SecureZeroMemory(w, sizeof *w);
    delete w;
    return ok ? S_OK : E_FAIL;
}

} // namespace

HRESULT CheckSiteName(const char *name, BOOL iniMode)
{
    if (!name || !name[0])
        return E_INVALIDARG;
    size_t n = strnlen(name, 256);
    if (n >= 256)
        return E_INVALIDARG;
    for (size_t i = 0; i < n; i++) {
        unsigned char c = (unsigned char)name[i];
        if (!iniMode && c == '\\')
            return E_INVALIDARG;
        if (iniMode && (c == ']' || c < 0x20))
            return E_INVALIDARG;
    }
    return S_OK;
}

void DefaultSiteProfile(FTPSITEINFO *r, const char *name, const FTPINFO *s)
{
    memset(r, 0, sizeof *r);
    r->size = FTPSITEINFO_SIZE;
    r->hostType = 6000;
    r->port = 21;
    r->fwPort = 21;
    r->flags = SITE_DEFAULT_FLAGS;
    if (s)
        CopyText(r->password, sizeof r->password, s->email);
    CopyText(r->name, sizeof r->name, name ? name : "");
}

HRESULT ReadSiteProfile(const char *name, FTPSITEINFO *rec, const FTPSITEINFO *tmpl)
{
    if (!rec || rec->size < FTPSITEINFO_SIZE)
        return E_INVALIDARG;
    FTPINFO s;
    HRESULT hr = FetchSettings(&s);
    if (FAILED(hr))
        return hr;
    const BOOL ini = (s.flags & FTPINFO_INI_STORE) != 0;
    FTPSITEINFO work;
    StartRecord(&work, name ? name : "", tmpl, &s);
    hr = CheckSiteName(name, ini);
    if (SUCCEEDED(hr)) {
        if (ini)
            hr = s.iniPath[0] ? IniReadSite(s.iniPath, name, &work, tmpl, IsConfigName(name), s.email)
                              : E_INVALIDARG;
        else
            hr = ReadRegistryProfile(name, &work, tmpl, &s);
        if (FAILED(hr))
            StartRecord(&work, name, tmpl, &s);
    }
    if (work.port == 0)
        work.port = 21;
    if (work.fwPort == 0)
        work.fwPort = 21;
    uint32_t callerSize = rec->size;
    memset(rec, 0, callerSize);
    memcpy(rec, &work, sizeof work);
    rec->size = callerSize;
    SecureZeroMemory(&work, sizeof work);
    return hr;
}

HRESULT WriteSiteProfile(const FTPSITEINFO *rec, const FTPSITEINFO *defaults)
{
    if (!rec || rec->size < FTPSITEINFO_SIZE || (defaults && defaults->size < FTPSITEINFO_SIZE))
        return E_INVALIDARG;
    // A name that fills its field without a terminator is too long.
    if (strnlen(rec->name, sizeof rec->name) >= sizeof rec->name)
        return E_INVALIDARG;
    FTPSITEINFO w;
    memcpy(&w, rec, sizeof w);
    w.size = FTPSITEINFO_SIZE;
    TerminateFields(&w);
    const BOOL isConfig = IsConfigName(w.name);
    FTPINFO s;
    HRESULT hr = FetchSettings(&s);
    if (FAILED(hr))
        return hr;
    const BOOL ini = (s.flags & FTPINFO_INI_STORE) != 0;
    hr = CheckSiteName(w.name, ini);
    if (FAILED(hr))
        return hr;
    if (!w.user[0] || lstrcmpiA(w.user, "anonymous") == 0)
        w.flags |= SITE_ANONYMOUS;
    if (ini)
        hr = s.iniPath[0] ? IniWriteSite(s.iniPath, &w, defaults, isConfig) : E_INVALIDARG;
    else
        hr = WriteRegistryProfile(&w, defaults, &s);
    SecureZeroMemory(&w, sizeof w);
    return hr;
}

TESSEL_EXTERN_C HRESULT TESSEL_API TESSEL_GetFTPSiteInfo(const char *name, FTPSITEINFO *site)
{
    return ReadSiteProfile(name, site, nullptr);
}

TESSEL_EXTERN_C HRESULT TESSEL_API TESSEL_SetFTPSiteInfo(const FTPSITEINFO *site)
{
    return WriteSiteProfile(site, nullptr);
}

namespace {

void ReleaseFind(FTPSITEFIND *f)
{
    if (f->stamp == kFindStamp) {
        if (f->sites)
            RegCloseKey(f->sites);
        delete f->names;
    }
    f->stamp = 0;
    CoTaskMemFree(f);
}

BOOL NextSite(FTPSITEFIND *f, FTPSITEINFO *site)
{
    if (f->names) {
        while (f->pos < f->names->size()) {
            const std::string &name = (*f->names)[f->pos++];
            if (IsConfigName(name.c_str()) || lstrcmpiA(name.c_str(), INI_FIREWALL_SECTION) == 0)
                continue;
            if (SUCCEEDED(TESSEL_GetFTPSiteInfo(name.c_str(), site)))
                return TRUE;
        }
        return FALSE;
    }
    if (!f->sites)
        return FALSE;
    for (;;) {
        DWORD len = sizeof f->subkey;
        if (RegEnumKeyExA(f->sites, f->index++, f->subkey, &len, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            return FALSE;
        if (IsConfigName(f->subkey))
            continue;
        if (SUCCEEDED(TESSEL_GetFTPSiteInfo(f->subkey, site)))
            return TRUE;
    }
}

FTPSITEFIND *CheckFind(HANDLE h)
{
    if (!h || h == INVALID_HANDLE_VALUE)
        return nullptr;
    FTPSITEFIND *f = (FTPSITEFIND *)h;
    return f->stamp == kFindStamp ? f : nullptr;
}

} // namespace

TESSEL_EXTERN_C HANDLE TESSEL_API TESSEL_FindFirstFTPSite(FTPSITEINFO *site)
{
    if (!site || site->size < FTPSITEINFO_SIZE)
        return INVALID_HANDLE_VALUE;
    FTPSITEFIND *f = (FTPSITEFIND *)CoTaskMemAlloc(sizeof(FTPSITEFIND));
    if (!f)
        return INVALID_HANDLE_VALUE;
    memset(f, 0, sizeof *f);
    f->stamp = kFindStamp;
    if (FAILED(FetchSettings(&f->settings))) {
        ReleaseFind(f);
        return INVALID_HANDLE_VALUE;
    }
    if (f->settings.flags & FTPINFO_INI_STORE) {
        // Profiles kept in the INI file are listed from it alone: an empty
        // file must not bring up the registry's sites.
        if (!f->settings.iniPath[0]) {
            ReleaseFind(f);
            return INVALID_HANDLE_VALUE;
        }
        f->names = new std::vector<std::string>();
        for (auto &n : IniSectionNames(f->settings.iniPath))
            if (!IsConfigName(n.c_str()))
                f->names->push_back(n);
    } else {
        // Machine-wide mode keeps every profile in HKEY_LOCAL_MACHINE.
        HKEY hive = (f->settings.flags & FTPINFO_MACHINE_WIDE) ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
        if (RegOpenKeyExA(hive, TESSEL_REG_SITES, 0, KEY_READ, &f->sites) != ERROR_SUCCESS) {
            f->sites = nullptr;
            ReleaseFind(f);
            return INVALID_HANDLE_VALUE;
        }
    }
    if (!NextSite(f, site)) {
        ReleaseFind(f);
        return INVALID_HANDLE_VALUE;
    }
    return (HANDLE)f;
}

TESSEL_EXTERN_C BOOL TESSEL_API TESSEL_FindNextFTPSite(HANDLE find, FTPSITEINFO *site)
{
    FTPSITEFIND *f = CheckFind(find);
    if (!f || !site || site->size < FTPSITEINFO_SIZE)
        return FALSE;
    return NextSite(f, site);
}

TESSEL_EXTERN_C BOOL TESSEL_API TESSEL_FindCloseFTP(HANDLE find)
{
    FTPSITEFIND *f = CheckFind(find);
    if (f)
        ReleaseFind(f);
    return TRUE;
}

TESSEL_EXTERN_C HRESULT TESSEL_API TESSEL_DeleteFTPSite(const char *name)
{
    FTPINFO s;
    HRESULT hr = FetchSettings(&s);
    if (FAILED(hr))
        return hr;
    const BOOL ini = (s.flags & FTPINFO_INI_STORE) != 0;
    // An empty name would name the whole Sites key.
    hr = CheckSiteName(name, ini);
    if (FAILED(hr))
        return hr;
    if (ini) {
        if (!s.iniPath[0])
            return E_INVALIDARG;
        WritePrivateProfileStringA(name, nullptr, nullptr, s.iniPath);
        IniFlush(s.iniPath);
        hr = S_OK;
    } else {
        std::string path = SiteKeyPath(name);
        LONG m = DeleteKeyTree(HKEY_LOCAL_MACHINE, path.c_str());
        LONG u = DeleteKeyTree(HKEY_CURRENT_USER, path.c_str());
        hr = (m == ERROR_SUCCESS || u == ERROR_SUCCESS) ? S_OK : E_FAIL;
    }
    NotifyRootRefresh();
    return hr;
}

TESSEL_EXTERN_C HRESULT TESSEL_API TESSEL_ApplyFTPSiteInfo(const FTPSITEINFO *site, DWORD options)
{
    if (!site || site->size < FTPSITEINFO_SIZE)
        return E_INVALIDARG;
    if (!(options & 1))
        return S_OK;
    FTPSITEINFO *cur = new FTPSITEINFO;
    memset(cur, 0, sizeof *cur);
    cur->size = sizeof *cur;
    HANDLE h = TESSEL_FindFirstFTPSite(cur);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            cur->flags = (cur->flags & ~SITE_PREFERENCE_MASK) | (site->flags & SITE_PREFERENCE_MASK);
            TESSEL_SetFTPSiteInfo(cur);
        } while (TESSEL_FindNextFTPSite(h, cur));
        TESSEL_FindCloseFTP(h);
    }
    SecureZeroMemory(cur, sizeof *cur);
    delete cur;
    return S_OK;
}
