#include "UninstallIni.h"

#include <cstring>

#include "PlainFileName.h"
#include "ProductConstants.h"

namespace {

char AsciiLower(char ch)
{
    return ch >= 'A' && ch <= 'Z' ? char(ch - 'A' + 'a') : ch;
}

bool SameAsciiText(const CString& a, const char* b)
{
    if (a.GetLength() != int(std::strlen(b)))
        return false;
    for (int i = 0; i < a.GetLength(); ++i) {
        if (AsciiLower(a[i]) != AsciiLower(b[i]))
            return false;
    }
    return true;
}

std::vector<CString> Split(const CString& text, char separator)
{
    std::vector<CString> parts;
    int from = 0;
    for (int at; (at = text.Find(separator, from)) >= 0; from = at + 1)
        parts.push_back(text.Mid(from, at - from));
    parts.push_back(text.Mid(from));
    return parts;
}

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
    if (SameAsciiText(name, "File") || SameAsciiText(name, "Folder")) {
        entry->kind = SameAsciiText(name, "File") ? RemovalKind::File : RemovalKind::Folder;
        return IsConfinedRelativePath(value, &entry->path);
    }
    if (SameAsciiText(name, "Key")) {
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
    for (const CString& name : Split(text, '\\')) {
        if (!IsPlainFileName(name))
            return false;
    }
    *normalized = text;
    return true;
}

bool ParseProductKey(const CString& text, RegistryRoot* root, CString* subKey)
{
    const std::vector<CString> names = Split(text, '\\');
    if (names.size() < 3 || HasControlCharacter(text))
        return false;
    if (SameAsciiText(names[0], "HKCU") || SameAsciiText(names[0], "HKEY_CURRENT_USER"))
        *root = RegistryRoot::CurrentUser;
    else if (SameAsciiText(names[0], "HKLM") || SameAsciiText(names[0], "HKEY_LOCAL_MACHINE"))
        *root = RegistryRoot::LocalMachine;
    else
        return false;
    if (!SameAsciiText(names[1] + "\\" + names[2], kProductKey))
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
    for (CString line : Split(text, '\n')) {
        line.Trim();   // also the "\r" of a CRLF line end
        if (line.IsEmpty() || line[0] == ';' || line[0] == '#')
            continue;
        if (line[0] == '[') {
            if (line[line.GetLength() - 1] != ']')
                return false;
            CString section = line.Mid(1, line.GetLength() - 2);
            inRemove = SameAsciiText(section.Trim(), "Remove");
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
