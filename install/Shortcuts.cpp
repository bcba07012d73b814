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

const char kQuickLaunchFolder[] = "\\Microsoft\\Internet Explorer\\Quick Launch";
const char kStartMenuFolder[] = "\\" MELVORA_PRODUCT_NAME;
const char kDescription[] = "무료음악감상";

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

void CreateShortcuts(const CString& strTarget, const CString& strLinkFileName, bool bDesktop, bool bQuickLaunch,
                     bool bStartMenu)
{
    if (!::PathFileExistsA(strTarget)) {
        SetupLog::Write("shortcut: none, %s is missing", strTarget.GetString());
        return;
    }
    CString strDesktop, strAppData, strPrograms;
    if (!GetShellFolder(CSIDL_DESKTOP, &strDesktop) || !GetShellFolder(CSIDL_APPDATA, &strAppData) ||
        !GetShellFolder(CSIDL_COMMON_PROGRAMS, &strPrograms))
        return;
    // The start-menu folder is made even when no start-menu link is wanted.
    const CString strStartMenuFolder = strPrograms + kStartMenuFolder;
    ::CreateDirectoryA(strStartMenuFolder, nullptr);

    const CString strDesktopLink = strDesktop + strLinkFileName;
    const CString strQuickLaunchLink = strAppData + kQuickLaunchFolder + strLinkFileName;
    const CString strStartMenuLink = strStartMenuFolder + strLinkFileName;

    ComScope com;
    ComRef<IShellLinkA> link;
    if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA, link.out())))
        return;
    link->SetPath(strTarget);
    link->SetWorkingDirectory(strTarget.Left(strTarget.ReverseFind('\\')));
    link->SetDescription(kDescription);
    {
        ComRef<IPersistFile> file;
        if (FAILED(link->QueryInterface(IID_IPersistFile, file.out())))
            return;
        if (bDesktop)
            SaveLink(file.get(), strDesktopLink);
        if (bQuickLaunch)
            SaveLink(file.get(), strQuickLaunchLink);
        if (bStartMenu)
            SaveLink(file.get(), strStartMenuLink);
    }
    ::SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_FLUSH, nullptr, nullptr);
}
