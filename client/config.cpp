// Program files, the _config_ keys of TESSEL.INI and the session record.
#include "client.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace t95 {

Files g_files;
Config g_cfg;
SessionRec g_session;

static int FileExists(const char *path)
{
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

static void JoinPath(char *out, size_t size, const char *dir, const char *name)
{
    size_t n = strlen(dir);
    const char *sep = (n && (dir[n - 1] == '\\' || dir[n - 1] == '/')) ? "" : "\\";
    snprintf(out, size, "%s%s%s", dir, sep, name);
}

const char *LocateFile(const char *name, char *out, size_t outSize)
{
    static char last[MAX_PATH];
    if (!out) {
        out = last;
        outSize = sizeof last;
    }
    char dir[MAX_PATH];
    char cand[MAX_PATH];
    if (GetCurrentDirectoryA(sizeof dir, dir)) {
        JoinPath(cand, sizeof cand, dir, name);
        if (FileExists(cand)) {
            snprintf(out, outSize, "%s", cand);
            return out;
        }
    }
    DWORD n = GetModuleFileNameA(nullptr, dir, sizeof dir);
    if (n && n < sizeof dir) {
        char *slash = strrchr(dir, '\\');
        if (slash) {
            slash[1] = 0;
            JoinPath(cand, sizeof cand, dir, name);
            if (FileExists(cand)) {
                snprintf(out, outSize, "%s", cand);
                return out;
            }
        }
    }
    UINT w = GetWindowsDirectoryA(dir, sizeof dir);
    if (w && w < sizeof dir)
        JoinPath(out, outSize, dir, name);
    else
        snprintf(out, outSize, "%s", name);
    return out;
}

void LocateAllFiles()
{
    LocateFile("TESSEL.INI", g_files.ini, sizeof g_files.ini);
    LocateFile("TESSEL.HLP", g_files.hlp, sizeof g_files.hlp);
    LocateFile("TESSEL.EXT", g_files.ext, sizeof g_files.ext);
    LocateFile("TESSEL.CNV", g_files.cnv, sizeof g_files.cnv);
}

// ---------------------------------------------------------------- INI access

int ReadIniText(const char *section, const char *key, const char *def, char *out, size_t size)
{
    // Read one character more than fits, so that a value that is too long
    // shows as a full buffer and is refused instead of being cut.
    char buf[1026];
    size_t cap = size + 1 < sizeof buf ? size + 1 : sizeof buf;
    DWORD n = GetPrivateProfileStringA(section, key, "\x01", buf, (DWORD)cap, g_files.ini);
    int present = !(n == 1 && buf[0] == '\x01');
    if (present && n < size && n + 1 < cap) {
        memcpy(out, buf, n + 1);
        return 1;
    }
    if (out != def)
        snprintf(out, size, "%s", def ? def : "");
    return 0;
}

int ReadIniInt(const char *section, const char *key, int def)
{
    return (int)GetPrivateProfileIntA(section, key, def, g_files.ini);
}

int IniHasKey(const char *section, const char *key)
{
    char buf[4];
    DWORD n = GetPrivateProfileStringA(section, key, "\x01", buf, sizeof buf, g_files.ini);
    return !(n == 1 && buf[0] == '\x01');
}

void WriteIniText(const char *section, const char *key, const char *value)
{
    WritePrivateProfileStringA(section, key, value, g_files.ini);
}

void WriteIniUInt(const char *section, const char *key, unsigned value)
{
    char buf[16];
    snprintf(buf, sizeof buf, "%u", value);
    WriteIniText(section, key, buf);
}

void WriteIniInt(const char *section, const char *key, int value)
{
    char buf[16];
    snprintf(buf, sizeof buf, "%d", value);
    WriteIniText(section, key, buf);
}

// ---------------------------------------------------------------- _config_

static void ProgramDirFile(const char *name, char *out, size_t size)
{
    char dir[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, dir, sizeof dir);
    char *slash = (n && n < sizeof dir) ? strrchr(dir, '\\') : nullptr;
    if (slash) {
        slash[1] = 0;
        snprintf(out, size, "%s%s", dir, name);
    } else {
        snprintf(out, size, "%s", name);
    }
}

void SetConfigDefaults()
{
    Config &c = g_cfg;
    memset(&c, 0, sizeof c);
    strcpy(c.mailAddr, kGuestMail);
    strcpy(c.viewer, "notepad");
    c.hash = 1;
    c.longDir = 1;
    c.autoStart = 1;
    c.font = 3;
    c.vrfyDel = 1;
    c.rbp = 4096;
    c.sbp = 512;
    c.proDrag = c.proReget = c.proTimes = c.proOverw = c.proDirOw = 1;
    c.lsort = c.rsort = 1;
    c.bell = 1;
    c.usewave = 1;
    c.soundflags = 30;
    static const char *const waves[5] = {"error.wav", "connect.wav", "error.wav", "complete.wav", "error.wav"};
    for (int i = 0; i < 5; ++i)
        ProgramDirFile(waves[i], c.snd[i], sizeof c.snd[i]);
    c.dolog = 1;
    strcpy(c.logfile, "TESSEL.LOG");
    c.firewall = 0;
    c.pasvmode = 0;
    c.amode = 0;
    c.convext = 0;
    c.doupdate = 1;
    c.forclow = 0;
    c.prompt = 0;
    c.stou = 0;
    c.recu = 0;
    c.mode = 'I';
    c.retain = 1;
    const int cols[4] = {20, 140, 260, 330};
    memcpy(c.locl, cols, sizeof cols);
    memcpy(c.locr, cols, sizeof cols);
}

static int Clamp(int v, int lo, int hi, int def)
{
    return (v < lo || v > hi) ? def : v;
}

static void ReadColumns(const char *key, int *cols)
{
    char buf[64];
    if (!ReadIniText(T95_CONFIG, key, "", buf, sizeof buf))
        return;
    int v[4];
    if (sscanf(buf, "%d,%d,%d,%d", &v[0], &v[1], &v[2], &v[3]) != 4)
        return;
    // Column boundaries must rise left to right and stay on a sane screen.
    for (int i = 0; i < 4; ++i)
        if (v[i] < 0 || v[i] > 10000 || (i && v[i] < v[i - 1]))
            return;
    memcpy(cols, v, sizeof v);
}

// Option keys with the three-step fallback: session, _config_, current.
static int OptionKey(const char *section, const char *key, int current)
{
    int cfg = ReadIniInt(T95_CONFIG, key, current);
    return section && *section ? ReadIniInt(section, key, cfg) : cfg;
}

void LoadSessionOptions(const char *section)
{
    Config &c = g_cfg;
    c.firewall = OptionKey(section, "FIREWALL", 0);
    c.pasvmode = OptionKey(section, "PASVMODE", 0);
    c.amode = OptionKey(section, "AMODE", c.amode);
    c.convext = OptionKey(section, "CONVEXT", c.convext);
    c.doupdate = OptionKey(section, "DOUPDATE", c.doupdate);
    c.forclow = OptionKey(section, "FORCLOW", c.forclow);
    c.prompt = OptionKey(section, "PROMPT", c.prompt);
    c.stou = OptionKey(section, "STOU", c.stou);
    c.recu = OptionKey(section, "RECU", c.recu);
    int mode = OptionKey(section, "MODE", c.mode);
    c.mode = (mode == 'A' || mode == 'I' || mode == 'L') ? mode : 'I';
    c.retain = OptionKey(section, "RETAIN", c.retain);
    // The progress dialog is a session option like the others.
    c.hash = OptionKey(section, "HASH", c.hash);
}

void LoadConfig()
{
    Config &c = g_cfg;
    const char *s = T95_CONFIG;
    if (!ReadIniText(s, "MAILADDR", c.mailAddr, c.mailAddr, sizeof c.mailAddr) && IniHasKey(s, "MAILADDR"))
        Logf("+ MAILADDR longer than %u characters ignored", (unsigned)(sizeof c.mailAddr - 1));
    ReadIniText(s, "SESSION", "", c.session, sizeof c.session);
    ReadIniText(s, "VIEWER", c.viewer, c.viewer, sizeof c.viewer);
    c.balloon = ReadIniInt(s, "balloon", 0);
    c.verbose = ReadIniInt(s, "VERBOSE", 0);
    c.hash = ReadIniInt(s, "HASH", 1);
    c.tranrate = ReadIniInt(s, "tranrate", 0);
    c.dateFmt = Clamp(ReadIniInt(s, "DateFmt", 0), 0, 2, 0);
    c.longDate = ReadIniInt(s, "LONGDATE", 0);
    c.autoSave = ReadIniInt(s, "AUTOSAVE", 0);
    c.longDir = ReadIniInt(s, "LONGDIR", 1);
    c.dblClk = Clamp(ReadIniInt(s, "DBLCLK", 0), 0, 2, 0);
    c.autoStart = ReadIniInt(s, "AUTOSTART", 1);
    c.layout = ReadIniInt(s, "LAYOUT", 0);
    c.bonTop = ReadIniInt(s, "BONTOP", 0);
    c.hidBtn = ReadIniInt(s, "HIDBTN", 0);
    c.font = Clamp(ReadIniInt(s, "FONT", 3), 0, 4, 3);
    c.scale = ReadIniInt(s, "SCALE", 0);
    c.vrfyDel = ReadIniInt(s, "VRFYDEL", 1);
    c.useFindExec = ReadIniInt(s, "UseFindExec", 0);
    c.rbp = Clamp(ReadIniInt(s, "RBP", 4096), 80, 4096, 4096);
    c.sbp = Clamp(ReadIniInt(s, "SBP", 512), 80, 4096, 512);
    c.proDrag = ReadIniInt(s, "PRODRAG", 1);
    c.proReget = ReadIniInt(s, "PROREGET", 1);
    c.proTimes = ReadIniInt(s, "PROTIMES", 1);
    c.proOverw = ReadIniInt(s, "PROOVERW", 1);
    c.proDirOw = ReadIniInt(s, "PRODIROW", 1);
    c.lsort = ReadIniInt(s, "LSORT", 1);
    c.rsort = ReadIniInt(s, "RSORT", 1);
    c.maximize = ReadIniInt(s, "MAXIMIZE", 0) == 1;
    ReadColumns("LOCL", c.locl);
    ReadColumns("LOCR", c.locr);
    c.bell = ReadIniInt(s, "BELL", 1);
    c.usewave = ReadIniInt(s, "usewave", 1);
    c.soundflags = ReadIniInt(s, "soundflags", 30);
    static const char *const keys[5] = {"sndaf", "sndcs", "sndcf", "sndts", "sndtf"};
    for (int i = 0; i < 5; ++i)
        ReadIniText(s, keys[i], c.snd[i], c.snd[i], sizeof c.snd[i]);
    c.dolog = ReadIniInt(s, "dolog", 1);
    ReadIniText(s, "logfile", c.logfile, c.logfile, sizeof c.logfile);
    LoadSessionOptions(nullptr);
    if (c.session[0]) {
        ClearSession(&g_session);
        snprintf(g_session.name, sizeof g_session.name, "%s", c.session);
        LoadSession(&g_session);
    }
}

// ---------------------------------------------------------------- session record

void ClearSession(SessionRec *s)
{
    memset(s, 0, sizeof *s);
    s->timeout = 65;
    s->hostType = 6000;
    s->port = 21;
    s->fireType = 1;
}

static void ReadScrambled(const char *section, const char *key, const char *user, char *out, size_t size)
{
    char stored[512];
    out[0] = 0;
    if (!ReadIniText(section, key, "", stored, sizeof stored) || !stored[0] || !user[0])
        return;
    if (!DescramblePassword(stored, out, size))
        out[0] = 0;
}

int LoadSession(SessionRec *s)
{
    const char *sec = s->name;
    // The host is read up to 250 characters; a longer one counts as absent.
    char host[251];
    if (ReadIniText(sec, "HOST", sec, host, sizeof host))
        snprintf(s->host, sizeof s->host, "%s", host);
    else
        snprintf(s->host, sizeof s->host, "%s", sec);
    ReadIniText(sec, "UID", "", s->user, sizeof s->user);
    s->savePwd = 0;
    ReadScrambled(sec, "PWD", s->user, s->password, sizeof s->password);
    if (s->password[0])
        s->savePwd = 1;
    if (!lstrcmpiA(s->user, "anonymous") && !s->password[0] && NobodyToAnswer()) {
        // Nobody to ask: the configured address, or the placeholder when
        // there is none.
        if (!g_cfg.mailAddr[0])
            Logf("+ MAILADDR is empty: the anonymous password is %s", kGuestMail);
        snprintf(s->password, sizeof s->password, "%s", AnonymousPassword());
    } else if (!lstrcmpiA(s->user, "anonymous") && !s->password[0]) {
        char mail[128];
        snprintf(mail, sizeof mail, "%s", g_cfg.mailAddr);
        // Keep asking until answered or cancelled.
        for (;;) {
            if (!AskText(g_main, "Enter your e-mail address:", mail, sizeof mail))
                break;
            if (mail[0]) {
                snprintf(g_cfg.mailAddr, sizeof g_cfg.mailAddr, "%s", mail);
                WriteIniText(T95_CONFIG, "MAILADDR", mail);
                break;
            }
        }
        snprintf(s->password, sizeof s->password, "%s", g_cfg.mailAddr);
    }
    s->hostType = ReadIniInt(sec, "TYPE", s->hostType);
    if (s->hostType < 6000 || s->hostType > 6051)
        s->hostType = 6000;
    char dir[145];
    ReadIniText(sec, "DIR", "", dir, sizeof dir);
    snprintf(s->remoteDir, sizeof s->remoteDir, "%s", dir);
    ReadScrambled(sec, "ACT", s->user, s->account, sizeof s->account);
    s->timeOffset = ReadIniInt(sec, "TIMEOFFSET", s->timeOffset);
    s->useFirewall = ReadIniInt(sec, "FIREWALL", ReadIniInt(T95_CONFIG, "FIREWALL", 0)) != 0;
    s->timeout = ReadIniInt(sec, "TIMEOUT", s->timeout);
    if (s->timeout <= 0)
        s->timeout = 65;
    ReadIniText(sec, "LMASK", "", s->lmask, sizeof s->lmask);
    ReadIniText(sec, "RMASK", "", s->rmask, sizeof s->rmask);
    ReadIniText(sec, "LOCDIR", "", s->localDir, sizeof s->localDir);
    ReadIniText(sec, "INITCMD", "", s->initCmd, sizeof s->initCmd);
    s->port = ReadIniInt(sec, "PORT", s->port);
    if (s->port <= 0 || s->port > 65535)
        s->port = 21;
    s->fireType = ReadIniInt(sec, "FIRETYPE", s->fireType);
    s->passive = ReadIniInt(sec, "PASVMODE", ReadIniInt(T95_CONFIG, "PASVMODE", 0)) != 0;
    s->retries = ReadIniInt(sec, "RETRIES", s->retries);
    if (s->retries < 0)
        s->retries = 0;
    LoadSessionOptions(sec);
    return 1;
}

void WriteSessionOption(const char *section, const char *key, int value)
{
    // A session stores only what differs from the defaults in _config_.
    char cfg[32];
    if (ReadIniText(T95_CONFIG, key, "", cfg, sizeof cfg) && cfg[0] && atoi(cfg) == value)
        WriteIniText(section, key, nullptr);
    else
        WriteIniUInt(section, key, (unsigned)value);
}

static void WriteOrDelete(const char *sec, const char *key, const char *value)
{
    WriteIniText(sec, key, value && value[0] ? value : nullptr);
}

void SaveSession(const SessionRec *s)
{
    const char *sec = s->name;
    if (!sec[0])
        return;
    WriteIniText(sec, "HOST", s->host);
    WriteIniText(sec, "UID", s->user);
    char buf[600];
    if (s->savePwd && s->password[0]) {
        ScramblePassword(s->user, s->password, buf, sizeof buf);
        WriteIniText(sec, "PWD", buf[0] ? buf : nullptr);
    } else {
        WriteIniText(sec, "PWD", nullptr);
    }
    if (s->account[0]) {
        ScramblePassword(s->user, s->account, buf, sizeof buf);
        WriteIniText(sec, "ACT", buf[0] ? buf : nullptr);
    } else {
        WriteIniText(sec, "ACT", nullptr);
    }
    WriteOrDelete(sec, "LMASK", s->lmask);
    WriteOrDelete(sec, "RMASK", s->rmask);
    WriteOrDelete(sec, "LOCDIR", s->localDir);
    WriteOrDelete(sec, "INITCMD", s->initCmd);
    if (s->hostType != 6000)
        WriteIniUInt(sec, "TYPE", (unsigned)s->hostType);
    else
        WriteIniText(sec, "TYPE", nullptr);
    if (s->timeout != 65)
        WriteIniUInt(sec, "TIMEOUT", (unsigned)s->timeout);
    else
        WriteIniText(sec, "TIMEOUT", nullptr);
    if (s->remoteDir[0]) {
        snprintf(buf, sizeof buf, "\"%s\"", s->remoteDir);
        WriteIniText(sec, "DIR", buf);
    } else {
        WriteIniText(sec, "DIR", nullptr);
    }
    WriteIniText(sec, "FIREWALL", s->useFirewall ? "1" : nullptr);
    if (s->fireType != 0 && s->fireType != 99)
        WriteIniUInt(sec, "FIRETYPE", (unsigned)s->fireType);
    else
        WriteIniText(sec, "FIRETYPE", nullptr);
    if (s->retries)
        WriteIniUInt(sec, "RETRIES", (unsigned)s->retries);
    else
        WriteIniText(sec, "RETRIES", nullptr);
    if (s->port != 21)
        WriteIniUInt(sec, "PORT", (unsigned)s->port);
    else
        WriteIniText(sec, "PORT", nullptr);
    WriteSessionOption(sec, "PASVMODE", s->passive);
    WriteIniInt(sec, "TIMEOFFSET", s->timeOffset);
}

// ---------------------------------------------------------------- histories

void ReadHistory(const char *section, const char *fmt, HWND combo)
{
    if (!section || !section[0] || !combo)
        return;
    for (unsigned i = 0; i < 20; ++i) {
        char key[16], val[260];
        snprintf(key, sizeof key, fmt, i);
        if (!ReadIniText(section, key, "", val, sizeof val) || !val[0])
            continue;
        if (SendMessageA(combo, CB_FINDSTRINGEXACT, (WPARAM)-1, (LPARAM)val) != CB_ERR)
            continue;
        SendMessageA(combo, CB_ADDSTRING, 0, (LPARAM)val);
    }
}

void SaveHistory(const char *section, const char *fmt, HWND combo, int quoted)
{
    if (!section || !section[0])
        return;
    int count = combo ? (int)SendMessageA(combo, CB_GETCOUNT, 0, 0) : 0;
    for (unsigned i = 0; i < 10; ++i) {
        char key[16];
        snprintf(key, sizeof key, fmt, i);
        if (!g_cfg.retain || (int)i >= count) {
            WriteIniText(section, key, nullptr);
            continue;
        }
        char val[300];
        LRESULT len = SendMessageA(combo, CB_GETLBTEXTLEN, i, 0);
        if (len == CB_ERR || len >= 260) {
            WriteIniText(section, key, nullptr);
            continue;
        }
        char text[260];
        SendMessageA(combo, CB_GETLBTEXT, i, (LPARAM)text);
        snprintf(val, sizeof val, quoted ? "\"%s\"" : "%s", text);
        WriteIniText(section, key, val);
    }
}

} // namespace t95
