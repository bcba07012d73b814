#include "PartnerId.h"

CString PartnerIdFromModulePath(const CString& modulePath)
{
    CString id = modulePath.Mid(modulePath.ReverseFind('\\') + 1);
    const int underscore = id.Find('_');
    if (underscore < 0)
        return "melvora";
    id = id.Mid(underscore + 1);
    id = id.Left(id.Find('.'));
    const int bracket = id.Find('[');
    if (bracket >= 0)
        id = id.Left(bracket);
    return id;
}
