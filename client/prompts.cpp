// Questions to the person at the screen, and what a run with nobody there
// does instead.
//
// A run started to transfer on its own (a transfer argument, -s, -m) or told
// to be quiet may be started by a scheduler: a dialog there would wait for
// ever, the run would never end and never say why.  So every message box
// and input box of the client comes through here, and with nobody to answer
// none is shown: a question takes its safe answer, a prompt for text counts
// as cancelled, and a question that only a person can answer (a password
// nobody stored) ends the run with a line in the log saying what was missing.
#include "client.h"

#include <stdio.h>
#include <string.h>

namespace t95 {

const char kGuestMail[] = "guest@nowhere.example";

int NobodyToAnswer()
{
    return g_cmd.nobody || g_cmd.quiet;
}

// The answer that changes nothing: OK for a notice, otherwise No or Cancel.
static int SafeAnswer(UINT type)
{
    switch (type & MB_TYPEMASK) {
    case MB_OK:
        return IDOK;
    case MB_YESNO:
        return IDNO;
    case MB_ABORTRETRYIGNORE:
        return IDABORT;
    default:
        return IDCANCEL;
    }
}

int AskUser(HWND owner, const char *text, const char *title, UINT type)
{
    if (NobodyToAnswer())
        return SafeAnswer(type);
    return MessageBoxA(owner, text, title ? title : T95_APPNAME, type);
}

int AskText(HWND owner, const char *prompt, char *buf, size_t size, int password)
{
    if (NobodyToAnswer())
        return 0;
    if (g_splash) {
        DestroyWindow(g_splash);
        g_splash = nullptr;
    }
    return InputBox(owner, prompt, buf, size, password);
}

int MissingAnswer(const char *what)
{
    Logf("! Missing %s: none is stored, and an unattended run has nobody to ask", what);
    g_cmd.missing = 1;
    return 0;
}

const char *AnonymousPassword()
{
    return g_cfg.mailAddr[0] ? g_cfg.mailAddr : kGuestMail;
}

DWORD NetWaitMs(DWORD usual)
{
    if (!g_cmd.nobody)
        return usual;
    return (DWORD)(g_ftp.timeout > 0 ? g_ftp.timeout : 65) * 1000;
}

} // namespace t95
