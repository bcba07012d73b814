#include "UrlRules.h"

#include "AfxParseURL.h"

namespace {

const int kSerialLength = 12;

}  // namespace

CString NormaliseFetchUrl(const CString& url)
{
    CString result = url;
    result.Trim();
    if (result.Find(':') < 0)
        result = (!result.IsEmpty() && result[0] == '/' ? "http:" : "http://") + result;
    return result;
}

bool IsPlainHttpUrl(const CString& url)
{
    unsigned long service = 0;
    CString server;
    CString object;
    unsigned short port = 0;
    return AfxParseURL(url, service, server, object, port) && service == AFX_INET_SERVICE_HTTP;
}

CString ReportedPartnerId(const CString& storedPartnerId)
{
    return storedPartnerId.IsEmpty() ? CString("melvora") : storedPartnerId;
}

CString VersionQueryPath(const CString& partnerId)
{
    CString path;
    path.Format("%s%s&pid=%s", "/app/ver.php?project=", "melvora", partnerId.GetString());
    return path;
}

CString InstallLogPath(const CString& partnerId, const CString& serial)
{
    CString path;
    if (serial.GetLength() == kSerialLength)
        path.Format("%s%s&sr=%s", "/app/receive/log.php?pid=", partnerId.GetString(), serial.GetString());
    else
        path.Format("%s%s", "/app/receive/log.php?pid=", partnerId.GetString());
    return path;
}
