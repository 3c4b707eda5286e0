// The ASCII extension list TESSEL.EXT: one extension or file name a line.
#include "sitesint.h"

#include <string.h>

std::vector<std::string> ReadExtensionList(const char *path)
{
    std::vector<std::string> out;
    HANDLE h = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        out.push_back(".TXT");
        return out;
    }
    std::string text;
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(h, chunk, sizeof chunk, &got, nullptr) && got > 0 && text.size() < (1u << 20))
        text.append(chunk, got);
    CloseHandle(h);
    size_t pos = 0;
    while (pos < text.size()) {
        size_t eol = text.find('\n', pos);
        if (eol == std::string::npos)
            eol = text.size();
        std::string line = text.substr(pos, eol - pos);
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
            line.pop_back();
        if (line.size() > 9)
            line.resize(9);
        if (line.size() >= 2)
            out.push_back(line);
        pos = eol + 1;
    }
    return out;
}

BOOL WriteExtensionList(const char *path, const std::vector<std::string> &entries)
{
    std::string text;
    for (const auto &e : entries)
        if (e.size() >= 2)
            text += e + "\n";
    HANDLE h = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return FALSE;
    DWORD put = 0;
    BOOL ok = WriteFile(h, text.data(), (DWORD)text.size(), &put, nullptr) && put == text.size();
    CloseHandle(h);
    return ok;
}
