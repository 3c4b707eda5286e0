// Viewing a file with the text viewer, opening it with its associated
// program, directory information, and the association table of the system
// profile's Extensions section ("^" stands for the file name without its
// extension).  Remote files are first copied into "DSP" temporary files.
#include "fileops.h"
#include "resource.h"

#include <commctrl.h>
#include <commdlg.h>
#include <prsht.h>
#include <shellapi.h>
#include <stdio.h>
#include <string.h>

namespace t95 {

// ---------------------------------------------------------------- names and command lines

static int NameChar(unsigned char c)
{
    return c > ' ' && c < 127 && !strchr("\\/:*?\"<>|.", c);
}

int MakeTempCopyName(const char *prefix, const char *remoteName, char *out, size_t size)
{
    char dir[MAX_PATH], tmp[MAX_PATH];
    if (!GetTempPathA(sizeof dir, dir) || !GetTempFileNameA(dir, prefix, 0, tmp))
        return 0;
    // Extension of the remote name's last part, letters a file name can
    // carry only, up to four.
    char ext[8] = "";
    const char *base = remoteName;
    for (const char *p = remoteName; p && *p; ++p)
        if (*p == '/' || *p == '\\')
            base = p + 1;
    const char *dot = base ? strrchr(base, '.') : nullptr;
    size_t n = 0;
    for (const char *p = dot ? dot + 1 : ""; *p && n < 4; ++p)
        if (NameChar((unsigned char)*p))
            ext[n++] = *p;
    ext[n] = 0;
    if (!ext[0]) {
        if (strlen(tmp) >= size) {
            DeleteFileA(tmp);
            return 0;
        }
        snprintf(out, size, "%s", tmp);
        RememberTempFile(out);
        return 1;
    }
    char named[MAX_PATH];
    char *tdot = strrchr(tmp, '.');
    if (tdot)
        *tdot = 0;
    snprintf(named, sizeof named, "%s.%s", tmp, ext);
    if (tdot)
        *tdot = '.';
    // The ".tmp" file reserved the number; the copy takes its place.
    HANDLE h = CreateFileA(named, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    DeleteFileA(tmp);
    if (h == INVALID_HANDLE_VALUE || strlen(named) >= size) {
        if (h != INVALID_HANDLE_VALUE) {
            CloseHandle(h);
            DeleteFileA(named);
        }
        return 0;
    }
    CloseHandle(h);
    snprintf(out, size, "%s", named);
    RememberTempFile(out);
    return 1;
}

std::string QuotedName(const char *file)
{
    std::string f = file ? file : "";
    if (f.find(' ') != std::string::npos && f.front() != '"')
        return "\"" + f + "\"";
    return f;
}

std::string ViewerCommand(const char *viewer, const char *file)
{
    std::string f = file;
    size_t slash = f.find_last_of("\\/:");
    // Without a dot the viewer would add its own extension.
    if (f.find('.', slash == std::string::npos ? 0 : slash + 1) == std::string::npos)
        f += ".";
    return std::string(viewer && *viewer ? viewer : "notepad") + " " + QuotedName(f.c_str());
}

static std::string ExtensionOf(const char *file)
{
    const char *base = file;
    for (const char *p = file; *p; ++p)
        if (*p == '\\' || *p == '/' || *p == ':')
            base = p + 1;
    const char *dot = strrchr(base, '.');
    return dot ? std::string(dot + 1) : std::string();
}

int AssociationCommand(const char *ext, const char *file, std::string *cmd)
{
    if (!ext || !*ext)
        return 0;
    char value[1024] = "";
    GetProfileStringA("Extensions", ext, "", value, sizeof value);
    if (!value[0])
        return 0;
    std::string v = value;
    size_t caret = v.find('^');
    if (caret != std::string::npos)
        v = v.substr(0, caret) + QuotedName(file);
    else
        v += " " + QuotedName(file);
    *cmd = v;
    return 1;
}

void WriteAssociation(const char *ext, const char *program)
{
    if (!ext || !*ext || !program || !*program || strpbrk(ext, "\r\n=[]") || strpbrk(program, "\r\n"))
        return;
    std::string p = program;
    size_t caret = p.find('^');
    std::string value;
    if (caret != std::string::npos)
        value = p.substr(0, caret) + "^." + ext;
    else
        value = p + " ^." + ext;
    if (value.size() > 1000)
        return;
    WriteProfileStringA("Extensions", ext, value.c_str());
}

int EditCommand(const char *file, int forceFind, std::string *cmd)
{
    std::string ext = ExtensionOf(file);
    if (!_stricmp(ext.c_str(), "exe") || !_stricmp(ext.c_str(), "com"))
        return 0;
    if (!_stricmp(ext.c_str(), "pif")) {
        *cmd = "pifedit " + QuotedName(file);
        return 1;
    }
    if (!ext.empty() && _stricmp(ext.c_str(), "bat")) {
        char exe[MAX_PATH] = "";
        if ((g_cfg.useFindExec || forceFind) && (INT_PTR)FindExecutableA(file, nullptr, exe) > 32 && exe[0]) {
            *cmd = (strchr(exe, ' ') ? "\"" + std::string(exe) + "\"" : std::string(exe)) + " " + QuotedName(file);
            return 1;
        }
        if (AssociationCommand(ext.c_str(), file, cmd))
            return 1;
    }
    *cmd = ViewerCommand(g_cfg.viewer, file);
    return 1;
}

int RunCommandLine(const std::string &cmd, HANDLE *process)
{
    if (process)
        *process = nullptr;
    std::vector<char> line(cmd.begin(), cmd.end());
    line.push_back(0);
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION pi;
    if (line.size() > 32000 || !CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                               &si, &pi)) {
        Logf("! Failed to run %.200s", cmd.c_str());
        PlayEvent(SND_OTHER_FAIL);
        return 0;
    }
    CloseHandle(pi.hThread);
    if (process)
        *process = pi.hProcess;
    else
        CloseHandle(pi.hProcess);
    return 1;
}

// ---------------------------------------------------------------- remote copies

// Receives a remote file into a new temporary copy; "" on failure.  The
// worker counts as busy meanwhile, so no transfer or keep-alive interferes.
static std::string FetchCopy(const SelItem &item, int onlyOne)
{
    char tmp[MAX_PATH];
    if (!ArgumentOk("Name", item.name) || !MakeTempCopyName("DSP", item.name.c_str(), tmp, sizeof tmp))
        return "";
    SetWorkerBusy(1);
    int r = ReceiveFile(item.name.c_str(), tmp, 1, 1, 0, 0);
    SetWorkerBusy(0);
    if (r == 2)
        return tmp;
    DeleteFileA(tmp);
    ForgetTempFile(tmp);
    // A link the server will not send as a file may be a directory.
    if (item.kind == KIND_LINK && onlyOne && ChangeDir(item.name.c_str()) == 2)
        ShowRemote(0);
    return "";
}

// The files to act on: local names as they stand, remote ones as copies.
static std::vector<std::string> FilesFor(int side)
{
    std::vector<std::string> out;
    std::vector<SelItem> sel = CollectSelection(side, 1);
    for (const SelItem &s : sel) {
        if (s.kind == KIND_DIR || s.kind == KIND_DRIVE)
            continue;
        if (!side) {
            out.push_back(s.name);
            continue;
        }
        if (!g_ftp.connected || g_ftp.stop)
            break;
        std::string copy = FetchCopy(s, sel.size() == 1);
        if (!copy.empty())
            out.push_back(copy);
    }
    return out;
}

// ---------------------------------------------------------------- view, execute

void CmdView(int side)
{
    char viewer[MAX_PATH + 130];
    snprintf(viewer, sizeof viewer, "%s", g_cfg.viewer[0] ? g_cfg.viewer : "notepad");
    if (CtrlHeld() && !InputBox(g_main, "Enter ASCII file viewer program pathname:", viewer, sizeof viewer))
        return;
    if (!viewer[0])
        return;
    g_ftp.stop = 0;
    for (const std::string &f : FilesFor(side))
        RunCommandLine(ViewerCommand(viewer, f.c_str()), nullptr);
}

static void ExecuteOne(const std::string &file)
{
    if (CtrlHeld()) {
        std::string cmd;
        if (!EditCommand(file.c_str(), 1, &cmd))
            return;
        char line[1024];
        snprintf(line, sizeof line, "%s", cmd.c_str());
        if (InputBox(g_main, "Enter command line:", line, sizeof line) && line[0] && ArgumentOk("Command line", line))
            RunCommandLine(line, nullptr);
        return;
    }
    INT_PTR r = (INT_PTR)ShellExecuteA(g_main, "open", file.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    if (r > 32)
        return;
    Logf("+ ShellExecute return %u", (unsigned)r);
    std::string ext = ExtensionOf(file.c_str());
    if (ext.empty())
        return;
    std::string cmd;
    if (!_stricmp(ext.c_str(), "exe") || !_stricmp(ext.c_str(), "com") || !_stricmp(ext.c_str(), "bat") ||
        !_stricmp(ext.c_str(), "pif")) {
        cmd = QuotedName(file.c_str());
    } else if (!AssociationCommand(ext.c_str(), file.c_str(), &cmd)) {
        if (!AssociateDialog(g_main, ext.c_str()) || !AssociationCommand(ext.c_str(), file.c_str(), &cmd))
            return;
    }
    RunCommandLine(cmd, nullptr);
}

void CmdExecute(int side)
{
    g_ftp.stop = 0;
    for (const std::string &f : FilesFor(side))
        ExecuteOne(f);
}

// ---------------------------------------------------------------- directory information

void CmdDirInfo(int side)
{
    if (side) {
        if (g_ftp.connected && g_remoteListFile[0])
            RunCommandLine(ViewerCommand(g_cfg.viewer, g_remoteListFile), nullptr);
        return;
    }
    char path[MAX_PATH], dir[MAX_PATH];
    if (!MakeTempCopyName("DSP", "", path, sizeof path))
        return;
    GetCurrentDirectoryA(sizeof dir, dir);
    FILE *f = fopen(path, "w");
    if (!f)
        return;
    fprintf(f, " Directory of %s\n\n", dir);
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA("*.*", &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            FILETIME lt;
            SYSTEMTIME st = {};
            FileTimeToLocalFileTime(&fd.ftLastWriteTime, &lt);
            FileTimeToSystemTime(&lt, &st);
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                fprintf(f, "%-30.30s <DIR>      %04u-%02u-%02u  %2u:%02u\n", fd.cFileName, st.wYear, st.wMonth,
                        st.wDay, st.wHour, st.wMinute);
            else
                fprintf(f, "%-30.30s %10lu %04u-%02u-%02u  %2u:%02u\n", fd.cFileName, (unsigned long)fd.nFileSizeLow,
                        st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute);
        } while (FindNextFileA(h, &fd));
        FindClose(h);
    }
    fclose(f);
    RunCommandLine(ViewerCommand(g_cfg.viewer, path), nullptr);
}

// ---------------------------------------------------------------- the association dialog and page

static void FillAssociations(HWND dlg, const char *selectExt)
{
    HWND exts = GetDlgItem(dlg, IDC_AS_EXT), progs = GetDlgItem(dlg, IDC_AS_PROG);
    SendMessageA(exts, CB_RESETCONTENT, 0, 0);
    SendMessageA(progs, CB_RESETCONTENT, 0, 0);
    std::vector<char> keys(32768);
    DWORD n = GetProfileStringA("Extensions", nullptr, "", keys.data(), (DWORD)keys.size());
    for (const char *k = keys.data(); n && *k; k += strlen(k) + 1) {
        SendMessageA(exts, CB_ADDSTRING, 0, (LPARAM)k);
        char value[1024];
        GetProfileStringA("Extensions", k, "", value, sizeof value);
        char *caret = strchr(value, '^');
        if (caret)
            *caret = 0;
        size_t len = strlen(value);
        while (len && value[len - 1] == ' ')
            value[--len] = 0;
        if (value[0] && SendMessageA(progs, CB_FINDSTRINGEXACT, (WPARAM)-1, (LPARAM)value) == CB_ERR)
            SendMessageA(progs, CB_ADDSTRING, 0, (LPARAM)value);
    }
    SendMessageA(exts, CB_LIMITTEXT, 15, 0);
    SendMessageA(progs, CB_LIMITTEXT, 250, 0);
    if (selectExt)
        SetWindowTextA(exts, selectExt);
}

static void ShowAssociation(HWND dlg)
{
    char ext[64] = "";
    HWND exts = GetDlgItem(dlg, IDC_AS_EXT);
    int sel = (int)SendMessageA(exts, CB_GETCURSEL, 0, 0);
    if (sel >= 0 && SendMessageA(exts, CB_GETLBTEXTLEN, sel, 0) < (LRESULT)sizeof ext)
        SendMessageA(exts, CB_GETLBTEXT, sel, (LPARAM)ext);
    else
        GetWindowTextA(exts, ext, sizeof ext);
    char value[1024] = "";
    if (ext[0])
        GetProfileStringA("Extensions", ext, "", value, sizeof value);
    SetDlgItemTextA(dlg, IDC_AS_PROG, value);
}

static int ApplyAssociation(HWND dlg)
{
    char ext[64] = "", prog[300] = "";
    GetDlgItemTextA(dlg, IDC_AS_EXT, ext, sizeof ext);
    GetDlgItemTextA(dlg, IDC_AS_PROG, prog, sizeof prog);
    const char *e = ext[0] == '.' ? ext + 1 : ext;
    if (!e[0] || !prog[0])
        return 0;
    WriteAssociation(e, prog);
    return 1;
}

static void BrowseProgram(HWND dlg, int id)
{
    char file[MAX_PATH] = "";
    OPENFILENAMEA ofn = {};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = dlg;
    ofn.lpstrFilter = "Programs\0*.exe;*.pif;*.com;*.bat\0All Files (*.*)\0*.*\0\0";
    ofn.lpstrFile = file;
    ofn.nMaxFile = sizeof file;
    ofn.Flags = OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
    if (GetOpenFileNameA(&ofn))
        SetDlgItemTextA(dlg, id, file);
}

// Serves the dialog (lp: the extension) and the Options page (lp: the
// page record; apply comes as PSN_APPLY).
INT_PTR CALLBACK AssociateProc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_INITDIALOG: {
        const int isPage = GetWindowLongPtrA(dlg, GWL_STYLE) & WS_CHILD ? 1 : 0;
        FillAssociations(dlg, isPage ? nullptr : (const char *)lp);
        // The page opens on the first extension, the dialog on its own.
        if (isPage)
            SendDlgItemMessageA(dlg, IDC_AS_EXT, CB_SETCURSEL, 0, 0);
        ShowAssociation(dlg);
        return TRUE;
    }
    case WM_COMMAND:
        switch (LOWORD(wp)) {
        case IDC_AS_EXT:
            if (HIWORD(wp) == CBN_SELCHANGE)
                ShowAssociation(dlg);
            if (HIWORD(wp) == CBN_EDITCHANGE || HIWORD(wp) == CBN_SELCHANGE)
                SendMessageA(GetParent(dlg), PSM_CHANGED, (WPARAM)dlg, 0);
            return TRUE;
        case IDC_AS_PROG:
            if (HIWORD(wp) == CBN_EDITCHANGE || HIWORD(wp) == CBN_SELCHANGE)
                SendMessageA(GetParent(dlg), PSM_CHANGED, (WPARAM)dlg, 0);
            return TRUE;
        case IDC_AS_BROWSE:
            BrowseProgram(dlg, IDC_AS_PROG);
            return TRUE;
        case IDOK:
            EndDialog(dlg, ApplyAssociation(dlg));
            return TRUE;
        case IDCANCEL:
            EndDialog(dlg, 0);
            return TRUE;
        }
        break;
    case WM_NOTIFY:
        if (((NMHDR *)lp)->code == PSN_APPLY) {
            ApplyAssociation(dlg);
            SetWindowLongPtrA(dlg, DWLP_MSGRESULT, PSNRET_NOERROR);
            return TRUE;
        }
        break;
    }
    return FALSE;
}

int AssociateDialog(HWND owner, const char *ext)
{
    return DialogBoxParamA(g_inst, MAKEINTRESOURCEA(IDD_ASSOCIATE), owner, AssociateProc, (LPARAM)ext) == 1;
}

} // namespace t95
