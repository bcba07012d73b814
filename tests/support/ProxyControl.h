// The loopback proxy that asks for credentials (tools/auth_proxy.py) as the tests under
// Wine use it: the system's proxy setting pointed at it, its log, its credentials, and
// the prompt a program shows when it meets it.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "support/TestUtil.h"

namespace proxy {

// Its port, from MELVORA_PROXY_PORT (0 when unset).
int Port();
// The paths (with queries) of the requests it forwarded, oldest first.
std::vector<std::string> Forwarded();
// Forgets its log; from now on it asks for these credentials. False when it does not answer.
bool Reset(const std::string& user, const std::string& password);

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
    testutil::RegValue m_values[2];
    bool m_set = false;
};

// The process's prompt for a user name and password (a dialog with a password field),
// once it shows within timeoutMs; null when none does.
HWND WaitForPrompt(DWORD processId, DWORD timeoutMs = 30000);
// Types the user name and password into the prompt and presses OK.
void AnswerPrompt(HWND hPrompt, const std::string& user, const std::string& password);

}  // namespace proxy
