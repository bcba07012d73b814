// Strings for COM, which takes every string as UTF-16: 8-bit text of the program's code
// page converted to a BSTR. Empty text (or no memory) gives a null BSTR, which COM reads
// as the empty string.
#pragma once

#include <windows.h>
#include <oleauto.h>

// A new BSTR that the caller frees with SysFreeString, or hands to whoever frees it.
BSTR AllocBstr(const char* psz);

// One such BSTR, freed when it goes out of scope.
class CBstr {
public:
    explicit CBstr(const char* psz) : m_bstr(AllocBstr(psz)) {}
    ~CBstr() { ::SysFreeString(m_bstr); }
    CBstr(const CBstr&) = delete;
    CBstr& operator=(const CBstr&) = delete;

    BSTR get() const { return m_bstr; }

private:
    BSTR m_bstr;
};
