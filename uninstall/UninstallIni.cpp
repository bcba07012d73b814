#include "UninstallIni.h"

#include <cstring>

#include "PlainFileName.h"
#include "ProductConstants.h"

namespace {

// Cuts "name=value" apart, both trimmed.
bool SplitEntry(const CString& line, CString* name, CString* value)
{
    const int equals = line.Find('=');
    if (equals <= 0)
        return false;
    *name = line.Left(equals);
    name->Trim();
    *value = line.Mid(equals + 1);
    value->Trim();
    return true;
}

bool ReadEntry(const CString& name, const CString& value, RemovalEntry* entry)
{
    if (name.CompareNoCase("File") == 0 || name.CompareNoCase("Folder") == 0) {
        entry->kind = name.CompareNoCase("File") == 0 ? RemovalKind::File : RemovalKind::Folder;
        return IsConfinedRelativePath(value, &entry->path);
    }
    if (name.CompareNoCase("Key") == 0) {
        entry->kind = RemovalKind::Key;
        return ParseProductKey(value, &entry->root, &entry->path);
    }
    return false;
}

}  // namespace

bool IsConfinedRelativePath(const CString& path, CString* normalized)
{
    CString text = path;
    text.Replace('/', '\\');
    if (text.IsEmpty() || text.GetLength() >= 260)
        return false;
    if (!IsPlainRelativePath(text))
        return false;
    *normalized = text;
    return true;
}

bool ParseProductKey(const CString& text, RegistryRoot* root, CString* subKey)
{
    const std::vector<CString> names = SplitAt(text, '\\');
    if (names.size() < 3 || HasControlCharacter(text))
        return false;
    if (names[0].CompareNoCase("HKCU") == 0 || names[0].CompareNoCase("HKEY_CURRENT_USER") == 0)
        *root = RegistryRoot::CurrentUser;
    else if (names[0].CompareNoCase("HKLM") == 0 || names[0].CompareNoCase("HKEY_LOCAL_MACHINE") == 0)
        *root = RegistryRoot::LocalMachine;
    else
        return false;
    if ((names[1] + "\\" + names[2]).CompareNoCase(kProductKey) != 0)
        return false;
    CString path = kProductKey;
    for (size_t i = 3; i < names.size(); ++i) {
        if (names[i].IsEmpty() || names[i] == "." || names[i] == "..")
            return false;
        path += "\\" + names[i];
    }
    *subKey = path;
    return true;
}

bool ReadUninstallIni(const CString& text, std::vector<RemovalEntry>* entries)
{
    entries->clear();
    if (text.GetLength() > kMaxUninstallIniBytes || int(std::strlen(text)) != text.GetLength())
        return false;
    std::vector<RemovalEntry> found;
    bool inRemove = false;
    for (CString line : SplitAt(text, '\n')) {
        line.Trim();   // also the "\r" of a CRLF line end
        if (line.IsEmpty() || line[0] == ';' || line[0] == '#')
            continue;
        if (line[0] == '[') {
            if (line[line.GetLength() - 1] != ']')
                return false;
            CString section = line.Mid(1, line.GetLength() - 2);
            inRemove = section.Trim().CompareNoCase("Remove") == 0;
            continue;
        }
        if (!inRemove)
            continue;   // other sections are the publisher's own business
        CString name, value;
        RemovalEntry entry;
        if (!SplitEntry(line, &name, &value) || !ReadEntry(name, value, &entry) ||
            int(found.size()) == kMaxUninstallIniEntries)
            return false;
        found.push_back(entry);
    }
    entries->swap(found);
    return true;
}
