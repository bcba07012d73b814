#include "DownloadRetry.h"

#include <cstring>

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

bool IsStrongTag(const CString& tag)
{
    return tag.GetLength() >= 2 && tag[0] == '"' && tag[tag.GetLength() - 1] == '"';
}

// Exactly `count` decimal digits at p, nothing else.
bool FixedDigits(const char* p, int count, int* pValue)
{
    int value = 0;
    for (int i = 0; i < count; ++i) {
        if (p[i] < '0' || p[i] > '9')
            return false;
        value = value * 10 + (p[i] - '0');
    }
    *pValue = value;
    return true;
}

int DaysInMonth(int year, int month)
{
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}

// Days from 1970-01-01 to the date in the proleptic Gregorian calendar.
int64_t DaysSinceEpoch(int year, int month, int day)
{
    const int64_t y = month <= 2 ? year - 1 : year;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yearOfEra = y - era * 400;
    const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
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

CString ResumeValidator(const ReplyValidators& reply)
{
    CString units = reply.acceptRanges;
    units.Trim();
    units.MakeLower();
    if (units != "bytes")
        return CString();
    if (!reply.eTag.IsEmpty())
        return IsStrongTag(reply.eTag) && IsPrintableAscii(reply.eTag) ? reply.eTag : CString();
    int64_t modified = 0, answered = 0;
    if (!ParseHttpDate(reply.lastModified, &modified) || !ParseHttpDate(reply.date, &answered) ||
        answered - modified < kMinValidatorAgeSeconds)
        return CString();
    return reply.lastModified;
}

bool KeepsValidator(const ResumePoint& point, const ReplyValidators& partial)
{
    if (point.validator.IsEmpty())
        return false;
    if (IsStrongTag(point.validator))
        return partial.eTag == point.validator;
    return partial.eTag.IsEmpty() && partial.lastModified == point.validator;
}

bool ParseHttpDate(const CString& text, int64_t* pSeconds)
{
    // "Sun, 06 Nov 1994 08:49:37 GMT": exactly 29 characters in fixed places.
    static const char* const kDays[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const char* p = text;
    if (text.GetLength() != 29 || std::strcmp(p + 25, " GMT") != 0 || p[3] != ',' || p[4] != ' ' || p[7] != ' ' ||
        p[11] != ' ' || p[16] != ' ' || p[19] != ':' || p[22] != ':')
        return false;
    int weekday = -1, month = -1;
    for (int i = 0; i < 7; ++i)
        weekday = std::strncmp(p, kDays[i], 3) == 0 ? i : weekday;
    for (int i = 0; i < 12; ++i)
        month = std::strncmp(p + 8, kMonths[i], 3) == 0 ? i + 1 : month;
    int day = 0, year = 0, hour = 0, minute = 0, second = 0;
    if (weekday < 0 || month < 0 || !FixedDigits(p + 5, 2, &day) || !FixedDigits(p + 12, 4, &year) ||
        !FixedDigits(p + 17, 2, &hour) || !FixedDigits(p + 20, 2, &minute) || !FixedDigits(p + 23, 2, &second))
        return false;
    if (day < 1 || day > DaysInMonth(year, month) || hour > 23 || minute > 59 || second > 60)
        return false;
    const int64_t days = DaysSinceEpoch(year, month, day);
    // 1970-01-01 was a Thursday; a date whose weekday disagrees is not a date.
    if (((days % 7) + 7 + 3) % 7 != weekday)
        return false;
    *pSeconds = days * 86400 + hour * 3600 + minute * 60 + second;
    return true;
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
