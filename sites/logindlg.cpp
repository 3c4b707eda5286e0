// The login prompt of the site sessions ("Connect To" and "Password").
#include "session.h"
#include "resource.h"
#include "sitesint.h"
#include "tessel_sites.h"

#include <string.h>

namespace {

struct LoginState {
    SiteSession *session; // or null
    FTPSITEINFO *profile;
    DWORD flags;
    char typedUser[256];
    char typedPassword[256]; // what the user typed before ticking Anonymous
    char email[512];
};

void CopyText(char *dst, size_t size, const char *src)
{
    if (!size)
        return;
    if (!src)
        src = "";
    size_t n = strnlen(src, size - 1);
    memcpy(dst, src, n);
    dst[n] = 0;
}

void GetText(HWND dlg, int id, char *out, size_t size)
{
    out[0] = 0;
    GetDlgItemTextA(dlg, id, out, (int)size);
}

void ShowItem(HWND dlg, int id, bool show) { ShowWindow(GetDlgItem(dlg, id), show ? SW_SHOW : SW_HIDE); }
void EnableItem(HWND dlg, int id, bool on) { EnableWindow(GetDlgItem(dlg, id), on); }

void ApplyAnonymous(HWND dlg, LoginState *st, bool anon)
{
    HWND pass = GetDlgItem(dlg, IDC_LOGIN_PASS);
    if (anon) {
        // Keep what was typed so that unticking brings it back.
        GetText(dlg, IDC_LOGIN_USER, st->typedUser, sizeof st->typedUser);
        GetText(dlg, IDC_LOGIN_PASS, st->typedPassword, sizeof st->typedPassword);
        SetDlgItemTextA(dlg, IDC_LOGIN_USER, "anonymous");
        SetDlgItemTextA(dlg, IDC_LOGIN_PASS, st->email);
        SendMessageA(pass, EM_SETPASSWORDCHAR, 0, 0);
    } else {
        SetDlgItemTextA(dlg, IDC_LOGIN_USER, st->typedUser);
        SetDlgItemTextA(dlg, IDC_LOGIN_PASS, st->typedPassword);
        SendMessageA(pass, EM_SETPASSWORDCHAR, (WPARAM)'*', 0);
    }
    InvalidateRect(pass, nullptr, TRUE);
}

void Init(HWND dlg, LoginState *st)
{
    FTPSITEINFO *p = st->profile;
    SetDlgItemTextA(dlg, IDC_LOGIN_NAME, p->name);
    for (int id : {IDC_LOGIN_USER, IDC_LOGIN_PASS, IDC_LOGIN_ACCT})
        SendDlgItemMessageA(dlg, id, EM_LIMITTEXT, 255, 0);
    if (st->flags & LOGIN_FIREWALL) {
        SetWindowTextA(dlg, LoadStr(IDS_CONNECT_FIREWALL, "Connect To Firewall").c_str());
        SetDlgItemTextA(dlg, IDC_LOGIN_ADDR, p->fwHost);
        ShowItem(dlg, IDC_LOGIN_ANON, false);
        ShowItem(dlg, IDC_LOGIN_ACCT, false);
        ShowItem(dlg, IDC_LOGIN_ACCTLABEL, false);
        SetDlgItemTextA(dlg, IDC_LOGIN_USER, p->fwUser);
        SetDlgItemTextA(dlg, IDC_LOGIN_PASS, p->fwPassword);
        CheckDlgButton(dlg, IDC_LOGIN_SAVE, (p->flags & SITE_SAVE_FWPASS) ? BST_CHECKED : BST_UNCHECKED);
    } else {
        if (!(st->flags & LOGIN_ASK_PASSWORD))
            SetWindowTextA(dlg, LoadStr(IDS_CONNECT_HOST, "Connect To Host").c_str());
        if (p->iconFile[0]) {
            HICON icon = nullptr;
            ExtractIconExA(p->iconFile, p->iconIndex, &icon, nullptr, 1);
            if (icon)
                SendDlgItemMessageA(dlg, IDC_LOGIN_ICON, STM_SETICON, (WPARAM)icon, 0);
        }
        SetDlgItemTextA(dlg, IDC_LOGIN_ADDR, p->host);
        const bool anon = (p->flags & SITE_ANONYMOUS) != 0;
        CheckDlgButton(dlg, IDC_LOGIN_ANON, anon ? BST_CHECKED : BST_UNCHECKED);
        SetDlgItemTextA(dlg, IDC_LOGIN_USER, anon ? "anonymous" : p->user);
        SetDlgItemTextA(dlg, IDC_LOGIN_ACCT, p->account);
        SetDlgItemTextA(dlg, IDC_LOGIN_PASS, p->password);
        if (!anon) {
            CopyText(st->typedUser, sizeof st->typedUser, p->user);
            CopyText(st->typedPassword, sizeof st->typedPassword, p->password);
        } else {
            SendDlgItemMessageA(dlg, IDC_LOGIN_PASS, EM_SETPASSWORDCHAR, 0, 0);
        }
        CheckDlgButton(dlg, IDC_LOGIN_SAVE, (p->flags & SITE_SAVE_PASSWORD) ? BST_CHECKED : BST_UNCHECKED);
    }
    int focus;
    if (st->flags & LOGIN_ASK_PASSWORD) {
        EnableItem(dlg, IDC_LOGIN_ACCT, false);
        focus = IDC_LOGIN_PASS;
    } else if (st->flags & LOGIN_ASK_ACCOUNT) {
        EnableItem(dlg, IDC_LOGIN_USER, false);
        EnableItem(dlg, IDC_LOGIN_PASS, false);
        focus = IDC_LOGIN_ACCT;
    } else if (!(st->flags & LOGIN_FIREWALL) && (p->flags & SITE_ANONYMOUS)) {
        focus = IDC_LOGIN_ANON;
    } else {
        char user[8];
        GetText(dlg, IDC_LOGIN_USER, user, sizeof user);
        focus = user[0] ? IDC_LOGIN_PASS : IDC_LOGIN_USER;
    }
    HWND log = st->session ? st->session->LogWindow() : nullptr;
    ShowItem(dlg, IDC_LOGIN_SHOWLOG, log && !IsWindowVisible(log));
    SetFocus(GetDlgItem(dlg, focus));
    if (st->session)
        st->session->SetLoginDialog(dlg);
}

void Accept(HWND dlg, LoginState *st)
{
    FTPSITEINFO *p = st->profile;
    const bool save = IsDlgButtonChecked(dlg, IDC_LOGIN_SAVE) == BST_CHECKED;
    if (st->flags & LOGIN_FIREWALL) {
        DebugLogLine("Filled firewall information\n");
        GetText(dlg, IDC_LOGIN_USER, p->fwUser, sizeof p->fwUser);
        GetText(dlg, IDC_LOGIN_PASS, p->fwPassword, sizeof p->fwPassword);
        p->flags = save ? (p->flags | SITE_SAVE_FWPASS) : (p->flags & ~SITE_SAVE_FWPASS);
    } else {
        DebugLogLine("Filled user information\n");
        const bool anon = IsDlgButtonChecked(dlg, IDC_LOGIN_ANON) == BST_CHECKED;
        p->flags = anon ? (p->flags | SITE_ANONYMOUS) : (p->flags & ~SITE_ANONYMOUS);
        if (anon)
            CopyText(p->user, sizeof p->user, "anonymous");
        else
            GetText(dlg, IDC_LOGIN_USER, p->user, sizeof p->user);
        GetText(dlg, IDC_LOGIN_PASS, p->password, sizeof p->password);
        GetText(dlg, IDC_LOGIN_ACCT, p->account, sizeof p->account);
        p->flags = save ? (p->flags | SITE_SAVE_PASSWORD) : (p->flags & ~SITE_SAVE_PASSWORD);
    }
    TESSEL_SetFTPSiteInfo(p);
}

INT_PTR CALLBACK LoginProc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp)
{
    LoginState *st = (LoginState *)GetWindowLongPtrA(dlg, DWLP_USER);
    switch (msg) {
    case WM_INITDIALOG:
        SetWindowLongPtrA(dlg, DWLP_USER, lp);
        Init(dlg, (LoginState *)lp);
        return FALSE; // focus set above
    case WM_TESSEL_TO_FRONT:
        SetForegroundWindow(dlg);
        BringWindowToTop(dlg);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wp)) {
        case IDOK:
            Accept(dlg, st);
            EndDialog(dlg, IDOK);
            return TRUE;
        case IDCANCEL:
            EndDialog(dlg, IDCANCEL);
            return TRUE;
        case IDC_LOGIN_ANON:
            if (HIWORD(wp) == BN_CLICKED)
                ApplyAnonymous(dlg, st, IsDlgButtonChecked(dlg, IDC_LOGIN_ANON) == BST_CHECKED);
            return TRUE;
        case IDC_LOGIN_SHOWLOG:
            if (st->session)
                st->session->ShowLog(TRUE);
            ShowItem(dlg, IDC_LOGIN_SHOWLOG, false);
            return TRUE;
        }
        break;
    case WM_DESTROY:
        if (st && st->session)
            st->session->SetLoginDialog(nullptr);
        break;
    }
    return FALSE;
}

} // namespace

TESSEL_EXTERN_C HRESULT TESSEL_API TESSEL_LoginFTPSiteDlg(void *session, HWND owner, FTPSITEINFO *profile,
                                                          DWORD flags)
{
    if (!profile || profile->size < FTPSITEINFO_SIZE)
        return E_INVALIDARG;
    // An account prompt always shows: a known password says nothing about
    // the account the server asked for.
    if (profile->password[0] && !(flags & (LOGIN_FIREWALL | LOGIN_RETRY | LOGIN_ASK_PASSWORD | LOGIN_ASK_ACCOUNT)))
        return S_OK;
    LoginState *st = (LoginState *)calloc(1, sizeof(LoginState));
    if (!st)
        return E_OUTOFMEMORY;
    st->session = SiteSession::IsLive(session) ? (SiteSession *)session : nullptr;
    st->profile = profile;
    st->flags = flags;
    FTPINFO settings;
    memset(&settings, 0, sizeof settings);
    settings.size = sizeof settings;
    TESSEL_GetFTPInfo(&settings, TRUE);
    CopyText(st->email, sizeof st->email, settings.email);
    const int id = (flags & LOGIN_ASK_PASSWORD) ? IDD_PASSWORD : IDD_CONNECT_TO;
    INT_PTR r = DialogBoxParamA(TesselModule(), MAKEINTRESOURCEA(id), owner, LoginProc, (LPARAM)st);
    SecureZeroMemory(st, sizeof *st);
    free(st);
    return r == IDOK ? S_OK : E_ABORT;
}
