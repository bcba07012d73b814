// The native build's ToUtf16: code page 949 through the C library's iconv.
#include "WideText.h"

#include <iconv.h>

#include <vector>

bool ToUtf16(const CString& text, WideText* pWide)
{
    pWide->clear();
    if (text.IsEmpty())
        return true;
    const iconv_t converter = ::iconv_open("UTF-16LE", "CP949");
    if (converter == iconv_t(-1))
        return false;
    std::vector<char> in(text.GetString(), text.GetString() + text.GetLength());
    std::vector<char> out(in.size() * 4);
    char* pIn = in.data();
    char* pOut = out.data();
    size_t inLeft = in.size(), outLeft = out.size();
    const bool converted = ::iconv(converter, &pIn, &inLeft, &pOut, &outLeft) != size_t(-1) && inLeft == 0;
    ::iconv_close(converter);
    if (!converted)
        return false;
    for (const char* p = out.data(); p + 1 < pOut; p += 2)
        pWide->push_back(char16_t(static_cast<unsigned char>(p[0]) | static_cast<unsigned char>(p[1]) << 8));
    return true;
}
