// Helpers for the client tests: a throw-away folder with its own TESSEL.INI,
// and the client's real main window on top of it.
#ifndef TESSEL_TEST_CLIENTTEST_H
#define TESSEL_TEST_CLIENTTEST_H

#include "client.h"

#include <gtest/gtest.h>

#include <stdio.h>
#include <string>
#include <vector>

namespace ct {

// A fresh folder under the Wine temp directory; removed with its files.
struct TempDir {
    std::string path;
    TempDir()
    {
        char base[MAX_PATH], name[MAX_PATH];
        GetTempPathA(sizeof base, base);
        GetTempFileNameA(base, "t95", 0, name);
        DeleteFileA(name);
        CreateDirectoryA(name, nullptr);
        path = name;
    }
    ~TempDir() { RemoveTree(path); }
    std::string File(const std::string &name) const { return path + "\\" + name; }
    void Write(const std::string &name, const std::string &data) const
    {
        FILE *f = fopen(File(name).c_str(), "wb");
        if (f) {
            fwrite(data.data(), 1, data.size(), f);
            fclose(f);
        }
    }
    std::string Read(const std::string &name) const
    {
        std::string out;
        FILE *f = fopen(File(name).c_str(), "rb");
        if (!f)
            return out;
        char buf[65536];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, f)) > 0)
            out.append(buf, n);
        fclose(f);
        return out;
    }
    static void RemoveTree(const std::string &dir)
    {
        WIN32_FIND_DATAA fd;
        HANDLE h = FindFirstFileA((dir + "\\*").c_str(), &fd);
        if (h != INVALID_HANDLE_VALUE) {
            do {
                std::string n = fd.cFileName;
                if (n == "." || n == "..")
                    continue;
                std::string p = dir + "\\" + n;
                if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                    RemoveTree(p);
                else
                    DeleteFileA(p.c_str());
            } while (FindNextFileA(h, &fd));
            FindClose(h);
        }
        RemoveDirectoryA(dir.c_str());
    }
};

// Program state reset to a fresh start with TESSEL.INI in a temp folder.
struct ClientState {
    TempDir dir;
    char oldDir[MAX_PATH];
    explicit ClientState(const std::string &ini = "")
    {
        GetCurrentDirectoryA(sizeof oldDir, oldDir);
        // Unattended runs write xferlog.txt into the current directory.
        SetCurrentDirectoryA(dir.path.c_str());
        t95::g_inst = GetModuleHandleA(nullptr);
        dir.Write("TESSEL.INI", ini);
        snprintf(t95::g_files.ini, sizeof t95::g_files.ini, "%s", dir.File("TESSEL.INI").c_str());
        snprintf(t95::g_files.ext, sizeof t95::g_files.ext, "%s", dir.File("TESSEL.EXT").c_str());
        snprintf(t95::g_files.cnv, sizeof t95::g_files.cnv, "%s", dir.File("TESSEL.CNV").c_str());
        t95::g_answerHook = nullptr;
        t95::SetWorkerBusy(0);
        memset(&t95::g_cmd, 0, sizeof t95::g_cmd);
        t95::g_cmd.quiet = 1;
        t95::SetConfigDefaults();
        t95::g_cfg.bell = 0;
        t95::ClearSession(&t95::g_session);
        t95::g_ftp.ctrl = t95::g_ftp.pasv = t95::g_ftp.listen = INVALID_SOCKET;
        t95::g_ftp.connected = 0;
        t95::g_ftp.cancel = t95::g_ftp.stop = 0;
        t95::g_ftp.busy = 0;
        t95::g_ftp.cmdInProgress = 0;
        t95::g_ftp.carryLen = 0;
        t95::g_ftp.hostType = 6000;
        t95::g_ftp.timeout = 10;
        t95::g_ftp.detectDone = 0;
        t95::g_ftp.sentType = 0;
        t95::g_ftp.inData = 0;
        t95::g_ftp.replyLost = 0;
        t95::g_ftp.remoteDir[0] = t95::g_ftp.hostName[0] = t95::g_ftp.sessionName[0] = 0;
    }
    ~ClientState() { SetCurrentDirectoryA(oldDir); }
    std::string Ini(const char *section, const char *key) const
    {
        char buf[1024];
        GetPrivateProfileStringA(section, key, "<absent>", buf, sizeof buf, t95::g_files.ini);
        return buf;
    }
};

// The real main window (hidden), created through the client's own class.
struct MainWindow {
    HWND wnd = nullptr;
    MainWindow()
    {
        static bool registered = false;
        if (!registered)
            registered = t95::RegisterClasses() != 0;
        t95::LoadBitmaps();
        wnd = CreateWindowExA(0, T95_APPNAME, T95_APPNAME, WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0, 900, 600,
                              nullptr, nullptr, t95::g_inst, nullptr);
    }
    ~MainWindow()
    {
        if (wnd && IsWindow(wnd))
            DestroyWindow(wnd);
        t95::g_main = nullptr;
        // The destroy posted a quit: take it out of the queue.
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        }
    }
    HWND Item(int id) const { return GetDlgItem(wnd, id); }
    // Names of a list in the list's real order.
    std::vector<std::string> Names(int id) const
    {
        std::vector<std::string> out;
        HWND list = Item(id);
        int n = (int)SendMessageA(list, LB_GETCOUNT, 0, 0);
        for (int i = 0; i < n; ++i) {
            HGLOBAL h = (HGLOBAL)SendMessageA(list, LB_GETITEMDATA, i, 0);
            t95::ListItem *it = (t95::ListItem *)GlobalLock(h);
            out.push_back(it ? std::string(it->text, (size_t)it->nameLen) : "?");
            if (it)
                GlobalUnlock(h);
        }
        return out;
    }
};

inline void Pump(DWORD ms)
{
    DWORD start = GetTickCount();
    do {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        Sleep(5);
    } while (GetTickCount() - start < ms);
}

} // namespace ct

#endif
