#include "Shortcuts.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shlwapi.h>

#include "ComRef.h"
#include "ComScope.h"
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

// Saves the link to one path. The path reaches the shell as UTF-16 in a MAX_PATH buffer;
// a path that does not fit is skipped rather than cut short or overflowed.
void SaveLink(IPersistFile* pFile, const CString& strPath)
{
    WCHAR wszPath[MAX_PATH];
    const bool saved = ::MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, strPath, -1, wszPath, MAX_PATH) > 0 &&
                       SUCCEEDED(pFile->Save(wszPath, TRUE));
    SetupLog::Write("shortcut: %s%s", strPath.GetString(), saved ? "" : " (not saved)");
}

}  // namespace

bool FindShortcutPlaces(const CString& strLinkFileName, ShortcutPlaces* pPlaces)
{
    CString strDesktop, strAppData, strPrograms;
    if (!GetShellFolder(CSIDL_DESKTOP, &strDesktop) || !GetShellFolder(CSIDL_APPDATA, &strAppData) ||
        !GetShellFolder(CSIDL_COMMON_PROGRAMS, &strPrograms))
        return false;
    pPlaces->strDesktopLink = strDesktop + strLinkFileName;
    pPlaces->strQuickLaunchLink = strAppData + kQuickLaunchFolder + strLinkFileName;
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
    {
        ComRef<IPersistFile> file;
        if (FAILED(link->QueryInterface(IID_IPersistFile, file.out())))
            return;
        if (bDesktop)
            SaveLink(file.get(), places.strDesktopLink);
        if (bQuickLaunch)
            SaveLink(file.get(), places.strQuickLaunchLink);
        if (bStartMenu)
            SaveLink(file.get(), places.strStartMenuLink);
    }
    ::SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_FLUSH, nullptr, nullptr);
}
