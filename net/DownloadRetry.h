// When a file download is tried again, after what pause, and how a try after a cut body
// asks for only the rest. No Windows here: the downloader tells the schedule how each
// try ended and asks it what comes next.
#pragma once

#include <cstdint>

#include "CString.h"

// One file is tried at most this often in all.
const int kMaxDownloadTries = 3;
// The longest Retry-After a server may ask for and be waited for.
const uint32_t kMaxRetryAfterSeconds = 30;

// How one try of a download ended.
enum class TryOutcome {
    Arrived,        // the whole file, written and checked
    NoConnection,   // refused or reset before a reply came
    CutShort,       // the body ended or broke before its declared length
    PassingStatus,  // 408, 429, 500, 502, 503 or 504
    Silence,        // nothing for longer than the silence bound
    Failed,         // anything else: another status, a bad Content-Length, a file that
                    // failed its check, a target that cannot be replaced, a failed write
};

// The statuses a server gives while it is busy or restarting: 408, 429, 500, 502, 503, 504.
bool IsPassingStatus(int status);

// A Retry-After value in seconds: optional blanks, then digits only. An HTTP date, or
// anything else, is no value (false).
bool ParseRetryAfter(const char* pszText, uint32_t* pSeconds);

class CRetrySchedule {
public:
    // After a try that ended so: true when another try follows, after *pPauseMs. The
    // pauses are about 1 s, then 3 s; a Retry-After of up to 30 s (retryAfterSeconds, or
    // a negative number for none) replaces the pause. A try that went silent is followed
    // by one more at most, so a dead server costs about two silence bounds per file.
    bool NextTry(TryOutcome outcome, int64_t retryAfterSeconds, uint32_t* pPauseMs);

private:
    int m_nTries = 1;
    int m_nSilentTries = 0;
};

// What a download remembers between its tries to resume a cut body.
struct ResumePoint {
    uint64_t offset = 0;   // bytes of the whole file already in the part file
    uint32_t total = 0;    // the whole file's size, as its first reply declared it
    CString validator;     // sent back as If-Range; empty: the reply cannot be resumed

    bool CanResume() const { return offset > 0 && offset < total && !validator.IsEmpty(); }
};

// The headers of a reply that say which version of the file it holds, as their texts
// (empty when the reply does not carry one).
struct ReplyValidators {
    CString acceptRanges;
    CString eTag;
    CString lastModified;
    CString date;
};

// A date names a version only when the file had stayed the same for this long by the time
// the server answered: a file changed twice within one second keeps its date.
const int64_t kMinValidatorAgeSeconds = 60;

// The If-Range validator a reply offers, empty unless it said "Accept-Ranges: bytes":
// its ETag when that is a strong one; none at all for a weak ETag (it may not stand in an
// If-Range, and a date may not stand in for a tag the server gave); without an ETag, its
// Last-Modified date when both it and the reply's Date read as HTTP dates and it lies at
// least kMinValidatorAgeSeconds before the Date. Empty for a value that holds anything
// but printable ASCII (it goes back into a request line).
CString ResumeValidator(const ReplyValidators& reply);

// Whether a 206 reply is the version that the resumed request named: the same strong
// ETag; or, resumed on a date, no ETag and the same Last-Modified. Anything else may be a
// newer file, whose rest must not be joined to the older one's start.
bool KeepsValidator(const ResumePoint& point, const ReplyValidators& partial);

// An HTTP date in its current form (IMF-fixdate: "Sun, 06 Nov 1994 08:49:37 GMT") as
// seconds since 1970; false for anything else, the obsolete forms included.
bool ParseHttpDate(const CString& text, int64_t* pSeconds);

// The request headers of a resumed try: "Range: bytes=<offset>-" and "If-Range: <validator>".
CString ResumeHeaders(const ResumePoint& point);

// Whether a 206 reply continues the file where the part file ends: its Content-Range is
// "bytes <offset>-<total - 1>/<total>" with the total of the first reply, and its
// Content-Length (rangeLength) is exactly the rest.
bool ContinuesFrom(const ResumePoint& point, const CString& contentRange, uint32_t rangeLength);

// An earlier file that is in use when the finished download is to replace it (a scanner
// reading a new program, a DLL open in another process) is tried again in steps of
// kReplaceRetryStepMs for up to kReplaceRetryMs before the download fails.
const uint32_t kReplaceRetryMs = 10000;
const uint32_t kReplaceRetryStepMs = 250;

// A download's body goes to a part file beside its target, named by GetTempFileNameA
// with this prefix: "mlv", one to four hexadecimal digits, ".tmp".
const char kPartFilePrefix[] = "mlv";
// Whether a file name (without folder) is of that pattern, in any case: such a file that
// is older than this run was left by a setup that was killed mid-download.
bool IsPartFileName(const CString& name);
