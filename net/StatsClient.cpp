#include "StatsClient.h"

#include "BuildScheme.h"
#include "InternetHandle.h"
#include "ProductConstants.h"
#include "PublisherHosts.h"
#include "Registry.h"
#include "ReplyReader.h"
#include "UrlRequest.h"
#include "UrlRules.h"

namespace {

CString StoredPartnerId()
{
    return ReportedPartnerId(RegReadString(HKEY_CURRENT_USER, kProductKey, "pid"));
}

// The reply's Content-Length as sent; null when it has none. One too long for the
// buffer is no length (""), which no reply matches.
const char* DeclaredLength(HINTERNET hRequest, char (&buffer)[32])
{
    DWORD cb = sizeof buffer - 1;
    buffer[0] = '\0';
    if (::HttpQueryInfoA(hRequest, HTTP_QUERY_CONTENT_LENGTH, buffer, &cb, nullptr)) {
        buffer[cb < sizeof buffer ? cb : sizeof buffer - 1] = '\0';
        return buffer;
    }
    return ::GetLastError() == ERROR_HTTP_HEADER_NOT_FOUND ? nullptr : "";
}

// One GET of the url, over TLS in a build for https, with the credentials given to the
// connection, which answers the server's challenge with them. `status` is the reply's;
// `ending` says why a reply that came is not used.
CString Exchange(const CString& url, const CString& user, const CString& password, DWORD& status,
                 const char*& ending)
{
    InternetHandle root(::InternetOpenA(nullptr, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!root)
        return CString();
    SetSilenceBound(root.get(), kReportSilenceMs);
    RequestForm form;
    form.user = user;
    form.password = password;
    form.httpVersion = "HTTP/1.0";
    form.acceptAnything = false;
    CUrlRequest request;
    if (!request.Open(root.get(), url, nullptr, 0, RequestFlags(INTERNET_FLAG_NO_CACHE_WRITE), kReportSilenceMs,
                      form))
        return CString();
    status = ReplyStatus(request.get());

    // A reply that stalls for longer than the bound, breaks off or comes with another
    // status than 200 counts as no reply: a part of a version reply, or a busy server's
    // page, would name versions nobody published.
    bool failed = false;
    uint64_t received = 0;
    const CString reply = ReadReply([&request, &failed, &received](char* buffer, uint32_t wanted, uint32_t& read) {
        DWORD n = 0;
        const BOOL ok = ::InternetReadFile(request.get(), buffer, wanted, &n);
        failed = failed || !ok;
        received += n;
        read = n;
        return ok != FALSE;
    });
    char length[32];
    if (!IsWholeReply(status, DeclaredLength(request.get(), length), received, failed)) {
        ending = status == 200 ? "not whole, not used" : "not used";
        return CString();
    }
    return reply;
}

// One GET of `path` on host:port (the build states the scheme's own port when the host
// setting has none), put into the setup's log.
CString Request(const char* host, INTERNET_PORT port, const CString& path, const CString& user,
                const CString& password)
{
    CString url;
    url.Format("%s://%s:%u%s", SchemeName(kBuildScheme), host, unsigned(port), path.GetString());
    DWORD status = 0;
    const char* ending = nullptr;
    const CString reply = Exchange(url, user, password, status, ending);
    LogRequest(url, status, reply.GetLength(), ending);
    return reply;
}

}  // namespace

CStatsClient::~CStatsClient() = default;

CString CStatsClient::QueryVersions(const CString& strUser, const CString& strPassword)
{
    const CString path = VersionQueryPath(StoredPartnerId());
    return Request(MELVORA_STATS_HOST, MELVORA_STATS_PORT, path, strUser, strPassword);
}

CString CStatsClient::SendInstallLog(const CString& strUser, const CString& strPassword)
{
    const CString partnerId = StoredPartnerId();
    const CString serial = RegReadString(HKEY_CURRENT_USER, kProductKey, "serial");
    return Request(MELVORA_LOG_HOST, MELVORA_LOG_PORT, InstallLogPath(partnerId, serial), strUser, strPassword);
}
