#include "DownloadRetry.h"

#include "DownloadProgress.h"

namespace {

const uint32_t kPausesMs[kMaxDownloadTries - 1] = {1000, 3000};
const int kMaxSilentTries = 2;

bool IsBlank(char ch)
{
    return ch == ' ' || ch == '\t';
}

bool IsPrintableAscii(const CString& text)
{
    for (int i = 0; i < text.GetLength(); ++i) {
        const unsigned char ch = static_cast<unsigned char>(text[i]);
        if (ch < 0x20 || ch > 0x7E)
            return false;
    }
    return true;
}

}  // namespace

bool IsPassingStatus(int status)
{
    switch (status) {
    case 408: case 429: case 500: case 502: case 503: case 504: return true;
    default: return false;
    }
}

bool ParseRetryAfter(const char* pszText, uint32_t* pSeconds)
{
    const char* p = pszText ? pszText : "";
    while (IsBlank(*p))
        ++p;
    uint64_t value = 0;
    if (!ReadDecimal(p, 0xFFFFFFFFu, &value))
        return false;
    while (IsBlank(*p))
        ++p;
    if (*p != '\0')
        return false;
    *pSeconds = uint32_t(value);
    return true;
}

bool CRetrySchedule::NextTry(TryOutcome outcome, int64_t retryAfterSeconds, uint32_t* pPauseMs)
{
    switch (outcome) {
    case TryOutcome::NoConnection:
    case TryOutcome::CutShort:
    case TryOutcome::PassingStatus:
        break;
    case TryOutcome::Silence:
        if (++m_nSilentTries >= kMaxSilentTries)
            return false;
        break;
    default:
        return false;
    }
    if (m_nTries >= kMaxDownloadTries)
        return false;
    *pPauseMs = kPausesMs[m_nTries - 1];
    if (retryAfterSeconds >= 0 && retryAfterSeconds <= int64_t(kMaxRetryAfterSeconds))
        *pPauseMs = uint32_t(retryAfterSeconds) * 1000;
    ++m_nTries;
    return true;
}

CString ResumeValidator(const CString& acceptRanges, const CString& eTag, const CString& lastModified)
{
    CString units = acceptRanges;
    units.Trim();
    units.MakeLower();
    if (units != "bytes")
        return CString();
    // A weak ETag ("W/...") may not stand in an If-Range; the date may.
    const bool strongTag = eTag.GetLength() >= 2 && eTag[0] == '"' && eTag[eTag.GetLength() - 1] == '"';
    const CString& validator = strongTag ? eTag : lastModified;
    return IsPrintableAscii(validator) ? validator : CString();
}

CString ResumeHeaders(const ResumePoint& point)
{
    CString headers;
    headers.Format("Range: bytes=%llu-\r\nIf-Range: %s\r\n", static_cast<unsigned long long>(point.offset),
                   point.validator.GetString());
    return headers;
}

bool ContinuesFrom(const ResumePoint& point, const CString& contentRange, uint32_t rangeLength)
{
    const char* p = contentRange;
    while (IsBlank(*p))
        ++p;
    const char kUnit[] = "bytes ";
    for (const char* u = kUnit; *u; ++u, ++p) {
        if (*p != *u)
            return false;
    }
    uint64_t first = 0, last = 0, total = 0;
    if (!ReadDecimal(p, 0xFFFFFFFFu, &first) || *p++ != '-' || !ReadDecimal(p, 0xFFFFFFFFu, &last) || *p++ != '/' ||
        !ReadDecimal(p, 0xFFFFFFFFu, &total))
        return false;
    while (IsBlank(*p))
        ++p;
    return *p == '\0' && total == point.total && first == point.offset && last + 1 == total &&
           uint64_t(rangeLength) == total - first;
}

bool IsPartFileName(const CString& name)
{
    CString lower = name;
    lower.MakeLower();
    const int digits = lower.GetLength() - 3 - 4;
    if (digits < 1 || digits > 4 || lower.Left(3) != kPartFilePrefix || lower.Mid(3 + digits) != ".tmp")
        return false;
    for (int i = 3; i < 3 + digits; ++i) {
        const char ch = lower[i];
        if (!((ch >= '0' && ch <= '9') || (ch >= 'a' && ch <= 'f')))
            return false;
    }
    return true;
}
