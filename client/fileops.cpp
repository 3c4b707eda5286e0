// Directory commands, delete, rename, move and permissions of both panes.
// The selection is copied into plain records first, so nothing below reads
// a list while it works; every server step that fails is logged with its
// own line and the other-failure sound, and the next item is tried.
#include "fileops.h"
#include "resource.h"

#include <stdio.h>
#include <string.h>

namespace t95 {

int g_chmodMode = 0644;
int g_forceCtrl;

int CtrlHeld()
{
    return g_forceCtrl || GetKeyState(VK_CONTROL) < 0;
}

// ---------------------------------------------------------------- selection

std::vector<SelItem> CollectSelection(int side, int skipDrives)
{
    std::vector<SelItem> out;
    HWND list = Ctl(side ? IDC_RLIST : IDC_LLIST);
    if (!list)
        return out;
    int n = (int)SendMessageA(list, LB_GETSELCOUNT, 0, 0);
    if (n <= 0)
        return out;
    std::vector<int> sel((size_t)n);
    n = (int)SendMessageA(list, LB_GETSELITEMS, (WPARAM)n, (LPARAM)sel.data());
    for (int i = 0; i < n; ++i) {
        HGLOBAL h = (HGLOBAL)SendMessageA(list, LB_GETITEMDATA, (WPARAM)sel[(size_t)i], 0);
        if (!h || h == (HGLOBAL)LB_ERR)
            continue;
        ListItem *it = (ListItem *)GlobalLock(h);
        if (!it)
            continue;
        SelItem s{std::string(it->text, (size_t)it->nameLen), it->kind};
        GlobalUnlock(h);
        if (s.name == ".." || (skipDrives && s.kind == KIND_DRIVE))
            continue;
        out.push_back(s);
    }
    return out;
}

int ArgumentOk(const char *what, const std::string &arg)
{
    if (arg.find_first_of("\r\n") != std::string::npos || arg.size() > 1000 ||
        memchr(arg.data(), 0, arg.size())) {
        Logf("! %s refused: holds a line break or is too long", what);
        return 0;
    }
    return 1;
}

static int Ask(const char *prompt, char *buf, size_t size, int history = 0)
{
    return InputBox(g_main, prompt, buf, size, 0, history) && buf[0];
}

static void Failed(const char *fmt, const char *a, const char *b = nullptr)
{
    Logf(fmt, a, b);
    PlayEvent(SND_OTHER_FAIL);
}

static void RefreshAfter(int localChanged, int remoteChanged)
{
    if (localChanged)
        RefreshLocal();
    if (remoteChanged && g_cfg.doupdate)
        ShowRemote(1);
}

// ---------------------------------------------------------------- change directory

int LocalChdir(const char *path)
{
    if (!path || !*path)
        return 0;
    int ok = 1;
    if (((path[0] | 0x20) >= 'a' && (path[0] | 0x20) <= 'z') && path[1] == ':') {
        char drive[4] = {path[0], ':', 0};
        ok = SetCurrentDirectoryA(drive) != 0;
    }
    if (ok && path[2 * (path[1] == ':')])
        ok = SetCurrentDirectoryA(path) != 0;
    Logf(ok ? "local chdir to %s" : "! failed local chdir to %s", path);
    return ok;
}

void CmdChangeDir(int side)
{
    std::vector<SelItem> sel = CollectSelection(side, 0);
    const SelItem *first = sel.empty() ? nullptr : &sel[0];
    // ".." is left out of the selection but is a directory to go to.
    HWND list = Ctl(side ? IDC_RLIST : IDC_LLIST);
    SelItem up{"..", KIND_DIR};
    if (!first && list && SendMessageA(list, LB_GETSELCOUNT, 0, 0) > 0)
        first = &up;
    const int usable = first && (first->kind == KIND_DIR || first->kind == KIND_LINK || first->kind == KIND_DRIVE);
    if (!side) {
        if (usable) {
            if (first->kind == KIND_DRIVE || !strncmp(first->name.c_str(), "[-", 2)) {
                char drive[4] = {first->name.size() > 2 ? first->name[2] : 'c', ':', 0};
                SetCurrentDirectoryA(drive);
            } else {
                SetCurrentDirectoryA(first->name.c_str());
            }
        } else {
            char dir[MAX_PATH] = "";
            if (Ask("Enter local directory name:", dir, sizeof dir))
                LocalChdir(dir);
        }
        RefreshLocal();
        return;
    }
    if (!g_ftp.connected)
        return;
    char name[300] = "";
    if (usable) {
        snprintf(name, sizeof name, "%s", first->name.c_str());
    } else if (!Ask("Enter remote directory name:", name, sizeof name, 1)) {
        return;
    }
    if (!ArgumentOk("Directory name", name))
        return;
    ChangeDir(name);
    ShowRemote(0);
}

// ---------------------------------------------------------------- make and remove directory

void CmdMakeDir(int side)
{
    char name[MAX_PATH] = "";
    if (!Ask(side ? "Enter new remote directory name:" : "Enter new local directory name:", name, sizeof name))
        return;
    if (!ArgumentOk("Directory name", name))
        return;
    if (!side) {
        if (!CreateDirectoryA(name, nullptr))
            Failed("! Failed to create directory %s", name);
        RefreshLocal();
        return;
    }
    if (MakeDir(name) == 5)
        PlayEvent(SND_OTHER_FAIL);
    RefreshAfter(0, 1);
}

static int RemoveOneDir(int side, const char *name)
{
    if (!ArgumentOk("Directory name", name))
        return 0;
    int ok = side ? RemoveDir(name) == 2 : RemoveDirectoryA(name) != 0;
    if (!ok)
        Failed("! Delete of %s failed.", name);
    return ok;
}

void CmdRemoveDir(int side)
{
    std::vector<SelItem> sel = CollectSelection(side, 1);
    const SelItem *dir = nullptr;
    for (const SelItem &s : sel)
        if (s.kind == KIND_DIR || (side && s.kind == KIND_LINK)) {
            dir = &s;
            break;
        }
    if (!dir) {
        if (!side)
            return;
        char name[300] = "";
        if (!g_ftp.connected || !Ask("Enter remote directory name:", name, sizeof name, 1))
            return;
        RefreshAfter(0, RemoveOneDir(1, name));
        return;
    }
    if (VerifyDeletion(g_main, dir->name.c_str(), 0) != IDYES)
        return;
    int ok = RemoveOneDir(side, dir->name.c_str());
    RefreshAfter(!side && ok, side && ok);
}

// ---------------------------------------------------------------- delete

void CmdDelete(int side)
{
    std::vector<SelItem> sel = CollectSelection(side, 1);
    int all = !g_cfg.vrfyDel, changed = 0;
    for (size_t i = 0; i < sel.size(); ++i) {
        const char *name = sel[i].name.c_str();
        if (!all) {
            int r = VerifyDeletion(g_main, name, sel.size() - i >= 2);
            if (r == IDCANCEL)
                break;
            if (r == IDNO)
                continue;
            if (r == VERIFY_DELALL)
                all = 1;
        }
        if (!ArgumentOk("Name", sel[i].name))
            continue;
        int ok;
        if (side)
            ok = (sel[i].kind == KIND_DIR ? RemoveDir(name) : DeleteRemote(name)) == 2;
        else
            ok = sel[i].kind == KIND_DIR ? RemoveDirectoryA(name) != 0 : DeleteFileA(name) != 0;
        if (!ok)
            Failed("! Delete of %s failed.", name);
        // A refused item may still have been half removed: refresh anyway.
        changed = 1;
    }
    RefreshAfter(!side && changed, side && changed);
}

// ---------------------------------------------------------------- rename and move

// RNFR, and RNTO only after a class 3 reply; a refused RNFR is the
// server's own answer in the log, with no line of ours.
static int RemoteRenameTo(const char *from, const char *to, const char *failure)
{
    if (SendCommand("RNFR %s", from) != 3)
        return 0;
    if (SendCommand("RNTO %s", to) == 2)
        return 1;
    Failed(failure, from, to);
    return 0;
}

void CmdRename(int side)
{
    std::vector<SelItem> sel = CollectSelection(side, 1);
    int changed = 0;
    for (const SelItem &s : sel) {
        if (!ArgumentOk("Name", s.name))
            continue;
        char prompt[400], to[MAX_PATH];
        snprintf(prompt, sizeof prompt, "Enter new name for \"%.300s\":", s.name.c_str());
        snprintf(to, sizeof to, "%s", s.name.c_str());
        if (!Ask(prompt, to, sizeof to) || s.name == to || !ArgumentOk("New name", to))
            continue;
        if (side) {
            changed |= RemoteRenameTo(s.name.c_str(), to, "! Rename of %s to %s failed.");
        } else if (MoveFileA(s.name.c_str(), to)) {
            changed = 1;
        } else {
            Failed("! Rename of %s to %s failed.", s.name.c_str(), to);
        }
    }
    RefreshAfter(!side && changed, side && changed);
}

void CmdMove(int side)
{
    std::vector<SelItem> sel = CollectSelection(side, 1);
    if (sel.empty())
        return;
    char dir[MAX_PATH] = "";
    if (!Ask(side ? "Please enter the remote destination directory:" : "Please enter the local destination directory:",
             dir, sizeof dir, side) ||
        !ArgumentOk("Directory name", dir))
        return;
    int changed = 0;
    for (const SelItem &s : sel) {
        if (!ArgumentOk("Name", s.name))
            continue;
        char to[MAX_PATH * 2];
        snprintf(to, sizeof to, side ? "%s/%s" : "%s\\%s", dir, s.name.c_str());
        if (side) {
            changed |= RemoteRenameTo(s.name.c_str(), to, "! Move of %s to %s failed.");
        } else if (MoveFileA(s.name.c_str(), to)) {
            changed = 1;
        } else {
            Failed("! Move of %s to %s failed.", s.name.c_str(), to);
        }
    }
    RefreshAfter(!side && changed, side && changed);
}

// ---------------------------------------------------------------- permissions

unsigned ModeDigits(int mode)
{
    return (unsigned)(((mode >> 6) & 7) * 100 + ((mode >> 3) & 7) * 10 + (mode & 7));
}

void CmdPermissions()
{
    if (!g_ftp.connected)
        return;
    std::vector<SelItem> sel = CollectSelection(1, 1);
    if (sel.empty()) {
        char text[300] = "";
        if (!Ask("Enter CHMOD string:", text, sizeof text) || !ArgumentOk("CHMOD string", text))
            return;
        if (SendCommand("SITE %s", text) != 2) {
            Logf("! %s", "Chmod failed. It may not be supported on remote host.");
            PlayEvent(SND_OTHER_FAIL);
        }
        return;
    }
    int mode = g_chmodMode;
    if (!PermissionsDialog(g_main, &mode))
        return;
    g_chmodMode = mode;
    for (const SelItem &s : sel) {
        if (!ArgumentOk("Name", s.name))
            continue;
        char arg[400];
        snprintf(arg, sizeof arg, "chmod %u %s", ModeDigits(mode), s.name.c_str());
        if (SendCommand("SITE %s", arg) != 2) {
            Logf("! %s", "Chmod failed. It may not be supported on remote host.");
            PlayEvent(SND_OTHER_FAIL);
            break;
        }
    }
    if (g_cfg.doupdate)
        ShowRemote(1);
}

// ---------------------------------------------------------------- the two dialogs

struct VerifyArgs {
    const char *name;
    int offerAll;
};

static INT_PTR CALLBACK VerifyProc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_INITDIALOG) {
        const VerifyArgs *a = (const VerifyArgs *)lp;
        char text[400];
        snprintf(text, sizeof text, "Are you sure you want to delete \"%.300s\"?", a->name);
        SetDlgItemTextA(dlg, IDC_VD_TEXT, text);
        SendDlgItemMessageA(dlg, IDC_VD_ICON, STM_SETICON, (WPARAM)LoadIconA(nullptr, IDI_QUESTION), 0);
        if (!a->offerAll)
            ShowWindow(GetDlgItem(dlg, VERIFY_DELALL), SW_HIDE);
        return TRUE;
    }
    if (msg == WM_COMMAND) {
        int id = LOWORD(wp);
        if (id == IDYES || id == IDNO || id == IDCANCEL || id == VERIFY_DELALL) {
            EndDialog(dlg, id);
            return TRUE;
        }
    }
    return FALSE;
}

int VerifyDeletion(HWND owner, const char *name, int offerAll)
{
    VerifyArgs a = {name, offerAll};
    INT_PTR r = DialogBoxParamA(g_inst, MAKEINTRESOURCEA(IDD_VERIFYDEL), owner, VerifyProc, (LPARAM)&a);
    return r <= 0 ? IDCANCEL : (int)r;
}

// Check boxes in the order owner r/w/x, group r/w/x, other r/w/x.
static INT_PTR CALLBACK PermProc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp)
{
    int *mode = (int *)GetWindowLongPtrA(dlg, DWLP_USER);
    if (msg == WM_INITDIALOG) {
        SetWindowLongPtrA(dlg, DWLP_USER, lp);
        mode = (int *)lp;
        for (int i = 0; i < 9; ++i)
            CheckDlgButton(dlg, IDC_PERM_FIRST + i, (*mode >> (8 - i)) & 1 ? BST_CHECKED : BST_UNCHECKED);
        return TRUE;
    }
    if (msg == WM_COMMAND && LOWORD(wp) == IDOK) {
        int m = 0;
        for (int i = 0; i < 9; ++i)
            if (IsDlgButtonChecked(dlg, IDC_PERM_FIRST + i) == BST_CHECKED)
                m |= 1 << (8 - i);
        *mode = m;
        EndDialog(dlg, 1);
        return TRUE;
    }
    if (msg == WM_COMMAND && LOWORD(wp) == IDCANCEL) {
        EndDialog(dlg, 0);
        return TRUE;
    }
    return FALSE;
}

int PermissionsDialog(HWND owner, int *mode)
{
    return DialogBoxParamA(g_inst, MAKEINTRESOURCEA(IDD_PERMISSIONS), owner, PermProc, (LPARAM)mode) == 1;
}

} // namespace t95
