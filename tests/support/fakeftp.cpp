#include "fakeftp.h"

#include <winsock2.h>
#include <windows.h>

#include <stdlib.h>
#include <string.h>

namespace fake {

static int EnvInt(const char *name)
{
    const char *v = getenv(name);
    return v ? atoi(v) : 0;
}

int ControlPort() { return EnvInt("TESSEL_FAKEFTPD_PORT"); }
int VsftpdPort() { return EnvInt("TESSEL_VSFTPD_PORT"); }

static std::string EnvStr(const char *name, const char *def)
{
    const char *v = getenv(name);
    return v ? v : def;
}

std::string VsftpdRoot() { return EnvStr("TESSEL_VSFTPD_ROOT_WIN", ""); }
std::string VsftpdUser() { return EnvStr("TESSEL_VSFTPD_USER", "tessel"); }
std::string VsftpdPassword() { return EnvStr("TESSEL_VSFTPD_PASS", "tessel"); }

// One request on the control port: send the text, read until the server
// closes.
static std::string Ask(const std::string &request)
{
    int port = ControlPort();
    if (!port)
        return "";
    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a;
    memset(&a, 0, sizeof a);
    a.sin_family = AF_INET;
    a.sin_port = htons((u_short)port);
    a.sin_addr.s_addr = inet_addr("127.0.0.1");
    std::string out;
    if (connect(s, (sockaddr *)&a, sizeof a) == 0) {
        size_t off = 0;
        while (off < request.size()) {
            int n = send(s, request.data() + off, (int)(request.size() - off), 0);
            if (n <= 0)
                break;
            off += (size_t)n;
        }
        shutdown(s, SD_SEND);
        char buf[4096];
        int n;
        while ((n = recv(s, buf, sizeof buf, 0)) > 0)
            out.append(buf, (size_t)n);
    }
    closesocket(s);
    return out;
}

int Load(const std::string &scriptName) { return atoi(Ask("LOAD " + scriptName + "\n").c_str()); }

int Inline(const std::string &script) { return InlineOnPort(script, 0); }

int InlineOnPort(const std::string &script, int port)
{
    return atoi(Ask("INLINE " + std::to_string(port) + "\n" + script).c_str());
}

std::vector<std::string> Received(int port)
{
    std::string text = Ask("LOG " + std::to_string(port) + "\n");
    std::vector<std::string> lines;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t nl = text.find('\n', pos);
        if (nl == std::string::npos)
            nl = text.size();
        lines.push_back(text.substr(pos, nl - pos));
        pos = nl + 1;
    }
    return lines;
}

} // namespace fake
