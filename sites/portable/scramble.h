/* Password scrambling of stored profiles.  Passwords are never stored in
 * clear, but these forms only keep them from casual reading: they are no
 * protection, and stored registries and INI files depend on them exactly.
 *
 * Registry form ("Passwd", "FPswd"): every character minus 6 (8-bit wrap),
 * terminator kept as 0.
 *
 * INI form ("PWD" of a site section and of the "FIREWALL" section):
 *   "V" + 32 upper-case hex digits of MD5(user + password + "%4!x!7")
 *       + two upper-case hex digits per password character, character i
 *         being (c + i + (digest[i % 32] & 0x3F)) mod 256, where digest[k]
 *         is the character code of hex digit k of the digest text.
 *   Reading takes the digest digits from the stored text and never checks
 *   them, so the user id plays no part.  Text without the leading "V" is
 *   the older form: two hex digits per character, character i = value - i.
 *
 * No Win32 here: the desktop client and the native tests use these too.
 * MD5 itself is the platform's (the caller hands in the digest text). */
#ifndef TESSEL_SCRAMBLE_H
#define TESSEL_SCRAMBLE_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The fixed suffix of the MD5 input of the INI form. */
#define TESSEL_SCRAMBLE_SUFFIX "%4!x!7"
#define TESSEL_DIGEST_HEX_LEN 32

/* Registry form.  Writes strlen(password) + 1 bytes (terminator included)
 * into out and returns that count; 0 when out is too small. */
size_t TesselScrambleReg(const char *password, unsigned char *out, size_t outSize);

/* Registry form, reading: data as the registry returned it (len bytes, the
 * last one being the terminator's place).  Returns 1 and a terminated
 * password, or 0 (out emptied) when the data is empty or the password
 * would not fit outSize: a cut password is worse than none. */
int TesselDescrambleReg(const unsigned char *data, size_t len, char *out, size_t outSize);

/* The text whose MD5 the INI form carries: user + password + suffix.
 * Returns its length, or 0 when out is too small. */
size_t TesselScrambleDigestInput(const char *user, const char *password, char *out, size_t outSize);

/* INI form, writing.  digestHex: the 32 hex digits of the MD5 of the digest
 * input (upper-case; lower-case is folded).  Returns the text length, or 0
 * when out is too small (needs 34 + 2 * strlen(password) bytes) or the
 * digest text is not hex. */
size_t TesselScrambleIni(const char *password, const char *digestHex, char *out, size_t outSize);

/* INI form, reading either form.  Returns 1 with a terminated password, or
 * 0 (out emptied) when the text is empty, too short, of odd length, holds
 * anything but hex digits, decodes to a zero character, or would not fit
 * outSize. */
int TesselDescrambleIni(const char *text, char *out, size_t outSize);

/* Older INI form, writing (kept for tests and for tools that must produce
 * files of older programs).  Returns the length, or 0 when out is too small. */
size_t TesselScrambleIniOld(const char *password, char *out, size_t outSize);

#ifdef __cplusplus
}
#endif

#endif
