// The DLL's ordinal table is an interface: other programs bind by number.
#include <windows.h>

#include <gtest/gtest.h>

#include <stdlib.h>
#include <string>

namespace {

struct Export {
    int ordinal;
    const char *name;
};

const Export kExports[] = {
    {1, "TESSEL_GetDllVersion"},
    {100, "TESSEL_InitCINFO"},
    {110, "TESSEL_FreeCINFO"},
    {120, "TESSEL_ReturnErrorString"},
    {200, "TESSEL_Connect"},
    {210, "TESSEL_CloseConnect"},
    {240, "TESSEL_AutoDetectSyst"},
    {310, "TESSEL_SendCommand"},
    {320, "TESSEL_RecvResponse"},
    {325, "TESSEL_DoCmd"},
    {380, "TESSEL_AddTextToWindow"},
    {385, "TESSEL_DoPrintf"},
    {701, "TESSEL_ReturnLastErrorString"},
    {702, "TESSEL_ReturnLastLineString"},
    {703, "TESSEL_ReturnLastErrorInt"},
    {704, "TESSEL_ReturnCurrentHostString"},
    {705, "TESSEL_ReturnCurrentUserIDString"},
    {706, "TESSEL_ReturnCurrentHostTypeInt"},
    {707, "TESSEL_ReturnCurrentHostTypeString"},
    {920, "TESSEL_ReturnHostTypeName"},
    {930, "TESSEL_AddHostTypesToListBox"},
    {940, "TESSEL_DetectFromSystString"},
    {950, "TESSEL_DoAutoCheck"},
    {1000, "TESSEL_IntFixCInfo"},
};

HMODULE LoadCore()
{
    std::string path = "tesselcore.dll";
    if (const char *dir = getenv("TESSEL_BUILD_DIR_WIN"))
        path = std::string(dir) + "\\tesselcore.dll";
    return LoadLibraryA(path.c_str());
}

} // namespace

TEST(Exports, EveryOrdinalNamesItsFunction)
{
    HMODULE dll = LoadCore();
    ASSERT_NE(dll, nullptr) << "tesselcore.dll not found";
    for (const Export &e : kExports) {
        FARPROC byOrdinal = GetProcAddress(dll, MAKEINTRESOURCEA(e.ordinal));
        FARPROC byName = GetProcAddress(dll, e.name);
        EXPECT_NE(byOrdinal, nullptr) << e.ordinal;
        EXPECT_EQ(byOrdinal, byName) << e.name << " is not at ordinal " << e.ordinal;
    }
    typedef WORD(WINAPI * VersionFn)(void);
    VersionFn version = (VersionFn)GetProcAddress(dll, MAKEINTRESOURCEA(1));
    ASSERT_NE(version, nullptr);
    EXPECT_EQ(version(), 0x0500);
    FreeLibrary(dll);
}

TEST(Exports, NeedsNoMingwRuntimeDlls)
{
    HMODULE dll = LoadCore();
    ASSERT_NE(dll, nullptr);
    // Walk the import directory: only system DLLs may appear.
    auto base = (const BYTE *)dll;
    auto dos = (const IMAGE_DOS_HEADER *)base;
    auto nt = (const IMAGE_NT_HEADERS *)(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY &dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    auto imp = (const IMAGE_IMPORT_DESCRIPTOR *)(base + dir.VirtualAddress);
    for (; imp->Name; ++imp) {
        std::string name = (const char *)(base + imp->Name);
        for (auto &c : name)
            c = (char)tolower((unsigned char)c);
        EXPECT_EQ(name.find("libgcc"), std::string::npos) << name;
        EXPECT_EQ(name.find("libstdc++"), std::string::npos) << name;
        EXPECT_EQ(name.find("winpthread"), std::string::npos) << name;
    }
    FreeLibrary(dll);
}
