// The two reports to the publisher's servers: the version query to the statistics server
// and the install log to the log server. Both are HTTP/1.0 GETs with connection
// credentials; the partner id (and the serial) come from the registry.
#pragma once

#include "CString.h"

class CStatsClient {
public:
    virtual ~CStatsClient();

    // Asks the statistics server which versions to install; the reply body unchanged,
    // empty when none was read.
    CString QueryVersions(const CString& strUser, const CString& strPassword);
    // Tells the log server that an installation has finished; the reply body, empty
    // when none was read.
    CString SendInstallLog(const CString& strUser, const CString& strPassword);
};
