// The arithmetic of a file download's progress messages: the declared size read from a
// Content-Length text, the whole percentage that is sent when it changes, and the
// one-second time marks that keep a slow transfer visibly alive. No Windows here; the
// downloader asks this class which messages to send after each read.
#pragma once

#include <cstdint>

// Reads a Content-Length value: optional leading blanks, then decimal digits and nothing
// else, within 32 bits. Anything else (a sign, no digit, trailing text, a larger number)
// is refused (false): a server's number is taken exactly or not at all.
bool ParseDeclaredSize(const char* pszText, uint32_t* pdwSize);

// The decimal digits at p as a number no larger than limit; p moves past them. False
// when there is no digit or the number is larger.
bool ReadDecimal(const char*& p, uint64_t limit, uint64_t* pValue);

// Whole percentage of the declared size that has been written, computed in double
// precision and truncated. A declared size of 0 that bytes exceed counts as 100 (all of
// nothing has arrived and then some; the download fails anyway). Clamped to INT32_MAX so
// a reply far longer than declared cannot overflow the message parameter.
uint32_t DownloadPercent(uint64_t nWritten, uint32_t dwDeclaredSize);

class CDownloadProgress {
public:
    // Starts a download, or a try that continues one nAlreadyWritten bytes into the file:
    // the percentage of those bytes, time mark at dwStartTick.
    CDownloadProgress(uint32_t dwDeclaredSize, uint32_t dwStartTick, uint64_t nAlreadyWritten = 0);

    // After a read that wrote bytes: true when the whole percentage changed, in which case
    // (LastPercent(), nWritten) is to be sent.
    bool UpdatePercent(uint64_t nWritten);
    // Then, with the tick count read after that: true when more than 1000 ms passed since
    // the last mark (the tick count wraps every 49.7 days, so the difference is taken in
    // 32 bits); the mark moves to dwNow and (LastPercent(), bytes written) is to be sent.
    bool UpdateTimeMark(uint32_t dwNow);

    uint32_t LastPercent() const { return m_nLastPercent; }

private:
    uint32_t m_dwDeclaredSize;
    uint32_t m_dwTimeMark;
    uint32_t m_nLastPercent;
};
