// Requests whose silence is bounded. WinInet's own waits are no bound: under Wine a
// request whose server accepts the connection and then stays silent waits forever, and
// on Windows the defaults are long and differ between versions. So every request sets
// connect, send and receive time-outs on its root, connection and request handles before
// it sends anything. InternetOpenUrlA honours none of them under Wine, so URLs are opened
// through a connection handle of their own instead (CUrlRequest).
#pragma once

#include <windows.h>
#include <wininet.h>

#include "CString.h"

// How long a request may go without progress (connecting, sending, or a byte of the
// reply) before it fails as a refused connection would. A server that keeps sending,
// however slowly, is never cut off: the bound is on silence, not on the whole transfer.
// The terms text and the component list: the window waits for them.
const DWORD kTextFetchSilenceMs = 10000;
// The version query (the installing page waits for it) and the install log (the window
// waits for it as it closes).
const DWORD kReportSilenceMs = 10000;
// Every file download: 30 s without a byte.
const DWORD kDownloadSilenceMs = 30000;

// Sets the connect, send and receive time-outs of a root, connection or request handle.
void SetSilenceBound(HINTERNET hInternet, DWORD dwSilenceMs);

// HttpSendRequestA on a thread of its own, watched: WinInet reports each step of the
// send (resolving, connecting, sending, receiving, following a redirect), and when it
// reports none for longer than the bound the caller stops waiting and the send fails.
// Wine honours no connect time-out, so a host that never answers the connection would
// otherwise hold the caller for minutes. A send given up on ends by itself once its
// handle has been closed and WinInet gives up too. False, with the error set, when no
// reply came.
bool SendRequestWithinBound(HINTERNET hRequest, const char* pszHeaders, DWORD dwHeadersLength, DWORD dwSilenceMs);

// True when the WinInet call that just failed on this thread gave up because the bound
// passed: Windows reports ERROR_INTERNET_TIMEOUT, Wine the socket's WSAETIMEDOUT.
bool FailedOnSilence();

// True when the WinInet call that just failed on this thread found the connection
// refused, reset or aborted, or the reply broken off before its head was whole: a
// passing failure, unlike a name that does not resolve or a certificate that fails.
bool FailedOnBrokenConnection();

// The status code of a sent request's reply; 0 when it has none.
DWORD ReplyStatus(HINTERNET hRequest);

// Puts one request into the setup's log: its address (never credentials), the reply's
// status (0: no reply), the body bytes read and, when given, how it ended.
void LogRequest(const CString& strUrl, DWORD dwStatus, unsigned long long nBytes, const char* pszEnding = nullptr);

// The flags a request to the publisher's servers is opened with in this build: in a build
// for https INTERNET_FLAG_SECURE is added. No flag that ignores a certificate problem is
// ever given, so a certificate that fails its checks fails the send.
DWORD RequestFlags(DWORD dwFlags);

// Whether a sent request may be read. A build for https reads only replies that came
// over TLS: a redirect to a plain http address (which WinInet under Wine follows without
// a word) ends the request as if the server had not answered. A default build reads any.
bool ReplyIsAcceptable(HINTERNET hRequest);

// How a request goes out, where it differs from what InternetOpenUrlA sends.
struct RequestForm {
    const char* user = nullptr;          // connection credentials, answering a challenge
    const char* password = nullptr;
    const char* httpVersion = nullptr;   // null: WinInet's default
    bool acceptAnything = true;          // "Accept: */*" as InternetOpenUrlA sends it
};

// Redirects a build for https follows itself, one after the other, at most.
const int kMaxRedirects = 20;

// One GET of an http or https URL, made as InternetOpenUrlA makes it (the same path and
// query, HTTP version, Accept line, flags and headers; redirects followed, to other hosts
// too) but with the bound set on every handle. Closes its handles when it goes.
// A build for https follows redirects itself and only to https addresses: one to any
// other address ends the request before anything is sent there (ERROR_HTTP_REDIRECT_FAILED).
class CUrlRequest {
public:
    CUrlRequest() = default;
    ~CUrlRequest() { Close(); }
    CUrlRequest(const CUrlRequest&) = delete;
    CUrlRequest& operator=(const CUrlRequest&) = delete;

    // Connects, opens and sends the request. False when the URL cannot be cracked or names
    // another scheme (in a build for https, any but https), or when no reply came: no
    // connection, a certificate that fails its checks, silence beyond the bound, or (in a
    // build for https) a reply that did not come over TLS.
    bool Open(HINTERNET hRoot, const CString& strUrl, const char* pszHeaders, DWORD dwHeadersLength, DWORD dwFlags,
              DWORD dwSilenceMs, const RequestForm& form = RequestForm());
    // The request handle, for HttpQueryInfoA and the reads; null when not open.
    HINTERNET get() const { return m_hRequest; }
    // Closes the request, then its connection.
    void Close();

private:
    // One request to one address, no redirect followed.
    bool OpenOnce(HINTERNET hRoot, const CString& strUrl, const char* pszHeaders, DWORD dwHeadersLength,
                  DWORD dwFlags, DWORD dwSilenceMs, const RequestForm& form);
    // The address a redirect reply sends the request on to; empty when the reply is none.
    CString RedirectTarget(const CString& strUrl) const;

    HINTERNET m_hConnection = nullptr;
    HINTERNET m_hRequest = nullptr;
};
