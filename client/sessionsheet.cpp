// The "Session" sheet shown by Connect: pages General, Startup, Advanced
// and Firewall edit a copy of the session record; OK makes the copy live
// (the caller then connects), Cancel leaves the live record alone.
#include "options.h"
#include "resource.h"

#include "tessel_engine.h"

#include <stdio.h>
#include <string.h>

namespace t95 {

static SessionRec s_edit;
static int s_noSavePwd;
static int s_applied; // OK reached the pages

// ---------------------------------------------------------------- General

static void FillNames(HWND combo)
{
    SendMessageA(combo, CB_RESETCONTENT, 0, 0);
    std::vector<char> names(65536);
    DWORD n = GetPrivateProfileSectionNamesA(names.data(), (DWORD)names.size(), g_files.ini);
    for (const char *p = names.data(); n && *p; p += strlen(p) + 1) {
        // The firewall's own section is no profile.
        if (!lstrcmpiA(p, T95_CONFIG) || !lstrcmpiA(p, "FIREWALL"))
            continue;
        if (strlen(p) < sizeof s_edit.name)
            SendMessageA(combo, CB_ADDSTRING, 0, (LPARAM)p);
    }
}

static void MaskPassword(HWND p, int clear)
{
    SendDlgItemMessageA(p, IDC_SS_PASS, EM_SETPASSWORDCHAR, clear ? 0 : '*', 0);
    InvalidateRect(GetDlgItem(p, IDC_SS_PASS), nullptr, TRUE);
}

// The e-mail address, asked for when none is set.
static const char *MailAddress(HWND owner)
{
    if (!g_cfg.mailAddr[0]) {
        char mail[128] = "";
        if (InputBox(owner, "Enter your e-mail address:", mail, sizeof mail) && mail[0]) {
            snprintf(g_cfg.mailAddr, sizeof g_cfg.mailAddr, "%s", mail);
            WriteIniText(T95_CONFIG, "MAILADDR", mail);
        }
    }
    return g_cfg.mailAddr;
}

static void ShowGeneral(HWND p, const SessionRec &s)
{
    SetDlgItemTextA(p, IDC_SS_HOST, s.host);
    SetDlgItemTextA(p, IDC_SS_USER, s.user);
    SetDlgItemTextA(p, IDC_SS_ACCT, s.account);
    const int anon = !lstrcmpiA(s.user, "anonymous");
    SetCheck(p, IDC_SS_ANON, anon);
    SetDlgItemTextA(p, IDC_SS_PASS, anon && !s.password[0] ? MailAddress(p) : s.password);
    MaskPassword(p, anon);
    SetCheck(p, IDC_SS_SAVEPWD, s.savePwd && !s_noSavePwd);
    HWND type = GetDlgItem(p, IDC_SS_TYPE);
    int n = (int)SendMessageA(type, CB_GETCOUNT, 0, 0);
    for (int i = 0; i < n; ++i)
        if ((int)SendMessageA(type, CB_GETITEMDATA, i, 0) == s.hostType)
            SendMessageA(type, CB_SETCURSEL, i, 0);
    char comment[80] = "";
    if (s.name[0])
        ReadIniText(s.name, "COMMENT", "", comment, sizeof comment);
    SetDlgItemTextA(p, IDC_SS_COMMENT, comment);
}

// Loads a named profile into the copy and every page; 0 when it has no HOST.
static int LoadProfile(HWND p, const char *name)
{
    if (!name[0] || !IniHasKey(name, "HOST"))
        return 0;
    SessionRec s;
    ClearSession(&s);
    snprintf(s.name, sizeof s.name, "%s", name);
    LoadSession(&s);
    s_edit = s;
    ShowGeneral(p, s_edit);
    // The other pages read the copy when they are shown next.
    PropSheet_QuerySiblings(GetParent(p), 1, 0);
    return 1;
}

static void GeneralInit(HWND p)
{
    HWND sheet = GetParent(p);
    RECT r;
    GetWindowRect(sheet, &r);
    const int w = r.right - r.left, h = r.bottom - r.top;
    SetWindowPos(sheet, nullptr, (GetSystemMetrics(SM_CXSCREEN) - w) / 2, (GetSystemMetrics(SM_CYSCREEN) - h) / 2, 0,
                 0, SWP_NOSIZE | SWP_NOZORDER);
    HWND name = GetDlgItem(p, IDC_SS_NAME);
    FillNames(name);
    SendMessageA(name, CB_LIMITTEXT, sizeof s_edit.name - 1, 0);
    SetWindowTextA(name, s_edit.name);
    TESSEL_AddHostTypesToListBox(GetDlgItem(p, IDC_SS_TYPE), 1);
    static const struct {
        int id, chars;
    } limits[] = {{IDC_SS_HOST, 250}, {IDC_SS_USER, 79}, {IDC_SS_PASS, 79}, {IDC_SS_ACCT, 79}, {IDC_SS_COMMENT, 79}};
    for (const auto &l : limits)
        SendDlgItemMessageA(p, l.id, EM_LIMITTEXT, (WPARAM)l.chars, 0);
    if (g_splash) {
        DestroyWindow(g_splash);
        g_splash = nullptr;
    }
    s_noSavePwd = GetProfileIntA("TESSEL", "SPFLAGS", 0) > 0 || ReadIniInt(T95_CONFIG, "SPFLAGS", 0) > 0;
    if (s_noSavePwd)
        ShowWindow(GetDlgItem(p, IDC_SS_SAVEPWD), SW_HIDE);
    ShowGeneral(p, s_edit);
}

static void GeneralApply(HWND p)
{
    s_applied = 1;
    std::string host = TextField(p, IDC_SS_HOST, 250), name = TextField(p, IDC_SS_NAME, 79);
    size_t lead = name.find_first_not_of(' ');
    name = lead == std::string::npos ? std::string() : name.substr(lead);
    if (name.empty())
        name = host.substr(0, 79);
    snprintf(s_edit.host, sizeof s_edit.host, "%s", host.c_str());
    snprintf(s_edit.name, sizeof s_edit.name, "%s", name.c_str());
    snprintf(s_edit.user, sizeof s_edit.user, "%s", TextField(p, IDC_SS_USER, 79).c_str());
    snprintf(s_edit.password, sizeof s_edit.password, "%s", TextField(p, IDC_SS_PASS, 79).c_str());
    snprintf(s_edit.account, sizeof s_edit.account, "%s", TextField(p, IDC_SS_ACCT, 79).c_str());
    s_edit.savePwd = !s_noSavePwd && GetCheck(p, IDC_SS_SAVEPWD);
    HWND type = GetDlgItem(p, IDC_SS_TYPE);
    int sel = (int)SendMessageA(type, CB_GETCURSEL, 0, 0);
    int t = sel >= 0 ? (int)SendMessageA(type, CB_GETITEMDATA, sel, 0) : s_edit.hostType;
    s_edit.hostType = t >= 6000 && t <= 6051 ? t : 6000;
    HWND combo = GetDlgItem(p, IDC_SS_NAME);
    if (!name.empty() && SendMessageA(combo, CB_FINDSTRINGEXACT, (WPARAM)-1, (LPARAM)name.c_str()) == CB_ERR)
        SendMessageA(combo, CB_ADDSTRING, 0, (LPARAM)name.c_str());
    if (!s_edit.name[0] || strpbrk(s_edit.name, "[]=\r\n"))
        return;
    SaveSession(&s_edit);
    std::string comment = TextField(p, IDC_SS_COMMENT, 79);
    WriteIniText(s_edit.name, "COMMENT", comment.empty() ? nullptr : comment.c_str());
}

static int GeneralCommand(HWND p, int id, int code)
{
    HWND combo = GetDlgItem(p, IDC_SS_NAME);
    if (id == IDC_SS_NAME && (code == CBN_SELCHANGE || code == CBN_EDITCHANGE)) {
        char name[80] = "";
        int sel = (int)SendMessageA(combo, CB_GETCURSEL, 0, 0);
        if (code == CBN_SELCHANGE && sel >= 0 && SendMessageA(combo, CB_GETLBTEXTLEN, sel, 0) < (LRESULT)sizeof name)
            SendMessageA(combo, CB_GETLBTEXT, sel, (LPARAM)name);
        else
            GetWindowTextA(combo, name, sizeof name);
        return LoadProfile(p, name);
    }
    if (code != BN_CLICKED)
        return 0;
    if (id == IDC_SS_NEW) {
        ClearSession(&s_edit);
        SetWindowTextA(combo, "");
        ShowGeneral(p, s_edit);
        PropSheet_QuerySiblings(GetParent(p), 1, 0);
        return 1;
    }
    if (id == IDC_SS_DELETE) {
        char name[80] = "";
        GetWindowTextA(combo, name, sizeof name);
        int at = (int)SendMessageA(combo, CB_FINDSTRINGEXACT, (WPARAM)-1, (LPARAM)name);
        if (!name[0] || !lstrcmpiA(name, T95_CONFIG) || !lstrcmpiA(name, "FIREWALL") || at == CB_ERR)
            return 0;
        WritePrivateProfileStringA(name, nullptr, nullptr, g_files.ini);
        SendMessageA(combo, CB_DELETESTRING, (WPARAM)at, 0);
        int n = (int)SendMessageA(combo, CB_GETCOUNT, 0, 0);
        if (n > 0) {
            int next = at < n ? at : n - 1;
            SendMessageA(combo, CB_SETCURSEL, (WPARAM)next, 0);
            char text[80] = "";
            if (SendMessageA(combo, CB_GETLBTEXTLEN, next, 0) < (LRESULT)sizeof text)
                SendMessageA(combo, CB_GETLBTEXT, next, (LPARAM)text);
            LoadProfile(p, text);
        } else {
            SetWindowTextA(combo, "");
        }
        return 1;
    }
    if (id == IDC_SS_ANON) {
        if (GetCheck(p, IDC_SS_ANON)) {
            SetDlgItemTextA(p, IDC_SS_USER, "anonymous");
            SetDlgItemTextA(p, IDC_SS_PASS, MailAddress(p));
            SetDlgItemTextA(p, IDC_SS_ACCT, "");
            MaskPassword(p, 1);
        } else {
            MaskPassword(p, 0);
        }
        return 1;
    }
    return 0;
}

// ---------------------------------------------------------------- Startup, Advanced

// The other pages show the copy again when a profile was loaded.
static INT_PTR CALLBACK ReloadingPageProc(HWND page, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == PSM_QUERYSIBLINGS) {
        const PageDef *def = (const PageDef *)GetWindowLongPtrA(page, DWLP_USER);
        SetWindowLongPtrA(page, GWLP_USERDATA, 0);
        if (def && def->init)
            def->init(page);
        SetWindowLongPtrA(page, GWLP_USERDATA, 1);
        SetWindowLongPtrA(page, DWLP_MSGRESULT, 0);
        return TRUE;
    }
    return PageProc(page, msg, wp, lp);
}

static void StartupInit(HWND p)
{
    static const struct {
        int id, chars;
    } limits[] = {{IDC_SS_RDIR, 143}, {IDC_SS_LDIR, 143}, {IDC_SS_INITCMD, 250},
                  {IDC_SS_LMASK, 19},  {IDC_SS_RMASK, 19}, {IDC_SS_OFFSET, 4}};
    for (const auto &l : limits)
        SendDlgItemMessageA(p, l.id, EM_LIMITTEXT, (WPARAM)l.chars, 0);
    SetDlgItemTextA(p, IDC_SS_RDIR, s_edit.remoteDir);
    SetDlgItemTextA(p, IDC_SS_LDIR, s_edit.localDir);
    SetDlgItemTextA(p, IDC_SS_INITCMD, s_edit.initCmd);
    SetDlgItemTextA(p, IDC_SS_LMASK, s_edit.lmask);
    SetDlgItemTextA(p, IDC_SS_RMASK, s_edit.rmask);
    SetDlgItemInt(p, IDC_SS_OFFSET, (UINT)s_edit.timeOffset, TRUE);
}

static void StartupApply(HWND p)
{
    // A remote directory comes back from the INI file without its quotes.
    std::string dir = TextField(p, IDC_SS_RDIR, 143);
    if (dir.size() >= 2 && dir.front() == '"' && dir.back() == '"')
        dir = dir.substr(1, dir.size() - 2);
    snprintf(s_edit.remoteDir, sizeof s_edit.remoteDir, "%s", dir.c_str());
    snprintf(s_edit.localDir, sizeof s_edit.localDir, "%s", TextField(p, IDC_SS_LDIR, 143).c_str());
    snprintf(s_edit.initCmd, sizeof s_edit.initCmd, "%s", TextField(p, IDC_SS_INITCMD, 250).c_str());
    snprintf(s_edit.lmask, sizeof s_edit.lmask, "%s", TextField(p, IDC_SS_LMASK, 19).c_str());
    snprintf(s_edit.rmask, sizeof s_edit.rmask, "%s", TextField(p, IDC_SS_RMASK, 19).c_str());
    s_edit.timeOffset = SignedField(p, IDC_SS_OFFSET, s_edit.timeOffset);
    if (s_edit.name[0])
        SaveSession(&s_edit);
}

static void AdvancedInit(HWND p)
{
    for (int id : {IDC_SS_RETRIES, IDC_SS_TIMEOUT, IDC_SS_PORT})
        SendDlgItemMessageA(p, id, EM_LIMITTEXT, 5, 0);
    SetDlgItemInt(p, IDC_SS_RETRIES, (UINT)s_edit.retries, FALSE);
    SetDlgItemInt(p, IDC_SS_TIMEOUT, (UINT)s_edit.timeout, FALSE);
    SetDlgItemInt(p, IDC_SS_PORT, (UINT)s_edit.port, FALSE);
    SetCheck(p, IDC_SS_PASV, s_edit.passive);
}

static void AdvancedApply(HWND p)
{
    s_edit.retries = ClampRetries(NumberField(p, IDC_SS_RETRIES, s_edit.retries));
    s_edit.timeout = ClampTimeout(NumberField(p, IDC_SS_TIMEOUT, s_edit.timeout));
    s_edit.port = ClampPort(NumberField(p, IDC_SS_PORT, s_edit.port));
    s_edit.passive = GetCheck(p, IDC_SS_PASV);
    if (s_edit.name[0])
        SaveSession(&s_edit);
}

// ---------------------------------------------------------------- Firewall

static void FirewallEnable(HWND p)
{
    const int on = GetCheck(p, IDC_SS_USEFW);
    for (int id : {IDC_SS_FWHOST, IDC_SS_FWUSER, IDC_SS_FWPASS, IDC_SS_FWSAVE, IDC_SS_FWPORT})
        EnableWindow(GetDlgItem(p, id), on);
    for (int i = 0; i < 8; ++i)
        EnableWindow(GetDlgItem(p, IDC_SS_FWTYPE0 + i), on);
}

static void FirewallInit(HWND p)
{
    SetCheck(p, IDC_SS_USEFW, s_edit.useFirewall);
    char text[256] = "";
    SendDlgItemMessageA(p, IDC_SS_FWHOST, EM_LIMITTEXT, 250, 0);
    SendDlgItemMessageA(p, IDC_SS_FWUSER, EM_LIMITTEXT, 79, 0);
    SendDlgItemMessageA(p, IDC_SS_FWPASS, EM_LIMITTEXT, 79, 0);
    SendDlgItemMessageA(p, IDC_SS_FWPORT, EM_LIMITTEXT, 5, 0);
    ReadIniText("FIREWALL", "HOST", "", text, sizeof text);
    SetDlgItemTextA(p, IDC_SS_FWHOST, text);
    char user[80] = "";
    ReadIniText("FIREWALL", "UID", "", user, sizeof user);
    SetDlgItemTextA(p, IDC_SS_FWUSER, user);
    char stored[512], pwd[80] = "";
    if (ReadIniText("FIREWALL", "PWD", "", stored, sizeof stored) && stored[0] && user[0] &&
        !DescramblePassword(stored, pwd, sizeof pwd))
        pwd[0] = 0;
    SetDlgItemTextA(p, IDC_SS_FWPASS, pwd);
    SetCheck(p, IDC_SS_FWSAVE, pwd[0] != 0);
    SetDlgItemInt(p, IDC_SS_FWPORT, (UINT)ReadIniInt("FIREWALL", "PORT", 21), FALSE);
    int type = ReadIniInt("FIREWALL", "FIRETYPE", 1);
    if (type >= 0 && type < 8)
        CheckRadioButton(p, IDC_SS_FWTYPE0, IDC_SS_FWTYPE0 + 7, IDC_SS_FWTYPE0 + type);
    FirewallEnable(p);
}

static void FirewallApply(HWND p)
{
    s_edit.useFirewall = GetCheck(p, IDC_SS_USEFW);
    if (s_edit.useFirewall) {
        std::string user = TextField(p, IDC_SS_FWUSER, 79), pwd = TextField(p, IDC_SS_FWPASS, 79);
        WriteIniText("FIREWALL", "HOST", TextField(p, IDC_SS_FWHOST, 250).c_str());
        WriteIniText("FIREWALL", "UID", user.c_str());
        if (GetCheck(p, IDC_SS_FWSAVE) && !pwd.empty() && !s_noSavePwd) {
            char buf[600];
            ScramblePassword(user.c_str(), pwd.c_str(), buf, sizeof buf);
            WriteIniText("FIREWALL", "PWD", buf[0] ? buf : nullptr);
        } else {
            WriteIniText("FIREWALL", "PWD", nullptr);
        }
        int type = CheckedRadio(p, IDC_SS_FWTYPE0, 8, 3);
        char t[4] = {(char)('0' + type), 0};
        WriteIniText("FIREWALL", "FIRETYPE", t);
        s_edit.fireType = type;
        // The firewall's port is its own: the session keeps "Remote Port".
        WriteIniUInt("FIREWALL", "PORT", (unsigned)ClampFirePort(NumberField(p, IDC_SS_FWPORT, 21)));
    }
    if (s_edit.name[0])
        SaveSession(&s_edit);
}

static int FirewallCommand(HWND p, int id, int code)
{
    if (id == IDC_SS_USEFW && code == BN_CLICKED)
        FirewallEnable(p);
    return 0;
}

static const PageDef kSessionPages[4] = {
    {IDD_SES_GENERAL, GeneralInit, GeneralApply, GeneralCommand, 300, nullptr},
    {IDD_SES_STARTUP, StartupInit, StartupApply, nullptr, 301, ReloadingPageProc},
    {IDD_SES_ADVANCED, AdvancedInit, AdvancedApply, nullptr, 302, ReloadingPageProc},
    {IDD_SES_FIREWALL, FirewallInit, FirewallApply, FirewallCommand, 303, ReloadingPageProc},
};

int SessionSheet(HWND owner)
{
    s_edit = g_session;
    if (!s_edit.timeout)
        s_edit.timeout = 65;
    if (!s_edit.port)
        s_edit.port = 21;
    s_applied = 0;
    RunSheet(owner, "Session", kSessionPages, 4, 0, PSH_NOAPPLYNOW);
    if (!s_applied || !s_edit.host[0])
        return 0;
    g_session = s_edit;
    snprintf(g_cfg.session, sizeof g_cfg.session, "%s", g_session.name);
    // The session's option keys replace the program's current values.
    if (g_session.name[0])
        LoadSessionOptions(g_session.name);
    g_cfg.pasvmode = g_session.passive;
    return 1;
}

} // namespace t95
