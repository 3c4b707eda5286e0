// Message-driven download, upload and listing: byte-identical files against
// vsftpd, cancelling mid-way, and the failures that end before the handler
// window takes over.
#include "async_util.h"
#include "tessel_transfer.h"

#include <gtest/gtest.h>

#include <stdio.h>
#include <string>

using namespace async;

namespace {

const size_t kBig = 10u << 20;

std::string Home() { return VsftpdHome(); }

// A 10 MiB random file in the server's folder, made once per process.
const std::string &BigFile()
{
    static std::string data;
    if (data.empty()) {
        data = RandomBytes(kBig, 4711);
        WriteFileBytes(Home() + "\\async-big.bin", data);
    }
    return data;
}

int Login(AsyncRecord &r)
{
    return TESSEL_Connect(r.ci, "127.0.0.1", fake::VsftpdPort(), fake::VsftpdUser().c_str(),
                          fake::VsftpdPassword().c_str());
}

// Cancels the transfer on the first progress message, from inside the
// caller's window procedure as a user's button would.
struct CancelOnProgress {
    AsyncRecord &r;
    void Pump()
    {
        bool done = false;
        r.rec.onMessage = [&](const Event &e) {
            if (!done && e.msg == kProgress) {
                done = true;
                TESSEL_CancelAction(r.ci);
            }
        };
        r.WaitDone();
        PumpFor(200);
        r.rec.onMessage = nullptr;
    }
};

const char *FakeLogin()
{
    return "send 220 hi\nexpect USER u\nsend 230 in\nexpect SYST\nsend 215 UNIX Type: L8\n";
}

} // namespace

TEST(AsyncTransfer, DownloadAndUploadOf10MiBAreByteIdentical)
{
    REQUIRE_VSFTPD();
    const std::string &data = BigFile();
    std::string dir = TempDir("async-xfer");
    AsyncRecord r(kProgress);
    ASSERT_EQ(Login(r), 230) << r.Log();

    std::string local = dir + "\\down.bin";
    ASSERT_EQ(TESSEL_RecvFileAsync(r.ci, "async-big.bin", local.c_str(), 1, kDone), 200) << r.ci->errorBuf;
    EXPECT_EQ(r.ci->asyncState, 3u);
    EXPECT_EQ(r.ci->busy, CINFO_BUSY_TRANSFER);
    ASSERT_TRUE(r.WaitDone()) << r.Log();
    EXPECT_EQ(r.Done().wp, 226u) << r.Log();
    EXPECT_EQ((size_t)r.Done().lp, kBig);
    EXPECT_EQ(r.ci->busy, 0);
    EXPECT_EQ(r.ci->asyncState, 0u);
    EXPECT_EQ(r.ci->dataSocket, INVALID_SOCKET);
    EXPECT_EQ(r.ci->asyncFile, nullptr);
    EXPECT_TRUE(ReadFileBytes(local) == data) << "downloaded file differs";
    ASSERT_GT(r.rec.Count(kProgress), 0);
    EXPECT_EQ((size_t)r.rec.Last(kProgress)->wp, kBig);

    r.rec.events.clear();
    DeleteFileA((Home() + "\\async-up.bin").c_str());
    ASSERT_EQ(TESSEL_SendFileAsync(r.ci, local.c_str(), "async-up.bin", 1, kDone), 200) << r.ci->errorBuf;
    EXPECT_EQ(r.ci->asyncState, 4u);
    ASSERT_TRUE(r.WaitDone()) << r.Log();
    EXPECT_EQ(r.Done().wp, 226u) << r.Log();
    EXPECT_EQ((size_t)r.Done().lp, kBig);
    EXPECT_EQ(r.ci->busy, 0);
    EXPECT_TRUE(ReadFileBytes(Home() + "\\async-up.bin") == data) << "uploaded file differs";
    EXPECT_EQ((size_t)r.rec.Last(kProgress)->wp, kBig);
    // The control connection is in step for what follows.
    EXPECT_EQ(TESSEL_DoCmd(r.ci, "PWD", nullptr), 257);
    DeleteFileA(local.c_str());
}

TEST(AsyncTransfer, CancelledMidwayEndWithTheClosingCodeAndTheRecordWorks)
{
    REQUIRE_VSFTPD();
    const std::string &data = BigFile();
    std::string dir = TempDir("async-cancel");
    AsyncRecord r(kProgress);
    ASSERT_EQ(Login(r), 230) << r.Log();

    std::string local = dir + "\\part.bin";
    ASSERT_EQ(TESSEL_RecvFileAsync(r.ci, "async-big.bin", local.c_str(), 1, kDone), 200);
    CancelOnProgress c{r};
    c.Pump();
    ASSERT_EQ(r.rec.Count(kDone), 1) << r.Log();
    // The server's answer to the broken transfer; a cancelled transfer never
    // reads as complete.
    EXPECT_EQ(r.Done().wp / 100, 4u) << r.Log();
    EXPECT_LT((size_t)r.Done().lp, kBig);
    EXPECT_LT(ReadFileBytes(local).size(), kBig);
    EXPECT_EQ(r.ci->busy, 0);
    EXPECT_EQ(TESSEL_DoCmd(r.ci, "PWD", nullptr), 257) << r.Log();

    r.rec.events.clear();
    ASSERT_EQ(TESSEL_SendFileAsync(r.ci, (Home() + "\\async-big.bin").c_str(), "async-part.bin", 1, kDone), 200);
    CancelOnProgress c2{r};
    c2.Pump();
    ASSERT_EQ(r.rec.Count(kDone), 1) << r.Log();
    EXPECT_NE(r.Done().wp / 100, 2u) << r.Log();
    EXPECT_NE(r.Done().wp, 0u) << r.Log();
    EXPECT_LT((size_t)r.Done().lp, kBig);
    EXPECT_EQ(TESSEL_DoCmd(r.ci, "PWD", nullptr), 257) << r.Log();

    // And a whole transfer on the same record.
    r.rec.events.clear();
    ASSERT_EQ(TESSEL_RecvFileAsync(r.ci, "async-big.bin", local.c_str(), 1, kDone), 200);
    ASSERT_TRUE(r.WaitDone());
    EXPECT_EQ(r.Done().wp, 226u) << r.Log();
    EXPECT_TRUE(ReadFileBytes(local) == data);
    DeleteFileA(local.c_str());
}

TEST(AsyncTransfer, ListingOnAWorkerIsHandedToTheCaller)
{
    REQUIRE_VSFTPD();
    BigFile();
    AsyncRecord r;
    ASSERT_EQ(Login(r), 230);
    ASSERT_EQ(TESSEL_GetDirectoryAsync(r.ci, nullptr, kDone), 1);
    ASSERT_TRUE(r.WaitDone());
    ASSERT_EQ(r.Done().wp, 1u) << r.Log();
    auto *list = (DirectoryListing *)r.Done().lp;
    ASSERT_NE(list, nullptr);
    bool found = false;
    for (ListingEntry *e = list->firstEntry; e; e = e->next)
        if (!strcmp(e->name, "async-big.bin") && e->size == kBig && e->kind == 1)
            found = true;
    EXPECT_TRUE(found);
    EXPECT_EQ(TESSEL_FreeDirectory(list), nullptr);
    EXPECT_EQ(r.ci->busy, 0);
    // Without a connection the caller hears so, with no listing.
    TESSEL_CloseConnect(r.ci, 0);
    ASSERT_EQ(TESSEL_GetDirectoryAsync(r.ci, "-l", kDone), 1);
    ASSERT_TRUE(r.WaitDone(2));
    EXPECT_EQ(r.Done().wp, 0u);
    EXPECT_EQ(r.Done().lp, 0);
}

TEST(AsyncTransfer, FailuresBeforeTheHandlerTakesOver)
{
    REQUIRE_FAKE_SERVER();
    AsyncRecord r;
    // Refusals.
    EXPECT_EQ(TESSEL_RecvFileAsync(nullptr, "x", "y", 1, kDone), 500);
    EXPECT_EQ(TESSEL_RecvFileAsync(r.ci, "x", "y", 1, kDone), 500);
    EXPECT_STREQ(r.ci->errorBuf, "! No socket");
    r.ci->busy = CINFO_BUSY_CMD;
    EXPECT_EQ(TESSEL_SendFileAsync(r.ci, "x", "y", 1, kDone), 500);
    EXPECT_STREQ(r.ci->errorBuf, "! busy");
    EXPECT_EQ(TESSEL_GetDirectoryAsync(r.ci, nullptr, kDone), 0);
    r.ci->busy = 0;
    EXPECT_EQ(TESSEL_SendFileAsync(r.ci, "Z:\\no\\such\\file", "y", 1, kDone), 500);
    EXPECT_STREQ(r.ci->errorBuf, "! Failed to open Z:\\no\\such\\file for read.");

    // RETR refused; then a local file that cannot be made: the abort goes
    // out and both replies are read, so PWD gets its own.
    int port = fake::Inline(std::string(FakeLogin()) +
                            "expect TYPE I\nsend 200 ok\nexpect SIZE gone\nsend 550 no\nexpect PASV\npasv\n"
                            "expect RETR gone\nsend 550 no such file\n"
                            "expect TYPE I\nsend 200 ok\nexpect SIZE x\nsend 550 no\nexpect PASV\npasv\n"
                            "expect RETR x\nsend 150 here\n"
                            "dataconnect\nurgent\nexpect .*ABOR\nsend 426 aborted\nsend 226 abort done\n"
                            "expect PWD\nsend 257 \"/\"\n");
    ASSERT_EQ(TESSEL_Connect(r.ci, "127.0.0.1", port, "u", "p"), 230);
    std::string dir = TempDir("async-fail");
    EXPECT_EQ(TESSEL_RecvFileAsync(r.ci, "gone", (dir + "\\a").c_str(), 1, kDone), 500);
    EXPECT_STREQ(r.ci->errorBuf, "! Retr failed");
    std::string bad = dir + "\\no\\such\\folder\\f";
    EXPECT_EQ(TESSEL_RecvFileAsync(r.ci, "x", bad.c_str(), 1, kDone), 500);
    EXPECT_EQ(std::string(r.ci->errorBuf), "! Failed to open " + bad + " for write.");
    EXPECT_EQ(TESSEL_DoCmd(r.ci, "PWD", nullptr), 257);
    EXPECT_EQ(r.ci->busy, 0);
    PumpFor(100);
    EXPECT_EQ(r.rec.Count(kDone), 0);
    TESSEL_CloseConnect(r.ci, 0);
    auto got = fake::Received(port);
    for (const auto &l : got)
        EXPECT_NE(l[0], '!') << l;
}

TEST(AsyncTransfer, DataThatEndsBeforeTheHandlerSelectsIt)
{
    REQUIRE_FAKE_SERVER();
    AsyncRecord r;
    int port = fake::Inline(std::string(FakeLogin()) +
                            "expect TYPE A\nsend 200 ok\nexpect PASV\npasv\nexpect RETR small\n"
                            "dataconnect\ndatasend hello\ndataclose\nsend 150 here\nsend 226 done\n");
    ASSERT_EQ(TESSEL_Connect(r.ci, "127.0.0.1", port, "u", "p"), 230);
    std::string local = TempDir("async-small") + "\\small.txt";
    ASSERT_EQ(TESSEL_RecvFileAsync(r.ci, "small", local.c_str(), 0, kDone), 200);
    ASSERT_TRUE(r.WaitDone(1, 10000)) << r.Log();
    EXPECT_EQ(r.Done().wp, 226u);
    EXPECT_EQ(r.Done().lp, 5);
    EXPECT_EQ(ReadFileBytes(local), "hello");
}

// Piece size of the message-driven transfers: run by hand with
//   wine test_engine.exe --gtest_also_run_disabled_tests --gtest_filter=*AsyncPieceSizes
TEST(AsyncTransfer, DISABLED_AsyncPieceSizes)
{
    REQUIRE_VSFTPD();
    const size_t size = 64u << 20;
    WriteFileBytes(Home() + "\\async-bench.bin", RandomBytes(size, 99));
    std::string local = TempDir("async-bench") + "\\bench.bin";
    AsyncRecord r;
    ASSERT_EQ(Login(r), 230);
    for (int block : {4096, 65536}) {
        SetAsyncBlockSize(block);
        for (int up = 0; up < 2; ++up) {
            r.rec.events.clear();
            const DWORD t0 = GetTickCount();
            int rc = up ? TESSEL_SendFileAsync(r.ci, local.c_str(), "async-bench-up.bin", 1, kDone)
                        : TESSEL_RecvFileAsync(r.ci, "async-bench.bin", local.c_str(), 1, kDone);
            ASSERT_EQ(rc, 200);
            ASSERT_TRUE(r.WaitDone(1, 600000));
            const double s = (GetTickCount() - t0) / 1000.0;
            EXPECT_EQ(r.Done().wp, 226u);
            printf("%-8s %6d-byte pieces: %.2f s, %.1f MB/s\n", up ? "upload" : "download", block, s,
                   size / 1e6 / (s > 0 ? s : 0.001));
        }
    }
    SetAsyncBlockSize(0);
}

// The message-driven download keeps the rules of the blocking one: only the
// bytes the server meant count, nothing past them is written, and an old
// file is cut only by a first byte.
TEST(AsyncTransfer, OnlyTheBytesTheServerMeantAndAnOldFileSurvivesANoDataFailure)
{
    REQUIRE_FAKE_SERVER();
    const std::string local = TempDir("async-truth") + "\\f.bin";
    std::string pattern(5000, '\0');
    for (size_t i = 0; i < pattern.size(); ++i)
        pattern[i] = (char)(i % 256);
    const std::string old = "the old copy";
    struct Case {
        const char *what;
        const char *size;
        const char *prelim;
        std::string data;
        unsigned code;
        std::string kept;
        const char *error;
    } cases[] = {
        {"exact", "550 no", "150 go (5000 bytes)", "datafile 5000\ndataclose\nsend 226 ok\n", 226, pattern, ""},
        {"short", "550 no", "150 go (5000 bytes)", "datafile 2000\ndataclose\nsend 226 ok\n", 426,
         pattern.substr(0, 2000), "! Transfer failed: short file, 2000 of 5000 bytes"},
        {"short by SIZE", "213 5000", "150 go", "datafile 2000\ndataclose\nsend 226 ok\n", 426,
         pattern.substr(0, 2000), "! Transfer failed: short file, 2000 of 5000 bytes"},
        {"long", "550 no", "150 go (5000 bytes)",
         "datafile 9000\nurgent\nexpect .*ABOR\nsend 426 aborted\nsend 226 abort done\n", 426, pattern,
         "! Transfer failed: "},
        {"nothing", "213 5000", "150 go", "dataclose\nsend 426 broken\n", 426, old, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(WriteFileBytes(local, old));
        AsyncRecord r;
        int port = fake::Inline(std::string(FakeLogin()) + "expect TYPE I\nsend 200 ok\nexpect SIZE f.bin\nsend " +
                                c.size + "\nexpect PASV\npasv\nexpect RETR f.bin\nsend " + c.prelim +
                                "\ndataconnect\n" + c.data + "expect NOOP\nsend 200 in step\n");
        ASSERT_EQ(TESSEL_Connect(r.ci, "127.0.0.1", port, "u", "p"), 230);
        ASSERT_EQ(TESSEL_RecvFileAsync(r.ci, "f.bin", local.c_str(), 1, kDone), 200);
        ASSERT_TRUE(r.WaitDone(1, 20000)) << r.Log();
        EXPECT_EQ(r.Done().wp, c.code) << r.Log();
        EXPECT_TRUE(ReadFileBytes(local) == c.kept) << ReadFileBytes(local).size();
        EXPECT_EQ(std::string(r.ci->errorBuf).substr(0, strlen(c.error)), c.error);
        EXPECT_EQ(TESSEL_DoCmd(r.ci, "NOOP", nullptr), 200) << r.Log();
        TESSEL_CloseConnect(r.ci, 0);
        for (const auto &l : fake::Received(port))
            EXPECT_NE(l[0], '!') << l;
    }
}
