// Helpers of the message-driven tests: a real window that records every
// message the engine posts or sends to it (with the record's state at that
// moment), a record that reports to it, and waiting with a message loop.
#ifndef TESSEL_TEST_ASYNC_UTIL_H
#define TESSEL_TEST_ASYNC_UTIL_H

#include "async_internal.h"
#include "enginetest.h"
#include "fakeftp.h"
#include "transfer_util.h"

#include <gtest/gtest.h>

#include <stdlib.h>

#include <functional>
#include <string>
#include <vector>

namespace async {

const UINT kDone = WM_APP + 100;  // doneMsg; kDone+1 carries the lines
const UINT kProgress = WM_APP + 200;

struct Event {
    UINT msg;
    WPARAM wp;
    LPARAM lp;
    uint32_t state; // asyncState when the message was handled
    std::string line; // replyLine, for the line messages
};

// A hidden top-level window of the test thread.
class Recorder {
public:
    CINFO *ci = nullptr; // whose state and replyLine are noted
    std::vector<Event> events;
    // Run inside the handling of each line message (doneMsg+1), and of
    // every recorded message.
    std::function<void(const Event &)> onLine;
    std::function<void(const Event &)> onMessage;

    Recorder()
    {
        static ATOM cls = 0;
        if (!cls) {
            WNDCLASSA wc = {};
            wc.lpfnWndProc = Proc;
            wc.hInstance = GetModuleHandleA(nullptr);
            wc.lpszClassName = "TesselAsyncTestWnd";
            cls = RegisterClassA(&wc);
        }
        wnd = CreateWindowExA(0, "TesselAsyncTestWnd", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                              GetModuleHandleA(nullptr), nullptr);
        SetWindowLongPtrA(wnd, GWLP_USERDATA, (LONG_PTR)this);
    }
    ~Recorder() { DestroyWindow(wnd); }
    HWND Window() const { return wnd; }

    int Count(UINT msg) const
    {
        int n = 0;
        for (const auto &e : events)
            n += e.msg == msg;
        return n;
    }
    const Event *Last(UINT msg) const
    {
        for (auto it = events.rbegin(); it != events.rend(); ++it)
            if (it->msg == msg)
                return &*it;
        return nullptr;
    }
    std::vector<Event> Of(UINT msg) const
    {
        std::vector<Event> out;
        for (const auto &e : events)
            if (e.msg == msg)
                out.push_back(e);
        return out;
    }

private:
    HWND wnd;

    static LRESULT CALLBACK Proc(HWND w, UINT m, WPARAM wp, LPARAM lp)
    {
        auto *self = (Recorder *)GetWindowLongPtrA(w, GWLP_USERDATA);
        if (self && m >= WM_APP) {
            Event e{m, wp, lp, self->ci ? self->ci->asyncState : 0u, ""};
            if (self->ci && m == kDone + 1)
                e.line = self->ci->replyLine;
            self->events.push_back(e);
            if (m == kDone + 1 && self->onLine)
                self->onLine(self->events.back());
            if (self->onMessage)
                self->onMessage(self->events.back());
            return 0;
        }
        return DefWindowProcA(w, m, wp, lp);
    }
};

// Pumps the thread's messages until pred holds or the time is up.
inline bool PumpUntil(const std::function<bool()> &pred, DWORD timeoutMs = 20000)
{
    const DWORD start = GetTickCount();
    for (;;) {
        MSG m;
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&m);
            DispatchMessageA(&m);
        }
        if (pred())
            return true;
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= timeoutMs)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
}

inline void PumpFor(DWORD ms)
{
    PumpUntil([] { return false; }, ms);
}

// A record that reports to a recorder window and logs into an edit control.
struct AsyncRecord {
    Recorder rec;
    HWND edit = nullptr;
    CINFO *ci = nullptr;

    explicit AsyncRecord(UINT progressMsg = 0)
    {
        edit = CreateWindowExA(0, "EDIT", "", WS_POPUP | ES_MULTILINE | ES_AUTOVSCROLL, 0, 0, 400, 300, nullptr,
                               nullptr, GetModuleHandleA(nullptr), nullptr);
        SendMessageA(edit, EM_SETLIMITTEXT, 0x7FFFFFFE, 0);
        ci = TESSEL_InitCINFO(rec.Window(), edit, progressMsg, 0);
        rec.ci = ci;
    }
    ~AsyncRecord()
    {
        if (ci) {
            TESSEL_CloseConnect(ci, 0);
            TESSEL_FreeCINFO(ci);
        }
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
    // Waits for the n-th completion message; false on time-out.
    bool WaitDone(int n = 1, DWORD timeoutMs = 20000)
    {
        return PumpUntil([&] { return rec.Count(kDone) >= n; }, timeoutMs);
    }
    const Event &Done() const { return *rec.Last(kDone); }
};

// The test bed's second vsftpd, its web server and its HTTP proxy (0 or ""
// when missing).
inline int EnvPort(const char *name)
{
    const char *v = getenv(name);
    return v ? atoi(v) : 0;
}
inline std::string EnvText(const char *name)
{
    const char *v = getenv(name);
    return v ? v : "";
}
inline int Vsftpd2Port() { return EnvPort("TESSEL_VSFTPD2_PORT"); }
inline std::string Vsftpd2Home() { return EnvText("TESSEL_VSFTPD2_ROOT_WIN") + "\\home"; }
using xfer::VsftpdHome;
inline int HttpPort() { return EnvPort("TESSEL_HTTP_PORT"); }
inline std::string HttpRoot() { return EnvText("TESSEL_HTTP_ROOT_WIN"); }
inline int ProxyPort() { return EnvPort("TESSEL_PROXY_PORT"); }

// A TCP port on 127.0.0.1 that nothing listens on.
inline int ClosedPort()
{
    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = inet_addr("127.0.0.1");
    bind(s, (sockaddr *)&a, sizeof a);
    int len = sizeof a;
    getsockname(s, (sockaddr *)&a, &len);
    closesocket(s);
    return ntohs(a.sin_port);
}

// Files, as the transfer tests make and read them.
using xfer::TempDir;
inline std::string RandomBytes(size_t n, uint32_t seed) { return xfer::Bytes(n, seed); }
inline bool WriteFileBytes(const std::string &path, const std::string &data) { return xfer::WriteAll(path, data); }
inline std::string ReadFileBytes(const std::string &path) { return xfer::ReadAll(path); }
inline bool FileExists(const std::string &path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

} // namespace async

#endif
