// Reading the date and time of a listing line in the shapes today's servers
// write them, and sizes with thousands separators.  Every reader checks
// its ranges: a text that is not plainly a date is no date, so that an
// owner or group name that merely looks like one is not taken for it.
#ifndef TESSEL_LISTING_DATEGROUP_H
#define TESSEL_LISTING_DATEGROUP_H

#include <stddef.h>
#include <stdint.h>

namespace tessel {
namespace listing {

struct DateGroup {
    uint64_t year, month, day, hour, minute, second;
    bool hasYear;      // false: "Mar 14 10:21" (within the last months)
    bool hasTime;
    bool endsInYear;   // the last token is a year: ls pads it to the width of a time
    const char *end;   // one past the group's last character
};

// The date group that begins at p (at a token start), if there is one:
//   Mar 14 10:21   Mar 14  2011   Mar 14, 2011   Mar 14, 2011 09:30
//   14 Mar 2011    14 Mar 10:21   2011-03-14 09:30   2011-03-14
//   2011/03/14 09:30   2011.03.14   14-03-2011   03-14 2011   03-14 09:30
//   14-mar-11 (with or without a time)
// Tokens are separated by runs of blanks.
bool ParseDateGroup(const char *p, DateGroup *g);

// Only a date written as one token ("2013-09-02", "02-15-24", "14.03.2011",
// "14-mar-11"), no time.
bool ParseDateToken(const char *p, DateGroup *g);

// "13:45", "1:05", "13:45:07"; *end is set past the token on success.
bool ParseTimeToken(const char *p, uint64_t *hour, uint64_t *minute, uint64_t *second,
                    const char **end);

// A size of digits, optionally grouped by "," or "." in threes
// ("9,730", "1.234.567"); saturates.  False when p holds no such number
// ending at a blank or the end of the text.
bool ParseSize(const char *p, uint64_t *size, const char **end);

inline bool IsDigitChar(char c) { return c >= '0' && c <= '9'; }

}  // namespace listing
}  // namespace tessel

#endif
