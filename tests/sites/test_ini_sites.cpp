// Site profiles in TESSEL.INI: round trips through the private-profile API,
// storage against "_config_", files written by other programs, the shared
// "FIREWALL" section, enumeration, deletion, and hostile files and names.
#include "sitestest.h"
#include "scramble.h"

#include <fstream>

namespace {

struct Vector {
    std::string user, password, vform;
};

std::string FromHex(const std::string &h)
{
    std::string out;
    if (h == "-")
        return out;
    for (size_t i = 0; i + 1 < h.size(); i += 2)
        out += (char)std::stoi(h.substr(i, 2), nullptr, 16);
    return out;
}

// Known answers computed with Python's MD5 (tests/data/sites/scramble_vectors.py).
std::vector<Vector> LoadVectors()
{
    std::vector<Vector> out;
    std::ifstream in(TESSEL_TEST_DATA "/sites/scramble_vectors.txt");
    std::string u, p, v, o;
    while (in >> u >> p >> v >> o)
        out.push_back({FromHex(u), FromHex(p), v});
    return out;
}

std::vector<std::string> KeysOf(const std::string &ini, const char *section)
{
    std::vector<char> buf(65536);
    DWORD n = GetPrivateProfileStringA(section, nullptr, "", buf.data(), (DWORD)buf.size(), ini.c_str());
    std::vector<std::string> keys;
    for (DWORD i = 0; i < n;) {
        std::string k = buf.data() + i;
        if (k.empty())
            break;
        keys.push_back(k);
        i += (DWORD)k.size() + 1;
    }
    std::sort(keys.begin(), keys.end());
    return keys;
}

} // namespace

class SitesIni : public SitesTest {
protected:
    void SetUp() override
    {
        SitesTest::SetUp();
        ASSERT_EQ(UseIni(), S_OK);
    }

    // An INI profile has no key for the "last connection failed" bit nor the
    // local mask.
    static FTPSITEINFO IniFull(const char *name)
    {
        FTPSITEINFO r = Full(name);
        r.flags &= ~SITE_LAST_FAILED;
        r.localMask[0] = 0;
        return r;
    }
};

TEST_F(SitesIni, PlatformMd5MatchesIndependentVectors)
{
    auto vectors = LoadVectors();
    ASSERT_GE(vectors.size(), 8u);
    for (const auto &v : vectors) {
        char out[1024];
        ASSERT_TRUE(ScrambleIniPassword(v.user.c_str(), v.password.c_str(), out, sizeof out));
        EXPECT_EQ(std::string(out), v.vform);
    }
    char md5[33];
    ASSERT_TRUE(Md5Hex("", 0, md5));
    EXPECT_STREQ(md5, "D41D8CD98F00B204E9800998ECF8427E");
}

TEST_F(SitesIni, EveryFieldSurvivesWriteAndRead)
{
    FTPSITEINFO site = IniFull("full site");
    ASSERT_EQ(TESSEL_SetFTPSiteInfo(&site), S_OK);
    FTPSITEINFO back = Empty();
    ASSERT_EQ(TESSEL_GetFTPSiteInfo("full site", &back), S_OK);
    EXPECT_SAME_SITE(back, site);
    // Passwords never appear in clear in the file.
    std::string file = FileText(ini_);
    EXPECT_EQ(file.find("ss w;rd"), std::string::npos);
    EXPECT_EQ(file.find("fw\xb5pass"), std::string::npos);

    // An anonymous site with the address as its saved password.
    FTPSITEINFO anon = IniFull("anon");
    strcpy(anon.user, "");
    strcpy(anon.password, "me@example.org");
    anon.flags = SITE_DEFAULT_FLAGS | SITE_SAVE_PASSWORD;
    ASSERT_EQ(TESSEL_SetFTPSiteInfo(&anon), S_OK);
    ASSERT_EQ(TESSEL_GetFTPSiteInfo("anon", &back), S_OK);
    EXPECT_STREQ(back.user, "anonymous");
    EXPECT_STREQ(back.password, "me@example.org");
    EXPECT_EQ(back.flags & (SITE_ANONYMOUS | SITE_SAVE_PASSWORD), SITE_ANONYMOUS | SITE_SAVE_PASSWORD);
}

TEST_F(SitesIni, WrittenKeysReadBackWithPlainProfileCalls)
{
    FTPSITEINFO site = IniFull("plain");
    ASSERT_EQ(TESSEL_SetFTPSiteInfo(&site), S_OK);
    EXPECT_EQ(IniValue("plain", "HOST"), "ftp.example.org");
    EXPECT_EQ(IniValue("plain", "UID"), "alice");
    char pwd[1024];
    ASSERT_TRUE(ScrambleIniPassword("alice", site.password, pwd, sizeof pwd));
    EXPECT_EQ(IniValue("plain", "PWD"), pwd);
    EXPECT_EQ(IniValue("plain", "TYPE"), "6012");
    EXPECT_EQ(IniValue("plain", "DIR"), "/pub/files");
    EXPECT_EQ(IniValue("plain", "ACT"), "acct1");
    EXPECT_EQ(IniValue("plain", "TIMEOFFSET"), "-2");
    EXPECT_EQ(IniValue("plain", "TIMEOUT"), "30");
    EXPECT_EQ(IniValue("plain", "RMASK"), "*.txt");
    EXPECT_EQ(IniValue("plain", "INITCMD"), "SITE UMASK 022;SITE IDLE 60");
    EXPECT_EQ(IniValue("plain", "PORT"), "2121");
    EXPECT_EQ(IniValue("plain", "RETRIES"), "4");
    EXPECT_EQ(IniValue("plain", "COMMENT"), "the comment");
    EXPECT_EQ(IniValue("plain", "ICONFILE"), "C:\\icons\\site.ico");
    EXPECT_EQ(IniValue("plain", "ICONINDEX"), "3");
    EXPECT_EQ(IniValue("plain", "CGOOD"), "7");
    EXPECT_EQ(IniValue("plain", "CFAIL"), "2");
    EXPECT_EQ(IniValue("plain", "FIREWALL"), "1");
    FILETIME ft;
    SystemTimeToFileTime(&site.prevCon, &ft);
    char ctime[64];
    snprintf(ctime, sizeof ctime, "%ld %ld", (long)ft.dwLowDateTime, (long)ft.dwHighDateTime);
    EXPECT_EQ(IniValue("plain", "CTIME"), ctime);
    // Flag keys: set bits as "1"; "HASH" and "RETAIN", whose absence means
    // set, as "0"; the other clear bits not at all.
    EXPECT_EQ(IniValue("plain", "VRFYDEL"), "1");
    EXPECT_EQ(IniValue("plain", "PROMPT"), "1");
    EXPECT_EQ(IniValue("plain", "FORCELOW"), "1");
    EXPECT_EQ(IniValue("plain", "CONVEXT"), "1");
    EXPECT_EQ(IniValue("plain", "HASH"), "0");
    EXPECT_EQ(IniValue("plain", "RETAIN"), "0");
    EXPECT_EQ(IniValue("plain", "PASVMODE"), "<none>");
    EXPECT_EQ(IniValue("plain", "DLGOW"), "<none>");
    EXPECT_EQ(IniValue("FIREWALL", "FIRETYPE"), "4");
    EXPECT_EQ(IniValue("FIREWALL", "HOST"), "fw.example.org");
    EXPECT_EQ(IniValue("FIREWALL", "UID"), "fwuser");
    EXPECT_EQ(IniValue("FIREWALL", "PORT"), "1080");
    char fwpwd[1024];
    ASSERT_TRUE(ScrambleIniPassword("fwuser", site.fwPassword, fwpwd, sizeof fwpwd));
    EXPECT_EQ(IniValue("FIREWALL", "PWD"), fwpwd);
    char clear[256];
    ASSERT_TRUE(TesselDescrambleIni(IniValue("FIREWALL", "PWD").c_str(), clear, sizeof clear));
    EXPECT_STREQ(clear, site.fwPassword);
}

TEST_F(SitesIni, ProfileEqualToConfigWritesOnlyWhatDiffers)
{
    FTPSITEINFO config = Empty();
    ASSERT_EQ(ReadSiteProfile(FTPSITE_CONFIG_NAME, &config, nullptr), S_OK); // "MAILADDR" only
    config.flags = SITE_DEFAULT_FLAGS & ~SITE_STATUS_DLG;
    config.timeout = 90;
    config.port = 2121;
    config.hostType = 6003;
    config.retries = 2;
    config.fwType = 2;
    config.flags |= SITE_USE_FIREWALL;
    strcpy(config.fwHost, "fw");
    ASSERT_EQ(TESSEL_SetFTPSiteInfo(&config), S_OK);
    EXPECT_EQ(IniValue("_config_", "HOST"), "<none>");
    ASSERT_EQ(ReadSiteProfile(FTPSITE_CONFIG_NAME, &config, nullptr), S_OK);

    FTPSITEINFO site = config;
    strcpy(site.name, "same");
    strcpy(site.host, "same.example.org");
    strcpy(site.user, "dave");
    site.password[0] = 0;
    site.flags &= ~(SITE_ANONYMOUS | SITE_SAVE_PASSWORD);
    ASSERT_EQ(WriteSiteProfile(&site, &config), S_OK);
    EXPECT_EQ(KeysOf(ini_, "same"), (std::vector<std::string>{"FIREWALL", "HOST", "UID"}));
    FTPSITEINFO back = Empty();
    ASSERT_EQ(ReadSiteProfile("same", &back, &config), S_OK);
    EXPECT_SAME_SITE(back, site);

    // Usual values that differ from the defaults are written after all.
    site.port = 21;
    site.hostType = 6000;
    site.timeout = 0;
    site.flags |= SITE_STATUS_DLG;
    ASSERT_EQ(WriteSiteProfile(&site, &config), S_OK);
    EXPECT_EQ(KeysOf(ini_, "same"),
              (std::vector<std::string>{"FIREWALL", "HASH", "HOST", "PORT", "TIMEOUT", "TYPE", "UID"}));
    ASSERT_EQ(ReadSiteProfile("same", &back, &config), S_OK);
    EXPECT_SAME_SITE(back, site);
}

TEST_F(SitesIni, FileWrittenByAnotherProgramIsRead)
{
    auto vectors = LoadVectors();
    ASSERT_GE(vectors.size(), 4u);
    WriteText(ini_, "; written by hand\r\n"
                    "[_config_]\r\n"
                    "MAILADDR=me@example.org\r\n"
                    "HASH=0\r\n"
                    "\r\n"
                    "[FIREWALL]\r\n"
                    "FIRETYPE=4\r\n"
                    "HOST=fw.example.org\r\n"
                    "UID=fw-user\r\n"
                    "PWD=" + vectors[3].vform + "\r\n"
                    "PORT=1080\r\n"
                    "\r\n"
                    "[Old Site]\r\n"
                    "HOST=old.example.org\r\n"
                    "UID=bob\r\n"
                    "PWD=736665756979\r\n"
                    "TYPE=6052\r\n"
                    "PORT=2121\r\n"
                    "DIR=\"/pub\"\r\n"
                    "FIREWALL=1\r\n"
                    "PASVMODE=1\r\n"
                    "LOCDIR=origdir\r\n"
                    "\r\n"
                    "  [New Site]\r\n"
                    "UID=bob\r\n"
                    "PWD=" + vectors[1].vform + "\r\n"
                    "TYPE=5999\r\n"
                    "\r\n"
                    "[Anon]\r\n"
                    "HOST=anon.example.org\r\n");
    FTPSITEINFO r = Empty();
    ASSERT_EQ(TESSEL_GetFTPSiteInfo("Old Site", &r), S_OK);
    EXPECT_STREQ(r.host, "old.example.org");
    EXPECT_STREQ(r.user, "bob");
    EXPECT_STREQ(r.password, "secret");
    EXPECT_EQ(r.hostType, 6000);
    EXPECT_EQ(r.port, 2121);
    EXPECT_STREQ(r.remoteDir, "/pub");
    EXPECT_EQ(r.fwType, 5);
    EXPECT_STREQ(r.fwHost, "fw.example.org");
    EXPECT_STREQ(r.fwUser, "fw-user");
    EXPECT_STREQ(r.fwPassword, "Fire wall;pass=1");
    EXPECT_EQ(r.fwPort, 1080);
    EXPECT_EQ(r.flags, SITE_SAVE_PASSWORD | SITE_SAVE_FWPASS | SITE_USE_FIREWALL | SITE_PASSIVE |
                           SITE_STATUS_DLG | SITE_RETAIN_TIME);

    ASSERT_EQ(TESSEL_GetFTPSiteInfo("New Site", &r), S_OK);
    EXPECT_STREQ(r.host, "New Site");
    EXPECT_STREQ(r.password, "secret");
    EXPECT_EQ(r.hostType, 6000);
    EXPECT_EQ(r.fwType, 0);

    ASSERT_EQ(TESSEL_GetFTPSiteInfo("Anon", &r), S_OK);
    EXPECT_STREQ(r.user, "anonymous");
    EXPECT_STREQ(r.password, "me@example.org");
    EXPECT_NE(r.flags & SITE_STATUS_DLG, 0u); // no "HASH", no template: set

    // "_config_" always reads the firewall; a type above 1 switches it on.
    ASSERT_EQ(ReadSiteProfile(FTPSITE_CONFIG_NAME, &r, nullptr), S_OK);
    EXPECT_EQ(r.fwType, 5);
    EXPECT_NE(r.flags & SITE_USE_FIREWALL, 0u);
    EXPECT_EQ(r.flags & SITE_STATUS_DLG, 0u);
    // A site read with it as template takes its "HASH".
    FTPSITEINFO config = r;
    ASSERT_EQ(ReadSiteProfile("Anon", &r, &config), S_OK);
    EXPECT_EQ(r.flags & SITE_STATUS_DLG, 0u);

    auto names = Enumerate();
    EXPECT_EQ(names, (std::vector<std::string>{"Old Site", "New Site", "Anon"}));

    // Saving a site leaves the other program's own keys alone.
    ASSERT_EQ(TESSEL_GetFTPSiteInfo("Old Site", &r), S_OK);
    ASSERT_EQ(TESSEL_SetFTPSiteInfo(&r), S_OK);
    EXPECT_EQ(IniValue("Old Site", "LOCDIR"), "origdir");
}

TEST_F(SitesIni, SitesWithoutFirewallLeaveTheFirewallSectionAlone)
{
    FTPSITEINFO fw = IniFull("with firewall");
    ASSERT_EQ(TESSEL_SetFTPSiteInfo(&fw), S_OK);
    FTPSITEINFO plain = IniFull("without");
    plain.flags &= ~SITE_USE_FIREWALL;
    plain.fwType = 0;
    plain.fwHost[0] = 0;
    ASSERT_EQ(TESSEL_SetFTPSiteInfo(&plain), S_OK);
    EXPECT_EQ(IniValue("FIREWALL", "FIRETYPE"), "4");
    EXPECT_EQ(IniValue("FIREWALL", "HOST"), "fw.example.org");
    FTPSITEINFO r = Empty();
    ASSERT_EQ(TESSEL_GetFTPSiteInfo("with firewall", &r), S_OK);
    EXPECT_SAME_SITE(r, fw);
    // The defaults' firewall rewrites the section, also to "none".
    FTPSITEINFO config = IniFull(FTPSITE_CONFIG_NAME);
    config.fwType = 0;
    config.flags &= ~(SITE_USE_FIREWALL | SITE_SAVE_FWPASS);
    ASSERT_EQ(TESSEL_SetFTPSiteInfo(&config), S_OK);
    EXPECT_EQ(IniValue("FIREWALL", "FIRETYPE"), "<none>");
    EXPECT_EQ(IniValue("FIREWALL", "PWD"), "<none>");
}

TEST_F(SitesIni, ClearedFlagsWithReaderDefaultsSurvive)
{
    FTPSITEINFO site = IniFull("flags");
    site.flags &= ~(SITE_STATUS_DLG | SITE_RETAIN_TIME);
    ASSERT_EQ(TESSEL_SetFTPSiteInfo(&site), S_OK);
    FTPSITEINFO r = Empty();
    ASSERT_EQ(TESSEL_GetFTPSiteInfo("flags", &r), S_OK);
    EXPECT_EQ(r.flags & (SITE_STATUS_DLG | SITE_RETAIN_TIME), 0u);
    site.flags |= SITE_STATUS_DLG | SITE_RETAIN_TIME;
    ASSERT_EQ(TESSEL_SetFTPSiteInfo(&site), S_OK);
    EXPECT_EQ(IniValue("flags", "HASH"), "<none>");
    ASSERT_EQ(TESSEL_GetFTPSiteInfo("flags", &r), S_OK);
    EXPECT_EQ(r.flags & (SITE_STATUS_DLG | SITE_RETAIN_TIME), SITE_STATUS_DLG | SITE_RETAIN_TIME);
}

TEST_F(SitesIni, EnumerationSkipsConfigFirewallAndTheRegistry)
{
    WriteText(ini_, "[_config_]\r\nMAILADDR=me@example.org\r\n[FIREWALL]\r\nHOST=fw\r\n");
    EXPECT_EQ(Enumerate(), std::vector<std::string>{});
    // Registry sites are not part of an INI store.
    ASSERT_EQ(UseRegistry(), S_OK);
    FTPSITEINFO reg = Full("registry site");
    ASSERT_EQ(TESSEL_SetFTPSiteInfo(&reg), S_OK);
    ASSERT_EQ(UseIni(), S_OK);
    EXPECT_EQ(Enumerate(), std::vector<std::string>{});
    WriteText(ini_, "");
    EXPECT_EQ(Enumerate(), std::vector<std::string>{});

    std::string n300(300, 's');
    WriteText(ini_, "[a]\r\nHOST=a\r\n[" + n300 + "]\r\nHOST=long\r\n[empty]\r\n[b]\r\nHOST=b\r\n[A]\r\nUID=x\r\n");
    EXPECT_EQ(Enumerate(), (std::vector<std::string>{"a", "b"}));
    FTPSITEINFO r = Empty();
    EXPECT_EQ(TESSEL_GetFTPSiteInfo(n300.c_str(), &r), E_INVALIDARG);
    EXPECT_EQ(TESSEL_GetFTPSiteInfo("empty", &r), E_FAIL);
    EXPECT_EQ(TESSEL_GetFTPSiteInfo("nowhere", &r), E_FAIL);
    EXPECT_STREQ(r.name, "nowhere"); // left at the defaults
    EXPECT_EQ(r.flags, SITE_DEFAULT_FLAGS);
}

TEST_F(SitesIni, DeleteRemovesSectionAndResumeRecord)
{
    FTPSITEINFO a = IniFull("a"), b = IniFull("b");
    ASSERT_EQ(TESSEL_SetFTPSiteInfo(&a), S_OK);
    ASSERT_EQ(TESSEL_SetFTPSiteInfo(&b), S_OK);
    ASSERT_EQ(SaveResumeRecord("a", "/pub", "x.zip", "C:\\dl", "x.zip", 1), S_OK);
    EXPECT_EQ(TESSEL_DeleteFTPSite("a"), S_OK);
    EXPECT_TRUE(KeysOf(ini_, "a").empty());
    EXPECT_EQ(FileText(ini_).find("[a]"), std::string::npos);
    EXPECT_EQ(FileText(ini_).find("REGET"), std::string::npos);
    EXPECT_EQ(Enumerate(), std::vector<std::string>{"b"});
    FTPSITEINFO r = Empty();
    ASSERT_EQ(TESSEL_GetFTPSiteInfo("b", &r), S_OK);
    EXPECT_SAME_SITE(r, b);
}

TEST_F(SitesIni, HostileFileAndNamesHurtNoOtherProfile)
{
    std::string huge(10000, 'v');
    WriteText(ini_, "[victim]\r\nHOST=victim.example.org\r\nUID=eve\r\nPWD=736665756979\r\n"
                    "[big]\r\nHOST=" + huge + "\r\nCOMMENT=" + huge + "\r\nUID=" + huge + "\r\n"
                    "PWD=V" + huge + "\r\nDIR=" + huge + "\r\nRMASK=" + huge + "\r\nTYPE=" + huge + "\r\n"
                    "[odd]\r\nUID=u\r\nPWD=7366657\r\n"
                    "[nothex]\r\nUID=u\r\nPWD=73666G756979\r\n"
                    "[short]\r\nUID=u\r\nPWD=V1234\r\n"
                    "[prefix]\r\nUID=u\r\nPWD=W" + std::string(40, '1') + "\r\n");
    FTPSITEINFO r = Empty();
    ASSERT_EQ(TESSEL_GetFTPSiteInfo("big", &r), S_OK);
    EXPECT_EQ(std::string(r.host), huge.substr(0, 255));
    EXPECT_EQ(std::string(r.comment), huge.substr(0, 255));
    EXPECT_EQ(std::string(r.remoteDir), huge.substr(0, 259));
    EXPECT_EQ(std::string(r.remoteMask), huge.substr(0, 31));
    EXPECT_STREQ(r.password, ""); // not a password we could have stored: absent
    EXPECT_EQ(r.flags & SITE_SAVE_PASSWORD, 0u);
    EXPECT_EQ(r.hostType, 6000);
    for (const char *bad : {"odd", "nothex", "short", "prefix"}) {
        ASSERT_EQ(TESSEL_GetFTPSiteInfo(bad, &r), S_OK) << bad;
        EXPECT_STREQ(r.password, "") << bad;
        EXPECT_EQ(r.flags & SITE_SAVE_PASSWORD, 0u) << bad;
    }

    // Names that would make or find another section are refused.
    FTPSITEINFO s = IniFull("x]y");
    EXPECT_EQ(TESSEL_SetFTPSiteInfo(&s), E_INVALIDARG);
    EXPECT_EQ(TESSEL_GetFTPSiteInfo("victim]", &r), E_INVALIDARG);
    EXPECT_EQ(TESSEL_DeleteFTPSite("victim]"), E_INVALIDARG);
    EXPECT_EQ(TESSEL_DeleteFTPSite(""), E_INVALIDARG);
    strcpy(s.name, "a\r\n[victim");
    EXPECT_EQ(TESSEL_SetFTPSiteInfo(&s), E_INVALIDARG);
    std::string n300(300, 'n');
    EXPECT_EQ(TESSEL_GetFTPSiteInfo(n300.c_str(), &r), E_INVALIDARG);
    // A backslash is fine in a section name.
    strcpy(s.name, "back\\slash");
    EXPECT_EQ(TESSEL_SetFTPSiteInfo(&s), S_OK);

    ASSERT_EQ(TESSEL_GetFTPSiteInfo("victim", &r), S_OK);
    EXPECT_STREQ(r.host, "victim.example.org");
    EXPECT_STREQ(r.password, "secret");
}

TEST_F(SitesIni, EmptyIniPathIsRefused)
{
    ASSERT_EQ(UseSettings(FTPINFO_INI_STORE, ""), S_OK);
    FTPSITEINFO s = IniFull("x"), r = Empty();
    EXPECT_EQ(TESSEL_SetFTPSiteInfo(&s), E_INVALIDARG);
    EXPECT_EQ(TESSEL_GetFTPSiteInfo("x", &r), E_INVALIDARG);
    EXPECT_EQ(TESSEL_DeleteFTPSite("x"), E_INVALIDARG);
    EXPECT_EQ(TESSEL_FindFirstFTPSite(&r), INVALID_HANDLE_VALUE);
}

TEST_F(SitesIni, UnwritableFileIsAFailure)
{
    ASSERT_EQ(UseSettings(FTPINFO_INI_STORE, dir_ + "\\no\\such\\folder\\TESSEL.INI"), S_OK);
    FTPSITEINFO s = IniFull("x");
    EXPECT_EQ(TESSEL_SetFTPSiteInfo(&s), E_FAIL);
}

TEST_F(SitesIni, ApplyChangesOnlyPreferenceBits)
{
    FTPSITEINFO a = IniFull("a"), b = IniFull("b");
    b.flags = SITE_DEFAULT_FLAGS;
    strcpy(b.user, "anonymous");
    ASSERT_EQ(TESSEL_SetFTPSiteInfo(&a), S_OK);
    ASSERT_EQ(TESSEL_SetFTPSiteInfo(&b), S_OK);
    WritePrivateProfileStringA("a", "LOCDIR", "C:\\work", ini_.c_str());
    FTPSITEINFO before[2] = {Empty(), Empty()};
    ASSERT_EQ(TESSEL_GetFTPSiteInfo("a", &before[0]), S_OK);
    ASSERT_EQ(TESSEL_GetFTPSiteInfo("b", &before[1]), S_OK);
    FTPSITEINFO prefs = Empty();
    prefs.flags = SITE_PREFERENCE_MASK & ~(SITE_PROMPT_NAME | SITE_DLG_COMPLETE);
    ASSERT_EQ(TESSEL_ApplyFTPSiteInfo(&prefs, 1), S_OK);
    for (auto &bf : before) {
        FTPSITEINFO r = Empty();
        ASSERT_EQ(TESSEL_GetFTPSiteInfo(bf.name, &r), S_OK);
        FTPSITEINFO expect = bf;
        expect.flags = (bf.flags & ~SITE_PREFERENCE_MASK) | prefs.flags;
        EXPECT_SAME_SITE(r, expect);
    }
    EXPECT_EQ(IniValue("a", "LOCDIR"), "C:\\work");
}
