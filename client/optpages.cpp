// Option pages with lists and files: Sounds, Convert (TESSEL.CNV),
// Extensions (TESSEL.EXT), Associations; and what the pages do to the main
// window: window locations, the list font, the one-pixel relayout.
#include "options.h"
#include "fileops.h"
#include "resource.h"

#include <commdlg.h>
#include <stdio.h>
#include <string.h>

namespace t95 {

// ---------------------------------------------------------------- Sounds

// Check boxes in the order of Config::snd: sndaf, sndcs, sndcf, sndts, sndtf.
static const char *const kSoundKeys[5] = {"sndaf", "sndcs", "sndcf", "sndts", "sndtf"};
static const int kSoundBits[5] = {SND_OTHER_FAIL, SND_CONNECT_OK, SND_CONNECT_FAIL, SND_XFER_OK, SND_XFER_FAIL};

static void SoundEnable(HWND p)
{
    const int kind = CheckedRadio(p, IDC_O_BELL0, 3, 0);
    for (int i = 0; i < 5; ++i) {
        EnableWindow(GetDlgItem(p, IDC_O_SND0 + i), kind != 0);
        EnableWindow(GetDlgItem(p, IDC_O_SNDPATH0 + i), kind == 2);
        EnableWindow(GetDlgItem(p, IDC_O_SNDBROWSE0 + i), kind == 2);
    }
}

static void SoundsInit(HWND p)
{
    for (int i = 0; i < 5; ++i) {
        SetCheck(p, IDC_O_SND0 + i, g_cfg.soundflags & kSoundBits[i]);
        SendDlgItemMessageA(p, IDC_O_SNDPATH0 + i, EM_LIMITTEXT, sizeof g_cfg.snd[i] - 1, 0);
        SetDlgItemTextA(p, IDC_O_SNDPATH0 + i, g_cfg.snd[i]);
    }
    CheckRadioButton(p, IDC_O_BELL0, IDC_O_BELL0 + 2, IDC_O_BELL0 + (!g_cfg.bell ? 0 : g_cfg.usewave ? 2 : 1));
    SoundEnable(p);
}

static void SoundsApply(HWND p)
{
    int flags = 0;
    for (int i = 0; i < 5; ++i) {
        if (GetCheck(p, IDC_O_SND0 + i))
            flags |= kSoundBits[i];
        snprintf(g_cfg.snd[i], sizeof g_cfg.snd[i], "%s", TextField(p, IDC_O_SNDPATH0 + i, 255).c_str());
        WriteIniText(T95_CONFIG, kSoundKeys[i], g_cfg.snd[i]);
    }
    g_cfg.soundflags = flags;
    WriteConfigKey("soundflags", flags);
    const int kind = CheckedRadio(p, IDC_O_BELL0, 3, 0);
    g_cfg.bell = kind != 0;
    WriteConfigKey("BELL", g_cfg.bell);
    if (kind) {
        g_cfg.usewave = kind == 2;
        WriteConfigKey("usewave", g_cfg.usewave);
    }
}

static int SoundsCommand(HWND p, int id, int code)
{
    if (code != BN_CLICKED)
        return 0;
    if (id >= IDC_O_BELL0 && id <= IDC_O_BELL0 + 2)
        SoundEnable(p);
    else if (id >= IDC_O_SNDBROWSE0 && id < IDC_O_SNDBROWSE0 + 5)
        BrowseFile(p, IDC_O_SNDPATH0 + (id - IDC_O_SNDBROWSE0), "Sound Files (*.wav)\0*.wav\0All Files (*.*)\0*.*\0\0");
    return 0;
}

const PageDef g_soundsPage = {IDD_OPT_SOUNDS, SoundsInit, SoundsApply, SoundsCommand, 203, nullptr};

// ---------------------------------------------------------------- list files

std::vector<std::string> ReadListFile(const char *path, size_t maxLen, size_t minLen)
{
    std::vector<std::string> out;
    FILE *f = fopen(path, "rb");
    if (!f)
        return out;
    std::string line;
    int c;
    auto take = [&]() {
        while (!line.empty() && (line.back() == ' ' || line.back() == '\t'))
            line.pop_back();
        // Lines too long for an entry are not entries: leave them out
        // rather than cut them into something else.
        if (line.size() >= minLen && line.size() <= maxLen && out.size() < 5000)
            out.push_back(line);
        line.clear();
    };
    while ((c = fgetc(f)) != EOF) {
        if (c == '\r' || c == '\n')
            take();
        else if (line.size() <= maxLen)
            line += (char)c;
        else
            line.resize(maxLen + 1); // remembers that the line is too long
    }
    take();
    fclose(f);
    return out;
}

int WriteListFile(const char *path, const std::vector<std::string> &lines)
{
    // Written beside the old file and swapped in, so a failed write leaves
    // the old list as it was.
    std::string tmp = std::string(path) + ".new";
    FILE *f = fopen(tmp.c_str(), "wb");
    if (!f)
        return 0;
    int ok = 1;
    for (const std::string &l : lines)
        ok &= fprintf(f, "%s\r\n", l.c_str()) > 0;
    ok &= fclose(f) == 0;
    if (!ok || !MoveFileExA(tmp.c_str(), path, MOVEFILE_REPLACE_EXISTING)) {
        DeleteFileA(tmp.c_str());
        return 0;
    }
    return 1;
}

static std::vector<std::string> ListEntries(HWND p, int id)
{
    std::vector<std::string> out;
    HWND list = GetDlgItem(p, id);
    int n = (int)SendMessageA(list, LB_GETCOUNT, 0, 0);
    for (int i = 0; i < n; ++i) {
        char text[128];
        if (SendMessageA(list, LB_GETTEXTLEN, i, 0) < (LRESULT)sizeof text) {
            SendMessageA(list, LB_GETTEXT, i, (LPARAM)text);
            out.push_back(text);
        }
    }
    return out;
}

static int FindEntry(HWND p, int id, const std::string &text)
{
    HWND list = GetDlgItem(p, id);
    int at = (int)SendMessageA(list, LB_FINDSTRINGEXACT, (WPARAM)-1, (LPARAM)text.c_str());
    return at;
}

// ---------------------------------------------------------------- Extensions

static void ExtensionsInit(HWND p)
{
    SendDlgItemMessageA(p, IDC_O_EEDIT, EM_LIMITTEXT, 9, 0);
    std::vector<std::string> ext = ReadListFile(g_files.ext, 9, 2);
    if (GetFileAttributesA(g_files.ext) == INVALID_FILE_ATTRIBUTES)
        ext.push_back(".TXT");
    for (const std::string &e : ext)
        if (FindEntry(p, IDC_O_ELIST, e) == LB_ERR)
            SendDlgItemMessageA(p, IDC_O_ELIST, LB_ADDSTRING, 0, (LPARAM)e.c_str());
}

static void ExtensionsApply(HWND p) { WriteListFile(g_files.ext, ListEntries(p, IDC_O_ELIST)); }

static int ExtensionsCommand(HWND p, int id, int code)
{
    std::string text = TextField(p, IDC_O_EEDIT, 9);
    if (id == IDC_O_EADD && code == BN_CLICKED) {
        if (text.size() > 1 && FindEntry(p, IDC_O_ELIST, text) == LB_ERR) {
            SendDlgItemMessageA(p, IDC_O_ELIST, LB_ADDSTRING, 0, (LPARAM)text.c_str());
            return 1;
        }
    } else if (id == IDC_O_EDEL && code == BN_CLICKED) {
        int at = FindEntry(p, IDC_O_ELIST, text);
        if (at != LB_ERR) {
            SendDlgItemMessageA(p, IDC_O_ELIST, LB_DELETESTRING, (WPARAM)at, 0);
            return 1;
        }
    } else if (id == IDC_O_ELIST && code == LBN_SELCHANGE) {
        std::vector<std::string> all = ListEntries(p, IDC_O_ELIST);
        int sel = (int)SendDlgItemMessageA(p, IDC_O_ELIST, LB_GETCURSEL, 0, 0);
        if (sel >= 0 && sel < (int)all.size())
            SetDlgItemTextA(p, IDC_O_EEDIT, all[(size_t)sel].c_str());
    }
    return 0;
}

const PageDef g_extensionsPage = {IDD_OPT_EXTENSIONS, ExtensionsInit, ExtensionsApply, ExtensionsCommand, 209,
                                  nullptr};

// ---------------------------------------------------------------- Convert

static void ConvertInit(HWND p)
{
    SendDlgItemMessageA(p, IDC_O_CSRC, EM_LIMITTEXT, 29, 0);
    SendDlgItemMessageA(p, IDC_O_CDST, EM_LIMITTEXT, 29, 0);
    for (const std::string &e : ReadListFile(g_files.cnv, 59, 1))
        if (FindEntry(p, IDC_O_CLIST, e) == LB_ERR)
            SendDlgItemMessageA(p, IDC_O_CLIST, LB_ADDSTRING, 0, (LPARAM)e.c_str());
}

static void ConvertApply(HWND p) { WriteListFile(g_files.cnv, ListEntries(p, IDC_O_CLIST)); }

// Index of the entry for a source ("source=..."), LB_ERR when none.
static int FindSource(HWND p, const std::string &src)
{
    std::vector<std::string> all = ListEntries(p, IDC_O_CLIST);
    for (size_t i = 0; i < all.size(); ++i)
        if (!_strnicmp(all[i].c_str(), (src + "=").c_str(), src.size() + 1))
            return (int)i;
    return LB_ERR;
}

static int ConvertCommand(HWND p, int id, int code)
{
    std::string src = TextField(p, IDC_O_CSRC, 29), dst = TextField(p, IDC_O_CDST, 29);
    if (id == IDC_O_CADD && code == BN_CLICKED) {
        std::string entry = src + "=" + dst;
        if (!src.empty() && !dst.empty() && src.find('=') == std::string::npos && entry.size() <= 59 &&
            FindEntry(p, IDC_O_CLIST, entry) == LB_ERR) {
            SendDlgItemMessageA(p, IDC_O_CLIST, LB_ADDSTRING, 0, (LPARAM)entry.c_str());
            return 1;
        }
    } else if (id == IDC_O_CDEL && code == BN_CLICKED) {
        int at = FindSource(p, src);
        if (at != LB_ERR) {
            SendDlgItemMessageA(p, IDC_O_CLIST, LB_DELETESTRING, (WPARAM)at, 0);
            return 1;
        }
    } else if (id == IDC_O_CLIST && code == LBN_SELCHANGE) {
        std::vector<std::string> all = ListEntries(p, IDC_O_CLIST);
        int sel = (int)SendDlgItemMessageA(p, IDC_O_CLIST, LB_GETCURSEL, 0, 0);
        if (sel >= 0 && sel < (int)all.size()) {
            const std::string &e = all[(size_t)sel];
            size_t eq = e.find('=');
            SetDlgItemTextA(p, IDC_O_CSRC, e.substr(0, eq).c_str());
            SetDlgItemTextA(p, IDC_O_CDST, eq == std::string::npos ? "" : e.substr(eq + 1).c_str());
        }
    }
    return 0;
}

const PageDef g_convertPage = {IDD_OPT_CONVERT, ConvertInit, ConvertApply, ConvertCommand, 208, nullptr};

const PageDef g_assocPage = {IDD_OPT_ASSOC, nullptr, nullptr, nullptr, 210, AssociateProc};

// ---------------------------------------------------------------- the main window

void RelayoutMain()
{
    static int s_larger;
    if (!g_main || IsIconic(g_main) || IsZoomed(g_main)) {
        if (g_main)
            LayoutControls(g_main);
        return;
    }
    RECT r;
    GetWindowRect(g_main, &r);
    // A size change makes the window lay itself out; alternately one pixel
    // smaller and larger so the window keeps its size over time.
    const int d = s_larger ? 1 : -1;
    s_larger = !s_larger;
    SetWindowPos(g_main, nullptr, 0, 0, r.right - r.left + d, r.bottom - r.top + d,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

static HFONT s_customFont;

void ApplyListFont()
{
    if (!g_main)
        return;
    static const int stock[4] = {SYSTEM_FONT, SYSTEM_FIXED_FONT, ANSI_VAR_FONT, ANSI_FIXED_FONT};
    HFONT font = (HFONT)GetStockObject(stock[g_cfg.font >= 0 && g_cfg.font < 4 ? g_cfg.font : 3]);
    HFONT old = s_customFont;
    s_customFont = nullptr;
    if (g_cfg.font == 4) {
        char face[32];
        ReadIniText(T95_CONFIG, "FNAME", "Courier New", face, sizeof face);
        s_customFont = CreateFontA(ReadIniInt(T95_CONFIG, "FHEIGHT", -11), ReadIniInt(T95_CONFIG, "FWIDTH", 0), 0, 0,
                                   ReadIniInt(T95_CONFIG, "FWEIGHT", FW_NORMAL), 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0,
                                   (BYTE)ReadIniInt(T95_CONFIG, "FPITCH", FIXED_PITCH | FF_MODERN), face);
        if (s_customFont)
            font = s_customFont;
    }
    static const int ids[6] = {IDC_LLIST, IDC_RLIST, IDC_LMASK, IDC_RMASK, IDC_LDIR, IDC_RDIR};
    for (int id : ids)
        SendMessageA(Ctl(id), WM_SETFONT, (WPARAM)font, TRUE);
    // The lists draw their own lines: their height follows the font, by
    // the rule the window uses when it creates them.
    HWND list = Ctl(IDC_LLIST);
    HDC dc = GetDC(list);
    HGDIOBJ prev = SelectObject(dc, font);
    TEXTMETRICA tm = {};
    GetTextMetricsA(dc, &tm);
    SelectObject(dc, prev);
    ReleaseDC(list, dc);
    const int height = tm.tmHeight > 16 ? tm.tmHeight + 1 : 17;
    for (int id : {IDC_LLIST, IDC_RLIST}) {
        SendMessageA(Ctl(id), LB_SETITEMHEIGHT, 0, height);
        InvalidateRect(Ctl(id), nullptr, TRUE);
    }
    // The old font is no longer selected anywhere.
    if (old)
        DeleteObject(old);
    LayoutControls(g_main);
}

int ChooseListFont(HWND owner)
{
    LOGFONTA lf = {};
    lf.lfHeight = ReadIniInt(T95_CONFIG, "FHEIGHT", -11);
    lf.lfWidth = ReadIniInt(T95_CONFIG, "FWIDTH", 0);
    lf.lfWeight = ReadIniInt(T95_CONFIG, "FWEIGHT", FW_NORMAL);
    lf.lfPitchAndFamily = (BYTE)ReadIniInt(T95_CONFIG, "FPITCH", FIXED_PITCH | FF_MODERN);
    lf.lfCharSet = DEFAULT_CHARSET;
    ReadIniText(T95_CONFIG, "FNAME", "Courier New", lf.lfFaceName, sizeof lf.lfFaceName);
    CHOOSEFONTA cf = {};
    cf.lStructSize = sizeof cf;
    cf.hwndOwner = owner;
    cf.lpLogFont = &lf;
    cf.Flags = CF_SCREENFONTS | CF_INITTOLOGFONTSTRUCT;
    if (!ChooseFontA(&cf))
        return 0;
    WriteIniInt(T95_CONFIG, "FHEIGHT", lf.lfHeight);
    WriteIniInt(T95_CONFIG, "FWIDTH", lf.lfWidth);
    WriteIniInt(T95_CONFIG, "FWEIGHT", lf.lfWeight);
    WriteIniUInt(T95_CONFIG, "FPITCH", lf.lfPitchAndFamily);
    char face[32];
    snprintf(face, sizeof face, "%s", lf.lfFaceName);
    WriteIniText(T95_CONFIG, "FNAME", face);
    g_cfg.font = 4;
    WriteConfigKey("FONT", 4);
    return 1;
}

void SaveWindowLocations()
{
    if (!g_main)
        return;
    char buf[96];
    if (IsZoomed(g_main)) {
        WriteIniText(T95_CONFIG, "MAXIMIZE", "1");
    } else {
        WriteIniText(T95_CONFIG, "MAXIMIZE", nullptr);
        RECT r;
        GetWindowRect(g_main, &r);
        snprintf(buf, sizeof buf, "%u,%u,%u,%u,%u,%u", (unsigned)(r.left < 0 ? 0 : r.left),
                 (unsigned)(r.top < 0 ? 0 : r.top), (unsigned)(r.right - r.left), (unsigned)(r.bottom - r.top),
                 (unsigned)g_vsplit, (unsigned)g_hsplit);
        WriteIniText(T95_CONFIG, "LOC", buf);
    }
    RECT lr;
    if (g_logWnd && IsWindowVisible(g_logWnd) && GetWindowRect(g_logWnd, &lr) && lr.right > lr.left) {
        snprintf(buf, sizeof buf, "%u,%u,%u,%u", (unsigned)(lr.left < 0 ? 0 : lr.left),
                 (unsigned)(lr.top < 0 ? 0 : lr.top), (unsigned)(lr.right - lr.left), (unsigned)(lr.bottom - lr.top));
        WriteIniText(T95_CONFIG, "SLOC", buf);
    }
    snprintf(buf, sizeof buf, "%u,%u,%u,%u", g_cfg.locl[0], g_cfg.locl[1], g_cfg.locl[2], g_cfg.locl[3]);
    WriteIniText(T95_CONFIG, "LOCL", buf);
    snprintf(buf, sizeof buf, "%u,%u,%u,%u", g_cfg.locr[0], g_cfg.locr[1], g_cfg.locr[2], g_cfg.locr[3]);
    WriteIniText(T95_CONFIG, "LOCR", buf);
}

void ResetWindowLocations()
{
    for (const char *key : {"LOC", "SLOC", "LOCL", "LOCR"})
        WriteIniText(T95_CONFIG, key, nullptr);
    if (!g_main)
        return;
    const int sw = GetSystemMetrics(SM_CXSCREEN);
    if (IsZoomed(g_main))
        ShowWindow(g_main, SW_RESTORE);
    g_vsplit = sw * 5 / 12;
    MoveWindow(g_main, 10, 10, sw * 5 / 6, 440, TRUE);
    if (g_logWnd && IsWindowVisible(g_logWnd)) {
        RECT r;
        GetWindowRect(g_main, &r);
        MoveWindow(g_logWnd, r.left, r.top + 40, r.right - r.left, (r.bottom - r.top) / 2, TRUE);
    }
    LayoutControls(g_main);
}

} // namespace t95
