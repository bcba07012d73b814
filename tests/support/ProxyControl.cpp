#include "support/ProxyControl.h"

#include <cstdlib>

#include "support/PublisherControl.h"

namespace proxy {

namespace {

const char kSettingsKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

std::string Control(const std::string& target)
{
    const publisher::Reply reply = publisher::Send(Port(), "GET", target);
    return reply.status == 200 ? reply.body : std::string();
}

void Restore(const char* name, const testutil::RegValue& value)
{
    if (value.exists)
        ::RegSetKeyValueA(HKEY_CURRENT_USER, kSettingsKey, name, value.type, value.data.data(),
                          DWORD(value.data.size()));
    else
        ::RegDeleteKeyValueA(HKEY_CURRENT_USER, kSettingsKey, name);
}

struct PromptSearch {
    DWORD processId;
    HWND found;
};

BOOL CALLBACK FindPasswordField(HWND hWnd, LPARAM lParam)
{
    char name[16] = {};
    ::GetClassNameA(hWnd, name, sizeof name);
    if (::lstrcmpiA(name, "Edit") == 0 && (::GetWindowLongA(hWnd, GWL_STYLE) & ES_PASSWORD)) {
        *reinterpret_cast<bool*>(lParam) = true;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK FindPromptWindow(HWND hWnd, LPARAM lParam)
{
    PromptSearch* search = reinterpret_cast<PromptSearch*>(lParam);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hWnd, &pid);
    char name[16] = {};
    ::GetClassNameA(hWnd, name, sizeof name);
    if (pid != search->processId || !::IsWindowVisible(hWnd) || std::string(name) != "#32770")
        return TRUE;
    bool hasPassword = false;
    ::EnumChildWindows(hWnd, &FindPasswordField, reinterpret_cast<LPARAM>(&hasPassword));
    if (!hasPassword)
        return TRUE;
    search->found = hWnd;
    return FALSE;
}

struct Typing {
    std::string user;
    std::string password;
    bool userDone = false;
};

BOOL CALLBACK TypeIntoFields(HWND hWnd, LPARAM lParam)
{
    Typing* typing = reinterpret_cast<Typing*>(lParam);
    char name[16] = {};
    ::GetClassNameA(hWnd, name, sizeof name);
    if (::lstrcmpiA(name, "Edit") != 0)
        return TRUE;
    if (::GetWindowLongA(hWnd, GWL_STYLE) & ES_PASSWORD) {
        ::SendMessageA(hWnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(typing->password.c_str()));
    } else if (!typing->userDone) {
        ::SendMessageA(hWnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(typing->user.c_str()));
        typing->userDone = true;
    }
    return TRUE;
}

}  // namespace

int Port()
{
    const char* text = std::getenv("MELVORA_PROXY_PORT");
    return text ? std::atoi(text) : 0;
}

std::vector<LogEntry> ReadLog()
{
    std::vector<LogEntry> entries;
    const std::string text = Control("/__proxy/log");
    size_t from = 0;
    for (size_t end; (end = text.find('\n', from)) != std::string::npos; from = end + 1) {
        std::vector<std::string> fields;
        const std::string line = text.substr(from, end - from);
        size_t start = 0;
        for (size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1)
            fields.push_back(line.substr(start, tab - start));
        fields.push_back(line.substr(start));
        if (fields.size() == 4)
            entries.push_back(LogEntry{fields[0], fields[1], fields[2], fields[3] == "yes"});
    }
    return entries;
}

bool ClearLog()
{
    return Control("/__proxy/clear-log") == "OK\n";
}

bool SetCredentials(const std::string& user, const std::string& password)
{
    return Control("/__proxy/credentials?user=" + publisher::UrlEncode(user) +
                   "&password=" + publisher::UrlEncode(password)) == "OK\n";
}

ScopedSystemProxy::ScopedSystemProxy(const std::string& hostAndPort)
    : m_enable(testutil::ReadRegValue(HKEY_CURRENT_USER, kSettingsKey, "ProxyEnable")),
      m_server(testutil::ReadRegValue(HKEY_CURRENT_USER, kSettingsKey, "ProxyServer"))
{
    const DWORD on = 1;
    m_set = ::RegSetKeyValueA(HKEY_CURRENT_USER, kSettingsKey, "ProxyEnable", REG_DWORD, &on, sizeof on) == 0 &&
            ::RegSetKeyValueA(HKEY_CURRENT_USER, kSettingsKey, "ProxyServer", REG_SZ, hostAndPort.c_str(),
                              DWORD(hostAndPort.size() + 1)) == 0;
}

ScopedSystemProxy::~ScopedSystemProxy()
{
    Restore("ProxyEnable", m_enable);
    Restore("ProxyServer", m_server);
}

HWND FindPrompt(DWORD processId)
{
    PromptSearch search{processId, nullptr};
    ::EnumWindows(&FindPromptWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

void AnswerPrompt(HWND hPrompt, const std::string& user, const std::string& password)
{
    Typing typing{user, password};
    ::EnumChildWindows(hPrompt, &TypeIntoFields, reinterpret_cast<LPARAM>(&typing));
    ::PostMessageA(hPrompt, WM_COMMAND, IDOK, 0);
}

}  // namespace proxy
