// Whether a downloaded program comes from the publisher: it carries a valid Authenticode
// signature, and the certificate that signed it names the publisher.
#pragma once

#include "CString.h"

// True when WinVerifyTrust (WINTRUST_ACTION_GENERIC_VERIFY_V2) accepts the file, without
// any window and without revocation lookups over the network, the subject of the signer's
// certificate holds exactly one common name, equal to pszSigner character for character,
// and, in a build that pins the signer's key (DOWNLOAD_SIGNER_SHA256), the SHA-256 of that
// certificate's SubjectPublicKeyInfo is one of the pinned ones. A common name is not
// unique: any authority may certify it for anyone; the key is the publisher's own, and
// stays the same when a certificate is renewed with it. The path is in the program's
// code page.
bool IsSignedBy(const CString& strPath, const wchar_t* pszSigner);
