// The client's small dialogs: text input (plain, masked, with the remote
// directory history), the session dialog of the Connect command, the sort
// dialog and the About box.
#include "client.h"
#include "resource.h"

#include "tessel_engine.h"

#include <stdio.h>
#include <string.h>

namespace t95 {

// ---------------------------------------------------------------- input

struct InputArgs {
    const char *prompt;
    char *buf;
    size_t size;
    int password;
    int history;
};

static INT_PTR CALLBACK InputProc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp)
{
    InputArgs *a = (InputArgs *)GetWindowLongPtrA(dlg, DWLP_USER);
    switch (msg) {
    case WM_INITDIALOG: {
        a = (InputArgs *)lp;
        SetWindowLongPtrA(dlg, DWLP_USER, lp);
        SetDlgItemTextA(dlg, IDC_INPUT_PROMPT, a->prompt);
        HWND edit = GetDlgItem(dlg, IDC_INPUT_EDIT);
        HWND combo = GetDlgItem(dlg, IDC_INPUT_COMBO);
        HWND field = a->history ? combo : edit;
        ShowWindow(a->history ? edit : combo, SW_HIDE);
        EnableWindow(a->history ? edit : combo, FALSE);
        if (a->history && g_main) {
            HWND src = GetDlgItem(g_main, IDC_RDIR);
            int n = (int)SendMessageA(src, CB_GETCOUNT, 0, 0);
            for (int i = 0; i < n; ++i) {
                char text[300];
                if (SendMessageA(src, CB_GETLBTEXTLEN, i, 0) < (LRESULT)sizeof text) {
                    SendMessageA(src, CB_GETLBTEXT, i, (LPARAM)text);
                    SendMessageA(combo, CB_ADDSTRING, 0, (LPARAM)text);
                }
            }
            SendMessageA(combo, CB_LIMITTEXT, a->size - 1, 0);
        } else {
            SendMessageA(edit, EM_LIMITTEXT, a->size - 1, 0);
            if (a->password)
                SendMessageA(edit, EM_SETPASSWORDCHAR, '*', 0);
        }
        SetWindowTextA(field, a->buf);
        SetFocus(field);
        SendMessageA(field, a->history ? CB_SETEDITSEL : EM_SETSEL, 0, a->history ? MAKELPARAM(0, -1) : -1);
        return FALSE;
    }
    case WM_COMMAND:
        if (LOWORD(wp) == IDOK) {
            GetDlgItemTextA(dlg, a->history ? IDC_INPUT_COMBO : IDC_INPUT_EDIT, a->buf, (int)a->size);
            EndDialog(dlg, 1);
            return TRUE;
        }
        if (LOWORD(wp) == IDCANCEL) {
            EndDialog(dlg, 0);
            return TRUE;
        }
        break;
    }
    return FALSE;
}

int InputBox(HWND owner, const char *prompt, char *buf, size_t size, int password, int history)
{
    if (!buf || size < 2)
        return 0;
    InputArgs a = {prompt, buf, size, password, history};
    buf[size - 1] = 0;
    return DialogBoxParamA(g_inst, MAKEINTRESOURCEA(IDD_INPUT), owner, InputProc, (LPARAM)&a) == 1;
}

// ---------------------------------------------------------------- session dialog

static SessionRec s_edit;

static void FillSessionNames(HWND combo)
{
    SendMessageA(combo, CB_RESETCONTENT, 0, 0);
    static char names[65536];
    DWORD n = GetPrivateProfileSectionNamesA(names, sizeof names, g_files.ini);
    for (const char *p = names; n && *p; p += strlen(p) + 1) {
        if (!lstrcmpiA(p, T95_CONFIG) || !lstrcmpiA(p, "FIREWALL") || !lstrcmpiA(p, "TESSEL"))
            continue;
        if (strlen(p) < sizeof s_edit.name)
            SendMessageA(combo, CB_ADDSTRING, 0, (LPARAM)p);
    }
}

static void SessionToDialog(HWND dlg, const SessionRec &s)
{
    SetDlgItemTextA(dlg, IDC_S_HOST, s.host);
    SetDlgItemTextA(dlg, IDC_S_USER, s.user);
    SetDlgItemTextA(dlg, IDC_S_PASS, s.password);
    SetDlgItemTextA(dlg, IDC_S_ACCT, s.account);
    SetDlgItemTextA(dlg, IDC_S_RDIR, s.remoteDir);
    SetDlgItemTextA(dlg, IDC_S_LDIR, s.localDir);
    SetDlgItemInt(dlg, IDC_S_PORT, (UINT)s.port, FALSE);
    SetDlgItemInt(dlg, IDC_S_TIMEOUT, (UINT)s.timeout, FALSE);
    CheckDlgButton(dlg, IDC_S_ANON, !lstrcmpiA(s.user, "anonymous") ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(dlg, IDC_S_SAVEPWD, s.savePwd ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(dlg, IDC_S_PASV, s.passive ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(dlg, IDC_S_FIREWALL, s.useFirewall ? BST_CHECKED : BST_UNCHECKED);
    HWND type = GetDlgItem(dlg, IDC_S_TYPE);
    int n = (int)SendMessageA(type, CB_GETCOUNT, 0, 0);
    for (int i = 0; i < n; ++i)
        if ((int)SendMessageA(type, CB_GETITEMDATA, i, 0) == s.hostType)
            SendMessageA(type, CB_SETCURSEL, i, 0);
    char comment[81] = "";
    if (s.name[0])
        ReadIniText(s.name, "COMMENT", "", comment, sizeof comment);
    SetDlgItemTextA(dlg, IDC_S_COMMENT, comment);
}

static void DialogToSession(HWND dlg, SessionRec &s)
{
    GetDlgItemTextA(dlg, IDC_S_NAME, s.name, sizeof s.name);
    GetDlgItemTextA(dlg, IDC_S_HOST, s.host, sizeof s.host);
    GetDlgItemTextA(dlg, IDC_S_USER, s.user, sizeof s.user);
    GetDlgItemTextA(dlg, IDC_S_PASS, s.password, sizeof s.password);
    GetDlgItemTextA(dlg, IDC_S_ACCT, s.account, sizeof s.account);
    GetDlgItemTextA(dlg, IDC_S_RDIR, s.remoteDir, sizeof s.remoteDir);
    GetDlgItemTextA(dlg, IDC_S_LDIR, s.localDir, sizeof s.localDir);
    BOOL ok;
    UINT port = GetDlgItemInt(dlg, IDC_S_PORT, &ok, FALSE);
    s.port = ok && port && port < 65536 ? (int)port : 21;
    UINT timeout = GetDlgItemInt(dlg, IDC_S_TIMEOUT, &ok, FALSE);
    s.timeout = ok && timeout ? (int)timeout : 65;
    s.savePwd = IsDlgButtonChecked(dlg, IDC_S_SAVEPWD) == BST_CHECKED;
    s.passive = IsDlgButtonChecked(dlg, IDC_S_PASV) == BST_CHECKED;
    s.useFirewall = IsDlgButtonChecked(dlg, IDC_S_FIREWALL) == BST_CHECKED;
    HWND type = GetDlgItem(dlg, IDC_S_TYPE);
    int sel = (int)SendMessageA(type, CB_GETCURSEL, 0, 0);
    s.hostType = sel >= 0 ? (int)SendMessageA(type, CB_GETITEMDATA, sel, 0) : 6000;
    if (s.hostType < 6000 || s.hostType > 6051)
        s.hostType = 6000;
    if (IsDlgButtonChecked(dlg, IDC_S_ANON) == BST_CHECKED) {
        strcpy(s.user, "anonymous");
        if (!s.password[0])
            snprintf(s.password, sizeof s.password, "%s", g_cfg.mailAddr);
    }
}

static void SaveFromDialog(HWND dlg)
{
    DialogToSession(dlg, s_edit);
    if (!s_edit.name[0])
        snprintf(s_edit.name, sizeof s_edit.name, "%.79s", s_edit.host);
    if (!s_edit.name[0])
        return;
    SaveSession(&s_edit);
    char comment[81];
    GetDlgItemTextA(dlg, IDC_S_COMMENT, comment, sizeof comment);
    WriteIniText(s_edit.name, "COMMENT", comment[0] ? comment : nullptr);
}

static INT_PTR CALLBACK SessionProc(HWND dlg, UINT msg, WPARAM wp, LPARAM)
{
    switch (msg) {
    case WM_INITDIALOG: {
        HWND name = GetDlgItem(dlg, IDC_S_NAME);
        FillSessionNames(name);
        SendMessageA(name, CB_LIMITTEXT, sizeof s_edit.name - 1, 0);
        TESSEL_AddHostTypesToListBox(GetDlgItem(dlg, IDC_S_TYPE), 1);
        static const struct {
            int id;
            size_t size;
        } limits[] = {{IDC_S_HOST, 250},           {IDC_S_USER, sizeof s_edit.user},
                      {IDC_S_PASS, sizeof s_edit.password}, {IDC_S_ACCT, sizeof s_edit.account},
                      {IDC_S_RDIR, sizeof s_edit.remoteDir}, {IDC_S_LDIR, sizeof s_edit.localDir},
                      {IDC_S_COMMENT, 80},         {IDC_S_PORT, 6},
                      {IDC_S_TIMEOUT, 6}};
        for (const auto &l : limits)
            SendDlgItemMessageA(dlg, l.id, EM_LIMITTEXT, l.size - 1, 0);
        SetWindowTextA(name, s_edit.name);
        SessionToDialog(dlg, s_edit);
        return TRUE;
    }
    case WM_COMMAND:
        switch (LOWORD(wp)) {
        case IDC_S_NAME:
            if (HIWORD(wp) == CBN_SELCHANGE) {
                HWND combo = GetDlgItem(dlg, IDC_S_NAME);
                int sel = (int)SendMessageA(combo, CB_GETCURSEL, 0, 0);
                if (sel >= 0 && SendMessageA(combo, CB_GETLBTEXTLEN, sel, 0) < (LRESULT)sizeof s_edit.name) {
                    SessionRec s;
                    ClearSession(&s);
                    SendMessageA(combo, CB_GETLBTEXT, sel, (LPARAM)s.name);
                    LoadSession(&s);
                    s_edit = s;
                    SessionToDialog(dlg, s_edit);
                }
            }
            return TRUE;
        case IDC_S_ANON:
            if (IsDlgButtonChecked(dlg, IDC_S_ANON) == BST_CHECKED) {
                SetDlgItemTextA(dlg, IDC_S_USER, "anonymous");
                SetDlgItemTextA(dlg, IDC_S_PASS, g_cfg.mailAddr);
            }
            return TRUE;
        case IDC_S_SAVE:
            SaveFromDialog(dlg);
            FillSessionNames(GetDlgItem(dlg, IDC_S_NAME));
            SetDlgItemTextA(dlg, IDC_S_NAME, s_edit.name);
            return TRUE;
        case IDC_S_DELETE: {
            char name[80];
            GetDlgItemTextA(dlg, IDC_S_NAME, name, sizeof name);
            if (name[0] && lstrcmpiA(name, T95_CONFIG) && lstrcmpiA(name, "FIREWALL"))
                WritePrivateProfileStringA(name, nullptr, nullptr, g_files.ini);
            FillSessionNames(GetDlgItem(dlg, IDC_S_NAME));
            return TRUE;
        }
        case IDOK:
            DialogToSession(dlg, s_edit);
            if (!s_edit.host[0]) {
                AskUser(dlg, "Enter a host name or address.", T95_APPNAME, MB_OK | MB_ICONEXCLAMATION);
                return TRUE;
            }
            SaveFromDialog(dlg);
            EndDialog(dlg, 1);
            return TRUE;
        case IDCANCEL:
            EndDialog(dlg, 0);
            return TRUE;
        }
        break;
    }
    return FALSE;
}

int SessionDialog(HWND owner)
{
    s_edit = g_session;
    if (!s_edit.timeout)
        s_edit.timeout = 65;
    if (!s_edit.port)
        s_edit.port = 21;
    if (DialogBoxParamA(g_inst, MAKEINTRESOURCEA(IDD_SESSION), owner, SessionProc, 0) != 1)
        return 0;
    g_session = s_edit;
    snprintf(g_cfg.session, sizeof g_cfg.session, "%s", g_session.name);
    // The session's option keys replace the program's current values.
    LoadSessionOptions(g_session.name);
    return 1;
}

// ---------------------------------------------------------------- sort dialog

static INT_PTR CALLBACK SortProc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp)
{
    int side = (int)GetWindowLongPtrA(dlg, DWLP_USER);
    switch (msg) {
    case WM_INITDIALOG: {
        side = (int)lp;
        SetWindowLongPtrA(dlg, DWLP_USER, lp);
        SetWindowTextA(dlg, side ? "Remote Sort Options" : "Local Sort Options");
        int word = side ? g_rsort : g_lsort;
        int key = word & SORT_KEYMASK;
        static const int keys[6] = {IDC_SORT_NONE, IDC_SORT_NAME, IDC_SORT_EXT, IDC_SORT_DATE, IDC_SORT_SIZE,
                                    IDC_SORT_NAME};
        CheckRadioButton(dlg, IDC_SORT_NONE, IDC_SORT_SIZE, keys[key <= 5 ? key : 0]);
        CheckDlgButton(dlg, IDC_SORT_REVERSE, (word & SORT_REVERSE) ? BST_CHECKED : BST_UNCHECKED);
        CheckRadioButton(dlg, IDC_SORT_DIRTOP, IDC_SORT_DIRBOTTOM,
                         (word & SORT_MIXED)    ? IDC_SORT_DIRMIX
                         : (word & SORT_BOTTOM) ? IDC_SORT_DIRBOTTOM
                                                : IDC_SORT_DIRTOP);
        return TRUE;
    }
    case WM_COMMAND:
        if (LOWORD(wp) == IDOK) {
            int word = 0;
            for (int k = 0; k <= 4; ++k)
                if (IsDlgButtonChecked(dlg, IDC_SORT_NONE + k) == BST_CHECKED)
                    word = k;
            if (IsDlgButtonChecked(dlg, IDC_SORT_REVERSE) == BST_CHECKED)
                word |= SORT_REVERSE;
            if (IsDlgButtonChecked(dlg, IDC_SORT_DIRMIX) == BST_CHECKED)
                word |= SORT_MIXED;
            else if (IsDlgButtonChecked(dlg, IDC_SORT_DIRBOTTOM) == BST_CHECKED)
                word |= SORT_BOTTOM;
            (side ? g_rsort : g_lsort) = word;
            EndDialog(dlg, 1);
            return TRUE;
        }
        if (LOWORD(wp) == IDCANCEL) {
            EndDialog(dlg, 0);
            return TRUE;
        }
        break;
    }
    return FALSE;
}

void SortDialog(HWND owner, int side)
{
    if (DialogBoxParamA(g_inst, MAKEINTRESOURCEA(IDD_SORT), owner, SortProc, (LPARAM)side) == 1)
        Resort(side);
}

// ---------------------------------------------------------------- about and options

static INT_PTR CALLBACK AboutProc(HWND dlg, UINT msg, WPARAM wp, LPARAM)
{
    if (msg == WM_INITDIALOG) {
        OSVERSIONINFOA vi = {sizeof vi};
        GetVersionExA(&vi);
        MEMORYSTATUS ms = {sizeof ms};
        GlobalMemoryStatus(&ms);
        char text[300];
        snprintf(text, sizeof text, "Windows %lu.%lu (build %lu)\nMemory: %lu KB free of %lu KB\nINI: %s",
                 vi.dwMajorVersion, vi.dwMinorVersion, vi.dwBuildNumber & 0xFFFF,
                 (unsigned long)(ms.dwAvailPhys / 1024), (unsigned long)(ms.dwTotalPhys / 1024), g_files.ini);
        SetDlgItemTextA(dlg, IDC_ABOUT_TEXT, text);
        return TRUE;
    }
    if (msg == WM_COMMAND && (LOWORD(wp) == IDOK || LOWORD(wp) == IDCANCEL)) {
        EndDialog(dlg, 0);
        return TRUE;
    }
    return FALSE;
}

void AboutBox(HWND owner)
{
    DialogBoxParamA(g_inst, MAKEINTRESOURCEA(IDD_ABOUT), owner, AboutProc, 0);
}

void OptionsDialog(HWND owner)
{
    // The option pages come with the options work; until then the keys of
    // [_config_] in TESSEL.INI are edited by hand.
    char text[MAX_PATH + 100];
    snprintf(text, sizeof text, "Program options are kept in the [_config_] section of\n%s", g_files.ini);
    AskUser(owner, text, T95_APPNAME, MB_OK | MB_ICONINFORMATION);
}

} // namespace t95
