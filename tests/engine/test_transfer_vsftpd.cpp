// File transfers against the real vsftpd of the test bed: byte-identical
// copies both ways and in both connection modes, ASCII mode, resume,
// cancelling, the worker-thread forms and the messages they post.
#include "transfer_util.h"

using namespace xfer;

namespace {

const size_t kTenMiB = 10u << 20;

// A file on the server (home folder) with the given content.
std::string ServerFile(const std::string &name, const std::string &data)
{
    std::string path = VsftpdHome() + "\\" + name;
    EXPECT_TRUE(WriteAll(path, data)) << path;
    return path;
}

} // namespace

TEST(Transfer, CopiesAreByteIdenticalInBothModesAndAsciiIsAnnounced)
{
    REQUIRE_VSFTPD();
    const std::string data = Bytes(kTenMiB, 42);
    ServerFile("ten.bin", data);
    std::string dir = TempDir("binary");
    for (int passive = 1; passive >= 0; --passive) {
        LoggedRecord r;
        ASSERT_EQ(ConnectVsftpd(r.ci), 230);
        r.ci->usePassive = passive;
        std::string local = dir + "\\down" + std::to_string(passive) + ".bin";
        EXPECT_EQ(TESSEL_RecvFile(r.ci, "ten.bin", local.c_str(), 1), 226) << r.Log();
        EXPECT_STREQ(r.ci->errorBuf, "Successful copy");
        EXPECT_EQ((uint32_t)r.ci->byteCount, kTenMiB);
        EXPECT_TRUE(ReadAll(local) == data) << "download differs, passive=" << passive;

        std::string remote = "up" + std::to_string(passive) + ".bin";
        EXPECT_EQ(TESSEL_SendFile(r.ci, local.c_str(), remote.c_str(), 1), 226) << r.Log();
        EXPECT_STREQ(r.ci->errorBuf, "Successful copy");
        EXPECT_EQ((uint32_t)r.ci->byteCount, kTenMiB);
        EXPECT_TRUE(ReadAll(VsftpdHome() + "\\" + remote) == data) << "upload differs, passive=" << passive;

        std::string log = r.Log();
        EXPECT_TRUE(Contains(log, "TYPE I\r\n"));
        EXPECT_EQ(Contains(log, "\r\nPORT "), passive == 0);
        EXPECT_EQ(r.ci->busy, 0);
        EXPECT_EQ(r.ci->refCount, 1);
    }
    // ASCII: announced with TYPE A; the bytes pass as they are (vsftpd
    // converts nothing, and neither do we).
    const std::string text = "line one\r\nline two\r\n";
    ServerFile("text.txt", text);
    LoggedRecord r;
    ASSERT_EQ(ConnectVsftpd(r.ci), 230);
    std::string local = dir + "\\text.txt";
    EXPECT_EQ(TESSEL_RecvFile(r.ci, "text.txt", local.c_str(), 0), 226);
    EXPECT_EQ(TESSEL_SendFile(r.ci, local.c_str(), "text-up.txt", 0), 226);
    EXPECT_EQ(ReadAll(VsftpdHome() + "\\text-up.txt"), text);
    EXPECT_FALSE(Contains(r.Log(), "TYPE I"));
    EXPECT_TRUE(Contains(r.Log(), "TYPE A\r\n200 Switching to ASCII mode.")) << r.Log();
}

TEST(Transfer, ResumedDownloadsRestartAtWholeKilobytesAndEndIdentical)
{
    REQUIRE_VSFTPD();
    const std::string data = Bytes(5000, 7);
    const std::string shorter = data.substr(0, 4100);
    ServerFile("resume.bin", data);
    ServerFile("resume-short.bin", shorter);
    const std::string dir = TempDir("resume");
    struct {
        const char *remote;
        std::string want;
        std::string before; // local file before the download ("<missing>": none)
        const char *rest;   // REST sent, or null
        int binary;
    } cases[] = {
        {"resume.bin", data, data.substr(0, 1500), "REST 1024\r\n", 1},
        {"resume.bin", data, data.substr(0, 1024), nullptr, 1},
        {"resume.bin", data, "<missing>", nullptr, 1},
        {"resume.bin", data, data.substr(0, 3000) + "stale", nullptr, 0}, // ASCII never resumes
        // A stale tail longer than what the server still sends: cut.
        {"resume-short.bin", shorter, data.substr(0, 4096) + std::string(108, 'Z'), "REST 4096\r\n", 1},
    };
    int i = 0;
    for (const auto &c : cases) {
        std::string local = dir + "\\r" + std::to_string(i++) + ".bin";
        if (c.before != "<missing>")
            ASSERT_TRUE(WriteAll(local, c.before));
        else
            DeleteFileA(local.c_str()); // left by an earlier run
        LoggedRecord r;
        ASSERT_EQ(ConnectVsftpd(r.ci), 230);
        EXPECT_EQ(RecvFileResume(r.ci, c.remote, local.c_str(), c.binary), 226) << r.Log();
        EXPECT_STREQ(r.ci->errorBuf, "Successful copy");
        EXPECT_TRUE(ReadAll(local) == c.want) << "case " << i;
        EXPECT_EQ((uint32_t)r.ci->byteCount, c.want.size());
        if (c.rest)
            EXPECT_TRUE(Contains(r.Log(), c.rest)) << r.Log();
        else
            EXPECT_FALSE(Contains(r.Log(), "REST")) << r.Log();
    }
}

TEST(Transfer, CancelledDownloadAbortsAndTheRecordStaysUsable)
{
    REQUIRE_VSFTPD();
    // A 2 GiB file that costs no disk: a hole.
    std::string big = VsftpdHome() + "\\hole.bin";
    HANDLE h = CreateFileA(big.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    LONG high = 0;
    SetFilePointer(h, 0x7FFFFFF0, &high, FILE_BEGIN);
    SetEndOfFile(h);
    CloseHandle(h);
    ServerFile("small.bin", "small");

    const UINT kDone = WM_APP + 1, kProgress = WM_APP + 10;
    Recorder rec;
    LoggedRecord r;
    r.ci->notifyWnd = rec.wnd;
    r.ci->progressMsg = kProgress;
    r.ci->progressOn = 1;
    ASSERT_EQ(ConnectVsftpd(r.ci), 230);
    std::string dir = TempDir("cancel");
    std::string local = dir + "\\hole.bin";
    ASSERT_EQ(TESSEL_RecvFileThread(r.ci, "hole.bin", local.c_str(), 1, kDone), 1);
    // Cancel from this thread once data flows, as TESSEL_CancelAction does.
    ASSERT_TRUE(PumpUntil([&] { return !rec.Of(kProgress).empty() || !rec.Of(kDone).empty(); }));
    r.ci->cancelFlag = 1;
    ASSERT_TRUE(PumpUntil([&] { return !rec.Of(kDone).empty(); }));
    auto done = rec.Of(kDone)[0];
    std::string log = r.Log();
    EXPECT_EQ(done.wp, 426u) << log;
    EXPECT_LT((uint32_t)done.lp, 0x7FFFFFF0u);
    EXPECT_EQ((uint32_t)done.lp, (uint32_t)r.ci->byteCount);
    EXPECT_TRUE(Contains(log, "\r\nABOR\r\n")) << log;
    EXPECT_FALSE(Contains(r.ci->errorBuf, "Successful copy"));
    EXPECT_EQ(r.ci->busy, 0);

    // The abort's replies are all read: the next transfer gets its own.
    std::string small = dir + "\\small.bin";
    EXPECT_EQ(TESSEL_RecvFile(r.ci, "small.bin", small.c_str(), 1), 226) << r.Log();
    EXPECT_EQ(ReadAll(small), "small");
    EXPECT_EQ(TESSEL_DoCmd(r.ci, "NOOP", nullptr), 200);
    DeleteFileA(big.c_str());
}

TEST(Transfer, ThreadFormsPostTheirResultToAWindow)
{
    REQUIRE_VSFTPD();
    const std::string data = Bytes(300000, 3);
    ServerFile("thread.bin", data);
    const UINT kDone = WM_APP + 2;
    Recorder rec;
    LoggedRecord r;
    r.ci->notifyWnd = rec.wnd;
    ASSERT_EQ(ConnectVsftpd(r.ci), 230);
    std::string local = TempDir("thread") + "\\t.bin";

    // Refusals start nothing.
    EXPECT_EQ(TESSEL_RecvFileThread(r.ci, "thread.bin", "", 1, kDone), 0);
    EXPECT_STREQ(r.ci->errorBuf, "! No local filename");
    EXPECT_EQ(TESSEL_SendFileThread(r.ci, local.c_str(), nullptr, 1, kDone), 0);
    EXPECT_STREQ(r.ci->errorBuf, "! No remote filename");
    EXPECT_EQ(TESSEL_RecvFileThread(r.ci, std::string(300, 'n').c_str(), local.c_str(), 1, kDone), 0);
    EXPECT_EQ(r.ci->busy, 0);
    EXPECT_EQ(r.ci->refCount, 1);

    ASSERT_EQ(TESSEL_RecvFileThread(r.ci, "thread.bin", local.c_str(), 1, kDone), 1);
    // Busy from the moment the call returns: a second start is refused, and
    // the refusal's text does not become the worker's file name.
    EXPECT_EQ(TESSEL_SendFileThread(r.ci, local.c_str(), "x.bin", 1, kDone), 0);
    ASSERT_TRUE(PumpUntil([&] { return rec.Of(kDone).size() == 1; }));
    EXPECT_EQ(rec.Of(kDone)[0].wp, 226u);
    EXPECT_EQ((size_t)rec.Of(kDone)[0].lp, data.size());
    EXPECT_TRUE(ReadAll(local) == data);

    ASSERT_EQ(TESSEL_SendFileThread(r.ci, local.c_str(), "thread-up.bin", 1, kDone), 1);
    ASSERT_TRUE(PumpUntil([&] { return rec.Of(kDone).size() == 2; }));
    EXPECT_EQ(rec.Of(kDone)[1].wp, 226u);
    EXPECT_EQ((size_t)rec.Of(kDone)[1].lp, data.size());
    EXPECT_TRUE(ReadAll(VsftpdHome() + "\\thread-up.bin") == data);
    EXPECT_TRUE(Contains(r.Log(), "Successful copy") || !strcmp(r.ci->errorBuf, "Successful copy"));
}

TEST(Transfer, FreeingTheRecordDuringAThreadedTransferIsSafe)
{
    REQUIRE_VSFTPD();
    const std::string data = Bytes(kTenMiB, 5);
    ServerFile("free.bin", data);
    const UINT kDone = WM_APP + 3;
    Recorder rec;
    LoggedRecord r;
    r.ci->notifyWnd = rec.wnd;
    ASSERT_EQ(ConnectVsftpd(r.ci), 230);
    std::string local = TempDir("free") + "\\f.bin";
    ASSERT_EQ(TESSEL_RecvFileThread(r.ci, "free.bin", local.c_str(), 1, kDone), 1);
    TESSEL_FreeCINFO(r.ci); // the creator lets go at once
    r.ci = nullptr;
    EXPECT_FALSE(Contains(r.Log(), "Structure destroyed"));
    ASSERT_TRUE(PumpUntil([&] { return Contains(r.Log(), "Structure destroyed"); }));
    ASSERT_EQ(rec.Of(kDone).size(), 1u);
    EXPECT_EQ(rec.Of(kDone)[0].wp, 226u);
    EXPECT_TRUE(ReadAll(local) == data);
}

TEST(Transfer, ProgressAndTimingMessages)
{
    REQUIRE_VSFTPD();
    const size_t size = 1000000;
    ServerFile("progress.bin", Bytes(size, 11));
    const UINT kProgress = WM_APP + 20;
    std::string dir = TempDir("progress");
    for (int timing = 0; timing < 2; ++timing) {
        Recorder rec;
        LoggedRecord r(timing ? CINFO_TIMING_MSGS : 0, kProgress);
        r.ci->notifyWnd = rec.wnd;
        r.ci->progressOn = 1;
        ASSERT_EQ(ConnectVsftpd(r.ci), 230);
        std::string local = dir + "\\p.bin";
        ASSERT_EQ(TESSEL_RecvFile(r.ci, "progress.bin", local.c_str(), 1), 226);
        ASSERT_EQ(TESSEL_SendFile(r.ci, local.c_str(), "progress-up.bin", 1), 226);
        PumpUntil([] { return false; }, 100);
        auto blocks = rec.Of(kProgress);
        auto times = rec.Of(kProgress + 1);
        if (timing) {
            EXPECT_TRUE(blocks.empty());
            ASSERT_EQ(times.size(), 4u); // start and end of each transfer
            EXPECT_EQ(times[0].lp, 0);
            EXPECT_EQ((size_t)times[1].lp, size);
            EXPECT_GE(times[1].wp, times[0].wp);
            EXPECT_EQ((size_t)times[3].lp, size);
        } else {
            EXPECT_TRUE(times.empty());
            ASSERT_GE(blocks.size(), 2u);
            // Upload blocks are whole: one message per 64 KiB read.
            EXPECT_GE(blocks.size(), 2 * ((size + TESSEL_DATA_BLOCK - 1) / TESSEL_DATA_BLOCK) / 2);
            for (size_t i = 1; i < blocks.size(); ++i)
                if (blocks[i].wp != 0 && blocks[i - 1].wp < size)
                    EXPECT_GT(blocks[i].wp, blocks[i - 1].wp);
            EXPECT_EQ((size_t)blocks.back().wp, size);
        }
    }
}

TEST(Transfer, DisplayFormAppendsTheDataToAnEditControl)
{
    REQUIRE_VSFTPD();
    const std::string text = "first line\r\nsecond line\r\n";
    ServerFile("show.txt", text);
    HWND edit = CreateWindowExA(0, "EDIT", "before\r\n", WS_POPUP | ES_MULTILINE, 0, 0, 300, 200, nullptr, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
    LoggedRecord r;
    ASSERT_EQ(ConnectVsftpd(r.ci), 230);
    EXPECT_EQ(TESSEL_RecvDsp(r.ci, edit, "RETR", "show.txt"), 226);
    EXPECT_STREQ(r.ci->errorBuf, "Successful copy");
    char buf[256] = {};
    GetWindowTextA(edit, buf, sizeof buf);
    EXPECT_EQ(std::string(buf), "before\r\n" + text);
    EXPECT_TRUE(Contains(r.Log(), "TYPE A\r\n"));
    // A refused command: 500, and nothing more is shown.
    EXPECT_EQ(TESSEL_RecvDsp(r.ci, edit, "RETR", "no-such-file"), 500);
    EXPECT_STRNE(r.ci->errorBuf, "Successful copy");
    DestroyWindow(edit);
}
