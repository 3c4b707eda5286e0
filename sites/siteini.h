/* Reading and writing rules of "TESSEL.INI" site sections and of its
 * "FIREWALL" section.  The desktop client keeps its sessions in the same
 * file, so these are flat functions over the private-profile API that it
 * can call for the keys it shares with the library:
 *
 * - Numbers are written in decimal ("%ld"); a key whose value is the
 *   default is deleted rather than written.
 * - Flag keys ("PASVMODE", "PROREGET", "HASH", "DLGCOMPLETE", "DLGOW",
 *   "VRFYDEL", "PROMPT", "RETAIN", "FORCELOW", "CONVEXT") hold "1" or "0".
 *   A key is written only where the bit differs from the reference (the
 *   defaults record, or else the reader's fallback) and deleted elsewhere;
 *   the reader takes the key's integer (nonzero = set), or when absent the
 *   template's bit, or without one 1 for "HASH" and "RETAIN", 0 otherwise.
 * - "PWD" holds the scrambled password (scramble.h), keyed by "UID" in a
 *   site section and by the firewall "UID" in the "FIREWALL" section.  A
 *   value that does not decode, or whose password would not fit, counts as
 *   absent.
 * - "FIREWALL" = 1 in a site section means: use the one firewall described
 *   in the "FIREWALL" section ("FIRETYPE" = type - 1, "HOST", "UID", "PWD",
 *   "PORT").
 * - Section names are site names; "_config_" holds the defaults and the
 *   client's own keys. */
#ifndef TESSEL_SITEINI_H
#define TESSEL_SITEINI_H

#include <winsock2.h>
#include <windows.h>
#include "ftpsiteinfo.h"

#include <string>
#include <vector>

#define INI_FIREWALL_SECTION "FIREWALL"

typedef struct SiteIniFlag {
    const char *key;
    uint32_t bit;
    int readDefault;   /* the bit when the key is absent and no template */
} SiteIniFlag;

/* The ten flag keys, in the order they are written. */
extern const SiteIniFlag kSiteIniFlags[10];

/* Reads a text value.  Returns TRUE when the key is present; the text is
 * cut to fit and always terminated. */
BOOL IniReadText(const char *ini, const char *section, const char *key, char *out, size_t size);
/* Reads a number ("%ld"); fallback when absent or not a number. */
long IniReadLong(const char *ini, const char *section, const char *key, long fallback);
/* Writes a text, or deletes the key when text is NULL. */
BOOL IniWriteText(const char *ini, const char *section, const char *key, const char *text);
BOOL IniWriteLong(const char *ini, const char *section, const char *key, long value);
/* A scrambled password: TRUE and the password when present and valid. */
BOOL IniReadPassword(const char *ini, const char *section, const char *key, char *out, size_t size);
/* Writes the "V" form keyed by user; an empty password deletes the key. */
BOOL IniWritePassword(const char *ini, const char *section, const char *key, const char *user,
                      const char *password);
/* Flag rule: reference is the defaults' bit (or the reader's fallback). */
BOOL IniWriteFlag(const char *ini, const char *section, const char *key, BOOL set, BOOL reference);
BOOL IniReadFlag(const char *ini, const char *section, const char *key, BOOL fallback);
/* TRUE when the section holds at least one key. */
BOOL IniSectionHasKeys(const char *ini, const char *section);
/* Section names in file order, read line by line; names of 256 characters
 * or more are left out (no profile can carry them). */
std::vector<std::string> IniSectionNames(const char *ini);
/* Writes cached profile data to the file. */
void IniFlush(const char *ini);

/* Whole-profile rules of a site section (see above). */
/* rec holds the starting record (template or built-in defaults) and is
 * completed from the section; email is the anonymous password.  E_FAIL
 * when the section holds no key. */
HRESULT IniReadSite(const char *ini, const char *section, FTPSITEINFO *rec, const FTPSITEINFO *tmpl,
                    BOOL isConfig, const char *email);
/* Writes rec into its section and, for "_config_" or a site that uses the
 * firewall, the "FIREWALL" section.  E_FAIL when a write failed. */
HRESULT IniWriteSite(const char *ini, const FTPSITEINFO *rec, const FTPSITEINFO *defaults, BOOL isConfig);

#endif
