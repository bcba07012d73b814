#include "PlainFileName.h"

#include <cstring>

namespace {

bool IsReservedDeviceName(CString name)
{
    // Windows reads "NUL.txt" and "nul .exe" as the device as well: only the part before
    // the first "." counts, without the blanks that end it.
    const int dot = name.Find('.');
    if (dot >= 0)
        name = name.Left(dot);
    name.TrimRight();
    name.MakeLower();
    for (const char* device : {"con", "prn", "aux", "nul", "conin$", "conout$"})
        if (name == device)
            return true;
    return name.GetLength() == 4 && (name.Left(3) == "com" || name.Left(3) == "lpt") && name[3] >= '0' &&
           name[3] <= '9';
}

}  // namespace

bool IsPlainFileName(const CString& name)
{
    if (name.IsEmpty() || name.Find("..") >= 0 || IsReservedDeviceName(name))
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
