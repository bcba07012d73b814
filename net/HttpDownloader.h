// Fetches one file over HTTP into one local path and reports its progress to a window
// with synchronous messages. A local of the install thread; one object serves any number
// of downloads one after the other and holds no handle between them.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <memory>

#include "CString.h"
#include "DownloadRetry.h"
#include "KernelHandle.h"
#include "UrlRequest.h"

class CPartFile;

// Sent once a reply has passed its tests, in every try: wParam = the whole file's declared
// size in bytes (also when the try fetches only its rest), lParam = 0.
const UINT WM_DOWNLOAD_SIZE = WM_USER + 1002;
// Sent as receiving begins (0, 0), when the whole percentage changes, about once a second
// while bytes flow, and once at the end: wParam = percentage, lParam = bytes written.
// A try that continues a cut body begins with the percentage and bytes it starts from:
// within a try the bar never runs backwards.
const UINT WM_DOWNLOAD_PROGRESS = WM_USER + 1003;

class CHttpDownloader {
public:
    CHttpDownloader();
    ~CHttpDownloader();
    CHttpDownloader(const CHttpDownloader&) = delete;
    CHttpDownloader& operator=(const CHttpDownloader&) = delete;

    // GETs the http URL (https in a build for https; unchanged, redirects followed, no
    // cache) and writes its body to strLocalPath, whose folder must exist. True only when
    // the reply was "200" with a Content-Length and exactly that many bytes were written,
    // and, for a local name ending in .exe or .dll, the bytes are a Windows program ("MZ"
    // and its PE signature) and, in a build that names a signer, carry the signer's valid
    // signature. The body goes to a file of its own in the same folder, which replaces
    // strLocalPath in one step only when the download succeeded; otherwise it is removed
    // and an earlier file stays as it was. An earlier file in use is waited for up to
    // kReplaceRetryMs.
    // A passing failure (a refused or reset connection, a body cut short, a busy server's
    // status, silence) is tried again, up to kMaxDownloadTries in all (CRetrySchedule); a
    // try after a cut body asks only for the rest when the server allows it, and takes
    // that rest only from the same version of the file.
    // After kDownloadSilenceMs without progress a try fails.
    // Part files that a killed setup left in the folder are removed first.
    // hNotifyWnd receives the messages above, or nothing when null.
    bool Download(const CString& strUrl, const CString& strLocalPath, HWND hNotifyWnd);

    // The same for a program that is to be started, whatever its name: it must be a
    // Windows program (and carry the signature in a build that names a signer), and
    // *pKept receives a handle to the finished file that lets nobody write, delete or
    // rename it while it is held: start the program by its path, then close the handle.
    // strLocalPath must lie in a folder that only administrators can change.
    bool DownloadProgram(const CString& strUrl, const CString& strLocalPath, HWND hNotifyWnd, KernelHandle* pKept);

    // Why the last download failed, for the log ("not a program", "the disk is full",
    // ...); empty after a success, and for failures that the request's log line tells.
    const CString& FailureReason() const { return m_strFailure; }

private:
    bool Run(const CString& strUrl, const CString& strLocalPath, HWND hNotifyWnd, bool bProgram, KernelHandle* pKept);
    bool OpenInternet();
    // Sends one try's request and judges its reply; false with the try's outcome (and a
    // Retry-After, or -1) when the body is not to be read.
    bool OpenUrl(HWND hNotifyWnd, const CString& strUrl, TryOutcome* pFailure, int64_t* pRetryAfter);
    // Reads the body into the part file, from where the part file ends when the try
    // continues a cut one; the whole file then takes the target's place.
    TryOutcome ReceiveToFile(HWND hNotifyWnd);
    // The whole body is in the part file: checks it and puts it in the target's place.
    TryOutcome FinishFile();
    TryOutcome Failed(const CString& strWhy);
    void CloseHandles();

    HINTERNET m_hInternet;
    CUrlRequest m_url;
    CString m_strTargetPath;
    bool m_bProgram = false;          // the target must be a Windows program
    KernelHandle* m_pKept = nullptr;  // where a program to be started is kept
    CString m_strFailure;
    ResumePoint m_resume;
    std::unique_ptr<CPartFile> m_part;
};
