#include "CString.h"

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

bool IsSpace(char ch)
{
    return ch == ' ' || ch == '\t' || ch == '\n' || ch == '\r' || ch == '\v' || ch == '\f';
}

}  // namespace

void CString::Append(const char* pch, int nLength)
{
    if (!pch || nLength <= 0)
        return;
    const void* zero = std::memchr(pch, 0, size_t(nLength));
    size_t n = zero ? size_t(static_cast<const char*>(zero) - pch) : size_t(nLength);
    m_str.append(pch, n);
}

std::vector<CString> SplitAt(const CString& text, char separator)
{
    std::vector<CString> parts;
    int from = 0;
    for (int at; (at = text.Find(separator, from)) >= 0; from = at + 1)
        parts.push_back(text.Mid(from, at - from));
    parts.push_back(text.Mid(from));
    return parts;
}

bool HasControlCharacter(const CString& text)
{
    for (int i = 0; i < text.GetLength(); ++i) {
        if (IsControlCharacter(text[i]))
            return true;
    }
    return false;
}

int CString::Compare(const char* psz) const
{
    return std::strcmp(m_str.c_str(), psz ? psz : "");
}

int CString::Find(char ch, int nStart) const
{
    if (nStart < 0 || size_t(nStart) > m_str.size())
        return -1;
    size_t pos = m_str.find(ch, size_t(nStart));
    return pos == std::string::npos ? -1 : int(pos);
}

int CString::Find(const char* pszSub, int nStart) const
{
    if (!pszSub || nStart < 0 || size_t(nStart) > m_str.size())
        return -1;
    size_t pos = m_str.find(pszSub, size_t(nStart));
    return pos == std::string::npos ? -1 : int(pos);
}

int CString::ReverseFind(char ch) const
{
    size_t pos = m_str.rfind(ch);
    return pos == std::string::npos ? -1 : int(pos);
}

CString CString::Left(int nCount) const
{
    if (nCount <= 0)
        return CString();
    return CString(m_str.substr(0, size_t(nCount)));
}

CString CString::Mid(int nFirst) const
{
    if (nFirst < 0)
        nFirst = 0;
    if (size_t(nFirst) >= m_str.size())
        return CString();
    return CString(m_str.substr(size_t(nFirst)));
}

CString CString::Mid(int nFirst, int nCount) const
{
    if (nFirst < 0)
        nFirst = 0;
    if (nCount <= 0 || size_t(nFirst) >= m_str.size())
        return CString();
    return CString(m_str.substr(size_t(nFirst), size_t(nCount)));
}

CString CString::Right(int nCount) const
{
    if (nCount <= 0)
        return CString();
    if (size_t(nCount) >= m_str.size())
        return *this;
    return CString(m_str.substr(m_str.size() - size_t(nCount)));
}

int CString::Replace(char chOld, char chNew)
{
    int n = 0;
    for (char& ch : m_str) {
        if (ch == chOld) {
            ch = chNew;
            ++n;
        }
    }
    return n;
}

int CString::Replace(const char* pszOld, const char* pszNew)
{
    if (!pszOld || !*pszOld)
        return 0;
    const size_t oldLen = std::strlen(pszOld);
    const std::string replacement = pszNew ? pszNew : "";
    std::string out;
    int n = 0;
    size_t from = 0;
    for (size_t pos; (pos = m_str.find(pszOld, from, oldLen)) != std::string::npos; from = pos + oldLen) {
        out.append(m_str, from, pos - from);
        out += replacement;
        ++n;
    }
    if (n) {
        out.append(m_str, from, std::string::npos);
        m_str.swap(out);
    }
    return n;
}

CString& CString::TrimLeft()
{
    size_t i = 0;
    while (i < m_str.size() && IsSpace(m_str[i]))
        ++i;
    m_str.erase(0, i);
    return *this;
}

CString& CString::TrimRight()
{
    size_t n = m_str.size();
    while (n > 0 && IsSpace(m_str[n - 1]))
        --n;
    m_str.resize(n);
    return *this;
}

CString& CString::Trim()
{
    TrimRight();
    return TrimLeft();
}

CString& CString::MakeLower()
{
    for (char& ch : m_str) {
        if (ch >= 'A' && ch <= 'Z')
            ch = char(ch - 'A' + 'a');
    }
    return *this;
}

int CString::CompareNoCase(const char* psz) const
{
    const auto lower = [](char ch) { return ch >= 'A' && ch <= 'Z' ? ch - 'A' + 'a' : int(static_cast<unsigned char>(ch)); };
    const size_t length = std::strlen(psz);
    for (size_t i = 0; i < m_str.size() && i < length; ++i) {
        if (lower(m_str[i]) != lower(psz[i]))
            return lower(m_str[i]) - lower(psz[i]);
    }
    return m_str.size() < length ? -1 : m_str.size() > length ? 1 : 0;
}

void CString::Format(const char* pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    FormatV(pszFormat, args);
    va_end(args);
}

void CString::FormatV(const char* pszFormat, va_list args)
{
    char small[256];
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(small, sizeof small, pszFormat, copy);
    va_end(copy);
    if (n < 0) {
        m_str.clear();
        return;
    }
    if (size_t(n) < sizeof small) {
        m_str.assign(small, size_t(n));
        return;
    }
    std::vector<char> big(size_t(n) + 1);
    std::vsnprintf(big.data(), big.size(), pszFormat, args);
    m_str.assign(big.data(), size_t(n));
}
