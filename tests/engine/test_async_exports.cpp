// Ordinals of the message-driven, server-to-server and HTTP exports: other
// programs bind to these numbers.
#include <windows.h>

#include <gtest/gtest.h>

#include <stdlib.h>
#include <string>

TEST(AsyncExports, EveryOrdinalNamesItsFunction)
{
    static const struct {
        int ordinal;
        const char *name;
    } exports[] = {
        {201, "TESSEL_ConnectAsync"},      {311, "TESSEL_SendCommandAsync"},
        {321, "TESSEL_RecvResponseAsync"}, {323, "TESSEL_StopAsync"},
        {331, "TESSEL_SendFileAsync"},     {341, "TESSEL_RecvFileAsync"},
        {347, "TESSEL_TransferFile"},      {348, "TESSEL_TransferFileAsync"},
        {349, "TESSEL_TransferFileThread"}, {401, "TESSEL_GetDirectoryAsync"},
        {420, "TESSEL_CancelAction"},      {1001, "TESSEL_SetHTTPProxy"},
        {1002, "TESSEL_HTTPRetrieve"},
    };
    std::string path = "tesselcore.dll";
    if (const char *dir = getenv("TESSEL_BUILD_DIR_WIN"))
        path = std::string(dir) + "\\tesselcore.dll";
    HMODULE dll = LoadLibraryA(path.c_str());
    ASSERT_NE(dll, nullptr) << "tesselcore.dll not found";
    for (const auto &e : exports) {
        FARPROC byOrdinal = GetProcAddress(dll, MAKEINTRESOURCEA(e.ordinal));
        EXPECT_NE(byOrdinal, nullptr) << e.ordinal;
        EXPECT_EQ(byOrdinal, GetProcAddress(dll, e.name)) << e.name << " is not at ordinal " << e.ordinal;
    }
    FreeLibrary(dll);
}
