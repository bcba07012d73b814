// What a picture resource must be before the system's image decoder is given it: a PNG
// file whose chunks are all there, in order and unchanged (each one's checksum right),
// in one of the forms the program's art is made in. The decoder itself is the system's
// (PictureResource.h); this only keeps damaged or unexpected data away from it (Wine's
// decoder, for one, ignores wrong checksums and would paint what it read).
//
// Accepted: 8-bit colour (RGB), 8-bit grey, and palettes of 1 to 8 bits, not interlaced,
// without transparency (no alpha channel, no tRNS chunk), 1 to kMaxPngSide pixels each
// way. Ancillary chunks (gamma, text, times, sBIT, ...) may be there; only sBIT is read.
#pragma once

#include <cstddef>
#include <cstdint>

// The longest side a picture may have: the wizard is 500 pixels wide.
const uint32_t kMaxPngSide = 2048;

enum class PngFault {
    None,
    NotPng,            // no PNG signature
    Truncated,         // a chunk runs past the end, or the file ends before IEND
    BadChecksum,       // a chunk's CRC does not match its type and data
    BadChunk,          // a chunk type that is not four letters, or an unknown critical chunk
    BadOrder,          // IHDR not first, a chunk repeated or misplaced, IDAT chunks apart, data after IEND
    BadHeader,         // IHDR's fields are not a valid PNG header
    UnsupportedForm,   // valid PNG, but not a form above (16-bit, alpha, interlaced)
    TooLarge,          // a side longer than kMaxPngSide
    Transparency,      // a tRNS chunk
    BadPalette,        // a palette image without a fitting PLTE, or a PLTE where none may be
};

struct PngFacts {
    uint32_t width = 0;
    uint32_t height = 0;
    // The file says (sBIT) its colours have 5 significant bits each: the picture is a
    // 16-bit (5-5-5) one, and is decoded to that depth.
    bool fiveBitColour = false;
};

// Checks a whole PNG file in memory; PngFault::None, with *pFacts filled in, when it may be
// decoded.
PngFault CheckPng(const uint8_t* pData, size_t cbData, PngFacts* pFacts);

// A few words on the fault, for the setup's log.
const char* PngFaultText(PngFault fault);

// The CRC-32 of PNG (and zlib): polynomial 0xEDB88320, reflected, starting at ~0.
uint32_t PngCrc32(const uint8_t* pData, size_t cbData, uint32_t crc = 0);
