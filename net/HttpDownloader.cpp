#include "HttpDownloader.h"

#include <cstring>
#include <memory>
#include <new>

#include "DownloadProgress.h"
#include "PartFile.h"
#include "PublisherHosts.h"
#include "SetupLog.h"
#include "SignatureCheck.h"
#include "UrlRules.h"

namespace {

// InternetOpenA only fails when the system's network layer is missing or broken; a few
// spaced attempts ride out a passing failure without hanging the install on a dead one.
const int kOpenAttempts = 5;
const DWORD kOpenRetryPauseMs = 200;

// A setup killed mid-download leaves its part file behind, and nothing else would ever
// remove it. Only files of the part files' own name pattern go, and only those last
// written before this run started: none of this run's own.
void RemoveStalePartFiles(const CString& folder)
{
    FILETIME started, exited, kernel, user;
    if (!::GetProcessTimes(::GetCurrentProcess(), &started, &exited, &kernel, &user))
        return;
    WIN32_FIND_DATAA found;
    const HANDLE hFind = ::FindFirstFileA(folder + kPartFilePrefix + "*", &found);
    if (hFind == INVALID_HANDLE_VALUE)
        return;
    do {
        if (!(found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) &&
            IsPartFileName(found.cFileName) && ::CompareFileTime(&found.ftLastWriteTime, &started) < 0)
            ::DeleteFileA(folder + found.cFileName);
    } while (::FindNextFileA(hFind, &found));
    ::FindClose(hFind);
}

// An earlier file at the target that no rename can replace (a folder, a read-only file)
// fails the download before anything is received. One that is in use is waited for
// once the new file is whole.
bool IsReplaceable(const CString& strTarget)
{
    const DWORD attributes = ::GetFileAttributesA(strTarget);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return true;   // nothing there yet; a missing folder fails the part file
    return !(attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY));
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

const char* OutcomeText(TryOutcome outcome)
{
    switch (outcome) {
    case TryOutcome::Arrived: return "arrived whole";
    case TryOutcome::NoConnection: return "no connection";
    case TryOutcome::CutShort: return "cut short";
    case TryOutcome::PassingStatus: return "a passing failure of the server";
    case TryOutcome::Silence: return "the server went silent";
    case TryOutcome::Failed: break;
    }
    return "failed";
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

CHttpDownloader::CHttpDownloader() : m_hInternet(nullptr) {}

CHttpDownloader::~CHttpDownloader()
{
    CloseHandles();
}

bool CHttpDownloader::Download(const CString& strUrl, const CString& strLocalPath, HWND hNotifyWnd)
{
    return Run(strUrl, strLocalPath, hNotifyWnd, IsProgramFileName(strLocalPath), nullptr);
}

bool CHttpDownloader::DownloadProgram(const CString& strUrl, const CString& strLocalPath, HWND hNotifyWnd,
                                      KernelHandle* pKept)
{
    pKept->Close();
    return Run(strUrl, strLocalPath, hNotifyWnd, true, pKept);
}

bool CHttpDownloader::Run(const CString& strUrl, const CString& strLocalPath, HWND hNotifyWnd, bool bProgram,
                          KernelHandle* pKept)
{
    m_strTargetPath = strLocalPath;
    m_bProgram = bProgram;
    m_pKept = pKept;
    m_strFailure.Empty();
    m_resume = ResumePoint();
    bool bResult = false;
    if (OpenInternet()) {
        RemoveStalePartFiles(FolderOf(m_strTargetPath));
        CRetrySchedule schedule;
        for (;;) {
            TryOutcome outcome = TryOutcome::Failed;
            int64_t retryAfter = -1;
            uint64_t received = 0;
            if (OpenUrl(hNotifyWnd, strUrl, &outcome, &retryAfter)) {
                const uint64_t from = m_resume.offset;
                outcome = ReceiveToFile(hNotifyWnd);
                received = m_resume.offset - from;
            }
            const bool told = outcome == TryOutcome::Failed && !m_strFailure.IsEmpty();
            LogRequest(strUrl, ReplyStatus(m_url.get()), received, told ? m_strFailure.GetString() : OutcomeText(outcome));
            m_url.Close();
            uint32_t pauseMs = 0;
            if (outcome == TryOutcome::Arrived || !schedule.NextTry(outcome, retryAfter, &pauseMs)) {
                bResult = outcome == TryOutcome::Arrived;
                break;
            }
            SetupLog::Write("  tried again in %lu ms%s", static_cast<unsigned long>(pauseMs),
                            m_resume.CanResume() ? ", for the rest of the file" : "");
            ::Sleep(pauseMs);
        }
    }
    m_part.reset();
    m_pKept = nullptr;
    CloseHandles();
    if (bResult)
        m_strFailure.Empty();
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

bool CHttpDownloader::OpenUrl(HWND hNotifyWnd, const CString& strUrl, TryOutcome* pFailure, int64_t* pRetryAfter)
{
    *pFailure = TryOutcome::Failed;
    const bool resuming = m_resume.CanResume();
    const CString headers = resuming ? ResumeHeaders(m_resume) : CString();
    if (!m_url.Open(m_hInternet, strUrl, resuming ? headers.GetString() : nullptr, DWORD(headers.GetLength()),
                    INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, kDownloadSilenceMs)) {
        if (FailedOnSilence())
            *pFailure = TryOutcome::Silence;
        else if (FailedOnBrokenConnection())
            *pFailure = TryOutcome::NoConnection;
        return false;
    }

    const DWORD status = ReplyStatus(m_url.get());
    const bool continued = resuming && status == 206;
    if (status != 200 && !continued) {
        if (IsPassingStatus(int(status))) {
            *pFailure = TryOutcome::PassingStatus;
            CString strWait;
            uint32_t seconds = 0;
            if (QueryHeaderText(m_url.get(), HTTP_QUERY_RETRY_AFTER, &strWait) && ParseRetryAfter(strWait, &seconds))
                *pRetryAfter = seconds;
        }
        return false;
    }
    CString strLength;
    uint32_t dwSize = 0;
    if (!QueryHeaderText(m_url.get(), HTTP_QUERY_CONTENT_LENGTH, &strLength) || !ParseDeclaredSize(strLength, &dwSize))
        return false;
    ReplyValidators validators;
    QueryHeaderText(m_url.get(), HTTP_QUERY_ETAG, &validators.eTag);
    QueryHeaderText(m_url.get(), HTTP_QUERY_LAST_MODIFIED, &validators.lastModified);
    if (continued) {
        CString strRange;
        if (!QueryHeaderText(m_url.get(), HTTP_QUERY_CONTENT_RANGE, &strRange) ||
            !ContinuesFrom(m_resume, strRange, dwSize) || !KeepsValidator(m_resume, validators)) {
            // Not the rest of this version of the file: the next try starts it over.
            SetupLog::Write("  the rest came from another version of the file (ETag \"%s\", Last-Modified \"%s\"), "
                            "not joined to the part received",
                            validators.eTag.GetString(), validators.lastModified.GetString());
            m_resume = ResumePoint();
            *pFailure = TryOutcome::CutShort;
            return false;
        }
    } else {
        // The whole file, from its first byte, whatever this try asked for.
        QueryHeaderText(m_url.get(), HTTP_QUERY_ACCEPT_RANGES, &validators.acceptRanges);
        QueryHeaderText(m_url.get(), HTTP_QUERY_DATE, &validators.date);
        m_resume.offset = 0;
        m_resume.total = dwSize;
        m_resume.validator = ResumeValidator(validators);
    }

    Notify(hNotifyWnd, WM_DOWNLOAD_SIZE, WPARAM(m_resume.total), 0);
    return true;
}

TryOutcome CHttpDownloader::ReceiveToFile(HWND hNotifyWnd)
{
    const uint64_t nStart = m_resume.offset;   // 0 unless this try continues a cut body
    CDownloadProgress progress(m_resume.total, ::GetTickCount(), nStart);
    Notify(hNotifyWnd, WM_DOWNLOAD_PROGRESS, WPARAM(progress.LastPercent()), CountParam(nStart));

    if (!IsReplaceable(m_strTargetPath))
        return Failed("the earlier file cannot be replaced");
    if (!m_part)
        m_part.reset(new (std::nothrow) CPartFile(m_strTargetPath));
    if (!m_part)
        return Failed("out of memory");
    if (!m_part->IsOpen() || !m_part->KeepFirst(nStart))
        return Failed(m_part->Failure());

    uint64_t nWritten = nStart;
    TryOutcome ended = TryOutcome::CutShort;   // how the body ended, should it end short
    for (;;) {
        // Read exactly what the connection has ready. A failed query (the server went
        // silent for longer than the bound, or the connection broke) ends the body as a
        // read of nothing would; the byte count then tells whether it was complete.
        DWORD dwAvailable = 0;
        if (!::InternetQueryDataAvailable(m_url.get(), &dwAvailable, 0, 0)) {
            if (FailedOnSilence())
                ended = TryOutcome::Silence;
            break;
        }
        if (dwAvailable == 0)
            break;
        std::unique_ptr<BYTE[]> buffer(new (std::nothrow) BYTE[dwAvailable]);
        if (!buffer) {
            ended = TryOutcome::Failed;
            break;
        }
        DWORD dwRead = 0;
        if (!::InternetReadFile(m_url.get(), buffer.get(), dwAvailable, &dwRead)) {
            if (FailedOnSilence())
                ended = TryOutcome::Silence;
            break;
        }
        if (dwRead == 0)
            break;

        if (!m_part->Write(buffer.get(), dwRead)) {
            ended = Failed(m_part->Failure());
            break;
        }
        nWritten += dwRead;
        if (nWritten > 0) {
            if (progress.UpdatePercent(nWritten))
                Notify(hNotifyWnd, WM_DOWNLOAD_PROGRESS, WPARAM(progress.LastPercent()), CountParam(nWritten));
            if (progress.UpdateTimeMark(::GetTickCount()))
                Notify(hNotifyWnd, WM_DOWNLOAD_PROGRESS, WPARAM(progress.LastPercent()), CountParam(nWritten));
        }
        // A reply that runs past its declared size has failed already; reading on would
        // only let a server that never stops fill the disk.
        if (nWritten > m_resume.total) {
            ended = TryOutcome::Failed;
            break;
        }
    }

    Notify(hNotifyWnd, WM_DOWNLOAD_PROGRESS, WPARAM(progress.LastPercent()), CountParam(nWritten));
    m_resume.offset = nWritten;
    if (nWritten != m_resume.total)
        return ended;
    return FinishFile();
}

TryOutcome CHttpDownloader::FinishFile()
{
    // An earlier file is replaced only by one that is on disk: a crash right after the
    // rename cannot leave it empty. A new file has nothing to protect and skips the cost.
    const bool replacing = ::GetFileAttributesA(m_strTargetPath) != INVALID_FILE_ATTRIBUTES;
    if (replacing && !m_part->Flush())
        return Failed(m_part->Failure());
    // A captive portal answers every address with its login page, and an error page may
    // come with "200": neither may take a program's place or be started.
    if (m_bProgram && !m_part->IsProgram(m_resume.total))
        return Failed(m_part->Failure());
    // In a build that names a signer, a program counts as downloaded only when the
    // publisher signed it; the file checked is the one this handle keeps from changing.
    const wchar_t* pszSigner = MELVORA_DOWNLOAD_SIGNER;
    if (m_bProgram && *pszSigner && !IsSignedBy(m_part->Path(), m_part->get(), pszSigner))
        return Failed("not signed by the publisher");
    if (!m_part->ReplaceTarget() || (m_pKept && !m_part->KeepForStart(m_pKept)))
        return Failed(m_part->Failure());
    return TryOutcome::Arrived;
}

TryOutcome CHttpDownloader::Failed(const CString& strWhy)
{
    m_strFailure = strWhy;
    return TryOutcome::Failed;
}

void CHttpDownloader::CloseHandles()
{
    m_url.Close();
    if (m_hInternet) {
        ::InternetCloseHandle(m_hInternet);
        m_hInternet = nullptr;
    }
}
