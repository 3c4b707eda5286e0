// Connection record lifecycle, logging, accessors, error texts, list boxes.
#include "enginetest.h"
#include "fakeftp.h"

#include <gtest/gtest.h>

#include <process.h>
#include <string>

TEST(Record, CreationSetsDefaultsAndHandlerWindow)
{
    LoggedRecord r(CINFO_OWN_WINSOCK);
    CINFO *ci = r.ci;
    ASSERT_NE(ci, nullptr);
    EXPECT_EQ(ci->magic, CINFO_MAGIC);
    EXPECT_EQ(ci->hostType, 6000);
    EXPECT_EQ(ci->usePassive, 1);
    EXPECT_EQ(ci->ctrlSocket, INVALID_SOCKET);
    EXPECT_EQ(ci->refCount, 1);
    EXPECT_EQ(ci->errorText, ci->errorBuf);
    EXPECT_EQ(ci->replyText, ci->replyLine);
    EXPECT_EQ(ci->passText, ci->password);
    EXPECT_EQ(ci->rxBufSize, 4096);
    ASSERT_NE(ci->asyncWnd, nullptr);
    char cls[32];
    GetClassNameA(ci->asyncWnd, cls, sizeof cls);
    EXPECT_STREQ(cls, "TESSELD32");
    EXPECT_EQ((CINFO *)GetWindowLongPtrA(ci->asyncWnd, 0), ci);
    EXPECT_EQ(r.Log(), "WSAData initialized\r\nStructure initialized\r\n");
    EXPECT_EQ(TESSEL_GetDllVersion(), 0x0500);
}

TEST(Record, ReleaseDestroysOnlyAtZero)
{
    LoggedRecord r;
    CINFO *ci = r.ci;
    AddRef(ci);
    TESSEL_FreeCINFO(ci);
    EXPECT_EQ(r.Log().find("Structure destroyed"), std::string::npos);
    EXPECT_EQ(ci->magic, CINFO_MAGIC);
    Release(ci);
    EXPECT_NE(r.Log().find("Structure destroyed\r\n"), std::string::npos);
    r.ci = nullptr;
}

namespace {

struct SlowCall {
    CINFO *ci;
    int result;
};

unsigned __stdcall RunSlowCommand(void *p)
{
    auto *call = (SlowCall *)p;
    call->result = TESSEL_DoCmd(call->ci, "NOOP", nullptr);
    return 0;
}

} // namespace

TEST(Record, FreeWhileAnotherThreadWorksWaitsForIt)
{
    REQUIRE_FAKE_SERVER();
    int port = fake::Inline("send 220 hi\nexpect USER u\nsend 230 ok\nexpect SYST\nsend 215 UNIX\n"
                            "expect NOOP\nsleep 1\nsend 200 late but fine\n");
    LoggedRecord r;
    ASSERT_EQ(TESSEL_Connect(r.ci, "127.0.0.1", port, "u", "p"), 230);
    HWND handler = r.ci->asyncWnd;
    SlowCall call = {r.ci, 0};
    HANDLE th = (HANDLE)_beginthreadex(nullptr, 0, RunSlowCommand, &call, 0, nullptr);
    while (r.ci->busy == 0)
        Sleep(1);
    TESSEL_FreeCINFO(r.ci);
    // The creator's reference is gone, the worker's keeps the record alive.
    EXPECT_EQ(r.Log().find("Structure destroyed"), std::string::npos);
    // The worker logs into our edit control, so keep pumping like a UI thread.
    DWORD t0 = GetTickCount();
    while (MsgWaitForMultipleObjects(1, &th, FALSE, 100, QS_ALLINPUT) != WAIT_OBJECT_0 &&
           GetTickCount() - t0 < 10000)
        PumpOneMessage();
    CloseHandle(th);
    EXPECT_EQ(call.result, 200);
    EXPECT_NE(r.Log().find("200 late but fine\r\nStructure destroyed\r\n"), std::string::npos) << r.Log();
    // The worker could not destroy our handler window; it asked us to.
    for (int i = 0; i < 50 && IsWindow(handler); ++i) {
        PumpOneMessage();
        Sleep(1);
    }
    EXPECT_FALSE(IsWindow(handler));
    r.ci = nullptr;
}

TEST(Record, GuardRefusesStaleAndBusyRecords)
{
    LoggedRecord r;
    r.ci->busy = 2;
    EXPECT_EQ(TESSEL_DoCmd(r.ci, "NOOP", nullptr), 500);
    EXPECT_STREQ(r.ci->errorBuf, "! busy");
    EXPECT_EQ(ConnectLogin(r.ci, "h", 21, "u", "p", "", 0, "", 0, "", ""), 500);
    r.ci->busy = 0;
    r.ci->magic = 42;
    EXPECT_EQ(TESSEL_DoCmd(r.ci, "NOOP", nullptr), 500);
    EXPECT_STREQ(r.ci->errorBuf, "! not initialized");
    EXPECT_EQ(TESSEL_SendCommand(r.ci, "NOOP"), -1);
    EXPECT_EQ(TESSEL_RecvResponse(r.ci), -1);
    r.ci->magic = CINFO_MAGIC;
    EXPECT_EQ(TESSEL_DoCmd(nullptr, "NOOP", nullptr), 500);
    // Not connected.
    EXPECT_EQ(TESSEL_SendCommand(r.ci, "NOOP"), -1);
    EXPECT_STREQ(r.ci->errorBuf, "! Invalid socket");
    EXPECT_EQ(TESSEL_RecvResponse(r.ci), -1);
    EXPECT_STREQ(r.ci->replyLine, "500 no socket");
    EXPECT_EQ(TESSEL_CloseConnect(r.ci, 0), -1);
}

TEST(Record, IntFixCompletesACallerRecord)
{
    // What the client's pre-initialiser does: clear the whole record, then
    // fill the fixed fields, leaving the buffers to the library.
    CINFO *ci = (CINFO *)calloc(1, CINFO_SIZE);
    PreFillRecord(ci);
    char *ownRx = (char *)malloc(4096);
    ci->rxBuf = ownRx;
    ci->rxBufSize = 4096;
    ASSERT_EQ(TESSEL_IntFixCInfo(ci, "ignored"), ci);
    EXPECT_EQ(ci->refCount, 1);
    EXPECT_NE(ci->cmdBuf, nullptr);
    EXPECT_NE(ci->fileBuf, nullptr);
    EXPECT_NE(ci->asyncWnd, nullptr);
    TESSEL_FreeCINFO(ci);
    // The library freed its own buffers only: the caller's buffer and the
    // record itself are still the caller's.
    EXPECT_EQ(ci->rxBuf, ownRx);
    EXPECT_EQ(ci->cmdBuf, nullptr);
    EXPECT_EQ(ci->asyncWnd, nullptr);
    free(ownRx);
    free(ci);
}

TEST(Logging, AddTextAppendsLineEndsAndWritesTheDebugLog)
{
    LoggedRecord r;
    HWND e = r.edit;
    SetWindowTextA(e, "");
    EXPECT_TRUE(TESSEL_AddTextToWindow(e, "one"));
    EXPECT_TRUE(TESSEL_AddTextToWindow(e, "two\r\n"));
    TESSEL_DoPrintf(e, "n=%d %s", 5, "x");
    EXPECT_EQ(r.Log(), "one\r\ntwo\r\nn=5 x\r\n");
    EXPECT_TRUE(TESSEL_AddTextToWindow(nullptr, "no window"));
    // Over-long texts are cut to the buffer, still ending the line.
    std::string big(5000, 'z');
    SetWindowTextA(e, "");
    TESSEL_AddTextToWindow(e, big.c_str());
    EXPECT_EQ(r.Log().size(), 1023u);
    EXPECT_EQ(r.Log().substr(1021), "\r\n");

    char path[MAX_PATH];
    GetTempPathA(MAX_PATH, path);
    strcat(path, "tessel-debug-test.log");
    DeleteFileA(path);
    SetDebugLog(1, path);
    TESSEL_AddTextToWindow(nullptr, "to the file");
    TESSEL_AddTextToWindow(nullptr, "again\r\n");
    SetDebugLog(0, nullptr);
    TESSEL_AddTextToWindow(nullptr, "not written");
    HANDLE h = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    char buf[128] = {};
    DWORD got = 0;
    ReadFile(h, buf, sizeof buf - 1, &got, nullptr);
    CloseHandle(h);
    DeleteFileA(path);
    EXPECT_STREQ(buf, "to the file\r\nagain\r\n");
}

TEST(Logging, ErrorTexts)
{
    char buf[64];
    EXPECT_STREQ(TESSEL_ReturnErrorString(10061, nullptr), "connection refused");
    EXPECT_STREQ(TESSEL_ReturnErrorString(11001, buf), "Authoritive: Host not found");
    EXPECT_EQ(TESSEL_ReturnErrorString(11001, buf), buf);
    EXPECT_STREQ(TESSEL_ReturnErrorString(12345, buf), "error 12345");
    const char *shared = TESSEL_ReturnErrorString(777, nullptr);
    EXPECT_STREQ(shared, "error 777");
    TESSEL_ReturnErrorString(778, nullptr);
    EXPECT_STREQ(shared, "error 778"); // one shared buffer
}

TEST(HostTypeLists, ListAndComboBoxesGetAllNamesWithNumbers)
{
    for (int combo = 0; combo < 2; ++combo) {
        HWND w = CreateWindowExA(0, combo ? "COMBOBOX" : "LISTBOX", "",
                                 WS_POPUP | (combo ? CBS_DROPDOWNLIST : 0), 0, 0, 200, 200, nullptr,
                                 nullptr, GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(TESSEL_AddHostTypesToListBox(w, combo), 52);
        UINT getData = combo ? CB_GETITEMDATA : LB_GETITEMDATA;
        UINT getText = combo ? CB_GETLBTEXT : LB_GETTEXT;
        EXPECT_EQ(SendMessageA(w, getData, 10, 0), 6010);
        char text[64];
        SendMessageA(w, getText, 10, (LPARAM)text);
        EXPECT_STREQ(text, "UNIX (standard)");
        EXPECT_EQ(SendMessageA(w, getData, 51, 0), 6051);
        DestroyWindow(w);
    }
}

namespace {

struct PumpCtx {
    CINFO *ci;
    int closeResult;
};
PumpCtx *g_ctx;

void CALLBACK CloseFromTimer(HWND, UINT, UINT_PTR id, DWORD)
{
    KillTimer(nullptr, id);
    g_ctx->closeResult = TESSEL_CloseConnect(g_ctx->ci, 0);
}

} // namespace

TEST(Pump, CloseFromInsideAWaitCancelsTheWait)
{
    REQUIRE_FAKE_SERVER();
    int port = fake::Inline("send 220 hi\nexpect USER u\nsend 230 ok\nexpect SYST\nsend 215 UNIX\n"
                            "expect NOOP\nsleep 10\n");
    LoggedRecord r(CINFO_BLOCKING_HOOK);
    ASSERT_EQ(TESSEL_Connect(r.ci, "127.0.0.1", port, "u", "p"), 230);
    PumpCtx ctx = {r.ci, 99};
    g_ctx = &ctx;
    SetTimer(nullptr, 0, 200, CloseFromTimer);
    DWORD t0 = GetTickCount();
    EXPECT_EQ(TESSEL_DoCmd(r.ci, "NOOP", nullptr), 421);
    EXPECT_LT(GetTickCount() - t0, 3000u);
    EXPECT_EQ(ctx.closeResult, -1);            // cancelled instead of closing
    EXPECT_NE(r.ci->ctrlSocket, INVALID_SOCKET); // still ours to close
    EXPECT_EQ(TESSEL_CloseConnect(r.ci, 0), 0);
}
