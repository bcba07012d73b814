#include "UrlRequest.h"

#include <new>
#include <string>
#include <vector>

#include "BuildScheme.h"
#include "ProxyCredentials.h"
#include "SetupLog.h"
#include "UrlRules.h"

namespace {

// Winsock's errors, which Wine passes on from the socket, without pulling in Winsock.
const DWORD kSocketAborted = 10053;    // WSAECONNABORTED
const DWORD kSocketReset = 10054;      // WSAECONNRESET
const DWORD kSocketTimedOut = 10060;   // WSAETIMEDOUT
const DWORD kSocketRefused = 10061;    // WSAECONNREFUSED
// The watch over a send waits this much longer than the bound, so that where WinInet
// keeps the bound itself (everywhere but connecting under Wine) its own failure comes first.
const DWORD kWatchMarginMs = 1000;
const DWORD kMaxDroppedBodyBytes = 64 * 1024;

// One send, shared by the caller that waits for it, the thread that makes it and the
// request handle, whose status callback notes the time of each step of it (and wakes
// nobody: the caller looks at that time only when its wait runs out). Each of the three holds
// a reference; the handle lets go when WinInet reports it closing, the last call it ever
// makes for that handle. So a send the caller gave up on can still end, and no step
// reported late finds the job gone.
struct SendJob {
    HINTERNET hRequest = nullptr;
    std::string headers;
    DWORD headersLength = 0;
    HANDLE hDone = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);   // the send ended
    LONG lastStepTick = LONG(::GetTickCount());
    LONG finished = 0;
    BOOL ok = FALSE;
    DWORD error = 0;
    LONG refs = 1;

    bool IsFinished() { return ::InterlockedCompareExchange(&finished, 0, 0) != 0; }
    void AddRef() { ::InterlockedIncrement(&refs); }
    void Release()
    {
        if (::InterlockedDecrement(&refs) == 0) {
            if (hDone)
                ::CloseHandle(hDone);
            delete this;
        }
    }
    void Send()
    {
        ok = ::HttpSendRequestA(hRequest, headers.empty() ? nullptr : headers.c_str(), headersLength, nullptr, 0);
        error = ::GetLastError();
        ::InterlockedExchange(&finished, 1);
        ::SetEvent(hDone);
    }
};

void CALLBACK OnRequestStep(HINTERNET, DWORD_PTR context, DWORD status, LPVOID, DWORD)
{
    SendJob* job = reinterpret_cast<SendJob*>(context);
    // Closing is no progress: Wine closes the connection of a reply that never came
    // just before it fails the send.
    if (status != INTERNET_STATUS_CLOSING_CONNECTION && status != INTERNET_STATUS_CONNECTION_CLOSED &&
        status != INTERNET_STATUS_HANDLE_CLOSING && status != INTERNET_STATUS_REQUEST_COMPLETE)
        ::InterlockedExchange(&job->lastStepTick, LONG(::GetTickCount()));
    if (status == INTERNET_STATUS_HANDLE_CLOSING)
        job->Release();
}

DWORD WINAPI SendThreadProc(LPVOID pParam)
{
    SendJob* job = static_cast<SendJob*>(pParam);
    job->Send();
    job->Release();
    return 0;
}

// A part of a cracked URL; absent parts come back as null with a length of 0.
CString Part(const char* pch, DWORD cch)
{
    return pch ? CString(pch, int(cch)) : CString();
}

const char* NullIfEmpty(const CString& text)
{
    return text.IsEmpty() ? nullptr : text.GetString();
}

// The body of a reply that is not the one asked for is read and dropped before the
// request is sent again on its handle; one that goes on and on is left unread.
void DropBody(HINTERNET hRequest)
{
    char buffer[4096];
    DWORD total = 0;
    DWORD n = 0;
    while (total < kMaxDroppedBodyBytes && ::InternetReadFile(hRequest, buffer, sizeof buffer, &n) && n > 0)
        total += n;
}

// Whether the request that got the reply at hand carried an Authorization header.
bool SentAuthorization(HINTERNET hRequest)
{
    char value[8];
    DWORD cb = sizeof value;
    return ::HttpQueryInfoA(hRequest, HTTP_QUERY_AUTHORIZATION | HTTP_QUERY_FLAG_REQUEST_HEADERS, value, &cb,
                            nullptr) ||
           ::GetLastError() == ERROR_INSUFFICIENT_BUFFER;
}

}  // namespace

void SetSilenceBound(HINTERNET hInternet, DWORD dwSilenceMs)
{
    // Windows honours all three on any handle. Wine honours the receive time-out on
    // connection and request handles, and no connect time-out at all: the watch over the
    // send (SendRequestWithinBound) covers connecting there.
    for (const DWORD option :
         {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT}) {
        DWORD value = dwSilenceMs;
        ::InternetSetOptionA(hInternet, option, &value, sizeof value);
    }
}

bool FailedOnSilence()
{
    const DWORD error = ::GetLastError();
    return error == ERROR_INTERNET_TIMEOUT || error == kSocketTimedOut;
}

bool FailedOnBrokenConnection()
{
    switch (::GetLastError()) {
    case ERROR_INTERNET_CANNOT_CONNECT:
    case ERROR_INTERNET_CONNECTION_ABORTED:
    case ERROR_INTERNET_CONNECTION_RESET:
    case ERROR_HTTP_INVALID_SERVER_RESPONSE:
    case kSocketAborted:
    case kSocketReset:
    case kSocketRefused:
        return true;
    default:
        return false;
    }
}

DWORD ReplyStatus(HINTERNET hRequest)
{
    DWORD status = 0;
    DWORD cb = sizeof status;
    if (!hRequest ||
        !::HttpQueryInfoA(hRequest, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &cb, nullptr))
        return 0;
    return status;
}

void LogRequest(const CString& strUrl, DWORD dwStatus, unsigned long long nBytes, const char* pszEnding)
{
    CString ending;
    if (pszEnding)
        ending.Format(", %s", pszEnding);
    const CString url = AddressForLog(strUrl);
    if (dwStatus == 0)
        SetupLog::Write("GET %s: no reply%s", url.GetString(), ending.GetString());
    else
        SetupLog::Write("GET %s: status %lu, %llu bytes%s", url.GetString(), static_cast<unsigned long>(dwStatus),
                        nBytes, ending.GetString());
}

DWORD RequestFlags(DWORD dwFlags)
{
    return kBuildScheme == PublisherScheme::Https ? dwFlags | INTERNET_FLAG_SECURE : dwFlags;
}

bool ReplyIsAcceptable(HINTERNET hRequest)
{
    if (kBuildScheme != PublisherScheme::Https)
        return true;
    // The address of the reply, after every redirect followed.
    DWORD cb = 0;
    ::InternetQueryOptionA(hRequest, INTERNET_OPTION_URL, nullptr, &cb);
    if (cb == 0 || cb > 0x10000)
        return false;
    std::vector<char> url(cb + 1, '\0');
    if (!::InternetQueryOptionA(hRequest, INTERNET_OPTION_URL, url.data(), &cb))
        return false;
    return ::_strnicmp(url.data(), "https://", 8) == 0;
}

bool SendRequestWithinBound(HINTERNET hRequest, const char* pszHeaders, DWORD dwHeadersLength, DWORD dwSilenceMs)
{
    SendJob* job = new (std::nothrow) SendJob;
    if (!job || !job->hDone) {
        delete job;
        return ::HttpSendRequestA(hRequest, pszHeaders, dwHeadersLength, nullptr, 0) != FALSE;
    }
    job->hRequest = hRequest;
    job->headers = pszHeaders ? pszHeaders : "";
    job->headersLength = dwHeadersLength;
    // Steps are reported only for a handle whose context is not 0.
    DWORD_PTR context = reinterpret_cast<DWORD_PTR>(job);
    bool watched = false;
    if (::InternetSetOptionA(hRequest, INTERNET_OPTION_CONTEXT_VALUE, &context, sizeof context)) {
        job->AddRef();
        watched = ::InternetSetStatusCallbackA(hRequest, &OnRequestStep) != INTERNET_INVALID_STATUS_CALLBACK;
        if (!watched)
            job->Release();
    }

    job->AddRef();
    const HANDLE hThread = ::CreateThread(nullptr, 0, &SendThreadProc, job, 0, nullptr);
    if (!hThread) {
        // No watch to be had: send on this thread, bounded by WinInet alone.
        job->Release();
        job->Send();
    } else {
        ::CloseHandle(hThread);
    }
    const DWORD limitMs = dwSilenceMs + kWatchMarginMs;
    while (!job->IsFinished()) {
        const DWORD quietMs = ::GetTickCount() - DWORD(::InterlockedCompareExchange(&job->lastStepTick, 0, 0));
        if (quietMs >= limitMs) {
            // Given up: the caller closes the request, and the send ends once WinInet
            // notices or gives up itself.
            job->Release();
            ::SetLastError(ERROR_INTERNET_TIMEOUT);
            return false;
        }
        ::WaitForSingleObject(job->hDone, limitMs - quietMs);
    }
    const BOOL ok = job->ok;
    DWORD error = job->error;
    // Wine reports a reply that never came within the receive time-out as an aborted
    // connection; a failure after the bound's worth of silence is silence all the same.
    const DWORD quietMs = ::GetTickCount() - DWORD(::InterlockedCompareExchange(&job->lastStepTick, 0, 0));
    if (!ok && quietMs >= dwSilenceMs - dwSilenceMs / 10)
        error = ERROR_INTERNET_TIMEOUT;
    // The send is over: the body is read without the watch. A callback left in place
    // would cost two calls and an event for every read of it.
    if (watched && ::InternetSetStatusCallbackA(hRequest, nullptr) != INTERNET_INVALID_STATUS_CALLBACK)
        job->Release();   // the handle's reference: it will report no closing now
    job->Release();
    ::SetLastError(error);
    return ok != FALSE;
}

bool CUrlRequest::Open(HINTERNET hRoot, const CString& strUrl, const char* pszHeaders, DWORD dwHeadersLength,
                       DWORD dwFlags, DWORD dwSilenceMs, const RequestForm& form)
{
    if (kBuildScheme != PublisherScheme::Https)
        return OpenOnce(hRoot, strUrl, pszHeaders, dwHeadersLength, dwFlags, dwSilenceMs, form);
    // WinInet follows a redirect to plain http before anyone can look at it, and sends
    // the request there: a build for https follows each one itself, or refuses it.
    CString url = strUrl;
    for (int redirects = 0;; ++redirects) {
        if (!OpenOnce(hRoot, url, pszHeaders, dwHeadersLength, dwFlags | INTERNET_FLAG_NO_AUTO_REDIRECT, dwSilenceMs,
                      form))
            return false;
        const CString next = RedirectTarget(url);
        if (next.IsEmpty())
            return true;
        Close();
        if (redirects >= kMaxRedirects || !IsFetchableUrl(next, kBuildScheme)) {
            ::SetLastError(ERROR_HTTP_REDIRECT_FAILED);
            return false;
        }
        url = next;
    }
}

CString CUrlRequest::RedirectTarget(const CString& strUrl) const
{
    const DWORD status = ReplyStatus(m_hRequest);
    if (status != 301 && status != 302 && status != 303 && status != 307 && status != 308)
        return CString();
    DWORD cb = 0;
    ::HttpQueryInfoA(m_hRequest, HTTP_QUERY_LOCATION, nullptr, &cb, nullptr);
    if (cb == 0 || cb > INTERNET_MAX_URL_LENGTH * 4)
        return CString();
    std::vector<char> location(cb + 1, '\0');
    if (!::HttpQueryInfoA(m_hRequest, HTTP_QUERY_LOCATION, location.data(), &cb, nullptr))
        return CString();
    // A relative Location counts from the address that gave it.
    std::vector<char> target(INTERNET_MAX_URL_LENGTH * 4 + 1, '\0');
    DWORD cch = DWORD(target.size() - 1);
    if (!::InternetCombineUrlA(strUrl, location.data(), target.data(), &cch, 0))
        return CString();
    return CString(target.data());
}

bool CUrlRequest::OpenOnce(HINTERNET hRoot, const CString& strUrl, const char* pszHeaders, DWORD dwHeadersLength,
                           DWORD dwFlags, DWORD dwSilenceMs, const RequestForm& form)
{
    Close();

    // Lengths without buffers: the parts come back as pointers into the URL, so no part
    // can be too long for a buffer.
    URL_COMPONENTSA parts = {};
    parts.dwStructSize = sizeof parts;
    parts.dwSchemeLength = 1;
    parts.dwHostNameLength = 1;
    parts.dwUserNameLength = 1;
    parts.dwPasswordLength = 1;
    parts.dwUrlPathLength = 1;
    parts.dwExtraInfoLength = 1;
    if (!::InternetCrackUrlA(strUrl, 0, 0, &parts))
        return false;
    if (parts.nScheme == INTERNET_SCHEME_HTTPS)
        dwFlags |= INTERNET_FLAG_SECURE;
    else if (parts.nScheme != INTERNET_SCHEME_HTTP || kBuildScheme == PublisherScheme::Https)
        return false;   // a build for https never falls back to plain http
    const CString host = Part(parts.lpszHostName, parts.dwHostNameLength);
    const CString user = form.user ? CString(form.user) : Part(parts.lpszUserName, parts.dwUserNameLength);
    const CString password = form.password ? CString(form.password) : Part(parts.lpszPassword, parts.dwPasswordLength);
    CString object = Part(parts.lpszUrlPath, parts.dwUrlPathLength) + Part(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    if (object.IsEmpty())
        object = "/";

    m_hConnection = ::InternetConnectA(hRoot, host, parts.nPort, NullIfEmpty(user), NullIfEmpty(password),
                                       INTERNET_SERVICE_HTTP, dwFlags, 0);
    if (!m_hConnection)
        return false;
    SetSilenceBound(m_hConnection, dwSilenceMs);

    // The accept types and the default HTTP version are what InternetOpenUrlA sends.
    const char* acceptTypes[] = {"*/*", nullptr};
    m_hRequest = ::HttpOpenRequestA(m_hConnection, "GET", object, form.httpVersion, nullptr,
                                    form.acceptAnything ? acceptTypes : nullptr, dwFlags, 0);
    if (!m_hRequest) {
        Close();
        return false;
    }
    SetSilenceBound(m_hRequest, dwSilenceMs);
    OfferProxyCredentials(m_hRequest);
    bool sent = SendRequestWithinBound(m_hRequest, pszHeaders, dwHeadersLength, dwSilenceMs);
    // A proxy that wants credentials WinInet could not give it: the request goes again
    // with what the user types in, or fails as a refused connection would.
    while (sent && ReplyStatus(m_hRequest) == HTTP_STATUS_PROXY_AUTH_REQ) {
        if (!AnswerProxyChallenge(m_hRequest)) {
            Close();
            ::SetLastError(ERROR_INTERNET_INCORRECT_PASSWORD);
            return false;
        }
        DropBody(m_hRequest);
        sent = SendRequestWithinBound(m_hRequest, pszHeaders, dwHeadersLength, dwSilenceMs);
    }
    // WinInet answers a server's challenge with the connection's credentials itself. When
    // the challenge comes with the connection closing, it may hand the 401 back unanswered:
    // sent once more, the request carries them.
    if (sent && ReplyStatus(m_hRequest) == HTTP_STATUS_DENIED && !user.IsEmpty() && !SentAuthorization(m_hRequest)) {
        DropBody(m_hRequest);
        sent = SendRequestWithinBound(m_hRequest, pszHeaders, dwHeadersLength, dwSilenceMs);
    }
    if (!sent || !ReplyIsAcceptable(m_hRequest)) {
        Close();
        return false;
    }
    return true;
}

void CUrlRequest::Close()
{
    if (m_hRequest) {
        ::InternetCloseHandle(m_hRequest);
        m_hRequest = nullptr;
    }
    if (m_hConnection) {
        ::InternetCloseHandle(m_hConnection);
        m_hConnection = nullptr;
    }
}
