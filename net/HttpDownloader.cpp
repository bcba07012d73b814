#include "HttpDownloader.h"

#include <cstring>
#include <memory>
#include <new>

#include "DownloadProgress.h"
#include "PublisherHosts.h"
#include "SignatureCheck.h"
#include "UrlRules.h"

namespace {

// InternetOpenA only fails when the system's network layer is missing or broken; a few
// spaced attempts ride out a passing failure without hanging the install on a dead one.
const int kOpenAttempts = 5;
const DWORD kOpenRetryPauseMs = 200;

// The body's own file, made beside the target so that the final rename stays on one
// volume and replaces the target in one step: the target is always either the earlier
// file or the whole new one. Removed when it goes, unless it replaced the target.
class PartFile {
public:
    explicit PartFile(const CString& strTarget) : m_strTarget(strTarget)
    {
        // GetTempFileNameA makes an empty file under a name no other file has, so neither
        // another download nor a part file left over from a crash can be in the way.
        int slash = strTarget.ReverseFind('\\');
        const int forwardSlash = strTarget.ReverseFind('/');
        if (forwardSlash > slash)
            slash = forwardSlash;
        // The folder keeps its last separator, so that the folder of "C:\x" is the root.
        const CString folder = slash < 0 ? CString(".") : strTarget.Left(slash + 1);
        char path[MAX_PATH + 1] = {};
        if (!::GetTempFileNameA(folder, "mlv", 0, path))
            return;
        m_strPath = path;
        m_hFile = ::CreateFileA(m_strPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    ~PartFile()
    {
        Close();
        if (!m_strPath.IsEmpty())
            ::DeleteFileA(m_strPath);
    }
    PartFile(const PartFile&) = delete;
    PartFile& operator=(const PartFile&) = delete;

    bool IsOpen() const { return m_hFile != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return m_hFile; }

    // Puts the whole file on disk before it takes the target's place, so that a crash
    // right after the rename cannot leave the target empty. False when it cannot.
    bool Finish()
    {
        const bool flushed = IsOpen() && ::FlushFileBuffers(m_hFile);
        return Close() && flushed;
    }
    // The finished file's own name, empty once it has replaced the target.
    const CString& Path() const { return m_strPath; }
    // Renames the finished file over the target (which need not exist).
    bool ReplaceTarget()
    {
        if (m_strPath.IsEmpty() ||
            !::MoveFileExA(m_strPath, m_strTarget, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return false;
        m_strPath.Empty();
        return true;
    }

private:
    bool Close()
    {
        if (!IsOpen())
            return false;
        const bool closed = ::CloseHandle(m_hFile) != FALSE;
        m_hFile = INVALID_HANDLE_VALUE;
        return closed;
    }

    CString m_strTarget;
    CString m_strPath;
    HANDLE m_hFile = INVALID_HANDLE_VALUE;
};

// An earlier file at the target that could not be overwritten (in use, read-only, a
// folder) fails the download before anything is received, as creating it in place did.
bool CanReplace(const CString& strTarget)
{
    if (::GetFileAttributesA(strTarget) == INVALID_FILE_ATTRIBUTES)
        return true;   // nothing there yet; a missing folder fails the part file
    const HANDLE hFile =
        ::CreateFileA(strTarget, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
        return false;
    ::CloseHandle(hFile);
    return true;
}

// In a build that names a signer, a program (.exe or .dll) counts as downloaded only when
// the publisher signed it. The finished part file is checked before it may take the
// target's place: one that fails is deleted with its part file, and the earlier file stays.
bool IsAcceptedProgram(const CString& strTarget, const CString& strPartFile)
{
    const wchar_t* pszSigner = MELVORA_DOWNLOAD_SIGNER;
    if (!*pszSigner || !IsProgramFileName(strTarget))
        return true;
    return IsSignedBy(strPartFile, pszSigner);
}

// One header of the reply as text; false when the reply does not carry it.
bool QueryHeaderText(HINTERNET hUrl, DWORD dwInfoLevel, CString* pstrText)
{
    char buffer[260];
    std::memset(buffer, 0, sizeof buffer);
    DWORD cb = sizeof buffer;
    if (!::HttpQueryInfoA(hUrl, dwInfoLevel, buffer, &cb, nullptr))
        return false;
    // The count excludes the terminator; keep within the buffer whatever it says.
    *pstrText = CString(buffer, cb < sizeof buffer ? int(cb) : int(sizeof buffer) - 1);
    return true;
}

void Notify(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (hWnd)
        ::SendMessageA(hWnd, message, wParam, lParam);
}

// Byte counts travel in lParam, which has 32 bits here; a reply beyond that (only ever
// one longer than declared) shows as the largest count.
LPARAM CountParam(uint64_t nWritten)
{
    return LPARAM(nWritten > 0xFFFFFFFFu ? 0xFFFFFFFFu : DWORD(nWritten));
}

}  // namespace

CHttpDownloader::CHttpDownloader() : m_hInternet(nullptr), m_dwDeclaredSize(0) {}

CHttpDownloader::~CHttpDownloader()
{
    CloseHandles();
}

bool CHttpDownloader::Download(const CString& strUrl, const CString& strLocalPath, HWND hNotifyWnd)
{
    bool bResult = false;
    if (OpenInternet()) {
        bResult = OpenUrl(hNotifyWnd, strUrl);
        if (bResult) {
            bResult = ReceiveToFile(hNotifyWnd, strLocalPath);
            if (bResult)
                m_url.Close();
        }
    }
    CloseHandles();
    return bResult;
}

bool CHttpDownloader::OpenInternet()
{
    for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
        if (attempt > 0)
            ::Sleep(kOpenRetryPauseMs);
        m_hInternet = ::InternetOpenA("HTTP", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
        if (m_hInternet) {
            SetSilenceBound(m_hInternet, kDownloadSilenceMs);
            return true;
        }
    }
    return false;
}

bool CHttpDownloader::OpenUrl(HWND hNotifyWnd, const CString& strUrl)
{
    m_dwDeclaredSize = 0;
    if (!m_url.Open(m_hInternet, strUrl, nullptr, 0, INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE,
                    kDownloadSilenceMs))
        return false;

    CString strStatus;
    if (!QueryHeaderText(m_url.get(), HTTP_QUERY_STATUS_CODE, &strStatus) || strStatus != "200")
        return false;
    CString strLength;
    if (!QueryHeaderText(m_url.get(), HTTP_QUERY_CONTENT_LENGTH, &strLength))
        return false;
    uint32_t dwSize = 0;
    if (!ParseDeclaredSize(strLength, &dwSize))
        return false;
    m_dwDeclaredSize = dwSize;

    Notify(hNotifyWnd, WM_DOWNLOAD_SIZE, WPARAM(m_dwDeclaredSize), 0);
    return true;
}

bool CHttpDownloader::ReceiveToFile(HWND hNotifyWnd, const CString& strLocalPath)
{
    CDownloadProgress progress(m_dwDeclaredSize, ::GetTickCount());
    Notify(hNotifyWnd, WM_DOWNLOAD_PROGRESS, 0, 0);

    m_strTargetPath = strLocalPath;
    if (!CanReplace(m_strTargetPath))
        return false;
    PartFile file(m_strTargetPath);
    if (!file.IsOpen())
        return false;

    uint64_t nWritten = 0;
    for (;;) {
        // Read exactly what the connection has ready. A failed query (the server went
        // silent for longer than the bound, or the connection broke) ends the body as a
        // read of nothing would; the byte count then tells whether it was complete.
        DWORD dwAvailable = 0;
        if (!::InternetQueryDataAvailable(m_url.get(), &dwAvailable, 0, 0) || dwAvailable == 0)
            break;
        std::unique_ptr<BYTE[]> buffer(new (std::nothrow) BYTE[dwAvailable]);
        if (!buffer)
            break;
        DWORD dwRead = 0;
        if (!::InternetReadFile(m_url.get(), buffer.get(), dwAvailable, &dwRead) || dwRead == 0)
            break;

        DWORD dwWritten = 0;
        if (!::WriteFile(file.get(), buffer.get(), dwRead, &dwWritten, nullptr))
            break;
        nWritten += dwWritten;
        if (nWritten > 0) {
            if (progress.UpdatePercent(nWritten))
                Notify(hNotifyWnd, WM_DOWNLOAD_PROGRESS, WPARAM(progress.LastPercent()), CountParam(nWritten));
            if (progress.UpdateTimeMark(::GetTickCount()))
                Notify(hNotifyWnd, WM_DOWNLOAD_PROGRESS, WPARAM(progress.LastPercent()), CountParam(nWritten));
        }
        // A reply that runs past its declared size has failed already; reading on would
        // only let a server that never stops fill the disk.
        if (nWritten > m_dwDeclaredSize)
            break;
    }

    Notify(hNotifyWnd, WM_DOWNLOAD_PROGRESS, WPARAM(progress.LastPercent()), CountParam(nWritten));
    const bool bFinished = file.Finish();
    return nWritten == m_dwDeclaredSize && bFinished && IsAcceptedProgram(m_strTargetPath, file.Path()) &&
           file.ReplaceTarget();
}

void CHttpDownloader::CloseHandles()
{
    m_url.Close();
    if (m_hInternet) {
        ::InternetCloseHandle(m_hInternet);
        m_hInternet = nullptr;
    }
}
