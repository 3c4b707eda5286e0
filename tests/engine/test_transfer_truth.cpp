// Transfers that must not report success for what the server did not
// mean: no data connection, short and long data, a server that ignores
// REST, an old file that must survive a download failing before its first
// byte, a third party at the active-mode port, and replies that never end.
#include "transfer_util.h"

using namespace xfer;

namespace {

std::string Pattern(size_t n, size_t from = 0)
{
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i)
        s[i] = (char)((from + i) % 256);
    return s;
}

bool Has(const std::vector<std::string> &lines, const std::string &line)
{
    for (const auto &l : lines)
        if (l == line)
            return true;
    return false;
}

struct Session {
    LoggedRecord r;
    int port;
    explicit Session(const std::string &body, int timeout = 0)
    {
        port = fake::Inline(std::string(FakeLogin()) + body + "expect NOOP\nsend 200 in step\n");
        if (timeout)
            r.ci->timeout = timeout;
        EXPECT_EQ(TESSEL_Connect(r.ci, "127.0.0.1", port, "u", "p"), 230);
    }
    void ExpectInStep() { EXPECT_EQ(TESSEL_DoCmd(r.ci, "NOOP", nullptr), 200) << r.Log(); }
    std::vector<std::string> Seen()
    {
        TESSEL_CloseConnect(r.ci, 0);
        return fake::Received(port);
    }
};

std::string Retr(const std::string &size, const std::string &prelim)
{
    return "expect TYPE I\nsend 200 ok\nexpect SIZE f.bin\nsend " + size + "\nexpect PASV\npasv\nexpect RETR f.bin\n"
           "send " + prelim + "\n";
}

} // namespace

TEST(TransferTruth, CompleteOnlyWithTheAnnouncedOrSizedByteCount)
{
    REQUIRE_FAKE_SERVER();
    const std::string dir = TempDir("truth-size");
    const std::string local = dir + "\\f.bin";
    const size_t kAnyPrefix = (size_t)-1; // a reset may lose what was in flight
    struct Case {
        const char *what;
        std::string script;
        int code;
        const char *error;
        size_t kept;
    } cases[] = {
        {"exact", Retr("550 no", "150 go (5000 bytes)") + "dataconnect\ndatafile 5000\ndataclose\nsend 226 ok\n", 226,
         "Successful copy", 5000},
        {"short", Retr("550 no", "150 go (5000 bytes)") + "dataconnect\ndatafile 2000\ndataclose\nsend 226 ok\n", 426,
         "! Transfer failed: short file, 2000 of 5000 bytes", 2000},
        {"long", Retr("550 no", "150 go (5000 bytes)") +
                     "dataconnect\ndatafile 9000\nurgent\nexpect .*ABOR\nsend 426 aborted\nsend 226 abort done\n",
         426,
         "! Transfer failed: ", 5000},
        {"226 first", Retr("550 no", "150 go (5000 bytes)") + "send 226 ok\ndataconnect\ndatafile 100\ndataclose\n", 426,
         "! Transfer failed: short file, 100 of 5000 bytes", 100},
        {"reset", Retr("550 no", "150 go (5000 bytes)") + "dataconnect\ndatafile 3000\ndatareset\nsend 226 ok\n", 426,
         "! ", kAnyPrefix},
        {"by SIZE", Retr("213 5000", "150 go") + "dataconnect\ndatafile 2000\ndataclose\nsend 226 ok\n", 426,
         "! Transfer failed: short file, 2000 of 5000 bytes", 2000},
        {"4 GiB + 1", Retr("213 4294967297", "150 go") + "dataconnect\ndatafile 1\ndataclose\nsend 226 ok\n", 426,
         "! Transfer failed: short file, 1 of 4294967297 bytes", 1},
        {"bad announcements", Retr("550 no", "150 go (99999999999999999999 bytes) (-5 bytes) (bytes)") +
                                  "dataconnect\ndatafile 10\ndataclose\nsend 226 ok\n",
         226, "Successful copy", 10},
        {"empty", Retr("213 0", "150 go (0 bytes)") + "dataconnect\ndataclose\nsend 226 ok\n", 226, "Successful copy",
         0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        DeleteFileA(local.c_str());
        Session s(c.script);
        EXPECT_EQ(TESSEL_RecvFile(s.r.ci, "f.bin", local.c_str(), 1), c.code) << s.r.Log();
        EXPECT_EQ(std::string(s.r.ci->errorBuf).substr(0, strlen(c.error)), c.error);
        const std::string got = ReadAll(local);
        if (c.kept == kAnyPrefix)
            EXPECT_TRUE(got.size() < 5000 && got == Pattern(got.size())) << got.size();
        else
            EXPECT_TRUE(got == Pattern(c.kept)) << got.size();
        if (c.code != 226)
            EXPECT_TRUE(Contains(s.r.Log(), "! ")) << "the failure is logged";
        s.ExpectInStep();
    }
    // ASCII: sizes differ between the ends, so no SIZE and no check.
    Session s("expect TYPE A\nsend 200 ok\nexpect PASV\npasv\nexpect RETR f.bin\nsend 150 go (5000 bytes)\n"
              "dataconnect\ndatasend a\\r\\nb\\r\\n\ndataclose\nsend 226 ok\n");
    EXPECT_EQ(TESSEL_RecvFile(s.r.ci, "f.bin", local.c_str(), 0), 226) << s.r.Log();
    s.ExpectInStep();
}

TEST(TransferTruth, NoDataConnectionIsNoSuccessAndTheOldFileSurvives)
{
    REQUIRE_FAKE_SERVER();
    const std::string dir = TempDir("truth-old");
    const std::string local = dir + "\\f.bin";
    const std::string old = "the user's old copy";
    {
        // 226 at once, no 150, no data connection.
        Session s("expect TYPE I\nsend 200 ok\nexpect SIZE f.bin\nsend 213 5\nexpect PASV\npasv\nexpect RETR f.bin\n"
                  "send 226 nothing to do\n");
        ASSERT_TRUE(WriteAll(local, old));
        EXPECT_EQ(TESSEL_RecvFile(s.r.ci, "f.bin", local.c_str(), 1), 500);
        EXPECT_EQ(ReadAll(local), old);
        s.ExpectInStep();
    }
    {
        // 150, then the data connection closes before any byte.
        Session s(Retr("213 5000", "150 go") + "dataconnect\ndataclose\nsend 426 broken\n");
        EXPECT_EQ(TESSEL_RecvFile(s.r.ci, "f.bin", local.c_str(), 1), 426);
        EXPECT_EQ(ReadAll(local), old);
        s.ExpectInStep();
    }
    {
        // Same with the resumed form: the part is left as it was.
        const std::string part = Pattern(3000);
        ASSERT_TRUE(WriteAll(local, part));
        Session s("expect TYPE I\nsend 200 ok\nexpect SIZE f.bin\nsend 213 5000\nexpect PASV\npasv\n"
                  "expect REST 2048\nsend 350 ok\nexpect RETR f.bin\nsend 150 go\ndataconnect\ndatareset\n"
                  "send 426 broken\n");
        EXPECT_NE(RecvFileResume(s.r.ci, "f.bin", local.c_str(), 1) / 100, 2);
        EXPECT_TRUE(ReadAll(local) == part);
        s.ExpectInStep();
    }
    {
        // A new file that gets nothing is not left behind empty.
        const std::string fresh = dir + "\\fresh.bin";
        Session s(Retr("213 5000", "150 go") + "dataconnect\ndataclose\nsend 426 broken\n");
        EXPECT_EQ(TESSEL_RecvFile(s.r.ci, "f.bin", fresh.c_str(), 1), 426);
        EXPECT_EQ(ReadAll(fresh), "<missing>");
        s.ExpectInStep();
    }
}

TEST(TransferTruth, ResumeLearnsTheRemoteSizeAndCatchesAServerIgnoringRest)
{
    REQUIRE_FAKE_SERVER();
    const std::string dir = TempDir("truth-resume");
    const std::string local = dir + "\\f.bin";
    {
        // REST accepted, but the whole file comes from byte 0.
        ASSERT_TRUE(WriteAll(local, Pattern(3000)));
        Session s("expect TYPE I\nsend 200 ok\nexpect SIZE f.bin\nsend 213 5000\nexpect PASV\npasv\n"
                  "expect REST 2048\nsend 350 ok\nexpect RETR f.bin\nsend 150 go\ndataconnect\ndatafile 5000\n"
                  "urgent\nexpect .*ABOR\nsend 426 aborted\nsend 226 abort done\n");
        EXPECT_EQ(RecvFileResume(s.r.ci, "f.bin", local.c_str(), 1), 426) << s.r.Log();
        EXPECT_TRUE(Contains(s.r.Log(), "! The server ignored REST")) << s.r.Log();
        EXPECT_TRUE(ReadAll(local) == Pattern(2048)) << ReadAll(local).size();
        s.ExpectInStep();
    }
    {
        // The rest, properly: the result is the remote file.
        ASSERT_TRUE(WriteAll(local, Pattern(3000)));
        Session s("expect TYPE I\nsend 200 ok\nexpect SIZE f.bin\nsend 213 5000\nexpect PASV\npasv\n"
                  "expect REST 2048\nsend 350 ok\nexpect RETR f.bin\nsend 150 go (5000 bytes)\ndataconnect\n"
                  "datasend " + [] {
                      std::string t;
                      for (size_t i = 2048; i < 5000; ++i) {
                          char h[8];
                          snprintf(h, sizeof h, "\\x%02x", (unsigned)(i % 256));
                          t += h;
                      }
                      return t;
                  }() + "\ndataclose\nsend 226 ok\n");
        EXPECT_EQ(RecvFileResume(s.r.ci, "f.bin", local.c_str(), 1), 226) << s.r.Log();
        EXPECT_TRUE(ReadAll(local) == Pattern(5000));
        s.ExpectInStep();
    }
    {
        // SIZE says more than the server has: REST is accepted, nothing
        // comes, the server calls it complete.  A short file, left as it was.
        ASSERT_TRUE(WriteAll(local, Pattern(3000)));
        Session s("expect TYPE I\nsend 200 ok\nexpect SIZE f.bin\nsend 213 5000\nexpect PASV\npasv\n"
                  "expect REST 2048\nsend 350 ok\nexpect RETR f.bin\nsend 150 go\ndataconnect\ndataclose\n"
                  "send 226 ok\n");
        EXPECT_EQ(RecvFileResume(s.r.ci, "f.bin", local.c_str(), 1), 426) << s.r.Log();
        EXPECT_STREQ(s.r.ci->errorBuf, "! Transfer failed: short file, 2048 of 5000 bytes");
        EXPECT_TRUE(ReadAll(local) == Pattern(3000));
        s.ExpectInStep();
    }
    {
        // Remote shorter than the local part: no REST, the whole file.
        ASSERT_TRUE(WriteAll(local, std::string(6000, 'x')));
        Session s("expect TYPE I\nsend 200 ok\nexpect SIZE f.bin\nsend 213 5000\nexpect PASV\npasv\n"
                  "expect RETR f.bin\nsend 150 go\ndataconnect\ndatafile 5000\ndataclose\nsend 226 ok\n");
        EXPECT_EQ(RecvFileResume(s.r.ci, "f.bin", local.c_str(), 1), 226) << s.r.Log();
        EXPECT_TRUE(ReadAll(local) == Pattern(5000));
        s.ExpectInStep();
        auto seen = s.Seen();
        for (const auto &l : seen)
            EXPECT_NE(l[0], '!') << l;
    }
}

TEST(TransferTruth, ActiveModeTakesDataOnlyFromTheServer)
{
    REQUIRE_FAKE_SERVER();
    const std::string dir = TempDir("truth-active");
    const std::string local = dir + "\\f.bin";
    {
        // PASV refused: PORT, logged.  A third party connects first and
        // offers its own bytes; the server's come after.
        Session s("expect TYPE I\nsend 200 ok\nexpect SIZE f.bin\nsend 500 no\nexpect PASV\nsend 500 no PASV\n"
                  "expect PORT 127,0,0,1,.*\nsend 200 ok\nexpect RETR f.bin\nsend 150 go\nport\n"
                  "thirdparty injected\ndataconnect\ndatasend genuine\ndataclose\nsend 226 ok\n");
        EXPECT_EQ(TESSEL_RecvFile(s.r.ci, "f.bin", local.c_str(), 1), 226) << s.r.Log();
        EXPECT_EQ(ReadAll(local), "genuine");
        EXPECT_TRUE(Contains(s.r.Log(), "PASV failed: using PORT from now on")) << s.r.Log();
        EXPECT_TRUE(Contains(s.r.Log(), "! Data connection from 127.0.0.2 refused: not the server")) << s.r.Log();
        s.ExpectInStep();
        auto seen = s.Seen();
        EXPECT_TRUE(Has(seen, "#thirdparty closed 0"));
    }
    {
        // Upload: the third party gets nothing of the file.
        const std::string up = dir + "\\up.bin";
        ASSERT_TRUE(WriteAll(up, Pattern(70000)));
        Session s("expect TYPE I\nsend 200 ok\nexpect PASV\nsend 500 no PASV\nexpect PORT 127,0,0,1,.*\nsend 200 ok\n"
                  "expect STOR f.bin\nsend 150 go\nport\nthirdparty \ndataconnect\ndatarecv\nsend 226 ok\n");
        EXPECT_EQ(TESSEL_SendFile(s.r.ci, up.c_str(), "f.bin", 1), 226) << s.r.Log();
        s.ExpectInStep();
        auto seen = s.Seen();
        EXPECT_TRUE(Has(seen, "#thirdparty closed 0"));
        EXPECT_TRUE(Has(seen, "#data 70000 bytes"));
    }
}

TEST(TransferTruth, EveryReplyEndsWithinTheTimeOut)
{
    REQUIRE_FAKE_SERVER();
    struct Case {
        const char *what;
        const char *script;
    } cases[] = {
        {"a byte a second", "expect NOOP\ndribble 1 200 still going on and on and on\n"},
        {"endless continuation", "expect NOOP\nflood 150-more to come\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        LoggedRecord r;
        r.ci->timeout = 3;
        int port = fake::Inline(std::string(FakeLogin()) + c.script);
        ASSERT_EQ(TESSEL_Connect(r.ci, "127.0.0.1", port, "u", "p"), 230);
        const DWORD t0 = GetTickCount();
        EXPECT_EQ(TESSEL_DoCmd(r.ci, "NOOP", nullptr), 421);
        const DWORD ms = GetTickCount() - t0;
        EXPECT_GE(ms, 2500u);
        EXPECT_LT(ms, 6000u) << "under twice the time-out";
        EXPECT_TRUE(Contains(r.Log(), "! Reply not complete within 3000 ms")) << r.Log().substr(0, 2000);
        TESSEL_CloseConnect(r.ci, 0);
    }
}
