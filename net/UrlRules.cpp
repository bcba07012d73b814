#include "UrlRules.h"

#include "AfxParseURL.h"

namespace {

const int kSerialLength = 12;

}  // namespace

const char* SchemeName(PublisherScheme scheme)
{
    return scheme == PublisherScheme::Https ? "https" : "http";
}

CString NormaliseFetchUrl(const CString& url, PublisherScheme scheme)
{
    CString result = url;
    result.Trim();
    if (result.Find(':') < 0)
        result = CString(SchemeName(scheme)) + (!result.IsEmpty() && result[0] == '/' ? ":" : "://") + result;
    return result;
}

bool IsFetchableUrl(const CString& url, PublisherScheme scheme)
{
    unsigned long service = 0;
    CString server;
    CString object;
    unsigned short port = 0;
    const unsigned long wanted = scheme == PublisherScheme::Https ? AFX_INET_SERVICE_HTTPS : AFX_INET_SERVICE_HTTP;
    return AfxParseURL(url, service, server, object, port) && service == wanted;
}

CString ServerGivenAddress(const CString& url, PublisherScheme scheme)
{
    if (scheme == PublisherScheme::Http || IsFetchableUrl(url, scheme))
        return url;
    return CString();
}

CString AddressForLog(const CString& url)
{
    const int scheme = url.Find("://");
    if (scheme < 0)
        return url;
    const int host = scheme + 3;
    // The credentials end at the authority's last "@"; the authority ends at the path,
    // the query or the fragment.
    int at = -1;
    for (int i = host; i < url.GetLength() && url[i] != '/' && url[i] != '?' && url[i] != '#'; ++i) {
        if (url[i] == '@')
            at = i;
    }
    return at < 0 ? url : url.Left(host) + url.Mid(at + 1);
}

bool IsProgramFileName(const CString& path)
{
    CString extension = path.Right(4);
    extension.MakeLower();
    return extension == ".exe" || extension == ".dll";
}

CString EncodeUrlComponent(const CString& text)
{
    static const char kHex[] = "0123456789ABCDEF";
    CString encoded;
    for (int i = 0; i < text.GetLength(); ++i) {
        const unsigned char ch = static_cast<unsigned char>(text[i]);
        const bool unreserved = (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z') || (ch >= '0' && ch <= '9') ||
                                ch == '-' || ch == '.' || ch == '_' || ch == '~';
        if (unreserved) {
            encoded += char(ch);
        } else {
            const char escaped[] = {'%', kHex[ch >> 4], kHex[ch & 0x0F], '\0'};
            encoded += escaped;
        }
    }
    return encoded;
}

CString ReportedPartnerId(const CString& storedPartnerId)
{
    return storedPartnerId.IsEmpty() ? CString("melvora") : storedPartnerId;
}

CString VersionQueryPath(const CString& partnerId)
{
    CString path;
    path.Format("%s%s&pid=%s", "/app/ver.php?project=", "melvora", EncodeUrlComponent(partnerId).GetString());
    return path;
}

CString InstallLogPath(const CString& partnerId, const CString& serial)
{
    const CString pid = EncodeUrlComponent(partnerId);
    CString path;
    if (serial.GetLength() == kSerialLength)
        path.Format("%s%s&sr=%s", "/app/receive/log.php?pid=", pid.GetString(),
                    EncodeUrlComponent(serial).GetString());
    else
        path.Format("%s%s", "/app/receive/log.php?pid=", pid.GetString());
    return path;
}
