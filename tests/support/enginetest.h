// Helpers for engine tests: a record with a real (hidden) edit control as
// its log window.
#ifndef TESSEL_TEST_ENGINETEST_H
#define TESSEL_TEST_ENGINETEST_H

#include "engine.h"

#include <string>
#include <vector>

struct LoggedRecord {
    HWND edit = nullptr;
    CINFO *ci = nullptr;

    explicit LoggedRecord(DWORD flags = 0, UINT progressMsg = 0)
    {
        edit = CreateWindowExA(0, "EDIT", "", WS_POPUP | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_AUTOHSCROLL, 0, 0, 400, 300, nullptr,
                               nullptr, GetModuleHandleA(nullptr), nullptr);
        SendMessageA(edit, EM_SETLIMITTEXT, 0x7FFFFFFE, 0);
        ci = TESSEL_InitCINFO(nullptr, edit, progressMsg, flags);
    }
    ~LoggedRecord()
    {
        if (ci)
            TESSEL_FreeCINFO(ci);
        DestroyWindow(edit);
    }
    std::string Log() const
    {
        int n = GetWindowTextLengthA(edit);
        std::string s((size_t)n + 1, '\0');
        GetWindowTextA(edit, &s[0], n + 1);
        s.resize((size_t)n);
        return s;
    }
};

// Fills a caller-allocated record of CINFO_SIZE zero bytes the way a
// caller's pre-initialiser does before TESSEL_IntFixCInfo completes it:
// the fixed fields only, the buffers left to the library.
inline void PreFillRecord(CINFO *ci, HWND notify = nullptr, HWND log = nullptr)
{
    ci->magic = CINFO_MAGIC;
    ci->errorText = ci->errorBuf;
    ci->replyText = ci->replyLine;
    ci->hostText = ci->host;
    ci->dirText = ci->currentDir;
    ci->userText = ci->user;
    ci->passText = ci->password;
    ci->notifyWnd = notify;
    ci->logWnd = log;
    ci->ctrlSocket = INVALID_SOCKET;
    ci->dataSocket = INVALID_SOCKET;
    ci->usePassive = 1;
    ci->hostType = 6000;
}

// Commands as the fake server logged them, without its own "!" notes.
inline std::vector<std::string> Commands(const std::vector<std::string> &log)
{
    std::vector<std::string> out;
    for (const auto &l : log)
        if (l.empty() || l[0] != '!')
            out.push_back(l);
    return out;
}

#endif
