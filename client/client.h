// tessel95: program-wide state and the functions the client's sources share.
//
// The client keeps one configuration, one session record and one control
// connection for the whole program, so they live in plain globals here.
// Everything is in namespace t95 so that the test program, which links the
// client code next to the library's own internals, sees no clashing names.
#ifndef TESSEL_CLIENT_H
#define TESSEL_CLIENT_H

#include <winsock2.h>
#include <windows.h>

#include <stdarg.h>
#include <stddef.h>

#include "cinfo.h"

#define T95_APPNAME "TESSEL Pro"
#define T95_CONFIG "_config_"

namespace t95 {

// ---------------------------------------------------------------- files
struct Files {
    char ini[MAX_PATH];
    char hlp[MAX_PATH];
    char ext[MAX_PATH];
    char cnv[MAX_PATH];
};
extern Files g_files;
// Where a program file lives: current directory, then the program's own
// directory, then the Windows directory (used even if missing there).
const char *LocateFile(const char *name, char *out = nullptr, size_t outSize = 0);
void LocateAllFiles();

// ---------------------------------------------------------------- config
struct Config {
    char mailAddr[128];
    char session[80];
    char viewer[121];
    int balloon, verbose, hash, tranrate, dateFmt, longDate, autoSave, longDir, dblClk;
    int autoStart, layout, bonTop, hidBtn, font, scale, vrfyDel, useFindExec;
    int rbp, sbp, proDrag, proReget, proTimes, proOverw, proDirOw;
    int lsort, rsort, maximize;
    int bell, usewave, soundflags;
    char snd[5][256]; // sndaf, sndcs, sndcf, sndts, sndtf
    int dolog;
    char logfile[156];
    // Session option keys read with fallback (session, _config_, current).
    int firewall, pasvmode, amode, convext, doupdate, forclow, prompt, stou, recu, mode, retain;
    int locl[4], locr[4];
};
extern Config g_cfg;

// Sound events (bits of soundflags).
enum { SND_OTHER_FAIL = 1, SND_CONNECT_OK = 2, SND_CONNECT_FAIL = 4, SND_XFER_OK = 8, SND_XFER_FAIL = 16 };
void PlayEvent(int event);

struct SessionRec {
    char name[80];
    char host[256];
    char user[80];
    char password[80];
    char account[80];
    char remoteDir[144];
    char localDir[144];
    char initCmd[256];
    char lmask[20];
    char rmask[20];
    int timeout;
    int hostType;
    int port;
    int fireType;
    int retries;
    int savePwd;
    int passive;
    int useFirewall;
    int timeOffset;
};
extern SessionRec g_session;

// INI helpers on g_files.ini.  ReadIniText fills out only when the stored
// value fits (length < size); a longer value counts as absent and out gets
// the default.  Returns 1 when the key was present and fitted.
int ReadIniText(const char *section, const char *key, const char *def, char *out, size_t size);
int ReadIniInt(const char *section, const char *key, int def);
void WriteIniText(const char *section, const char *key, const char *value); // null deletes
void WriteIniUInt(const char *section, const char *key, unsigned value);
void WriteIniInt(const char *section, const char *key, int value);
int IniHasKey(const char *section, const char *key);

void SetConfigDefaults();
void LoadConfig();
void ClearSession(SessionRec *s);
int LoadSession(SessionRec *s);
void SaveSession(const SessionRec *s);
// The option keys with fallback (session section, _config_, current value).
void LoadSessionOptions(const char *section);
// Writes a session option key by the unless-equal-to-default rule.
void WriteSessionOption(const char *section, const char *key, int value);
// Directory histories of a session (keys rdir%u / ldir%u).
void ReadHistory(const char *section, const char *fmt, HWND combo);
void SaveHistory(const char *section, const char *fmt, HWND combo, int quoted);

// Password scrambling of the INI file (shared with the library).
void ScramblePassword(const char *key, const char *password, char *out, size_t size);
int DescramblePassword(const char *value, char *out, size_t size);

// ---------------------------------------------------------------- command line
struct CmdState {
    char src[256];
    char dst[256];
    char user[80];
    char pass[80];
    char acct[80];
    char batch[MAX_PATH];
    int quiet;
    int unattended;
    int ask;
    int lastResult; // result of the last command-line transfer (exit code)
    // Nobody is at the screen: decided from the raw command line before
    // anything could ask (IsUnattendedCommandLine), cleared only when a run
    // is handed over for interactive use.
    int nobody;
    // An unattended login met a question nobody could answer (a password
    // nobody stored): retrying cannot help.
    int missing;
};
extern CmdState g_cmd;

// Whether the raw command line makes the run unattended: a transfer
// argument, -s, -m, or quiet.  Looks only; changes nothing.
int IsUnattendedCommandLine(const char *text);

// Stage 1: consumes leading options; returns the rest (pointer into text) or
// nullptr after an unknown option.  The returned text is copied to rest.
int ParseOptions(const char *text, char *rest, size_t restSize);
// 0 empty, 1 local, 2 remote.
int ClassifyPath(const char *word, char *host, size_t hostSize, char *path, size_t pathSize);
// Splits the first two words (double quotes group, blanks/tabs separate);
// 0 (both empty) when a word does not fit.
int SplitWords(const char *text, char *w1, size_t s1, char *w2, size_t s2);
int RunCmdLineTransfer(HWND wnd, const char *src, const char *dst);
void RunCommandLine(HWND wnd, const char *text);

// ---------------------------------------------------------------- start-up
extern HINSTANCE g_inst;
extern HWND g_main;
extern char g_startDir[150];
extern int g_useThreads;
extern CRITICAL_SECTION g_busyLock;
extern int g_quitFlag;
extern char g_appTitle[64];
extern RECT g_mainRect;
extern int g_vsplit, g_hsplit;
extern RECT g_logRect;
extern int g_logRectValid;
int Register(const char *exePath);
int RegisterClasses();
int TesselMain(HINSTANCE inst, HINSTANCE prev, const char *cmdLine, int show);
void CleanupAtExit();
// Temporary files this instance created (deleted at exit, others' are left).
void RememberTempFile(const char *path);
void ForgetTempFile(const char *path);
void DeleteOwnTempFiles();

// ---------------------------------------------------------------- session layer
struct Ftp {
    SOCKET ctrl;
    SOCKET pasv;
    SOCKET listen;
    int connected;
    volatile LONG busy;
    volatile DWORD busyThread;
    volatile LONG cmdInProgress;
    volatile LONG cancel;
    volatile LONG stop;
    char reply[2048];
    char carry[1024];
    int carryLen;
    int lastCode;
    int depth;
    int greeting;
    int hostType;
    int canMkd, canRmd, canRename, canDelete, useCdup;
    int detectDone;
    char wantType, sentType;
    sockaddr_in local;
    sockaddr_in server;
    int timeout;
    int retry;
    int watchdog;
    char remoteDir[256];
    // Host and session name of the login (transfer log, resume record).
    char hostName[256];
    char sessionName[80];
    // Set while a data loop runs on its data socket.
    volatile LONG inData;
    // Called for every reply line while set (used by the HELP probe).
    void (*lineHook)(const char *line);
    // A reply did not complete within the time-out: what the server still
    // sends belongs to it, so no later reply can be read in step.  Only
    // QUIT still goes out, without waiting for an answer.
    int replyLost;
};
extern Ftp g_ftp;

void LogLine(const char *text);
void Logf(const char *fmt, ...);
const char *ErrorText(int code, char *buf = nullptr);
int RecvTimeout(SOCKET s, char *buf, int len, DWORD ms, int stopOnCancel = 1);
int SendTimeout(SOCKET s, const char *buf, int len, DWORD ms);
// Waits for a socket in slices with the message pump; 1 ready, 0 time-out,
// -1 error, -2 cancelled.  The socket is left blocking unless
// keepNonBlocking is set.
int WaitSocket(SOCKET s, int forWrite, DWORD ms, int stopOnCancel = 1, int keepNonBlocking = 0);
// One pass of the message pump (the blocking hook's job).
BOOL PumpMessages();
// Waits ms milliseconds pumping messages; 0 when cancelled.
int PumpSleep(DWORD ms);
void EnterBusy();
void LeaveBusy();
int IsBusy();
SOCKET ConnectSocket(const char *host, unsigned port, const char *proto);
SOCKET ConnectLogin(SessionRec *s);
int ReadReply();
int SendCommand(const char *fmt, ...);
int SendRaw(const char *text);
int SendLine(const char *text);
int ChangeDir(const char *path);
int MakeDir(const char *path);
int RemoveDir(const char *path);
int DeleteRemote(const char *name);
int PrintDir();
int Passive();
int KeepAlive();
int UserCommand(const char *text);
SOCKET OpenPassive();
SOCKET OpenActive();
SOCKET OpenDataConnection(int *active);
SOCKET AcceptData(SOCKET listener);
// Telnet IP and ABOR on the control connection; 1 when both went out.
int SendAbortSequence();
int Abort();
SOCKET CloseSocket(SOCKET s);
void CloseDataSocket(SOCKET s);
int DrainControl();
int DetectHostType();
void GreetingDetect(const char *line);
void CancelAll();
void CloseSession(int saveHistories);
void OnWatchdogTimer(HWND wnd);
void StartWatchdog();
void StopWatchdog();
void OnKeepAliveTimer(HWND wnd);
void StartKeepAlive();
int SetTransferType(char type);
// Remote directory text from a PWD reply.
void TakePwdReply(const char *reply, int forced, char *out, size_t size);
// ---------------------------------------------------------------- questions
// Every question, notice and failure box of the client goes through these.
// With nobody to answer (an unattended or quiet run) none is shown: AskUser
// returns the safe answer (OK, No, Cancel) and AskText counts as cancelled.
int NobodyToAnswer();
int AskUser(HWND owner, const char *text, const char *title, UINT type);
int AskText(HWND owner, const char *prompt, char *buf, size_t size, int password = 0);
// A question an unattended run cannot answer: logs what was missing
// ("! ..."), marks the run (g_cmd.missing) and returns 0.
int MissingAnswer(const char *what);
// The password of an anonymous login: MAILADDR, or the placeholder address
// when MAILADDR is empty.
extern const char kGuestMail[];
const char *AnonymousPassword();
// How long a network wait may last: the usual limit, or in an unattended
// run the session's time-out, so that a silent server ends the run.
DWORD NetWaitMs(DWORD usual);

enum { TIMER_WATCHDOG = 20, TIMER_KEEPALIVE = 50, TIMER_RETRYCLOSE = 60 };

// ---------------------------------------------------------------- transfers
// Outcome of one data transfer.
enum { XFER_FAILED = 0, XFER_DONE = 1, XFER_BROKEN = 2, XFER_LINKDIR = 5 };
// SendFile's result for a file skipped because the server's copy is newer
// or the same.
enum { SEND_SKIPPED = 9 };
// Receives a remote file; localName, when given, is used as it stands (no
// naming rules, no prompt).  2 when received or skipped, else the reply
// class (0 on failure).
int ReceiveFile(const char *remoteName, const char *localName, int index, int count, int prompt, int append);
// 2 when the server has the file, SEND_SKIPPED, else the reply class.
int SendFile(const char *localPath, const char *remoteName, int index, int count, int prompt, int append);
int ReceiveIntoFile(SOCKET data, HANDLE file, int binary, int append);
// Where a download's bytes go, and the rules for writing them.
struct ReceiveTarget {
    HANDLE file;
    // The file is cut at this point before the first byte is written (-1:
    // never): until data arrives an existing file stays as it was.
    int64_t cutAt;
    // At most this many bytes are written when limited; more is an overrun.
    int limited;
    uint64_t limit;
    // Called once, when the first byte has arrived.
    void (*firstByte)(void *ctx);
    void *ctx;
    // Results: bytes past the limit seen, a write failure, the cut not yet made.
    int overrun;
    uint64_t dropped;
    int writeFailed;
    int cutPending;
};
int ReceiveInto(SOCKET data, ReceiveTarget *t);
// Names written during one transfer run (a selection, a tree, a command
// line): a second remote name that maps onto one of them is skipped, never
// written over it.  Runs nest; the outermost one counts.
struct TransferRun {
    TransferRun();
    ~TransferRun();
    TransferRun(const TransferRun &) = delete;
    TransferRun &operator=(const TransferRun &) = delete;
    void *names;
};
int SendFromFile(SOCKET data, HANDLE file, int ascii);
// Runs a listing command into a file (ASCII, no progress, no sounds).
int ListToFile(const char *cmd, const char *path, int append);
// Name conversion (lower-casing towards the server, TESSEL.CNV); 1 when the
// conversion table changed the name.  toServer: 1 for remote names.
int ConvertName(char *name, size_t size, int toServer);
void LocalNameFor(const char *remote, char *out, size_t size);
void RemoteNameFor(const char *localPath, char *out, size_t size);
// A name from a listing that must not become a local path: empty, only
// dots and blanks, with a path separator, colon or control character, with
// trailing dots or blanks (Windows drops them), a device name, or longer
// than the current volume's names.
int UnsafeRemoteName(const char *name);
// Deepest folder level a directory download goes to.
enum { MAX_TREE_DEPTH = 64 };
void DownloadSelection(HWND wnd, int append);
void UploadSelection(HWND wnd, int append);
// 1 to go on, 0 to stop.
int UploadDirectory(const char *name);
int DownloadDirectory(const char *name);
void ResumePending(const char *section);
// fromSide: 0 the local list, 1 the remote list, -1 another program.
void DropFiles(HWND list, HDROP drop, int fromSide);
// The worker's busy flag (read and written under g_busyLock).
void InitBusyLock();
int WorkerBusy();
void SetWorkerBusy(int on);
// Waits (pumping messages) until no worker runs; 1 when none runs.
int WaitForWorker(DWORD ms);
// Close and Exit: asks the worker to stop and waits for it.
void StopWorker();
extern int g_workerBusy;
// Tests answer the client's questions through this when set.  type is the
// message box type, or ASK_OVERWRITE (with ASK_ALL when "to All" is
// offered) for the overwrite question, answered with IDYES, IDNO,
// ANSWER_YESALL or ANSWER_NOALL.
extern int (*g_answerHook)(const char *text, UINT type);
enum { ASK_OVERWRITE = 0x40000000, ASK_ALL = 0x20000000, ANSWER_YESALL = 171, ANSWER_NOALL = 172 };
// Messages of the main window: run a function on its thread; a worker ended.
enum { WM_T95_RUN = WM_APP + 0x41, WM_T95_WORKERDONE = WM_APP + 0x42 };

// ---------------------------------------------------------------- main window
enum {
    IDC_LDIR = 1001, IDC_RDIR, IDC_STAT1, IDC_STAT2, IDC_STAT3, IDC_LCAPTION, IDC_RCAPTION,
    IDC_STATSCROLL, IDC_DRIVES, IDC_UPLOAD, IDC_DOWNLOAD,
    IDC_LCHGDIR, IDC_LMKDIR, IDC_LMASK, IDC_LVIEW, IDC_LEXEC, IDC_LRENAME, IDC_LDELETE,
    IDC_LREFRESH, IDC_LDIRINFO,
    IDC_RCHGDIR, IDC_RMKDIR, IDC_RMASK, IDC_RVIEW, IDC_REXEC, IDC_RRENAME, IDC_RDELETE,
    IDC_RREFRESH, IDC_RDIRINFO,
    IDC_ASCII, IDC_BINARY, IDC_AUTO,
    IDC_CONNECT, IDC_CANCEL, IDC_LOGWND, IDC_HELPBTN, IDC_OPTIONS, IDC_ABOUT, IDC_EXIT,
    IDC_LLIST, IDC_RLIST,
    IDC_LHTYPE, IDC_LHNAME, IDC_LHDATE, IDC_LHSIZE, IDC_LHBLANK,
    IDC_RHTYPE, IDC_RHNAME, IDC_RHDATE, IDC_RHSIZE, IDC_RHBLANK,
    IDC_LAST_CONTROL = IDC_RHBLANK
};
#define T95_CONTROL_COUNT 51

struct ControlInfo {
    int id;
    const char *cls;
    const char *label;
    const char *balloon;
    int help;
};
extern const ControlInfo g_controls[T95_CONTROL_COUNT];
HWND Ctl(int id);

// List item record: one per list line, in movable global memory.
struct ListItem {
    int32_t side;
    int32_t kind;
    int16_t year;
    uint8_t month, day, hour, minute;
    int32_t size;
    int32_t nameLen;
    char text[1];
};
enum { KIND_FILE = 0, KIND_TEXT = 1, KIND_LINK = 2, KIND_DIR = 4, KIND_DRIVE = 8 };
// Sort word bits.
enum { SORT_KEYMASK = 7, SORT_REVERSE = 8, SORT_MIXED = 0x10, SORT_BOTTOM = 0x20 };

HGLOBAL NewItem(int side, int kind, const char *name, const char *rest);
int AddItem(HWND list, HGLOBAL h);
void ClearList(HWND list);
int CompareItems(const ListItem *a, const ListItem *b, int sortWord);
void SortList(HWND list, int sortWord);
void RefreshLocal();
void ShowRemote(int forced);
void DecodeListingFile(const char *path, HWND list);
void ClearRemoteCache();
void Resort(int side);
void ShiftTime(int offsetHours, int *year, int *month, int *day, int *hour);
void FormatItemDate(const ListItem *it, char *out, size_t size);
int IsAsciiName(const char *name);
void UpdateButtons();
void LayoutControls(HWND wnd);
void SetConnectText(int connected);
HMENU BuildContextMenu(HWND wnd, int *side);
void DoCommand(HWND wnd, int id, int side);
void HeaderClick(int side, int which);
void ShowLogWindow();
void AddLogBuffer(const char *text);
// Line of the log buffer, back = 0 the latest; 0 when there is none.
int LogLineAt(int back, char *out, size_t size);
void RefreshStatusLines();
void ScrollStatusLines(int code);
void InstallBlockingHook();
LRESULT CALLBACK LogWndProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK SplashWndProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK BalloonWndProc(HWND, UINT, WPARAM, LPARAM);
void LoadBitmaps();
void FreeGdiBitmaps();
void FreeDeletedItem(const DELETEITEMSTRUCT *d);
void DrawListItem(const DRAWITEMSTRUCT *d);
void FreeGdi();
extern HWND g_splash;
extern HWND g_logWnd;
extern HWND g_progressDlg;
extern char g_localMask[MAX_PATH];
extern char g_remoteListFile[MAX_PATH];
extern int g_lsort, g_rsort;

// Commands that aren't controls (menus, accelerators).
enum {
    CMD_COMMANDLINE = 2001, CMD_SORT, CMD_DELDIR, CMD_APPEND, CMD_MOVE, CMD_EDIT, CMD_CHMOD,
    CMD_XFERDIR, CMD_CLOSE, CMD_SHOWLOG, CMD_FTP_CWD, CMD_FTP_PWD, CMD_FTP_HELP, CMD_FTP_SYST,
    CMD_FTP_SITE, CMD_FTP_QUOTE, CMD_FTP_LIST, CMD_FTP_NLST, CMD_FTP_RETR, CMD_FTP_STOR,
    CMD_LOGSAVE, CMD_LOGCLOSE, CMD_F2HELP, CMD_ACC_DOWNLOAD, CMD_ACC_UPLOAD
};
// Remote side context-menu commands carry this offset.
#define CMD_REMOTE_OFFSET 0x1000

// ---------------------------------------------------------------- dialogs
// Generic input: 1 on OK with the text in buf.
int InputBox(HWND owner, const char *prompt, char *buf, size_t size, int password = 0, int history = 0);
int SessionDialog(HWND owner);
void SortDialog(HWND owner, int side);
void AboutBox(HWND owner);
void OptionsDialog(HWND owner);

} // namespace t95

// Exports of the program.
extern "C" __declspec(dllexport) LRESULT CALLBACK WndProc(HWND, UINT, WPARAM, LPARAM);
extern "C" __declspec(dllexport) CINFO *WINAPI PreInitCINFO(CINFO *ci, HWND notifyWnd, HWND logWnd, UINT progressMsg,
                                                          DWORD flags);

#endif
