// The remover's registry half: values and key trees, without following registry links.
//
// A registry link (a key made with REG_OPTION_CREATE_LINK) leads whoever opens it by
// name to its target, anywhere in the registry; the uninstaller runs elevated and the
// user's programs can make one in place of a key of ours under HKEY_CURRENT_USER. So the
// names that are ours are opened one at a time with REG_OPTION_OPEN_LINK, and a key that
// is a link is deleted itself (NtDeleteKey on the link's own handle, as RegDeleteKey
// would open it by name and follow it), never what it leads to.
#include "Remover.h"

#include <vector>

#include "ProductConstants.h"

namespace {

const int kMaxKeyDepth = 32;
const char kLinkValueName[] = "SymbolicLinkValue";
const char kKeptLink[] = "다른 곳을 가리키는 레지스트리 링크입니다";
// What a key to be deleted is opened with.
const REGSAM kTreeAccess = DELETE | KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE;
// Key names are at most 255 characters: 510 bytes of code page 949.
const DWORD kMaxKeyNameBytes = 512;
// OpenOwnKey's answer when a key on the way is a link.
const LONG kLinkOnTheWay = -1;

typedef LONG(WINAPI* NtDeleteKeyFunction)(HANDLE);
typedef ULONG(WINAPI* RtlNtStatusToDosErrorFunction)(LONG);

// A registry key handle, closed when it goes out of scope.
class RegKey {
public:
    RegKey() = default;
    ~RegKey() { Close(); }
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;

    HKEY get() const { return m_hKey; }
    HKEY* out() { return &m_hKey; }
    void TakeFrom(RegKey& other)
    {
        Close();
        m_hKey = other.m_hKey;
        other.m_hKey = nullptr;
    }
    void Close()
    {
        if (m_hKey)
            ::RegCloseKey(m_hKey);
        m_hKey = nullptr;
    }

private:
    HKEY m_hKey = nullptr;
};

bool IsLinkKey(HKEY hKey)
{
    DWORD type = REG_NONE;
    return ::RegQueryValueExA(hKey, kLinkValueName, nullptr, &type, nullptr, nullptr) == ERROR_SUCCESS &&
           type == REG_LINK;
}

// ntdll is in every process: it is looked up, never loaded.
void* NtdllFunction(const char* pszName)
{
    const HMODULE hNtdll = ::GetModuleHandleA("ntdll.dll");
    return hNtdll ? reinterpret_cast<void*>(::GetProcAddress(hNtdll, pszName)) : nullptr;
}

// Deletes the key of this very handle (opened with DELETE), a link as the link.
LONG DeleteKeyItself(HKEY hKey)
{
    // Looked up on each call (a few keys per removal), so no guarded static is needed.
    const auto pDelete = reinterpret_cast<NtDeleteKeyFunction>(NtdllFunction("NtDeleteKey"));
    const auto pToError =
        reinterpret_cast<RtlNtStatusToDosErrorFunction>(NtdllFunction("RtlNtStatusToDosError"));
    if (!pDelete || !pToError)
        return ERROR_PROC_NOT_FOUND;
    const LONG status = pDelete(hKey);
    return status == 0 ? ERROR_SUCCESS : LONG(pToError(status));
}

// How many leading names of a key path are the system's own, opened as they are: up to
// "Software" for the product's keys (every name below is ours), else all but the last.
size_t SystemNames(const std::vector<CString>& names)
{
    if (names.size() >= 2 && (names[0] + "\\" + names[1]).CompareNoCase(kProductKey) == 0)
        return 1;
    return names.size() - 1;
}

// Opens hRoot\pszKey with `access`, each name of ours without following a link. The key
// itself may be a link (the caller asks IsLinkKey); one on the way gives kLinkOnTheWay.
LONG OpenOwnKey(HKEY hRoot, const char* pszKey, REGSAM access, RegKey* pKey)
{
    const std::vector<CString> names = SplitAt(pszKey, '\\');
    const size_t systemNames = SystemNames(names);
    CString systemPath;
    for (size_t i = 0; i < systemNames; ++i)
        systemPath += (i ? "\\" : "") + names[i];
    RegKey key;
    LONG error = ::RegOpenKeyExA(hRoot, systemPath, 0, KEY_QUERY_VALUE, key.out());
    for (size_t i = systemNames; error == ERROR_SUCCESS && i < names.size(); ++i) {
        const bool last = i + 1 == names.size();
        RegKey next;
        const REGSAM nameAccess = last ? access | KEY_QUERY_VALUE : KEY_QUERY_VALUE;
        error = ::RegOpenKeyExA(key.get(), names[i], REG_OPTION_OPEN_LINK, nameAccess, next.out());
        if (error == ERROR_SUCCESS && !last && IsLinkKey(next.get()))
            error = kLinkOnTheWay;
        key.TakeFrom(next);
    }
    if (error == ERROR_SUCCESS)
        pKey->TakeFrom(key);
    return error;
}

// Deletes a key (opened with kTreeAccess, as a link where it is one) with everything below
// it; a link below goes itself, as this one does.
LONG DeleteTree(HKEY hKey, int depth)
{
    if (!IsLinkKey(hKey)) {
        for (;;) {
            char name[kMaxKeyNameBytes + 1] = {};
            DWORD length = sizeof name;
            // Always the first: each one deleted leaves the next in its place.
            const LONG found = ::RegEnumKeyExA(hKey, 0, name, &length, nullptr, nullptr, nullptr, nullptr);
            if (found == ERROR_NO_MORE_ITEMS)
                break;
            if (found != ERROR_SUCCESS)
                return found;
            if (depth >= kMaxKeyDepth)
                return ERROR_FILENAME_EXCED_RANGE;
            RegKey child;
            LONG error = ::RegOpenKeyExA(hKey, name, REG_OPTION_OPEN_LINK, kTreeAccess, child.out());
            if (error == ERROR_SUCCESS)
                error = DeleteTree(child.get(), depth + 1);
            if (error != ERROR_SUCCESS)
                return error;   // what is left stays; the report names the key
        }
    }
    return DeleteKeyItself(hKey);
}

}  // namespace

void CRemover::RemoveRegistryValue(HKEY hRoot, const char* pszKey, const char* pszValue, const CString& shownAs)
{
    RegKey key;
    LONG error = OpenOwnKey(hRoot, pszKey, KEY_QUERY_VALUE | KEY_SET_VALUE, &key);
    if (error == ERROR_FILE_NOT_FOUND)
        return;
    if (error == kLinkOnTheWay || (error == ERROR_SUCCESS && IsLinkKey(key.get()))) {
        m_report.Kept(shownAs, kKeptLink);
        return;
    }
    if (error == ERROR_SUCCESS)
        error = ::RegDeleteValueA(key.get(), pszValue);
    if (error == ERROR_SUCCESS)
        m_report.Removed(shownAs);
    else if (error != ERROR_FILE_NOT_FOUND)
        m_report.Failed(shownAs, ReasonForError(DWORD(error)));
}

void CRemover::RemoveRegistryKey(HKEY hRoot, const char* pszKey, const CString& shownAs)
{
    RegKey key;
    LONG error = OpenOwnKey(hRoot, pszKey, kTreeAccess, &key);
    if (error == ERROR_FILE_NOT_FOUND)
        return;
    if (error == kLinkOnTheWay) {
        m_report.Kept(shownAs, kKeptLink);
        return;
    }
    if (error == ERROR_SUCCESS)
        error = DeleteTree(key.get(), 0);
    if (error == ERROR_SUCCESS)
        m_report.Removed(shownAs);
    else
        m_report.Failed(shownAs, ReasonForError(DWORD(error)));
}
