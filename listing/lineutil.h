// Shared pieces of the listing decoders: the work record every family
// decoder fills, and the small text helpers they are built from.
//
// Every decoder works on a private copy of the line (at most 511
// characters) in a buffer that is zero-filled past the line, so any column
// a decoder asks for beyond the end of the line reads as empty text and as
// the number 0, never as text left there by a longer earlier line.
#ifndef TESSEL_LISTING_LINEUTIL_H
#define TESSEL_LISTING_LINEUTIL_H

#include "direntry.h"

#include <stddef.h>
#include <stdint.h>

namespace tessel {
namespace listing {

constexpr size_t kWorkSize = 512;        // work buffer; lines are cut at 511
constexpr size_t kMaxName = DIRENTRY_NAME_SIZE - 1;

// Values the decoders produce, wider than the DirEntry fields so that an
// absurd number in a line is clamped at the end instead of wrapping.
struct Work {
    char line[kWorkSize + 16];  // cleaned line; zeros after it
    char name[kWorkSize + 16];  // decoded name; may be too long for DirEntry
    uint64_t year, month, day, hour, minute, second, size;
    unsigned mode, modeFlags, kind;
    int hostType;
    size_t length;          // of the cleaned line
    size_t trailingBlanks;  // blanks the cleaning removed from its end
    const char *dir;   // current remote directory, never null
    const char *user;  // user id, never null
};

// ---- text helpers (operate on zero-terminated text inside the work line)

// Field n (1 = the line start) of blank-separated fields: a pointer to the
// rest of the line from that field on, or null when there are fewer fields.
char *FieldStart(char *line, int n);
// Number of fields separated by blanks or tabs.
int FieldCount(const char *line);
// FieldStart of field FieldCount - k + 1.
char *FieldFromEnd(char *line, int k);
// Trims the line, returns the text after its last blank (or last tab).
char *AfterLastBlank(char *line);
// Removes trailing blanks, tabs, CR and LF in place.
void TrimRight(char *text);
// 1..12 for a text starting with a month abbreviation (any case), else 0.
unsigned MonthNumber(const char *text);
// Month from the upper-cased first letters (JAN..DEC), else 0.
unsigned UpperMonth(const char *text);
// Skips blanks and reads a decimal number; 0 when there is none.  Saturates
// instead of overflowing.
uint64_t NumberAt(const char *text);
// True when NumberAt would find at least one digit.
bool HasNumberAt(const char *text);
// Plain conversion with an optional sign after white space; negative
// values give 0 (nothing in a listing has a negative size).
uint64_t ValueAt(const char *text);
bool HasDirMarker(const char *text);
// Removes trailing white space, leading blanks and every blank inside.
void SqueezeBlanks(char *text);
// A year as written in a listing to a full year: two digits pivot at 70
// (00..69 -> 20xx, 70..99 -> 19xx), 100..1899 count from 1900, and text
// without digits gives 0 (unknown).
uint64_t YearAt(const char *text);
uint64_t FullYear(uint64_t year);
// Three numbers separated by runs of "-" or "/".
void DatePair(const char *text, uint64_t *year, uint64_t *month, uint64_t *day);
// "h:mm" with an optional AM/PM letter two places after the minutes.
void ClockTime(const char *text, uint64_t *hour, uint64_t *minute);
// a * b without wrapping.
uint64_t MulSat(uint64_t a, uint64_t b);

// ---- helpers on the work record

// Length of the (possibly already shortened) work line.
size_t LineLength(const Work &w);
// Text of the work line from column c, or "" when c is at or past its end.
const char *Col(const Work &w, size_t c);
char *ColMut(Work &w, size_t c);
// Character at column c, or 0 past the end.
char At(const Work &w, size_t c);
uint64_t NumAt(const Work &w, size_t c);
uint64_t YearAtCol(const Work &w, size_t c);
// The number whose last character is at column c, read from the blank
// before it (0 when c is past the end).
uint64_t NumberEndingAt(const Work &w, size_t c);
// Copies n characters (stopping early at a zero) as the name.
void SetName(Work &w, const char *text, size_t n);
void SetName(Work &w, const char *text);
// Columns first..last of the line as the name, trailing white space removed.
void SetNameFromColumns(Work &w, size_t first, size_t last);
// Case-insensitive prefix test.
bool StartsWithNoCase(const char *text, const char *prefix);
bool StartsWith(const char *text, const char *prefix);
// Copies the first blank-delimited word of text as the name.
void SetNameFirstWord(Work &w, const char *text);
// Ends the work line just before p (p inside the line, after its start).
void TerminateBefore(Work &w, char *p);

// Year and month used by the UNIX rule that dates a time-of-day entry in a
// later month than now to last year.
void CurrentYearMonth(int *year, int *month);

// Year, month, day, time and size from UNIX-style fields (0 = not present).
void UnixFields(Work &w, int yearField, int monthField, int dayField, int timeField,
                int sizeField, int hostType);
// Directory, link or file from the line before the name; the name is cut
// at " ->" for links.
void LinkOrDir(Work &w, char *name);

// A UNIX permission block at s ("drwxr-xr-x", "-rw-r--r--+") followed by
// a blank; *end is set to that blank.
bool PermissionBlock(const char *s, const char **end);
// A Windows (IIS, DOS dir) line: date, time, <DIR> or size, name.  False,
// with nothing set, when the line is not one.
bool DecodeWindowsLine(Work &w);

// Host type of the line being decoded on this thread.
int CurrentHostType();

// ---- family decoders (work line cleaned and permission prelude done)

void DecodeUnix(Work &w);
void DecodeUniTree(Work &w);
void DecodeNt(Work &w);
void DecodeSiNt(Work &w);
void DecodeDosList(Work &w);
void DecodeDosFixed(Work &w);
void DecodeVms(Work &w);
void DecodeVm(Work &w);
void DecodeMvs(Work &w);
void DecodeMvsKnet(Work &w);
void DecodeSpartacus(Work &w);
void DecodeAs400(Work &w);
void DecodeMusic(Work &w);
void DecodeR1000(Work &w);
void DecodeCyber(Work &w);
void DecodePcTcp(Work &w);
void DecodeIbmPcTcp(Work &w);
void DecodeOs2(Work &w);
void DecodeOs2Warp(Work &w);
void DecodeQvt4(Work &w);
void DecodeFirstWordDir(Work &w);   // QVT/Net 2/3, MAC NCSA
void DecodeVersaTerm(Work &w);
void DecodePeterServer(Work &w);
void DecodeHellSoft(Work &w);
void DecodeNetWare(Work &w);
void DecodeVos(Work &w);
void DecodeAmiga(Work &w);
void DecodeKa9q(Work &w);
void DecodeOs9(Work &w);
void DecodeGcos(Work &w);
void DecodeCp6(Work &w);
void DecodeTandem(Work &w);
void DecodeHp3000(Work &w);
void DecodeOs2200(Work &w);
void DecodeQnx2(Work &w);
void DecodeAosVs(Work &w);
void DecodePassport(Work &w);

// Forget what the AS/400 and Stratus VOS decoders carried over from
// earlier lines on this thread.
void ResetAs400State();
void ResetVosState();

}  // namespace listing
}  // namespace tessel

// Pins the "current" year and month of the UNIX date rule; year 0 returns
// to the local clock.
void TesselSetClockForTests(int year, int month);

#endif
