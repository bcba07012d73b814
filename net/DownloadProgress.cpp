#include "DownloadProgress.h"

namespace {

const uint32_t kTimeMarkMs = 1000;
const uint32_t kMaxPercent = 0x7FFFFFFF;

}  // namespace

bool ParseDeclaredSize(const char* pszText, uint32_t* pdwSize)
{
    const char* p = pszText ? pszText : "";
    while (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n' || *p == '\v' || *p == '\f')
        ++p;
    uint64_t value = 0;
    if (!ReadDecimal(p, 0xFFFFFFFFu, &value) || *p != '\0')
        return false;
    *pdwSize = uint32_t(value);
    return true;
}

bool ReadDecimal(const char*& p, uint64_t limit, uint64_t* pValue)
{
    if (*p < '0' || *p > '9')
        return false;
    uint64_t value = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        value = value * 10 + uint64_t(*p - '0');
        if (value > limit)
            return false;
    }
    *pValue = value;
    return true;
}

uint32_t DownloadPercent(uint64_t nWritten, uint32_t dwDeclaredSize)
{
    if (dwDeclaredSize == 0)
        return nWritten > 0 ? 100 : 0;
    const double percent = double(nWritten) * 100.0 / double(dwDeclaredSize);
    return percent >= double(kMaxPercent) ? kMaxPercent : uint32_t(percent);
}

CDownloadProgress::CDownloadProgress(uint32_t dwDeclaredSize, uint32_t dwStartTick, uint64_t nAlreadyWritten)
    : m_dwDeclaredSize(dwDeclaredSize), m_dwTimeMark(dwStartTick),
      m_nLastPercent(DownloadPercent(nAlreadyWritten, dwDeclaredSize))
{
}

bool CDownloadProgress::UpdatePercent(uint64_t nWritten)
{
    const uint32_t percent = DownloadPercent(nWritten, m_dwDeclaredSize);
    if (percent == m_nLastPercent)
        return false;
    m_nLastPercent = percent;
    return true;
}

bool CDownloadProgress::UpdateTimeMark(uint32_t dwNow)
{
    if (uint32_t(dwNow - m_dwTimeMark) <= kTimeMarkMs)
        return false;
    m_dwTimeMark = dwNow;
    return true;
}
