// How the installer forms and judges the URLs and request paths it sends to the
// publisher's servers, and which downloaded files must carry the publisher's signature.
// Windows-free, so the rules are unit-tested and fuzzed natively.
#pragma once

#include "CString.h"

// How the publisher's servers are reached. A default build speaks plain http as it always
// has; a build for https makes every request over TLS and takes no plain http address.
enum class PublisherScheme { Http, Https };

// The scheme's name as URLs begin: "http" or "https".
const char* SchemeName(PublisherScheme scheme);

// The text fetch's view of a URL: white space trimmed from both ends and, when the URL
// holds no ":" anywhere, "<scheme>:" put in front of one that starts with "/" (so
// "//host/x" becomes a URL of the build's scheme) and "<scheme>://" in front of any other.
CString NormaliseFetchUrl(const CString& url, PublisherScheme scheme);

// True when the URL parses and names the build's scheme: plain http in a default build,
// https in a build for https. ftp, file and the rest are never requested by the text
// fetch, and neither is the other of the two.
bool IsFetchableUrl(const CString& url, PublisherScheme scheme);

// An address that a server gave (a component's page or installer): unchanged in a default
// build; in a build for https, empty unless it is an https URL, so that a plain http
// address counts as missing and nothing is fetched or shown for it.
CString ServerGivenAddress(const CString& url, PublisherScheme scheme);

// An address as the setup's log shows it: without the "user:password@" that may stand
// before the host (a server's address may carry its credentials), otherwise unchanged.
CString AddressForLog(const CString& url);

// True when a downloaded file is a program whose signer is checked in a build that names
// one: its name ends in ".exe" or ".dll", in any case.
bool IsProgramFileName(const CString& path);

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
// by "&sr=<serial>", encoded the same way, only when the serial is exactly 12 bytes long.
CString InstallLogPath(const CString& partnerId, const CString& serial);
