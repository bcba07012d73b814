#include "support/ProxyControl.h"

#include <cstdlib>

#include "support/PublisherControl.h"

namespace proxy {

namespace {

const char kSettingsKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
const char* const kSettings[] = {"ProxyEnable", "ProxyServer"};

std::string Control(const std::string& target)
{
    const publisher::Reply reply = publisher::Send(Port(), "GET", target);
    return reply.status == 200 ? reply.body : std::string();
}

// The prompt's edit fields: the user name's and the password's (ES_PASSWORD).
struct Fields {
    HWND user = nullptr;
    HWND password = nullptr;
};

BOOL CALLBACK CollectField(HWND hWnd, LPARAM lParam)
{
    Fields* fields = reinterpret_cast<Fields*>(lParam);
    char name[8] = {};
    ::GetClassNameA(hWnd, name, sizeof name);
    if (::lstrcmpiA(name, "Edit") == 0)
        ((::GetWindowLongA(hWnd, GWL_STYLE) & ES_PASSWORD) ? fields->password : fields->user) = hWnd;
    return TRUE;
}

Fields FieldsOf(HWND hDialog)
{
    Fields fields;
    ::EnumChildWindows(hDialog, &CollectField, reinterpret_cast<LPARAM>(&fields));
    return fields;
}

struct Search {
    DWORD processId;
    HWND found;
};

BOOL CALLBACK FindPrompt(HWND hWnd, LPARAM lParam)
{
    Search* search = reinterpret_cast<Search*>(lParam);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hWnd, &pid);
    if (pid == search->processId && ::IsWindowVisible(hWnd) && FieldsOf(hWnd).password)
        search->found = hWnd;
    return search->found == nullptr;
}

}  // namespace

int Port()
{
    const char* text = std::getenv("MELVORA_PROXY_PORT");
    return text ? std::atoi(text) : 0;
}

std::vector<std::string> Forwarded()
{
    // method, URL, credentials, forwarded: one line per request.
    std::vector<std::string> paths;
    const std::string log = Control("/__proxy/log");
    for (size_t from = 0, end; (end = log.find('\n', from)) != std::string::npos; from = end + 1) {
        const std::string line = log.substr(from, end - from);
        const size_t urlAt = line.find('\t') + 1;
        const std::string url = line.substr(urlAt, line.find('\t', urlAt) - urlAt);
        const size_t path = url.find('/', url.find("//") + 2);
        if (line.size() > 4 && line.compare(line.size() - 4, 4, "\tyes") == 0 && path != std::string::npos)
            paths.push_back(url.substr(path));
    }
    return paths;
}

bool Reset(const std::string& user, const std::string& password)
{
    return Control("/__proxy/clear-log") == "OK\n" &&
           Control("/__proxy/credentials?user=" + publisher::UrlEncode(user) +
                   "&password=" + publisher::UrlEncode(password)) == "OK\n";
}

ScopedSystemProxy::ScopedSystemProxy(const std::string& hostAndPort)
{
    for (int i = 0; i < 2; ++i)
        m_values[i] = testutil::ReadRegValue(HKEY_CURRENT_USER, kSettingsKey, kSettings[i]);
    const DWORD on = 1;
    m_set = ::RegSetKeyValueA(HKEY_CURRENT_USER, kSettingsKey, kSettings[0], REG_DWORD, &on, sizeof on) == 0 &&
            ::RegSetKeyValueA(HKEY_CURRENT_USER, kSettingsKey, kSettings[1], REG_SZ, hostAndPort.c_str(),
                              DWORD(hostAndPort.size() + 1)) == 0;
}

ScopedSystemProxy::~ScopedSystemProxy()
{
    for (int i = 0; i < 2; ++i) {
        const testutil::RegValue& value = m_values[i];
        if (value.exists)
            ::RegSetKeyValueA(HKEY_CURRENT_USER, kSettingsKey, kSettings[i], value.type, value.data.data(),
                              DWORD(value.data.size()));
        else
            ::RegDeleteKeyValueA(HKEY_CURRENT_USER, kSettingsKey, kSettings[i]);
    }
}

HWND WaitForPrompt(DWORD processId, DWORD timeoutMs)
{
    Search search{processId, nullptr};
    testutil::WaitFor([&] { return !::EnumWindows(&FindPrompt, reinterpret_cast<LPARAM>(&search)); }, timeoutMs);
    return search.found;
}

void AnswerPrompt(HWND hPrompt, const std::string& user, const std::string& password)
{
    const Fields fields = FieldsOf(hPrompt);
    ::SendMessageA(fields.user, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(user.c_str()));
    ::SendMessageA(fields.password, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(password.c_str()));
    ::PostMessageA(hPrompt, WM_COMMAND, IDOK, 0);
}

}  // namespace proxy
