#include <winsock2.h>
#include <windows.h>

#include "PublisherControl.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace publisher {

namespace {

const size_t kMaxReply = 64 * 1024 * 1024;

std::string ControlTarget(const std::string& action, const std::string& query)
{
    return "/__control/" + action + (query.empty() ? "" : "?" + query);
}

bool ControlOk(const std::string& action, const std::string& query,
               const std::string& method = "GET", const std::string& body = std::string())
{
    return Send(ProductPort(), method, ControlTarget(action, query), body).status == 200;
}

std::string RoleParam(const char* role)
{
    return role ? "&role=" + UrlEncode(role) : std::string();
}

// Port named by a line "<role> <port>" of the server's /__control/ports reply.
int AskPort(const char* role, int fallbackOffset)
{
    const int product = ProductPort();
    if (product == 0)
        return 0;
    const Reply reply = Send(product, "GET", "/__control/ports");
    if (reply.status == 200) {
        const std::string key = std::string(role) + " ";
        size_t pos = 0;
        while (pos < reply.body.size()) {
            size_t end = reply.body.find('\n', pos);
            if (end == std::string::npos)
                end = reply.body.size();
            const std::string line = reply.body.substr(pos, end - pos);
            if (line.compare(0, key.size(), key) == 0)
                return std::atoi(line.c_str() + key.size());
            pos = end + 1;
        }
    }
    return product + fallbackOffset;
}

int PortOf(const char* role)
{
    if (!role || std::strcmp(role, "product") == 0)
        return ProductPort();
    if (std::strcmp(role, "stats") == 0)
        return StatsPort();
    if (std::strcmp(role, "log") == 0)
        return LogPort();
    return 0;
}

// "1796786596.209559" without depending on the C locale's decimal point.
double ParseSeconds(const std::string& text)
{
    double value = 0, scale = 1;
    bool fraction = false;
    for (char c : text) {
        if (c == '.' && !fraction) {
            fraction = true;
        } else if (c >= '0' && c <= '9') {
            if (fraction) {
                scale /= 10;
                value += (c - '0') * scale;
            } else {
                value = value * 10 + (c - '0');
            }
        } else {
            break;
        }
    }
    return value;
}

std::vector<std::string> SplitTabs(const std::string& line)
{
    std::vector<std::string> fields;
    size_t pos = 0;
    for (;;) {
        const size_t tab = line.find('\t', pos);
        fields.push_back(line.substr(pos, tab == std::string::npos ? std::string::npos : tab - pos));
        if (tab == std::string::npos)
            return fields;
        pos = tab + 1;
    }
}

}  // namespace

int ProductPort()
{
    char value[32] = {};
    const DWORD n = ::GetEnvironmentVariableA("MELVORA_TEST_PORT", value, sizeof value);
    if (n == 0 || n >= sizeof value)
        return 0;
    const int port = std::atoi(value);
    return port > 0 && port < 65536 ? port : 0;
}

int StatsPort()
{
    return AskPort("stats", 1);
}

int LogPort()
{
    return AskPort("log", 2);
}

std::string Host(const char* role)
{
    return "127.0.0.1:" + std::to_string(PortOf(role));
}

std::string Url(const std::string& path, const char* role)
{
    return "http://" + Host(role) + path;
}

std::string BasicAuthorization()
{
    return "Basic cGVicm9vazo1ODE2Y2U=";  // pebrook:5816ce
}

std::string UrlEncode(const std::string& text)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
            c == '-' || c == '_' || c == '.' || c == '~' || c == '/') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

Reply Send(int port, const std::string& method, const std::string& target, const std::string& body,
           const std::string& extraHeaders, unsigned timeoutMs)
{
    Reply reply;
    if (port <= 0)
        return reply;
    WSADATA wsa;
    if (::WSAStartup(MAKEWORD(2, 2), &wsa) != 0)
        return reply;
    SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s != INVALID_SOCKET) {
        const DWORD timeout = timeoutMs;
        ::setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
        ::setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
        sockaddr_in addr = {};
        addr.sin_family = AF_INET;
        addr.sin_port = ::htons(static_cast<u_short>(port));
        addr.sin_addr.s_addr = ::htonl(INADDR_LOOPBACK);
        if (::connect(s, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0) {
            std::string request = method + " " + target + " HTTP/1.0\r\n" +
                                  "Host: 127.0.0.1:" + std::to_string(port) + "\r\n" +
                                  "User-Agent: PublisherControl\r\n" + extraHeaders;
            if (!body.empty() || method == "PUT" || method == "POST")
                request += "Content-Length: " + std::to_string(body.size()) + "\r\n";
            request += "\r\n" + body;

            bool sent = true;
            for (size_t done = 0; done < request.size() && sent;) {
                const int chunk = static_cast<int>(std::min<size_t>(request.size() - done, 1 << 20));
                const int n = ::send(s, request.data() + done, chunk, 0);
                sent = n > 0;
                if (sent)
                    done += static_cast<size_t>(n);
            }
            // The server closes an HTTP/1.0 connection after its reply: read to the end.
            std::string raw;
            const DWORD start = ::GetTickCount();
            char buffer[65536];
            while (sent && raw.size() < kMaxReply && ::GetTickCount() - start <= timeoutMs) {
                const int n = ::recv(s, buffer, sizeof buffer, 0);
                if (n <= 0)
                    break;
                raw.append(buffer, static_cast<size_t>(n));
            }
            const size_t headEnd = raw.find("\r\n\r\n");
            const size_t lineEnd = raw.find("\r\n");
            int status = 0;
            if (headEnd != std::string::npos && raw.compare(0, 5, "HTTP/") == 0 &&
                std::sscanf(raw.c_str(), "HTTP/%*d.%*d %d", &status) == 1) {
                reply.status = status;
                reply.headers = lineEnd < headEnd ? raw.substr(lineEnd + 2, headEnd - lineEnd - 2) : "";
                reply.body = raw.substr(headEnd + 4);
            }
        }
        ::closesocket(s);
    }
    ::WSACleanup();
    return reply;
}

Reply Fetch(const std::string& target, const char* role, bool authenticate)
{
    const std::string auth = authenticate ? "Authorization: " + BasicAuthorization() + "\r\n" : "";
    return Send(PortOf(role), "GET", target, std::string(), auth);
}

std::string Get(const std::string& target)
{
    const Reply reply = Fetch(target);
    return reply.status == 200 ? reply.body : std::string();
}

bool Put(const std::string& path, const std::string& body, const char* role)
{
    return ControlOk("put", "path=" + UrlEncode(path) + RoleParam(role), "PUT", body);
}

bool Delete(const std::string& path, const char* role)
{
    return ControlOk("delete", "path=" + UrlEncode(path) + RoleParam(role));
}

bool MakeFile(const std::string& path, unsigned long long size, const char* role)
{
    return ControlOk("make-file", "path=" + UrlEncode(path) + "&size=" + std::to_string(size) +
                                      RoleParam(role));
}

bool Fault(const std::string& query)
{
    return ControlOk("fault", query);
}

bool Fault(const std::string& path, const std::string& kind, const std::string& params, const char* role)
{
    return Fault("path=" + UrlEncode(path) + "&kind=" + UrlEncode(kind) +
                 (params.empty() ? "" : "&" + params) + RoleParam(role));
}

bool ClearFault(const std::string& path, const char* role)
{
    return ControlOk("clear-fault", "path=" + UrlEncode(path) + RoleParam(role));
}

bool Validators(const std::string& path, const std::string& params)
{
    return ControlOk("validators", "path=" + UrlEncode(path) + "&" + params);
}

bool Reset()
{
    return ControlOk("reset", "");
}

bool ClearLog()
{
    return ControlOk("clear-log", "");
}

std::vector<RequestLogEntry> ReadLog(const char* role)
{
    std::vector<RequestLogEntry> entries;
    const Reply reply = Send(ProductPort(), "GET", ControlTarget("log", role ? "role=" + UrlEncode(role) : ""));
    if (reply.status != 200)
        return entries;
    size_t pos = 0;
    while (pos < reply.body.size()) {
        size_t end = reply.body.find('\n', pos);
        if (end == std::string::npos)
            end = reply.body.size();
        const std::vector<std::string> f = SplitTabs(reply.body.substr(pos, end - pos));
        pos = end + 1;
        if (f.size() != 8)
            continue;
        RequestLogEntry e;
        e.role = f[0];
        e.method = f[1];
        e.path = f[2];
        e.version = f[3];
        e.agent = f[4];
        e.authorization = f[5];
        e.time = ParseSeconds(f[6]);
        e.range = f[7];
        entries.push_back(e);
    }
    return entries;
}

}  // namespace publisher
