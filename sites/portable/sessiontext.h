/* Text and time rules of the library's site sessions that need no Win32:
 * the current-directory answer of PWD, the start-up command list and the
 * site's time offset.  Built natively too (tests and fuzzing). */
#ifndef TESSEL_SESSIONTEXT_H
#define TESSEL_SESSIONTEXT_H

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

/* Longest directory a session keeps from PWD; a longer one counts as not
 * found rather than being cut to a wrong directory. */
#define SESSION_PWD_MAX 250

/* The directory of a PWD reply line: after the first double quote up to the
 * next one that is not doubled (a doubled one stands for one quote, so
 * apostrophes inside double quotes are plain characters); without a double
 * quote, between the first two single quotes.  An unclosed quote runs to
 * the end of the line.  A trailing "/" is dropped when the path is longer
 * than one character.  Returns 1 with the path in out, or 0 (out empty)
 * when the line has no quote or the path is longer than SESSION_PWD_MAX or
 * than out can hold.  lineWasCut: the reply was longer than the buffer
 * that holds the line, so an unclosed quote means a path cut short, which
 * counts as not found. */
int SessionPwdPath(const char *line, char *out, size_t outSize, bool lineWasCut = false);

/* The start-up commands of a profile: pieces separated by ";", in order;
 * the last piece only when it is not empty. */
std::vector<std::string> SplitInitCommands(const char *text);

/* A listing time shifted by a number of hours (any size, either sign) on
 * the Gregorian calendar.  Fields not in range (month 0, day 0) are left
 * alone: the listing did not give a date. */
struct ListingTime {
    int year, month, day, hour, minute, second;
};
void ShiftListingTime(ListingTime *t, long hours);

#endif
