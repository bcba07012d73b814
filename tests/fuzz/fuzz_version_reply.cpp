// The version reply reader on arbitrary server text: both versions are always pieces of
// the reply that hold no "|", and a reply without "|" serves whole as both. A usable
// version is never empty and holds neither a control character nor markup.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "install/ComponentList.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CString reply;
    reply.Append(reinterpret_cast<const char*>(data), int(size));
    CString player = "unset";
    CString updater = "unset";
    ParseVersionReply(reply, player, updater);

    if (player.Find('|') >= 0 || updater.Find('|') >= 0 || reply.Find(player) < 0 || reply.Find(updater) < 0)
        std::abort();
    if (reply.Find('|') < 0 && (player != reply || updater != reply))
        std::abort();
    if (IsUsableVersion(player) &&
        (player.IsEmpty() || HasControlCharacter(player) || player.Find('<') >= 0 || player.Find('>') >= 0))
        std::abort();
    return 0;
}
