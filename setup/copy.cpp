// Copying one distribution file: LZ expansion into a temporary file beside
// the target, a check that the whole file came out, then the move into place
// with the in-use rules for programs and libraries.
#include "setupres.h"
#include "setup.h"

#include <lzexpand.h>
#include <stdio.h>

namespace {

const char kRunServicesOnce[] = "Software\\Microsoft\\Windows\\CurrentVersion\\RunServicesOnce";
const BYTE kSzddMagic[8] = {'S', 'Z', 'D', 'D', 0x88, 0xF0, 0x27, 0x33};

struct FileHandle {
    HANDLE h = INVALID_HANDLE_VALUE;
    ~FileHandle() { Close(); }
    void Close()
    {
        if (h != INVALID_HANDLE_VALUE)
            CloseHandle(h);
        h = INVALID_HANDLE_VALUE;
    }
};

struct LzHandle {
    INT h = -1;
    ~LzHandle()
    {
        if (h >= 0)
            LZClose(h);
    }
};

// The size the header of a compressed file promises, or -1 when the file is
// not in the compress format (a damaged header counts as such).
LONGLONG PromisedSize(const std::string &path)
{
    FileHandle f;
    f.h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (f.h == INVALID_HANDLE_VALUE)
        return -1;
    BYTE head[14];
    DWORD got = 0;
    if (!ReadFile(f.h, head, sizeof head, &got, nullptr) || got != sizeof head || memcmp(head, kSzddMagic, 8) != 0 ||
        head[8] != 'A')
        return -1;
    return (LONGLONG)(head[10] | head[11] << 8 | head[12] << 16 | (DWORD)head[13] << 24);
}

bool IsProgramOrLibrary(const std::string &name)
{
    size_t dot = name.find_last_of('.');
    if (dot == std::string::npos)
        return false;
    std::string ext = name.substr(dot);
    return lstrcmpiA(ext.c_str(), ".exe") == 0 || lstrcmpiA(ext.c_str(), ".dll") == 0;
}

// Expands (or copies) source into temp; 0 or a Windows error.  Only a file
// that came out whole counts.
DWORD Expand(const std::string &source, bool compressed, const std::string &temp)
{
    LONGLONG want = -1;
    if (compressed) {
        want = PromisedSize(source);
        if (want < 0)
            return ERROR_BAD_FORMAT;
    }
    OFSTRUCT ofs = {};
    LzHandle src;
    src.h = LZOpenFileA((LPSTR)source.c_str(), &ofs, OF_READ | OF_SHARE_DENY_WRITE);
    if (src.h < 0)
        return ERROR_FILE_NOT_FOUND;
    // The destination is opened directly: the LZ library's own open takes
    // paths of at most 128 characters.
    FileHandle dst;
    dst.h = CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (dst.h == INVALID_HANDLE_VALUE)
        return GetLastError();
    LONG n = LZCopy(src.h, (HFILE)(UINT_PTR)dst.h);
    dst.Close();
    if (n < 0)
        return n == LZERROR_WRITE ? ERROR_WRITE_FAULT : ERROR_READ_FAULT;
    if (!compressed) {
        WIN32_FILE_ATTRIBUTE_DATA fa;
        if (GetFileAttributesExA(source.c_str(), GetFileExInfoStandard, &fa))
            want = ((LONGLONG)fa.nFileSizeHigh << 32) | fa.nFileSizeLow;
    }
    if (want >= 0 && (LONGLONG)n != want)
        return ERROR_HANDLE_EOF; // truncated or damaged: the data ran out early
    return 0;
}

// True when the file is held open by a running program (loaded library or
// program image): it cannot be opened for writing, yet is not read-only.
bool InUse(const std::string &path)
{
    DWORD attr = GetFileAttributesA(path.c_str());
    if (attr == INVALID_FILE_ATTRIBUTES || (attr & FILE_ATTRIBUTE_READONLY))
        return false;
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
        CloseHandle(h);
        return false;
    }
    DWORD e = GetLastError();
    return e == ERROR_SHARING_VIOLATION || e == ERROR_LOCK_VIOLATION || e == ERROR_ACCESS_DENIED;
}

bool IsReadOnly(const std::string &path)
{
    DWORD attr = GetFileAttributesA(path.c_str());
    return attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_READONLY);
}

std::string ShortPath(const std::string &path)
{
    char buf[MAX_PATH];
    DWORD n = GetShortPathNameA(path.c_str(), buf, sizeof buf);
    return n && n < sizeof buf ? std::string(buf, n) : path;
}

} // namespace

std::string CompressedName(const std::string &name)
{
    if (name.empty())
        return name;
    std::string c = name;
    c.back() = '_';
    return c;
}

bool RegisterCopyAtRestart(const std::string &newFile, const std::string &target)
{
    HKEY key;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kRunServicesOnce, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return false;
    char command[2 * MAX_PATH + 40];
    snprintf(command, sizeof command, "command.com /c copy %s %s", ShortPath(newFile).c_str(), ShortPath(target).c_str());
    bool done = false;
    for (unsigned i = 0; i < 10000 && !done; i++) {
        char value[32];
        snprintf(value, sizeof value, "Corvane%u", i);
        if (RegQueryValueExA(key, value, nullptr, nullptr, nullptr, nullptr) == ERROR_FILE_NOT_FOUND)
            done = RegSetValueExA(key, value, 0, REG_SZ, (const BYTE *)command, (DWORD)strlen(command) + 1) ==
                   ERROR_SUCCESS;
    }
    RegCloseKey(key);
    return done;
}

DWORD CopyOneFile(InstallState &st, const CopyRequest &req)
{
    std::string plain = JoinPath(req.sourceDir, req.name);
    std::string packed = JoinPath(req.sourceDir, CompressedName(req.name));
    std::string target = JoinPath(req.destDir, req.destName);
    if (SamePath(plain, target))
        return 0;

    bool compressed = FileExists(packed);
    std::string source = compressed ? packed : plain;
    std::string from = TrimSeparator(req.sourceDir) + "\\";
    std::string fromName = compressed ? CompressedName(req.name) : req.name;
    ShowProgress(st, FormatText(IDS_COPYING, {(DWORD_PTR)from.c_str(), (DWORD_PTR)fromName.c_str(),
                                              (DWORD_PTR)req.destDir.c_str(), (DWORD_PTR)req.destName.c_str()}));

    DWORD rc = 0;
    std::string temp = target + ".$$$";
    if (!compressed && !FileExists(plain))
        rc = ERROR_FILE_NOT_FOUND;
    else if (target.size() + 4 >= MAX_PATH)
        rc = ERROR_FILENAME_EXCED_RANGE;
    else
        rc = Expand(source, compressed, temp);

    if (rc == 0) {
        if (IsProgramOrLibrary(req.destName) && InUse(target)) {
            rc = ERROR_SHARING_VIOLATION;
            if (st.nt) {
                // A running image can be renamed, not replaced: keep the old
                // one as ".bak" until the restart.
                std::string bak = target.substr(0, target.find_last_of('.')) + ".bak";
                DeleteFileA(bak.c_str());
                if (MoveFileA(target.c_str(), bak.c_str()) && MoveFileA(temp.c_str(), target.c_str())) {
                    st.restartNeeded = true;
                    return 0;
                }
            } else {
                std::string fresh = target.substr(0, target.find_last_of('.')) + ".new";
                if (MoveFileExA(temp.c_str(), fresh.c_str(), MOVEFILE_REPLACE_EXISTING) &&
                    RegisterCopyAtRestart(fresh, target)) {
                    st.restartNeeded = true;
                    return 0;
                }
            }
        } else if (IsReadOnly(target)) {
            // Not ours to replace (Wine's move would replace it anyway).
            rc = ERROR_ACCESS_DENIED;
        } else if (MoveFileExA(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) {
            return 0;
        } else {
            rc = GetLastError();
        }
    }
    DeleteFileA(temp.c_str());
    if (req.report)
        ShowMessage(st, IDS_COPY_FAILED, MB_OK | MB_ICONEXCLAMATION,
                    {(DWORD_PTR)source.c_str(), (DWORD_PTR)target.c_str(), (DWORD_PTR)rc}, IDS_COPY_TITLE);
    return rc;
}
