// Editing a remote file in place: a thread of its own (not the transfer
// worker) receives the file into an "EDT" temporary copy, runs the editor
// and waits for it, then stores the copy back.  While an editor runs the
// main window's keep-alive timer sends NOOP every 30 seconds.
//
// The request remembers which server and user the file came from; when the
// connection open at the editor's end is another one, nothing is stored and
// the copy is kept, so an edit can never overwrite a file of the same name
// on the wrong server.
#include "fileops.h"

#include <stdio.h>
#include <string.h>

namespace t95 {

struct EditRequest {
    char remotePath[256];
    char tempFile[MAX_PATH];
    char peer[64];   // address:port of the control connection
    char user[80];
    char type;       // transfer type when asked
    int ctrlHeld;
};

static volatile LONG s_edits;

int EditsRunning() { return (int)s_edits; }

// Where the control connection leads, as "a.b.c.d:port"; "" when closed.
static void PeerOf(char *out, size_t size)
{
    out[0] = 0;
    sockaddr_in a = {};
    int len = sizeof a;
    if (g_ftp.connected && g_ftp.ctrl != INVALID_SOCKET && !getpeername(g_ftp.ctrl, (sockaddr *)&a, &len))
        snprintf(out, size, "%s:%u", inet_ntoa(a.sin_addr), (unsigned)ntohs(a.sin_port));
}

// Takes the worker's place for one transfer, waiting while another runs.
static int ClaimForEdit()
{
    InitBusyLock();
    for (;;) {
        EnterCriticalSection(&g_busyLock);
        int ok = !g_workerBusy && g_ftp.busy <= 0 && !g_ftp.cmdInProgress;
        if (ok)
            g_workerBusy = 1;
        LeaveCriticalSection(&g_busyLock);
        if (ok)
            return 1;
        if (!g_ftp.connected || g_quitFlag)
            return 0;
        Sleep(50);
    }
}

static void Release()
{
    SetWorkerBusy(0);
    if (g_main)
        PostMessageA(g_main, WM_T95_WORKERDONE, 0, 0);
}

// Runs on the main thread: the keep-alive stops with the last editor.
static LRESULT StopKeepAliveIfIdle(void *)
{
    if (!s_edits && g_main)
        KillTimer(g_main, TIMER_KEEPALIVE);
    return 0;
}

static int StoreBack(const EditRequest &r)
{
    char peer[64];
    PeerOf(peer, sizeof peer);
    if (!peer[0] || strcmp(peer, r.peer) || lstrcmpiA(g_session.user, r.user)) {
        // Another server or user now: storing would hit the wrong file.
        LogLine("+ The connection changed while editing; the file was not sent back");
        return 0;
    }
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (attempt)
            Sleep(1000);
        if (!ClaimForEdit())
            return 0;
        const int savedMode = g_cfg.mode, savedAuto = g_cfg.amode;
        g_cfg.mode = r.type;
        g_cfg.amode = 0;
        int sent = SendFile(r.tempFile, r.remotePath, 1, 1, 0, 0);
        g_cfg.mode = savedMode;
        g_cfg.amode = savedAuto;
        Release();
        if (sent == 2)
            return 1;
        if (!g_ftp.connected)
            return 0;
    }
    return 0;
}

static DWORD WINAPI EditThread(LPVOID p)
{
    EditRequest *r = (EditRequest *)p;
    InstallBlockingHook();
    int received = 0;
    if (ClaimForEdit()) {
        const int savedMode = g_cfg.mode, savedAuto = g_cfg.amode;
        g_cfg.mode = r->type;
        g_cfg.amode = 0;
        received = ReceiveFile(r->remotePath, r->tempFile, 1, 1, 0, 0) == 2 && !g_ftp.cancel;
        g_cfg.mode = savedMode;
        g_cfg.amode = savedAuto;
        Release();
    }
    std::string cmd;
    HANDLE proc = nullptr;
    if (received && EditCommand(r->tempFile, 0, &cmd)) {
        if (r->ctrlHeld) {
            char line[1024];
            snprintf(line, sizeof line, "%s", cmd.c_str());
            if (!InputBox(nullptr, "Enter command line:", line, sizeof line) || !line[0])
                line[0] = 0;
            cmd = line;
        }
        if (!cmd.empty() && ArgumentOk("Command line", cmd)) {
            Logf("%s", cmd.c_str());
            RunCommandLine(cmd, &proc);
        }
    }
    if (proc) {
        while (WaitForSingleObject(proc, 200) == WAIT_TIMEOUT && !g_quitFlag) {
        }
        CloseHandle(proc);
        int stored = 0;
        if (!g_ftp.cancel && g_ftp.connected) {
            if (GetFileAttributesA(r->tempFile) == INVALID_FILE_ATTRIBUTES)
                LogLine("! The edited copy is gone; nothing was sent back");
            else
                stored = StoreBack(*r);
        }
        if (stored) {
            DeleteFileA(r->tempFile);
            ForgetTempFile(r->tempFile);
        } else {
            // The edited copy is the user's work: it outlives the program.
            ForgetTempFile(r->tempFile);
            Logf("! Error rewriting file %s from %s", r->remotePath, r->tempFile);
            PlayEvent(SND_OTHER_FAIL);
        }
        if (stored && g_cfg.doupdate && g_main)
            PostMessageA(g_main, WM_COMMAND, MAKEWPARAM(IDC_RREFRESH, BN_CLICKED), 0);
    } else {
        DeleteFileA(r->tempFile);
        ForgetTempFile(r->tempFile);
    }
    delete r;
    InterlockedDecrement(&s_edits);
    if (g_main)
        PostMessageA(g_main, WM_T95_RUN, (WPARAM)StopKeepAliveIfIdle, 0);
    return 0;
}

void CmdEdit()
{
    if (!g_ftp.connected)
        return;
    std::vector<SelItem> sel = CollectSelection(1, 1);
    if (sel.empty() || sel[0].kind == KIND_DIR)
        return;
    const std::string &name = sel[0].name;
    if (!ArgumentOk("Name", name))
        return;
    EditRequest *r = new EditRequest();
    const char *dir = g_ftp.remoteDir;
    size_t dl = strlen(dir);
    int fits;
    if (name[0] == '/' || !dir[0] || dir[0] != '/')
        fits = snprintf(r->remotePath, sizeof r->remotePath, "%s", name.c_str()) < (int)sizeof r->remotePath;
    else
        fits = snprintf(r->remotePath, sizeof r->remotePath, "%s%s%s", dir, dl && dir[dl - 1] == '/' ? "" : "/",
                        name.c_str()) < (int)sizeof r->remotePath;
    if (!fits || !MakeTempCopyName("EDT", name.c_str(), r->tempFile, sizeof r->tempFile)) {
        Logf("! %s %s", "Cannot edit", name.c_str());
        delete r;
        return;
    }
    PeerOf(r->peer, sizeof r->peer);
    snprintf(r->user, sizeof r->user, "%s", g_session.user);
    r->type = g_cfg.amode ? (IsAsciiName(name.c_str()) ? 'A' : 'I') : (char)g_cfg.mode;
    r->ctrlHeld = CtrlHeld();
    InterlockedIncrement(&s_edits);
    StartKeepAlive();
    DWORD id;
    HANDLE t = CreateThread(nullptr, 0, EditThread, r, 0, &id);
    if (!t) {
        InterlockedDecrement(&s_edits);
        DeleteFileA(r->tempFile);
        ForgetTempFile(r->tempFile);
        delete r;
        return;
    }
    CloseHandle(t);
}

} // namespace t95
