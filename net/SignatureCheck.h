// Whether a downloaded program comes from the publisher: it carries a valid Authenticode
// signature, and the certificate that signed it names the publisher.
#pragma once

#include <windows.h>

#include "CString.h"

// True when WinVerifyTrust (WINTRUST_ACTION_GENERIC_VERIFY_V2) accepts the file, without
// any window and without revocation lookups over the network, the subject of the signer's
// certificate holds exactly one common name, equal to pszSigner character for character,
// and, in a build that pins the signer's key (DOWNLOAD_SIGNER_SHA256), the SHA-256 of that
// certificate's SubjectPublicKeyInfo is one of the pinned ones. A common name is not
// unique: any authority may certify it for anyone; the key is the publisher's own, and
// stays the same when a certificate is renewed with it. The file is read through hFile
// (opened for reading), so what is checked is the file the caller holds, whatever its
// name may lead to meanwhile; the path, in the program's code page, names its kind.
bool IsSignedBy(const CString& strPath, HANDLE hFile, const wchar_t* pszSigner);
