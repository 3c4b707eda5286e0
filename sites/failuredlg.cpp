// The failure dialog: what failed, the server's last words, and Retry (or
// Continue) and Cancel.
#include "resource.h"
#include "sitesint.h"
#include "engine.h"
#include "tessel_dialogs.h"

#include <string.h>

namespace {

std::string DetailText(const TESSEL_FAILUREINFO *info)
{
    if (info->flags & FAILURE_FROM_RECORD) {
        if (!info->ci || info->ci->magic != CINFO_MAGIC)
            return LoadStr(IDS_MISSING_SITE_INFO, "Missing required FTP site information");
        std::string text;
        const char *err = info->ci->errorBuf;
        size_t n = strnlen(err, sizeof info->ci->errorBuf);
        if (n && strncmp(err, "Success", 7) != 0)
            text.assign(err, n);
        const char *reply = info->ci->replyLine;
        size_t m = strnlen(reply, sizeof info->ci->replyLine);
        if (m) {
            if (!text.empty())
                text += "\r\n";
            text.append(reply, m);
        }
        return text;
    }
    if ((info->flags & FAILURE_USE_DETAIL) && info->detail)
        return info->detail;
    return std::string();
}

INT_PTR CALLBACK FailureProc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_INITDIALOG: {
        const TESSEL_FAILUREINFO *info = (const TESSEL_FAILUREINFO *)lp;
        if ((info->flags & FAILURE_USE_TITLE) && info->title)
            SetWindowTextA(dlg, info->title);
        if ((info->flags & FAILURE_USE_HEADLINE) && info->headline)
            SetDlgItemTextA(dlg, IDC_FAIL_HEADLINE, info->headline);
        HICON icon = (info->flags & FAILURE_USE_ICON) && info->icon ? info->icon : LoadIcon(nullptr, IDI_HAND);
        SendDlgItemMessageA(dlg, IDC_FAIL_ICON, STM_SETICON, (WPARAM)icon, 0);
        SetDlgItemTextA(dlg, IDC_FAIL_DETAIL, DetailText(info).c_str());
        if (info->flags & FAILURE_NO_RETRY) {
            ShowWindow(GetDlgItem(dlg, IDRETRY), SW_HIDE);
            SendMessageA(dlg, DM_SETDEFID, IDCANCEL, 0);
            SetFocus(GetDlgItem(dlg, IDCANCEL));
            return FALSE;
        }
        if (info->flags >= FAILURE_CONTINUE)
            SetDlgItemTextA(dlg, IDRETRY, LoadStr(IDS_CONTINUE, "Continue").c_str());
        return TRUE;
    }
    case WM_TESSEL_TO_FRONT:
        SetForegroundWindow(dlg);
        BringWindowToTop(dlg);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wp) == IDRETRY || LOWORD(wp) == IDCANCEL) {
            EndDialog(dlg, LOWORD(wp));
            return TRUE;
        }
        break;
    }
    return FALSE;
}

} // namespace

TESSEL_EXTERN_C HRESULT TESSEL_API TESSEL_FailureDlg(HWND owner, const TESSEL_FAILUREINFO *info)
{
    if (!info)
        return E_INVALIDARG;
    INT_PTR r = DialogBoxParamA(TesselModule(), MAKEINTRESOURCEA(IDD_FAILURE), owner, FailureProc, (LPARAM)info);
    return r == IDRETRY ? S_OK : E_ABORT;
}
