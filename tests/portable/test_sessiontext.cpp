// PWD answers, start-up command lists and time offsets of the sessions.
#include "sessiontext.h"

#include <gtest/gtest.h>

TEST(SessionText, PwdPaths)
{
    char out[300];
    EXPECT_EQ(SessionPwdPath("257 \"/pub/\" is current", out, sizeof out), 1);
    EXPECT_STREQ(out, "/pub");
    EXPECT_EQ(SessionPwdPath("257 \"/\"", out, sizeof out), 1);
    EXPECT_STREQ(out, "/");
    EXPECT_EQ(SessionPwdPath("257 \"/a \"\"b\"\" it's\"", out, sizeof out), 1);
    EXPECT_STREQ(out, "/a \"b\" it's");
    EXPECT_EQ(SessionPwdPath("257 '/vms/dir' ok", out, sizeof out), 1);
    EXPECT_STREQ(out, "/vms/dir");
    EXPECT_EQ(SessionPwdPath("257 no quote", out, sizeof out), 0);
    EXPECT_STREQ(out, "");
    std::string at250 = "257 \"/" + std::string(249, 'a') + "\"";
    EXPECT_EQ(SessionPwdPath(at250.c_str(), out, sizeof out), 1);
    EXPECT_EQ(strlen(out), 250u);
    std::string over = "257 \"/" + std::string(999, 'a') + "\"";
    EXPECT_EQ(SessionPwdPath(over.c_str(), out, sizeof out), 0);
    EXPECT_STREQ(out, "");
    EXPECT_EQ(SessionPwdPath(at250.c_str(), out, 100), 0); // never cut to fit
    EXPECT_EQ(SessionPwdPath("257 \"/cut", out, sizeof out, true), 0);
    EXPECT_EQ(SessionPwdPath("257 \"/open", out, sizeof out, false), 1);
}

TEST(SessionText, InitCommands)
{
    EXPECT_EQ(SplitInitCommands("A;B;"), (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(SplitInitCommands("A"), (std::vector<std::string>{"A"}));
    EXPECT_EQ(SplitInitCommands(""), std::vector<std::string>{});
    EXPECT_EQ(SplitInitCommands("A;;B"), (std::vector<std::string>{"A", "", "B"}));
}

TEST(SessionText, TimeOffsets)
{
    ListingTime t = {1998, 12, 31, 23, 30, 0};
    ShiftListingTime(&t, 1);
    EXPECT_EQ(t.year, 1999);
    EXPECT_EQ(t.month, 1);
    EXPECT_EQ(t.day, 1);
    EXPECT_EQ(t.hour, 0);
    // Leap years: 1 March back one hour is 29 February in 2000 and 2024,
    // 28 February in 1900 and 2023.
    for (int y : {2000, 2024, 1900, 2023}) {
        ListingTime m = {y, 3, 1, 0, 30, 0};
        ShiftListingTime(&m, -1);
        bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
        EXPECT_EQ(m.month, 2);
        EXPECT_EQ(m.day, leap ? 29 : 28) << y;
        EXPECT_EQ(m.hour, 23);
    }
    ListingTime big = {2024, 2, 20, 12, 0, 0};
    ShiftListingTime(&big, 200); // 8 days 8 hours
    EXPECT_EQ(big.month, 2);
    EXPECT_EQ(big.day, 28);
    EXPECT_EQ(big.hour, 20);
    ShiftListingTime(&big, -200);
    EXPECT_EQ(big.day, 20);
    EXPECT_EQ(big.hour, 12);
    ListingTime none = {0, 0, 0, 0, 0, 0};
    ShiftListingTime(&none, 5);
    EXPECT_EQ(none.month, 0);
}
