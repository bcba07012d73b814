#include "ReplyReader.h"

#include <vector>

#include "DownloadProgress.h"

namespace {

const uint32_t kTextBufferSize = 65000;   // one byte stays free for the terminating zero
const uint32_t kReplyPiece = 1024;
const int kMaxShortReads = 5;

}  // namespace

CString ReadTextBody(const ReplyAvailableFn& available, const ReplyReadFn& read)
{
    CString text;
    std::vector<char> buffer(kTextBufferSize, '\0');
    uint32_t total = 0;
    for (;;) {
        uint32_t wanted = available();
        if (wanted > kTextBufferSize - 1)
            wanted = kTextBufferSize - 1;
        uint32_t n = 0;
        if (!read(buffer.data(), wanted, n))
            n = 0;
        if (n > wanted)   // a reader that claims more than it was given room for
            n = wanted;
        buffer[n] = '\0';
        text.Append(buffer.data(), int(n));   // up to the first zero byte
        total += n;
        if (n == 0 || total >= kMaxReplyBytes)
            break;
    }
    return text;
}

CString ReadReply(const ReplyReadFn& read)
{
    CString reply;
    char buffer[kReplyPiece + 1] = {};
    int shortReads = 0;
    uint32_t total = 0;
    uint32_t n = 0;
    while (read(buffer, kReplyPiece, n)) {
        if (n > kReplyPiece)
            n = kReplyPiece;
        buffer[n] = '\0';
        reply.Append(buffer, int(n));   // up to the first zero byte
        total += n;
        if (n < kReplyPiece && ++shortReads > kMaxShortReads)
            break;
        if (total >= kMaxReplyBytes)
            break;
        n = 0;
    }
    return reply;
}

bool IsWholeReply(uint32_t status, const char* declaredLength, uint64_t received, bool readFailed)
{
    if (status != 200 || readFailed)
        return false;
    uint32_t declared = 0;
    return !declaredLength || (ParseDeclaredSize(declaredLength, &declared) && declared == received);
}
