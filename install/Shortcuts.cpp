#include "Shortcuts.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <vector>

#include "ComRef.h"
#include "ComScope.h"
#include "DirectFile.h"
#include "ProductConstants.h"
#include "SetupLog.h"

namespace {

bool GetShellFolder(int nFolder, CString* pstrPath)
{
    char path[MAX_PATH + 1] = {};
    if (FAILED(::SHGetFolderPathA(nullptr, nFolder, nullptr, 0, path)))
        return false;
    *pstrPath = path;
    return true;
}

// The link as a .lnk file holds it: the shell link object's stream.
bool LinkBytes(IShellLinkA* pLink, std::vector<char>* pBytes)
{
    ComRef<IPersistStream> persist;
    IStream* const pStream = ::SHCreateMemStream(nullptr, 0);
    if (!pStream)
        return false;
    STATSTG stat = {};
    const LARGE_INTEGER start = {};
    ULONG read = 0;
    bool made = SUCCEEDED(pLink->QueryInterface(IID_IPersistStream, persist.out())) &&
                SUCCEEDED(persist->Save(pStream, TRUE)) && SUCCEEDED(pStream->Stat(&stat, STATFLAG_NONAME)) &&
                stat.cbSize.QuadPart > 0 && stat.cbSize.QuadPart <= kMaxShortcutBytes &&
                SUCCEEDED(pStream->Seek(start, STREAM_SEEK_SET, nullptr));
    if (made) {
        pBytes->resize(size_t(stat.cbSize.QuadPart));
        made = SUCCEEDED(pStream->Read(pBytes->data(), ULONG(pBytes->size()), &read)) && read == pBytes->size();
    }
    pStream->Release();
    return made;
}

// Writes the link to one path of a folder. The folder comes from the user's own shell
// folder settings and the setup runs elevated: a folder that is a link, a link at the
// link's name or a file with a second name there would have it write over a file that
// is not the user's to change, so these are left alone and the log says so. A path that
// the ANSI calls cannot name is skipped rather than cut short.
void SaveLink(const std::vector<char>& bytes, const CString& strFolder, const CString& strPath)
{
    const char* outcome = "";
    KernelHandle file;
    if (strPath.GetLength() >= MAX_PATH)
        outcome = " (not saved: the path is too long)";
    else if (!IsDirectFolder(strFolder))
        outcome = " (not saved: its folder is a link or missing)";
    else if (OpenDirectFile(strPath, GENERIC_WRITE, OPEN_ALWAYS, &file) == DirectOpen::Refused)
        outcome = " (not saved: a link or a file with a second name is there)";
    else if (!file || !ReplaceContent(file.get(), bytes.data(), DWORD(bytes.size())))
        outcome = " (not saved)";
    SetupLog::Write("shortcut: %s%s", strPath.GetString(), outcome);
}

}  // namespace

bool FindShortcutPlaces(const CString& strLinkFileName, ShortcutPlaces* pPlaces)
{
    CString strDesktop, strAppData, strPrograms;
    if (!GetShellFolder(CSIDL_DESKTOP, &strDesktop) || !GetShellFolder(CSIDL_APPDATA, &strAppData) ||
        !GetShellFolder(CSIDL_COMMON_PROGRAMS, &strPrograms))
        return false;
    pPlaces->strDesktopFolder = strDesktop;
    pPlaces->strDesktopLink = strDesktop + strLinkFileName;
    pPlaces->strQuickLaunchFolder = strAppData + kQuickLaunchFolder;
    pPlaces->strQuickLaunchLink = pPlaces->strQuickLaunchFolder + strLinkFileName;
    pPlaces->strStartMenuFolder = strPrograms + kStartMenuFolder;
    pPlaces->strStartMenuLink = pPlaces->strStartMenuFolder + strLinkFileName;
    return true;
}

void CreateShortcuts(const CString& strTarget, const CString& strLinkFileName, bool bDesktop, bool bQuickLaunch,
                     bool bStartMenu)
{
    if (!::PathFileExistsA(strTarget)) {
        SetupLog::Write("shortcut: none, %s is missing", strTarget.GetString());
        return;
    }
    ShortcutPlaces places;
    if (!FindShortcutPlaces(strLinkFileName, &places))
        return;
    // The start-menu folder is made even when no start-menu link is wanted.
    ::CreateDirectoryA(places.strStartMenuFolder, nullptr);

    ComScope com;
    ComRef<IShellLinkA> link;
    if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA, link.out())))
        return;
    link->SetPath(strTarget);
    link->SetWorkingDirectory(strTarget.Left(strTarget.ReverseFind('\\')));
    link->SetDescription(kShortcutDescription);
    std::vector<char> bytes;
    if (!LinkBytes(link.get(), &bytes)) {
        SetupLog::Write("shortcut: none, the shell link could not be made");
        return;
    }
    if (bDesktop)
        SaveLink(bytes, places.strDesktopFolder, places.strDesktopLink);
    if (bQuickLaunch)
        SaveLink(bytes, places.strQuickLaunchFolder, places.strQuickLaunchLink);
    if (bStartMenu)
        SaveLink(bytes, places.strStartMenuFolder, places.strStartMenuLink);
    ::SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_FLUSH, nullptr, nullptr);
}
