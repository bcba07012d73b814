// Decodes the program's PNG pictures with the system's imaging component (WIC) into
// packed device-independent bitmaps: a BITMAPINFOHEADER and the rows, bottom-up, as a
// BITMAP resource holds them. Each file is checked (PngCheck.h) before WIC sees it.
//
// windowscodecs.dll is not a KnownDLL: it is loaded from the system folder
// (LoadSystemLibrary), never named in the import table, and its imaging factory and PNG
// decoder are taken from it through its DllGetClassObject, not through COM's registry.
// So it goes again when the decoder goes: COM would keep it loaded while the program runs
// (Wine's never answers that it may be unloaded), some 2 MiB of memory for pictures that
// are decoded once.
#pragma once

#include <windows.h>

#include <vector>

#include "ComScope.h"
#include "PngCheck.h"

struct IClassFactory;
struct IWICImagingFactory;

class CPngDecoder {
public:
    // COM for the calling thread (unless it has it already), windowscodecs.dll and its
    // imaging factory, for as long as the decoder lives. Decode on this thread only.
    CPngDecoder();
    ~CPngDecoder();
    CPngDecoder(const CPngDecoder&) = delete;
    CPngDecoder& operator=(const CPngDecoder&) = delete;

    // Whether WIC could be had at all.
    bool IsReady() const { return m_pFactory && m_pPngDecoders; }

    // Checks and decodes one PNG file in memory into *pDib: 24 bits a pixel, or 16 (5-5-5)
    // for a picture whose sBIT chunk gives 5 bits per colour. False, with *pDib empty, when
    // the file is refused or the system cannot decode all of it; *pFault then says why
    // (PngFault::None: the decoder's own failure).
    bool Decode(const BYTE* pData, size_t cbData, std::vector<BYTE>* pDib, PngFault* pFault = nullptr);

private:
    ComScope m_com;
    HMODULE m_hCodecs = nullptr;
    IWICImagingFactory* m_pFactory = nullptr;
    IClassFactory* m_pPngDecoders = nullptr;
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
