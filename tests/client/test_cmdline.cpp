// Both stages of the command line, path classification and the URL handler
// registration.
#include "clienttest.h"

#include <string>
#include <thread>

using namespace t95;

namespace {

std::string Rest(const char *text, int *ok = nullptr)
{
    char rest[8192];
    int r = ParseOptions(text, rest, sizeof rest);
    if (ok)
        *ok = r;
    return rest;
}

struct Classified {
    int cls;
    std::string host, path;
};

Classified Classify(const char *w)
{
    char host[256], path[256];
    int c = ClassifyPath(w, host, sizeof host, path, sizeof path);
    return {c, host, path};
}

} // namespace

TEST(ClientOptions, EveryOptionOfStageOne)
{
    ct::ClientState st("[_config_]\r\nVIEWER=first\r\n[prof]\r\nHOST=p.example.org\r\nUID=pu\r\nTIMEOUT=30\r\n");
    st.dir.Write("other.ini", "[_config_]\r\nVIEWER=second\r\n[prof2]\r\nHOST=q.example.org\r\n");
    int ok;
    EXPECT_EQ(Rest("-binary -u joe -w pw -c acct -d local:c:/x -s host:/f rest words", &ok), "rest words");
    EXPECT_EQ(ok, 1);
    EXPECT_EQ(g_cfg.mode, 'I');
    EXPECT_STREQ(g_cmd.user, "joe");
    EXPECT_STREQ(g_cmd.pass, "pw");
    EXPECT_STREQ(g_cmd.acct, "acct");
    EXPECT_STREQ(g_cmd.dst, "local:c:/x");
    EXPECT_STREQ(g_cmd.src, "host:/f");
    EXPECT_EQ(g_cmd.unattended, 1);

    memset(&g_cmd, 0, sizeof g_cmd);
    EXPECT_EQ(Rest("-ascii -quiet -m batch.txt"), "");
    EXPECT_EQ(g_cfg.mode, 'A');
    EXPECT_EQ(g_cmd.quiet, 1);
    EXPECT_STREQ(g_cmd.batch, "batch.txt");
    EXPECT_EQ(g_cmd.unattended, 1);
    // Options are known by their second character.
    EXPECT_EQ(Rest("-Bin -q x"), "x");
    EXPECT_EQ(g_cfg.mode, 'I');

    EXPECT_EQ(Rest("-p prof a b"), "a b");
    EXPECT_STREQ(g_session.name, "prof");
    EXPECT_STREQ(g_session.host, "p.example.org");
    EXPECT_EQ(g_session.timeout, 30);

    std::string iopt = "-i " + st.dir.File("other.ini") + " -p prof2 z";
    EXPECT_EQ(Rest(iopt.c_str()), "z");
    EXPECT_STREQ(g_files.ini, st.dir.File("other.ini").c_str());
    EXPECT_STREQ(g_cfg.viewer, "second") << "-i loads the configuration again";
    EXPECT_STREQ(g_session.host, "q.example.org");
}

TEST(ClientOptions, UnknownAndOverlongOptionsStopEverything)
{
    ct::ClientState st;
    int ok = 1;
    EXPECT_EQ(Rest("-u joe -x host:/f", &ok), "");
    EXPECT_EQ(ok, 0);
    EXPECT_STREQ(g_cmd.user, "joe");
    // Values that do not fit the 80-character fields are refused, not cut.
    std::string longUser = "-u " + std::string(80, 'u') + " host:/f";
    EXPECT_EQ(Rest(longUser.c_str(), &ok), "");
    EXPECT_EQ(ok, 0);
    EXPECT_STREQ(g_cmd.user, "joe");
    std::string longPass = "-w " + std::string(500, 'p');
    EXPECT_EQ(Rest(longPass.c_str(), &ok), "");
    EXPECT_EQ(ok, 0);
    EXPECT_STREQ(g_cmd.pass, "");
    std::string fits = "-c " + std::string(79, 'a') + " h:/f";
    EXPECT_EQ(Rest(fits.c_str(), &ok), "h:/f");
    EXPECT_EQ(strlen(g_cmd.acct), 79u);
    // A 5,000-character command line: nothing past a buffer, a clean refusal.
    std::string huge = "-s " + std::string(5000, 's');
    EXPECT_EQ(Rest(huge.c_str(), &ok), "");
    EXPECT_EQ(ok, 0);
    std::string words = std::string(2500, 'a') + " " + std::string(2500, 'b');
    EXPECT_EQ(Rest(words.c_str(), &ok), words);
    EXPECT_EQ(ok, 1);
}

TEST(ClientOptions, ConfigFollowedByAWordIsTheAccountOption)
{
    ct::ClientState st;
    EXPECT_EQ(Rest("-config word host:/x"), "host:/x");
    EXPECT_STREQ(g_cmd.acct, "word");
}

TEST(ClientOptions, ConfigAloneRegistersTheQuotedUrlHandlerAndExits)
{
    ct::ClientState st;
    // The confirmation box is closed by a helper thread.
    volatile bool done = false;
    std::thread closer([&] {
        while (!done) {
            HWND box = FindWindowA("#32770", T95_APPNAME);
            if (box)
                PostMessageA(box, WM_COMMAND, IDOK, 0);
            Sleep(50);
        }
    });
    int rc = TesselMain(GetModuleHandleA(nullptr), nullptr, "-CONFIG", SW_SHOWNORMAL);
    done = true;
    closer.join();
    EXPECT_EQ(rc, 0);
    char exe[MAX_PATH];
    GetModuleFileNameA(nullptr, exe, sizeof exe);
    char value[600];
    LONG len = sizeof value;
    ASSERT_EQ(RegQueryValueA(HKEY_CLASSES_ROOT, "ftp\\shell\\open\\command", value, &len), ERROR_SUCCESS);
    EXPECT_EQ(std::string(value), "\"" + std::string(exe) + "\" \"%1\"");
    len = sizeof value;
    ASSERT_EQ(RegQueryValueA(HKEY_CLASSES_ROOT, "ftp\\DefaultIcon", value, &len), ERROR_SUCCESS);
    EXPECT_EQ(std::string(value), std::string(exe) + ",0");
    HKEY key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, "ftp\\shell\\open", 0, KEY_READ, &key), ERROR_SUCCESS);
    BYTE flags[8];
    DWORD type, size = sizeof flags;
    EXPECT_EQ(RegQueryValueExA(key, "EditFlags", nullptr, &type, flags, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, (DWORD)REG_BINARY);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(flags[0], 1);
    RegCloseKey(key);
}

TEST(ClientPaths, Classification)
{
    struct Case {
        const char *word;
        int cls;
        const char *host, *path;
    } cases[] = {
        {"", 0, "", ""},
        {"local:c:/tmp/file", 1, "", "c:/tmp/file"},
        {"LOCAL:/x", 1, "", "/x"},
        {"file.txt", 1, "", "file.txt"},
        {"/dir/file", 1, "", "/dir/file"},
        {"host:/pub/file", 2, "host", "/pub/file"},
        {"ftp://host/pub/file", 2, "host", "/pub/file"},
        {"FTP://host/pub/file", 2, "host", "/pub/file"},
        {"//host/pub/file", 2, "host", "/pub/file"},
        {"host::/a", 2, "host", "/a"},
        {"ftp:file://host/dir/", 2, "host", "/dir/"},
        {"ftp://host", 2, "host", ""},
        // A drive colon without "local:" names a remote host "c".
        {"c:/tmp/file", 2, "c", "/tmp/file"},
    };
    for (const Case &c : cases) {
        Classified r = Classify(c.word);
        EXPECT_EQ(r.cls, c.cls) << c.word;
        EXPECT_EQ(r.host, c.host) << c.word;
        EXPECT_EQ(r.path, c.path) << c.word;
    }
    // "ftp://host/dir/file" and "host:/dir/file" name the same file.
    Classified a = Classify("ftp://h.example.org/dir/file"), b = Classify("h.example.org:/dir/file");
    EXPECT_EQ(a.host, b.host);
    EXPECT_EQ(a.path, b.path);
    // Parts that do not fit are refused instead of cut.
    std::string longHost = std::string(300, 'h') + ":/x";
    EXPECT_EQ(Classify(longHost.c_str()).cls, 0);
}

TEST(ClientStageTwo, WordsFlagsAndUnusablePairs)
{
    ct::ClientState st;
    char a[256], b[256];
    SplitWords("  \"c:/my dir/f.txt\"\thost:/x  extra", a, sizeof a, b, sizeof b);
    EXPECT_STREQ(a, "c:/my dir/f.txt");
    EXPECT_STREQ(b, "host:/x");

    // Two local words make no transfer: refused quietly (no box with -quiet),
    // with -u and -w kept, and "-lower"/"-ascii" taken out of the words.
    strcpy(g_cmd.user, "keepme");
    strcpy(g_cmd.pass, "secret");
    g_cmd.quiet = 0;
    g_cfg.mode = 'I';
    RunCommandLine(nullptr, "-lower a.txt -quiet -ascii b\\c.txt");
    EXPECT_EQ(g_cmd.quiet, 1);
    EXPECT_EQ(g_cfg.mode, 'A');
    EXPECT_EQ(g_cfg.forclow, 1);
    EXPECT_EQ(g_cmd.unattended, 1);
    EXPECT_EQ(g_cmd.lastResult, 0);
    EXPECT_STREQ(g_cmd.user, "keepme");
    EXPECT_STREQ(g_cmd.pass, "secret");
    // A 5,000-character stage-two text, and a destination too long to keep:
    // refused, not cut or dropped.
    std::string huge = std::string(5000, 'x') + " " + std::string(100, 'y');
    RunCommandLine(nullptr, huge.c_str());
    EXPECT_EQ(g_cmd.lastResult, 0);
    std::string longDst = "host:/f local:" + std::string(300, 'd');
    EXPECT_EQ(SplitWords(longDst.c_str(), a, sizeof a, b, sizeof b), 0);
    EXPECT_STREQ(a, "");
    EXPECT_STREQ(b, "");
    char line[64];
    RunCommandLine(nullptr, longDst.c_str());
    LogLineAt(0, line, sizeof line);
    EXPECT_STREQ(line, "! Argument too long");
}
