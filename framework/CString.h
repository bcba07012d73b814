// An 8-bit text value. Bytes are compared as bytes, so multibyte (code page 949) text is
// handled exactly as it was written; nothing here knows about characters.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <string>
#include <vector>

class CString {
public:
    CString() = default;
    CString(const char* psz) : m_str(psz ? psz : "") {}
    CString(const char* pch, int nLength) : m_str(pch, nLength > 0 ? size_t(nLength) : 0) {}
    CString(char ch, int nRepeat = 1) : m_str(nRepeat > 0 ? size_t(nRepeat) : 0, ch) {}
    CString(const std::string& str) : m_str(str) {}

    int GetLength() const { return int(m_str.size()); }
    bool IsEmpty() const { return m_str.empty(); }
    void Empty() { m_str.clear(); }

    operator const char*() const { return m_str.c_str(); }
    const char* GetString() const { return m_str.c_str(); }
    const std::string& str() const { return m_str; }
    char GetAt(int nIndex) const { return m_str.at(size_t(nIndex)); }
    char operator[](int nIndex) const { return GetAt(nIndex); }

    CString& operator=(const char* psz) { m_str = psz ? psz : ""; return *this; }
    CString& operator+=(const CString& s) { m_str += s.m_str; return *this; }
    CString& operator+=(const char* psz) { if (psz) m_str += psz; return *this; }
    CString& operator+=(char ch) { m_str += ch; return *this; }
    // Appends at most nLength bytes, never reading past a terminating zero.
    void Append(const char* pch, int nLength);

    friend CString operator+(const CString& a, const CString& b) { return CString(a.m_str + b.m_str); }
    friend CString operator+(const CString& a, const char* b) { CString r(a); r += b; return r; }
    friend CString operator+(const char* a, const CString& b) { CString r(a); r += b; return r; }

    // Byte-wise comparisons (strcmp order).
    int Compare(const char* psz) const;
    friend bool operator==(const CString& a, const CString& b) { return a.m_str == b.m_str; }
    friend bool operator==(const CString& a, const char* b) { return a.Compare(b) == 0; }
    friend bool operator==(const char* a, const CString& b) { return b.Compare(a) == 0; }
    friend bool operator!=(const CString& a, const CString& b) { return !(a == b); }
    friend bool operator!=(const CString& a, const char* b) { return !(a == b); }
    friend bool operator<(const CString& a, const CString& b) { return a.m_str < b.m_str; }

    // Searching: byte offsets, -1 when absent.
    int Find(char ch, int nStart = 0) const;
    int Find(const char* pszSub, int nStart = 0) const;
    int ReverseFind(char ch) const;

    // Extraction: counts are clamped to the text, as a caller of these would expect.
    CString Left(int nCount) const;
    CString Mid(int nFirst) const;
    CString Mid(int nFirst, int nCount) const;
    CString Right(int nCount) const;

    // In-place edits; Replace returns the number of replacements.
    int Replace(char chOld, char chNew);
    int Replace(const char* pszOld, const char* pszNew);
    CString& Trim();
    CString& TrimLeft();
    CString& TrimRight();
    CString& MakeLower();   // ASCII letters only; lead and trail bytes stay as they are
    // 0 when equal but for the case of ASCII letters, as MakeLower sees case; else the
    // sign of the first difference.
    int CompareNoCase(const char* psz) const;

    // printf-style formatting into a buffer that grows to fit.
    void Format(const char* pszFormat, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 2, 3)))
#endif
        ;
    void FormatV(const char* pszFormat, va_list args);

private:
    std::string m_str;
};

// A byte below 0x20, or 0x7F: a control character in any code page this program meets.
inline bool IsControlCharacter(char ch)
{
    const unsigned char byte = static_cast<unsigned char>(ch);
    return byte < 0x20 || byte == 0x7F;
}
// Whether the text holds one: a text from outside that is to stand in a path, a request
// line or a log line must not.
bool HasControlCharacter(const CString& text);

// The pieces between separators, empty ones included: "a,,b" gives "a", "", "b".
std::vector<CString> SplitAt(const CString& text, char separator);
