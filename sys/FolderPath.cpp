#include "FolderPath.h"

#include <windows.h>
#include <io.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "ProductConstants.h"

namespace {

// The ANSI file calls cannot name a path this long: such a level is neither found nor
// created, so it is not offered to the system at all (nor copied).
bool Nameable(size_t length)
{
    return length < MAX_PATH;
}

// Whether a file or folder named exactly by the first `length` bytes of `text` exists.
bool EntryExists(const std::string& text, size_t length)
{
    if (!Nameable(length))
        return false;
    _finddata_t found;
    const intptr_t search = ::_findfirst(text.substr(0, length).c_str(), &found);
    if (search == -1)
        return false;
    ::_findclose(search);
    return true;
}

bool MakeFolder(const std::string& text, size_t length)
{
    return Nameable(length) && ::CreateDirectoryA(text.substr(0, length).c_str(), nullptr);
}

}  // namespace

int CreateFolderPath(const CString& path)
{
    // Walked as a loop rather than by recursion, so that a path with any number of "\"
    // (a component's folder comes from the server's list) cannot exhaust the stack. The
    // system sees the calls of the recursive rule in the same order: existence tests of
    // the parents on the way up, then the creations on the way down.
    const std::string& text = path.str();
    std::vector<size_t> levels;   // lengths of the levels still to create, deepest first
    size_t level = text.size();
    bool created = false;
    for (;;) {
        const size_t slash = level == 0 ? std::string::npos : text.rfind('\\', level - 1);
        if (slash == std::string::npos || EntryExists(text, slash)) {
            created = MakeFolder(text, level);   // no parent to look at, or it exists
            break;
        }
        levels.push_back(level);
        level = slash;   // first the parent, then this level
    }
    while (created && !levels.empty()) {
        created = MakeFolder(text, levels.back());
        levels.pop_back();
    }
    return created ? 1 : 0;
}

CString ProgramFilesFolder()
{
    char path[MAX_PATH + 1] = {};
    if (!::SHGetSpecialFolderPathA(nullptr, path, CSIDL_PROGRAM_FILES, FALSE))
        return CString();
    return CString(path);
}

CString InstallFolderIn(const char* programFilesFolder)
{
    CString folder;
    folder.Format("%s\\%s", programFilesFolder, kInstallFolderName);
    return folder;
}
