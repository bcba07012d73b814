// The check that stands before the system's PNG decoder, on arbitrary bytes: it never reads
// outside them, and what it lets through has a header the decoder can be trusted with.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "framework/PngCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    PngFacts facts;
    if (CheckPng(data, size, &facts) != PngFault::None)
        return 0;
    if (facts.width == 0 || facts.height == 0 || facts.width > kMaxPngSide || facts.height > kMaxPngSide)
        std::abort();
    // Accepted files end with IEND and its checksum.
    if (size < 20 || data[size - 8] != 'I' || data[size - 7] != 'E' || data[size - 6] != 'N' || data[size - 5] != 'D')
        std::abort();
    return 0;
}
