// The text helpers the family decoders are built from.
#include "lineutil.h"

#include <gtest/gtest.h>

using namespace tessel::listing;

TEST(LineHelpers, FieldsSplitOnBlankRunsAndKeepTheRest)
{
    char line[] = "a  bb c d e";
    EXPECT_STREQ(FieldStart(line, 1), line);
    EXPECT_STREQ(FieldStart(line, 2), "bb c d e");
    EXPECT_STREQ(FieldStart(line, 5), "e");
    EXPECT_EQ(FieldStart(line, 6), nullptr);
    EXPECT_EQ(FieldStart(line, 0), nullptr);
    char tabs[] = "a\tb  c ";
    EXPECT_EQ(FieldCount(tabs), 3);      // tabs separate when counting
    EXPECT_STREQ(FieldStart(tabs, 2), "c ");  // but not when walking
    char counted[] = "name with blanks  123  01-02-98  10:00a";
    EXPECT_STREQ(FieldFromEnd(counted, 3), "123  01-02-98  10:00a");
    EXPECT_EQ(FieldCount(""), 0);
}

TEST(LineHelpers, NumbersSaturateAndMonthsNeedThreeLetters)
{
    EXPECT_EQ(NumberAt("99999999999999999999999999"), UINT64_MAX);
    EXPECT_EQ(ValueAt("\t-12"), 0u);  // no negative sizes
    EXPECT_EQ(MonthNumber("Ma"), 0u);
    EXPECT_EQ(UpperMonth("apr"), 4u);
    EXPECT_EQ(UpperMonth("JUX"), 0u);
}

TEST(LineHelpers, DatePairOrdersAndPivots)
{
    uint64_t y, m, d;
    DatePair("98/03/18", &y, &m, &d);  // third below 32: year first
    EXPECT_EQ(y, 1998u); EXPECT_EQ(m, 3u); EXPECT_EQ(d, 18u);
    DatePair("03--18//1999", &y, &m, &d);
    EXPECT_EQ(y, 1999u); EXPECT_EQ(m, 3u); EXPECT_EQ(d, 18u);
    DatePair("2003/03/18", &y, &m, &d);
    EXPECT_EQ(y, 2003u); EXPECT_EQ(m, 3u); EXPECT_EQ(d, 18u);
    DatePair("05-06-07", &y, &m, &d);
    EXPECT_EQ(y, 2005u); EXPECT_EQ(m, 6u); EXPECT_EQ(d, 7u);
    // year-month-day would be month 25: month-day-year is the only date
    DatePair("12-25-05", &y, &m, &d);
    EXPECT_EQ(y, 2005u); EXPECT_EQ(m, 12u); EXPECT_EQ(d, 25u);
    DatePair("", &y, &m, &d);
    EXPECT_EQ(y, 0u); EXPECT_EQ(m, 0u); EXPECT_EQ(d, 0u);
    EXPECT_EQ(YearAt("00"), 2000u);
    EXPECT_EQ(YearAt("69"), 2069u);
    EXPECT_EQ(YearAt("70"), 1970u);
    EXPECT_EQ(YearAt("101"), 2001u);
    EXPECT_EQ(YearAt("-"), 0u);
}

TEST(LineHelpers, ClockTimeHalfDays)
{
    uint64_t h, m;
    ClockTime("3:31PM", &h, &m);
    EXPECT_EQ(h, 15u); EXPECT_EQ(m, 31u);
    ClockTime("10:00a", &h, &m);
    EXPECT_EQ(h, 10u); EXPECT_EQ(m, 0u);
    ClockTime("12:15pm", &h, &m);
    EXPECT_EQ(h, 12u); EXPECT_EQ(m, 15u);
    ClockTime("12:15AM", &h, &m);
    EXPECT_EQ(h, 0u); EXPECT_EQ(m, 15u);
    ClockTime("23::59", &h, &m);
    EXPECT_EQ(h, 23u); EXPECT_EQ(m, 59u);
    ClockTime("7:0", &h, &m);  // nothing after the minutes
    EXPECT_EQ(h, 7u); EXPECT_EQ(m, 0u);
}
