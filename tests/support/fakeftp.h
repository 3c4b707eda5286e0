// Client side of the scripted fake FTP server (tools/fake/fakeftpd.py).
// A test asks the server's control port for a fresh listener that replays
// one script, connects the engine to it, then fetches what the server saw.
#ifndef TESSEL_TEST_FAKEFTP_H
#define TESSEL_TEST_FAKEFTP_H

#include <string>
#include <vector>

namespace fake {

// Port of the fake server's control listener (TESSEL_FAKEFTPD_PORT), 0 if
// the test bed did not start one.
int ControlPort();

// Starts a listener that replays the named script file from
// tests/fake/scripts (without extension).  Returns its port, or 0.
int Load(const std::string &scriptName);
// Same with the script text given inline.
int Inline(const std::string &script);
// Same on a fixed port (e.g. 21); 0 if that port cannot be had.
int InlineOnPort(const std::string &script, int port);

// Lines the listener on that port received (commands without CR LF),
// followed by "!" lines for script mismatches.  Waits until the script's
// session has ended or a second has passed.
std::vector<std::string> Received(int port);

// Port of the real vsftpd started by the test bed (TESSEL_VSFTPD_PORT), 0 if none.
int VsftpdPort();
// Root folder of that vsftpd, as a Windows path (Z:\...), and its user.
std::string VsftpdRoot();
std::string VsftpdUser();
std::string VsftpdPassword();

} // namespace fake

// Skips the current test when a server of the test bed is missing.
#define REQUIRE_FAKE_SERVER()                                                                  \
    do {                                                                                       \
        if (!fake::ControlPort())                                                              \
            GTEST_SKIP() << "fake FTP server not running (tools/test.sh starts it)";           \
    } while (0)
#define REQUIRE_VSFTPD()                                                                       \
    do {                                                                                       \
        if (!fake::VsftpdPort())                                                               \
            GTEST_SKIP() << "vsftpd not running (tools/test.sh starts it)";                    \
    } while (0)

#endif
