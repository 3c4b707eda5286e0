// Helpers for the site-session tests: a site profile pointing at a server
// of the test bed, a session that is released at the end, a recorder of
// the sounds played, and a dialog-answering thread that is always joined.
#ifndef TESSEL_TEST_SESSIONTEST_H
#define TESSEL_TEST_SESSIONTEST_H

#include "sitestest.h"
#include "session.h"
#include "fakeftp.h"
#include "dialogs.h"
#include "resource.h"

#include <mutex>
#include <thread>

inline std::mutex g_soundMutex;
inline std::vector<std::string> g_sounds;

inline void RecordSound(const char *name)
{
    std::lock_guard<std::mutex> lock(g_soundMutex);
    g_sounds.push_back(name);
}

class SessionTest : public SitesTest {
public:
    SiteSession *session_ = nullptr;
    std::thread answerer_;

    void SetUp() override
    {
        SitesTest::SetUp();
        {
            std::lock_guard<std::mutex> lock(g_soundMutex);
            g_sounds.clear();
        }
        SetSoundObserver(RecordSound);
    }

    void TearDown() override
    {
        if (session_)
            session_->Release();
        session_ = nullptr;
        if (answerer_.joinable())
            answerer_.join();
        SetSoundObserver(nullptr);
        SitesTest::TearDown();
    }

    static std::vector<std::string> Sounds()
    {
        std::lock_guard<std::mutex> lock(g_soundMutex);
        return g_sounds;
    }

    // Stores a profile for 127.0.0.1:port.
    FTPSITEINFO Site(const char *name, int port, const char *user, const char *password, uint32_t flags = 0)
    {
        FTPSITEINFO r = Empty();
        snprintf(r.name, sizeof r.name, "%s", name);
        strcpy(r.host, "127.0.0.1");
        r.port = port;
        snprintf(r.user, sizeof r.user, "%s", user);
        snprintf(r.password, sizeof r.password, "%s", password);
        r.flags = flags | (password[0] ? SITE_SAVE_PASSWORD : 0) | SITE_PASSIVE;
        r.hostType = 6000;
        r.timeout = 20;
        return r;
    }
    void Store(const FTPSITEINFO &r) { ASSERT_EQ(TESSEL_SetFTPSiteInfo(&r), S_OK); }

    FTPSITEINFO Stored(const char *name)
    {
        FTPSITEINFO r = Empty();
        EXPECT_EQ(TESSEL_GetFTPSiteInfo(name, &r), S_OK);
        return r;
    }

    SiteSession *Open(const char *name)
    {
        session_ = SiteSession::Create(name);
        return session_;
    }

    // Runs fn on a thread of its own; TearDown joins it.
    template <class F> void Answer(F fn) { answerer_ = std::thread(fn); }
};

#endif
