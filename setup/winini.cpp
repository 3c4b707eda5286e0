// The installer's record in WIN.INI and the first TESSEL.ini.
#include "setupres.h"
#include "setup.h"

#include <stdio.h>

namespace {

// Addresses that stand for "none given": the library's placeholder and the
// client's default.
bool IsPlaceholderAddress(const char *mail)
{
    return !*mail || lstrcmpiA(mail, "guest@address.invalid") == 0 || lstrcmpiA(mail, "guest@nowhere.example") == 0;
}

std::string ProfileText(const char *key)
{
    char buf[MAX_PATH * 2] = "";
    GetProfileStringA(SETUP_INI_SECTION, key, "", buf, sizeof buf);
    return buf;
}

} // namespace

WinIniRecord ReadWinIni()
{
    WinIniRecord r;
    r.dir = ProfileText("DIR");
    r.defDir = ProfileText("DEFDIR");
    r.group = ProfileText("GROUP");
    r.options = (DWORD)GetProfileIntA(SETUP_INI_SECTION, "INSTOPTS", 0);
    return r;
}

void WriteWinIni(const InstallState &st)
{
    char opts[16];
    snprintf(opts, sizeof opts, "%u", (unsigned)st.options);
    WriteProfileStringA(SETUP_INI_SECTION, "DIR", st.destDir.c_str());
    WriteProfileStringA(SETUP_INI_SECTION, "DEFDIR", st.downloadDir.c_str());
    WriteProfileStringA(SETUP_INI_SECTION, "GROUP", st.group.c_str());
    WriteProfileStringA(SETUP_INI_SECTION, "INSTOPTS", opts);
    WriteProfileStringA(SETUP_INI_SECTION, "PRO", SETUP_STAMP);
    WriteProfileStringA(nullptr, nullptr, nullptr); // flush
}

void WriteWinIniFolders(const InstallState &st)
{
    WriteProfileStringA(SETUP_INI_SECTION, "DIR", st.destDir.c_str());
    WriteProfileStringA(SETUP_INI_SECTION, "DEFDIR", st.downloadDir.c_str());
    WriteProfileStringA(nullptr, nullptr, nullptr);
}

void RestoreMailAddress(const InstallState &st)
{
    std::string ini = JoinPath(st.destDir, "TESSEL.ini");
    if (st.mail.empty() || !FileExists(ini))
        return;
    char mail[128] = "";
    GetPrivateProfileStringA("_config_", "MAILADDR", "", mail, sizeof mail, ini.c_str());
    if (IsPlaceholderAddress(mail)) {
        WritePrivateProfileStringA("_config_", "MAILADDR", st.mail.c_str(), ini.c_str());
        WritePrivateProfileStringA(nullptr, nullptr, nullptr, ini.c_str());
    }
}

void RemoveWinIniSection()
{
    WriteProfileStringA(SETUP_INI_SECTION, nullptr, nullptr);
    WriteProfileStringA(nullptr, nullptr, nullptr);
}

void PrepareTesselIni(InstallState &st)
{
    std::string ini = JoinPath(st.destDir, "TESSEL.ini");
    bool copy = true;
    if (FileExists(ini))
        copy = ShowMessage(st, IDS_INI_OVERWRITE, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) == IDYES;
    if (copy) {
        CopyRequest req{st.sourceDir, "TESSEL.ini", st.destDir, "TESSEL.ini", true};
        if (CopyOneFile(st, req) != 0)
            st.failed = true;
    }
    CloseProgress(st);
    if (!FileExists(ini))
        return;

    char mail[128] = "";
    GetPrivateProfileStringA("_config_", "MAILADDR", "", mail, sizeof mail, ini.c_str());
    if (!IsPlaceholderAddress(mail))
        st.mail = mail;
    else {
        std::string answer;
        for (;;) {
            if (!AskText(st, IDS_ASK_EMAIL, answer, false))
                break;
            // Trim blanks; an address must have something on both sides of "@".
            while (!answer.empty() && answer.back() == ' ')
                answer.pop_back();
            while (!answer.empty() && answer[0] == ' ')
                answer.erase(0, 1);
            size_t at = answer.find('@');
            if (answer.size() < 128 && at != std::string::npos && at > 0 && at + 1 < answer.size() &&
                answer.find_first_of("\r\n") == std::string::npos) {
                WritePrivateProfileStringA("_config_", "MAILADDR", answer.c_str(), ini.c_str());
                st.mail = answer;
                break;
            }
            MessageBeep(MB_ICONEXCLAMATION);
        }
    }
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, ini.c_str()); // flush
}
