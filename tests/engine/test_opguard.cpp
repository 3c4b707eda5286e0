// The operation guard: of two threads starting an operation on one record at
// once exactly one runs and the other is refused as busy, every time; and
// the message-driven data path does not take its block from the stack of the
// thread that runs the handler window.
#include "async_util.h"

#include <gtest/gtest.h>

#include <process.h>
#include <string>

using namespace async;

namespace {

// A control connection served in this process: greeting, login and SYST,
// then each NOOP is answered only once `answer` is set (or after a few
// seconds), so that the operation that sent it is still running when the
// other thread arrives.
class HeldServer {
public:
    HANDLE answer = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    int noops = 0;

    HeldServer()
    {
        listener_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a = {};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = inet_addr("127.0.0.1");
        bind(listener_, (sockaddr *)&a, sizeof a);
        int len = sizeof a;
        getsockname(listener_, (sockaddr *)&a, &len);
        port = ntohs(a.sin_port);
        listen(listener_, 1);
        thread_ = (HANDLE)_beginthreadex(nullptr, 0, Run, this, 0, nullptr);
    }
    ~HeldServer()
    {
        closesocket(listener_);
        if (peer_ != INVALID_SOCKET)
            shutdown(peer_, SD_BOTH);
        SetEvent(answer);
        WaitForSingleObject(thread_, 10000);
        CloseHandle(thread_);
        if (peer_ != INVALID_SOCKET)
            closesocket(peer_);
        CloseHandle(answer);
    }
    int port = 0;

private:
    SOCKET listener_ = INVALID_SOCKET;
    SOCKET peer_ = INVALID_SOCKET;
    HANDLE thread_ = nullptr;

    void Send(const char *text) { send(peer_, text, (int)strlen(text), 0); }

    static unsigned __stdcall Run(void *p)
    {
        auto *self = (HeldServer *)p;
        self->peer_ = accept(self->listener_, nullptr, nullptr);
        if (self->peer_ == INVALID_SOCKET)
            return 0;
        self->Send("220 held\r\n");
        std::string pending;
        char buf[512];
        for (;;) {
            int n = recv(self->peer_, buf, sizeof buf, 0);
            if (n <= 0)
                return 0;
            pending.append(buf, (size_t)n);
            size_t eol;
            while ((eol = pending.find("\r\n")) != std::string::npos) {
                std::string line = pending.substr(0, eol);
                pending.erase(0, eol + 2);
                if (line.compare(0, 5, "USER ") == 0) {
                    self->Send("230 in\r\n");
                } else if (line == "SYST") {
                    self->Send("215 UNIX Type: L8\r\n");
                } else if (line == "NOOP") {
                    ++self->noops;
                    WaitForSingleObject(self->answer, 3000);
                    self->Send("200 ok\r\n");
                } else {
                    self->Send("500 what\r\n");
                }
            }
        }
    }
};

struct Racer {
    CINFO *ci;
    HANDLE go;
    HANDLE done;
    HANDLE returned; // set by whichever of the two returns first
    volatile LONG stop;
    int result;
    HANDLE thread;
};

unsigned __stdcall RaceLoop(void *p)
{
    auto *r = (Racer *)p;
    for (;;) {
        WaitForSingleObject(r->go, INFINITE);
        if (r->stop)
            return 0;
        r->result = TESSEL_DoCmd(r->ci, "NOOP", nullptr);
        SetEvent(r->returned);
        SetEvent(r->done);
    }
}

} // namespace

TEST(OperationGuard, TwoThreadsOnOneRecordGetOneRunAndOneBusyRefusalAThousandTimes)
{
    HeldServer server;
    CINFO *ci = TESSEL_InitCINFO(nullptr, nullptr, 0, 0);
    ASSERT_NE(ci, nullptr);
    ASSERT_EQ(TESSEL_Connect(ci, "127.0.0.1", server.port, "u", "p"), 230) << ci->errorBuf;

    Racer racers[2];
    for (Racer &r : racers) {
        r.ci = ci;
        r.go = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        r.done = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        r.returned = server.answer;
        r.stop = 0;
        r.thread = (HANDLE)_beginthreadex(nullptr, 0, RaceLoop, &r, 0, nullptr);
    }
    int rounds = 0;
    for (; rounds < 1000; ++rounds) {
        ResetEvent(server.answer);
        SetEvent(racers[0].go);
        SetEvent(racers[1].go);
        HANDLE done[2] = {racers[0].done, racers[1].done};
        ASSERT_EQ(WaitForMultipleObjects(2, done, TRUE, 20000), WAIT_OBJECT_0) << "round " << rounds;
        const int a = racers[0].result, b = racers[1].result;
        const bool oneEach = (a == 200 && b == 500) || (a == 500 && b == 200);
        ASSERT_TRUE(oneEach) << "round " << rounds << ": " << a << " and " << b;
        ASSERT_EQ(ci->busy, 0) << "round " << rounds;
        ASSERT_EQ(ci->refCount, 1) << "round " << rounds;
    }
    EXPECT_EQ(rounds, 1000);
    EXPECT_EQ(server.noops, 1000); // the refused one sent nothing
    EXPECT_STREQ(ci->errorBuf, "! busy");
    for (Racer &r : racers) {
        r.stop = 1;
        SetEvent(r.go);
        WaitForSingleObject(r.thread, 10000);
        CloseHandle(r.thread);
        CloseHandle(r.go);
        CloseHandle(r.done);
    }
    TESSEL_CloseConnect(ci, 0);
    TESSEL_FreeCINFO(ci);
}

// A busy record refuses each kind of operation with the result it always
// gave, and is still usable afterwards.
TEST(OperationGuard, ABusyRecordRefusesEveryKindWithItsOwnResult)
{
    CINFO *ci = TESSEL_InitCINFO(nullptr, nullptr, 0, 0);
    ASSERT_NE(ci, nullptr);
    ci->busy = CINFO_BUSY_TRANSFER;
    EXPECT_EQ(TESSEL_DoCmd(ci, "NOOP", nullptr), 500);
    EXPECT_STREQ(ci->errorBuf, "! busy");
    EXPECT_EQ(TESSEL_Connect(ci, "127.0.0.1", 21, "u", "p"), 500);
    EXPECT_EQ(TESSEL_RecvFile(ci, "a", "b", 1), 500);
    EXPECT_EQ(TESSEL_SendFile(ci, "a", "b", 1), 500);
    EXPECT_EQ(TESSEL_GetDirectory(ci, nullptr), nullptr);
    EXPECT_EQ(TESSEL_RecvFileThread(ci, "a", "b", 1, kDone), 0);
    EXPECT_EQ(TESSEL_SetHTTPProxy(ci, "127.0.0.1", 8080, "", ""), 500);
    EXPECT_EQ(TESSEL_ConnectAsync(ci, "127.0.0.1", 21, "u", "p", kDone), 0);
    CINFO *other = TESSEL_InitCINFO(nullptr, nullptr, 0, 0);
    EXPECT_EQ(TESSEL_TransferFile(ci, "a", other, "b", 1), 500);
    EXPECT_STREQ(other->errorBuf, "! busy");
    // A refusal on the destination leaves the idle source free.
    EXPECT_EQ(TESSEL_TransferFile(other, "a", ci, "b", 1), 500);
    EXPECT_EQ(other->busy, 0);
    EXPECT_EQ(other->refCount, 1);
    EXPECT_EQ(ci->busy, CINFO_BUSY_TRANSFER);
    EXPECT_EQ(ci->refCount, 1);
    ci->busy = 0;
    // Idle again: the guard lets the next one through and ends it.
    EXPECT_EQ(TESSEL_Connect(ci, "", 21, "u", "p"), 601);
    EXPECT_EQ(ci->busy, 0);
    EXPECT_EQ(ci->refCount, 1);
    TESSEL_FreeCINFO(other);
    TESSEL_FreeCINFO(ci);
}

namespace {

struct SmallStackDownload {
    std::string local;
    int started = 0;
    int done = 0;
    WPARAM code = 0;
    LPARAM bytes = 0;
    std::string log;
};

// Runs on a thread with a 64 KiB stack: its window procedure runs the
// engine's data events.
unsigned __stdcall SmallStackThread(void *p)
{
    auto *job = (SmallStackDownload *)p;
    AsyncRecord *r = new AsyncRecord();
    if (TESSEL_Connect(r->ci, "127.0.0.1", fake::VsftpdPort(), fake::VsftpdUser().c_str(),
                       fake::VsftpdPassword().c_str()) == 230) {
        job->started = TESSEL_RecvFileAsync(r->ci, "guard-big.bin", job->local.c_str(), 1, kDone);
        if (job->started == 200 && r->WaitDone(1, 60000)) {
            job->done = 1;
            job->code = r->Done().wp;
            job->bytes = r->Done().lp;
        }
    }
    job->log = r->Log();
    delete r;
    return 0;
}

} // namespace

TEST(OperationGuard, MessageDrivenDownloadWithTheLargestBlockRunsOnA64KiBStack)
{
    REQUIRE_VSFTPD();
    const size_t size = 3u << 20;
    const std::string data = RandomBytes(size, 1234);
    WriteFileBytes(VsftpdHome() + "\\guard-big.bin", data);
    SetAsyncBlockSize(1 << 20);
    ASSERT_EQ(AsyncBlockSize(), 1 << 20);
    SmallStackDownload job;
    job.local = TempDir("guard-stack") + "\\down.bin";
    DeleteFileA(job.local.c_str());
    HANDLE th = (HANDLE)_beginthreadex(nullptr, 65536, SmallStackThread, &job, STACK_SIZE_PARAM_IS_A_RESERVATION,
                                       nullptr);
    ASSERT_NE(th, nullptr);
    ASSERT_EQ(WaitForSingleObject(th, 90000), WAIT_OBJECT_0);
    DWORD exitCode = 1;
    GetExitCodeThread(th, &exitCode);
    CloseHandle(th);
    SetAsyncBlockSize(0);
    EXPECT_EQ(exitCode, 0u);
    ASSERT_EQ(job.started, 200) << job.log;
    ASSERT_EQ(job.done, 1) << job.log;
    EXPECT_EQ(job.code, 226u) << job.log;
    EXPECT_EQ((size_t)job.bytes, size);
    EXPECT_TRUE(ReadFileBytes(job.local) == data) << "downloaded file differs";
    DeleteFileA(job.local.c_str());
}
