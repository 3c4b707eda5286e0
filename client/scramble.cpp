// Stored passwords of TESSEL.INI, in the scrambled form the library uses
// too.  The scrambling itself is the shared portable code; MD5 comes from
// the system's CryptoAPI.
#include "client.h"

#if __has_include("scramble.h")
#include "scramble.h"
#define T95_HAVE_SCRAMBLE 1
#endif

#include <wincrypt.h>
#include <string.h>

#include <vector>

namespace t95 {

static BOOL Md5Hex(const void *data, size_t len, char out[33])
{
    static const char hex[] = "0123456789ABCDEF";
    out[0] = 0;
    HCRYPTPROV prov = 0;
    if (!CryptAcquireContextA(&prov, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT))
        return FALSE;
    BOOL ok = FALSE;
    HCRYPTHASH hash = 0;
    if (CryptCreateHash(prov, CALG_MD5, 0, 0, &hash)) {
        BYTE digest[16];
        DWORD dlen = sizeof digest;
        if (CryptHashData(hash, (const BYTE *)data, (DWORD)len, 0) &&
            CryptGetHashParam(hash, HP_HASHVAL, digest, &dlen, 0) && dlen == sizeof digest) {
            for (int i = 0; i < 16; i++) {
                out[2 * i] = hex[digest[i] >> 4];
                out[2 * i + 1] = hex[digest[i] & 15];
            }
            out[32] = 0;
            ok = TRUE;
        }
        CryptDestroyHash(hash);
    }
    CryptReleaseContext(prov, 0);
    return ok;
}

#ifdef T95_HAVE_SCRAMBLE
void ScramblePassword(const char *key, const char *password, char *out, size_t size)
{
    if (size)
        out[0] = 0;
    std::vector<char> input(strlen(key) + strlen(password) + 16);
    size_t n = TesselScrambleDigestInput(key, password, input.data(), input.size());
    char digest[33];
    if (!n || !Md5Hex(input.data(), n, digest) || !TesselScrambleIni(password, digest, out, size)) {
        if (size)
            out[0] = 0;
    }
    // The digest input holds the password in clear.
    SecureZeroMemory(input.data(), input.size());
}

int DescramblePassword(const char *value, char *out, size_t size)
{
    return TesselDescrambleIni(value, out, size);
}
#else
// Without the shared scrambler nothing is stored: a password is never
// written in clear.
void ScramblePassword(const char *, const char *, char *out, size_t size)
{
    if (size)
        out[0] = 0;
    (void)Md5Hex;
}

int DescramblePassword(const char *, char *out, size_t size)
{
    if (size)
        out[0] = 0;
    return 0;
}
#endif

} // namespace t95
