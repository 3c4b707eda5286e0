// The DLL's ordinal table is an interface: other programs bind by number.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <stdlib.h>
#include <string>
#include <vector>

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
    {260, "TESSEL_ParseLine"},
    {410, "TESSEL_FreeDirectory"},
    {910, "TESSEL_DecodeLine"},
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

// Every line of the module-definition file: the name must be exported at
// exactly its ordinal, so that a new export cannot shift or shadow another.
TEST(Exports, EveryLineOfTheDefinitionFileHoldsInTheDll)
{
    std::ifstream def(TESSEL_SOURCE_DIR "/tesselcore.def");
    ASSERT_TRUE(def.good());
    HMODULE dll = LoadCore();
    ASSERT_NE(dll, nullptr);
    std::regex line("^\\s+([A-Za-z_][A-Za-z0-9_]*)\\s+@([0-9]+).*");
    std::string text;
    int seen = 0;
    std::vector<int> ordinals;
    while (std::getline(def, text)) {
        std::smatch m;
        if (!std::regex_match(text, m, line))
            continue;
        int ordinal = std::stoi(m[2]);
        for (int o : ordinals)
            EXPECT_NE(o, ordinal) << "ordinal used twice: " << ordinal;
        ordinals.push_back(ordinal);
        FARPROC byOrdinal = GetProcAddress(dll, MAKEINTRESOURCEA(ordinal));
        EXPECT_NE(byOrdinal, nullptr) << m[1];
        EXPECT_EQ(byOrdinal, GetProcAddress(dll, m[1].str().c_str())) << m[1];
        ++seen;
    }
    EXPECT_GE(seen, (int)(sizeof kExports / sizeof kExports[0]));
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
