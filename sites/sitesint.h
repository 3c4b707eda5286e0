/* Internal interface of the settings and site-profile code: shared between
 * the sources in sites/, the shell extension and the tests. */
#ifndef TESSEL_SITESINT_H
#define TESSEL_SITESINT_H

#include <winsock2.h>
#include <windows.h>
#include "tessel_sites.h"

#include <string>
#include <vector>

/* Registry keys, relative to HKEY_CURRENT_USER or HKEY_LOCAL_MACHINE. */
#define TESSEL_REG_ROOT     "SOFTWARE\\Corvane\\TESSEL"
#define TESSEL_REG_SETTINGS "SOFTWARE\\Corvane\\TESSEL\\Settings"
#define TESSEL_REG_SITES    "SOFTWARE\\Corvane\\TESSEL\\Sites"

#define TESSEL_INI_NAME   "TESSEL.INI"
#define TESSEL_EXT_NAME   "TESSEL.EXT"
#define TESSEL_HELP_NAME  "TESSELCORE.HLP"
#define TESSEL_DEFAULT_LOG   "\\TESSEL.LOG"
#define TESSEL_DEFAULT_DEBUG "\\TESSELD.LOG"
/* Stands for "no address given": stored at registration when no address is
 * known, ignored when found as "MAILADDR". */
#define TESSEL_PLACEHOLDER_EMAIL "guest@address.invalid"

/* ---- global settings ---- */

/* Fills in the temporary and download folders, creating them (and the
 * "Notify" folder) as needed. */
void CompleteFolders(FTPINFO *info);
/* Settings part of the library's registration: program folder from the
 * library file, client and files found, help file, settings stored twice,
 * sound events registered afresh. */
HRESULT RegisterSettings(const char *libraryFile);
/* Removes SOFTWARE\Corvane\TESSEL from both hives and the sound events. */
void UnregisterSettings(void);
/* Locates the client, TESSEL.INI and TESSEL.EXT (registration step). */
void FindClientAndFiles(FTPINFO *info);

/* ---- registry helpers ---- */

/* REG_SZ with nonzero length: copied (cut to fit, always terminated).
 * Returns TRUE when the value counted. */
BOOL RegReadString(HKEY key, const char *name, char *out, size_t size);
/* REG_DWORD of exactly 4 bytes. */
BOOL RegReadDword(HKEY key, const char *name, DWORD *out);
BOOL RegWriteString(HKEY key, const char *name, const char *text);
BOOL RegWriteDword(HKEY key, const char *name, DWORD value);
/* Deletes a key and everything below it; the open failure or the first
 * deletion failure is returned. */
LONG DeleteKeyTree(HKEY parent, const char *path);

/* ---- MD5 (the platform's CryptoAPI) ---- */

#include "md5.h"
/* INI "V" form of a password, keyed by the user id.  FALSE when out is too
 * small or MD5 is not available. */
BOOL ScrambleIniPassword(const char *user, const char *password, char *out, size_t size);

/* ---- site profiles ---- */

/* Checks a site name for the store in use: E_INVALIDARG for an empty name,
 * one of 256 characters or more, a "\" in registry mode, and in INI mode a
 * "]" or a control character (the section could never be found again). */
HRESULT CheckSiteName(const char *name, BOOL iniMode);
/* Reader: tmpl (may be NULL) is the starting point instead of the built-in
 * defaults.  rec->size must be set (3208 or more). */
HRESULT ReadSiteProfile(const char *name, FTPSITEINFO *rec, const FTPSITEINFO *tmpl);
/* Writer: values equal to defaults (may be NULL) are not stored. */
HRESULT WriteSiteProfile(const FTPSITEINFO *rec, const FTPSITEINFO *defaults);
/* The built-in starting record of a read (size 3208). */
void DefaultSiteProfile(FTPSITEINFO *rec, const char *name, const FTPINFO *settings);

/* ---- resume records ---- */

typedef struct ResumeRecord {
    char remoteDir[256];
    char remoteFile[256];
    char localDir[256];
    char localFile[256];
    int mode;              /* nonzero binary */
} ResumeRecord;

/* Saves the site's one resume record; no record when the site has no
 * stored profile. */
HRESULT SaveResumeRecord(const char *site, const char *remoteDir, const char *remoteFile,
                         const char *localDir, const char *localFile, int mode);
HRESULT ClearResumeRecord(const char *site);
/* S_OK with all four texts, S_FALSE when a text is missing (the record is
 * then never offered), E_FAIL when the site has nothing stored. */
HRESULT ReadResumeRecord(const char *site, ResumeRecord *out);
/* After a download: saves the record when the reply class is not 2 or the
 * transfer was aborted, else clears the site's record. */
HRESULT NoteDownloadOutcome(const char *site, const char *remoteDir, const char *remoteFile,
                            const char *localPath, int mode, int replyCode, BOOL aborted);
/* Folder and file addresses offered for a record. */
void BuildResumeAddresses(const char *site, const char *remoteDir, const char *remoteFile,
                          std::string *folderUrl, std::string *fileUrl);

/* ---- sound events ---- */

void RegisterSoundEvents(const char *libraryDir);
void UnregisterSoundEvents(void);
/* Plays an event by name, asynchronously, silent when it has no wave. */
void PlayEventSound(const char *event);

/* ---- ASCII extension list (TESSEL.EXT) ---- */

std::vector<std::string> ReadExtensionList(const char *path);
BOOL WriteExtensionList(const char *path, const std::vector<std::string> &entries);

/* ---- links to the shell extension and the sessions ---- */

/* Called after a profile store changes: the shell's root folder refreshes. */
void SetRootRefreshHook(void (*hook)(void));
void NotifyRootRefresh(void);
/* Number of open FTP connections of the library's sessions. */
void SetOpenConnectionsHook(int (*hook)(void));
int OpenConnectionCount(void);

/* String resource of the library, or the fallback when it has none (the
 * static library linked into tests carries no resources). */
std::string LoadStr(UINT id, const char *fallback);
/* FormatMessage with positional inserts ("%1!s!"). */
std::string FormatStr(UINT id, const char *fallback, ...);
/* One line into the debug log (when it is on). */
void DebugLogLine(const char *fmt, ...);

#endif
