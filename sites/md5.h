/* MD5 of a buffer as 32 upper-case hex digits, from the platform's CryptoAPI.
 * Shared by the library and the desktop client (password scrambling). */
#ifndef TESSEL_MD5_H
#define TESSEL_MD5_H

#include <windows.h>
#include <stddef.h>

/* 32 upper-case hex digits and a terminator into out[33]; FALSE when the
 * CryptoAPI cannot hash. */
BOOL Md5Hex(const void *data, size_t len, char out[33]);

#endif
