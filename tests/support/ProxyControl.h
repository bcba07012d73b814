// The loopback proxy that asks for credentials (tools/auth_proxy.py) as the tests under
// Wine use it: the system's proxy setting pointed at it, its log, its credentials, and
// the proxy-credentials prompt a program shows when it meets it.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "support/TestUtil.h"

namespace proxy {

// Its port, from MELVORA_PROXY_PORT (0 when unset).
int Port();

// One request asked of the proxy.
struct LogEntry {
    std::string method;
    std::string url;           // as asked: the whole URL
    std::string credentials;   // "none", "good" or "wrong"
    bool forwarded = false;
};
std::vector<LogEntry> ReadLog();
bool ClearLog();
// The credentials it asks for from now on.
bool SetCredentials(const std::string& user, const std::string& password);

// While it lives, the system's proxy setting (HKEY_CURRENT_USER's Internet Settings) is
// host:port; the earlier setting comes back when it goes.
class ScopedSystemProxy {
public:
    explicit ScopedSystemProxy(const std::string& hostAndPort);
    ~ScopedSystemProxy();
    ScopedSystemProxy(const ScopedSystemProxy&) = delete;
    ScopedSystemProxy& operator=(const ScopedSystemProxy&) = delete;
    bool Set() const { return m_set; }

private:
    testutil::RegValue m_enable;
    testutil::RegValue m_server;
    bool m_set = false;
};

// The proxy-credentials prompt the process shows (a dialog with a password field); null
// when it shows none.
HWND FindPrompt(DWORD processId);
// Types the user name and password into the prompt and presses OK.
void AnswerPrompt(HWND hPrompt, const std::string& user, const std::string& password);

}  // namespace proxy
