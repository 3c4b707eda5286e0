// The program properties sheet (TESSEL_ModifyFTPInfo): global settings and
// the "_config_" profile's preferences and firewall, on seven pages served
// by one page procedure.
#include "sitesint.h"
#include "resource.h"
#include "engine.h"

#include <commctrl.h>
#include <stdio.h>
#include <string.h>

namespace {

enum Page { kPreferences, kDirectories, kSiteList, kLogging, kDebug, kFirewall, kExtensions, kPageCount };

const WORD kPageDialogs[kPageCount] = {IDD_PREFERENCES, IDD_DIRECTORIES, IDD_SITELIST, IDD_LOGGING,
                                       IDD_DEBUG,       IDD_FIREWALL,    IDD_EXTENSIONS};

struct PrefBox {
    int id;
    uint32_t bit;
};
const PrefBox kPrefBoxes[] = {
    {IDC_PREF_STATUSDLG, SITE_STATUS_DLG},   {IDC_PREF_COMPLETEDLG, SITE_DLG_COMPLETE},
    {IDC_PREF_OVERWRITE, SITE_CONFIRM_OVERWRITE}, {IDC_PREF_DELETE, SITE_CONFIRM_DELETE},
    {IDC_PREF_PROMPT, SITE_PROMPT_NAME},     {IDC_PREF_RETAIN, SITE_RETAIN_TIME},
    {IDC_PREF_LOWER, SITE_FORCE_LOWER},      {IDC_PREF_REGET, SITE_AUTO_REGET},
    {IDC_PREF_CONVEXT, SITE_CONVERT_EXT},
};

// Context help: control -> topic of the help file.
const DWORD kHelpIds[] = {
    IDC_PREF_STATUSDLG, 0x60190001, IDC_PREF_COMPLETEDLG, 0x60190002, IDC_PREF_OVERWRITE, 0x60190003,
    IDC_PREF_DELETE, 0x60190004, IDC_PREF_PROMPT, 0x60190005, IDC_PREF_RETAIN, 0x60190006,
    IDC_PREF_LOWER, 0x60190007, IDC_PREF_REGET, 0x60190008, IDC_PREF_MOVE, 0x60190009,
    IDC_PREF_EMAIL, 0x6019000A, IDC_PREF_APPLYALL, 0x6019000B, IDC_DIR_PROGRAM, 0x60200001,
    IDC_DIR_TEMP, 0x60200002, IDC_DIR_DOWNLOAD, 0x60200003, IDC_LIST_REGISTRY, 0x60210001,
    IDC_LIST_INI, 0x60210002, IDC_LIST_INIPATH, 0x60210003, IDC_LOG_ENABLE, 0x60290001,
    IDC_LOG_FILE, 0x60290002, IDC_LOG_VIEW, 0x60290003, IDC_LOG_DELETE, 0x60290004,
    IDC_FW_TYPE, 0x60310001, IDC_FW_HOST, 0x60310002, IDC_FW_PORT, 0x60310003,
    IDC_FW_USER, 0x60310004, IDC_FW_SAVEPASS, 0x60310005, IDC_FW_PASSWORD, 0x60310006,
    IDC_FW_CONFIRM, 0x60310007, IDC_EXT_EDIT, 0x60380001, IDC_EXT_ADD, 0x60380002,
    IDC_EXT_DELETE, 0x60380003, IDC_EXT_LIST, 0x60380004, 0, 0,
};

// What the box shows instead of the stored firewall password.
const char kPasswordMask[] = "password";

struct SheetState {
    FTPINFO info;
    uint32_t originalFlags;
    FTPSITEINFO config;
    std::vector<std::string> exts;
    bool extsLoaded = false;
    bool applied = false;
    bool fwPasswordEdited = false;
    bool initialising = false;
};

struct PageContext {
    SheetState *state;
    int page;
};

std::string ItemText(HWND dlg, int id)
{
    HWND c = GetDlgItem(dlg, id);
    int n = GetWindowTextLengthA(c);
    std::string s((size_t)n + 1, '\0');
    GetWindowTextA(c, &s[0], n + 1);
    s.resize(strlen(s.c_str()));
    return s;
}

void ItemToField(HWND dlg, int id, char *field, size_t size)
{
    std::string s = ItemText(dlg, id);
    size_t n = s.size() < size - 1 ? s.size() : size - 1;
    memcpy(field, s.data(), n);
    field[n] = 0;
}

void Message(HWND owner, UINT id, const char *fallback)
{
    MessageBoxA(owner, LoadStr(id, fallback).c_str(), LoadStr(IDS_PRODUCT, "Quillfold").c_str(),
                MB_OK | MB_ICONEXCLAMATION);
}

BOOL FileOpens(const char *path)
{
    HANDLE h = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return FALSE;
    CloseHandle(h);
    return TRUE;
}

void SetPrefBoxes(HWND dlg, uint32_t flags)
{
    for (const auto &b : kPrefBoxes)
        CheckDlgButton(dlg, b.id, (flags & b.bit) ? BST_CHECKED : BST_UNCHECKED);
}

uint32_t PrefBoxFlags(HWND dlg, uint32_t flags)
{
    for (const auto &b : kPrefBoxes) {
        if (IsDlgButtonChecked(dlg, b.id) == BST_CHECKED)
            flags |= b.bit;
        else
            flags &= ~b.bit;
    }
    return flags;
}

void UpdateSiteListControls(HWND dlg)
{
    const BOOL connected = OpenConnectionCount() > 0;
    EnableWindow(GetDlgItem(dlg, IDC_LIST_REGISTRY), !connected);
    EnableWindow(GetDlgItem(dlg, IDC_LIST_INI), !connected);
    EnableWindow(GetDlgItem(dlg, IDC_LIST_INIPATH),
                 !connected && IsDlgButtonChecked(dlg, IDC_LIST_INI) == BST_CHECKED);
    ShowWindow(GetDlgItem(dlg, IDC_LIST_NOTE), connected ? SW_SHOW : SW_HIDE);
}

void UpdateFirewallControls(HWND dlg)
{
    const BOOL any = SendDlgItemMessageA(dlg, IDC_FW_TYPE, CB_GETCURSEL, 0, 0) > 0;
    const BOOL save = IsDlgButtonChecked(dlg, IDC_FW_SAVEPASS) == BST_CHECKED;
    for (int id : {IDC_FW_HOST, IDC_FW_PORT, IDC_FW_USER, IDC_FW_SAVEPASS})
        EnableWindow(GetDlgItem(dlg, id), any);
    EnableWindow(GetDlgItem(dlg, IDC_FW_PASSWORD), any && save);
    EnableWindow(GetDlgItem(dlg, IDC_FW_CONFIRM), any && save);
}

void InitPage(HWND dlg, SheetState *st, int page)
{
    st->initialising = true;
    switch (page) {
    case kPreferences:
        SetPrefBoxes(dlg, st->config.flags);
        CheckDlgButton(dlg, IDC_PREF_MOVE, (st->info.flags & FTPINFO_ALLOW_MOVE) ? BST_CHECKED : BST_UNCHECKED);
        SendDlgItemMessageA(dlg, IDC_PREF_EMAIL, EM_LIMITTEXT, sizeof st->info.email - 1, 0);
        SetDlgItemTextA(dlg, IDC_PREF_EMAIL, st->info.email);
        break;
    case kDirectories:
        SetDlgItemTextA(dlg, IDC_DIR_PROGRAM, st->info.topDir);
        SendDlgItemMessageA(dlg, IDC_DIR_TEMP, EM_LIMITTEXT, 259, 0);
        SendDlgItemMessageA(dlg, IDC_DIR_DOWNLOAD, EM_LIMITTEXT, 259, 0);
        SetDlgItemTextA(dlg, IDC_DIR_TEMP, st->info.tmpDir);
        SetDlgItemTextA(dlg, IDC_DIR_DOWNLOAD, st->info.dlDir);
        break;
    case kSiteList:
        CheckRadioButton(dlg, IDC_LIST_REGISTRY, IDC_LIST_INI,
                         (st->info.flags & FTPINFO_INI_STORE) ? IDC_LIST_INI : IDC_LIST_REGISTRY);
        SendDlgItemMessageA(dlg, IDC_LIST_INIPATH, EM_LIMITTEXT, 259, 0);
        SetDlgItemTextA(dlg, IDC_LIST_INIPATH, st->info.iniPath);
        UpdateSiteListControls(dlg);
        break;
    case kLogging:
    case kDebug: {
        uint32_t bit = page == kLogging ? FTPINFO_TRANSFER_LOG : FTPINFO_DEBUG_LOG;
        CheckDlgButton(dlg, IDC_LOG_ENABLE, (st->info.flags & bit) ? BST_CHECKED : BST_UNCHECKED);
        SendDlgItemMessageA(dlg, IDC_LOG_FILE, EM_LIMITTEXT, 259, 0);
        SetDlgItemTextA(dlg, IDC_LOG_FILE, page == kLogging ? st->info.logFile : st->info.debugFile);
        EnableWindow(GetDlgItem(dlg, IDC_LOG_FILE), (st->info.flags & bit) != 0);
        break;
    }
    case kFirewall: {
        for (int i = 0; i < 9; i++) {
            static const char *const names[9] = {"None",
                                                 "SITE hostname",
                                                 "USER after logon",
                                                 "USER with no logon",
                                                 "Proxy OPEN",
                                                 "USER remoteID@remoteHost fireID",
                                                 "USER fireID@remoteHost",
                                                 "Transparent",
                                                 "USER remoteID@fireID@remoteHost"};
            SendDlgItemMessageA(dlg, IDC_FW_TYPE, CB_ADDSTRING, 0,
                                (LPARAM)LoadStr(IDS_FWTYPE_FIRST + i, names[i]).c_str());
        }
        int type = st->config.fwType;
        SendDlgItemMessageA(dlg, IDC_FW_TYPE, CB_SETCURSEL, (type >= 0 && type <= 8) ? type : 0, 0);
        SendDlgItemMessageA(dlg, IDC_FW_HOST, EM_LIMITTEXT, 255, 0);
        SendDlgItemMessageA(dlg, IDC_FW_USER, EM_LIMITTEXT, 255, 0);
        SendDlgItemMessageA(dlg, IDC_FW_PASSWORD, EM_LIMITTEXT, 255, 0);
        SendDlgItemMessageA(dlg, IDC_FW_CONFIRM, EM_LIMITTEXT, 255, 0);
        SetDlgItemTextA(dlg, IDC_FW_HOST, st->config.fwHost);
        SetDlgItemInt(dlg, IDC_FW_PORT, (UINT)st->config.fwPort, FALSE);
        SetDlgItemTextA(dlg, IDC_FW_USER, st->config.fwUser);
        CheckDlgButton(dlg, IDC_FW_SAVEPASS, (st->config.flags & SITE_SAVE_FWPASS) ? BST_CHECKED : BST_UNCHECKED);
        SetDlgItemTextA(dlg, IDC_FW_PASSWORD, kPasswordMask);
        SetDlgItemTextA(dlg, IDC_FW_CONFIRM, kPasswordMask);
        UpdateFirewallControls(dlg);
        break;
    }
    case kExtensions:
        if (!st->extsLoaded) {
            st->exts = ReadExtensionList(st->info.extFile);
            st->extsLoaded = true;
        }
        SendDlgItemMessageA(dlg, IDC_EXT_EDIT, EM_LIMITTEXT, 9, 0);
        for (const auto &e : st->exts)
            SendDlgItemMessageA(dlg, IDC_EXT_LIST, LB_ADDSTRING, 0, (LPARAM)e.c_str());
        break;
    }
    st->initialising = false;
}

// Leaving a page: FALSE keeps the user on it.
BOOL ValidatePage(HWND dlg, SheetState *st, int page)
{
    if (page == kSiteList && IsDlgButtonChecked(dlg, IDC_LIST_INI) == BST_CHECKED) {
        std::string path = ItemText(dlg, IDC_LIST_INIPATH);
        if (!FileOpens(path.c_str())) {
            Message(dlg, IDS_INI_MISSING, "Can't locate specified .INI file");
            SetFocus(GetDlgItem(dlg, IDC_LIST_INIPATH));
            return FALSE;
        }
    }
    if (page == kFirewall && IsDlgButtonChecked(dlg, IDC_FW_SAVEPASS) == BST_CHECKED && st->fwPasswordEdited &&
        ItemText(dlg, IDC_FW_PASSWORD) != ItemText(dlg, IDC_FW_CONFIRM)) {
        Message(dlg, IDS_PASSWORD_MISMATCH, "Password mismatch");
        SetFocus(GetDlgItem(dlg, IDC_FW_PASSWORD));
        SendDlgItemMessageA(dlg, IDC_FW_PASSWORD, EM_SETSEL, 0, -1);
        return FALSE;
    }
    return TRUE;
}

void SavePage(HWND dlg, SheetState *st, int page)
{
    switch (page) {
    case kPreferences:
        st->config.flags = PrefBoxFlags(dlg, st->config.flags);
        if (IsDlgButtonChecked(dlg, IDC_PREF_MOVE) == BST_CHECKED)
            st->info.flags |= FTPINFO_ALLOW_MOVE;
        else
            st->info.flags &= ~FTPINFO_ALLOW_MOVE;
        ItemToField(dlg, IDC_PREF_EMAIL, st->info.email, sizeof st->info.email);
        break;
    case kDirectories:
        ItemToField(dlg, IDC_DIR_TEMP, st->info.tmpDir, sizeof st->info.tmpDir);
        ItemToField(dlg, IDC_DIR_DOWNLOAD, st->info.dlDir, sizeof st->info.dlDir);
        break;
    case kSiteList:
        if (IsDlgButtonChecked(dlg, IDC_LIST_INI) == BST_CHECKED)
            st->info.flags |= FTPINFO_INI_STORE;
        else
            st->info.flags &= ~FTPINFO_INI_STORE;
        ItemToField(dlg, IDC_LIST_INIPATH, st->info.iniPath, sizeof st->info.iniPath);
        break;
    case kLogging:
    case kDebug: {
        uint32_t bit = page == kLogging ? FTPINFO_TRANSFER_LOG : FTPINFO_DEBUG_LOG;
        if (IsDlgButtonChecked(dlg, IDC_LOG_ENABLE) == BST_CHECKED)
            st->info.flags |= bit;
        else
            st->info.flags &= ~bit;
        if (page == kLogging)
            ItemToField(dlg, IDC_LOG_FILE, st->info.logFile, sizeof st->info.logFile);
        else
            ItemToField(dlg, IDC_LOG_FILE, st->info.debugFile, sizeof st->info.debugFile);
        break;
    }
    case kFirewall: {
        LRESULT type = SendDlgItemMessageA(dlg, IDC_FW_TYPE, CB_GETCURSEL, 0, 0);
        st->config.fwType = type > 0 ? (int32_t)type : 0;
        if (st->config.fwType > 0)
            st->config.flags |= SITE_USE_FIREWALL;
        else
            st->config.flags &= ~SITE_USE_FIREWALL;
        ItemToField(dlg, IDC_FW_HOST, st->config.fwHost, sizeof st->config.fwHost);
        st->config.fwPort = (int32_t)GetDlgItemInt(dlg, IDC_FW_PORT, nullptr, FALSE);
        ItemToField(dlg, IDC_FW_USER, st->config.fwUser, sizeof st->config.fwUser);
        if (IsDlgButtonChecked(dlg, IDC_FW_SAVEPASS) == BST_CHECKED) {
            st->config.flags |= SITE_SAVE_FWPASS;
            // An untouched box still shows the mask: the stored password stays.
            if (st->fwPasswordEdited)
                ItemToField(dlg, IDC_FW_PASSWORD, st->config.fwPassword, sizeof st->config.fwPassword);
        } else {
            st->config.flags &= ~SITE_SAVE_FWPASS;
        }
        break;
    }
    case kExtensions: {
        st->exts.clear();
        LRESULT n = SendDlgItemMessageA(dlg, IDC_EXT_LIST, LB_GETCOUNT, 0, 0);
        for (LRESULT i = 0; i < n; i++) {
            char buf[64] = "";
            if (SendDlgItemMessageA(dlg, IDC_EXT_LIST, LB_GETTEXTLEN, (WPARAM)i, 0) < (LRESULT)sizeof buf)
                SendDlgItemMessageA(dlg, IDC_EXT_LIST, LB_GETTEXT, (WPARAM)i, (LPARAM)buf);
            st->exts.push_back(buf);
        }
        break;
    }
    }
}

void ViewOrDeleteLog(HWND dlg, int page, bool remove)
{
    std::string file = ItemText(dlg, IDC_LOG_FILE);
    if (!FileOpens(file.c_str())) {
        Message(dlg, IDS_FILE_MISSING, "File doesn't exist");
        return;
    }
    if (!remove) {
        std::string cmd = "notepad " + file;
        WinExec(cmd.c_str(), SW_SHOWNORMAL);
        return;
    }
    DebugLogLine(page == kLogging ? "delete log file '%s' (%s,%ld)\n" : "delete debug file '%s' (%s,%ld)\n",
                 file.c_str(), "addsite", (long)__LINE__);
    PlayEventSound(DeleteFileA(file.c_str()) ? "TESSEL_DelFile" : "TESSEL_Failure");
}

void ApplyToAll(HWND dlg, SheetState *st)
{
    FTPSITEINFO *config = new FTPSITEINFO;
    config->size = sizeof *config;
    ReadSiteProfile(FTPSITE_CONFIG_NAME, config, nullptr);
    config->flags = PrefBoxFlags(dlg, config->flags);
    TESSEL_SetFTPSiteInfo(config);
    TESSEL_ApplyFTPSiteInfo(config, 1);
    st->config.flags = (st->config.flags & ~SITE_PREFERENCE_MASK) | (config->flags & SITE_PREFERENCE_MASK);
    SecureZeroMemory(config, sizeof *config);
    delete config;
}

void OnCommand(HWND dlg, SheetState *st, int page, int id, int code)
{
    switch (id) {
    case IDC_PREF_APPLYALL:
        if (code == BN_CLICKED)
            ApplyToAll(dlg, st);
        return;
    case IDC_LIST_REGISTRY:
    case IDC_LIST_INI:
        UpdateSiteListControls(dlg);
        break;
    case IDC_LOG_ENABLE:
        EnableWindow(GetDlgItem(dlg, IDC_LOG_FILE), IsDlgButtonChecked(dlg, IDC_LOG_ENABLE) == BST_CHECKED);
        break;
    case IDC_LOG_VIEW:
    case IDC_LOG_DELETE:
        if (code == BN_CLICKED)
            ViewOrDeleteLog(dlg, page, id == IDC_LOG_DELETE);
        return;
    case IDC_FW_TYPE:
        if (code != CBN_SELCHANGE)
            return;
        UpdateFirewallControls(dlg);
        break;
    case IDC_FW_SAVEPASS:
        UpdateFirewallControls(dlg);
        break;
    case IDC_FW_PASSWORD:
    case IDC_FW_CONFIRM:
        if (code != EN_CHANGE || st->initialising)
            return;
        st->fwPasswordEdited = true;
        break;
    case IDC_EXT_ADD: {
        std::string text = ItemText(dlg, IDC_EXT_EDIT);
        if (text.size() >= 2 &&
            SendDlgItemMessageA(dlg, IDC_EXT_LIST, LB_FINDSTRINGEXACT, (WPARAM)-1, (LPARAM)text.c_str()) ==
                LB_ERR)
            SendDlgItemMessageA(dlg, IDC_EXT_LIST, LB_ADDSTRING, 0, (LPARAM)text.c_str());
        // Keep the list in step at once: which pages see PSN_APPLY when OK
        // is pressed differs between property-sheet implementations.
        SavePage(dlg, st, kExtensions);
        break;
    }
    case IDC_EXT_DELETE: {
        std::string text = ItemText(dlg, IDC_EXT_EDIT);
        LRESULT at = SendDlgItemMessageA(dlg, IDC_EXT_LIST, LB_FINDSTRINGEXACT, (WPARAM)-1, (LPARAM)text.c_str());
        if (at != LB_ERR)
            SendDlgItemMessageA(dlg, IDC_EXT_LIST, LB_DELETESTRING, (WPARAM)at, 0);
        SetDlgItemTextA(dlg, IDC_EXT_EDIT, "");
        SavePage(dlg, st, kExtensions);
        break;
    }
    case IDC_EXT_LIST:
        if (code == LBN_DBLCLK) {
            LRESULT sel = SendDlgItemMessageA(dlg, IDC_EXT_LIST, LB_GETCURSEL, 0, 0);
            char buf[64] = "";
            if (sel != LB_ERR &&
                SendDlgItemMessageA(dlg, IDC_EXT_LIST, LB_GETTEXTLEN, (WPARAM)sel, 0) < (LRESULT)sizeof buf) {
                SendDlgItemMessageA(dlg, IDC_EXT_LIST, LB_GETTEXT, (WPARAM)sel, (LPARAM)buf);
                SetDlgItemTextA(dlg, IDC_EXT_EDIT, buf);
            }
        }
        return;
    default:
        return;
    }
    if (!st->initialising)
        PropSheet_Changed(GetParent(dlg), dlg);
}

INT_PTR CALLBACK PageProc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp)
{
    PageContext *ctx = (PageContext *)GetWindowLongPtrA(dlg, DWLP_USER);
    switch (msg) {
    case WM_INITDIALOG: {
        ctx = (PageContext *)((PROPSHEETPAGEA *)lp)->lParam;
        SetWindowLongPtrA(dlg, DWLP_USER, (LONG_PTR)ctx);
        InitPage(dlg, ctx->state, ctx->page);
        return TRUE;
    }
    case WM_COMMAND:
        if (ctx)
            OnCommand(dlg, ctx->state, ctx->page, LOWORD(wp), HIWORD(wp));
        return TRUE;
    case WM_NOTIFY: {
        if (!ctx)
            return FALSE;
        NMHDR *nm = (NMHDR *)lp;
        if (nm->code == PSN_KILLACTIVE) {
            BOOL ok = ValidatePage(dlg, ctx->state, ctx->page);
            if (ok)
                SavePage(dlg, ctx->state, ctx->page);
            SetWindowLongPtrA(dlg, DWLP_MSGRESULT, ok ? FALSE : TRUE);
            return TRUE;
        }
        if (nm->code == PSN_APPLY) {
            SavePage(dlg, ctx->state, ctx->page);
            ctx->state->applied = true;
            SetWindowLongPtrA(dlg, DWLP_MSGRESULT, PSNRET_NOERROR);
            return TRUE;
        }
        return FALSE;
    }
    case WM_HELP: {
        if (!ctx || !ctx->state->info.helpFile[0])
            return TRUE;
        HELPINFO *hi = (HELPINFO *)lp;
        WinHelpA((HWND)hi->hItemHandle, ctx->state->info.helpFile, HELP_WM_HELP, (ULONG_PTR)kHelpIds);
        return TRUE;
    }
    case WM_CONTEXTMENU:
        if (ctx && ctx->state->info.helpFile[0])
            WinHelpA((HWND)wp, ctx->state->info.helpFile, HELP_CONTEXTMENU, (ULONG_PTR)kHelpIds);
        return TRUE;
    }
    return FALSE;
}

} // namespace

TESSEL_EXTERN_C HRESULT TESSEL_API TESSEL_ModifyFTPInfo(HWND parent, FTPINFO *infoOut)
{
    if (infoOut && infoOut->size < FTPINFO_SIZE)
        return E_INVALIDARG;
    SheetState *st = new SheetState;
    memset(&st->info, 0, sizeof st->info);
    st->info.size = sizeof st->info;
    TESSEL_GetFTPInfo(&st->info, TRUE);
    st->originalFlags = st->info.flags;
    st->config.size = sizeof st->config;
    ReadSiteProfile(FTPSITE_CONFIG_NAME, &st->config, nullptr);

    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_WIN95_CLASSES};
    InitCommonControlsEx(&icc);
    PageContext ctx[kPageCount];
    HPROPSHEETPAGE pages[kPageCount];
    int made = 0;
    for (int i = 0; i < kPageCount; i++) {
        ctx[i] = {st, i};
        PROPSHEETPAGEA p;
        memset(&p, 0, sizeof p);
        p.dwSize = sizeof p;
        p.dwFlags = PSP_HASHELP;
        p.hInstance = TesselModule();
        p.pszTemplate = MAKEINTRESOURCEA(kPageDialogs[i]);
        p.pfnDlgProc = PageProc;
        p.lParam = (LPARAM)&ctx[i];
        HPROPSHEETPAGE h = CreatePropertySheetPageA(&p);
        if (h)
            pages[made++] = h;
    }
    // The title string is printf-style ("%s Properties").
    char caption[300];
    snprintf(caption, sizeof caption, LoadStr(IDS_PROPERTIES_TITLE, "%s Properties").c_str(),
             LoadStr(IDS_PRODUCT, "Quillfold").c_str());
    PROPSHEETHEADERA h;
    memset(&h, 0, sizeof h);
    h.dwSize = sizeof h;
    h.dwFlags = PSH_NOAPPLYNOW | PSH_HASHELP;
    h.hwndParent = parent;
    h.hInstance = TesselModule();
    h.pszCaption = caption;
    h.nPages = (UINT)made;
    h.phpage = pages;
    INT_PTR r = made == kPageCount ? PropertySheetA(&h) : -1;
    if (made != kPageCount)
        for (int i = 0; i < made; i++)
            DestroyPropertySheetPage(pages[i]);

    HRESULT hr = E_ABORT;
    if (r > 0 && st->applied) {
        hr = TESSEL_SetFTPInfo(&st->info);
        TESSEL_SetFTPSiteInfo(&st->config);
        if (st->extsLoaded)
            WriteExtensionList(st->info.extFile, st->exts);
        if (infoOut) {
            uint32_t size = infoOut->size;
            memcpy(infoOut, &st->info, sizeof st->info);
            infoOut->size = size;
        }
        if ((st->info.flags ^ st->originalFlags) & (FTPINFO_INI_STORE | FTPINFO_MACHINE_WIDE))
            NotifyRootRefresh();
    } else if (r < 0) {
        hr = E_FAIL;
    }
    SecureZeroMemory(&st->config, sizeof st->config);
    delete st;
    return hr;
}
