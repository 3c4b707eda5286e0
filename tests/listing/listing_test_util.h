// Helpers for the listing decoder tests: decode one line, compare an entry
// with what is wanted, and lay text out at fixed columns.
#ifndef TESSEL_TESTS_LISTING_UTIL_H
#define TESSEL_TESTS_LISTING_UTIL_H

#include "direntry.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <utility>

struct Want {
    const char *name;
    int kind;
    int year, month, day, hour, minute;
    uint32_t size;
};

inline DirEntry Decode(int type, const std::string &line, const char *dir = "",
                       const char *user = "")
{
    DirEntry e;
    int n = TESSEL_DecodeLine(&e, line.c_str(), type, dir, user);
    EXPECT_EQ(n, int(strlen(e.name))) << line;
    return e;
}

inline void ExpectEntry(const DirEntry &e, const Want &w, const std::string &context)
{
    SCOPED_TRACE(context);
    EXPECT_STREQ(e.name, w.name);
    EXPECT_EQ(e.kind, w.kind);
    EXPECT_EQ(e.year, w.year);
    EXPECT_EQ(e.month, w.month);
    EXPECT_EQ(e.day, w.day);
    EXPECT_EQ(e.hour, w.hour);
    EXPECT_EQ(e.minute, w.minute);
    EXPECT_EQ(e.size, w.size);
}

inline void ExpectLine(int type, const std::string &line, const Want &w, const char *dir = "",
                       const char *user = "")
{
    ExpectEntry(Decode(type, line, dir, user), w, std::to_string(type) + ": " + line);
}

inline void ExpectNoEntry(int type, const std::string &line, const char *dir = "")
{
    DirEntry e;
    EXPECT_EQ(TESSEL_DecodeLine(&e, line.c_str(), type, dir, ""), 0) << type << ": " << line;
    EXPECT_STREQ(e.name, "") << type << ": " << line;
}

// A line with each text starting at its column, blanks in between.
inline std::string Cols(std::initializer_list<std::pair<size_t, const char *>> parts)
{
    std::string line;
    for (const auto &p : parts) {
        if (line.size() < p.first)
            line.resize(p.first, ' ');
        line.replace(p.first, std::string::npos, p.second);
    }
    return line;
}

#endif
