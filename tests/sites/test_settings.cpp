// Global settings: registry layout and defaults, the shared cache, folder
// completion, the debug-log switch, registration, sounds and TESSEL.EXT.
#include "sitestest.h"
#include "engine.h"

namespace {

std::string SystemTemp()
{
    char tmp[MAX_PATH];
    GetTempPathA(sizeof tmp, tmp);
    return tmp;
}

std::string RegString(HKEY hive, const char *path, const char *name)
{
    char buf[1024] = "";
    DWORD len = sizeof buf, type = 0;
    HKEY key;
    if (RegOpenKeyExA(hive, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return "<nokey>";
    LONG rc = RegQueryValueExA(key, name, nullptr, &type, (BYTE *)buf, &len);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS ? std::string(buf) : "<none>";
}

DWORD RegDword(HKEY hive, const char *path, const char *name)
{
    DWORD v = 0xDEADBEEF, len = sizeof v;
    HKEY key;
    if (RegOpenKeyExA(hive, path, 0, KEY_READ, &key) == ERROR_SUCCESS) {
        RegQueryValueExA(key, name, nullptr, nullptr, (BYTE *)&v, &len);
        RegCloseKey(key);
    }
    return v;
}

void PutString(HKEY hive, const char *path, const char *name, const char *text)
{
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(hive, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr), ERROR_SUCCESS);
    RegSetValueExA(key, name, 0, REG_SZ, (const BYTE *)text, (DWORD)strlen(text) + 1);
    RegCloseKey(key);
}

void PutDword(HKEY hive, const char *path, const char *name, DWORD v)
{
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(hive, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr), ERROR_SUCCESS);
    RegSetValueExA(key, name, 0, REG_DWORD, (const BYTE *)&v, sizeof v);
    RegCloseKey(key);
}

} // namespace

using SitesSettings = SitesTest;

TEST_F(SitesSettings, FreshRegistryReadsIncompleteWithDefaults)
{
    FTPINFO info;
    memset(&info, 0x5A, sizeof info);
    info.size = sizeof info;
    EXPECT_EQ(TESSEL_GetFTPInfo(&info, FALSE), S_FALSE);
    EXPECT_EQ(info.size, sizeof info);
    EXPECT_EQ(info.flags, 0u);
    EXPECT_EQ(std::string(info.tmpDir), SystemTemp() + "TESSELE\\");
    EXPECT_STREQ(info.dlDir, info.tmpDir);
    EXPECT_STREQ(info.logFile, "\\TESSEL.LOG");
    EXPECT_STREQ(info.debugFile, "\\TESSELD.LOG");
    EXPECT_STREQ(info.email, "");
    EXPECT_STREQ(info.iniPath, "");
    DWORD a = GetFileAttributesA((std::string(info.tmpDir) + "Notify").c_str());
    EXPECT_NE(a, INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(a & FILE_ATTRIBUTE_DIRECTORY);
}

TEST_F(SitesSettings, WriteThenReadRoundTripsThroughTheRegistry)
{
    FTPINFO info = {};
    info.size = sizeof info;
    info.flags = 0x00030049u; // high bits go to the machine key, low bits per user
    strcpy(info.topDir, "C:\\Program Files\\Tessel");
    snprintf(info.tmpDir, sizeof info.tmpDir, "%s\\t", dir_.c_str());
    snprintf(info.dlDir, sizeof info.dlDir, "%s\\d/", dir_.c_str());
    strcpy(info.wsDir, "C:\\TESSEL\\");
    strcpy(info.iniPath, "C:\\TESSEL\\TESSEL.INI");
    strcpy(info.extFile, "C:\\TESSEL\\TESSEL.EXT");
    strcpy(info.email, "someone@example.org");
    strcpy(info.logFile, "C:\\logs\\transfer.log");
    strcpy(info.debugFile, "C:\\logs\\debug.log");
    ASSERT_EQ(TESSEL_SetFTPInfo(&info), S_OK);

    EXPECT_EQ(RegDword(HKEY_LOCAL_MACHINE, TESSEL_REG_SETTINGS, "Flags"), 0x00030000u);
    EXPECT_EQ(RegDword(HKEY_CURRENT_USER, TESSEL_REG_SETTINGS, "Flags"), 0x49u);
    EXPECT_EQ(RegString(HKEY_LOCAL_MACHINE, TESSEL_REG_SETTINGS, "TopDir"), "C:\\Program Files\\Tessel");
    EXPECT_EQ(RegString(HKEY_CURRENT_USER, TESSEL_REG_SETTINGS, "HLPDir"), "<none>"); // empty: deleted

    SharedSettingsClear();
    FTPINFO back = {};
    back.size = sizeof back;
    ASSERT_EQ(TESSEL_GetFTPInfo(&back, FALSE), S_OK);
    EXPECT_EQ(back.flags, info.flags);
    EXPECT_STREQ(back.topDir, info.topDir);
    EXPECT_EQ(std::string(back.tmpDir), dir_ + "\\t\\");
    EXPECT_EQ(std::string(back.dlDir), dir_ + "\\d/"); // a final "/" already counts
    EXPECT_STREQ(back.wsDir, info.wsDir);
    EXPECT_STREQ(back.iniPath, info.iniPath);
    EXPECT_STREQ(back.extFile, info.extFile);
    EXPECT_STREQ(back.email, info.email);
    EXPECT_STREQ(back.logFile, info.logFile);
    EXPECT_STREQ(back.debugFile, info.debugFile);
    EXPECT_NE(GetFileAttributesA((dir_ + "\\t\\Notify").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(SitesSettings, DefaultLogNamesAreNotStored)
{
    FTPINFO info = {};
    info.size = sizeof info;
    strcpy(info.email, "x@y.z");
    strcpy(info.logFile, "\\tessel.log");
    strcpy(info.debugFile, "\\Tesseld.LOG");
    ASSERT_EQ(TESSEL_SetFTPInfo(&info), S_OK);
    EXPECT_EQ(RegString(HKEY_CURRENT_USER, TESSEL_REG_SETTINGS, "LogFile"), "<none>");
    EXPECT_EQ(RegString(HKEY_CURRENT_USER, TESSEL_REG_SETTINGS, "DebugFile"), "<none>");
    FTPINFO back = Settings();
    EXPECT_STREQ(back.logFile, "\\TESSEL.LOG");
    EXPECT_STREQ(back.debugFile, "\\TESSELD.LOG");
}

TEST_F(SitesSettings, MachineWideModeUsesOnlyTheMachineKey)
{
    PutDword(HKEY_LOCAL_MACHINE, TESSEL_REG_SETTINGS, "Flags", FTPINFO_MACHINE_WIDE | 0x1);
    PutString(HKEY_LOCAL_MACHINE, TESSEL_REG_SETTINGS, "EAddr", "machine@example.org");
    PutDword(HKEY_CURRENT_USER, TESSEL_REG_SETTINGS, "Flags", 0x48);
    PutString(HKEY_CURRENT_USER, TESSEL_REG_SETTINGS, "EAddr", "user@example.org");
    FTPINFO info = Settings();
    EXPECT_EQ(info.flags, FTPINFO_MACHINE_WIDE | 0x1);
    EXPECT_STREQ(info.email, "machine@example.org");

    strcpy(info.email, "changed@example.org");
    info.flags |= FTPINFO_DEBUG_LOG;
    ASSERT_EQ(TESSEL_SetFTPInfo(&info), S_OK);
    EXPECT_EQ(RegDword(HKEY_LOCAL_MACHINE, TESSEL_REG_SETTINGS, "Flags"), FTPINFO_MACHINE_WIDE | 0x11);
    EXPECT_EQ(RegString(HKEY_LOCAL_MACHINE, TESSEL_REG_SETTINGS, "EAddr"), "changed@example.org");
    EXPECT_EQ(RegString(HKEY_CURRENT_USER, TESSEL_REG_SETTINGS, "EAddr"), "user@example.org");
    EXPECT_EQ(RegDword(HKEY_CURRENT_USER, TESSEL_REG_SETTINGS, "Flags"), 0x48u);
    SetDebugLog(0, nullptr);
}

TEST_F(SitesSettings, AddressFallsBackToTheIniFileButNotToThePlaceholder)
{
    PutString(HKEY_CURRENT_USER, TESSEL_REG_SETTINGS, "INIDir", ini_.c_str());
    PutDword(HKEY_LOCAL_MACHINE, TESSEL_REG_SETTINGS, "Flags", 0);
    WritePrivateProfileStringA("_config_", "MAILADDR", TESSEL_PLACEHOLDER_EMAIL, ini_.c_str());
    FTPINFO info = {};
    info.size = sizeof info;
    EXPECT_EQ(TESSEL_GetFTPInfo(&info, FALSE), S_FALSE);
    EXPECT_STREQ(info.email, "");
    WritePrivateProfileStringA("_config_", "MAILADDR", "ini@example.org", ini_.c_str());
    EXPECT_EQ(TESSEL_GetFTPInfo(&info, FALSE), S_OK);
    EXPECT_STREQ(info.email, "ini@example.org");

    // Without "INIDir" the file is looked for in the program folder.
    RegDeleteKeyA(HKEY_CURRENT_USER, TESSEL_REG_SETTINGS);
    PutString(HKEY_LOCAL_MACHINE, TESSEL_REG_SETTINGS, "TopDir", dir_.c_str());
    TESSEL_GetFTPInfo(&info, FALSE);
    EXPECT_EQ(std::string(info.iniPath), ini_);
}

TEST_F(SitesSettings, IniModeWritesTheAddressIntoConfig)
{
    ASSERT_EQ(UseSettings(FTPINFO_INI_STORE, ini_, "me@example.org"), S_OK);
    EXPECT_EQ(IniValue("_config_", "MAILADDR"), "me@example.org");
}

TEST_F(SitesSettings, CacheServesReadsUntilRefreshed)
{
    ASSERT_EQ(UseSettings(0, "", "first@example.org"), S_OK);
    ASSERT_NE(SharedArea(), nullptr);
    EXPECT_STREQ(SharedArea()->settings.email, "first@example.org");
    PutString(HKEY_CURRENT_USER, TESSEL_REG_SETTINGS, "EAddr", "second@example.org");
    FTPINFO info = {};
    info.size = sizeof info + 100; // a larger caller record keeps its size
    std::vector<char> big(sizeof info + 100, 0x77);
    memcpy(big.data(), &info, sizeof info);
    FTPINFO *rec = (FTPINFO *)big.data();
    EXPECT_EQ(TESSEL_GetFTPInfo(rec, TRUE), S_OK);
    EXPECT_STREQ(rec->email, "first@example.org");
    EXPECT_EQ(rec->size, sizeof info + 100);
    EXPECT_EQ((unsigned char)big[sizeof info], 0x77); // nothing written past 2860 bytes
    EXPECT_EQ(TESSEL_GetFTPInfo(rec, FALSE), S_OK);
    EXPECT_STREQ(rec->email, "second@example.org");
    EXPECT_STREQ(SharedArea()->settings.email, "second@example.org");
    EXPECT_EQ((unsigned char)big[sizeof info + 99], 0x77);
}

TEST_F(SitesSettings, BadRecordsAreRefused)
{
    EXPECT_EQ(TESSEL_GetFTPInfo(nullptr, TRUE), E_INVALIDARG);
    EXPECT_EQ(TESSEL_SetFTPInfo(nullptr), E_INVALIDARG);
    FTPINFO info = {};
    info.size = 2859;
    EXPECT_EQ(TESSEL_GetFTPInfo(&info, FALSE), E_INVALIDARG);
    EXPECT_EQ(TESSEL_SetFTPInfo(&info), E_INVALIDARG);
    EXPECT_EQ(TESSEL_ModifyFTPInfo(nullptr, &info), E_INVALIDARG);
    // Unterminated text fields are stored cut, never read past.
    info.size = sizeof info;
    memset(info.email, 'e', sizeof info.email);
    memset(info.logFile, 'l', sizeof info.logFile);
    ASSERT_EQ(TESSEL_SetFTPInfo(&info), S_OK);
    FTPINFO back = Settings();
    EXPECT_EQ(strlen(back.email), 511u);
    EXPECT_EQ(strlen(back.logFile), 259u);
}

TEST_F(SitesSettings, OverlongRegistryValuesAreCut)
{
    std::string huge(10000, 'q');
    PutString(HKEY_CURRENT_USER, TESSEL_REG_SETTINGS, "EAddr", huge.c_str());
    PutDword(HKEY_LOCAL_MACHINE, TESSEL_REG_SETTINGS, "Flags", 0);
    // A value of the wrong type or size does not count.
    HKEY key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, TESSEL_REG_SETTINGS, 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
    RegSetValueExA(key, "LogFile", 0, REG_DWORD, (const BYTE *)"abcd", 4);
    RegSetValueExA(key, "Flags", 0, REG_BINARY, (const BYTE *)"\x11\x00\x00\x00", 4);
    RegCloseKey(key);
    FTPINFO info = Settings();
    EXPECT_EQ(std::string(info.email), huge.substr(0, 511));
    EXPECT_STREQ(info.logFile, "\\TESSEL.LOG");
    EXPECT_EQ(info.flags, 0u);
}

TEST_F(SitesSettings, DebugLogFollowsTheSettings)
{
    std::string log = dir_ + "\\debug.log";
    FTPINFO info = {};
    info.size = sizeof info;
    info.flags = FTPINFO_DEBUG_LOG;
    strcpy(info.email, "x@y.z");
    snprintf(info.debugFile, sizeof info.debugFile, "%s", log.c_str());
    ASSERT_EQ(TESSEL_SetFTPInfo(&info), S_OK);
    EXPECT_TRUE(DebugLogEnabled());
    DebugLogLine("hello %d", 42);
    EXPECT_EQ(FileText(log), "hello 42\r\n");
    SetDebugLog(0, nullptr);
    TESSEL_GetFTPInfo(&info, TRUE); // a cache hit switches it too
    EXPECT_TRUE(DebugLogEnabled());
    info.flags = 0;
    ASSERT_EQ(TESSEL_SetFTPInfo(&info), S_OK);
    EXPECT_FALSE(DebugLogEnabled());
}

TEST_F(SitesSettings, FolderCompletionFallsBackToTheSystemTemp)
{
    FTPINFO info = {};
    info.size = sizeof info;
    // Two levels missing: only one is ever created.
    snprintf(info.tmpDir, sizeof info.tmpDir, "%s\\no\\such", dir_.c_str());
    snprintf(info.dlDir, sizeof info.dlDir, "%s\\dl", dir_.c_str());
    CompleteFolders(&info);
    EXPECT_EQ(std::string(info.tmpDir), SystemTemp());
    EXPECT_EQ(std::string(info.dlDir), dir_ + "\\dl\\");
    // A folder name that fills the field cannot take its "\".
    std::string longName = dir_ + "\\" + std::string(259 - dir_.size() - 1, 'a');
    strcpy(info.tmpDir, longName.c_str());
    CompleteFolders(&info);
    EXPECT_EQ(std::string(info.tmpDir), SystemTemp());
}

TEST_F(SitesSettings, RegistrationFindsTheClientAndRegistersSounds)
{
    std::string client = dir_ + "\\client";
    CreateDirectoryA(client.c_str(), nullptr);
    WriteText(client + "\\TESSEL.INI", "[_config_]\r\nMAILADDR=client@example.org\r\n");
    WriteText(client + "\\TESSEL.EXT", ".TXT\r\n");
    WriteProfileStringA("TESSEL", "DIR", (client + "\\").c_str());
    WriteProfileStringA("TESSEL", "DEFDIR", (dir_ + "\\downloads").c_str());
    std::string lib = dir_ + "\\tesselcore.dll";
    HRESULT hr = RegisterSettings(lib.c_str());
    WriteProfileStringA("TESSEL", nullptr, nullptr);
    EXPECT_EQ(hr, S_OK);
    FTPINFO info = Settings();
    EXPECT_EQ(std::string(info.topDir), dir_);
    EXPECT_EQ(std::string(info.wsDir), client + "\\");
    EXPECT_EQ(std::string(info.iniPath), client + "\\TESSEL.INI");
    EXPECT_EQ(std::string(info.extFile), client + "\\TESSEL.EXT");
    EXPECT_EQ(std::string(info.dlDir), dir_ + "\\downloads\\");
    EXPECT_STREQ(info.email, "client@example.org");
    EXPECT_EQ(info.flags & (FTPINFO_INI_STORE | FTPINFO_CLIENT_FOUND), FTPINFO_INI_STORE | FTPINFO_CLIENT_FOUND);
    EXPECT_STREQ(info.helpFile, "");

    const char *cur = "AppEvents\\Schemes\\Apps\\.Default\\TESSEL_ConGood\\.Current";
    EXPECT_EQ(RegString(HKEY_CURRENT_USER, cur, nullptr), dir_ + "\\connect.wav");
    EXPECT_EQ(RegString(HKEY_CURRENT_USER, "AppEvents\\Schemes\\Apps\\.Default\\TESSEL_RootOpen\\.Default", nullptr),
              "tada.wav");
    EXPECT_EQ(RegString(HKEY_CURRENT_USER, "AppEvents\\Schemes\\Apps\\.Default\\TESSEL_SiteOpen\\.Current", nullptr),
              "");
    EXPECT_EQ(RegString(HKEY_CURRENT_USER, "AppEvents\\EventLabels\\TESSEL_DelLink", nullptr),
              "TESSEL: Delete Link");
    PlayEventSound("TESSEL_SiteOpen"); // no wave: silent, and no failure

    UnregisterSettings();
    EXPECT_EQ(RegString(HKEY_CURRENT_USER, cur, nullptr), "<nokey>");
    EXPECT_EQ(RegString(HKEY_CURRENT_USER, "AppEvents\\EventLabels\\TESSEL_DelLink", nullptr), "<nokey>");
    EXPECT_EQ(RegString(HKEY_CURRENT_USER, TESSEL_REG_SETTINGS, "EAddr"), "<nokey>");
    EXPECT_EQ(RegString(HKEY_LOCAL_MACHINE, TESSEL_REG_SETTINGS, "TopDir"), "<nokey>");
}

TEST_F(SitesSettings, RegistrationWithoutClientStoresThePlaceholder)
{
    WriteProfileStringA("TESSEL", nullptr, nullptr);
    std::string lib = dir_ + "/tesselcore.dll";
    WriteText(dir_ + "\\TESSELCORE.HLP", "help");
    ASSERT_EQ(RegisterSettings(lib.c_str()), S_OK);
    FTPINFO info = Settings();
    EXPECT_EQ(std::string(info.topDir), dir_);
    EXPECT_EQ(std::string(info.helpFile), dir_ + "\\TESSELCORE.HLP");
    EXPECT_EQ(info.flags & FTPINFO_CLIENT_FOUND, 0u);
    EXPECT_NE(info.flags & FTPINFO_INI_STORE, 0u);
    EXPECT_EQ(RegString(HKEY_CURRENT_USER, TESSEL_REG_SETTINGS, "EAddr"), TESSEL_PLACEHOLDER_EMAIL);
    // Nothing found anywhere: the program folder is where the files will be.
    EXPECT_EQ(std::string(info.extFile), dir_ + "\\TESSEL.EXT");
    UnregisterSoundEvents();
}

TEST_F(SitesSettings, ExtensionListSkipsShortLines)
{
    std::string path = dir_ + "\\TESSEL.EXT";
    WriteText(path, ".TXT\r\nX\r\n.HTML\nREADME.FIRST\n");
    auto list = ReadExtensionList(path.c_str());
    EXPECT_EQ(list, (std::vector<std::string>{".TXT", ".HTML", "README.FI"}));
    EXPECT_EQ(ReadExtensionList((dir_ + "\\missing.ext").c_str()), (std::vector<std::string>{".TXT"}));
    ASSERT_TRUE(WriteExtensionList(path.c_str(), {".C", "Y", ".H"}));
    EXPECT_EQ(FileText(path), ".C\n.H\n");
}
