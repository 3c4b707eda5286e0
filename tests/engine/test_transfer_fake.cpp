// Transfers against the scripted fake server: the failures a real server
// will not produce on request, and the result rule that callers deleting a
// source after a "successful" copy depend on.
#include "transfer_util.h"

using namespace xfer;

namespace {

std::string Script(const std::string &body)
{
    return std::string(FakeLogin()) + body + "expect NOOP\nsend 200 in step\n";
}

// Connects a logged record to a fresh fake listener for the script.
struct FakeSession {
    LoggedRecord r;
    int port;
    explicit FakeSession(const std::string &body, DWORD flags = 0) : r(flags)
    {
        port = fake::Inline(Script(body));
        EXPECT_EQ(TESSEL_Connect(r.ci, "127.0.0.1", port, "u", "p"), 230);
    }
    // The session is still in step: the next command gets its own reply.
    void ExpectInStep()
    {
        EXPECT_EQ(TESSEL_DoCmd(r.ci, "NOOP", nullptr), 200) << r.Log();
        EXPECT_EQ(r.ci->busy, 0);
        EXPECT_EQ(r.ci->refCount, 1);
        EXPECT_EQ(r.ci->dataSocket, INVALID_SOCKET);
    }
    std::vector<std::string> Seen()
    {
        TESSEL_CloseConnect(r.ci, 0);
        return fake::Received(port);
    }
};

bool Has(const std::vector<std::string> &lines, const std::string &line)
{
    for (const auto &l : lines)
        if (l == line)
            return true;
    return false;
}

void ExpectNoScriptErrors(const std::vector<std::string> &lines)
{
    for (const auto &l : lines)
        EXPECT_NE(l[0], '!') << l;
}

const char kRetrStart[] = "expect TYPE I\nsend 200 ok\nexpect SIZE f.bin\nsend 550 no size\nexpect PASV\npasv\nexpect RETR f.bin\nsend 150 here\ndataconnect\n";
const char kStorStart[] = "expect TYPE I\nsend 200 ok\nexpect PASV\npasv\nexpect STOR f.bin\nsend 150 go\ndataconnect\n";

} // namespace

TEST(TransferFake, RefusedRetrIsALocal500AndTheSessionStaysInStep)
{
    REQUIRE_FAKE_SERVER();
    FakeSession s("expect TYPE I\nsend 200 ok\nexpect SIZE f.bin\nsend 550 no such file\nexpect PASV\npasv\n"
                  "expect RETR f.bin\nsend 550 no such file\n");
    std::string local = TempDir("refused") + "\\f.bin";
    EXPECT_EQ(TESSEL_RecvFile(s.r.ci, "f.bin", local.c_str(), 1), 500);
    EXPECT_STREQ(s.r.ci->errorBuf, "! Retr failed");
    EXPECT_EQ(ReadAll(local), "<missing>");
    s.ExpectInStep();
    ExpectNoScriptErrors(s.Seen());
}

TEST(TransferFake, DroppedDataConnectionIsNeverASuccess)
{
    REQUIRE_FAKE_SERVER();
    FakeSession s(std::string(kRetrStart) + "datafile 100000\ndatareset\nsend 426 Connection lost\n");
    std::string local = TempDir("dropped") + "\\f.bin";
    EXPECT_EQ(TESSEL_RecvFile(s.r.ci, "f.bin", local.c_str(), 1), 426);
    EXPECT_STRNE(s.r.ci->errorBuf, "Successful copy");
    // Either the reset is seen ("! Receive error") or the file is short.
    EXPECT_LE(ReadAll(local).size(), 100000u);
    if (s.r.ci->lastError)
        EXPECT_EQ(strncmp(s.r.ci->errorBuf, "! Receive error", 15), 0);
    s.ExpectInStep();
}

TEST(TransferFake, UnwritableLocalFileAbortsTheTransfer)
{
    REQUIRE_FAKE_SERVER();
    FakeSession s(std::string(kRetrStart) +
                  "urgent\nexpect .*ABOR\nsend 426 Transfer aborted\nsend 226 ABOR successful\n");
    std::string local = TempDir("unwritable") + "\\no-such-folder\\f.bin";
    EXPECT_EQ(TESSEL_RecvFile(s.r.ci, "f.bin", local.c_str(), 1), 500);
    EXPECT_EQ(std::string(s.r.ci->errorBuf), "! Failed to open " + local + " for write.");
    s.ExpectInStep();
    auto seen = s.Seen();
    EXPECT_TRUE(Has(seen, "#urgent ff")) << "the Telnet IP's last IAC goes as urgent data";
    // The kernel takes the urgent byte out of the stream: IAC IP, DM, ABOR.
    EXPECT_TRUE(Has(seen, "\xff\xf4\xf2" "ABOR"));
    ExpectNoScriptErrors(seen);
}

TEST(TransferFake, CancelledDownloadEndingIn426Then226IsNoSuccess)
{
    REQUIRE_FAKE_SERVER();
    FakeSession s(std::string(kRetrStart) +
                  "datafile 1000\nurgent\nexpect .*ABOR\nsend 426 Transfer aborted\nsend 226 ABOR successful\n");
    std::string local = TempDir("cancel426") + "\\f.bin";
    int code;
    {
        DelayedCancel cancel(s.r.ci, 300);
        code = TESSEL_RecvFile(s.r.ci, "f.bin", local.c_str(), 1);
    }
    EXPECT_EQ(code, 426);
    EXPECT_STRNE(s.r.ci->errorBuf, "Successful copy");
    EXPECT_EQ(ReadAll(local).size(), 1000u);
    EXPECT_EQ(s.r.ci->byteCount, 1000);
    EXPECT_TRUE(Contains(s.r.Log(), "ABOR\r\n426 Transfer aborted\r\n226 ABOR successful\r\n")) << s.r.Log();
    s.ExpectInStep();
    auto seen = s.Seen();
    EXPECT_TRUE(Has(seen, "#urgent ff"));
    ExpectNoScriptErrors(seen);
}

TEST(TransferFake, RefusedRestartsFromZeroAndCutsTheOldFile)
{
    REQUIRE_FAKE_SERVER();
    FakeSession s("expect TYPE I\nsend 200 ok\nexpect SIZE f.bin\nsend 213 2000\nexpect PASV\npasv\n"
                  "expect REST 1024\nsend 502 no REST here\n"
                  "expect RETR f.bin\nsend 150 here\ndataconnect\ndatafile 2000\ndataclose\nsend 226 done\n");
    std::string local = TempDir("norest") + "\\f.bin";
    ASSERT_TRUE(WriteAll(local, std::string(1500, 'o')));
    EXPECT_EQ(RecvFileResume(s.r.ci, "f.bin", local.c_str(), 1), 226);
    std::string pattern(2000, '\0');
    for (size_t i = 0; i < pattern.size(); ++i)
        pattern[i] = (char)(i % 256);
    EXPECT_TRUE(ReadAll(local) == pattern);
    EXPECT_STREQ(s.r.ci->errorBuf, "Successful copy");
    s.ExpectInStep();
    ExpectNoScriptErrors(s.Seen());
}

TEST(TransferFake, UploadFailures)
{
    REQUIRE_FAKE_SERVER();
    std::string dir = TempDir("upfail");
    std::string local = dir + "\\f.bin";
    const size_t size = 32u << 20; // more than the socket buffers hold
    ASSERT_TRUE(WriteAll(local, Bytes(size, 1)));
    {
        // Missing local file: nothing is sent at all.
        FakeSession s("");
        std::string missing = dir + "\\missing.bin";
        EXPECT_EQ(TESSEL_SendFile(s.r.ci, missing.c_str(), "f.bin", 1), 500);
        EXPECT_EQ(std::string(s.r.ci->errorBuf), "! Failed to open " + missing + " for read.");
        s.ExpectInStep();
        ExpectNoScriptErrors(s.Seen());
    }
    {
        // The server keeps the data but fails to store it: its code, no
        // "Successful copy".
        FakeSession s(std::string(kStorStart) + "datarecv\nsend 451 disk full\n");
        EXPECT_EQ(TESSEL_SendFile(s.r.ci, local.c_str(), "f.bin", 1), 451);
        EXPECT_STRNE(s.r.ci->errorBuf, "Successful copy");
        s.ExpectInStep();
        auto seen = s.Seen();
        EXPECT_TRUE(Has(seen, "#data " + std::to_string(size) + " bytes"));
    }
    {
        // The data connection breaks: a send error, 500 after the server's
        // closing reply.
        FakeSession s(std::string(kStorStart) + "datareset\nsend 426 broken\n");
        EXPECT_EQ(TESSEL_SendFile(s.r.ci, local.c_str(), "f.bin", 1), 500);
        EXPECT_EQ(strncmp(s.r.ci->errorBuf, "! File send error ", 18), 0) << s.r.ci->errorBuf;
        // The flag stays up until the next transfer starts (and stops
        // reply waits until then); the closing reply has been read.
        EXPECT_EQ(s.r.ci->abortFlag, 1);
        EXPECT_STREQ(s.r.ci->replyLine, "426 broken");
        s.r.ci->abortFlag = 0;
        s.ExpectInStep();
    }
    {
        // Cancelled: the server stores what it got and says 226, which must
        // not read as success.
        FakeSession s(std::string(kStorStart) + "sleep 1\ndatarecv\nsend 226 stored\n");
        int code;
        {
            DelayedCancel cancel(s.r.ci, 300);
            code = TESSEL_SendFile(s.r.ci, local.c_str(), "f.bin", 1);
        }
        EXPECT_EQ(code, 426);
        EXPECT_STRNE(s.r.ci->errorBuf, "Successful copy");
        EXPECT_LT((size_t)s.r.ci->byteCount, size);
        s.ExpectInStep();
    }
}

TEST(TransferFake, OneCallGetAndPut)
{
    REQUIRE_FAKE_SERVER();
    const std::string login = "send 220 hi\nexpect USER u\nsend 331 pw\nexpect PASS p\nsend 230 ok\n"
                              "expect SYST\nsend 215 UNIX Type: L8\n";
    int port = fake::InlineOnPort(login + kRetrStart + "datasend one call\ndataclose\nsend 226 done\n", 21);
    if (!port)
        GTEST_SKIP() << "port 21 is not free";
    std::string dir = TempDir("onecall");
    std::string local = dir + "\\f.bin";
    char result[TESSEL_RESULT_TEXT_SIZE + 16];
    memset(result, '#', sizeof result);
    EXPECT_EQ(TESSEL_GetFile("127.0.0.1", "u", "p", "f.bin", local.c_str(), 1, 1, result, nullptr), 1);
    EXPECT_STREQ(result, "Successful copy - 226 done");
    EXPECT_EQ(ReadAll(local), "one call");

    port = fake::InlineOnPort(login + kStorStart + "datarecv\nsend 226 stored\n", 21);
    ASSERT_EQ(port, 21);
    EXPECT_EQ(TESSEL_PutFile("127.0.0.1", "u", "p", local.c_str(), "f.bin", 1, 1, result, nullptr), 1);
    EXPECT_STREQ(result, "Successful copy - 226 stored");
    EXPECT_TRUE(Has(fake::Received(21), "#data 8 bytes"));

    // A failure's text is cut to the documented size.
    const std::string longHost(400, 'h');
    EXPECT_EQ(TESSEL_GetFile(longHost.c_str(), "u", "p", "f.bin", local.c_str(), 1, 1, result, nullptr), 0);
    EXPECT_EQ(strlen(result), (size_t)TESSEL_RESULT_TEXT_SIZE - 1);
    EXPECT_EQ(result[TESSEL_RESULT_TEXT_SIZE], '#');
}

namespace {

// The other end of a named pipe that a transfer uses as its local file:
// it passes some bytes, then breaks the pipe, which is how a local read or
// write failure in the middle of a transfer is made here.
struct BrokenPipe {
    std::string path;
    HANDLE pipe;
    HANDLE th = nullptr;
    bool feed; // true: the transfer reads from the pipe (upload)
    static DWORD WINAPI Run(void *p)
    {
        auto *self = (BrokenPipe *)p;
        ConnectNamedPipe(self->pipe, nullptr);
        static char buf[100000];
        DWORD n = 0;
        if (self->feed)
            WriteFile(self->pipe, buf, sizeof buf, &n, nullptr);
        else
            ReadFile(self->pipe, buf, 4096, &n, nullptr);
        CloseHandle(self->pipe);
        return 0;
    }
    BrokenPipe(const char *name, bool feeds) : path(std::string("\\\\.\\pipe\\") + name), feed(feeds)
    {
        pipe = CreateNamedPipeA(path.c_str(), feeds ? PIPE_ACCESS_OUTBOUND : PIPE_ACCESS_INBOUND,
                                PIPE_TYPE_BYTE | PIPE_WAIT, 1, 4096, 4096, 0, nullptr);
        th = CreateThread(nullptr, 0, Run, this, 0, nullptr);
    }
    ~BrokenPipe()
    {
        WaitForSingleObject(th, 10000);
        CloseHandle(th);
    }
};

} // namespace

TEST(TransferFake, LocalReadAndWriteFailuresGive500AfterTheClosingReply)
{
    REQUIRE_FAKE_SERVER();
    {
        BrokenPipe sink("tessel-write-fails", false);
        FakeSession s(std::string(kRetrStart) + "datafile 1000000\ndataclose\nsend 426 connection closed\n");
        EXPECT_EQ(TESSEL_RecvFile(s.r.ci, "f.bin", sink.path.c_str(), 1), 500);
        EXPECT_STREQ(s.r.ci->errorBuf, "! File write error");
        EXPECT_EQ(s.r.ci->abortFlag, 1);
        EXPECT_STREQ(s.r.ci->replyLine, "426 connection closed"); // read, so the session stays in step
        s.r.ci->abortFlag = 0; // as the next transfer does
        s.ExpectInStep();
    }
    {
        // The server would call this complete: a cut upload must not.
        BrokenPipe source("tessel-read-fails", true);
        FakeSession s(std::string(kStorStart) + "datarecv\nsend 226 stored\n");
        EXPECT_EQ(TESSEL_SendFile(s.r.ci, source.path.c_str(), "f.bin", 1), 500);
        EXPECT_STREQ(s.r.ci->errorBuf, "! File read error 109");
        EXPECT_EQ(s.r.ci->abortFlag, 1);
        EXPECT_EQ(s.r.ci->byteCount, 100000);
        EXPECT_STREQ(s.r.ci->replyLine, "226 stored");
        s.r.ci->abortFlag = 0;
        s.ExpectInStep();
        EXPECT_TRUE(Has(s.Seen(), "#data 100000 bytes"));
    }
}

TEST(TransferFake, RemoteNamesNeverChooseTheLocalFile)
{
    REQUIRE_FAKE_SERVER();
    const char *remote = "../up/..\\..\\evil.bin";
    FakeSession s("expect TYPE I\nsend 200 ok\nexpect SIZE .*\nsend 500 no\nexpect PASV\npasv\nexpect RETR \\.\\./up/\\.\\.\\\\\\.\\.\\\\evil\\.bin\n"
                  "send 150 here\ndataconnect\ndatasend payload\ndataclose\nsend 226 done\n");
    std::string dir = TempDir("names");
    std::string inner = dir + "\\inner";
    CreateDirectoryA(inner.c_str(), nullptr);
    std::string local = inner + "\\chosen.bin";
    EXPECT_EQ(TESSEL_RecvFile(s.r.ci, remote, local.c_str(), 1), 226);
    EXPECT_EQ(ReadAll(local), "payload");
    // Nothing else appeared anywhere near the requested file.
    for (const std::string &d : {inner, dir}) {
        WIN32_FIND_DATAA fd;
        HANDLE h = FindFirstFileA((d + "\\*").c_str(), &fd);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        int files = 0;
        do {
            if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                ++files;
        } while (FindNextFileA(h, &fd));
        FindClose(h);
        EXPECT_EQ(files, d == inner ? 1 : 0) << d;
    }
    s.ExpectInStep();
    ExpectNoScriptErrors(s.Seen());
}

// A PASV reply naming another host, private or public, does not aim the
// data connection there: it goes to the server the control connection goes
// to, and the download still arrives.
TEST(TransferFake, PasvNamingAnotherHostStillConnectsToTheServer)
{
    REQUIRE_FAKE_SERVER();
    for (const char *other : {"10,1,2,3", "127,0,0,2", "93,184,216,34"}) {
        FakeSession s(std::string("expect TYPE I\nsend 200 ok\nexpect SIZE f.bin\nsend 550 no size\nexpect PASV\n"
                                  "pasv 227 Entering Passive Mode (") +
                      other +
                      ",%p)\nexpect RETR f.bin\nsend 150 here\ndataconnect\ndatasend hello\ndataclose\n"
                      "send 226 done\n");
        std::string local = TempDir("pasv-aim") + "\\f.bin";
        DeleteFileA(local.c_str());
        EXPECT_EQ(TESSEL_RecvFile(s.r.ci, "f.bin", local.c_str(), 1), 226) << other << s.r.Log();
        EXPECT_EQ(ReadAll(local), "hello") << other;
        EXPECT_TRUE(Contains(s.r.Log(), "is not the server's, using the server's own 127.0.0.1")) << s.r.Log();
        s.ExpectInStep();
        ExpectNoScriptErrors(s.Seen());
    }
}

// After the abort of a download that ran past its announced length, a
// server that answers only the transfer (and not the ABOR itself) does not
// hold the session for the whole reply time-out, and the next command still
// reads its own reply.
TEST(TransferFake, AbortAnsweredOnceDoesNotWaitTheWholeTimeOut)
{
    REQUIRE_FAKE_SERVER();
    FakeSession s("expect TYPE I\nsend 200 ok\nexpect SIZE f.bin\nsend 213 5\nexpect PASV\npasv\n"
                  "expect RETR f.bin\nsend 150 here\ndataconnect\ndatafile 100\nexpect .*ABOR\n"
                  "send 426 aborted\n");
    s.r.ci->timeout = 20;
    std::string local = TempDir("abortonce") + "\\f.bin";
    DeleteFileA(local.c_str());
    const DWORD t0 = GetTickCount();
    const int code = TESSEL_RecvFile(s.r.ci, "f.bin", local.c_str(), 1);
    const DWORD took = GetTickCount() - t0;
    EXPECT_NE(code / 100, 2) << code << s.r.Log();
    EXPECT_LT(took, 10000u) << s.r.Log();
    EXPECT_STREQ(s.r.ci->replyLine, "426 aborted");
    s.ExpectInStep();
    ExpectNoScriptErrors(s.Seen());
}
