// Helpers for the settings and site-store tests.  They run against Wine's
// real registry in the throw-away prefix: every case starts and ends with
// no SOFTWARE\Corvane\TESSEL key in either hive, works in a scratch folder
// of its own, and holds a prefix-wide lock so that cases run in parallel
// by CTest never see each other's settings.
#ifndef TESSEL_TEST_SITESTEST_H
#define TESSEL_TEST_SITESTEST_H

#include "sitesint.h"
#include "siteini.h"
#include "sharedarea.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <stdio.h>
#include <string.h>
#include <string>
#include <vector>

class SitesTest : public testing::Test {
public:
    HANDLE lock_ = nullptr;
    std::string dir_;   // scratch folder, ends without "\"
    std::string ini_;   // dir_\TESSEL.INI

    void SetUp() override
    {
        lock_ = CreateMutexA(nullptr, FALSE, "TesselSitesTestLock");
        DWORD r = WaitForSingleObject(lock_, 60000);
        ASSERT_TRUE(r == WAIT_OBJECT_0 || r == WAIT_ABANDONED);
        WipeStore();
        char tmp[MAX_PATH];
        GetTempPathA(sizeof tmp, tmp);
        char name[MAX_PATH];
        snprintf(name, sizeof name, "%stessel-sites-%lu", tmp, (unsigned long)GetCurrentProcessId());
        dir_ = name;
        CreateDirectoryA(dir_.c_str(), nullptr);
        ini_ = dir_ + "\\TESSEL.INI";
    }

    void TearDown() override
    {
        WipeStore();
        RemoveTree(dir_);
        if (lock_) {
            ReleaseMutex(lock_);
            CloseHandle(lock_);
        }
    }

    static void WipeStore()
    {
        DeleteKeyTree(HKEY_CURRENT_USER, TESSEL_REG_ROOT);
        DeleteKeyTree(HKEY_LOCAL_MACHINE, TESSEL_REG_ROOT);
        RegDeleteKeyA(HKEY_CURRENT_USER, "SOFTWARE\\Corvane");
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Corvane");
        SharedSettingsClear();
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
                else {
                    SetFileAttributesA(p.c_str(), FILE_ATTRIBUTE_NORMAL);
                    DeleteFileA(p.c_str());
                }
            } while (FindNextFileA(h, &fd));
            FindClose(h);
        }
        RemoveDirectoryA(dir.c_str());
    }

    // Stores settings with the given flags, INI path and address.
    HRESULT UseSettings(uint32_t flags, const std::string &ini, const char *email = "me@example.org")
    {
        FTPINFO info = {};
        info.size = sizeof info;
        info.flags = flags;
        snprintf(info.iniPath, sizeof info.iniPath, "%s", ini.c_str());
        snprintf(info.email, sizeof info.email, "%s", email);
        snprintf(info.tmpDir, sizeof info.tmpDir, "%s\\tmp", dir_.c_str());
        return TESSEL_SetFTPInfo(&info);
    }
    HRESULT UseRegistry(uint32_t extra = 0) { return UseSettings(extra, ""); }
    HRESULT UseIni() { return UseSettings(FTPINFO_INI_STORE, ini_); }

    static FTPINFO Settings()
    {
        FTPINFO info = {};
        info.size = sizeof info;
        TESSEL_GetFTPInfo(&info, FALSE);
        return info;
    }

    static FTPSITEINFO Empty()
    {
        FTPSITEINFO r;
        memset(&r, 0, sizeof r);
        r.size = sizeof r;
        return r;
    }

    // A profile with every field set to something other than a default.
    static FTPSITEINFO Full(const char *name)
    {
        FTPSITEINFO r = Empty();
        r.flags = SITE_SAVE_PASSWORD | SITE_SAVE_FWPASS | SITE_USE_FIREWALL | SITE_LAST_FAILED |
                  SITE_CONFIRM_DELETE | SITE_FORCE_LOWER | SITE_CONVERT_EXT | SITE_PROMPT_NAME;
        snprintf(r.name, sizeof r.name, "%s", name);
        strcpy(r.host, "ftp.example.org");
        strcpy(r.comment, "the comment");
        strcpy(r.user, "alice");
        strcpy(r.account, "acct1");
        strcpy(r.password, "p\xe4ss w;rd=\xff");
        strcpy(r.remoteDir, "/pub/files");
        strcpy(r.localMask, "*.zip");
        strcpy(r.remoteMask, "*.txt");
        strcpy(r.initCmd, "SITE UMASK 022;SITE IDLE 60");
        strcpy(r.fwHost, "fw.example.org");
        strcpy(r.fwUser, "fwuser");
        strcpy(r.fwPassword, "fw\xb5pass");
        strcpy(r.iconFile, "C:\\icons\\site.ico");
        r.iconIndex = 3;
        r.hostType = 6012;
        r.fwType = 5;
        r.timeOffset = -2;
        r.retries = 4;
        r.timeout = 30;
        r.port = 2121;
        r.fwPort = 1080;
        r.conGood = 7;
        r.conFail = 2;
        r.prevCon = {2001, 2, 3, 14, 9, 30, 15, 250};
        return r;
    }

    std::string IniValue(const char *section, const char *key, const std::string &file = "") const
    {
        char buf[16384];
        GetPrivateProfileStringA(section, key, "<none>", buf, sizeof buf, (file.empty() ? ini_ : file).c_str());
        return buf;
    }

    std::string FileText(const std::string &path) const
    {
        std::string out;
        FILE *f = fopen(path.c_str(), "rb");
        if (!f)
            return out;
        char buf[4096];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, f)) > 0)
            out.append(buf, n);
        fclose(f);
        return out;
    }

    void WriteText(const std::string &path, const std::string &text) const
    {
        FILE *f = fopen(path.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        fwrite(text.data(), 1, text.size(), f);
        fclose(f);
    }

    static std::vector<std::string> Enumerate()
    {
        std::vector<std::string> names;
        FTPSITEINFO r = Empty();
        HANDLE h = TESSEL_FindFirstFTPSite(&r);
        if (h == INVALID_HANDLE_VALUE)
            return names;
        do
            names.push_back(r.name);
        while (TESSEL_FindNextFTPSite(h, &r));
        TESSEL_FindCloseFTP(h);
        return names;
    }

    static std::string SitePath(const char *name) { return std::string(TESSEL_REG_SITES "\\") + name; }

    static std::vector<std::string> RegValueNames(HKEY hive, const char *site)
    {
        std::vector<std::string> out;
        HKEY key;
        if (RegOpenKeyExA(hive, SitePath(site).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
            return out;
        char name[256];
        for (DWORD i = 0;; i++) {
            DWORD len = sizeof name;
            if (RegEnumValueA(key, i, name, &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
                break;
            out.push_back(name);
        }
        RegCloseKey(key);
        std::sort(out.begin(), out.end());
        return out;
    }
};

#define EXPECT_SAME_SITE(a, b)                                                                  \
    do {                                                                                        \
        EXPECT_STREQ((a).name, (b).name);                                                       \
        EXPECT_STREQ((a).host, (b).host);                                                       \
        EXPECT_STREQ((a).comment, (b).comment);                                                 \
        EXPECT_STREQ((a).user, (b).user);                                                       \
        EXPECT_STREQ((a).account, (b).account);                                                 \
        EXPECT_STREQ((a).password, (b).password);                                               \
        EXPECT_STREQ((a).remoteDir, (b).remoteDir);                                             \
        EXPECT_STREQ((a).remoteMask, (b).remoteMask);                                           \
        EXPECT_STREQ((a).initCmd, (b).initCmd);                                                 \
        EXPECT_STREQ((a).fwHost, (b).fwHost);                                                   \
        EXPECT_STREQ((a).fwUser, (b).fwUser);                                                   \
        EXPECT_STREQ((a).fwPassword, (b).fwPassword);                                           \
        EXPECT_STREQ((a).iconFile, (b).iconFile);                                               \
        EXPECT_EQ((a).iconIndex, (b).iconIndex);                                                \
        EXPECT_EQ((a).hostType, (b).hostType);                                                  \
        EXPECT_EQ((a).fwType, (b).fwType);                                                      \
        EXPECT_EQ((a).timeOffset, (b).timeOffset);                                              \
        EXPECT_EQ((a).retries, (b).retries);                                                    \
        EXPECT_EQ((a).timeout, (b).timeout);                                                    \
        EXPECT_EQ((a).port, (b).port);                                                          \
        EXPECT_EQ((a).fwPort, (b).fwPort);                                                      \
        EXPECT_EQ((a).conGood, (b).conGood);                                                    \
        EXPECT_EQ((a).conFail, (b).conFail);                                                    \
        EXPECT_EQ(memcmp(&(a).prevCon, &(b).prevCon, sizeof(SYSTEMTIME)), 0);                   \
        EXPECT_EQ((a).flags & ~(SITE_HAS_RESUME | SITE_MACHINE_HIVE),                           \
                  (b).flags & ~(SITE_HAS_RESUME | SITE_MACHINE_HIVE));                          \
    } while (0)

#endif
