// How the installer forms and judges the URLs and request paths it sends to the
// publisher's servers. Windows-free, so the rules are unit-tested and fuzzed natively.
#pragma once

#include "CString.h"

// The text fetch's view of a URL: white space trimmed from both ends and, when the URL
// holds no ":" anywhere, "http:" put in front of one that starts with "/" (so "//host/x"
// becomes an http URL) and "http://" in front of any other.
CString NormaliseFetchUrl(const CString& url);

// True when the URL parses and names plain http; https, ftp, file and the rest are
// never requested by the text fetch.
bool IsPlainHttpUrl(const CString& url);

// A text as one component of a URL (a path segment or a query value): letters, digits,
// "-", ".", "_" and "~" stay, every other byte becomes "%XX". Partner ids go into every
// address this way, so whatever a file name holds cannot change the request.
CString EncodeUrlComponent(const CString& text);

// The partner id sent to the statistics and log servers: the stored one, or "melvora"
// when nothing is stored.
CString ReportedPartnerId(const CString& storedPartnerId);

// "/app/ver.php?project=melvora&pid=<partner id>", the id encoded as a URL component.
CString VersionQueryPath(const CString& partnerId);

// "/app/receive/log.php?pid=<partner id>" (the id encoded as a URL component), followed
// by "&sr=<serial>" only when the serial is exactly 12 bytes long.
CString InstallLogPath(const CString& partnerId, const CString& serial);
