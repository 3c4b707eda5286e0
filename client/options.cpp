// The Options sheet: the page machinery shared with the Session sheet, the
// write rules, and the pages General, Advanced, Display, Sort, Pro,
// Session and Session (cont'd).  Every control writes one key of
// TESSEL.INI and the matching field of the program's settings.
#include "options.h"
#include "resource.h"

#include "tessel_engine.h"

#include <commdlg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace t95 {

// ---------------------------------------------------------------- sheets and pages

INT_PTR CALLBACK PageProc(HWND page, UINT msg, WPARAM wp, LPARAM lp)
{
    const PageDef *def = (const PageDef *)GetWindowLongPtrA(page, DWLP_USER);
    switch (msg) {
    case WM_INITDIALOG:
        def = (const PageDef *)((const PROPSHEETPAGEA *)lp)->lParam;
        SetWindowLongPtrA(page, DWLP_USER, (LONG_PTR)def);
        if (def->init)
            def->init(page);
        // Edits made while filling the page are not the user's.
        SetWindowLongPtrA(page, GWLP_USERDATA, 1);
        return TRUE;
    case WM_COMMAND: {
        if (!def || !GetWindowLongPtrA(page, GWLP_USERDATA))
            break;
        const int id = LOWORD(wp), code = HIWORD(wp);
        int changed = def->command ? def->command(page, id, code) : 0;
        if (changed || code == BN_CLICKED || code == EN_CHANGE || code == CBN_SELCHANGE || code == CBN_EDITCHANGE)
            PropSheet_Changed(GetParent(page), page);
        return TRUE;
    }
    case WM_NOTIFY: {
        const NMHDR *n = (const NMHDR *)lp;
        if (!def)
            break;
        if (n->code == PSN_APPLY) {
            if (def->apply)
                def->apply(page);
            SetWindowLongPtrA(page, DWLP_MSGRESULT, PSNRET_NOERROR);
            return TRUE;
        }
        if (n->code == PSN_HELP) {
            WinHelpA(page, g_files.hlp, HELP_CONTEXT, (ULONG_PTR)def->helpTopic);
            return TRUE;
        }
        break;
    }
    }
    return FALSE;
}

INT_PTR RunSheet(HWND owner, const char *title, const PageDef *pages, int count, int startPage, DWORD flags,
                 PFNPROPSHEETCALLBACK callback)
{
    std::vector<PROPSHEETPAGEA> psp((size_t)count);
    for (int i = 0; i < count; ++i) {
        PROPSHEETPAGEA &p = psp[(size_t)i];
        memset(&p, 0, sizeof p);
        p.dwSize = sizeof p;
        p.dwFlags = PSP_HASHELP;
        p.hInstance = g_inst;
        p.pszTemplate = MAKEINTRESOURCEA(pages[i].dialog);
        p.pfnDlgProc = pages[i].proc ? pages[i].proc : PageProc;
        p.lParam = (LPARAM)&pages[i];
    }
    PROPSHEETHEADERA h = {};
    h.dwSize = sizeof h;
    h.dwFlags = PSH_PROPSHEETPAGE | PSH_HASHELP | flags | (callback ? PSH_USECALLBACK : 0);
    h.hwndParent = owner;
    h.hInstance = g_inst;
    h.pszCaption = title;
    h.nPages = (UINT)count;
    h.nStartPage = (UINT)startPage;
    h.ppsp = psp.data();
    h.pfnCallback = callback;
    return PropertySheetA(&h);
}

// ---------------------------------------------------------------- rules and helpers

void WriteConfigKey(const char *key, int value)
{
    WriteIniUInt(T95_CONFIG, key, (unsigned)value);
}

void WriteSessionKey(const char *key, int value)
{
    if (g_session.name[0])
        WriteSessionOption(g_session.name, key, value);
    else
        WriteConfigKey(key, value);
}

void SetCheck(HWND page, int id, int on) { CheckDlgButton(page, id, on ? BST_CHECKED : BST_UNCHECKED); }
int GetCheck(HWND page, int id) { return IsDlgButtonChecked(page, id) == BST_CHECKED; }

int CheckedRadio(HWND page, int first, int count, int def)
{
    for (int i = 0; i < count; ++i)
        if (GetCheck(page, first + i))
            return i;
    return def;
}

static void CheckRadio(HWND page, int first, int count, int index)
{
    if (index >= 0 && index < count)
        CheckRadioButton(page, first, first + count - 1, first + index);
}

int NumberField(HWND page, int id, int keep)
{
    char text[32] = "";
    if (GetDlgItemTextA(page, id, text, sizeof text) <= 0 || strlen(text) > 9)
        return keep;
    for (const char *p = text; *p; ++p)
        if (*p < '0' || *p > '9')
            return keep;
    return atoi(text);
}

int SignedField(HWND page, int id, int keep)
{
    char text[32] = "";
    if (GetDlgItemTextA(page, id, text, sizeof text) <= 0 || strlen(text) > 6)
        return keep;
    const char *p = text + (text[0] == '-' || text[0] == '+');
    if (!*p)
        return keep;
    for (const char *q = p; *q; ++q)
        if (*q < '0' || *q > '9')
            return keep;
    return atoi(text);
}

std::string TextField(HWND page, int id, size_t max)
{
    std::vector<char> buf(max + 1);
    GetDlgItemTextA(page, id, buf.data(), (int)buf.size());
    return buf.data();
}

static void LimitText(HWND page, int id, int chars)
{
    SendDlgItemMessageA(page, id, EM_LIMITTEXT, (WPARAM)chars, 0);
}

void BrowseFile(HWND owner, int editId, const char *filter)
{
    char file[MAX_PATH] = "";
    GetDlgItemTextA(owner, editId, file, sizeof file);
    if (strpbrk(file, "*?\""))
        file[0] = 0;
    OPENFILENAMEA ofn = {};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = filter;
    ofn.lpstrFile = file;
    ofn.nMaxFile = sizeof file;
    ofn.Flags = OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
    if (GetOpenFileNameA(&ofn))
        SetDlgItemTextA(owner, editId, file);
}

int ClampBuffer(int v) { return v < 80 ? 80 : v > 4096 ? 4096 : v; }
int ClampRetries(int v) { return v > 49 ? 40 : v; }
int ClampTimeout(int v) { return v == 0 ? 65 : v; }
int ClampPort(int v) { return v <= 9 ? 21 : v > 65535 ? 21 : v; }
int ClampFirePort(int v) { return v <= 27 ? 21 : v > 65535 ? 21 : v; }

// A check box bound to a config key and a field.
struct CheckKey {
    int id;
    const char *key;
    int *field;
};

static void InitChecks(HWND page, const CheckKey *keys, size_t n)
{
    for (size_t i = 0; i < n; ++i)
        SetCheck(page, keys[i].id, *keys[i].field);
}

// Returns 1 when a value changed.
static int ApplyConfigChecks(HWND page, const CheckKey *keys, size_t n)
{
    int changed = 0;
    for (size_t i = 0; i < n; ++i) {
        int v = GetCheck(page, keys[i].id);
        changed |= v != *keys[i].field;
        *keys[i].field = v;
        WriteConfigKey(keys[i].key, v);
    }
    return changed;
}

// ---------------------------------------------------------------- General

static const char kProgramFilter[] = "Programs\0*.exe;*.pif;*.com;*.bat\0All Files (*.*)\0*.*\0\0";

static const CheckKey kGeneralChecks[] = {{IDC_O_VRFYDEL, "VRFYDEL", &g_cfg.vrfyDel},
                                          {IDC_O_FINDEXEC, "UseFindExec", &g_cfg.useFindExec},
                                          {IDC_O_VERBOSE, "VERBOSE", &g_cfg.verbose}};

static void GeneralInit(HWND p)
{
    LimitText(p, IDC_O_MAIL, 127);
    LimitText(p, IDC_O_VIEWER, 120);
    LimitText(p, IDC_O_LOGFILE, 155);
    SetDlgItemTextA(p, IDC_O_MAIL, g_cfg.mailAddr);
    SetDlgItemTextA(p, IDC_O_VIEWER, g_cfg.viewer);
    SetDlgItemTextA(p, IDC_O_LOGFILE, g_cfg.logfile);
    SetCheck(p, IDC_O_DOLOG, ReadIniInt(T95_CONFIG, "dolog", 1));
    InitChecks(p, kGeneralChecks, 3);
}

static void GeneralApply(HWND p)
{
    snprintf(g_cfg.mailAddr, sizeof g_cfg.mailAddr, "%s", TextField(p, IDC_O_MAIL, 127).c_str());
    snprintf(g_cfg.viewer, sizeof g_cfg.viewer, "%s", TextField(p, IDC_O_VIEWER, 120).c_str());
    std::string log = TextField(p, IDC_O_LOGFILE, 155);
    snprintf(g_cfg.logfile, sizeof g_cfg.logfile, "%s", log.empty() ? "TESSEL.LOG" : log.c_str());
    WriteIniText(T95_CONFIG, "MAILADDR", g_cfg.mailAddr);
    WriteIniText(T95_CONFIG, "VIEWER", g_cfg.viewer);
    WriteIniText(T95_CONFIG, "logfile", g_cfg.logfile);
    g_cfg.dolog = GetCheck(p, IDC_O_DOLOG);
    WriteConfigKey("dolog", g_cfg.dolog);
    ApplyConfigChecks(p, kGeneralChecks, 3);
}

static int GeneralCommand(HWND p, int id, int code)
{
    if (code != BN_CLICKED)
        return 0;
    if (id == IDC_O_VBROWSE)
        BrowseFile(p, IDC_O_VIEWER, kProgramFilter);
    else if (id == IDC_O_SAVELOC)
        SaveWindowLocations();
    else if (id == IDC_O_RESETLOC)
        ResetWindowLocations();
    return 0;
}

// ---------------------------------------------------------------- Advanced

static const CheckKey kAdvancedChecks[] = {{IDC_O_LONGDIR, "LONGDIR", &g_cfg.longDir},
                                           {IDC_O_AUTOSAVE, "AUTOSAVE", &g_cfg.autoSave},
                                           {IDC_O_AUTOSTART, "AUTOSTART", &g_cfg.autoStart}};

static void AdvancedInit(HWND p)
{
    InitChecks(p, kAdvancedChecks, 3);
    CheckRadio(p, IDC_O_BITS, 2, g_cfg.tranrate ? 1 : 0);
    CheckRadio(p, IDC_O_DBL0, 3, g_cfg.dblClk);
    LimitText(p, IDC_O_RBP, 6);
    LimitText(p, IDC_O_SBP, 6);
    SetDlgItemInt(p, IDC_O_RBP, (UINT)g_cfg.rbp, FALSE);
    SetDlgItemInt(p, IDC_O_SBP, (UINT)g_cfg.sbp, FALSE);
}

static void AdvancedApply(HWND p)
{
    ApplyConfigChecks(p, kAdvancedChecks, 3);
    g_cfg.tranrate = CheckedRadio(p, IDC_O_BITS, 2, g_cfg.tranrate);
    g_cfg.dblClk = CheckedRadio(p, IDC_O_DBL0, 3, g_cfg.dblClk);
    g_cfg.rbp = ClampBuffer(NumberField(p, IDC_O_RBP, g_cfg.rbp));
    g_cfg.sbp = ClampBuffer(NumberField(p, IDC_O_SBP, g_cfg.sbp));
    WriteConfigKey("tranrate", g_cfg.tranrate);
    WriteConfigKey("DBLCLK", g_cfg.dblClk);
    WriteConfigKey("RBP", g_cfg.rbp);
    WriteConfigKey("SBP", g_cfg.sbp);
}

// ---------------------------------------------------------------- Display

static const CheckKey kDisplayChecks[] = {
    {IDC_O_LAYOUT, "LAYOUT", &g_cfg.layout}, {IDC_O_BONTOP, "BONTOP", &g_cfg.bonTop},
    {IDC_O_HIDBTN, "HIDBTN", &g_cfg.hidBtn}, {IDC_O_SCALE, "SCALE", &g_cfg.scale},
    {IDC_O_BALLOON, "balloon", &g_cfg.balloon}, {IDC_O_LONGDATE, "LONGDATE", &g_cfg.longDate}};

static void DisplayInit(HWND p)
{
    InitChecks(p, kDisplayChecks, 6);
    CheckRadio(p, IDC_O_DATE0, 3, g_cfg.dateFmt);
    CheckRadio(p, IDC_O_FONT0, 5, g_cfg.font);
}

static void DisplayApply(HWND p)
{
    // Balloon help is the one check box that does not change the layout.
    int relayout = 0;
    for (size_t i = 0; i < 6; ++i)
        relayout |= i != 4 && GetCheck(p, kDisplayChecks[i].id) != *kDisplayChecks[i].field;
    ApplyConfigChecks(p, kDisplayChecks, 6);
    int dateFmt = CheckedRadio(p, IDC_O_DATE0, 3, g_cfg.dateFmt);
    relayout |= dateFmt != g_cfg.dateFmt;
    g_cfg.dateFmt = dateFmt;
    WriteConfigKey("DateFmt", dateFmt);
    int font = CheckedRadio(p, IDC_O_FONT0, 5, g_cfg.font);
    int fontChanged = font != g_cfg.font || font == 4;
    g_cfg.font = font;
    WriteConfigKey("FONT", font);
    if (fontChanged)
        ApplyListFont();
    if (relayout)
        RelayoutMain();
}

static int DisplayCommand(HWND p, int id, int code)
{
    if (id == IDC_O_FONT0 + 4 && code == BN_CLICKED)
        ChooseListFont(p);
    return 0;
}

// ---------------------------------------------------------------- Sort

static void SortToPage(HWND p, int first, int word)
{
    int key = word & SORT_KEYMASK;
    CheckRadio(p, first, 5, key <= 4 ? key : 1);
    SetCheck(p, first + 5, word & SORT_REVERSE);
    CheckRadio(p, first + 6, 3, (word & SORT_MIXED) ? 1 : (word & SORT_BOTTOM) ? 2 : 0);
}

static int SortFromPage(HWND p, int first, int old)
{
    int word = CheckedRadio(p, first, 5, old & SORT_KEYMASK);
    if (GetCheck(p, first + 5))
        word |= SORT_REVERSE;
    int place = CheckedRadio(p, first + 6, 3, 0);
    word |= place == 1 ? SORT_MIXED : place == 2 ? SORT_BOTTOM : 0;
    return word;
}

static void SortInit(HWND p)
{
    SortToPage(p, IDC_O_LSORT0, g_lsort);
    SortToPage(p, IDC_O_RSORT0, g_rsort);
}

static void SortApply(HWND p)
{
    int l = SortFromPage(p, IDC_O_LSORT0, g_lsort), r = SortFromPage(p, IDC_O_RSORT0, g_rsort);
    WriteConfigKey("LSORT", l);
    WriteConfigKey("RSORT", r);
    g_cfg.lsort = l;
    g_cfg.rsort = r;
    if (l != g_lsort) {
        g_lsort = l;
        Resort(0);
    }
    if (r != g_rsort) {
        g_rsort = r;
        Resort(1);
    }
}

// ---------------------------------------------------------------- Pro

static const CheckKey kProChecks[] = {{IDC_O_PRO0, "PRODRAG", &g_cfg.proDrag},
                                      {IDC_O_PRO0 + 1, "PROREGET", &g_cfg.proReget},
                                      {IDC_O_PRO0 + 2, "PROTIMES", &g_cfg.proTimes},
                                      {IDC_O_PRO0 + 3, "PROOVERW", &g_cfg.proOverw},
                                      {IDC_O_PRO0 + 4, "PRODIROW", &g_cfg.proDirOw}};

static void ProInit(HWND p) { InitChecks(p, kProChecks, 5); }
static void ProApply(HWND p) { ApplyConfigChecks(p, kProChecks, 5); }

// ---------------------------------------------------------------- Session

static const CheckKey kSessionChecks[] = {
    {IDC_O_SESS0, "DOUPDATE", &g_cfg.doupdate},     {IDC_O_SESS0 + 1, "HASH", &g_cfg.hash},
    {IDC_O_SESS0 + 2, "PASVMODE", &g_cfg.pasvmode}, {IDC_O_SESS0 + 3, "FIREWALL", &g_cfg.firewall},
    {IDC_O_SESS0 + 4, "FORCLOW", &g_cfg.forclow},   {IDC_O_SESS0 + 5, "CONVEXT", &g_cfg.convext},
    {IDC_O_SESS0 + 6, "RETAIN", &g_cfg.retain}};

static void SessionInit(HWND p)
{
    HWND type = GetDlgItem(p, IDC_O_HTYPE);
    TESSEL_AddHostTypesToListBox(type, 1);
    const int current = g_ftp.connected && g_ftp.hostType != 6000 ? g_ftp.hostType : g_session.hostType;
    int n = (int)SendMessageA(type, CB_GETCOUNT, 0, 0);
    for (int i = 0; i < n; ++i)
        if ((int)SendMessageA(type, CB_GETITEMDATA, i, 0) == current)
            SendMessageA(type, CB_SETCURSEL, i, 0);
    InitChecks(p, kSessionChecks, 7);
    EnableWindow(GetDlgItem(p, IDC_O_SAVEDIRS), g_ftp.connected);
}

static void SessionApply(HWND p)
{
    HWND type = GetDlgItem(p, IDC_O_HTYPE);
    int sel = (int)SendMessageA(type, CB_GETCURSEL, 0, 0);
    int t = sel >= 0 ? (int)SendMessageA(type, CB_GETITEMDATA, sel, 0) : g_session.hostType;
    if (t >= 6000 && t <= 6051) {
        if (g_session.name[0]) {
            char text[16];
            snprintf(text, sizeof text, "%u", (unsigned)t);
            WriteIniText(g_session.name, "TYPE", text);
        }
        const int was = g_ftp.hostType;
        g_session.hostType = t;
        if (g_ftp.connected && t != 6000 && t != was) {
            // The listing already here is read again with the new rules.
            g_ftp.hostType = t;
            if (g_remoteListFile[0] && g_main)
                DecodeListingFile(g_remoteListFile, Ctl(IDC_RLIST));
        }
    }
    for (const CheckKey &k : kSessionChecks) {
        *k.field = GetCheck(p, k.id);
        WriteSessionKey(k.key, *k.field);
    }
    g_session.passive = g_cfg.pasvmode;
    g_session.useFirewall = g_cfg.firewall;
}

static int SessionCommand(HWND p, int id, int code)
{
    if (code != BN_CLICKED)
        return 0;
    if (id == IDC_O_SDEFAULT) {
        // Acts at once: a later Cancel of the sheet does not undo it.
        for (const CheckKey &k : kSessionChecks)
            WriteConfigKey(k.key, GetCheck(p, k.id));
    } else if (id == IDC_O_SAVEDIRS && g_ftp.connected && g_session.name[0]) {
        char buf[300], dir[MAX_PATH];
        snprintf(buf, sizeof buf, "\"%s\"", g_ftp.remoteDir);
        WriteIniText(g_session.name, "DIR", buf);
        if (GetCurrentDirectoryA(sizeof dir, dir) && strlen(dir) < 144)
            WriteIniText(g_session.name, "LOCDIR", dir);
    }
    return 0;
}

// ---------------------------------------------------------------- Session (cont'd)

static const CheckKey kSession2Checks[] = {
    {IDC_O_STOU, "STOU", &g_cfg.stou}, {IDC_O_RECU, "RECU", &g_cfg.recu}, {IDC_O_PROMPT, "PROMPT", &g_cfg.prompt}};

static void Session2Init(HWND p)
{
    InitChecks(p, kSession2Checks, 3);
    CheckRadio(p, IDC_O_MODE0, 4, g_cfg.amode ? 3 : g_cfg.mode == 'A' ? 0 : g_cfg.mode == 'L' ? 2 : 1);
}

static int ModeOf(int radio, int current) { return radio == 0 ? 'A' : radio == 2 ? 'L' : radio == 1 ? 'I' : current; }

static void Session2Apply(HWND p)
{
    for (const CheckKey &k : kSession2Checks) {
        *k.field = GetCheck(p, k.id);
        WriteSessionKey(k.key, *k.field);
    }
    int radio = CheckedRadio(p, IDC_O_MODE0, 4, -1);
    if (radio == 3) {
        g_cfg.amode = 1;
    } else if (radio >= 0) {
        g_cfg.amode = 0;
        g_cfg.mode = ModeOf(radio, g_cfg.mode);
    }
    WriteSessionKey("AMODE", g_cfg.amode);
    WriteSessionKey("MODE", g_cfg.mode);
}

static int Session2Command(HWND p, int id, int code)
{
    if (id != IDC_O_S2DEFAULT || code != BN_CLICKED)
        return 0;
    for (const CheckKey &k : kSession2Checks)
        WriteConfigKey(k.key, GetCheck(p, k.id));
    int radio = CheckedRadio(p, IDC_O_MODE0, 4, -1);
    WriteConfigKey("AMODE", radio == 3);
    WriteConfigKey("MODE", radio == 0 ? 65 : radio == 2 ? 76 : 73);
    return 0;
}

// ---------------------------------------------------------------- the sheet

static const PageDef kOptionPages[11] = {
    {IDD_OPT_GENERAL, GeneralInit, GeneralApply, GeneralCommand, 200},
    {IDD_OPT_ADVANCED, AdvancedInit, AdvancedApply, nullptr, 201},
    {IDD_OPT_DISPLAY, DisplayInit, DisplayApply, DisplayCommand, 202},
    g_soundsPage,
    {IDD_OPT_SORT, SortInit, SortApply, nullptr, 204},
    {IDD_OPT_PRO, ProInit, ProApply, nullptr, 205},
    {IDD_OPT_SESSION, SessionInit, SessionApply, SessionCommand, 206},
    {IDD_OPT_SESSION2, Session2Init, Session2Apply, Session2Command, 207},
    g_convertPage,
    g_extensionsPage,
    g_assocPage,
};

void OptionsDialog(HWND owner)
{
    RunSheet(owner, T95_APPNAME, kOptionPages, 11, g_ftp.connected ? 6 : 0, PSH_PROPTITLE);
    UpdateButtons();
}

} // namespace t95
