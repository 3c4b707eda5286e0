// Resume records: the one interrupted download a site remembers, stored
// beside the profile (INI section or registry subkey).
#include "sitesint.h"
#include "siteini.h"

#include <stdio.h>
#include <string.h>
#include <stdlib.h>
#include <time.h>

namespace {

const char *const kTextKeys[4] = {"REGETRDIR", "REGETRFILE", "REGETLDIR", "REGETLFILE"};

HRESULT FetchSettings(FTPINFO *s)
{
    memset(s, 0, sizeof *s);
    s->size = sizeof *s;
    return TESSEL_GetFTPInfo(s, TRUE);
}

HKEY ResumeHive(const FTPINFO *s)
{
    return (s->flags & FTPINFO_MACHINE_WIDE) ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

std::string SiteKeyPath(const char *name) { return std::string(TESSEL_REG_SITES "\\") + name; }

void CopyText(char *dst, size_t size, const char *src)
{
    size_t n = strnlen(src, size - 1);
    memcpy(dst, src, n);
    dst[n] = 0;
}

} // namespace

HRESULT SaveResumeRecord(const char *site, const char *remoteDir, const char *remoteFile, const char *localDir,
                         const char *localFile, int mode)
{
    FTPINFO s;
    HRESULT hr = FetchSettings(&s);
    if (FAILED(hr))
        return hr;
    const BOOL ini = (s.flags & FTPINFO_INI_STORE) != 0;
    hr = CheckSiteName(site, ini);
    if (FAILED(hr))
        return hr;
    DebugLogLine("%s", FormatStr(10155, "Saving restart info for %1!s! - %2!s!", site,
                                 remoteFile ? remoteFile : "").c_str());
    const char *texts[4] = {remoteDir, remoteFile, localDir, localFile};
    char timeText[24], modeText[24];
    snprintf(timeText, sizeof timeText, "%lu", (unsigned long)time(nullptr));
    snprintf(modeText, sizeof modeText, "%d", mode);
    if (ini) {
        if (!s.iniPath[0])
            return E_INVALIDARG;
        // Like a registry site without its subkey, a site without a section
        // gets no record: writing one would make up a new site.
        if (!IniSectionHasKeys(s.iniPath, site))
            return E_FAIL;
        BOOL ok = TRUE;
        for (int i = 0; i < 4; i++)
            ok &= IniWriteText(s.iniPath, site, kTextKeys[i], texts[i]);
        ok &= IniWriteText(s.iniPath, site, "REGETTIME", timeText);
        ok &= IniWriteText(s.iniPath, site, "REGETMODE", modeText);
        IniFlush(s.iniPath);
        return ok ? S_OK : E_FAIL;
    }
    HKEY key;
    if (RegOpenKeyExA(ResumeHive(&s), SiteKeyPath(site).c_str(), 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS)
        return E_FAIL;
    BOOL ok = TRUE;
    for (int i = 0; i < 4; i++) {
        if (texts[i] && texts[i][0])
            ok &= RegWriteString(key, kTextKeys[i], texts[i]);
        else
            RegDeleteValueA(key, kTextKeys[i]); // no text of an older record stays behind
    }
    ok &= RegWriteString(key, "REGETTIME", timeText);
    ok &= RegWriteString(key, "REGETMODE", modeText);
    RegCloseKey(key);
    return ok ? S_OK : E_FAIL;
}

HRESULT ClearResumeRecord(const char *site)
{
    FTPINFO s;
    HRESULT hr = FetchSettings(&s);
    if (FAILED(hr))
        return hr;
    const BOOL ini = (s.flags & FTPINFO_INI_STORE) != 0;
    hr = CheckSiteName(site, ini);
    if (FAILED(hr))
        return hr;
    static const char *const all[6] = {"REGETRDIR", "REGETRFILE", "REGETLDIR", "REGETLFILE", "REGETTIME",
                                       "REGETMODE"};
    if (ini) {
        if (!s.iniPath[0])
            return E_INVALIDARG;
        if (!IniSectionHasKeys(s.iniPath, site))
            return S_OK;
        for (const char *k : all)
            IniWriteText(s.iniPath, site, k, nullptr);
        IniFlush(s.iniPath);
        return S_OK;
    }
    HKEY key;
    if (RegOpenKeyExA(ResumeHive(&s), SiteKeyPath(site).c_str(), 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS)
        return S_OK;
    for (const char *k : all)
        RegDeleteValueA(key, k);
    RegCloseKey(key);
    return S_OK;
}

HRESULT ReadResumeRecord(const char *site, ResumeRecord *out)
{
    memset(out, 0, sizeof *out);
    FTPINFO s;
    HRESULT hr = FetchSettings(&s);
    if (FAILED(hr))
        return hr;
    const BOOL ini = (s.flags & FTPINFO_INI_STORE) != 0;
    hr = CheckSiteName(site, ini);
    if (FAILED(hr))
        return hr;
    char *fields[4] = {out->remoteDir, out->remoteFile, out->localDir, out->localFile};
    char mode[64] = "";
    if (ini) {
        if (!s.iniPath[0])
            return E_INVALIDARG;
        if (!IniSectionHasKeys(s.iniPath, site))
            return E_FAIL;
        for (int i = 0; i < 4; i++)
            IniReadText(s.iniPath, site, kTextKeys[i], fields[i], 256);
        IniReadText(s.iniPath, site, "REGETMODE", mode, sizeof mode);
    } else {
        HKEY key;
        if (RegOpenKeyExA(ResumeHive(&s), SiteKeyPath(site).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
            return E_FAIL;
        for (int i = 0; i < 4; i++)
            RegReadString(key, kTextKeys[i], fields[i], 256);
        RegReadString(key, "REGETMODE", mode, sizeof mode);
        RegCloseKey(key);
    }
    out->mode = atoi(mode);
    for (char *f : fields)
        if (!f[0])
            return S_FALSE;
    return S_OK;
}

HRESULT NoteDownloadOutcome(const char *site, const char *remoteDir, const char *remoteFile,
                            const char *localPath, int mode, int replyCode, BOOL aborted)
{
    if (replyCode / 100 == 2 && !aborted)
        return ClearResumeRecord(site);
    char dir[256], name[256];
    const char *cut = strrchr(localPath, '\\');
    if (cut) {
        size_t n = (size_t)(cut - localPath);
        CopyText(dir, sizeof dir < n + 1 ? sizeof dir : n + 1, localPath);
        CopyText(name, sizeof name, cut + 1);
    } else {
        // No folder in the path: the path is both.
        CopyText(dir, sizeof dir, localPath);
        CopyText(name, sizeof name, localPath);
    }
    return SaveResumeRecord(site, remoteDir, remoteFile, dir, name, mode);
}

void BuildResumeAddresses(const char *site, const char *remoteDir, const char *remoteFile, std::string *folderUrl,
                          std::string *fileUrl)
{
    std::string base = std::string("ftp://") + site + "/";
    std::string dir = remoteDir ? remoteDir : "";
    const char *sep = dir.find('\\') != std::string::npos ? "\\" : "/";
    *folderUrl = base;
    if (dir.size() > 1)
        *folderUrl += dir + sep;
    if (dir.empty())
        *fileUrl = base + remoteFile;
    else if (dir.back() == sep[0])
        *fileUrl = base + dir + remoteFile;
    else
        *fileUrl = base + dir + sep + remoteFile;
}
