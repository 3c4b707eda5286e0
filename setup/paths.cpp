// Path helpers of the installer.
#include "setup.h"

std::string TrimSeparator(std::string path)
{
    // Keep "C:\" and "\" whole: they name a root, not a folder with a
    // trailing separator.
    while (path.size() > 1 && (path.back() == '\\' || path.back() == '/') &&
           !(path.size() == 3 && path[1] == ':'))
        path.pop_back();
    return path;
}

std::string JoinPath(const std::string &dir, const std::string &name)
{
    if (dir.empty())
        return name;
    if (dir.back() == '\\' || dir.back() == '/')
        return dir + name;
    return dir + "\\" + name;
}

std::string FullPath(const std::string &path)
{
    char buf[MAX_PATH * 2];
    DWORD n = GetFullPathNameA(path.c_str(), sizeof buf, buf, nullptr);
    if (n == 0 || n >= sizeof buf)
        return path;
    return TrimSeparator(buf);
}

bool SamePath(const std::string &a, const std::string &b)
{
    return lstrcmpiA(FullPath(a).c_str(), FullPath(b).c_str()) == 0;
}

bool FileExists(const std::string &path)
{
    DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirExists(const std::string &path)
{
    DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

DWORD MakeFolders(const std::string &path)
{
    std::string p = TrimSeparator(path);
    if (p.empty())
        return ERROR_PATH_NOT_FOUND;
    if (DirExists(p))
        return 0;
    size_t cut = p.find_last_of("\\/");
    if (cut != std::string::npos && cut > 0) {
        std::string parent = p.substr(0, cut);
        // "C:" alone is a drive, not a folder to create.
        if (!(parent.size() == 2 && parent[1] == ':') && !DirExists(parent)) {
            DWORD rc = MakeFolders(parent);
            if (rc)
                return rc;
        }
    }
    if (CreateDirectoryA(p.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS)
        return DirExists(p) ? 0 : ERROR_FILE_EXISTS;
    return GetLastError();
}

std::string FolderOfModule(HMODULE module)
{
    char buf[MAX_PATH];
    DWORD n = GetModuleFileNameA(module, buf, sizeof buf);
    if (n == 0 || n >= sizeof buf)
        return std::string();
    std::string s(buf, n);
    size_t cut = s.find_last_of("\\/");
    return cut == std::string::npos ? std::string() : s.substr(0, cut);
}
