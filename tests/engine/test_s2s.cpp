// Copies between two servers: two real vsftpd instances in both passive
// orders and on worker threads, and the scripted fake servers for refusals
// and the way the two closing codes combine.
#include "async_util.h"
#include "tessel_transfer.h"

#include <gtest/gtest.h>

#include <regex>
#include <string.h>
#include <string>
#include <vector>

using namespace async;
using Lines = std::vector<std::string>;

#define REQUIRE_TWO_VSFTPD()                                                                   \
    do {                                                                                       \
        if (!fake::VsftpdPort() || !Vsftpd2Port())                                             \
            GTEST_SKIP() << "two vsftpd instances needed (tools/test.sh starts them)";         \
    } while (0)

namespace {

const size_t kBig = 10u << 20;

int LoginTo(AsyncRecord &r, int port)
{
    return TESSEL_Connect(r.ci, "127.0.0.1", port, fake::VsftpdUser().c_str(), fake::VsftpdPassword().c_str());
}

std::string FakeStart()
{
    return "send 220 hi\nexpect USER u\nsend 230 in\nexpect SYST\nsend 215 UNIX Type: L8\n"
           "expect TYPE I\nsend 200 ok\n";
}

// The commands a log shows in order, PASV/PORT/RETR/STOR/ABOR only.
Lines DataCommands(const std::string &log)
{
    Lines out;
    size_t pos = 0;
    while (pos < log.size()) {
        size_t end = log.find("\r\n", pos);
        if (end == std::string::npos)
            end = log.size();
        std::string line = log.substr(pos, end - pos);
        for (const char *w : {"PASV", "PORT", "RETR", "STOR", "ABOR"})
            if (line.compare(0, strlen(w), w) == 0)
                out.push_back(w);
        pos = end + 2;
    }
    return out;
}

} // namespace

TEST(ServerToServer, TenMiBBetweenTwoVsftpdInBothPassiveOrders)
{
    REQUIRE_TWO_VSFTPD();
    const std::string data = RandomBytes(kBig, 1234);
    ASSERT_TRUE(WriteFileBytes(VsftpdHome() + "\\s2s-src.bin", data));
    AsyncRecord src, dst;
    ASSERT_EQ(LoginTo(src, fake::VsftpdPort()), 230) << src.Log();
    ASSERT_EQ(LoginTo(dst, Vsftpd2Port()), 230) << dst.Log();

    // Blocking form: the destination listens.
    EXPECT_EQ(TESSEL_TransferFile(src.ci, "s2s-src.bin", dst.ci, "copy1.bin", 1), 226) << dst.ci->errorBuf;
    EXPECT_TRUE(ReadFileBytes(Vsftpd2Home() + "\\copy1.bin") == data) << "copy differs";
    EXPECT_EQ(DataCommands(dst.Log()), Lines({"PASV", "STOR"}));
    EXPECT_EQ(DataCommands(src.Log()), Lines({"PORT", "RETR"}));
    EXPECT_EQ(src.ci->busy, 0);
    EXPECT_EQ(dst.ci->busy, 0);

    // The other form: the source listens.
    SendMessageA(src.edit, WM_SETTEXT, 0, (LPARAM) "");
    SendMessageA(dst.edit, WM_SETTEXT, 0, (LPARAM) "");
    EXPECT_EQ(TESSEL_TransferFileAsync(src.ci, "s2s-src.bin", dst.ci, "copy2.bin", 1, kDone), 226)
        << dst.ci->errorBuf;
    EXPECT_TRUE(ReadFileBytes(Vsftpd2Home() + "\\copy2.bin") == data) << "copy differs";
    EXPECT_EQ(DataCommands(src.Log()), Lines({"PASV", "RETR"}));
    EXPECT_EQ(DataCommands(dst.Log()), Lines({"PORT", "STOR"}));
    EXPECT_EQ(src.rec.Count(kDone) + dst.rec.Count(kDone), 0);

    // Both connections are in step afterwards.
    EXPECT_EQ(TESSEL_DoCmd(src.ci, "PWD", nullptr), 257);
    EXPECT_EQ(TESSEL_DoCmd(dst.ci, "PWD", nullptr), 257);

    // One record: an ordinary download and upload.
    std::string local = TempDir("s2s") + "\\local.bin";
    EXPECT_EQ(TESSEL_TransferFile(src.ci, "s2s-src.bin", nullptr, local.c_str(), 1), 226);
    EXPECT_TRUE(ReadFileBytes(local) == data);
    EXPECT_EQ(TESSEL_TransferFile(nullptr, local.c_str(), dst.ci, "copy3.bin", 1), 226);
    EXPECT_TRUE(ReadFileBytes(Vsftpd2Home() + "\\copy3.bin") == data);
    DeleteFileA(local.c_str());
}

TEST(ServerToServer, ThreadedCopiesKeepTheirOwnArguments)
{
    REQUIRE_TWO_VSFTPD();
    const std::string a = RandomBytes(1 << 20, 1), b = RandomBytes(3 << 19, 2);
    ASSERT_TRUE(WriteFileBytes(VsftpdHome() + "\\thread-a.bin", a));
    ASSERT_TRUE(WriteFileBytes(VsftpdHome() + "\\thread-b.bin", b));
    AsyncRecord src1, dst1, src2, dst2;
    for (auto *r : {&src1, &src2})
        ASSERT_EQ(LoginTo(*r, fake::VsftpdPort()), 230);
    for (auto *r : {&dst1, &dst2})
        ASSERT_EQ(LoginTo(*r, Vsftpd2Port()), 230);
    Recorder own;
    // The first names its window; the second leaves it to the destination's.
    ASSERT_EQ(TESSEL_TransferFileThread(src1.ci, "thread-a.bin", dst1.ci, "thread-1.bin", 1, own.Window(), kDone),
              1);
    ASSERT_EQ(TESSEL_TransferFileThread(src2.ci, "thread-b.bin", dst2.ci, "thread-2.bin", 1, nullptr, kDone + 5),
              1);
    // Marked busy before the workers run.
    EXPECT_EQ(TESSEL_TransferFileThread(src1.ci, "thread-b.bin", dst2.ci, "x.bin", 1, nullptr, kDone), 0);
    EXPECT_STREQ(src1.ci->errorBuf, "! busy");
    ASSERT_TRUE(PumpUntil([&] { return own.Count(kDone) == 1 && dst2.rec.Count(kDone + 5) == 1; }));
    EXPECT_EQ(own.Last(kDone)->wp, 226u);
    EXPECT_EQ(own.Last(kDone)->lp, 0);
    EXPECT_EQ(dst2.rec.Last(kDone + 5)->wp, 226u);
    EXPECT_EQ(dst1.rec.Count(kDone), 0);
    EXPECT_TRUE(ReadFileBytes(Vsftpd2Home() + "\\thread-1.bin") == a);
    EXPECT_TRUE(ReadFileBytes(Vsftpd2Home() + "\\thread-2.bin") == b);
    for (auto *r : {&src1, &src2, &dst1, &dst2})
        EXPECT_EQ(r->ci->busy, 0);
}

namespace {

struct FxpCase {
    const char *name;
    int async;             // TESSEL_TransferFileAsync instead of TESSEL_TransferFile
    std::string srcScript; // after FakeStart()
    std::string dstScript;
    int result;
    const char *dstError;  // expected errorBuf of the destination, or null
    Lines srcCommands;     // after the login and TYPE
    Lines dstCommands;
};

Lines After(Lines all, size_t n) { return Lines(all.begin() + (long)(n < all.size() ? n : all.size()), all.end()); }

} // namespace

TEST(ServerToServer, FakeServersRefusalsAndClosingCodes)
{
    REQUIRE_FAKE_SERVER();
    const std::string sendFile = "dataconnect\ndatafile 1000\ndataclose\n";
    const std::string recvFile = "dataconnect\ndatarecv\n";
    const FxpCase cases[] = {
        {"codes 226 and 250: the source's", 0,
         "expect PORT .*\nsend 200 ok\nexpect RETR f\nsend 150 go\nport\n" + sendFile + "send 250 src done\n",
         "expect PASV\npasv\nexpect STOR g\nsend 150 ok\n" + recvFile + "send 226 dst done\n", 250, nullptr,
         {"PORT 127,0,0,1,.*", "RETR f"}, {"PASV", "STOR g", "#data 1000 bytes"}},
        {"codes 452 and 226: the destination's", 0,
         "expect PORT .*\nsend 200 ok\nexpect RETR f\nsend 150 go\nport\n" + sendFile + "send 226 src done\n",
         "expect PASV\npasv\nexpect STOR g\nsend 150 ok\n" + recvFile + "send 452 disk full\n", 452, nullptr,
         {"PORT 127,0,0,1,.*", "RETR f"}, {"PASV", "STOR g", "#data 1000 bytes"}},
        {"destination refuses PASV", 0,
         "expect PASV\npasv\nexpect RETR f\nsend 150 go\n" + sendFile + "send 226 src done\n",
         "expect PASV\nsend 502 no passive here\nexpect PORT .*\nsend 200 ok\nexpect STOR g\nsend 150 ok\nport\n" +
             recvFile + "send 226 dst done\n",
         226, nullptr, {"PASV", "RETR f"}, {"PASV", "PORT 127,0,0,1,.*", "STOR g", "#data 1000 bytes"}},
        {"destination refuses STOR", 0,
         "expect PORT .*\nsend 200 ok\nexpect RETR f\nsend 150 go\nurgent\nexpect .*ABOR\nsend 426 aborted\n"
         "send 226 abort done\nexpect NOOP\nsend 200 in step\n",
         "expect PASV\npasv\nexpect STOR g\nsend 553 not allowed\nexpect NOOP\nsend 200 in step\n", 500,
         "! Failed destination STOR command", {"PORT 127,0,0,1,.*", "RETR f", "#urgent ff", ".*ABOR", "NOOP"},
         {"PASV", "STOR g", "NOOP"}},
        {"message-driven form asks the source first", 1,
         "expect PASV\npasv\nexpect RETR f\nsend 150 go\n" + sendFile + "send 226 src done\n",
         "expect PORT .*\nsend 200 ok\nexpect STOR g\nsend 150 ok\nport\n" + recvFile + "send 226 dst done\n", 226,
         nullptr, {"PASV", "RETR f"}, {"PORT 127,0,0,1,.*", "STOR g", "#data 1000 bytes"}},
        {"message-driven form: neither side listens", 1, "expect PASV\nsend 502 no\nexpect NOOP\nsend 200 x\n",
         "expect PASV\nsend 502 no\nexpect NOOP\nsend 200 x\n", 0, "! No data connection between the servers",
         {"PASV", "NOOP"}, {"PASV", "NOOP"}},
        {"message-driven form: destination refuses PORT", 1,
         "expect PASV\npasv\nexpect ABOR\nsend 225 nothing to abort\nexpect NOOP\nsend 200 x\n",
         "expect PORT .*\nsend 500 no\nexpect NOOP\nsend 200 x\n", 0, "! Failed destination PORT command",
         {"PASV", "ABOR", "NOOP"}, {"PORT 127,0,0,1,.*", "NOOP"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        int sp = fake::Inline(FakeStart() + c.srcScript);
        int dp = fake::Inline(FakeStart() + c.dstScript);
        AsyncRecord src, dst;
        ASSERT_EQ(TESSEL_Connect(src.ci, "127.0.0.1", sp, "u", "p"), 230);
        ASSERT_EQ(TESSEL_Connect(dst.ci, "127.0.0.1", dp, "u", "p"), 230);
        int rc = c.async ? TESSEL_TransferFileAsync(src.ci, "f", dst.ci, "g", 1, kDone)
                         : TESSEL_TransferFile(src.ci, "f", dst.ci, "g", 1);
        EXPECT_EQ(rc, c.result) << dst.ci->errorBuf << "\n" << src.Log() << "\n" << dst.Log();
        if (c.dstError)
            EXPECT_STREQ(dst.ci->errorBuf, c.dstError);
        // Each connection reads the reply of its next command.
        bool noop = c.srcCommands.back() == "NOOP";
        if (noop) {
            EXPECT_EQ(TESSEL_DoCmd(src.ci, "NOOP", nullptr), 200) << src.Log();
            EXPECT_EQ(TESSEL_DoCmd(dst.ci, "NOOP", nullptr), 200) << dst.Log();
        }
        TESSEL_CloseConnect(src.ci, 0);
        TESSEL_CloseConnect(dst.ci, 0);
        Lines sGot = After(fake::Received(sp), 3), dGot = After(fake::Received(dp), 3);
        ASSERT_EQ(sGot.size(), c.srcCommands.size()) << ::testing::PrintToString(sGot);
        ASSERT_EQ(dGot.size(), c.dstCommands.size()) << ::testing::PrintToString(dGot);
        for (size_t i = 0; i < sGot.size(); ++i)
            EXPECT_TRUE(std::regex_match(sGot[i], std::regex(c.srcCommands[i]))) << sGot[i];
        for (size_t i = 0; i < dGot.size(); ++i)
            EXPECT_TRUE(std::regex_match(dGot[i], std::regex(c.dstCommands[i]))) << dGot[i];
    }
}

TEST(ServerToServer, RefusedRecords)
{
    AsyncRecord src, dst;
    CINFO stale = *src.ci;
    stale.magic = 3;
    // The source's stamp counts too.
    EXPECT_EQ(TESSEL_TransferFile(&stale, "f", dst.ci, "g", 1), 500);
    EXPECT_STREQ(stale.errorBuf, "! not initialized");
    // Not connected: refused before anything is sent, both idle again; the
    // threaded form reports to the destination's window.
    EXPECT_EQ(TESSEL_TransferFile(src.ci, "f", dst.ci, "g", 1), 500);
    EXPECT_STREQ(dst.ci->errorBuf, "! No socket");
    EXPECT_EQ(src.ci->busy + dst.ci->busy, 0);
    EXPECT_EQ(TESSEL_TransferFileThread(src.ci, "f", dst.ci, "g", 1, nullptr, kDone), 1);
    ASSERT_TRUE(dst.WaitDone());
    EXPECT_EQ(dst.Done().wp, 500u);
    EXPECT_EQ(src.ci->busy + dst.ci->busy, 0);
}
