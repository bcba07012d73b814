#include "PngDecoder.h"

#include <wincodec.h>

#include "ComRef.h"
#include "SystemLibrary.h"

namespace {

// Where WIC's frame is not 24-bit BGR already, it is asked for 32-bit BGR: its converters
// reach that from every accepted form (grey and palettes included), which 24-bit is not on
// every system.
const UINT kConvertedBytesPerPixel = 4;

// A DIB row is a whole number of 4-byte words.
UINT DibStride(UINT width, UINT bitsPerPixel)
{
    return (width * bitsPerPixel + 31) / 32 * 4;
}

// One converted 32-bit BGR row into a DIB row of 24-bit BGR or 16-bit 5-5-5.
void PackRow(const BYTE* pIn, UINT width, WORD bitsPerPixel, BYTE* pOut)
{
    for (UINT x = 0; x < width; ++x, pIn += kConvertedBytesPerPixel) {
        if (bitsPerPixel == 24) {
            *pOut++ = pIn[0];
            *pOut++ = pIn[1];
            *pOut++ = pIn[2];
        } else {
            const WORD v = WORD(((pIn[2] >> 3) << 10) | ((pIn[1] >> 3) << 5) | (pIn[0] >> 3));
            *pOut++ = BYTE(v & 0xFF);
            *pOut++ = BYTE(v >> 8);
        }
    }
}

// Decodes the file into the rows of a DIB (bottom-up) of the size its header gives; false
// unless WIC decoded every row. Row by row: no second copy of the whole picture is made.
bool DecodeWithWic(IWICImagingFactory* pFactory, IClassFactory* pPngDecoders, const BYTE* pData, DWORD cbData,
                   const PngFacts& facts, WORD bitsPerPixel, BYTE* pBits)
{
    ComRef<IWICStream> stream;
    ComRef<IWICBitmapDecoder> decoder;
    ComRef<IWICBitmapFrameDecode> frame;
    UINT width = 0, height = 0;
    WICPixelFormatGUID format = {};
    // WIC only reads the memory it is given.
    if (FAILED(pFactory->CreateStream(reinterpret_cast<IWICStream**>(stream.out()))) ||
        FAILED(stream->InitializeFromMemory(const_cast<BYTE*>(pData), cbData)) ||
        FAILED(pPngDecoders->CreateInstance(nullptr, IID_IWICBitmapDecoder, decoder.out())) ||
        FAILED(decoder->Initialize(stream.get(), WICDecodeMetadataCacheOnDemand)) ||
        FAILED(decoder->GetFrame(0, reinterpret_cast<IWICBitmapFrameDecode**>(frame.out()))) ||
        FAILED(frame->GetSize(&width, &height)) || width != facts.width || height != facts.height ||
        FAILED(frame->GetPixelFormat(&format)))
        return false;
    const UINT stride = DibStride(width, bitsPerPixel);
    if (bitsPerPixel == 24 && IsEqualGUID(format, GUID_WICPixelFormat24bppBGR)) {
        // The form the art is made in: WIC's rows are the DIB's, only in the other order.
        for (UINT y = 0; y < height; ++y) {
            const WICRect row = {0, INT(y), INT(width), 1};
            if (FAILED(frame->CopyPixels(&row, width * 3, width * 3, pBits + size_t(height - 1 - y) * stride)))
                return false;
        }
        return true;
    }
    ComRef<IWICFormatConverter> converter;
    if (FAILED(pFactory->CreateFormatConverter(reinterpret_cast<IWICFormatConverter**>(converter.out()))) ||
        FAILED(converter->Initialize(frame.get(), GUID_WICPixelFormat32bppBGR, WICBitmapDitherTypeNone, nullptr,
                                     0.0, WICBitmapPaletteTypeCustom)))
        return false;
    // At most 2048 pixels a row (PngCheck.h): no overflow.
    std::vector<BYTE> converted(size_t(width) * kConvertedBytesPerPixel);
    for (UINT y = 0; y < height; ++y) {
        const WICRect row = {0, INT(y), INT(width), 1};
        if (FAILED(converter->CopyPixels(&row, UINT(converted.size()), UINT(converted.size()), converted.data())))
            return false;
        PackRow(converted.data(), width, bitsPerPixel, pBits + size_t(height - 1 - y) * stride);
    }
    return true;
}

}  // namespace

CPngDecoder::CPngDecoder() : m_hCodecs(LoadSystemLibrary("windowscodecs.dll"))
{
    using GetClassObjectFn = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
    const auto pGetClassObject = reinterpret_cast<GetClassObjectFn>(
        reinterpret_cast<void*>(m_hCodecs ? ::GetProcAddress(m_hCodecs, "DllGetClassObject") : nullptr));
    IClassFactory* pFactories = nullptr;
    if (!pGetClassObject ||
        FAILED(pGetClassObject(CLSID_WICImagingFactory, IID_IClassFactory, reinterpret_cast<void**>(&pFactories))))
        return;
    if (FAILED(pFactories->CreateInstance(nullptr, IID_IWICImagingFactory, reinterpret_cast<void**>(&m_pFactory))))
        m_pFactory = nullptr;
    pFactories->Release();
    if (FAILED(pGetClassObject(CLSID_WICPngDecoder, IID_IClassFactory, reinterpret_cast<void**>(&m_pPngDecoders))))
        m_pPngDecoders = nullptr;
}

CPngDecoder::~CPngDecoder()
{
    if (m_pPngDecoders)
        m_pPngDecoders->Release();
    if (m_pFactory)
        m_pFactory->Release();
    if (m_hCodecs)
        ::FreeLibrary(m_hCodecs);
}

bool CPngDecoder::Decode(const BYTE* pData, size_t cbData, std::vector<BYTE>* pDib, PngFault* pFault)
{
    pDib->clear();
    PngFacts facts;
    const PngFault fault = CheckPng(pData, cbData, &facts);
    if (pFault)
        *pFault = fault;
    if (fault != PngFault::None || !IsReady() || cbData > MAXDWORD)
        return false;

    const WORD bitsPerPixel = facts.fiveBitColour ? 16 : 24;
    const UINT cbBits = DibStride(facts.width, bitsPerPixel) * facts.height;
    pDib->assign(sizeof(BITMAPINFOHEADER) + cbBits, 0);
    BITMAPINFOHEADER* pHeader = reinterpret_cast<BITMAPINFOHEADER*>(pDib->data());
    pHeader->biSize = sizeof(BITMAPINFOHEADER);
    pHeader->biWidth = LONG(facts.width);
    pHeader->biHeight = LONG(facts.height);   // bottom-up, as in a BITMAP resource
    pHeader->biPlanes = 1;
    pHeader->biBitCount = bitsPerPixel;
    pHeader->biCompression = BI_RGB;
    pHeader->biSizeImage = cbBits;
    if (!DecodeWithWic(m_pFactory, m_pPngDecoders, pData, DWORD(cbData), facts, bitsPerPixel,
                       pDib->data() + sizeof(BITMAPINFOHEADER))) {
        std::vector<BYTE>().swap(*pDib);   // nothing half-decoded is ever painted
        return false;
    }
    return true;
}
