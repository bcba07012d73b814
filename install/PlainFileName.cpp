#include "PlainFileName.h"

#include <algorithm>
#include <cstring>

#include "WideText.h"

namespace {

char16_t LowerAscii(char16_t ch)
{
    return ch >= u'A' && ch <= u'Z' ? char16_t(ch - u'A' + u'a') : ch;
}

// Whether the stem, lower-cased, begins with the ASCII text given (and, when `whole`,
// holds nothing else).
bool StemBegins(const WideText& stem, const char* ascii, bool whole)
{
    size_t i = 0;
    for (; ascii[i]; ++i) {
        if (i >= stem.size() || LowerAscii(stem[i]) != char16_t(ascii[i]))
            return false;
    }
    return !whole || i == stem.size();
}

// The system judges device names in UTF-16, where "COM¹" is COM1: a digit there is 0 to
// 9 or a superscript one, two or three. In code page 949 those are two bytes each, so the
// name is judged after the conversion the "A" calls make. A name that is no text in the
// code page is not taken at all: the system would make other characters of it.
bool IsReservedDeviceName(const CString& name, bool* pConverted)
{
    WideText stem;
    *pConverted = ToUtf16(name, &stem);
    if (!*pConverted)
        return false;
    // Windows reads "NUL.txt" and "nul .exe" as the device as well: only the part before
    // the first "." counts, without the blanks that end it.
    const auto dot = std::find(stem.begin(), stem.end(), u'.');
    stem.erase(dot, stem.end());
    while (!stem.empty() && stem.back() == u' ')
        stem.pop_back();
    for (const char* device : {"con", "prn", "aux", "nul", "conin$", "conout$"})
        if (StemBegins(stem, device, true))
            return true;
    if (stem.size() != 4 || !(StemBegins(stem, "com", false) || StemBegins(stem, "lpt", false)))
        return false;
    const char16_t digit = stem[3];
    return (digit >= u'0' && digit <= u'9') || digit == u'\u00B9' || digit == u'\u00B2' || digit == u'\u00B3';
}

}  // namespace

bool IsPlainFileName(const CString& name)
{
    bool converted = false;
    if (name.IsEmpty() || name.Find("..") >= 0 || IsReservedDeviceName(name, &converted) || !converted)
        return false;
    const char last = name[name.GetLength() - 1];
    if (last == '.' || last == ' ')
        return false;
    for (int i = 0; i < name.GetLength(); ++i) {
        const char ch = name[i];
        if (IsControlCharacter(ch) || std::strchr("\\/:*?\"<>|", ch))
            return false;
    }
    return true;
}

bool IsPlainRelativePath(const CString& path)
{
    CString text = path;
    text.Replace('/', '\\');
    for (const CString& name : SplitAt(text, '\\')) {
        if (!IsPlainFileName(name))
            return false;
    }
    return true;
}
