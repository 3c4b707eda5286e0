// Feeds arbitrary bytes as a listing line to the decoder of every host
// family, and to out-of-range host numbers, checking that every result is
// well formed.  The first bytes of the input choose the current directory
// and user id some families compare names with.
#include "direntry.h"

#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <string>

static void Check(const DirEntry &e, int length)
{
    size_t n = strnlen(e.name, sizeof e.name);
    if (n == sizeof e.name || int(n) != length || e.month > 12 || e.day > 31 || e.year > 2038 ||
        e.mode > 0777 || e.modeFlags > 1 || (e.kind != 0 && e.kind != 2 && e.kind != 4))
        abort();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Split: [dir length][user length] dir user line
    size_t dirLength = size > 0 ? data[0] % 24 : 0;
    size_t userLength = size > 1 ? data[1] % 12 : 0;
    size_t offset = size > 2 ? 2 : size;
    std::string dir, user;
    if (size - offset >= dirLength + userLength) {
        dir.assign(reinterpret_cast<const char *>(data + offset), dirLength);
        user.assign(reinterpret_cast<const char *>(data + offset + dirLength), userLength);
        offset += dirLength + userLength;
    }
    // The line as a C string, embedded zero bytes and all: the decoder must
    // stop at the first.
    std::string line(reinterpret_cast<const char *>(data + offset), size - offset);

    DirEntry e;
    // The families that take the name as it stands in the line: a name
    // they give is a piece of the line, byte for byte (save the blanks
    // "ls -b" escapes, which come back unescaped).
    std::string cleaned = line.substr(0, line.find_first_of(std::string("\r\n\0", 3)));
    static const int kVerbatim[] = {6000, 6010, 6016, 6018, 6030, 6042};
    for (int type : kVerbatim) {
        int n = TESSEL_DecodeLine(&e, line.c_str(), type, dir.c_str(), user.c_str());
        Check(e, n);
        if (n > 0 && cleaned.find('\\') == std::string::npos && cleaned.find(e.name) == std::string::npos)
            abort();
    }

    static const int kOutOfRange[] = {0, -1, 5999, 6052, 7000, 0x7FFFFFFF, -0x7FFFFFFF - 1};
    for (int type = 6000; type <= 6051; ++type)
        Check(e, TESSEL_DecodeLine(&e, line.c_str(), type, dir.c_str(), user.c_str()));
    for (int type : kOutOfRange)
        Check(e, TESSEL_DecodeLine(&e, line.c_str(), type, dir.c_str(), user.c_str()));
    // null directory and user are allowed
    Check(e, TESSEL_DecodeLine(&e, line.c_str(), 6012, nullptr, nullptr));
    return 0;
}
