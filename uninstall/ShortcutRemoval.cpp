#include "ShortcutRemoval.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <vector>

#include "ComRef.h"
#include "ComScope.h"
#include "ComponentList.h"
#include "DirectFile.h"
#include "KernelHandle.h"
#include "ProductConstants.h"
#include "Shortcuts.h"

namespace {

const char kLinkElsewhere[] = "다른 곳을 가리키는 링크이거나 이름이 둘인 파일입니다";
const char kFolderElsewhere[] = "다른 곳을 가리키는 링크인 폴더라서 들어가지 않았습니다";
const char kOtherProgramsLink[] = "다른 프로그램의 바로 가기입니다";

bool ReadShortcut(HANDLE hFile, std::vector<char>* pBytes)
{
    LARGE_INTEGER size = {};
    if (!::GetFileSizeEx(hFile, &size) || size.QuadPart <= 0 || size.QuadPart > LONGLONG(kMaxShortcutBytes))
        return false;
    pBytes->resize(size_t(size.QuadPart));
    DWORD done = 0;
    while (done < pBytes->size()) {
        DWORD n = 0;
        if (!::ReadFile(hFile, pBytes->data() + done, DWORD(pBytes->size() - done), &n, nullptr) || n == 0)
            return false;
        done += n;
    }
    return true;
}

// The target that a shortcut's bytes name; empty when they hold no shell link.
CString LinkTarget(const std::vector<char>& bytes)
{
    IStream* const pStream = ::SHCreateMemStream(reinterpret_cast<const BYTE*>(bytes.data()), UINT(bytes.size()));
    if (!pStream)
        return CString();
    ComRef<IShellLinkA> link;
    ComRef<IPersistStream> persist;
    char target[MAX_PATH + 1] = {};
    const bool read =
        SUCCEEDED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA, link.out())) &&
        SUCCEEDED(link->QueryInterface(IID_IPersistStream, persist.out())) && SUCCEEDED(persist->Load(pStream)) &&
        SUCCEEDED(link->GetPath(target, MAX_PATH, nullptr, SLGP_RAWPATH));
    pStream->Release();
    return read ? CString(target) : CString();
}

void RemoveShortcut(UninstallReport& report, const CString& linkPath, const CString& player)
{
    KernelHandle file;
    switch (OpenDirectFile(linkPath, GENERIC_READ | FILE_WRITE_ATTRIBUTES, OPEN_EXISTING, &file)) {
    case DirectOpen::Missing: return;
    case DirectOpen::Refused: report.Kept(linkPath, kLinkElsewhere); return;
    case DirectOpen::Failed: report.Failed(linkPath, ReasonForError(::GetLastError())); return;
    case DirectOpen::Opened: break;
    }
    std::vector<char> bytes;
    if (!ReadShortcut(file.get(), &bytes) || ::lstrcmpiA(LinkTarget(bytes), player) != 0)
        report.Kept(linkPath, kOtherProgramsLink);
    else if (DeleteThroughHandle(file.get()))
        report.Removed(linkPath);
    else
        report.Failed(linkPath, ReasonForError(::GetLastError()));
}

// The shortcut in one folder; false when the folder is there but is a link (or lies
// behind one): then nothing in it is touched, and the report says so.
bool RemoveShortcutIn(UninstallReport& report, const CString& folder, const CString& linkPath,
                      const CString& player)
{
    if (::GetFileAttributesA(folder) == INVALID_FILE_ATTRIBUTES)
        return true;
    if (!IsDirectFolder(folder)) {
        report.Kept(folder, kFolderElsewhere);
        return false;
    }
    RemoveShortcut(report, linkPath, player);
    return true;
}

}  // namespace

void RemoveShortcuts(CRemover& remover, UninstallReport& report, const CString& installDir)
{
    ShortcutPlaces places;
    if (!FindShortcutPlaces(kShortcutFileName, &places))
        return;
    const CString player = InstalledFilePath(installDir, kPlayerExe);
    ComScope com;
    RemoveShortcutIn(report, places.strDesktopFolder, places.strDesktopLink, player);
    RemoveShortcutIn(report, places.strQuickLaunchFolder, places.strQuickLaunchLink, player);
    if (RemoveShortcutIn(report, places.strStartMenuFolder, places.strStartMenuLink, player))
        remover.RemoveEmptyFolder(places.strStartMenuFolder, "다른 항목이 들어 있습니다");
    ::SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_FLUSH, nullptr, nullptr);
}
