#include "ProgramAddress.h"

#include <cstring>

namespace {

// What Windows starts, installs or merges when such a file is opened.
const char* const kProgramExtensions[] = {".exe", ".msi", ".msp", ".com", ".bat", ".cmd", ".scr", ".pif",
                                          ".dll", ".cpl", ".hta", ".vbs", ".vbe", ".wsf", ".ps1", ".reg"};

}  // namespace

bool IsProgramAddress(const CString& url)
{
    const int scheme = url.Find("://");
    int end = 0;
    while (end < url.GetLength() && url[end] != '?' && url[end] != '#')
        ++end;
    const int path = url.Find('/', scheme < 0 ? 0 : scheme + 3);
    if (path < 0 || path >= end)
        return false;   // no path: "http://example.com" names a host
    CString name = url.Mid(path, end - path);
    name = name.Mid(name.ReverseFind('/') + 1);
    name.MakeLower();
    for (const char* extension : kProgramExtensions) {
        const int length = int(std::strlen(extension));
        if (name.GetLength() > length && name.Right(length) == extension)
            return true;
    }
    return false;
}
