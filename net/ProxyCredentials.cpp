#include "ProxyCredentials.h"

#include <vector>

#include "SetupLog.h"
#include "SrwLockGuard.h"

namespace {

// A credential as long as this is no credential: a proxy that hands back more is ignored.
const DWORD kMaxCredentialBytes = 1024;
const DWORD kPromptFlags =
    FLAGS_ERROR_UI_FILTER_FOR_ERRORS | FLAGS_ERROR_UI_FLAGS_CHANGE_OPTIONS | FLAGS_ERROR_UI_FLAGS_GENERATE_DATA;

// The wizard's window and the install thread both make requests.
SRWLOCK g_lock = SRWLOCK_INIT;
struct {
    bool known = false;
    CString user;
    CString password;
    HWND hOwner = nullptr;   // null: nobody to ask (an unattended install)
    int prompts = 0;         // prompts shown so far
    bool declined = false;   // a Cancel: the run asks no more
    bool prompting = false;  // a prompt is open (its own message loop may start another request)
} g_proxy;

// One of the request's proxy credentials as WinInet holds it; empty when it holds none.
CString QueryCredential(HINTERNET hRequest, DWORD dwOption)
{
    DWORD cb = 0;
    ::InternetQueryOptionA(hRequest, dwOption, nullptr, &cb);
    if (cb == 0 || cb > kMaxCredentialBytes)
        return CString();
    std::vector<char> text(cb + 1, '\0');
    if (!::InternetQueryOptionA(hRequest, dwOption, text.data(), &cb))
        return CString();
    return CString(text.data());
}

void SetCredential(HINTERNET hRequest, DWORD dwOption, const CString& value)
{
    ::InternetSetOptionA(hRequest, dwOption, const_cast<char*>(value.GetString()), DWORD(value.GetLength() + 1));
}

// Shows WinInet's proxy-credentials dialog on the owner's thread; its result.
DWORD Prompt(HWND hOwner, HINTERNET hRequest)
{
    if (::GetWindowThreadProcessId(hOwner, nullptr) == ::GetCurrentThreadId())
        return ::InternetErrorDlg(hOwner, hRequest, ERROR_INTERNET_INCORRECT_PASSWORD, kPromptFlags, nullptr);
    // A window that is gone answers 0: as a Cancel.
    return DWORD(::SendMessageA(hOwner, WM_PROXY_PROMPT, 0, reinterpret_cast<LPARAM>(hRequest)));
}

// Why a 407 fails its request, while nobody is (or may be) asked.
bool Refuse()
{
    if (g_proxy.hOwner && g_proxy.prompting)
        SetupLog::Write("proxy: the proxy asked for credentials (407) while its prompt was open: the request fails");
    else if (g_proxy.hOwner)
        SetupLog::Write("proxy: the proxy asked for credentials (407); after %s no more are asked for: the "
                        "request fails",
                        g_proxy.declined ? "a cancelled prompt" : "three prompts");
    else if (!g_proxy.known)
        SetupLog::Write("proxy: the proxy asked for credentials (407), and none were given (/PROXYUSER, "
                        "/PROXYPASS): the request fails");
    else
        SetupLog::Write("proxy: the proxy refused the credentials of user \"%s\" (407): the request fails",
                        g_proxy.user.GetString());
    return false;
}

}  // namespace

void UseProxyCredentials(const CString& user, const CString& password)
{
    SrwLockGuard lock(g_lock);
    g_proxy.known = true;
    g_proxy.user = user;
    g_proxy.password = password;
}

void AskForProxyCredentialsIn(HWND hOwner)
{
    SrwLockGuard lock(g_lock);
    g_proxy.hOwner = hOwner;
}

LRESULT AnswerProxyPrompt(LPARAM lParam)
{
    HWND hOwner = nullptr;
    {
        SrwLockGuard lock(g_lock);
        hOwner = g_proxy.hOwner;
    }
    return ::InternetErrorDlg(hOwner, reinterpret_cast<HINTERNET>(lParam), ERROR_INTERNET_INCORRECT_PASSWORD,
                              kPromptFlags, nullptr);
}

void OfferProxyCredentials(HINTERNET hRequest)
{
    SrwLockGuard lock(g_lock);
    if (!g_proxy.known)
        return;
    SetCredential(hRequest, INTERNET_OPTION_PROXY_USERNAME, g_proxy.user);
    SetCredential(hRequest, INTERNET_OPTION_PROXY_PASSWORD, g_proxy.password);
}

bool AnswerProxyChallenge(HINTERNET hRequest)
{
    HWND hOwner = nullptr;
    {
        SrwLockGuard lock(g_lock);
        if (!g_proxy.hOwner || g_proxy.declined || g_proxy.prompting || g_proxy.prompts >= kMaxProxyPrompts)
            return Refuse();
        hOwner = g_proxy.hOwner;
        g_proxy.prompting = true;
        ++g_proxy.prompts;
        SetupLog::Write("proxy: the proxy asked for credentials (407)%s; asking the user",
                        g_proxy.known ? " and refused the ones typed in" : "");
    }
    const DWORD answer = Prompt(hOwner, hRequest);
    // The dialog gave WinInet what was typed; it serves every later request of the run.
    const CString user = QueryCredential(hRequest, INTERNET_OPTION_PROXY_USERNAME);
    const CString password = QueryCredential(hRequest, INTERNET_OPTION_PROXY_PASSWORD);
    SrwLockGuard lock(g_lock);
    g_proxy.prompting = false;
    if (answer != ERROR_INTERNET_FORCE_RETRY) {
        g_proxy.declined = true;
        SetupLog::Write("proxy: the prompt was cancelled: the request fails, and no more are asked for");
        return false;
    }
    g_proxy.known = true;
    g_proxy.user = user;
    g_proxy.password = password;
    SetupLog::Write("proxy: credentials typed in for user \"%s\"; the request is sent again", user.GetString());
    return true;
}
