// Retrieval through an HTTP proxy: a real proxy (tinyproxy) in front of a
// local web server, and the scripted fake server playing a proxy for the
// request's exact form and for broken responses.
#include "async_util.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace async;
using Lines = std::vector<std::string>;

namespace {

std::string Local(const char *name) { return TempDir("http") + "\\" + name; }

// A fake proxy: reads the five request lines, then answers with the script.
std::string Proxy(const std::string &answer)
{
    return "expect *\nexpect *\nexpect *\nexpect *\nexpect *\n" + answer;
}

int SetFakeProxy(CINFO *ci, int port) { return TESSEL_SetHTTPProxy(ci, "127.0.0.1", port, "pu", "pp"); }

} // namespace

TEST(HttpProxy, RealProxyStoresTheBodyByteIdentical)
{
    if (!ProxyPort() || !HttpPort())
        GTEST_SKIP() << "no HTTP proxy or web server in the test bed";
    const std::string data = RandomBytes(3 << 20, 77);
    ASSERT_TRUE(WriteFileBytes(HttpRoot() + "\\blob.bin", data));
    AsyncRecord r;
    for (const char *proxy : {"localhost", "127.0.0.1"}) {
        SCOPED_TRACE(proxy);
        ASSERT_EQ(TESSEL_SetHTTPProxy(r.ci, proxy, ProxyPort(), "", ""), 1) << r.ci->errorBuf;
        EXPECT_STREQ(r.ci->host, proxy);
        EXPECT_EQ(ntohs(r.ci->serverAddr.sin_port), ProxyPort());
        std::string out = Local("blob.bin");
        DeleteFileA(out.c_str());
        EXPECT_EQ(TESSEL_HTTPRetrieve(r.ci, 1, "127.0.0.1", HttpPort(), "/blob.bin", out.c_str(), 0), 1)
            << r.ci->errorBuf << r.Log();
        EXPECT_TRUE(ReadFileBytes(out) == data) << "stored body differs";
        EXPECT_EQ(std::string(r.ci->replyLine).substr(0, 13), "HTTP/1.0 200 ") << r.ci->replyLine;
        EXPECT_EQ(r.ci->ctrlSocket, INVALID_SOCKET);
        EXPECT_EQ(r.ci->busy, 0);
    }
    // An error status: its body is what gets stored.
    std::string out = Local("missing.html");
    EXPECT_EQ(TESSEL_HTTPRetrieve(r.ci, 1, "127.0.0.1", HttpPort(), "no-such-file.txt", out.c_str(), 0), 1);
    EXPECT_NE(std::string(r.ci->replyLine).find(" 404 "), std::string::npos) << r.ci->replyLine;
    EXPECT_NE(ReadFileBytes(out).find("404"), std::string::npos);
    std::string log = r.Log();
    EXPECT_NE(log.find("GET http://127.0.0.1:" + std::to_string(HttpPort()) + "/blob.bin HTTP/1.0\r\n"),
              std::string::npos)
        << log;
}

TEST(HttpProxy, RequestForm)
{
    REQUIRE_FAKE_SERVER();
    struct Case {
        int http;
        const char *host;
        int port;
        const char *path;
        Lines request;
    } cases[] = {
        {1, "example.com", 80, "/dir/file.txt",
         {"GET http://example.com/dir/file.txt HTTP/1.0", "Accept: */*", "User-Agent: TESSEL/5.0", "Host: example.com",
          ""}},
        {1, "example.com", 8080, "dir/file.txt",
         {"GET http://example.com:8080/dir/file.txt HTTP/1.0", "Accept: */*", "User-Agent: TESSEL/5.0",
          "Host: example.com:8080", ""}},
        {0, "ftp.example.com", 21, "/pub/readme",
         {"GET ftp://ftp.example.com/pub/readme HTTP/1.0", "Accept: */*", "User-Agent: TESSEL/5.0",
          "Host: ftp.example.com:21", ""}},
        {0, "ftp.example.com", 2121, "pub/readme",
         {"GET ftp://ftp.example.com:2121/pub/readme HTTP/1.0", "Accept: */*", "User-Agent: TESSEL/5.0",
          "Host: ftp.example.com:2121", ""}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.request[0]);
        int port = fake::Inline(Proxy("raw HTTP/1.0 200 OK\\r\\nContent-Length: 5\\r\\n\\r\\nhello\nclose\n"));
        AsyncRecord r;
        ASSERT_EQ(SetFakeProxy(r.ci, port), 1);
        EXPECT_STREQ(r.ci->user, "pu");
        std::string out = Local("form.txt");
        EXPECT_EQ(TESSEL_HTTPRetrieve(r.ci, c.http, c.host, c.port, c.path, out.c_str(), 0), 1) << r.ci->errorBuf;
        // The answer came, so the fake read all five lines; its log cannot
        // show a trailing empty line, hence one line less.
        EXPECT_EQ(ReadFileBytes(out), "hello");
        EXPECT_EQ(fake::Received(port), Lines(c.request.begin(), c.request.end() - 1));
    }
}

TEST(HttpProxy, BrokenResponses)
{
    REQUIRE_FAKE_SERVER();
    struct Case {
        const char *name;
        std::string answer;
        int result;
        const char *stored; // null: no file may be made
    } cases[] = {
        {"closed before the header ends", "raw HTTP/1.0 200 OK\\r\\nContent-Le\nclose\n", 1, nullptr},
        {"no empty line at all", "repeat 50 X-Field: value\nclose\n", 1, nullptr},
        {"error status with a body", "raw HTTP/1.0 502 Bad Gateway\\r\\nServer: x\\r\\n\\r\\n<html>bad gateway</html>\nclose\n",
         1, "<html>bad gateway</html>"},
        {"a header line of 100 KB",
         "raw HTTP/1.0 200 OK\\r\\nX-Long: " + std::string(100000, 'a') + "\\r\\n\\r\\nbody after\nclose\n", 1,
         "body after"},
        {"more than 4 GiB announced, 1200 bytes sent",
         "raw HTTP/1.0 200 OK\\r\\nContent-Length: 5000000000\\r\\n\\r\\n\nrepeat 100 0123456789\nclose\n", 1, ""},
        {"header goes quiet", "raw HTTP/1.0 200 OK\\r\\n\nsleep 4\nclose\n", 1, nullptr},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        int port = fake::Inline(Proxy(c.answer));
        AsyncRecord r;
        r.ci->timeout = 1; // one second without data ends the header
        ASSERT_EQ(SetFakeProxy(r.ci, port), 1);
        std::string out = Local("broken.bin");
        DeleteFileA(out.c_str());
        const DWORD t0 = GetTickCount();
        EXPECT_EQ(TESSEL_HTTPRetrieve(r.ci, 1, "example.com", 80, "x", out.c_str(), 0), c.result) << r.ci->errorBuf;
        EXPECT_LT(GetTickCount() - t0, 3800u);
        if (!c.stored) {
            EXPECT_FALSE(FileExists(out));
        } else if (c.stored[0]) {
            EXPECT_EQ(ReadFileBytes(out), c.stored);
        } else {
            std::string expect;
            for (int i = 0; i < 100; ++i)
                expect += "0123456789\r\n";
            EXPECT_EQ(ReadFileBytes(out), expect);
            EXPECT_EQ(r.ci->byteCount, 1200);
        }
        EXPECT_LE(strlen(r.ci->replyLine), 255u);
        EXPECT_EQ(r.ci->busy, 0);
        EXPECT_EQ(r.ci->ctrlSocket, INVALID_SOCKET);
        // The record goes on: one more request through another fake proxy.
        int port2 = fake::Inline(Proxy("raw HTTP/1.0 200 OK\\r\\n\\r\\nok\nclose\n"));
        ASSERT_EQ(SetFakeProxy(r.ci, port2), 1);
        EXPECT_EQ(TESSEL_HTTPRetrieve(r.ci, 1, "example.com", 80, "x", out.c_str(), 0), 1);
        EXPECT_EQ(ReadFileBytes(out), "ok");
    }
}

TEST(HttpProxy, UnknownOrUnreachableProxy)
{
    AsyncRecord r;
    EXPECT_EQ(TESSEL_SetHTTPProxy(r.ci, "no-such-host.invalid", 8080, "", ""), 0);
    EXPECT_STREQ(r.ci->errorBuf, "failed to resolve no-such-host.invalid");
    EXPECT_NE(r.Log().find("! Host not resolved"), std::string::npos);
    EXPECT_EQ(r.ci->busy, 0);

    ASSERT_EQ(TESSEL_SetHTTPProxy(r.ci, "127.0.0.1", ClosedPort(), "", ""), 1);
    std::string out = Local("never.txt");
    DeleteFileA(out.c_str());
    EXPECT_EQ(TESSEL_HTTPRetrieve(r.ci, 1, "h", 80, "p", out.c_str(), 0), 0);
    EXPECT_STREQ(r.ci->errorBuf, "connect to 127.0.0.1 failed");
    EXPECT_EQ(r.ci->lastError, WSAECONNREFUSED);
    EXPECT_FALSE(FileExists(out));
    EXPECT_EQ(r.ci->busy, 0);
}

TEST(HttpProxy, UnsafeRequestAndUnwritableFile)
{
    REQUIRE_FAKE_SERVER();
    AsyncRecord r;
    // A line break in the host or path would smuggle in another request.
    ASSERT_EQ(TESSEL_SetHTTPProxy(r.ci, "127.0.0.1", ClosedPort(), "", ""), 1);
    EXPECT_EQ(TESSEL_HTTPRetrieve(r.ci, 1, "h\r\nX: y", 80, "p", "f", 0), 0);
    EXPECT_EQ(TESSEL_HTTPRetrieve(r.ci, 1, "h", 80, "a\r\n\r\nGET http://evil/", "f", 0), 0);
    EXPECT_EQ(std::string(r.ci->errorBuf).rfind("! request refused", 0), 0u) << r.ci->errorBuf;
    EXPECT_EQ(TESSEL_HTTPRetrieve(r.ci, 1, "h", 80, std::string(3000, 'p').c_str(), "f", 0), 0);
    // The body has nowhere to go: a failure, not a success.
    int port = fake::Inline(Proxy("raw HTTP/1.0 200 OK\\r\\n\\r\\nbody\nclose\n"));
    ASSERT_EQ(SetFakeProxy(r.ci, port), 1);
    std::string bad = TempDir("http") + "\\no\\such\\dir\\f.txt";
    EXPECT_EQ(TESSEL_HTTPRetrieve(r.ci, 1, "h", 80, "p", bad.c_str(), 0), 0);
    EXPECT_EQ(std::string(r.ci->errorBuf), "! Failed to open " + bad + " for write.");
    EXPECT_EQ(r.ci->busy, 0);
    EXPECT_EQ(r.ci->ctrlSocket, INVALID_SOCKET);
}
