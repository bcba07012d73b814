#include "ProgramImage.h"

namespace {

const size_t kLfanewOffset = 0x3C;
const size_t kSignatureSize = 4;

}  // namespace

bool PeSignatureOffset(const unsigned char* header, size_t headerSize, uint64_t fileSize, uint64_t* pOffset)
{
    if (!header || headerSize < kDosHeaderSize || fileSize < kDosHeaderSize || header[0] != 'M' || header[1] != 'Z')
        return false;
    const uint64_t offset = uint64_t(header[kLfanewOffset]) | uint64_t(header[kLfanewOffset + 1]) << 8 |
                            uint64_t(header[kLfanewOffset + 2]) << 16 | uint64_t(header[kLfanewOffset + 3]) << 24;
    // The signature follows the DOS header; one inside it, or past the end, is no program's.
    if (offset < kDosHeaderSize || offset > fileSize - kSignatureSize)
        return false;
    *pOffset = offset;
    return true;
}

bool IsPeSignature(const unsigned char* bytes, size_t size)
{
    return bytes && size == kSignatureSize && bytes[0] == 'P' && bytes[1] == 'E' && bytes[2] == 0 && bytes[3] == 0;
}
