// Texts, message boxes and the installer's dialogs.
#include "setupres.h"
#include "setup.h"

#include <shlobj.h>

std::string LoadText(UINT id)
{
    char buf[1024];
    int n = LoadStringA(GetModuleHandleA(nullptr), id, buf, sizeof buf);
    return std::string(buf, n > 0 ? (size_t)n : 0);
}

std::string FormatText(UINT id, const std::vector<DWORD_PTR> &args)
{
    std::string pattern = LoadText(id);
    if (args.empty())
        return pattern;
    char *out = nullptr;
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_ARGUMENT_ARRAY,
                             pattern.c_str(), 0, 0, (LPSTR)&out, 0, (va_list *)args.data());
    if (!n || !out)
        return pattern;
    std::string s(out, n);
    LocalFree(out);
    return s;
}

int ShowMessage(const InstallState &st, UINT id, UINT flags, const std::vector<DWORD_PTR> &args, UINT titleId)
{
    std::string text = FormatText(id, args);
    std::string title = LoadText(titleId ? titleId : IDS_TITLE);
    return MessageBoxA(st.owner, text.c_str(), title.c_str(), flags | MB_SETFOREGROUND);
}

// ---- "DLG_INSTALL"

static INT_PTR CALLBACK InstallProc(HWND dlg, UINT msg, WPARAM wp, LPARAM)
{
    if (msg == WM_INITDIALOG)
        return TRUE;
    if (msg == WM_COMMAND) {
        WORD id = LOWORD(wp);
        if (id == IDC_INSTALL || id == IDC_REMOVE || id == IDCANCEL) {
            EndDialog(dlg, id);
            return TRUE;
        }
    }
    return FALSE;
}

int AskInstallOrRemove(const InstallState &st)
{
    INT_PTR r = DialogBoxParamA(st.instance, "DLG_INSTALL", st.owner, InstallProc, 0);
    return r == IDC_INSTALL || r == IDC_REMOVE ? (int)r : IDCANCEL;
}

// ---- prompt with an edit box

struct InputRun {
    const InstallState *st;
    UINT prompt;
    std::string *value;
    bool folder;
};

bool BrowseForFolder(const InstallState &st, UINT titleId, std::string &folder)
{
    std::string title = LoadText(titleId);
    BROWSEINFOA bi = {};
    bi.hwndOwner = st.owner;
    bi.lpszTitle = title.c_str();
    bi.ulFlags = BIF_RETURNONLYFSDIRS;
    LPITEMIDLIST pidl = SHBrowseForFolderA(&bi);
    if (!pidl)
        return false;
    char path[MAX_PATH];
    BOOL ok = SHGetPathFromIDListA(pidl, path);
    CoTaskMemFree(pidl);
    if (ok)
        folder = path;
    return ok != FALSE;
}

static INT_PTR CALLBACK InputProc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp)
{
    InputRun *run = (InputRun *)GetWindowLongPtrA(dlg, DWLP_USER);
    switch (msg) {
    case WM_INITDIALOG:
        run = (InputRun *)lp;
        SetWindowLongPtrA(dlg, DWLP_USER, (LONG_PTR)run);
        SetDlgItemTextA(dlg, IDC_INPUT_PROMPT, LoadText(run->prompt).c_str());
        SendDlgItemMessageA(dlg, IDC_INPUT_EDIT, EM_LIMITTEXT, 1000, 0);
        SetDlgItemTextA(dlg, IDC_INPUT_EDIT, run->value->c_str());
        ShowWindow(GetDlgItem(dlg, IDC_INPUT_BROWSE), run->folder ? SW_SHOW : SW_HIDE);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wp)) {
        case IDOK: {
            char buf[1024] = "";
            GetDlgItemTextA(dlg, IDC_INPUT_EDIT, buf, sizeof buf);
            *run->value = buf;
            EndDialog(dlg, IDOK);
            return TRUE;
        }
        case IDCANCEL:
            EndDialog(dlg, IDCANCEL);
            return TRUE;
        case IDC_INPUT_BROWSE: {
            std::string folder;
            InstallState st = *run->st;
            st.owner = dlg;
            if (BrowseForFolder(st, run->prompt, folder))
                SetDlgItemTextA(dlg, IDC_INPUT_EDIT, folder.c_str());
            return TRUE;
        }
        }
        break;
    }
    return FALSE;
}

bool AskText(const InstallState &st, UINT promptId, std::string &value, bool folder)
{
    InputRun run = {&st, promptId, &value, folder};
    return DialogBoxParamA(st.instance, "DLG_INPUT", st.owner, InputProc, (LPARAM)&run) == IDOK;
}

// ---- "DLG_VERS_32"

struct OptionsRun {
    DWORD possible;
    DWORD *options;
};

static INT_PTR CALLBACK OptionsProc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp)
{
    OptionsRun *run = (OptionsRun *)GetWindowLongPtrA(dlg, DWLP_USER);
    switch (msg) {
    case WM_INITDIALOG:
        run = (OptionsRun *)lp;
        SetWindowLongPtrA(dlg, DWLP_USER, (LONG_PTR)run);
        CheckDlgButton(dlg, IDC_OPT_CLASSIC, (*run->options & OPT_CLIENT95) ? BST_CHECKED : BST_UNCHECKED);
        CheckDlgButton(dlg, IDC_OPT_EXPLORER, (*run->options & OPT_EXPLORER) ? BST_CHECKED : BST_UNCHECKED);
        EnableWindow(GetDlgItem(dlg, IDC_OPT_CLASSIC), (run->possible & OPT_CLIENT95) != 0);
        EnableWindow(GetDlgItem(dlg, IDC_OPT_EXPLORER), (run->possible & OPT_EXPLORER) != 0);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wp) == IDOK) {
            DWORD chosen = *run->options & ~OPT_OFFERED;
            if (IsDlgButtonChecked(dlg, IDC_OPT_CLASSIC) == BST_CHECKED)
                chosen |= OPT_CLIENT95;
            if (IsDlgButtonChecked(dlg, IDC_OPT_EXPLORER) == BST_CHECKED)
                chosen |= OPT_EXPLORER;
            if (!(chosen & OPT_OFFERED)) {
                MessageBeep(MB_ICONEXCLAMATION); // nothing to install
                return TRUE;
            }
            *run->options = chosen;
            EndDialog(dlg, IDOK);
            return TRUE;
        }
        if (LOWORD(wp) == IDCANCEL) {
            EndDialog(dlg, IDCANCEL);
            return TRUE;
        }
        break;
    }
    return FALSE;
}

bool AskOptions(const InstallState &st, DWORD &options)
{
    OptionsRun run = {st.possible, &options};
    return DialogBoxParamA(st.instance, "DLG_VERS_32", st.owner, OptionsProc, (LPARAM)&run) == IDOK;
}

// ---- "DLG_GETGROUP"

bool IsSafeGroupName(const std::string &name)
{
    // Each of these would end the Program Manager command early and let the
    // rest of the name run as commands of its own.
    return name.find_first_of("[]()\",") == std::string::npos;
}

struct GroupRun {
    const InstallState *st;
    const std::vector<std::string> *existing;
    std::string *name;
};

static INT_PTR CALLBACK GroupProc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp)
{
    GroupRun *run = (GroupRun *)GetWindowLongPtrA(dlg, DWLP_USER);
    switch (msg) {
    case WM_INITDIALOG:
        run = (GroupRun *)lp;
        SetWindowLongPtrA(dlg, DWLP_USER, (LONG_PTR)run);
        SendDlgItemMessageA(dlg, IDC_GROUP_NAME, EM_LIMITTEXT, 100, 0);
        SetDlgItemTextA(dlg, IDC_GROUP_NAME, run->name->c_str());
        for (const std::string &g : *run->existing)
            SendDlgItemMessageA(dlg, IDC_GROUP_LIST, LB_ADDSTRING, 0, (LPARAM)g.c_str());
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wp) == IDC_GROUP_LIST && HIWORD(wp) == LBN_SELCHANGE) {
            LRESULT i = SendDlgItemMessageA(dlg, IDC_GROUP_LIST, LB_GETCURSEL, 0, 0);
            char buf[512] = "";
            if (i != LB_ERR && SendDlgItemMessageA(dlg, IDC_GROUP_LIST, LB_GETTEXTLEN, i, 0) < (LRESULT)sizeof buf) {
                SendDlgItemMessageA(dlg, IDC_GROUP_LIST, LB_GETTEXT, i, (LPARAM)buf);
                SetDlgItemTextA(dlg, IDC_GROUP_NAME, buf);
            }
            return TRUE;
        }
        if (LOWORD(wp) == IDOK) {
            char buf[256] = "";
            GetDlgItemTextA(dlg, IDC_GROUP_NAME, buf, sizeof buf);
            std::string name = buf;
            while (!name.empty() && name.back() == ' ')
                name.pop_back();
            while (!name.empty() && name[0] == ' ')
                name.erase(0, 1);
            if (name.empty() || !IsSafeGroupName(name)) {
                InstallState st = *run->st;
                st.owner = dlg;
                ShowMessage(st, IDS_BAD_GROUP, MB_OK | MB_ICONEXCLAMATION);
                return TRUE;
            }
            *run->name = name;
            EndDialog(dlg, IDOK);
            return TRUE;
        }
        if (LOWORD(wp) == IDCANCEL) {
            EndDialog(dlg, IDCANCEL);
            return TRUE;
        }
        break;
    }
    return FALSE;
}

bool AskGroup(const InstallState &st, const std::vector<std::string> &existing, std::string &name)
{
    GroupRun run = {&st, &existing, &name};
    return DialogBoxParamA(st.instance, "DLG_GETGROUP", st.owner, GroupProc, (LPARAM)&run) == IDOK;
}

// ---- modeless progress window

static INT_PTR CALLBACK ProgressProc(HWND, UINT msg, WPARAM, LPARAM)
{
    return msg == WM_INITDIALOG;
}

void ShowProgress(InstallState &st, const std::string &text)
{
    if (!st.progress)
        st.progress = CreateDialogParamA(st.instance, "DLG_PROGRESS", st.owner, ProgressProc, 0);
    if (!st.progress)
        return;
    SetDlgItemTextA(st.progress, IDC_PROGRESS_TEXT, text.c_str());
    // Let the window paint between files: the copy itself runs on this thread.
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
        if (m.message == WM_QUIT) {
            PostQuitMessage((int)m.wParam);
            break;
        }
        if (!IsDialogMessageA(st.progress, &m)) {
            TranslateMessage(&m);
            DispatchMessageA(&m);
        }
    }
}

void CloseProgress(InstallState &st)
{
    if (st.progress)
        DestroyWindow(st.progress);
    st.progress = nullptr;
}
