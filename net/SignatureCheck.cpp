#include "SignatureCheck.h"

#include <windows.h>
#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>

#include <cstring>
#include <string>

#include "PublisherHosts.h"

namespace {

std::wstring Wide(const CString& text)
{
    const int cch = ::MultiByteToWideChar(CP_ACP, 0, text, text.GetLength(), nullptr, 0);
    std::wstring wide(cch > 0 ? size_t(cch) : 0, L'\0');
    if (cch > 0)
        ::MultiByteToWideChar(CP_ACP, 0, text, text.GetLength(), &wide[0], cch);
    return wide;
}

// One verification of one file. The state WinVerifyTrust keeps for it (the signature, the
// signer and its certificate chain) lives until the object goes.
class TrustVerification {
public:
    TrustVerification(const std::wstring& path, HANDLE hFile)
    {
        m_file.cbStruct = sizeof m_file;
        m_file.pcwszFilePath = path.c_str();
        m_file.hFile = hFile;
        m_data.cbStruct = sizeof m_data;
        m_data.dwUIChoice = WTD_UI_NONE;
        m_data.fdwRevocationChecks = WTD_REVOKE_NONE;
        m_data.dwUnionChoice = WTD_CHOICE_FILE;
        m_data.pFile = &m_file;
        m_data.dwStateAction = WTD_STATEACTION_VERIFY;
        // Nothing is fetched over the network: no revocation lists, no missing certificates.
        m_data.dwProvFlags = WTD_REVOCATION_CHECK_NONE | WTD_CACHE_ONLY_URL_RETRIEVAL;
        m_lResult = ::WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &m_action, &m_data);
    }
    ~TrustVerification()
    {
        m_data.dwStateAction = WTD_STATEACTION_CLOSE;
        ::WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &m_action, &m_data);
    }
    TrustVerification(const TrustVerification&) = delete;
    TrustVerification& operator=(const TrustVerification&) = delete;

    bool Trusted() const { return m_lResult == ERROR_SUCCESS; }

    // The certificate of the first signer, owned by the verification; null if none.
    PCCERT_CONTEXT SignerCertificate() const
    {
        CRYPT_PROVIDER_DATA* pProvider = ::WTHelperProvDataFromStateData(m_data.hWVTStateData);
        CRYPT_PROVIDER_SGNR* pSigner = pProvider ? ::WTHelperGetProvSignerFromChain(pProvider, 0, FALSE, 0) : nullptr;
        if (!pSigner || pSigner->csCertChain == 0 || !pSigner->pasCertChain)
            return nullptr;
        return pSigner->pasCertChain[0].pCert;
    }

private:
    GUID m_action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    WINTRUST_FILE_INFO m_file = {};
    WINTRUST_DATA m_data = {};
    LONG m_lResult = 0;
};

// A name decoded by CryptDecodeObjectEx, freed when it goes out of scope.
class DecodedName {
public:
    explicit DecodedName(const CERT_NAME_BLOB& blob)
    {
        DWORD cb = 0;
        if (!::CryptDecodeObjectEx(X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, X509_NAME, blob.pbData, blob.cbData,
                                   CRYPT_DECODE_ALLOC_FLAG, nullptr, &m_pInfo, &cb))
            m_pInfo = nullptr;
    }
    ~DecodedName()
    {
        if (m_pInfo)
            ::LocalFree(m_pInfo);
    }
    DecodedName(const DecodedName&) = delete;
    DecodedName& operator=(const DecodedName&) = delete;

    const CERT_NAME_INFO* get() const { return m_pInfo; }

private:
    CERT_NAME_INFO* m_pInfo = nullptr;
};

std::wstring AttributeText(const CERT_RDN_ATTR& attr)
{
    CERT_RDN_VALUE_BLOB value = attr.Value;
    const DWORD cch = ::CertRDNValueToStrW(attr.dwValueType, &value, nullptr, 0);
    if (cch <= 1)
        return std::wstring();
    std::wstring text(cch, L'\0');
    const DWORD written = ::CertRDNValueToStrW(attr.dwValueType, &value, &text[0], cch);
    text.resize(written > 0 ? written - 1 : 0);
    return text;
}

// A subject with two common names could pass for either: it must hold exactly one.
bool SubjectCommonNameIs(PCCERT_CONTEXT pCert, const wchar_t* pszSigner)
{
    const DecodedName name(pCert->pCertInfo->Subject);
    if (!name.get())
        return false;
    int nCommonNames = 0;
    bool bMatch = false;
    for (DWORD i = 0; i < name.get()->cRDN; ++i) {
        const CERT_RDN& rdn = name.get()->rgRDN[i];
        for (DWORD j = 0; j < rdn.cRDNAttr; ++j) {
            const CERT_RDN_ATTR& attr = rdn.rgRDNAttr[j];
            if (!attr.pszObjId || std::strcmp(attr.pszObjId, szOID_COMMON_NAME) != 0)
                continue;
            ++nCommonNames;
            bMatch = AttributeText(attr) == pszSigner;
        }
    }
    return nCommonNames == 1 && bMatch;
}

// In a build that pins keys, the SHA-256 of the certificate's public key (its DER-encoded
// SubjectPublicKeyInfo, as `openssl pkey -pubin -outform der` writes it) must be among
// pszPins, lower-case hex digits separated by ";". A build that pins none takes any key.
bool PublicKeyIsPinned(PCCERT_CONTEXT pCert, const char* pszPins)
{
    if (!*pszPins)
        return true;
    BYTE hash[32];
    DWORD cb = sizeof hash;
    if (!::CryptHashPublicKeyInfo(0, CALG_SHA_256, 0, X509_ASN_ENCODING, &pCert->pCertInfo->SubjectPublicKeyInfo,
                                  hash, &cb) ||
        cb != sizeof hash)
        return false;
    std::string hex = ";";
    for (BYTE b : hash) {
        hex += "0123456789abcdef"[b >> 4];
        hex += "0123456789abcdef"[b & 0xF];
    }
    return (std::string(";") + pszPins + ";").find(hex + ";") != std::string::npos;
}

}  // namespace

bool IsSignedBy(const CString& strPath, HANDLE hFile, const wchar_t* pszSigner)
{
    if (!pszSigner || !*pszSigner || !hFile || hFile == INVALID_HANDLE_VALUE)
        return false;
    const std::wstring path = Wide(strPath);
    if (path.empty())
        return false;
    const TrustVerification verification(path, hFile);
    if (!verification.Trusted())
        return false;
    PCCERT_CONTEXT pCert = verification.SignerCertificate();
    return pCert && SubjectCommonNameIs(pCert, pszSigner) && PublicKeyIsPinned(pCert, MELVORA_DOWNLOAD_SIGNER_SHA256);
}
