// Copying one distribution file, in this process: LZ expansion, damaged
// and truncated files, read-only targets and the in-use rules.
#include "setup.h"
#include "setuptest.h"

using namespace setuptest;

namespace {

const char kRunServicesOnce[] = "Software\\Microsoft\\Windows\\CurrentVersion\\RunServicesOnce";

struct CopyTest : ::testing::Test {
    std::string src, dst;
    InstallState st;
    void SetUp() override
    {
        src = TempFolder("src");
        dst = TempFolder("dst");
        st.nt = true;
    }
    void TearDown() override
    {
        RemoveTree(src);
        RemoveTree(dst);
    }
    DWORD Copy(const std::string &name, const std::string &as = std::string())
    {
        CopyRequest req{src, name, dst, as.empty() ? name : as, false};
        return CopyOneFile(st, req);
    }
    void FromDist(const std::string &packed)
    {
        ASSERT_TRUE(CopyFileA((DistDir() + "\\" + packed).c_str(), (src + "\\" + packed).c_str(), FALSE)) << packed;
    }
};

void DeleteCorvaneValues()
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRunServicesOnce, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return;
    for (int i = 0; i < 20; i++)
        RegDeleteValueA(key, ("Corvane" + std::to_string(i)).c_str());
    RegCloseKey(key);
}

} // namespace

TEST(SetupNames, CompressedNameReplacesTheLastCharacter)
{
    EXPECT_EQ("tesselcore.dl_", CompressedName("tesselcore.dll"));
    EXPECT_EQ("TESSEL.hl_", CompressedName("TESSEL.hlp"));
}

TEST(SetupNames, GroupNamesThatWouldEndTheCommandAreRefused)
{
    EXPECT_TRUE(IsSafeGroupName("TESSEL Pro"));
    for (const char *bad : {"a]b", "a[b", "x(y", "x)y", "say \"hi\"", "one,two", "G)][DeleteGroup(Startup)"})
        EXPECT_FALSE(IsSafeGroupName(bad)) << bad;
}

TEST_F(CopyTest, ExpandsACompressedFileExactly)
{
    FromDist("tesselcore.cn_");
    FromDist("tesselch.dl_");
    EXPECT_EQ(0u, Copy("tesselcore.cnt"));
    EXPECT_EQ(0u, Copy("tesselch.dll"));
    EXPECT_EQ(ReadFile(ExpandedDir() + "\\tesselcore.cnt"), ReadFile(dst + "\\tesselcore.cnt"));
    EXPECT_TRUE(ReadFile(ExpandedDir() + "\\tesselch.dll") == ReadFile(dst + "\\tesselch.dll"));
    EXPECT_FALSE(st.restartNeeded);
}

TEST_F(CopyTest, PlainFileIsCopiedWhenNoCompressedOneExists)
{
    WriteFile(src + "\\notes.txt", "plain text\r\n");
    EXPECT_EQ(0u, Copy("notes.txt"));
    EXPECT_EQ("plain text\r\n", ReadFile(dst + "\\notes.txt"));
    EXPECT_EQ((DWORD)ERROR_FILE_NOT_FOUND, Copy("absent.txt"));
}

TEST_F(CopyTest, TruncatedFileLeavesNothingBehindAndKeepsTheOldOne)
{
    FromDist("whatsnew.tx_");
    std::string packed = ReadFile(src + "\\whatsnew.tx_");
    WriteFile(src + "\\whatsnew.tx_", packed.substr(0, packed.size() / 2));
    WriteFile(dst + "\\whatsnew.txt", "old notes");
    EXPECT_EQ((DWORD)ERROR_HANDLE_EOF, Copy("whatsnew.txt"));
    EXPECT_TRUE(ReadFile(dst + "\\whatsnew.txt") == "old notes");
    EXPECT_FALSE(Exists(dst + "\\whatsnew.txt.$$$"));
}

TEST_F(CopyTest, DamagedHeaderIsRefused)
{
    FromDist("connect.wa_");
    std::string packed = ReadFile(src + "\\connect.wa_");
    packed[1] = 'X';
    WriteFile(src + "\\connect.wa_", packed);
    EXPECT_EQ((DWORD)ERROR_BAD_FORMAT, Copy("connect.wav"));
    EXPECT_FALSE(Exists(dst + "\\connect.wav"));
    WriteFile(src + "\\connect.wa_", "SZ");
    EXPECT_EQ((DWORD)ERROR_BAD_FORMAT, Copy("connect.wav"));
}

TEST_F(CopyTest, ReadOnlyTargetIsReportedNotReplaced)
{
    FromDist("error.wa_");
    WriteFile(dst + "\\error.wav", "keep");
    SetFileAttributesA((dst + "\\error.wav").c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ((DWORD)ERROR_ACCESS_DENIED, Copy("error.wav"));
    EXPECT_TRUE(ReadFile(dst + "\\error.wav") == "keep");
    EXPECT_FALSE(st.restartNeeded);
    SetFileAttributesA((dst + "\\error.wav").c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(CopyTest, LoadedLibraryOnNtIsKeptAsBak)
{
    FromDist("tesselch.dl_");
    std::string lib = dst + "\\tesselch.dll";
    WriteFile(lib, ReadFile(ExpandedDir() + "\\tesselch.dll"));
    HMODULE held = LoadLibraryA(lib.c_str());
    ASSERT_TRUE(held);
    WriteFile(dst + "\\tesselch.bak", "an older one");
    EXPECT_EQ(0u, Copy("tesselch.dll"));
    EXPECT_TRUE(st.restartNeeded);
    EXPECT_TRUE(Exists(dst + "\\tesselch.bak"));
    EXPECT_NE("an older one", ReadFile(dst + "\\tesselch.bak"));
    EXPECT_TRUE(ReadFile(ExpandedDir() + "\\tesselch.dll") == ReadFile(lib));
    FreeLibrary(held);
}

TEST_F(CopyTest, LoadedLibraryElsewhereWaitsAsNewForTheRestartCopy)
{
    DeleteCorvaneValues();
    st.nt = false;
    FromDist("tesselch.dl_");
    std::string lib = dst + "\\tesselch.dll";
    WriteFile(lib, ReadFile(ExpandedDir() + "\\tesselch.dll"));
    HMODULE held = LoadLibraryA(lib.c_str());
    ASSERT_TRUE(held);
    EXPECT_EQ(0u, Copy("tesselch.dll"));
    EXPECT_TRUE(st.restartNeeded);
    EXPECT_TRUE(ReadFile(ExpandedDir() + "\\tesselch.dll") == ReadFile(dst + "\\tesselch.new"));
    std::string cmd = RegText(HKEY_LOCAL_MACHINE, kRunServicesOnce, "Corvane0");
    char shortNew[MAX_PATH], shortLib[MAX_PATH];
    GetShortPathNameA((dst + "\\tesselch.new").c_str(), shortNew, MAX_PATH);
    GetShortPathNameA(lib.c_str(), shortLib, MAX_PATH);
    EXPECT_EQ(std::string("command.com /c copy ") + shortNew + " " + shortLib, cmd);
    FreeLibrary(held);
    DeleteCorvaneValues();
}

TEST(SetupRestartCopy, TakesTheFirstFreeValueName)
{
    DeleteCorvaneValues();
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, kRunServicesOnce, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                             &key, nullptr));
    for (int i = 0; i <= 5; i++)
        RegSetValueExA(key, ("Corvane" + std::to_string(i)).c_str(), 0, REG_SZ, (const BYTE *)"x", 2);
    RegCloseKey(key);
    EXPECT_TRUE(RegisterCopyAtRestart("C:\\a.new", "C:\\a.dll"));
    EXPECT_EQ("x", RegText(HKEY_LOCAL_MACHINE, kRunServicesOnce, "Corvane5"));
    EXPECT_NE(std::string::npos, RegText(HKEY_LOCAL_MACHINE, kRunServicesOnce, "Corvane6").find("command.com /c copy"));
    DeleteCorvaneValues();
}
