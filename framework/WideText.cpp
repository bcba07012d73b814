#include "WideText.h"

#include <windows.h>

bool ToUtf16(const CString& text, WideText* pWide)
{
    pWide->clear();
    if (text.IsEmpty())
        return true;
    const int cch = ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text, text.GetLength(), nullptr, 0);
    if (cch <= 0)
        return false;
    pWide->resize(size_t(cch));
    static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 code units");
    if (::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text, text.GetLength(),
                              reinterpret_cast<wchar_t*>(pWide->data()), cch) == cch)
        return true;
    pWide->clear();
    return false;
}
