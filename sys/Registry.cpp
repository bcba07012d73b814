#include "Registry.h"

#include <cstring>

#include "SetupLog.h"

namespace {

// An open registry key, closed when it goes out of scope.
class RegKey {
public:
    RegKey(HKEY hRoot, const char* pszSubKey, REGSAM access)
    {
        if (::RegCreateKeyExA(hRoot, pszSubKey, 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, &m_hKey,
                              nullptr) != ERROR_SUCCESS)
            m_hKey = nullptr;
    }
    ~RegKey()
    {
        if (m_hKey)
            ::RegCloseKey(m_hKey);
    }
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;

    HKEY get() const { return m_hKey; }

private:
    HKEY m_hKey = nullptr;
};

const char* RootName(HKEY hRoot)
{
    if (hRoot == HKEY_CURRENT_USER)
        return "HKCU";
    if (hRoot == HKEY_LOCAL_MACHINE)
        return "HKLM";
    return "HKEY";
}

}  // namespace

CString RegReadString(HKEY hRoot, const char* pszSubKey, const char* pszValueName)
{
    RegKey key(hRoot, pszSubKey, KEY_QUERY_VALUE);
    if (!key.get())
        return CString();
    // 255 bytes are offered, so the last byte of the buffer always stays a terminator,
    // whether or not the stored value carries one.
    char buffer[256] = {};
    DWORD cb = 255;
    if (::RegQueryValueExA(key.get(), pszValueName, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &cb) !=
        ERROR_SUCCESS)
        return CString();
    return CString(buffer);
}

int RegWriteValue(HKEY hRoot, const char* pszSubKey, const char* pszValueName, const char* pszText,
                  DWORD dwNumber, int nKind)
{
    RegKey key(hRoot, pszSubKey, KEY_WRITE);
    if (!key.get()) {
        SetupLog::Write("registry: %s\\%s could not be opened", RootName(hRoot), pszSubKey);
        return 1;
    }
    LONG result = ERROR_SUCCESS;
    if (nKind == 1) {
        const char* text = pszText ? pszText : "";
        result = ::RegSetValueExA(key.get(), pszValueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                                  DWORD(std::strlen(text) + 1));
        SetupLog::Write("registry: %s\\%s \"%s\" = \"%s\"%s", RootName(hRoot), pszSubKey, pszValueName, text,
                        result == ERROR_SUCCESS ? "" : " (failed)");
    } else if (nKind == 2) {
        result = ::RegSetValueExA(key.get(), pszValueName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dwNumber),
                                  sizeof dwNumber);
        SetupLog::Write("registry: %s\\%s \"%s\" = %lu%s", RootName(hRoot), pszSubKey, pszValueName,
                        static_cast<unsigned long>(dwNumber), result == ERROR_SUCCESS ? "" : " (failed)");
    }
    return 1;
}
