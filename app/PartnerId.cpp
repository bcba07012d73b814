#include "PartnerId.h"

CString PartnerIdFromModulePath(const CString& modulePath)
{
    CString id = modulePath.Mid(modulePath.ReverseFind('\\') + 1);
    const int underscore = id.Find('_');
    if (underscore < 0)
        return "melvora";
    id = id.Mid(underscore + 1);
    id = id.Left(id.Find('.'));
    for (const char suffixStart : {'[', '('}) {
        const int at = id.Find(suffixStart);
        if (at >= 0)
            id = id.Left(at);
    }
    id.TrimRight();
    return id;
}
