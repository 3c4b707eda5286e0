// Site profiles in the registry: round trips, storage against defaults,
// reading rules, enumeration, deletion, bulk preference updates, and bad
// names, records and values.
#include "sitestest.h"

namespace {

void PutValue(HKEY hive, const char *site, const char *name, DWORD type, const void *data, DWORD len)
{
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(hive, (TESSEL_REG_SITES "\\" + std::string(site)).c_str(), 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(key, name, 0, type, (const BYTE *)data, len);
    RegCloseKey(key);
}

void PutDword(const char *site, const char *name, DWORD v, HKEY hive = HKEY_CURRENT_USER)
{
    PutValue(hive, site, name, REG_DWORD, &v, sizeof v);
}

void PutString(const char *site, const char *name, const char *text, HKEY hive = HKEY_CURRENT_USER)
{
    PutValue(hive, site, name, REG_SZ, text, (DWORD)strlen(text) + 1);
}

std::vector<unsigned char> RawValue(const char *site, const char *name)
{
    std::vector<unsigned char> out(1024);
    HKEY key;
    DWORD len = (DWORD)out.size();
    if (RegOpenKeyExA(HKEY_CURRENT_USER, (TESSEL_REG_SITES "\\" + std::string(site)).c_str(), 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
        return {};
    if (RegQueryValueExA(key, name, nullptr, nullptr, out.data(), &len) != ERROR_SUCCESS)
        len = 0;
    RegCloseKey(key);
    out.resize(len);
    return out;
}

} // namespace

class SitesRegistry : public SitesTest {
protected:
    void SetUp() override
    {
        SitesTest::SetUp();
        ASSERT_EQ(UseRegistry(), S_OK);
    }
};

TEST_F(SitesRegistry, EveryFieldSurvivesWriteAndRead)
{
    FTPSITEINFO site = Full("full site");
    ASSERT_EQ(TESSEL_SetFTPSiteInfo(&site), S_OK);
    FTPSITEINFO back = Empty();
    ASSERT_EQ(TESSEL_GetFTPSiteInfo("full site", &back), S_OK);
    EXPECT_SAME_SITE(back, site);
    EXPECT_STREQ(back.localMask, "*.zip"); // kept in the registry only
    EXPECT_EQ(back.flags & SITE_MACHINE_HIVE, 0u);
    // Passwords are stored shifted, never in clear.
    auto raw = RawValue("full site", "Passwd");
    ASSERT_EQ(raw.size(), strlen(site.password) + 1);
    EXPECT_EQ(raw[0], (unsigned char)('p' - 6));
    EXPECT_EQ(raw.back(), 0);
    EXPECT_EQ(std::string(raw.begin(), raw.end() - 1).find("ss w;rd"), std::string::npos);
    EXPECT_EQ(RawValue("full site", "FPswd").size(), strlen(site.fwPassword) + 1);
}

TEST_F(SitesRegistry, ProfileEqualToDefaultsStoresOnlyUncomparedValues)
{
    FTPSITEINFO defaults = Full(FTPSITE_CONFIG_NAME);
    FTPSITEINFO site = defaults;
    strcpy(site.name, "same");
    ASSERT_EQ(WriteSiteProfile(&site, &defaults), S_OK);
    // The password is stored too: readers never take it from the defaults.
    EXPECT_EQ(RegValueNames(HKEY_CURRENT_USER, "same"),
              (std::vector<std::string>{"Addr", "ConFail", "ConGood", "Dir", "LMask", "Passwd", "PrevCon", "UID"}));
    FTPSITEINFO back = Empty();
    ASSERT_EQ(ReadSiteProfile("same", &back, &defaults), S_OK);
    EXPECT_SAME_SITE(back, site);

    // A high flag bit and flags that differ from the defaults both ways.
    site.flags = (defaults.flags | SITE_PASSIVE | SITE_MACHINE_HIVE) & ~SITE_CONFIRM_DELETE;
    site.port = 21;
    ASSERT_EQ(WriteSiteProfile(&site, &defaults), S_OK);
    EXPECT_EQ(RegValueNames(HKEY_CURRENT_USER, "same"),
              (std::vector<std::string>{"Addr", "ConFail", "ConGood", "Dir", "FlagN", "Flags", "LMask", "Passwd",
                                        "Port", "PrevCon", "UID"}));
    ASSERT_EQ(ReadSiteProfile("same", &back, &defaults), S_OK);
    EXPECT_EQ(back.flags, (site.flags & ~SITE_MACHINE_HIVE));
    EXPECT_EQ(back.port, 21);

    // Values that differ from the defaults by being empty, zero or usual
    // are stored all the same, or they would read back as the defaults'.
    site = defaults;
    strcpy(site.name, "plain");
    site.comment[0] = site.remoteMask[0] = site.initCmd[0] = site.iconFile[0] = site.fwHost[0] = 0;
    site.timeOffset = site.retries = site.iconIndex = 0;
    site.hostType = 6000;
    site.timeout = 65;
    strcpy(site.fwUser, "other");
    ASSERT_EQ(WriteSiteProfile(&site, &defaults), S_OK);
    ASSERT_EQ(ReadSiteProfile("plain", &back, &defaults), S_OK);
    EXPECT_SAME_SITE(back, site);
}

TEST_F(SitesRegistry, MissingValuesReadAsDefaults)
{
    PutString("bare", "Addr", "bare.example.org");
    FTPSITEINFO r = Empty();
    ASSERT_EQ(TESSEL_GetFTPSiteInfo("bare", &r), S_OK);
    EXPECT_STREQ(r.host, "bare.example.org");
    EXPECT_STREQ(r.user, "anonymous");
    EXPECT_STREQ(r.password, "me@example.org");
    EXPECT_EQ(r.flags, SITE_DEFAULT_FLAGS);
    EXPECT_EQ(r.timeout, 65);
    EXPECT_EQ(r.port, 21);
    EXPECT_EQ(r.fwPort, 21);
    EXPECT_EQ(r.hostType, 6000);

    // A user without "anonymous" in the flags, port 0, a host type past the table.
    PutDword("bare", "Flags", SITE_PASSIVE);
    PutString("bare", "UID", "carol");
    PutDword("bare", "Port", 0);
    PutDword("bare", "HostType", 7000);
    PutDword("bare", "Timeout", 0);
    ASSERT_EQ(TESSEL_GetFTPSiteInfo("bare", &r), S_OK);
    EXPECT_STREQ(r.user, "carol");
    EXPECT_STREQ(r.password, "");
    EXPECT_EQ(r.port, 21);
    EXPECT_EQ(r.hostType, 7000);
    EXPECT_EQ(r.timeout, 65);
    PutDword("bare", "HostType", 12);
    ASSERT_EQ(TESSEL_GetFTPSiteInfo("bare", &r), S_OK);
    EXPECT_EQ(r.hostType, 6000);
}

TEST_F(SitesRegistry, ValuesOfTheWrongTypeOrSizeAreIgnored)
{
    FTPSITEINFO site = Full("typed");
    ASSERT_EQ(TESSEL_SetFTPSiteInfo(&site), S_OK);
    PutValue(HKEY_CURRENT_USER, "typed", "Port", REG_SZ, "99", 3);
    PutValue(HKEY_CURRENT_USER, "typed", "Addr", REG_DWORD, "\x01\x02\x03\x04", 4);
    PutValue(HKEY_CURRENT_USER, "typed", "ConGood", REG_DWORD, "\x01\x02", 2);
    PutValue(HKEY_CURRENT_USER, "typed", "PrevCon", REG_BINARY, "\x01\x02\x03", 3);
    std::string huge(10000, 'h');
    PutString("typed", "Comment", huge.c_str());
    // A scrambled password too long for the field counts as absent, not cut.
    std::string longPwd(400, 'z');
    PutString("typed", "Passwd", longPwd.c_str());
    FTPSITEINFO r = Empty();
    ASSERT_EQ(TESSEL_GetFTPSiteInfo("typed", &r), S_OK);
    EXPECT_EQ(r.port, 21);
    EXPECT_STREQ(r.host, "");
    EXPECT_EQ(r.conGood, 0);
    EXPECT_EQ(r.prevCon.wYear, 0);
    EXPECT_EQ(std::string(r.comment), huge.substr(0, 255));
    EXPECT_STREQ(r.password, "");
    EXPECT_STREQ(r.user, "alice");
}

TEST_F(SitesRegistry, LongestPasswordIsStoredWhole)
{
    FTPSITEINFO site = Full("long");
    memset(site.password, 'k', 255);
    site.password[255] = 0;
    ASSERT_EQ(TESSEL_SetFTPSiteInfo(&site), S_OK);
    EXPECT_EQ(RawValue("long", "Passwd").size(), 256u);
    FTPSITEINFO r = Empty();
    ASSERT_EQ(TESSEL_GetFTPSiteInfo("long", &r), S_OK);
    EXPECT_EQ(std::string(r.password), std::string(255, 'k'));
}

TEST_F(SitesRegistry, EnumerationListsEverySiteOnceWithoutConfig)
{
    EXPECT_TRUE(Enumerate().empty());
    for (const char *n : {"alpha", "beta", "gamma", FTPSITE_CONFIG_NAME}) {
        FTPSITEINFO s = Full(n);
        ASSERT_EQ(TESSEL_SetFTPSiteInfo(&s), S_OK);
    }
    auto names = Enumerate();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"alpha", "beta", "gamma"}));
    EXPECT_EQ(TESSEL_FindCloseFTP(nullptr), TRUE);
    EXPECT_EQ(TESSEL_FindCloseFTP(INVALID_HANDLE_VALUE), TRUE);
    FTPSITEINFO small = Empty();
    small.size = 3207;
    EXPECT_EQ(TESSEL_FindFirstFTPSite(&small), INVALID_HANDLE_VALUE);
}

TEST_F(SitesRegistry, MachineHiveProfiles)
{
    // With single machine-wide profiles allowed, bit 0x10000000 picks the hive.
    ASSERT_EQ(UseRegistry(FTPINFO_MACHINE_PROFILE), S_OK);
    FTPSITEINFO s = Full("shared");
    s.flags |= SITE_MACHINE_HIVE;
    ASSERT_EQ(TESSEL_SetFTPSiteInfo(&s), S_OK);
    EXPECT_TRUE(RegValueNames(HKEY_CURRENT_USER, "shared").empty());
    EXPECT_FALSE(RegValueNames(HKEY_LOCAL_MACHINE, "shared").empty());
    FTPSITEINFO r = Empty();
    ASSERT_EQ(TESSEL_GetFTPSiteInfo("shared", &r), S_OK);
    EXPECT_NE(r.flags & SITE_MACHINE_HIVE, 0u);
    // Deleting a profile that only the machine hive holds succeeds; then
    // there is nothing left to delete.
    EXPECT_EQ(TESSEL_DeleteFTPSite("shared"), S_OK);
    EXPECT_EQ(TESSEL_GetFTPSiteInfo("shared", &r), E_FAIL);
    EXPECT_EQ(TESSEL_DeleteFTPSite("shared"), E_FAIL);

    // Machine-wide mode keeps, reads and lists every profile there.
    ASSERT_EQ(UseRegistry(FTPINFO_MACHINE_WIDE), S_OK);
    s.flags &= ~SITE_MACHINE_HIVE;
    ASSERT_EQ(TESSEL_SetFTPSiteInfo(&s), S_OK);
    EXPECT_FALSE(RegValueNames(HKEY_LOCAL_MACHINE, "shared").empty());
    EXPECT_EQ(Enumerate(), (std::vector<std::string>{"shared"}));
}

TEST_F(SitesRegistry, DeleteRemovesKeyAndResumeRecord)
{
    FTPSITEINFO s = Full("gone");
    ASSERT_EQ(TESSEL_SetFTPSiteInfo(&s), S_OK);
    ASSERT_EQ(SaveResumeRecord("gone", "/pub", "a.zip", "C:\\dl", "a.zip", 1), S_OK);
    // A subkey below the profile goes with it.
    PutString("gone\\extra", "x", "y");
    EXPECT_EQ(TESSEL_DeleteFTPSite("gone"), S_OK);
    HKEY key;
    EXPECT_NE(RegOpenKeyExA(HKEY_CURRENT_USER, SitePath("gone").c_str(), 0, KEY_READ, &key), ERROR_SUCCESS);
    ResumeRecord rr;
    EXPECT_EQ(ReadResumeRecord("gone", &rr), E_FAIL);
}

TEST_F(SitesRegistry, BadNamesNeverTouchOtherProfiles)
{
    FTPSITEINFO keep = Full("keep");
    ASSERT_EQ(TESSEL_SetFTPSiteInfo(&keep), S_OK);
    // An empty name would be the whole Sites key.
    EXPECT_EQ(TESSEL_DeleteFTPSite(""), E_INVALIDARG);
    EXPECT_EQ(TESSEL_DeleteFTPSite(nullptr), E_INVALIDARG);
    EXPECT_EQ(TESSEL_DeleteFTPSite("keep\\.."), E_INVALIDARG);
    FTPSITEINFO r = Empty();
    EXPECT_EQ(TESSEL_GetFTPSiteInfo("", &r), E_INVALIDARG);
    EXPECT_EQ(TESSEL_GetFTPSiteInfo("a\\b", &r), E_INVALIDARG);
    std::string n256(256, 'n');
    EXPECT_EQ(TESSEL_GetFTPSiteInfo(n256.c_str(), &r), E_INVALIDARG);
    FTPSITEINFO bad = Full("x\\y");
    EXPECT_EQ(TESSEL_SetFTPSiteInfo(&bad), E_INVALIDARG);
    bad.name[0] = 0;
    EXPECT_EQ(TESSEL_SetFTPSiteInfo(&bad), E_INVALIDARG);
    memset(bad.name, 'n', sizeof bad.name); // no terminator at all: cut, then too long
    EXPECT_EQ(TESSEL_SetFTPSiteInfo(&bad), E_INVALIDARG);
    std::string n200(200, 'n');
    strcpy(bad.name, n200.c_str());
    EXPECT_EQ(TESSEL_SetFTPSiteInfo(&bad), S_OK);
    EXPECT_EQ(TESSEL_DeleteFTPSite(n200.c_str()), S_OK);

    ASSERT_EQ(TESSEL_GetFTPSiteInfo("keep", &r), S_OK);
    EXPECT_SAME_SITE(r, keep);
    EXPECT_EQ(Enumerate(), (std::vector<std::string>{"keep"}));
}

TEST_F(SitesRegistry, RecordSizeIsChecked)
{
    FTPSITEINFO s = Full("sized");
    s.size = 3207;
    EXPECT_EQ(TESSEL_SetFTPSiteInfo(&s), E_INVALIDARG);
    EXPECT_EQ(TESSEL_GetFTPSiteInfo("sized", &s), E_INVALIDARG);
    EXPECT_EQ(TESSEL_ApplyFTPSiteInfo(&s, 1), E_INVALIDARG);
    EXPECT_EQ(TESSEL_SetFTPSiteInfo(nullptr), E_INVALIDARG);
    s.size = sizeof s;
    ASSERT_EQ(TESSEL_SetFTPSiteInfo(&s), S_OK);
    // A larger caller record is cleared to its size; the profile fills 3208 bytes.
    std::vector<unsigned char> big(sizeof s + 64, 0xCC);
    ((FTPSITEINFO *)big.data())->size = (uint32_t)big.size();
    ASSERT_EQ(TESSEL_GetFTPSiteInfo("sized", (FTPSITEINFO *)big.data()), S_OK);
    EXPECT_EQ(((FTPSITEINFO *)big.data())->size, big.size());
    EXPECT_STREQ(((FTPSITEINFO *)big.data())->host, "ftp.example.org");
    EXPECT_EQ(big[sizeof s], 0);
    EXPECT_EQ(big.back(), 0);
}

TEST_F(SitesRegistry, ApplyChangesOnlyPreferenceBits)
{
    FTPSITEINFO a = Full("a"), b = Full("b");
    b.flags = SITE_DEFAULT_FLAGS | SITE_LAST_FAILED;
    strcpy(b.user, "anonymous");
    ASSERT_EQ(TESSEL_SetFTPSiteInfo(&a), S_OK);
    ASSERT_EQ(TESSEL_SetFTPSiteInfo(&b), S_OK);
    FTPSITEINFO beforeA = Empty(), beforeB = Empty();
    ASSERT_EQ(TESSEL_GetFTPSiteInfo("a", &beforeA), S_OK);
    ASSERT_EQ(TESSEL_GetFTPSiteInfo("b", &beforeB), S_OK);

    FTPSITEINFO prefs = Empty();
    prefs.flags = 0xFFFFFFFFu & ~(SITE_STATUS_DLG | SITE_CONFIRM_OVERWRITE);
    EXPECT_EQ(TESSEL_ApplyFTPSiteInfo(&prefs, 2), S_OK); // other option bits do nothing
    FTPSITEINFO r = Empty();
    ASSERT_EQ(TESSEL_GetFTPSiteInfo("a", &r), S_OK);
    EXPECT_EQ(r.flags, beforeA.flags);

    EXPECT_EQ(TESSEL_ApplyFTPSiteInfo(&prefs, 1), S_OK);
    for (FTPSITEINFO *before : {&beforeA, &beforeB}) {
        ASSERT_EQ(TESSEL_GetFTPSiteInfo(before->name, &r), S_OK);
        EXPECT_EQ(r.flags & SITE_PREFERENCE_MASK, prefs.flags & SITE_PREFERENCE_MASK);
        EXPECT_EQ(r.flags & ~SITE_PREFERENCE_MASK, before->flags & ~SITE_PREFERENCE_MASK);
        FTPSITEINFO expect = *before;
        expect.flags = r.flags;
        EXPECT_SAME_SITE(r, expect);
    }
}
