// Feeds arbitrary bytes to the shared transfer rules that read what a
// server sends: preliminary and SIZE replies, names, name lists.
#include "xferrules.h"

#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string text(reinterpret_cast<const char *>(data), size);
    const char *s = text.c_str(); // stops at the first NUL, as replies do
    uint64_t n = 0;
    if (ParseAnnouncedSize(s, &n) && n > ((uint64_t)1 << 62))
        abort();
    if (ParseSizeReply(s, &n) && n > ((uint64_t)1 << 62))
        abort();
    int check = CheckLocalName(s, size % 300);
    if (check < LN_OK || check > LN_TOO_LONG || !LocalNameCheckText(check))
        abort();
    char key[64];
    LocalNameKey(s, key, sizeof key);
    if (strlen(key) >= sizeof key)
        abort();
    size_t pos = 0, lines = 0;
    char out[32];
    for (;;) {
        size_t before = pos;
        int r = NextNameLine(text.data(), text.size(), &pos, out, sizeof out);
        if (r == NL_END)
            break;
        if (pos <= before || pos > text.size() || (r == NL_OK && (!out[0] || strlen(out) >= sizeof out)))
            abort();
        if (++lines > size + 1)
            abort();
    }
    return 0;
}
