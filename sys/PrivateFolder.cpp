#include "PrivateFolder.h"

#include <windows.h>
#include <sddl.h>

#include "ProductConstants.h"

namespace {

const int kNameTries = 100;
// Full control for the system and the administrators, inherited by files and folders;
// "P": nothing inherited from the temporary folder above.
const char kPrivateSecurity[] = "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";

// Deletes a file now, or at the next restart when it is in use. Only the administrators
// can change the folder, so the name still leads to the file that was put there.
void RemoveFile(const CString& path)
{
    if (!::DeleteFileA(path))
        ::MoveFileExA(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}

// The folder and what it holds, at most one level of folders deep (the private folder
// and its subfolders); a folder that still holds a file in use goes at the next restart,
// after that file.
void RemoveFolder(const CString& folder, bool bSubfolders)
{
    WIN32_FIND_DATAA found;
    const HANDLE hFind = ::FindFirstFileA(folder + "*", &found);
    if (hFind != INVALID_HANDLE_VALUE) {
        do {
            const CString name = found.cFileName;
            if (name == "." || name == "..")
                continue;
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                RemoveFile(folder + name);
            else if (bSubfolders && !(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
                RemoveFolder(folder + name + "\\", false);
        } while (::FindNextFileA(hFind, &found));
        ::FindClose(hFind);
    }
    const CString path = folder.Left(folder.GetLength() - 1);
    if (!::RemoveDirectoryA(path))
        ::MoveFileExA(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}

}  // namespace

CPrivateFolder::~CPrivateFolder()
{
    if (!m_strPath.IsEmpty())
        RemoveFolder(m_strPath, true);
}

bool CPrivateFolder::Create()
{
    char windows[MAX_PATH + 1] = {};
    const UINT cch = ::GetSystemWindowsDirectoryA(windows, MAX_PATH);
    PSECURITY_DESCRIPTOR pSecurity = nullptr;
    if (cch == 0 || cch >= MAX_PATH ||
        !::ConvertStringSecurityDescriptorToSecurityDescriptorA(kPrivateSecurity, SDDL_REVISION_1, &pSecurity, nullptr))
        return false;
    SECURITY_ATTRIBUTES security = {sizeof security, pSecurity, FALSE};
    CString root = windows;
    if (root.Right(1) != "\\")
        root += "\\";
    for (int attempt = 0; attempt < kNameTries && m_strPath.IsEmpty(); ++attempt) {
        CString path;
        path.Format("%sTemp\\%s%lu-%d", root.GetString(), kPrivateFolderPrefix,
                    static_cast<unsigned long>(::GetCurrentProcessId()), attempt);
        // A folder that is already there, whoever made it, is never taken.
        if (::CreateDirectoryA(path, &security))
            m_strPath = path + "\\";
        else if (::GetLastError() != ERROR_ALREADY_EXISTS)
            break;
    }
    ::LocalFree(pSecurity);
    return !m_strPath.IsEmpty();
}

CString CPrivateFolder::NewSubfolder()
{
    if (m_strPath.IsEmpty() && !Create())
        return CString();
    CString path;
    path.Format("%s%d", m_strPath.GetString(), ++m_nSubfolders);
    // Inside a folder only administrators can change, the name is free unless this setup
    // made it; the DACL comes from the private folder.
    return ::CreateDirectoryA(path, nullptr) ? path + "\\" : CString();
}
