// The Program Manager group, by DDE with the shell's "PROGMAN" service.
#include "setup.h"

#include <ddeml.h>
#include <stdio.h>

namespace {

HDDEDATA CALLBACK DdeCallback(UINT, UINT, HCONV, HSZ, HSZ, HDDEDATA, ULONG_PTR, ULONG_PTR)
{
    return nullptr;
}

std::wstring Wide(const std::string &s)
{
    int n = MultiByteToWideChar(CP_ACP, 0, s.c_str(), -1, nullptr, 0);
    std::wstring w(n > 0 ? (size_t)n : 1, L'\0');
    if (n > 0)
        MultiByteToWideChar(CP_ACP, 0, s.c_str(), -1, &w[0], n);
    w.resize(wcslen(w.c_str()));
    return w;
}

// One conversation with the Program Manager; torn down with the object.
class Progman {
public:
    Progman()
    {
        if (DdeInitializeW(&inst_, DdeCallback, APPCMD_CLIENTONLY, 0) != DMLERR_NO_ERROR) {
            inst_ = 0;
            return;
        }
        HSZ name = DdeCreateStringHandleW(inst_, L"PROGMAN", CP_WINUNICODE);
        conv_ = DdeConnect(inst_, name, name, nullptr);
        DdeFreeStringHandle(inst_, name);
    }
    ~Progman()
    {
        if (conv_)
            DdeDisconnect(conv_);
        if (inst_)
            DdeUninitialize(inst_);
    }
    bool Connected() const { return conv_ != nullptr; }

    bool Execute(const std::string &command)
    {
        if (!conv_)
            return false;
        std::wstring w = Wide(command);
        DWORD result = 0;
        HDDEDATA h = DdeClientTransaction((LPBYTE)w.c_str(), (DWORD)((w.size() + 1) * sizeof(wchar_t)), conv_, nullptr,
                                          CF_UNICODETEXT, XTYP_EXECUTE, 30000, &result);
        return h != nullptr;
    }

    std::string Request(const wchar_t *item)
    {
        if (!conv_)
            return std::string();
        HSZ hsz = DdeCreateStringHandleW(inst_, item, CP_WINUNICODE);
        DWORD result = 0;
        HDDEDATA h = DdeClientTransaction(nullptr, 0, conv_, hsz, CF_TEXT, XTYP_REQUEST, 10000, &result);
        DdeFreeStringHandle(inst_, hsz);
        if (!h)
            return std::string();
        DWORD n = DdeGetData(h, nullptr, 0, 0);
        std::string s(n, '\0');
        if (n)
            DdeGetData(h, (LPBYTE)&s[0], n, 0);
        DdeFreeDataHandle(h);
        s.resize(strlen(s.c_str()));
        return s;
    }

private:
    DWORD inst_ = 0;
    HCONV conv_ = nullptr;
};

} // namespace

std::vector<std::string> ListGroups()
{
    std::vector<std::string> groups;
    Progman pm;
    std::string text = pm.Request(L"Groups");
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos)
            end = text.size();
        if (end > start)
            groups.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return groups;
}

bool CreateGroup(const std::string &group, const std::vector<GroupItem> &items)
{
    if (!IsSafeGroupName(group))
        return false;
    Progman pm;
    if (!pm.Connected())
        return false;
    bool ok = pm.Execute("[CreateGroup(" + group + ")]");
    for (const GroupItem &it : items) {
        char cmd[4 * MAX_PATH];
        snprintf(cmd, sizeof cmd, "[AddItem(\"%s\",\"%s\",,,,,%s)]", it.command.c_str(), it.name.c_str(),
                 it.workDir.c_str());
        ok = pm.Execute(cmd) && ok;
    }
    return ok;
}

bool DeleteGroup(const std::string &group, const std::vector<std::string> &itemNames)
{
    if (!IsSafeGroupName(group))
        return false;
    Progman pm;
    if (!pm.Connected())
        return false;
    // The items first, so that a shell that keeps the group folder when it
    // still holds something is left with nothing of ours in it.
    if (pm.Execute("[ShowGroup(" + group + ",1)]"))
        for (const std::string &name : itemNames)
            pm.Execute("[DeleteItem(" + name + ")]");
    return pm.Execute("[DeleteGroup(" + group + ")]");
}
