#include "FetchUrlText.h"

#include "BuildScheme.h"
#include "InternetHandle.h"
#include "ReplyReader.h"
#include "UrlRequest.h"
#include "UrlRules.h"

int FetchUrlText(const CString& url, CString& text, unsigned long* pStatus)
{
    text.Empty();
    if (pStatus)
        *pStatus = 0;
    const CString target = NormaliseFetchUrl(url, kBuildScheme);
    if (!IsFetchableUrl(target, kBuildScheme))
        return 1;

    InternetHandle root(::InternetOpenA("Mozilla", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!root)
        return 0;
    SetSilenceBound(root.get(), kTextFetchSilenceMs);
    // The Accept line is passed with a stated length of 0, so WinInet's own "Accept: */*"
    // is the one that goes out (measured, the line would be sent twice).
    const DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_EXISTING_CONNECT | INTERNET_FLAG_NO_CACHE_WRITE |
                        INTERNET_FLAG_TRANSFER_BINARY;
    CUrlRequest request;
    if (!request.Open(root.get(), target, "Accept: */*\r\n", 0, flags, kTextFetchSilenceMs)) {
        LogRequest(target, 0, 0);
        return 1;
    }

    // A body that stalls for longer than the bound fails the fetch as a refused
    // connection does: a part of a component list is no list.
    bool silent = false;
    text = ReadTextBody(
        [&request, &silent]() -> uint32_t {
            DWORD available = 0;
            if (!::InternetQueryDataAvailable(request.get(), &available, 0, 0)) {
                silent = silent || FailedOnSilence();
                return 0;
            }
            return available;
        },
        [&request, &silent](char* buffer, uint32_t wanted, uint32_t& read) {
            DWORD n = 0;
            const BOOL ok = ::InternetReadFile(request.get(), buffer, wanted, &n);
            if (!ok)
                silent = silent || FailedOnSilence();
            read = n;
            return ok != FALSE;
        });
    if (silent)
        text.Empty();
    const DWORD status = ReplyStatus(request.get());
    if (pStatus)
        *pStatus = status;
    LogRequest(target, status, text.GetLength());
    return 1;
}
