// The two file lists: list item records, the local and remote listings
// (remote ones decoded by the library and cached in temporary files),
// drawing and sorting.
#include "client.h"

#include "direntry.h"

#include <ctype.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

namespace t95 {

char g_localMask[MAX_PATH] = "*.*";
char g_remoteListFile[MAX_PATH];
int g_lsort = 1, g_rsort = 1;

static const char kUnavailable[] = "directory identifier unavailable";

// ---------------------------------------------------------------- items

HGLOBAL NewItem(int side, int kind, const char *name, const char *rest)
{
    size_t nl = strlen(name);
    size_t rl = rest && *rest ? strlen(rest) + 1 : 0;
    const size_t bytes = sizeof(ListItem) + nl + rl + 1;
    HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, bytes);
    // Movable blocks come from a table of about 65,000 handles; a long
    // listing goes on with fixed blocks, which the same calls handle.
    if (!h)
        h = GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, bytes);
    if (!h)
        return nullptr;
    ListItem *it = (ListItem *)GlobalLock(h);
    it->side = side;
    it->kind = kind;
    it->nameLen = (int32_t)nl;
    memcpy(it->text, name, nl);
    if (rl) {
        it->text[nl] = '\t';
        memcpy(it->text + nl + 1, rest, rl - 1);
    }
    GlobalUnlock(h);
    return h;
}

int AddItem(HWND list, HGLOBAL h)
{
    if (!h)
        return -1;
    LRESULT r = SendMessageA(list, LB_INSERTSTRING, (WPARAM)-1, (LPARAM)h);
    if (r == LB_ERR || r == LB_ERRSPACE) {
        // The list could not take it: the record is skipped, not leaked.
        GlobalFree(h);
        return -1;
    }
    return (int)r;
}

// Records are freed in WM_DELETEITEM; while a list is re-sorted its records
// are taken out and put back, so they must survive the reset.
static int s_keepRecords;

void FreeDeletedItem(const DELETEITEMSTRUCT *d)
{
    if (!s_keepRecords && d->itemData)
        GlobalFree((HGLOBAL)d->itemData);
}

void ClearList(HWND list)
{
    if (list)
        SendMessageA(list, LB_RESETCONTENT, 0, 0);
}

static const char *Ext(const char *s, size_t n)
{
    const char *dot = nullptr;
    for (size_t i = 0; i < n; ++i)
        if (s[i] == '.')
            dot = s + i + 1;
    return dot ? dot : s + n;
}

int CompareItems(const ListItem *a, const ListItem *b, int word)
{
    const int aUp = a->nameLen == 2 && !strncmp(a->text, "..", 2);
    const int bUp = b->nameLen == 2 && !strncmp(b->text, "..", 2);
    if (aUp || bUp)
        return aUp && bUp ? 0 : aUp ? -1 : 1;
    if (!(word & SORT_MIXED) && (a->kind > 1 || b->kind > 1) && a->kind != b->kind) {
        int r = a->kind > b->kind ? -1 : 1;
        return (word & SORT_BOTTOM) ? -r : r;
    }
    const int aDrive = a->kind == KIND_DRIVE, bDrive = b->kind == KIND_DRIVE;
    if (aDrive != bDrive)
        return aDrive ? 1 : -1;
    int r = 0;
    switch (word & SORT_KEYMASK) {
    case 1:
        r = lstrcmpiA(a->text, b->text);
        break;
    case 2: {
        std::string ta(a->text), tb(b->text);
        for (std::string *t : {&ta, &tb}) {
            size_t tab = t->find('\t');
            if (tab != std::string::npos)
                t->resize(tab);
            while (!t->empty() && (t->back() == ' ' || t->back() == '\t'))
                t->pop_back();
        }
        r = lstrcmpiA(Ext(ta.c_str(), ta.size()), Ext(tb.c_str(), tb.size()));
        if (!r)
            r = lstrcmpiA(a->text, b->text);
        break;
    }
    case 3: {
        const int ka[5] = {a->year, a->month, a->day, a->hour, a->minute};
        const int kb[5] = {b->year, b->month, b->day, b->hour, b->minute};
        for (int i = 0; i < 5 && !r; ++i)
            r = ka[i] < kb[i] ? -1 : ka[i] > kb[i];
        break;
    }
    case 4:
        r = a->size < b->size ? -1 : a->size > b->size;
        break;
    case 5:
        r = lstrcmpiA(a->text[0] ? a->text + 1 : a->text, b->text[0] ? b->text + 1 : b->text);
        if (!r) {
            int ca = tolower((unsigned char)a->text[0]), cb = tolower((unsigned char)b->text[0]);
            r = ca < cb ? -1 : ca > cb;
        }
        break;
    default:
        r = 0;
        break;
    }
    if (r < 0)
        r = -1;
    else if (r > 0)
        r = 1;
    return (word & SORT_REVERSE) ? -r : r;
}

void SortList(HWND list, int word)
{
    int n = (int)SendMessageA(list, LB_GETCOUNT, 0, 0);
    if (n <= 1)
        return;
    struct Ref {
        HGLOBAL h;
        ListItem *it;
    };
    std::vector<Ref> refs;
    refs.reserve((size_t)n);
    for (int i = 0; i < n; ++i) {
        HGLOBAL h = (HGLOBAL)SendMessageA(list, LB_GETITEMDATA, i, 0);
        refs.push_back({h, h ? (ListItem *)GlobalLock(h) : nullptr});
    }
    std::stable_sort(refs.begin(), refs.end(), [word](const Ref &x, const Ref &y) {
        if (!x.it || !y.it)
            return x.it && !y.it;
        return CompareItems(x.it, y.it, word) < 0;
    });
    int top = (int)SendMessageA(list, LB_GETTOPINDEX, 0, 0);
    SendMessageA(list, WM_SETREDRAW, FALSE, 0);
    s_keepRecords = 1;
    SendMessageA(list, LB_RESETCONTENT, 0, 0);
    s_keepRecords = 0;
    SendMessageA(list, LB_INITSTORAGE, (WPARAM)n, 0);
    unsigned dropped = 0;
    for (Ref &r : refs) {
        if (r.it)
            GlobalUnlock(r.h);
        if (r.h && AddItem(list, r.h) < 0)
            ++dropped;
    }
    if (dropped)
        Logf("+ %u entries not shown: the list is full", dropped);
    SendMessageA(list, LB_SETTOPINDEX, (WPARAM)top, 0);
    SendMessageA(list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list, nullptr, TRUE);
}

// ---------------------------------------------------------------- ASCII test

int IsAsciiName(const char *name)
{
    char buf[300];
    snprintf(buf, sizeof buf, "%s", name);
    if (char *semi = strchr(buf, ';'))
        *semi = 0;
    size_t n = strlen(buf);
    FILE *f = fopen(g_files.ext, "r");
    if (!f)
        return n > 4 && !lstrcmpiA(buf + n - 4, ".TXT");
    char line[64];
    int hit = 0;
    while (!hit && fgets(line, sizeof line, f)) {
        size_t l = strcspn(line, "\r\n");
        if (l > 9)
            l = 9;
        line[l] = 0;
        if (l < 2)
            continue;
        if (!lstrcmpiA(line, buf) || (l < n && !lstrcmpiA(line, buf + n - l)))
            hit = 1;
    }
    fclose(f);
    return hit;
}

// ---------------------------------------------------------------- local listing

void RefreshLocal()
{
    if (!g_main)
        return;
    HWND list = GetDlgItem(g_main, IDC_LLIST);
    char dir[MAX_PATH];
    if (!GetCurrentDirectoryA(180, dir))
        dir[0] = 0;
    HWND combo = GetDlgItem(g_main, IDC_LDIR);
    SetWindowTextA(combo, dir);
    SendMessageA(list, WM_SETREDRAW, FALSE, 0);
    ClearList(list);
    AddItem(list, NewItem(0, KIND_DIR, "..", nullptr));
    WIN32_FIND_DATAA fd;
    auto fill = [](HGLOBAL h, const WIN32_FIND_DATAA &fd) {
        if (!h)
            return;
        ListItem *it = (ListItem *)GlobalLock(h);
        FILETIME lt;
        SYSTEMTIME st;
        if (FileTimeToLocalFileTime(&fd.ftLastWriteTime, &lt) && FileTimeToSystemTime(&lt, &st)) {
            it->year = (int16_t)st.wYear;
            it->month = (uint8_t)st.wMonth;
            it->day = (uint8_t)st.wDay;
            it->hour = (uint8_t)st.wHour;
            it->minute = (uint8_t)st.wMinute;
        }
        it->size = (int32_t)(fd.nFileSizeHigh ? 0x7FFFFFFF : (fd.nFileSizeLow > 0x7FFFFFFF ? 0x7FFFFFFF : fd.nFileSizeLow));
        GlobalUnlock(h);
    };
    auto rest = [](const WIN32_FIND_DATAA &fd, char *out, size_t size) -> const char * {
        if (!g_cfg.longDir)
            return nullptr;
        FILETIME lt;
        SYSTEMTIME st = {};
        FileTimeToLocalFileTime(&fd.ftLastWriteTime, &lt);
        FileTimeToSystemTime(&lt, &st);
        snprintf(out, size, "%04u%02u%02u %02u:%02u %10ld", st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute,
                 (long)fd.nFileSizeLow);
        return out;
    };
    HANDLE h = FindFirstFileA("*.*", &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || !strcmp(fd.cFileName, ".") ||
                !strcmp(fd.cFileName, ".."))
                continue;
            char extra[64];
            HGLOBAL item = NewItem(0, KIND_DIR, fd.cFileName, rest(fd, extra, sizeof extra));
            fill(item, fd);
            AddItem(list, item);
        } while (FindNextFileA(h, &fd));
        FindClose(h);
    }
    HWND drives = GetDlgItem(g_main, IDC_DRIVES);
    if (drives) {
        SendMessageA(drives, LB_RESETCONTENT, 0, 0);
        SendMessageA(drives, LB_DIR, DDL_DRIVES | DDL_EXCLUSIVE, (LPARAM) "*");
        int n = (int)SendMessageA(drives, LB_GETCOUNT, 0, 0);
        for (int i = 0; i < n; ++i) {
            char d[32];
            if (SendMessageA(drives, LB_GETTEXTLEN, i, 0) < (LRESULT)sizeof d) {
                SendMessageA(drives, LB_GETTEXT, i, (LPARAM)d);
                AddItem(list, NewItem(0, KIND_DRIVE, d, nullptr));
            }
        }
    }
    h = FindFirstFileA(g_localMask[0] ? g_localMask : "*.*", &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                continue;
            char extra[64];
            char padded[MAX_PATH + 16];
            const char *r = rest(fd, extra, sizeof extra);
            if (r) {
                snprintf(padded, sizeof padded, "%-12s\t%s", fd.cFileName, r);
                r = padded + strlen(fd.cFileName) + 1;
            }
            HGLOBAL item = NewItem(0, IsAsciiName(fd.cFileName) ? KIND_TEXT : KIND_FILE, fd.cFileName, r);
            fill(item, fd);
            AddItem(list, item);
        } while (FindNextFileA(h, &fd));
        FindClose(h);
    }
    SortList(list, g_lsort);
    SendMessageA(list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list, nullptr, TRUE);
    UpdateButtons();
}

// ---------------------------------------------------------------- time offset

void ShiftTime(int offset, int *year, int *month, int *day, int *hour)
{
    static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (!offset || !*month || *month > 12 || !*hour)
        return;
    int h = *hour + offset;
    int d = *day;
    while (h > 23) {
        h -= 24;
        ++d;
    }
    while (h < 0) {
        h += 24;
        --d;
    }
    if (d > days[*month - 1]) {
        d = 1;
        if (++*month > 12) {
            *month = 1;
            ++*year;
        }
    } else if (d < 1) {
        if (--*month < 1) {
            *month = 12;
            --*year;
        }
        d = days[*month - 1];
    }
    *day = d;
    *hour = h;
}

// ---------------------------------------------------------------- remote listing

struct CacheEntry {
    std::string dir;
    std::string file;
};
static std::vector<CacheEntry> s_cache;

void ClearRemoteCache()
{
    for (const CacheEntry &e : s_cache) {
        DeleteFileA(e.file.c_str());
        ForgetTempFile(e.file.c_str());
    }
    s_cache.clear();
    g_remoteListFile[0] = 0;
}

static int Is6018MemberHeader(const char *l)
{
    if (strlen(l) < 70)
        return 0;
    static const int blanks[] = {40, 46, 50, 63, 66, 68};
    for (int b : blanks)
        if (l[b] != ' ')
            return 0;
    return l[44] == 'F' && l[45] == 'B' && l[61] == 'P' && l[62] == 'O' && l[64] == 'N' && l[65] == 'O';
}

void DecodeListingFile(const char *path, HWND list)
{
    FILE *f = fopen(path, "rb");
    if (!f) {
        Logf("\"! couldn't open %s for read.\"", path);
        PlayEvent(SND_OTHER_FAIL);
        return;
    }
    SendMessageA(list, WM_SETREDRAW, FALSE, 0);
    ClearList(list);
    AddItem(list, NewItem(1, KIND_DIR, "..", nullptr));
    const int hostType = g_ftp.hostType;
    const int offset = g_session.timeOffset;
    // Whole lines only: a line too long for the buffer is skipped, never
    // decoded in pieces.
    static char line[4096];
    DirEntry e;
    int memberMode = 0;
    int first = 1;
    unsigned dropped = 0;
    while (fgets(line, sizeof line, f)) {
        size_t n = strlen(line);
        if (n == sizeof line - 1 && line[n - 1] != '\n') {
            int ch;
            while ((ch = fgetc(f)) != EOF && ch != '\n') {
            }
            first = 0;
            continue;
        }
        while (n && (line[n - 1] == '\n' || line[n - 1] == '\r'))
            line[--n] = 0;
        if (hostType == 6018) {
            if (first && Is6018MemberHeader(line)) {
                memberMode = 1;
                first = 0;
                continue;
            }
            if (memberMode) {
                if (n > 9 && line[0] != ' ' && line[8] == ' ' && line[9] == ' ') {
                    for (size_t pos = 0; pos < n; pos += 10) {
                        char name[9];
                        size_t k = 0;
                        while (k < 8 && pos + k < n && line[pos + k] != ' ') {
                            name[k] = line[pos + k];
                            ++k;
                        }
                        if (!k)
                            break;
                        name[k] = 0;
                        AddItem(list, NewItem(1, KIND_FILE, name, nullptr));
                    }
                    continue;
                }
                memberMode = 0;
            }
        }
        first = 0;
        memset(&e, 0, sizeof e);
        if (TESSEL_DecodeLine(&e, line, hostType, g_ftp.remoteDir, g_session.user) <= 0)
            continue;
        e.name[sizeof e.name - 1] = 0;
        if (!e.name[0] || !strcmp(e.name, ".") || !strcmp(e.name, ".."))
            continue;
        int kind = e.kind & 0x0F;
        if (!kind)
            kind = IsAsciiName(e.name) ? KIND_TEXT : KIND_FILE;
        HGLOBAL h = NewItem(1, kind, e.name, line);
        if (!h) {
            ++dropped;
            continue;
        }
        ListItem *it = (ListItem *)GlobalLock(h);
        int y = e.year, mo = e.month, d = e.day, hr = e.hour;
        if (y || mo)
            ShiftTime(offset, &y, &mo, &d, &hr);
        it->year = (int16_t)y;
        it->month = (uint8_t)mo;
        it->day = (uint8_t)d;
        it->hour = (uint8_t)hr;
        it->minute = e.minute;
        it->size = (int32_t)(e.size > 0x7FFFFFFF ? 0x7FFFFFFF : e.size);
        GlobalUnlock(h);
        if (AddItem(list, h) < 0)
            ++dropped;
    }
    fclose(f);
    if (dropped)
        Logf("+ %u entries not shown: the list is full", dropped);
    SortList(list, g_rsort);
    SendMessageA(list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list, nullptr, TRUE);
}

static void RememberRemoteDir(const char *dir)
{
    HWND combo = GetDlgItem(g_main, IDC_RDIR);
    LRESULT at = SendMessageA(combo, CB_FINDSTRINGEXACT, (WPARAM)-1, (LPARAM)dir);
    if (at != CB_ERR)
        SendMessageA(combo, CB_DELETESTRING, (WPARAM)at, 0);
    SendMessageA(combo, CB_INSERTSTRING, 0, (LPARAM)dir);
    SetWindowTextA(combo, dir);
}

void ShowRemote(int forced)
{
    if (!g_main)
        return;
    HWND list = GetDlgItem(g_main, IDC_RLIST);
    if (!g_ftp.connected) {
        ClearList(list);
        return;
    }
    snprintf(g_ftp.remoteDir, sizeof g_ftp.remoteDir, "%s", kUnavailable);
    if (forced || g_ftp.hostType != 6026) {
        if (PrintDir() == 2) {
            char dir[256] = "";
            TakePwdReply(g_ftp.reply, forced, dir, sizeof dir);
            if (dir[0])
                snprintf(g_ftp.remoteDir, sizeof g_ftp.remoteDir, "%s", dir);
        }
    }
    if (strcmp(g_ftp.remoteDir, kUnavailable))
        RememberRemoteDir(g_ftp.remoteDir);
    else
        SetDlgItemTextA(g_main, IDC_RDIR, g_ftp.remoteDir);
    if (!g_ftp.detectDone)
        DetectHostType();
    CacheEntry *hit = nullptr;
    if (strcmp(g_ftp.remoteDir, kUnavailable))
        for (CacheEntry &e : s_cache)
            if (e.dir == g_ftp.remoteDir)
                hit = &e;
    std::string file;
    if (hit && !forced && GetFileAttributesA(hit->file.c_str()) != INVALID_FILE_ATTRIBUTES) {
        file = hit->file;
    } else {
        if (hit) {
            file = hit->file;
        } else {
            char tmpDir[MAX_PATH], tmp[MAX_PATH];
            GetTempPathA(sizeof tmpDir, tmpDir);
            if (!GetTempFileNameA(tmpDir, "DIR", 0, tmp))
                return;
            RememberTempFile(tmp);
            file = tmp;
            if (strcmp(g_ftp.remoteDir, kUnavailable)) {
                if (s_cache.size() >= 19) {
                    DeleteFileA(s_cache.front().file.c_str());
                    ForgetTempFile(s_cache.front().file.c_str());
                    s_cache.erase(s_cache.begin());
                }
                s_cache.push_back({g_ftp.remoteDir, file});
            }
        }
        char cmd[300];
        if (g_session.rmask[0])
            snprintf(cmd, sizeof cmd, "LIST %s", g_session.rmask);
        else
            strcpy(cmd, "LIST");
        int cls = ListToFile(cmd, file.c_str(), 0);
        if (cls == 2 && g_ftp.hostType == 6046)
            ListToFile("NLST", file.c_str(), 1);
        if (cls != 2) {
            Logf("! Retrieve of directory listing failed (%u)", (unsigned)cls);
            PlayEvent(SND_OTHER_FAIL);
            ClearList(list);
            AddItem(list, NewItem(1, KIND_DIR, "..", nullptr));
            // A failed listing must not be served from the cache later.
            for (size_t i = 0; i < s_cache.size(); ++i)
                if (s_cache[i].file == file) {
                    DeleteFileA(file.c_str());
                    ForgetTempFile(file.c_str());
                    s_cache.erase(s_cache.begin() + (long)i);
                    break;
                }
            UpdateButtons();
            return;
        }
    }
    snprintf(g_remoteListFile, sizeof g_remoteListFile, "%s", file.c_str());
    DecodeListingFile(file.c_str(), list);
    UpdateButtons();
}

void Resort(int side)
{
    if (!g_main)
        return;
    if (side) {
        if (g_remoteListFile[0] && g_ftp.connected)
            DecodeListingFile(g_remoteListFile, GetDlgItem(g_main, IDC_RLIST));
        else
            SortList(GetDlgItem(g_main, IDC_RLIST), g_rsort);
    } else {
        SortList(GetDlgItem(g_main, IDC_LLIST), g_lsort);
    }
}

void HeaderClick(int side, int which)
{
    int &word = side ? g_rsort : g_lsort;
    int key = word & SORT_KEYMASK;
    if (which == 0) {
        // "^": on top -> mixed -> at the bottom -> on top.
        if (word & SORT_MIXED)
            word = (word & ~SORT_MIXED) | SORT_BOTTOM;
        else if (word & SORT_BOTTOM)
            word &= ~SORT_BOTTOM;
        else
            word |= SORT_MIXED;
    } else {
        int want;
        int reverse = 0;
        const int ctrl = GetKeyState(VK_CONTROL) < 0;
        const int alt = GetKeyState(VK_MENU) < 0;
        if (which == 1)
            want = ctrl ? 2 : (alt && side) ? 5 : 1;
        else if (which == 2)
            want = 3, reverse = SORT_REVERSE;
        else
            want = 4;
        if (key == want)
            word ^= SORT_REVERSE;
        else
            word = (word & (SORT_MIXED | SORT_BOTTOM)) | want | reverse;
    }
    Resort(side);
}

// ---------------------------------------------------------------- drawing

void FormatItemDate(const ListItem *it, char *out, size_t size)
{
    // Short years are the last two digits, whatever the century.
    unsigned year = g_cfg.longDate ? (unsigned)it->year : (unsigned)(it->year % 100);
    const char *y2 = g_cfg.longDate ? "%u" : "%02u";
    char fmt[64];
    switch (g_cfg.dateFmt) {
    case 1:
        snprintf(fmt, sizeof fmt, "%%02u%%02u%s %%02u:%%02u", y2);
        snprintf(out, size, fmt, it->month, it->day, year, it->hour, it->minute);
        break;
    case 2:
        snprintf(fmt, sizeof fmt, "%%02u%%02u%s %%02u:%%02u", y2);
        snprintf(out, size, fmt, it->day, it->month, year, it->hour, it->minute);
        break;
    default:
        snprintf(fmt, sizeof fmt, "%s%%02u%%02u %%02u:%%02u", y2);
        snprintf(out, size, fmt, year, it->month, it->day, it->hour, it->minute);
        break;
    }
}

static HBITMAP s_bmp[6]; // dsk, dir, dup, lnk, txt, unk

void LoadBitmaps()
{
    static const char *const names[6] = {"BMPDSK", "BMPDIR", "BMPDUP", "BMPLNK", "BMPTXT", "BMPUNK"};
    for (int i = 0; i < 6; ++i)
        if (!s_bmp[i])
            s_bmp[i] = LoadBitmapA(g_inst, names[i]);
}

void FreeGdiBitmaps()
{
    for (HBITMAP &b : s_bmp) {
        if (b)
            DeleteObject(b);
        b = nullptr;
    }
}

// Draws the name cut to the width, ending in "~" when it had to be cut.
static void DrawCutName(HDC dc, const char *name, int len, RECT r)
{
    SIZE sz;
    GetTextExtentPoint32A(dc, name, len, &sz);
    if (sz.cx <= r.right - r.left) {
        ExtTextOutA(dc, r.left, r.top, ETO_CLIPPED, &r, name, (UINT)len, nullptr);
        return;
    }
    std::string s(name, (size_t)len);
    while (!s.empty()) {
        s.pop_back();
        std::string t = s + "~";
        GetTextExtentPoint32A(dc, t.c_str(), (int)t.size(), &sz);
        if (sz.cx <= r.right - r.left) {
            ExtTextOutA(dc, r.left, r.top, ETO_CLIPPED, &r, t.c_str(), (UINT)t.size(), nullptr);
            return;
        }
    }
    ExtTextOutA(dc, r.left, r.top, ETO_CLIPPED, &r, "~", 1, nullptr);
}

void DrawListItem(const DRAWITEMSTRUCT *d)
{
    if (d->itemID == (UINT)-1)
        return;
    HDC dc = d->hDC;
    RECT rc = d->rcItem;
    const int selected = (d->itemState & ODS_SELECTED) != 0;
    FillRect(dc, &rc, GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
    HGLOBAL h = (HGLOBAL)d->itemData;
    ListItem *it = h ? (ListItem *)GlobalLock(h) : nullptr;
    if (!it)
        return;
    const int *cols = it->side ? g_cfg.locr : g_cfg.locl;
    int bi;
    switch (it->kind) {
    case KIND_DRIVE: bi = 0; break;
    case KIND_DIR: bi = (it->nameLen == 2 && !strncmp(it->text, "..", 2)) ? 2 : 1; break;
    case KIND_LINK: bi = 3; break;
    case KIND_TEXT: bi = 4; break;
    default: bi = 5; break;
    }
    if (s_bmp[bi]) {
        HDC mem = CreateCompatibleDC(dc);
        HGDIOBJ old = SelectObject(mem, s_bmp[bi]);
        int y = rc.top + (rc.bottom - rc.top - 16) / 2;
        TransparentBlt(dc, rc.left + 1, y, 16, 16, mem, 0, 0, 16, 16, RGB(255, 255, 255));
        SelectObject(mem, old);
        DeleteDC(mem);
    }
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
    RECT nr = {rc.left + cols[0], rc.top, rc.left + cols[1] - 4, rc.bottom};
    DrawCutName(dc, it->text, it->nameLen, nr);
    if (it->year || it->month) {
        char date[40];
        FormatItemDate(it, date, sizeof date);
        RECT dr = {rc.left + cols[1], rc.top, rc.left + cols[2], rc.bottom};
        ExtTextOutA(dc, dr.left, dr.top, ETO_CLIPPED, &dr, date, (UINT)strlen(date), nullptr);
        if (it->kind != KIND_DIR || it->size) {
            char size[24];
            snprintf(size, sizeof size, "%ld", (long)it->size);
            RECT sr = {rc.left + cols[2], rc.top, rc.left + cols[3], rc.bottom};
            DrawTextA(dc, size, -1, &sr, DT_RIGHT | DT_SINGLELINE | DT_NOPREFIX);
        }
    } else {
        const char *rest = it->text + it->nameLen;
        while (*rest == ' ' || *rest == '\t')
            ++rest;
        if (*rest) {
            int stops[3] = {cols[2] - cols[1], cols[3] - cols[1], cols[3] - cols[1] + 80};
            TabbedTextOutA(dc, rc.left + cols[1], rc.top, rest, (int)strlen(rest), 3, stops, rc.left + cols[1]);
        }
    }
    if (d->itemState & ODS_FOCUS)
        DrawFocusRect(dc, &rc);
    GlobalUnlock(h);
}

} // namespace t95
