// The command line: options (stage 1), the posted "command line" command
// (stage 2), path classification, batch files and the unattended transfer.
#include "client.h"
#include "xferrules.h"

#include <ctype.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

namespace t95 {

CmdState g_cmd;

static int IsBlank(char c) { return c == ' ' || c == '\t'; }

// Copies the next word (double quotes group) into out; returns the text
// after it, or nullptr when the word does not fit.
static const char *TakeWord(const char *p, char *out, size_t size)
{
    while (IsBlank(*p))
        ++p;
    size_t n = 0;
    int quoted = *p == '"';
    if (quoted)
        ++p;
    while (*p && (quoted ? *p != '"' : !IsBlank(*p))) {
        if (n + 1 >= size)
            return nullptr;
        out[n++] = *p++;
    }
    if (quoted && *p == '"')
        ++p;
    out[n] = 0;
    return p;
}

int SplitWords(const char *text, char *w1, size_t s1, char *w2, size_t s2)
{
    w1[0] = w2[0] = 0;
    const char *p = TakeWord(text, w1, s1);
    // A word too long for its buffer refuses both: a cut path, or a
    // dropped destination, would name another file.
    if (!p || !TakeWord(p, w2, s2)) {
        w1[0] = w2[0] = 0;
        return 0;
    }
    return 1;
}

static void UnknownArguments(const char *text)
{
    char msg[600];
    snprintf(msg, sizeof msg, "Unknown arguments %.500s", text);
    LogLine(msg);
    AskUser(g_main, msg, T95_APPNAME, MB_OK | MB_ICONSTOP);
}

int IsUnattendedCommandLine(const char *text)
{
    // The same walk over the options as ParseOptions, without acting on
    // any: the answer is needed before the configuration is loaded, since
    // loading a session may ask for an e-mail address.
    const char *p = text ? text : "";
    for (;;) {
        while (IsBlank(*p))
            ++p;
        if (*p != '-')
            break;
        const char *start = p;
        while (*p && !IsBlank(*p))
            ++p;
        char value[MAX_PATH];
        switch (tolower((unsigned char)start[1])) {
        case 'a':
        case 'b':
            break;
        case 'q':
        case 's':
        case 'm':
            return 1;
        case 'c':
        case 'd':
        case 'u':
        case 'w':
        case 'i':
        case 'p': {
            const char *q = TakeWord(p, value, sizeof value);
            if (!q)
                return 0; // refused as an unknown argument; nothing runs
            p = q;
            break;
        }
        default:
            // Parsing stops at an unknown option; words after it still say
            // that a transfer was meant, and that run must end on its own.
            while (IsBlank(*p))
                ++p;
            return strlen(p) > 3;
        }
    }
    return strlen(p) > 3;
}

int ParseOptions(const char *text, char *rest, size_t restSize)
{
    if (restSize)
        rest[0] = 0;
    const char *p = text ? text : "";
    for (;;) {
        while (IsBlank(*p))
            ++p;
        if (*p != '-')
            break;
        const char *start = p;
        char word[64];
        size_t wn = 0;
        while (*p && !IsBlank(*p)) {
            if (wn + 1 < sizeof word)
                word[wn++] = *p;
            ++p;
        }
        word[wn] = 0;
        char c = (char)tolower((unsigned char)word[1]);
        // Options with a value take the next word; a value that does not fit
        // its field is refused rather than cut.
        char value[MAX_PATH];
        auto takeValue = [&](size_t fieldSize) -> bool {
            const char *q = TakeWord(p, value, sizeof value);
            if (!q || strlen(value) >= fieldSize)
                return false;
            p = q;
            return true;
        };
        switch (c) {
        case 'a':
            if (wn >= 4 && tolower((unsigned char)word[3]) == 'k') {
                char answer[512] = "";
                if (NobodyToAnswer())
                    LogLine("+ -ask skipped: nobody to answer in an unattended run");
                else if (AskText(g_main, "Enter command line:", answer, sizeof answer))
                    return ParseOptions(answer, rest, restSize);
            } else {
                g_cfg.mode = 'A';
            }
            break;
        case 'b':
            g_cfg.mode = 'I';
            break;
        case 'q':
            g_cmd.quiet = 1;
            break;
        case 'c':
            if (!takeValue(sizeof g_cmd.acct))
                goto unknown;
            strcpy(g_cmd.acct, value);
            break;
        case 'd':
            if (!takeValue(sizeof g_cmd.dst))
                goto unknown;
            strcpy(g_cmd.dst, value);
            break;
        case 's':
            if (!takeValue(sizeof g_cmd.src))
                goto unknown;
            strcpy(g_cmd.src, value);
            g_cmd.unattended = 1;
            break;
        case 'u':
            if (!takeValue(sizeof g_cmd.user))
                goto unknown;
            strcpy(g_cmd.user, value);
            break;
        case 'w':
            if (!takeValue(sizeof g_cmd.pass))
                goto unknown;
            strcpy(g_cmd.pass, value);
            break;
        case 'm':
            if (!takeValue(sizeof g_cmd.batch))
                goto unknown;
            strcpy(g_cmd.batch, value);
            g_cmd.unattended = 1;
            break;
        case 'i': {
            if (!takeValue(sizeof value) || !value[0])
                goto unknown;
            char full[MAX_PATH];
            DWORD n = GetFullPathNameA(value, sizeof full, full, nullptr);
            if (!n || n >= sizeof full)
                goto unknown;
            strcpy(g_files.ini, full);
            LoadConfig();
            break;
        }
        case 'p':
            if (!takeValue(sizeof g_session.name) || !value[0])
                goto unknown;
            ClearSession(&g_session);
            strcpy(g_session.name, value);
            LoadSession(&g_session);
            break;
        default:
        unknown:
            UnknownArguments(start);
            if (restSize)
                rest[0] = 0;
            return 0;
        }
    }
    if (restSize) {
        if (strlen(p) >= restSize) {
            UnknownArguments(p);
            rest[0] = 0;
            return 0;
        }
        snprintf(rest, restSize, "%s", p);
    }
    return 1;
}

int ClassifyPath(const char *word, char *host, size_t hostSize, char *path, size_t pathSize)
{
    host[0] = path[0] = 0;
    if (!word || !word[0])
        return 0;
    auto put = [](char *out, size_t size, const char *from, size_t n) -> bool {
        if (n >= size)
            return false;
        memcpy(out, from, n);
        out[n] = 0;
        return true;
    };
    if (!_strnicmp(word, "local:", 6))
        return put(path, pathSize, word + 6, strlen(word + 6)) ? 1 : 0;
    if (!strchr(word, ':') && strncmp(word, "//", 2))
        return put(path, pathSize, word, strlen(word)) ? 1 : 0;
    const char *p = word;
    if (!_strnicmp(p, "ftp:", 4))
        p += 4;
    if (!_strnicmp(p, "file:", 5))
        p += 5;
    const char *colon = strchr(p, ':');
    if (colon) {
        const char *q = colon;
        while (*q == ':')
            ++q;
        if (!put(host, hostSize, p, (size_t)(colon - p)) || !put(path, pathSize, q, strlen(q))) {
            host[0] = path[0] = 0;
            return 0;
        }
        return 2;
    }
    while (*p == '/')
        ++p;
    const char *slash = strchr(p, '/');
    size_t hn = slash ? (size_t)(slash - p) : strlen(p);
    if (!put(host, hostSize, p, hn) || !put(path, pathSize, slash ? slash : "", slash ? strlen(slash) : 0)) {
        host[0] = path[0] = 0;
        return 0;
    }
    return 2;
}

static int HasWildcard(const char *s) { return strpbrk(s, "*?") != nullptr; }

static const char *BaseName(const char *path)
{
    const char *b = path;
    for (const char *q = path; *q; ++q)
        if (*q == '/' || *q == '\\')
            b = q + 1;
    return b;
}

static int IsDirectory(const char *path)
{
    DWORD a = GetFileAttributesA(path);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

static std::string JoinLocal(const std::string &dir, const char *name)
{
    if (dir.empty())
        return name;
    char last = dir.back();
    return dir + ((last == '/' || last == '\\' || last == ':') ? "" : "/") + name;
}

// Every match of a remote pattern: CWD to its directory, NLST the pattern.
static int DownloadWildcard(const char *rpath, const char *ldir)
{
    std::string dir(rpath, (size_t)(BaseName(rpath) - rpath));
    const char *pattern = BaseName(rpath);
    if (!dir.empty() && ChangeDir(dir.c_str()) != 2)
        return 0;
    char tmpDir[MAX_PATH], tmp[MAX_PATH];
    GetTempPathA(sizeof tmpDir, tmpDir);
    if (!GetTempFileNameA(tmpDir, "DIR", 0, tmp))
        return 0;
    RememberTempFile(tmp);
    char cmd[300];
    snprintf(cmd, sizeof cmd, "NLST %s", pattern);
    int ok = ListToFile(cmd, tmp, 0) == 2;
    FILE *f = ok ? fopen(tmp, "rb") : nullptr;
    int count = 0;
    if (f) {
        std::string data, all;
        char block[65536];
        size_t got;
        while ((got = fread(block, 1, sizeof block, f)) > 0)
            data.append(block, got);
        fclose(f);
        // One name a line; a line holding a NUL or too long for a name is
        // skipped whole and never swallows the next one.
        char line[1024];
        size_t at = 0;
        for (int r; (r = NextNameLine(data.data(), data.size(), &at, line, sizeof line)) != NL_END;) {
            if (r == NL_NUL || r == NL_LONG)
                Logf("+ Skipped a name list line: %s", r == NL_NUL ? "it holds a NUL byte" : "too long");
            if (r != NL_OK)
                continue;
            all += line;
            all += '\n';
        }
        size_t pos = 0;
        int total = 0;
        for (size_t i = 0; i < all.size(); ++i)
            total += all[i] == '\n';
        while (ok && pos < all.size() && !g_ftp.stop) {
            size_t nl = all.find('\n', pos);
            std::string name = all.substr(pos, nl - pos);
            pos = nl + 1;
            // Only plain names become local files: nothing that names a
            // path, a stream or a device, nothing outside the target folder.
            if (UnsafeRemoteName(name.c_str())) {
                Logf("+ Skipped \"%s\": not a name for a local file", name.c_str());
                continue;
            }
            char local[MAX_PATH];
            LocalNameFor(name.c_str(), local, sizeof local);
            std::string target = JoinLocal(ldir, local);
            ++count;
            if (ReceiveFile(name.c_str(), target.c_str(), count, total, 0, 0) != 2)
                ok = 0;
        }
    }
    DeleteFileA(tmp);
    ForgetTempFile(tmp);
    return ok && count > 0;
}

static int UploadWildcard(const char *lpath, const char *rdir)
{
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA(lpath, &fd);
    if (h == INVALID_HANDLE_VALUE)
        return 0;
    std::string dir(lpath, (size_t)(BaseName(lpath) - lpath));
    int ok = 1, count = 0;
    do {
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            continue;
        std::string local = dir + fd.cFileName;
        std::string remote = std::string(rdir) + fd.cFileName;
        ++count;
        if (SendFile(local.c_str(), remote.c_str(), count, count, 0, 0) != 2)
            ok = 0;
    } while (ok && !g_ftp.stop && FindNextFileA(h, &fd));
    FindClose(h);
    return ok && count > 0;
}

static void BringForward(HWND wnd)
{
    if (!wnd)
        return;
    if (IsIconic(wnd))
        ShowWindow(wnd, SW_RESTORE);
    SetForegroundWindow(wnd);
}

int RunCmdLineTransfer(HWND wnd, const char *src, const char *dst)
{
    char h1[256], p1[256], h2[256], p2[256];
    int c1 = ClassifyPath(src, h1, sizeof h1, p1, sizeof p1);
    int c2 = ClassifyPath(dst, h2, sizeof h2, p2, sizeof p2);
    int download = c1 == 2 && c2 != 2;
    int upload = c1 == 1 && c2 == 2;
    if (!download && !upload) {
        char text[700];
        snprintf(text, sizeof text, "SRC(%u): %s\nDST(%u): %s", (unsigned)c1, src ? src : "", (unsigned)c2,
                 dst ? dst : "");
        LogLine("! Unknown batch command!");
        if (!NobodyToAnswer()) {
            BringForward(wnd);
            AskUser(wnd, text, "Unknown batch command!", MB_OK | MB_ICONSTOP);
        }
        return 0;
    }
    const char *hostWord = download ? h1 : h2;
    char rpath[256], lpath[MAX_PATH];
    snprintf(rpath, sizeof rpath, "%s", download ? p1 : p2);
    snprintf(lpath, sizeof lpath, "%s", download ? p2 : p1);

    SessionRec s = g_session;
    char section[256];
    snprintf(section, sizeof section, "%s", hostWord);
    char stored[512];
    s.savePwd = 0;
    // The run's session is the host word's section, if there is one: the
    // transfer log names it and a resume record goes there, never into
    // the unrelated session loaded at start.
    s.name[0] = 0;
    if (IniHasKey(section, "HOST") && strlen(section) < sizeof s.name)
        snprintf(s.name, sizeof s.name, "%s", section);
    if (IniHasKey(section, "HOST")) {
        ReadIniText(section, "HOST", hostWord, s.host, sizeof s.host);
        ReadIniText(section, "UID", "", s.user, sizeof s.user);
        s.account[0] = s.password[0] = 0;
        if (ReadIniText(section, "ACT", "", stored, sizeof stored) && stored[0] &&
            !DescramblePassword(stored, s.account, sizeof s.account))
            s.account[0] = 0;
        if (ReadIniText(section, "PWD", "", stored, sizeof stored) && stored[0] &&
            !DescramblePassword(stored, s.password, sizeof s.password))
            s.password[0] = 0;
        s.useFirewall = ReadIniInt(section, "FIREWALL", 0) != 0;
        s.port = ReadIniInt(section, "PORT", 21);
        char locdir[145];
        if (ReadIniText(section, "LOCDIR", "", locdir, sizeof locdir) && locdir[0]) {
            SetCurrentDirectoryA(!lstrcmpiA(locdir, "origdir") ? g_startDir : locdir);
            RefreshLocal();
        }
        char init[121];
        ReadIniText(section, "INITCMD", "", init, sizeof init);
        snprintf(s.initCmd, sizeof s.initCmd, "%s", init);
        // The session's own time-out bounds every wait of the run.
        s.timeout = ReadIniInt(section, "TIMEOUT", s.timeout);
        if (s.timeout <= 0)
            s.timeout = 65;
    } else {
        char keys[4];
        if (section[0] && GetPrivateProfileStringA(section, nullptr, "", keys, sizeof keys, g_files.ini))
            Logf("+ Section [%s] has no HOST: \"%s\" is taken as the host name", section, hostWord);
        snprintf(s.host, sizeof s.host, "%s", hostWord);
        s.user[0] = s.password[0] = s.account[0] = s.initCmd[0] = 0;
        s.port = 21;
        s.useFirewall = ReadIniInt("TESSEL", "FIREWALL", 0) != 0;
    }
    if (s.port <= 0 || s.port > 65535)
        s.port = 21;
    // Values given with -u, -w and -c win over the stored ones.
    if (g_cmd.user[0]) {
        snprintf(s.user, sizeof s.user, "%s", g_cmd.user);
        s.password[0] = 0;
    }
    if (g_cmd.pass[0])
        snprintf(s.password, sizeof s.password, "%s", g_cmd.pass);
    if (g_cmd.acct[0])
        snprintf(s.account, sizeof s.account, "%s", g_cmd.acct);
    if (!s.user[0])
        strcpy(s.user, "anonymous");
    if (!strcmp(s.user, "anonymous")) {
        if (!g_cfg.mailAddr[0])
            Logf("+ MAILADDR is empty: the anonymous password is %s", kGuestMail);
        snprintf(s.password, sizeof s.password, "%s", AnonymousPassword());
    }

    // Every local name this run writes, so that none is written twice.
    TransferRun run;
    const size_t rlen = strlen(rpath);
    const int stayOpen = download && rlen && rpath[rlen - 1] == '/';
    if (download && !lpath[0] && !stayOpen && !HasWildcard(BaseName(rpath)))
        LocalNameFor(rpath, lpath, sizeof lpath);
    if (download)
        Logf("receiving file \"%s\" from host \"%s\" as file \"%s\"", rpath, s.host, lpath);
    else
        Logf("sending file \"%s\" to host \"%s\" as file \"%s\"", lpath, s.host, rpath);

    char msg[800] = "";
    int attempts = s.retries ? s.retries : 10;
    SOCKET sock = INVALID_SOCKET;
    g_ftp.cancel = 0;
    g_ftp.stop = 0;
    g_cmd.missing = 0;
    for (int i = 0; i < attempts; ++i) {
        if (i && !PumpSleep(2000))
            break;
        sock = ConnectLogin(&s);
        // A credential nobody stored stays missing however often we try.
        if (sock != INVALID_SOCKET || g_ftp.stop || g_cmd.missing)
            break;
    }
    int ok = 0;
    if (sock == INVALID_SOCKET) {
        snprintf(msg, sizeof msg, "! Connect failed to %s", s.host);
        PlayEvent(SND_CONNECT_FAIL);
    } else {
        if (g_ftp.hostType != 6019)
            DetectHostType();
        if (stayOpen && g_ftp.hostType != 6028) {
            if (ChangeDir(rpath) == 2) {
                // Handed over for interactive use: from now on a person
                // answers (unless the run was told to be quiet).
                g_cmd.nobody = 0;
                g_session = s;
                ClearRemoteCache();
                ShowRemote(1);
                if (wnd) {
                    ShowWindow(wnd, SW_SHOWNORMAL);
                    BringForward(wnd);
                }
                SetConnectText(1);
                UpdateButtons();
                return 2;
            }
        } else if (download) {
            if (HasWildcard(BaseName(rpath))) {
                ok = DownloadWildcard(rpath, lpath);
            } else {
                std::string target = lpath;
                size_t ln = target.size();
                if (ln && (target[ln - 1] == '/' || target[ln - 1] == '\\' || IsDirectory(lpath))) {
                    char local[MAX_PATH];
                    LocalNameFor(rpath, local, sizeof local);
                    target = JoinLocal(target, local);
                }
                ok = ReceiveFile(rpath, target.c_str(), 1, 1, 0, 0) == 2;
            }
        } else {
            if (HasWildcard(BaseName(lpath))) {
                std::string rdir = rpath;
                if (!rdir.empty() && rdir.back() != '/')
                    rdir += '/';
                ok = UploadWildcard(lpath, rdir.c_str());
            } else {
                std::string remote = rpath;
                if (remote.empty() || remote.back() == '/')
                    remote += BaseName(lpath);
                ok = SendFile(lpath, remote.c_str(), 1, 1, 0, 0) == 2;
            }
        }
        CloseSession(0);
        if (ok) {
            LogLine("Successful transfer");
            PlayEvent(SND_XFER_OK);
            return 1;
        }
        snprintf(msg, sizeof msg, "! Transfer failed for %s from %s", rpath, s.host);
        PlayEvent(SND_XFER_FAIL);
    }
    // Nobody to see the window or a box in an unattended run: the log
    // line and the exit code say it.
    if (!NobodyToAnswer())
        BringForward(wnd);
    LogLine(msg);
    AskUser(wnd, msg, T95_APPNAME, MB_OK | MB_ICONSTOP);
    return 0;
}

// Removes every stand-alone occurrence of a word and the blank after it.
static int RemoveWord(std::string &text, const char *word)
{
    int found = 0;
    size_t wl = strlen(word);
    size_t pos = 0;
    while ((pos = text.find(word, pos)) != std::string::npos) {
        bool startOk = pos == 0 || IsBlank(text[pos - 1]);
        size_t end = pos + wl;
        bool endOk = end == text.size() || IsBlank(text[end]);
        if (!startOk || !endOk) {
            pos = end;
            continue;
        }
        if (end < text.size())
            ++end;
        text.erase(pos, end - pos);
        found = 1;
    }
    return found;
}

static void Slashes(char *s)
{
    for (; *s; ++s)
        if (*s == '\\')
            *s = '/';
}

void RunCommandLine(HWND wnd, const char *text)
{
    g_cmd.unattended = 1;
    g_cfg.forclow = 0;
    std::string t = text ? text : "";
    if (RemoveWord(t, "-quiet"))
        g_cmd.quiet = 1;
    if (RemoveWord(t, "-ascii"))
        g_cfg.mode = 'A';
    if (RemoveWord(t, "-lower"))
        g_cfg.forclow = 1;
    for (char &c : t)
        if (c == '\\')
            c = '/';
    char src[256], dst[256];
    if (!SplitWords(t.c_str(), src, sizeof src, dst, sizeof dst)) {
        LogLine("! Argument too long");
        g_cmd.lastResult = 0;
        if (wnd)
            PostMessageA(wnd, WM_CLOSE, 0, 0);
        return;
    }
    if (!src[0] && g_cmd.src[0]) {
        snprintf(src, sizeof src, "%s", g_cmd.src);
        Slashes(src);
    }
    if (!dst[0] && g_cmd.dst[0]) {
        snprintf(dst, sizeof dst, "%s", g_cmd.dst);
        Slashes(dst);
    }
    int result = 0;
    if (!src[0] && !g_cmd.batch[0])
        LogLine("! No transfer named on the command line");
    if (src[0]) {
        result = RunCmdLineTransfer(wnd, src, dst);
    } else if (g_cmd.batch[0]) {
        FILE *f = fopen(g_cmd.batch, "r");
        if (!f) {
            Logf("! %s %s", "Failed to open file", g_cmd.batch);
        } else {
            char line[512];
            result = 1;
            while (fgets(line, sizeof line, f)) {
                size_t n = strlen(line);
                if (n && line[n - 1] != '\n' && !feof(f)) {
                    // Longer than a batch line may be: skip the whole line.
                    int ch;
                    while ((ch = fgetc(f)) != EOF && ch != '\n') {
                    }
                    result = 0;
                    continue;
                }
                while (n && (line[n - 1] == '\n' || line[n - 1] == '\r'))
                    line[--n] = 0;
                if (!n)
                    continue;
                g_cmd.src[0] = g_cmd.dst[0] = 0;
                char rest[512];
                if (!ParseOptions(line, rest, sizeof rest)) {
                    result = 0;
                    continue;
                }
                for (char *c = rest; *c; ++c)
                    if (*c == '\\')
                        *c = '/';
                if (!SplitWords(rest, src, sizeof src, dst, sizeof dst)) {
                    LogLine("! Argument too long");
                    result = 0;
                    continue;
                }
                if (!src[0])
                    snprintf(src, sizeof src, "%s", g_cmd.src);
                if (!dst[0])
                    snprintf(dst, sizeof dst, "%s", g_cmd.dst);
                Slashes(src);
                Slashes(dst);
                int r = RunCmdLineTransfer(wnd, src, dst);
                if (r == 2) {
                    result = 2;
                    break;
                }
                if (r != 1)
                    result = 0;
            }
            fclose(f);
        }
    }
    g_cmd.lastResult = result;
    if (result != 2 && wnd)
        PostMessageA(wnd, WM_CLOSE, 0, 0);
}

} // namespace t95
