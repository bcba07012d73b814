// Decodes the program's PNG pictures with the system's imaging component (WIC) into
// packed device-independent bitmaps: a BITMAPINFOHEADER and the rows, bottom-up, as a
// BITMAP resource holds them. WIC's factory is made through COM, which loads
// windowscodecs.dll from the system folder where it is registered; nothing of it is in
// the program's import table. Each file is checked (PngCheck.h) before WIC sees it.
#pragma once

#include <windows.h>

#include <vector>

#include "ComScope.h"
#include "PngCheck.h"

struct IWICImagingFactory;

class CPngDecoder {
public:
    // COM for the calling thread (unless it has it already) and the imaging factory, for
    // as long as the decoder lives. Decode on this thread only.
    CPngDecoder();
    ~CPngDecoder();
    CPngDecoder(const CPngDecoder&) = delete;
    CPngDecoder& operator=(const CPngDecoder&) = delete;

    // Whether WIC could be had at all.
    bool IsReady() const { return m_pFactory != nullptr; }

    // Checks and decodes one PNG file in memory into *pDib: 24 bits a pixel, or 16 (5-5-5)
    // for a picture whose sBIT chunk gives 5 bits per colour. False, with *pDib empty, when
    // the file is refused or the system cannot decode all of it; *pFault then says why
    // (PngFault::None: the decoder's own failure).
    bool Decode(const BYTE* pData, size_t cbData, std::vector<BYTE>* pDib, PngFault* pFault = nullptr);

private:
    ComScope m_com;
    IWICImagingFactory* m_pFactory = nullptr;
};

// The bitmap information at the start of a packed DIB that CPngDecoder made.
inline const BITMAPINFO* PackedDibInfo(const std::vector<BYTE>& dib)
{
    return dib.size() > sizeof(BITMAPINFOHEADER) ? reinterpret_cast<const BITMAPINFO*>(dib.data()) : nullptr;
}
// Its rows.
inline const BYTE* PackedDibBits(const std::vector<BYTE>& dib)
{
    return dib.size() > sizeof(BITMAPINFOHEADER) ? dib.data() + sizeof(BITMAPINFOHEADER) : nullptr;
}
