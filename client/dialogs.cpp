// The client's small dialogs: text input (plain, masked, with the remote
// directory history) and the sort dialog.
#include "client.h"
#include "options.h"
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
        // Asked during an unattended run (main window minimised): the
        // question must not hide behind other programs.
        if (g_main && IsIconic(g_main))
            SetForegroundWindow(dlg);
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
        if (LOWORD(wp) == IDHELP) {
            WinHelpA(dlg, g_files.hlp, HELP_CONTEXT, 100);
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

// Connect asks through the Session sheet.
int SessionDialog(HWND owner) { return SessionSheet(owner); }

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

} // namespace t95
