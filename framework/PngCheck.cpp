#include "PngCheck.h"

#include <array>
#include <cstring>

namespace {

const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
const size_t kChunkOverhead = 12;        // length, type, CRC
const uint32_t kMaxChunkLength = 0x7FFFFFFF;
const uint32_t kHeaderLength = 13;

// Colour types of IHDR.
const uint8_t kGrey = 0;
const uint8_t kRgb = 2;
const uint8_t kPalette = 3;
const uint8_t kGreyAlpha = 4;
const uint8_t kRgbAlpha = 6;

constexpr std::array<uint32_t, 256> MakeCrcTable()
{
    std::array<uint32_t, 256> table{};
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    return table;
}
constexpr std::array<uint32_t, 256> kCrcTable = MakeCrcTable();

uint32_t ReadBigEndian(const uint8_t* p)
{
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

bool IsLetter(uint8_t c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool IsType(const uint8_t* pType, const char* pszName)
{
    return std::memcmp(pType, pszName, 4) == 0;
}

// The bit depths the PNG format allows for a colour type (a set of bits 1, 2, 4, 8, 16).
bool IsValidDepth(uint8_t colourType, uint8_t depth)
{
    switch (colourType) {
    case kGrey: return depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
    case kPalette: return depth == 1 || depth == 2 || depth == 4 || depth == 8;
    case kRgb:
    case kGreyAlpha:
    case kRgbAlpha: return depth == 8 || depth == 16;
    default: return false;
    }
}

struct Reading {
    PngFacts facts;
    uint8_t colourType = 0;
    uint8_t depth = 0;
    bool seenHeader = false;
    bool seenPalette = false;
    bool seenEnd = false;
    bool inImageData = false;
    bool pastImageData = false;   // image data started, and a chunk of another type followed
};

PngFault ReadHeader(const uint8_t* pData, uint32_t cbData, Reading& r)
{
    if (cbData != kHeaderLength)
        return PngFault::BadHeader;
    const uint32_t width = ReadBigEndian(pData);
    const uint32_t height = ReadBigEndian(pData + 4);
    r.depth = pData[8];
    r.colourType = pData[9];
    const uint8_t compression = pData[10], filter = pData[11], interlace = pData[12];
    if (width == 0 || height == 0 || width > kMaxChunkLength || height > kMaxChunkLength ||
        !IsValidDepth(r.colourType, r.depth) || compression != 0 || filter != 0 || interlace > 1)
        return PngFault::BadHeader;
    if (r.colourType == kGreyAlpha || r.colourType == kRgbAlpha || r.depth == 16 || interlace != 0)
        return PngFault::UnsupportedForm;
    if (width > kMaxPngSide || height > kMaxPngSide)
        return PngFault::TooLarge;
    r.facts.width = width;
    r.facts.height = height;
    return PngFault::None;
}

PngFault ReadPalette(uint32_t cbData, Reading& r)
{
    if (r.seenPalette || r.inImageData || r.pastImageData)
        return PngFault::BadOrder;
    r.seenPalette = true;
    const uint32_t entries = cbData / 3;
    if (r.colourType == kGrey || cbData % 3 != 0 || entries == 0 || entries > 256 ||
        (r.colourType == kPalette && entries > (1u << r.depth)))
        return PngFault::BadPalette;
    return PngFault::None;
}

PngFault ReadSignificantBits(const uint8_t* pData, uint32_t cbData, Reading& r)
{
    if (r.seenPalette || r.inImageData || r.pastImageData)
        return PngFault::BadOrder;
    const uint32_t channels = r.colourType == kGrey ? 1 : 3;
    const uint8_t sampleDepth = r.colourType == kPalette ? 8 : r.depth;
    if (cbData != channels)
        return PngFault::BadChunk;
    for (uint32_t i = 0; i < channels; ++i) {
        if (pData[i] == 0 || pData[i] > sampleDepth)
            return PngFault::BadChunk;
    }
    r.facts.fiveBitColour = channels == 3 && pData[0] == 5 && pData[1] == 5 && pData[2] == 5;
    return PngFault::None;
}

PngFault ReadImageData(Reading& r)
{
    if (r.pastImageData)
        return PngFault::BadOrder;   // the image data must be one run of IDAT chunks
    if (r.colourType == kPalette && !r.seenPalette)
        return PngFault::BadPalette;
    r.inImageData = true;
    return PngFault::None;
}

// One chunk, its length and checksum already checked.
PngFault ReadChunk(const uint8_t* pType, const uint8_t* pData, uint32_t cbData, Reading& r)
{
    const bool isHeader = IsType(pType, "IHDR");
    if (isHeader != !r.seenHeader)
        return PngFault::BadOrder;   // IHDR first, and only once
    if (isHeader) {
        r.seenHeader = true;
        return ReadHeader(pData, cbData, r);
    }
    const bool isImageData = IsType(pType, "IDAT");
    if (r.inImageData && !isImageData) {
        r.inImageData = false;
        r.pastImageData = true;
    }
    if (isImageData)
        return ReadImageData(r);
    if (IsType(pType, "PLTE"))
        return ReadPalette(cbData, r);
    if (IsType(pType, "IEND")) {
        if (cbData != 0)
            return PngFault::BadChunk;
        if (!r.pastImageData)
            return PngFault::BadOrder;   // no image data at all
        r.seenEnd = true;
        return PngFault::None;
    }
    if (IsType(pType, "tRNS"))
        return PngFault::Transparency;
    if (IsType(pType, "sBIT"))
        return ReadSignificantBits(pData, cbData, r);
    // An unknown chunk: an ancillary one (lower-case first letter) may be skipped, a
    // critical one may not.
    return (pType[0] & 0x20) ? PngFault::None : PngFault::BadChunk;
}

}  // namespace

uint32_t PngCrc32(const uint8_t* pData, size_t cbData, uint32_t crc)
{
    crc = ~crc;
    for (size_t i = 0; i < cbData; ++i)
        crc = kCrcTable[(crc ^ pData[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

PngFault CheckPng(const uint8_t* pData, size_t cbData, PngFacts* pFacts)
{
    if (!pData || cbData < sizeof(kSignature) || std::memcmp(pData, kSignature, sizeof(kSignature)) != 0)
        return PngFault::NotPng;
    Reading r;
    size_t pos = sizeof(kSignature);
    while (pos < cbData) {
        if (r.seenEnd)
            return PngFault::BadOrder;   // nothing may follow IEND
        if (cbData - pos < kChunkOverhead)
            return PngFault::Truncated;
        const uint32_t length = ReadBigEndian(pData + pos);
        if (length > kMaxChunkLength || length > cbData - pos - kChunkOverhead)
            return PngFault::Truncated;
        const uint8_t* pType = pData + pos + 4;
        if (!IsLetter(pType[0]) || !IsLetter(pType[1]) || !IsLetter(pType[2]) || !IsLetter(pType[3]))
            return PngFault::BadChunk;
        if (PngCrc32(pType, size_t(length) + 4) != ReadBigEndian(pType + 4 + length))
            return PngFault::BadChecksum;
        const PngFault fault = ReadChunk(pType, pType + 4, length, r);
        if (fault != PngFault::None)
            return fault;
        pos += kChunkOverhead + length;
    }
    if (!r.seenEnd)
        return PngFault::Truncated;
    if (pFacts)
        *pFacts = r.facts;
    return PngFault::None;
}

const char* PngFaultText(PngFault fault)
{
    switch (fault) {
    case PngFault::None: return "a valid picture";
    case PngFault::NotPng: return "not a PNG file";
    case PngFault::Truncated: return "cut short";
    case PngFault::BadChecksum: return "a chunk whose checksum is wrong";
    case PngFault::BadChunk: return "a chunk the file may not have";
    case PngFault::BadOrder: return "chunks out of order";
    case PngFault::BadHeader: return "an invalid header";
    case PngFault::UnsupportedForm: return "16-bit, alpha or interlaced (not taken)";
    case PngFault::TooLarge: return "too large";
    case PngFault::Transparency: return "transparency (not taken)";
    case PngFault::BadPalette: return "a palette that does not fit";
    }
    return "unknown";
}
