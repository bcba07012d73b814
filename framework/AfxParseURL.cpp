#include "AfxParseURL.h"

namespace {

struct Scheme {
    const char* name;
    unsigned long service;
    unsigned short port;
};

const Scheme kSchemes[] = {
    {"http", AFX_INET_SERVICE_HTTP, 80},      {"https", AFX_INET_SERVICE_HTTPS, 443},
    {"ftp", AFX_INET_SERVICE_FTP, 21},        {"gopher", AFX_INET_SERVICE_GOPHER, 70},
    {"file", AFX_INET_SERVICE_FILE, 0},       {"mailto", AFX_INET_SERVICE_MAILTO, 0},
};

}  // namespace

bool AfxParseURL(const char* pszURL, unsigned long& dwServiceType, CString& strServer,
                 CString& strObject, unsigned short& nPort)
{
    dwServiceType = AFX_INET_SERVICE_UNK;
    strServer.Empty();
    strObject.Empty();
    nPort = 0;

    const CString url(pszURL);
    const int colon = url.Find(':');
    if (colon <= 0 || url.Mid(colon + 1, 2) != "//")
        return false;

    CString scheme = url.Left(colon);
    scheme.MakeLower();
    for (const Scheme& s : kSchemes) {
        if (scheme == s.name) {
            dwServiceType = s.service;
            nPort = s.port;
        }
    }

    const CString rest = url.Mid(colon + 3);
    int end = rest.GetLength();
    for (const char stop : {'/', '?', '#'}) {
        const int at = rest.Find(stop);
        if (at >= 0 && at < end)
            end = at;
    }
    CString authority = rest.Left(end);
    strObject = rest.Mid(end);
    if (strObject.IsEmpty() || strObject[0] != '/')
        strObject = "/" + strObject;

    const int portColon = authority.ReverseFind(':');
    if (portColon >= 0) {
        const CString digits = authority.Mid(portColon + 1);
        if (digits.IsEmpty() || digits.GetLength() > 5)
            return false;
        long port = 0;
        for (int i = 0; i < digits.GetLength(); ++i) {
            if (digits[i] < '0' || digits[i] > '9')
                return false;
            port = port * 10 + (digits[i] - '0');
        }
        if (port < 1 || port > 65535)
            return false;
        nPort = static_cast<unsigned short>(port);
        authority = authority.Left(portColon);
    }
    const int at = authority.ReverseFind('@');  // user info is not part of the server
    if (at >= 0)
        authority = authority.Mid(at + 1);
    if (authority.IsEmpty())
        return false;
    strServer = authority;
    return true;
}
