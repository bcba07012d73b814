// The text fetch's URL rules on arbitrary input, for either scheme a build may have: the
// normalised URL is trimmed, gets the build's scheme when it had no ":", is stable when
// normalised again, and whatever is judged fetchable parses with a server and that scheme.
// An address as logged holds no "@" before its path and keeps all that follows the host.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "AfxParseURL.h"
#include "net/UrlRules.h"

namespace {

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

bool IsSpace(char ch)
{
    return ch == ' ' || ch == '\t' || ch == '\n' || ch == '\r' || ch == '\v' || ch == '\f';
}

void CheckScheme(const CString& url, PublisherScheme scheme)
{
    const CString normalised = NormaliseFetchUrl(url, scheme);

    Check(!normalised.IsEmpty());
    Check(!IsSpace(normalised[0]) && !IsSpace(normalised[normalised.GetLength() - 1]));
    Check(normalised.Find(':') >= 0);
    if (url.Find(':') < 0)
        Check(normalised.Find(CString(SchemeName(scheme)) + ":") == 0);
    Check(NormaliseFetchUrl(normalised, scheme) == normalised);

    const unsigned long wanted = scheme == PublisherScheme::Https ? AFX_INET_SERVICE_HTTPS : AFX_INET_SERVICE_HTTP;
    if (IsFetchableUrl(normalised, scheme)) {
        unsigned long service = 0;
        CString server, object;
        unsigned short port = 0;
        Check(AfxParseURL(normalised, service, server, object, port));
        Check(service == wanted && !server.IsEmpty() && port != 0 && object.Find('/') == 0);
    }
    // A server's address survives an https build only as an https URL.
    const CString kept = ServerGivenAddress(url, scheme);
    Check(kept == url || (scheme == PublisherScheme::Https && kept.IsEmpty()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CString url;
    url.Append(reinterpret_cast<const char*>(data), int(size));
    CheckScheme(url, PublisherScheme::Http);
    CheckScheme(url, PublisherScheme::Https);

    const CString logged = AddressForLog(url);
    const int scheme = url.Find("://");
    Check(logged.GetLength() <= url.GetLength() && url.Right(logged.GetLength() - (scheme < 0 ? 0 : scheme + 3)) ==
                                                       logged.Mid(scheme < 0 ? 0 : scheme + 3));
    if (scheme >= 0) {
        int end = scheme + 3;
        while (end < logged.GetLength() && logged[end] != '/' && logged[end] != '?' && logged[end] != '#')
            ++end;
        Check(logged.Left(end).Find('@', scheme + 3) < 0);
    }
    return 0;
}
