// Building PNG files chunk by chunk, for tests that hand the picture check or the decoder
// forms and faults the art itself never has.
#pragma once

#include <cstdint>
#include <string>

#include "framework/PngCheck.h"

namespace pngtest {

inline std::string BigEndian(uint32_t v)
{
    return {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
}

// One chunk: length, type, data and the CRC over type and data.
inline std::string Chunk(const std::string& type, const std::string& data)
{
    const std::string body = type + data;
    return BigEndian(uint32_t(data.size())) + body +
           BigEndian(PngCrc32(reinterpret_cast<const uint8_t*>(body.data()), body.size()));
}

}  // namespace pngtest
