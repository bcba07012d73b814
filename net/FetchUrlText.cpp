#include "FetchUrlText.h"

#include "InternetHandle.h"
#include "ReplyReader.h"
#include "UrlRules.h"

int FetchUrlText(const CString& url, CString& text)
{
    text.Empty();
    const CString target = NormaliseFetchUrl(url);
    if (!IsPlainHttpUrl(target))
        return 1;

    InternetHandle root(::InternetOpenA("Mozilla", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!root)
        return 0;
    // The Accept line is passed with a stated length of 0, so WinInet's own "Accept: */*"
    // is the one that goes out (measured, the line would be sent twice).
    const DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_EXISTING_CONNECT | INTERNET_FLAG_NO_CACHE_WRITE |
                        INTERNET_FLAG_TRANSFER_BINARY;
    InternetHandle request(::InternetOpenUrlA(root.get(), target, "Accept: */*\r\n", 0, flags, 0));
    if (!request)
        return 1;

    text = ReadTextBody(
        [&request]() -> uint32_t {
            DWORD available = 0;
            if (!::InternetQueryDataAvailable(request.get(), &available, 0, 0))
                return 0;
            return available;
        },
        [&request](char* buffer, uint32_t wanted, uint32_t& read) {
            DWORD n = 0;
            const BOOL ok = ::InternetReadFile(request.get(), buffer, wanted, &n);
            read = n;
            return ok != FALSE;
        });
    return 1;
}
