// Sound events of the library under HKEY_CURRENT_USER\AppEvents, played by
// name as system sound aliases.
#include "sitesint.h"
#include "resource.h"

#include <mmsystem.h>
#include <stdio.h>
#include <string.h>

namespace {

struct SoundEvent {
    const char *name;
    UINT labelId;
    const char *label;
    const char *wave; // "?x" = file x in the library's folder; NULL = none
};

const SoundEvent kEvents[] = {
    {"TESSEL_RootOpen", IDS_SND_ROOTOPEN, "TESSEL: Open Quillfold Sites Window", "tada.wav"},
    {"TESSEL_SiteOpen", IDS_SND_SITEOPEN, "TESSEL: Open Site Window", nullptr},
    {"TESSEL_ConGood", IDS_SND_CONGOOD, "TESSEL: Successful Connection", "?connect.wav"},
    {"TESSEL_ConFail", IDS_SND_CONFAIL, "TESSEL: Failed Connection", "?error.wav"},
    {"TESSEL_NeedPass", IDS_SND_NEEDPASS, "TESSEL: Need Password", nullptr},
    {"TESSEL_TranGood", IDS_SND_TRANGOOD, "TESSEL: Successful Transfer", "?complete.wav"},
    {"TESSEL_TranFail", IDS_SND_TRANFAIL, "TESSEL: Failed Transfer", "?error.wav"},
    {"TESSEL_ChgUp", IDS_SND_CHGUP, "TESSEL: Select Parent Folder", nullptr},
    {"TESSEL_DelSite", IDS_SND_DELSITE, "TESSEL: Delete FTP Site", nullptr},
    {"TESSEL_DelDir", IDS_SND_DELDIR, "TESSEL: Delete Folder", nullptr},
    {"TESSEL_DelFile", IDS_SND_DELFILE, "TESSEL: Delete File", nullptr},
    {"TESSEL_DelLink", IDS_SND_DELLINK, "TESSEL: Delete Link", nullptr},
    {"TESSEL_Expunge", IDS_SND_EXPUNGE, "TESSEL: Explorer closing the TESSEL .DLL", "tada.wav"},
    {"TESSEL_Failure", IDS_SND_FAILURE, "TESSEL: Failed Operation", "?error.wav"},
};

const char kLabels[] = "AppEvents\\EventLabels\\";
const char kScheme[] = "AppEvents\\Schemes\\Apps\\.Default\\";

void SetDefault(const std::string &path, const char *text)
{
    HKEY key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) ==
        ERROR_SUCCESS) {
        RegSetValueExA(key, nullptr, 0, REG_SZ, (const BYTE *)text, (DWORD)strlen(text) + 1);
        RegCloseKey(key);
    }
}

} // namespace

void RegisterSoundEvents(const char *libraryDir)
{
    for (const auto &e : kEvents) {
        SetDefault(std::string(kLabels) + e.name, LoadStr(e.labelId, e.label).c_str());
        char wave[MAX_PATH + 16] = "";
        if (e.wave && e.wave[0] == '?')
            snprintf(wave, sizeof wave, "%s\\%s", libraryDir, e.wave + 1);
        else if (e.wave)
            snprintf(wave, sizeof wave, "%s", e.wave);
        std::string base = std::string(kScheme) + e.name;
        SetDefault(base + "\\.Current", wave);
        SetDefault(base + "\\.Default", wave);
    }
}

void UnregisterSoundEvents(void)
{
    for (const auto &e : kEvents) {
        DeleteKeyTree(HKEY_CURRENT_USER, (std::string(kLabels) + e.name).c_str());
        DeleteKeyTree(HKEY_CURRENT_USER, (std::string(kScheme) + e.name).c_str());
    }
    DeleteKeyTree(HKEY_USERS, "AppEvents\\Schemes\\Apps\\TESSEL");
    DeleteKeyTree(HKEY_CURRENT_USER, "AppEvents\\Schemes\\Apps\\TESSEL");
}

namespace {
void (*g_soundObserver)(const char *);
} // namespace

void SetSoundObserver(void (*observer)(const char *)) { g_soundObserver = observer; }

void PlayEventSound(const char *event)
{
    if (g_soundObserver)
        g_soundObserver(event);
    PlaySoundA(event, nullptr, SND_ALIAS | SND_ASYNC | SND_NODEFAULT | SND_NOSTOP);
}
