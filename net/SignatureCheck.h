// Whether a downloaded program comes from the publisher: it carries a valid Authenticode
// signature, and the certificate that signed it names the publisher.
#pragma once

#include "CString.h"

// True when WinVerifyTrust (WINTRUST_ACTION_GENERIC_VERIFY_V2) accepts the file, without
// any window and without revocation lookups over the network, and the subject of the
// signer's certificate holds exactly one common name, equal to pszSigner character for
// character. The path is in the program's code page.
bool IsSignedBy(const CString& strPath, const wchar_t* pszSigner);
