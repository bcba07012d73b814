#include "CBstr.h"

BSTR AllocBstr(const char* psz)
{
    if (!psz || !*psz)
        return nullptr;
    const int cch = ::MultiByteToWideChar(CP_ACP, 0, psz, -1, nullptr, 0);   // with the terminator
    if (cch <= 1)
        return nullptr;
    BSTR bstr = ::SysAllocStringLen(nullptr, UINT(cch - 1));
    if (bstr && ::MultiByteToWideChar(CP_ACP, 0, psz, -1, bstr, cch) != cch) {
        ::SysFreeString(bstr);
        return nullptr;
    }
    return bstr;
}
