// Helpers of the listing and transfer tests: files on both sides, fake
// server logins, a window that records what it is posted, and waiting with
// a message pump (workers log into the test thread's edit control).
#ifndef TESSEL_TEST_TRANSFER_UTIL_H
#define TESSEL_TEST_TRANSFER_UTIL_H

#include "dataconn.h"
#include "enginetest.h"
#include "fakeftp.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace xfer {

// Login that the fake scripts begin with (user u, password p).
inline const char *FakeLogin()
{
    return "send 220 hi\nexpect USER u\nsend 331 pw\nexpect PASS p\nsend 230 ok\n"
           "expect SYST\nsend 215 UNIX Type: L8\n";
}

inline std::string Bytes(size_t n, uint32_t seed)
{
    std::string s(n, '\0');
    uint32_t x = seed ? seed : 1;
    for (size_t i = 0; i < n; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        s[i] = (char)(x >> 11);
    }
    return s;
}

inline bool WriteAll(const std::string &path, const std::string &data)
{
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    DWORD w = 0;
    BOOL ok = data.empty() || WriteFile(h, data.data(), (DWORD)data.size(), &w, nullptr);
    CloseHandle(h);
    return ok && w == data.size();
}

// Whole file, or "<missing>".
inline std::string ReadAll(const std::string &path)
{
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return "<missing>";
    std::string s;
    char buf[65536];
    DWORD got;
    while (ReadFile(h, buf, sizeof buf, &got, nullptr) && got > 0)
        s.append(buf, got);
    CloseHandle(h);
    return s;
}

// A fresh local folder for one test.
inline std::string TempDir(const char *name)
{
    char base[MAX_PATH];
    GetTempPathA(MAX_PATH, base);
    std::string dir = std::string(base) + "tessel-" + name + "-" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(dir.c_str(), nullptr);
    return dir;
}

// The password user's folder of the test bed's vsftpd, as a Windows path.
inline std::string VsftpdHome() { return fake::VsftpdRoot() + "\\home"; }

inline int ConnectVsftpd(CINFO *ci)
{
    return TESSEL_Connect(ci, "127.0.0.1", fake::VsftpdPort(), fake::VsftpdUser().c_str(),
                          fake::VsftpdPassword().c_str());
}

inline bool Contains(const std::string &hay, const std::string &needle) { return hay.find(needle) != std::string::npos; }

// Pumps messages until done() or the time is up.
inline bool PumpUntil(const std::function<bool()> &done, DWORD ms = 20000)
{
    DWORD t0 = GetTickCount();
    while (!done()) {
        if (GetTickCount() - t0 > ms)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        while (PumpOneMessage()) {
        }
    }
    return true;
}

// A hidden window that records the messages posted to it.
struct Recorder {
    struct Msg {
        UINT msg;
        WPARAM wp;
        LPARAM lp;
    };
    HWND wnd = nullptr;
    std::vector<Msg> got;

    static LRESULT CALLBACK Proc(HWND w, UINT m, WPARAM wp, LPARAM lp)
    {
        auto *self = (Recorder *)GetWindowLongPtrA(w, GWLP_USERDATA);
        if (self && m >= WM_APP)
            self->got.push_back({m, wp, lp});
        return DefWindowProcA(w, m, wp, lp);
    }
    Recorder()
    {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = Proc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "TesselTestRecorder";
        RegisterClassA(&wc);
        wnd = CreateWindowExA(0, wc.lpszClassName, "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, wc.hInstance,
                              nullptr);
        SetWindowLongPtrA(wnd, GWLP_USERDATA, (LONG_PTR)this);
    }
    ~Recorder() { DestroyWindow(wnd); }
    std::vector<Msg> Of(UINT m) const
    {
        std::vector<Msg> out;
        for (const auto &g : got)
            if (g.msg == m)
                out.push_back(g);
        return out;
    }
};

// Sets a record's cancel flag from another thread after a delay, as
// TESSEL_CancelAction does.
struct DelayedCancel {
    HANDLE th = nullptr;
    CINFO *ci;
    DWORD ms;
    static DWORD WINAPI Run(void *p)
    {
        auto *self = (DelayedCancel *)p;
        Sleep(self->ms);
        self->ci->cancelFlag = 1;
        return 0;
    }
    DelayedCancel(CINFO *c, DWORD delay) : ci(c), ms(delay) { th = CreateThread(nullptr, 0, Run, this, 0, nullptr); }
    ~DelayedCancel()
    {
        WaitForSingleObject(th, INFINITE);
        CloseHandle(th);
    }
};

} // namespace xfer

#endif
