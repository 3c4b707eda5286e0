// Stored passwords of TESSEL.INI, in the scrambled form the library uses
// too.  The scrambling itself is the shared portable code; MD5 comes from
// the system's CryptoAPI.
#include "client.h"

#include "md5.h"
#include "scramble.h"

#include <string.h>

#include <vector>

namespace t95 {

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


} // namespace t95
