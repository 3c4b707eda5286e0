// MD5 through the Windows CryptoAPI: the one hash the stored-password
// scrambling needs, and no hash code of our own.
#include "md5.h"

#include <wincrypt.h>

BOOL Md5Hex(const void *data, size_t len, char out[33])
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
