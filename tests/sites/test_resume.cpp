// Resume records beside the profiles, and the shared settings area.
#include "sitestest.h"

#include <time.h>

class SitesResume : public SitesTest {
protected:
    void Both(void (*body)(SitesResume *, bool ini))
    {
        for (bool ini : {false, true}) {
            SCOPED_TRACE(ini ? "INI" : "registry");
            ASSERT_EQ(ini ? UseIni() : UseRegistry(), S_OK);
            FTPSITEINFO s = Full("site");
            ASSERT_EQ(TESSEL_SetFTPSiteInfo(&s), S_OK);
            body(this, ini);
            TESSEL_DeleteFTPSite("site");
        }
    }
};

TEST_F(SitesResume, SaveReadClearAndProfileBit)
{
    Both([](SitesResume *t, bool ini) {
        FTPSITEINFO r = Empty();
        ASSERT_EQ(TESSEL_GetFTPSiteInfo("site", &r), S_OK);
        EXPECT_EQ(r.flags & SITE_HAS_RESUME, 0u);
        ASSERT_EQ(SaveResumeRecord("site", "/pub", "a.zip", "C:\\dl", "a.zip", 1), S_OK);
        ASSERT_EQ(TESSEL_GetFTPSiteInfo("site", &r), S_OK);
        EXPECT_NE(r.flags & SITE_HAS_RESUME, 0u);
        ResumeRecord rr;
        ASSERT_EQ(ReadResumeRecord("site", &rr), S_OK);
        EXPECT_STREQ(rr.remoteDir, "/pub");
        EXPECT_STREQ(rr.remoteFile, "a.zip");
        EXPECT_STREQ(rr.localDir, "C:\\dl");
        EXPECT_STREQ(rr.localFile, "a.zip");
        EXPECT_EQ(rr.mode, 1);
        if (ini) {
            long saved = atol(t->IniValue("site", "REGETTIME").c_str());
            EXPECT_LE(labs((long)time(nullptr) - saved), 5);
            EXPECT_EQ(t->IniValue("site", "REGETMODE"), "1");
        }
        // The profile writer leaves the record alone.
        ASSERT_EQ(TESSEL_SetFTPSiteInfo(&r), S_OK);
        ASSERT_EQ(ReadResumeRecord("site", &rr), S_OK);
        ASSERT_EQ(ClearResumeRecord("site"), S_OK);
        EXPECT_EQ(ReadResumeRecord("site", &rr), S_FALSE);
        ASSERT_EQ(TESSEL_GetFTPSiteInfo("site", &r), S_OK);
        EXPECT_EQ(r.flags & SITE_HAS_RESUME, 0u);
        EXPECT_STREQ(r.host, "ftp.example.org");
    });
}

TEST_F(SitesResume, RecordWithAMissingTextIsNotOffered)
{
    Both([](SitesResume *, bool) {
        ASSERT_EQ(SaveResumeRecord("site", "/pub", "a.zip", "C:\\dl", "old.zip", 0), S_OK);
        ASSERT_EQ(SaveResumeRecord("site", "/pub", "a.zip", "C:\\dl", "", 0), S_OK);
        ResumeRecord rr;
        EXPECT_EQ(ReadResumeRecord("site", &rr), S_FALSE);
        EXPECT_STREQ(rr.localFile, ""); // no text of the older record stays behind
        EXPECT_EQ(rr.mode, 0);
    });
}

TEST_F(SitesResume, SiteWithoutProfileGetsNoRecord)
{
    Both([](SitesResume *t, bool ini) {
        EXPECT_EQ(SaveResumeRecord("nosuch", "/pub", "a", "C:\\", "a", 1), E_FAIL);
        ResumeRecord rr;
        EXPECT_EQ(ReadResumeRecord("nosuch", &rr), E_FAIL);
        if (ini)
            EXPECT_EQ(t->FileText(t->ini_).find("[nosuch]"), std::string::npos);
        EXPECT_EQ(SaveResumeRecord("", "/pub", "a", "C:\\", "a", 1), E_INVALIDARG);
    });
}

TEST_F(SitesResume, DownloadOutcomeSavesOrClears)
{
    Both([](SitesResume *, bool) {
        ResumeRecord rr;
        ASSERT_EQ(NoteDownloadOutcome("site", "/pub", "big.iso", "C:\\dl\\sub\\big.iso", 1, 426, FALSE), S_OK);
        ASSERT_EQ(ReadResumeRecord("site", &rr), S_OK);
        EXPECT_STREQ(rr.localDir, "C:\\dl\\sub");
        EXPECT_STREQ(rr.localFile, "big.iso");
        // A successful download of another file from the site clears it.
        ASSERT_EQ(NoteDownloadOutcome("site", "/pub", "small.txt", "C:\\dl\\small.txt", 0, 226, FALSE), S_OK);
        EXPECT_EQ(ReadResumeRecord("site", &rr), S_FALSE);
        // An aborted transfer is remembered whatever its reply.
        ASSERT_EQ(NoteDownloadOutcome("site", "/", "x", "x.bin", 1, 226, TRUE), S_OK);
        ASSERT_EQ(ReadResumeRecord("site", &rr), S_OK);
        EXPECT_STREQ(rr.localDir, "x.bin");
        EXPECT_STREQ(rr.localFile, "x.bin");
    });
}

TEST_F(SitesResume, OfferedAddresses)
{
    std::string folder, file;
    BuildResumeAddresses("s", "/pub", "a.zip", &folder, &file);
    EXPECT_EQ(folder, "ftp://s//pub/");
    EXPECT_EQ(file, "ftp://s//pub/a.zip");
    BuildResumeAddresses("s", "/", "a.zip", &folder, &file);
    EXPECT_EQ(folder, "ftp://s/");
    EXPECT_EQ(file, "ftp://s//a.zip");
    BuildResumeAddresses("s", "", "a.zip", &folder, &file);
    EXPECT_EQ(folder, "ftp://s/");
    EXPECT_EQ(file, "ftp://s/a.zip");
    BuildResumeAddresses("s", "SYS:\\PUB", "a.zip", &folder, &file);
    EXPECT_EQ(folder, "ftp://s/SYS:\\PUB\\");
    EXPECT_EQ(file, "ftp://s/SYS:\\PUB\\a.zip");
}

using SitesShared = SitesTest;

TEST_F(SitesShared, AreaHasItsLayoutAndCountsThisProcess)
{
    TesselSharedArea *a = SharedArea();
    ASSERT_NE(a, nullptr);
    EXPECT_GE(a->attachCount, 1);
    HANDLE h = OpenFileMappingA(FILE_MAP_READ, FALSE, TESSEL_SHARED_NAME);
    ASSERT_NE(h, nullptr);
    void *view = MapViewOfFile(h, FILE_MAP_READ, 0, 0, 0);
    ASSERT_NE(view, nullptr);
    MEMORY_BASIC_INFORMATION mbi;
    VirtualQuery(view, &mbi, sizeof mbi);
    EXPECT_GE(mbi.RegionSize, sizeof(TesselSharedArea));
    ASSERT_EQ(UseSettings(0, "", "cache@example.org"), S_OK);
    // Another view of the same mapping sees the cached settings.
    EXPECT_STREQ(((TesselSharedArea *)view)->settings.email, "cache@example.org");
    UnmapViewOfFile(view);
    CloseHandle(h);

    LONG before = a->attachCount;
    SharedAreaRelease();
    SharedAreaOpen();
    a = SharedArea();
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->attachCount, before);
}
