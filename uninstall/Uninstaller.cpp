#include "Uninstaller.h"

#include <cstring>
#include <vector>

#include "ComponentList.h"
#include "FolderPath.h"
#include "KernelHandle.h"
#include "ProcessStopper.h"
#include "ProductConstants.h"
#include "ShortcutRemoval.h"
#include "UninstallIni.h"

namespace {

const char kCurrentUserName[] = "HKEY_CURRENT_USER\\";
const char kLocalMachineName[] = "HKEY_LOCAL_MACHINE\\";

// The ini's text; empty when it is missing or unreadable, longer than the reader takes
// when it is too long (so that it is refused whole).
CString ReadIniText(const CString& path)
{
    KernelHandle file(::CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return CString();
    std::vector<char> bytes(kMaxUninstallIniBytes + 1);
    DWORD done = 0;
    for (DWORD n = 1; n > 0 && done < bytes.size(); done += n) {
        if (!::ReadFile(file.get(), bytes.data() + done, DWORD(bytes.size() - done), &n, nullptr))
            return CString();
    }
    return CString(bytes.data(), int(done));
}

// Whether the ini entry's path, inside the install folder, passes through a link (a
// junction or symbolic link) on its way: what lies behind one is somewhere else.
bool CrossesLink(const CString& installDir, const CString& relativePath)
{
    for (int at = relativePath.Find('\\'); at >= 0; at = relativePath.Find('\\', at + 1)) {
        if (IsLinkAttributes(::GetFileAttributesA(installDir + "\\" + relativePath.Left(at))))
            return true;
    }
    return false;
}

void RemoveIniEntries(CRemover& remover, UninstallReport& report, const CString& installDir)
{
    std::vector<RemovalEntry> entries;
    if (!ReadUninstallIni(ReadIniText(InstalledFilePath(installDir, kUninstallerIni)), &entries))
        return;   // malformed: only the setup's own things go
    for (const RemovalEntry& entry : entries) {
        if (entry.kind == RemovalKind::Key) {
            const bool user = entry.root == RegistryRoot::CurrentUser;
            remover.RemoveRegistryKey(user ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE, entry.path,
                                      (user ? kCurrentUserName : kLocalMachineName) + entry.path);
            continue;
        }
        const CString path = installDir + "\\" + entry.path;
        if (CrossesLink(installDir, entry.path))
            report.Failed(path, "설치 폴더 밖을 가리킵니다");
        else if (entry.kind == RemovalKind::Folder)
            remover.RemoveTree(path);
        else
            remover.RemoveFile(path);
    }
}

void RemoveRegistryEntries(CRemover& remover)
{
    remover.RemoveRegistryValue(HKEY_CURRENT_USER, kRunKey, kRunValueName,
                                CString(kCurrentUserName) + kRunKey + "\\" + kRunValueName);
    remover.RemoveRegistryKey(HKEY_CURRENT_USER, kProductKey, CString(kCurrentUserName) + kProductKey);
    remover.RemoveRegistryKey(HKEY_LOCAL_MACHINE, kUninstallKey, CString(kLocalMachineName) + kUninstallKey);
}

}  // namespace

void RemoveProduct(CRemover& remover, UninstallReport& report)
{
    const CString programFiles = ProgramFilesFolder();
    if (programFiles.IsEmpty()) {
        report.Failed(kInstallFolderName, "Program Files 폴더를 찾을 수 없습니다");
        return;
    }
    const CString installDir = InstallFolderIn(programFiles);
    StopRunningProcesses(kPlayerExe);

    // The ini is read before the setup's files, itself among them, go.
    RemoveIniEntries(remover, report, installDir);
    RemoveShortcuts(remover, report, installDir);
    for (const char* name : kInstalledFiles) {
        const CString path = InstalledFilePath(installDir, name);
        if (std::strcmp(name, kUninstallerExe) == 0)
            remover.RemoveProgramFile(path);
        else
            remover.RemoveFile(path);
    }
    RemoveRegistryEntries(remover);
    remover.RemoveEmptyFolder(installDir, "설치 프로그램이 설치하지 않은 파일이 남아 있습니다");
}
