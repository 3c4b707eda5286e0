// Data connections and directory listings: a real server's directory in
// both connection modes, the PASV -> PORT fallback, odd PASV and PWD
// replies, hostile listings, and the guards.
#include "transfer_util.h"

#include <map>

using namespace xfer;

namespace {

struct Seen {
    int kind;
    uint32_t size;
};

std::map<std::string, Seen> Entries(const DirectoryListing *dir)
{
    std::map<std::string, Seen> out;
    for (const ListingEntry *e = dir->firstEntry; e; e = e->next) {
        EXPECT_EQ(e->owner, dir);
        out[e->name] = {e->kind, e->size};
    }
    return out;
}

// A listing of one LIST over PASV with the given PASV reply text.
std::string ListingScript(const std::string &pasvText, const std::string &data)
{
    return std::string(FakeLogin()) +
           "expect PWD\nsend 257 \"/x\"\nexpect TYPE A\nsend 200 ok\nexpect PASV\npasv " + pasvText +
           "\nexpect LIST\nsend 150 here\ndataconnect\ndatasend " + data + "\ndataclose\nsend 226 done\n";
}

} // namespace

TEST(DataListing, RealDirectoryInPassiveAndActiveMode)
{
    REQUIRE_VSFTPD();
    for (int passive = 1; passive >= 0; --passive) {
        LoggedRecord r;
        ASSERT_EQ(ConnectVsftpd(r.ci), 230);
        r.ci->usePassive = passive;
        DirectoryListing *dir = TESSEL_GetDirectory(r.ci, "listing");
        ASSERT_NE(dir, nullptr) << r.ci->errorBuf;
        EXPECT_STREQ(dir->siteName, "127.0.0.1");
        EXPECT_STREQ(dir->path, "/");
        EXPECT_STREQ(r.ci->currentDir, "/");
        auto seen = Entries(dir);
        ASSERT_EQ(seen.size(), 5u) << r.Log();
        EXPECT_EQ(seen["plain.txt"].kind, LISTING_FILE);
        EXPECT_EQ(seen["plain.txt"].size, 5u);
        EXPECT_EQ(seen["name with blanks.txt"].kind, LISTING_FILE);
        EXPECT_EQ(seen["name with blanks.txt"].size, 11u);
        EXPECT_EQ(seen["sub"].kind, LISTING_DIR);
        EXPECT_EQ(seen["empty"].kind, LISTING_DIR);
        EXPECT_EQ(seen["link"].kind, LISTING_LINK);
        EXPECT_EQ(dir->fileCount, 2);
        EXPECT_EQ(dir->dirCount, 2);
        EXPECT_EQ(dir->linkCount, 1);
        TESSEL_FreeDirectory(dir);
        EXPECT_TRUE(Contains(r.Log(), passive ? "\r\nPASV\r\n" : "\r\nPORT 127,0,0,1,")) << r.Log();
        EXPECT_EQ(r.ci->usePassive, passive);

        dir = TESSEL_GetDirectory(r.ci, "listing/empty");
        ASSERT_NE(dir, nullptr);
        EXPECT_EQ(dir->firstEntry, nullptr);
        EXPECT_EQ(dir->fileCount + dir->dirCount + dir->linkCount, 0);
        TESSEL_FreeDirectory(dir);
        EXPECT_EQ(r.ci->busy, 0);
        EXPECT_EQ(r.ci->dataSocket, INVALID_SOCKET);
    }
}

TEST(DataListing, PasvRefusedOnceMeansPortForGood)
{
    REQUIRE_FAKE_SERVER();
    const std::string line = "-rw-r--r-- 1 u g 5 Jan 1 2000 a.txt\\r\\n";
    std::string script = std::string(FakeLogin()) +
                         "expect PWD\nsend 257 \"/\"\nexpect TYPE A\nsend 200 ok\n"
                         "expect PASV\nsend 502 no passive here\n"
                         "expect PORT 127,0,0,1,\\d+,\\d+\nsend 200 ok\nport\n"
                         "expect LIST\nsend 150 here\ndataconnect\ndatasend " + line + "\ndataclose\nsend 226 done\n"
                         "expect PWD\nsend 257 \"/\"\nexpect TYPE A\nsend 200 ok\n"
                         "expect PORT 127,0,0,1,\\d+,\\d+\nsend 200 ok\nport\n"
                         "expect LIST sub\nsend 150 here\ndataconnect\ndatasend " + line + "\ndataclose\nsend 226 done\n";
    int port = fake::Inline(script);
    const UINT kProgress = WM_APP + 5;
    Recorder rec;
    LoggedRecord r(0, kProgress);
    r.ci->notifyWnd = rec.wnd;
    r.ci->progressOn = 1;
    ASSERT_EQ(TESSEL_Connect(r.ci, "127.0.0.1", port, "u", "p"), 230);
    for (const char *arg : {(const char *)nullptr, "sub"}) {
        DirectoryListing *dir = TESSEL_GetDirectory(r.ci, arg);
        ASSERT_NE(dir, nullptr);
        ASSERT_NE(dir->firstEntry, nullptr) << r.Log();
        EXPECT_STREQ(dir->firstEntry->name, "a.txt");
        TESSEL_FreeDirectory(dir);
        EXPECT_EQ(r.ci->usePassive, 0);
    }
    // One progress message per line, with the characters read so far.
    PumpUntil([] { return false; }, 50);
    ASSERT_EQ(rec.Of(kProgress).size(), 2u);
    EXPECT_EQ(rec.Of(kProgress)[0].wp, 35u);
    TESSEL_CloseConnect(r.ci, 0);
    auto got = fake::Received(port);
    for (const auto &l : got)
        EXPECT_NE(l[0], '!') << l;
}

TEST(DataListing, OddPasvTexts)
{
    REQUIRE_FAKE_SERVER();
    const std::string line = "-rw-r--r-- 1 u g 5 Jan 1 2000 a.txt\\r\\n";
    // Texts that connect: with and without parentheses.
    for (const char *text : {"227 Entering Passive Mode %s", "227 =%s"}) {
        int port = fake::Inline(ListingScript(text, line));
        LoggedRecord r;
        ASSERT_EQ(TESSEL_Connect(r.ci, "127.0.0.1", port, "u", "p"), 230);
        DirectoryListing *dir = TESSEL_GetDirectory(r.ci, nullptr);
        ASSERT_NE(dir, nullptr);
        EXPECT_NE(dir->firstEntry, nullptr) << text << "\n" << r.Log();
        EXPECT_EQ(r.ci->usePassive, 1);
        TESSEL_FreeDirectory(dir);
    }
    // Texts that do not: the failure is logged and PORT takes over.
    struct {
        const char *reply, *error;
    } bad[] = {
        {"227 Entering Passive Mode (127,0,0,1,300,1)", "! Bad address in 227 Entering Passive Mode (127,0,0,1,300,1"},
        {"227 Passive, no address", "! Unable to parse 227 Passive, no address"},
    };
    for (const auto &b : bad) {
        std::string script = std::string(FakeLogin()) +
                             "expect PWD\nsend 257 \"/\"\nexpect TYPE A\nsend 200 ok\nexpect PASV\nsend " +
                             b.reply + "\nexpect PORT .*\nsend 200 ok\nport\nexpect LIST\nsend 150 here\n"
                             "dataconnect\ndatasend " + line + "\ndataclose\nsend 226 done\n";
        int port = fake::Inline(script);
        LoggedRecord r;
        ASSERT_EQ(TESSEL_Connect(r.ci, "127.0.0.1", port, "u", "p"), 230);
        DirectoryListing *dir = TESSEL_GetDirectory(r.ci, nullptr);
        ASSERT_NE(dir, nullptr);
        EXPECT_NE(dir->firstEntry, nullptr) << r.Log();
        EXPECT_TRUE(Contains(r.Log(), b.error)) << r.Log();
        EXPECT_EQ(r.ci->usePassive, 0);
        TESSEL_FreeDirectory(dir);
    }
}

TEST(DataListing, PwdReplies)
{
    REQUIRE_FAKE_SERVER();
    // The parsing itself is tested natively; here: what reaches the header
    // and the record, also when PWD fails.
    struct {
        std::string reply;
        std::string path;
    } cases[] = {
        {"257 \"/a\"\"b\" is current", "/a\"b"},
        {"550 no PWD today", "directory identifier unavailable"},
    };
    for (const auto &c : cases) {
        std::string script = std::string(FakeLogin()) + "expect PWD\nsend " + c.reply +
                             "\nexpect TYPE A\nsend 200 ok\nexpect PASV\npasv\nexpect LIST\nsend 550 nothing\n";
        int port = fake::Inline(script);
        LoggedRecord r;
        ASSERT_EQ(TESSEL_Connect(r.ci, "127.0.0.1", port, "u", "p"), 230);
        DirectoryListing *dir = TESSEL_GetDirectory(r.ci, nullptr);
        ASSERT_NE(dir, nullptr);
        EXPECT_EQ(dir->path, c.path);
        EXPECT_EQ(r.ci->currentDir, c.path);
        EXPECT_EQ(dir->firstEntry, nullptr); // LIST refused: a header without entries
        TESSEL_FreeDirectory(dir);
    }
    // CDC Cyber: no PWD at all.
    int port = fake::Inline(std::string(FakeLogin()) +
                            "expect TYPE A\nsend 200 ok\nexpect PASV\npasv\nexpect LIST\nsend 550 nothing\n");
    LoggedRecord r;
    ASSERT_EQ(TESSEL_Connect(r.ci, "127.0.0.1", port, "u", "p"), 230);
    r.ci->hostType = 6026;
    strcpy(r.ci->currentDir, "kept");
    DirectoryListing *dir = TESSEL_GetDirectory(r.ci, nullptr);
    ASSERT_NE(dir, nullptr);
    EXPECT_STREQ(dir->path, "directory identifier unavailable");
    EXPECT_STREQ(r.ci->currentDir, "kept");
    TESSEL_FreeDirectory(dir);
    TESSEL_CloseConnect(r.ci, 0);
    for (const auto &l : fake::Received(port))
        EXPECT_NE(l[0], '!') << l;
}

TEST(DataListing, HostileAndBrokenListings)
{
    REQUIRE_FAKE_SERVER();
    // A 10,000-byte line between two good ones, and a last line without an
    // end of line.
    const std::string good = "-rw-r--r-- 1 u g 5 Jan 1 2000 ";
    std::string data = good + "first\\r\\n-rw-r--r-- 1 u g 5 Jan 1 2000 " + std::string(10000, 'n') + "\\r\\n" +
                       good + "second\\r\\n" + good + "last";
    int port = fake::Inline(ListingScript("", data) + "expect NOOP\nsend 200 in step\n");
    {
        LoggedRecord r;
        ASSERT_EQ(TESSEL_Connect(r.ci, "127.0.0.1", port, "u", "p"), 230);
        DirectoryListing *dir = TESSEL_GetDirectory(r.ci, nullptr);
        ASSERT_NE(dir, nullptr);
        std::vector<std::string> names;
        for (ListingEntry *e = dir->firstEntry; e; e = e->next) {
            EXPECT_LT(strlen(e->name), sizeof e->name);
            names.push_back(e->name);
        }
        ASSERT_GE(names.size(), 3u);
        EXPECT_EQ(names.front(), "first");
        EXPECT_EQ(names.back(), "last");
        EXPECT_STREQ(r.ci->errorBuf, "Success");
        TESSEL_FreeDirectory(dir);
        EXPECT_EQ(TESSEL_DoCmd(r.ci, "NOOP", nullptr), 200);
    }
    // A data connection that breaks: the entries so far, and the closing
    // reply read so that the session stays in step.  (Wine reports a reset
    // as an ordinary end of data, so the error text cannot be relied on.)
    std::string script = std::string(FakeLogin()) +
                         "expect PWD\nsend 257 \"/\"\nexpect TYPE A\nsend 200 ok\nexpect PASV\npasv\n"
                         "expect LIST\nsend 150 here\ndataconnect\ndatasend " + good + "one\\r\\n" + good +
                         "two\\r\\n" + good + "thr\nsleep 0.3\ndatareset\nsend 426 broken\n"
                         "expect NOOP\nsend 200 in step\n";
    port = fake::Inline(script);
    LoggedRecord r;
    ASSERT_EQ(TESSEL_Connect(r.ci, "127.0.0.1", port, "u", "p"), 230);
    DirectoryListing *dir = TESSEL_GetDirectory(r.ci, nullptr);
    ASSERT_NE(dir, nullptr);
    ASSERT_NE(dir->firstEntry, nullptr);
    EXPECT_STREQ(dir->firstEntry->name, "one");
    EXPECT_GE(dir->fileCount, 2);
    EXPECT_STREQ(r.ci->replyLine, "426 broken");
    if (r.ci->lastError)
        EXPECT_EQ(strncmp(r.ci->errorBuf, "! Receive error ", 16), 0) << r.ci->errorBuf;
    TESSEL_FreeDirectory(dir);
    EXPECT_EQ(TESSEL_DoCmd(r.ci, "NOOP", nullptr), 200);
}

TEST(DataListing, GuardsLeaveTheRecordUsable)
{
    EXPECT_EQ(TESSEL_GetDirectory(nullptr, nullptr), nullptr);
    LoggedRecord r;
    r.ci->busy = 1;
    strcpy(r.ci->errorBuf, "untouched");
    EXPECT_EQ(TESSEL_GetDirectory(r.ci, nullptr), nullptr);
    EXPECT_STREQ(r.ci->errorBuf, "untouched");
    r.ci->busy = 0;
    r.ci->magic = 7;
    EXPECT_EQ(TESSEL_GetDirectory(r.ci, nullptr), nullptr);
    EXPECT_STREQ(r.ci->errorBuf, "untouched"); // a stale record is not written
    r.ci->magic = CINFO_MAGIC;
    // Not connected: refused, and neither busy nor holding a reference.
    EXPECT_EQ(TESSEL_GetDirectory(r.ci, nullptr), nullptr);
    EXPECT_STREQ(r.ci->errorBuf, "! No socket");
    EXPECT_EQ(r.ci->busy, 0);
    EXPECT_EQ(r.ci->refCount, 1);
    EXPECT_EQ(TESSEL_DoCmd(r.ci, "NOOP", nullptr), 500);
    EXPECT_STRNE(r.ci->errorBuf, "! busy");
}

TEST(DataListing, LocalDirectoryHasFoldersFirstThenMatchingFiles)
{
    std::string dir = TempDir("local");
    CreateDirectoryA((dir + "\\sub").c_str(), nullptr);
    ASSERT_TRUE(WriteAll(dir + "\\a.txt", "12345"));
    ASSERT_TRUE(WriteAll(dir + "\\b.bin", "1"));
    char old[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, old);
    ASSERT_TRUE(SetCurrentDirectoryA(dir.c_str()));
    DirectoryListing *l = TESSEL_GetLocalDirectory(nullptr, "*.txt");
    SetCurrentDirectoryA(old);
    ASSERT_NE(l, nullptr);
    EXPECT_STREQ(l->siteName, "LOCALHOST");
    EXPECT_STRCASEEQ(l->path, dir.c_str());
    std::vector<std::string> names;
    bool filesStarted = false;
    for (ListingEntry *e = l->firstEntry; e; e = e->next) {
        names.push_back(e->name);
        if (e->kind == LISTING_FILE)
            filesStarted = true;
        else
            EXPECT_FALSE(filesStarted) << "folder after a file: " << e->name;
        if (!strcmp(e->name, "a.txt")) {
            EXPECT_EQ(e->size, 5u);
            EXPECT_GE(e->year, 2000u);
            EXPECT_EQ(e->second, 0u);
        }
    }
    EXPECT_EQ(l->dirCount, 3); // ".", ".." and "sub"
    EXPECT_EQ(l->fileCount, 1);
    EXPECT_EQ(names.back(), "a.txt");
    TESSEL_FreeDirectory(l);

    // A file over 4 GiB (a hole, no disk) shows the largest 32-bit size.
    HANDLE h = CreateFileA((dir + "\\huge.bin").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    LONG high = 1;
    SetFilePointer(h, 4096, &high, FILE_BEGIN);
    SetEndOfFile(h);
    CloseHandle(h);
    LoggedRecord r;
    SetCurrentDirectoryA(dir.c_str());
    l = TESSEL_GetLocalDirectory(r.ci, nullptr); // "*.*"
    SetCurrentDirectoryA(old);
    ASSERT_NE(l, nullptr);
    EXPECT_EQ(l->fileCount, 3);
    for (ListingEntry *e = l->firstEntry; e; e = e->next)
        if (!strcmp(e->name, "huge.bin"))
            EXPECT_EQ(e->size, 0xFFFFFFFFu);
    TESSEL_FreeDirectory(l);
    DeleteFileA((dir + "\\huge.bin").c_str());
}

// Today's listing lines through the engine: whole names, a name that ends
// in blanks keeps them, and messages and headers in the listing give no
// entries.
TEST(DataListing, TodaysLinesWholeNamesAndNoNoise)
{
    REQUIRE_FAKE_SERVER();
    const std::string data =
        "/pub:\\r\\n"
        "total 12\\r\\n"
        "drwxr-xr-x 2 ann  Domain Users  4096 Mar  2  2011 reports\\r\\n"
        "-rw-r--r-- 1 webowner staffgroup9876543 Jul  4  2011 x\\r\\n"
        "-rw-r--r-- 1 ann staff 12 Dec 02  2009  two  blanks \\r\\n"
        "-rw-r--r-- 1 ann staff 7 2011-03-14 09:30 iso date.txt\\r\\n"
        "ls: cannot open directory 'private': Permission denied\\r\\n"
        "   \\r\\n"
        "drwxr-xr-x 2 ann staff 4096 Mar  2 15:13\\r\\n";
    int port = fake::Inline(ListingScript("", data) + "expect NOOP\nsend 200 in step\n");
    LoggedRecord r;
    ASSERT_EQ(TESSEL_Connect(r.ci, "127.0.0.1", port, "u", "p"), 230);
    r.ci->hostType = 6010;
    DirectoryListing *dir = TESSEL_GetDirectory(r.ci, nullptr);
    ASSERT_NE(dir, nullptr);
    auto seen = Entries(dir);
    EXPECT_EQ(seen.size(), 4u) << r.Log();
    EXPECT_EQ(seen["reports"].kind, LISTING_DIR);
    EXPECT_EQ(seen["x"].size, 9876543u);
    EXPECT_EQ(seen.count("two  blanks "), 1u);
    EXPECT_EQ(seen["iso date.txt"].size, 7u);
    EXPECT_EQ(dir->dirCount, 1);
    EXPECT_EQ(dir->fileCount, 3);
    TESSEL_FreeDirectory(dir);
    EXPECT_EQ(TESSEL_DoCmd(r.ci, "NOOP", nullptr), 200);
}
