// Test entry point for the Wine-run test programs: WinSock is started once
// for the whole program, as the client and shell hosts do for themselves.
#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);
    // No "program has crashed" dialog: a crashing case must fail, not hang.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    testing::InitGoogleTest(&argc, argv);
    int rc = RUN_ALL_TESTS();
    WSACleanup();
    return rc;
}
