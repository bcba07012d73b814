// Splits a URL into service, server, object and port, as the internet helpers need it.
// Windows-free, so the rule can be tested and fuzzed on its own.
#pragma once

#include "CString.h"

// Service kinds. HTTP carries the WinInet value, so it can be passed on unchanged.
enum : unsigned long {
    AFX_INET_SERVICE_FTP = 1,
    AFX_INET_SERVICE_GOPHER = 2,
    AFX_INET_SERVICE_HTTP = 3,
    AFX_INET_SERVICE_UNK = 0x1000,
    AFX_INET_SERVICE_FILE = 0x1001,
    AFX_INET_SERVICE_MAILTO = 0x1002,
    AFX_INET_SERVICE_HTTPS = 0x1008,
};

// Accepts "scheme://server[:port][/object]". The object is "/" when the URL names none.
// Fails (returns false) on a missing "//", an empty server or a port that is not a
// number from 1 to 65535; the service is AFX_INET_SERVICE_UNK for an unknown scheme.
bool AfxParseURL(const char* pszURL, unsigned long& dwServiceType, CString& strServer,
                 CString& strObject, unsigned short& nPort);
