// The text fetch's URL rules on arbitrary input: the normalised URL is trimmed, gets a
// scheme when it had no ":", is stable when normalised again, and whatever is judged
// plain http parses with a server.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "AfxParseURL.h"
#include "net/UrlRules.h"

namespace {

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

bool IsSpace(char ch)
{
    return ch == ' ' || ch == '\t' || ch == '\n' || ch == '\r' || ch == '\v' || ch == '\f';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CString url;
    url.Append(reinterpret_cast<const char*>(data), int(size));
    const CString normalised = NormaliseFetchUrl(url);

    Check(!normalised.IsEmpty());
    Check(!IsSpace(normalised[0]) && !IsSpace(normalised[normalised.GetLength() - 1]));
    Check(normalised.Find(':') >= 0);
    if (url.Find(':') < 0)
        Check(normalised.Find("http:") == 0);
    Check(NormaliseFetchUrl(normalised) == normalised);

    if (IsPlainHttpUrl(normalised)) {
        unsigned long service = 0;
        CString server, object;
        unsigned short port = 0;
        Check(AfxParseURL(normalised, service, server, object, port));
        Check(service == AFX_INET_SERVICE_HTTP && !server.IsEmpty() && port != 0 && object.Find('/') == 0);
    }
    return 0;
}
