#include "HttpDownloader.h"

#include <cstring>
#include <memory>
#include <new>

#include "DownloadProgress.h"

namespace {

// InternetOpenA only fails when the system's network layer is missing or broken; a few
// spaced attempts ride out a passing failure without hanging the install on a dead one.
const int kOpenAttempts = 5;
const DWORD kOpenRetryPauseMs = 200;

// A file opened for writing, closed when it goes out of scope.
class WriteFileHandle {
public:
    explicit WriteFileHandle(const char* pszPath)
        : m_hFile(::CreateFileA(pszPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr))
    {
    }
    ~WriteFileHandle()
    {
        if (IsOpen())
            ::CloseHandle(m_hFile);
    }
    WriteFileHandle(const WriteFileHandle&) = delete;
    WriteFileHandle& operator=(const WriteFileHandle&) = delete;

    bool IsOpen() const { return m_hFile != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return m_hFile; }

private:
    HANDLE m_hFile;
};

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

CHttpDownloader::CHttpDownloader() : m_hInternet(nullptr), m_hUrl(nullptr), m_dwDeclaredSize(0) {}

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
            if (bResult) {
                ::InternetCloseHandle(m_hUrl);
                m_hUrl = nullptr;
            }
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
        if (m_hInternet)
            return true;
    }
    return false;
}

bool CHttpDownloader::OpenUrl(HWND hNotifyWnd, const CString& strUrl)
{
    m_dwDeclaredSize = 0;
    m_hUrl = ::InternetOpenUrlA(m_hInternet, strUrl, nullptr, 0, INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE,
                                0);
    if (!m_hUrl)
        return false;

    CString strStatus;
    if (!QueryHeaderText(m_hUrl, HTTP_QUERY_STATUS_CODE, &strStatus) || strStatus != "200")
        return false;
    CString strLength;
    if (!QueryHeaderText(m_hUrl, HTTP_QUERY_CONTENT_LENGTH, &strLength))
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
    WriteFileHandle file(m_strTargetPath);
    if (!file.IsOpen())
        return false;

    uint64_t nWritten = 0;
    for (;;) {
        // Read exactly what the connection has ready. A failed query ends the body as a
        // read of nothing would; the byte count then tells whether it was complete.
        DWORD dwAvailable = 0;
        if (!::InternetQueryDataAvailable(m_hUrl, &dwAvailable, 0, 0) || dwAvailable == 0)
            break;
        std::unique_ptr<BYTE[]> buffer(new (std::nothrow) BYTE[dwAvailable]);
        if (!buffer)
            break;
        DWORD dwRead = 0;
        if (!::InternetReadFile(m_hUrl, buffer.get(), dwAvailable, &dwRead) || dwRead == 0)
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
    return nWritten == m_dwDeclaredSize;
}

void CHttpDownloader::CloseHandles()
{
    if (m_hUrl) {
        ::InternetCloseHandle(m_hUrl);
        m_hUrl = nullptr;
    }
    if (m_hInternet) {
        ::InternetCloseHandle(m_hInternet);
        m_hInternet = nullptr;
    }
}
