// Whether a downloaded file is a Windows program at all: a captive portal's login page,
// an error page or any other reply that is not one must neither replace an installed
// program nor be started. No Windows here; the downloader reads the bytes.
#pragma once

#include <cstddef>
#include <cstdint>

// The bytes a program's header check reads first: the DOS header, whose last field is
// e_lfanew, the offset of the "PE\0\0" signature.
const size_t kDosHeaderSize = 64;

// Where the DOS header says the PE signature lies: the header (kDosHeaderSize bytes of a
// file of fileSize bytes) begins "MZ", and e_lfanew (32 bits, little-endian, at 0x3C)
// leaves room for the 4-byte signature inside the file. False for anything else.
bool PeSignatureOffset(const unsigned char* header, size_t headerSize, uint64_t fileSize, uint64_t* pOffset);

// Whether the 4 bytes at that offset are the signature "PE\0\0".
bool IsPeSignature(const unsigned char* bytes, size_t size);
