#include "PngDecoder.h"

#include <wincodec.h>

#include "ComRef.h"

namespace {

// WIC is asked for 32-bit BGR whatever the file holds: its converters reach that from
// every accepted form (grey and palettes included), which 24-bit is not on every system.
const UINT kDecodedBytesPerPixel = 4;

// A DIB row is a whole number of 4-byte words.
UINT DibStride(UINT width, UINT bitsPerPixel)
{
    return (width * bitsPerPixel + 31) / 32 * 4;
}

// The file's pixels, top row first, as 32-bit BGR; false unless WIC decoded all of them at
// the size the file's header gives.
bool DecodeWithWic(IWICImagingFactory* pFactory, const BYTE* pData, DWORD cbData, const PngFacts& facts,
                   std::vector<BYTE>* pPixels)
{
    ComRef<IWICStream> stream;
    ComRef<IWICBitmapDecoder> decoder;
    ComRef<IWICBitmapFrameDecode> frame;
    ComRef<IWICFormatConverter> converter;
    UINT width = 0, height = 0;
    // WIC only reads the memory it is given.
    if (FAILED(pFactory->CreateStream(reinterpret_cast<IWICStream**>(stream.out()))) ||
        FAILED(stream->InitializeFromMemory(const_cast<BYTE*>(pData), cbData)) ||
        FAILED(pFactory->CreateDecoder(GUID_ContainerFormatPng, nullptr,
                                       reinterpret_cast<IWICBitmapDecoder**>(decoder.out()))) ||
        FAILED(decoder->Initialize(stream.get(), WICDecodeMetadataCacheOnDemand)) ||
        FAILED(decoder->GetFrame(0, reinterpret_cast<IWICBitmapFrameDecode**>(frame.out()))) ||
        FAILED(frame->GetSize(&width, &height)) || width != facts.width || height != facts.height ||
        FAILED(pFactory->CreateFormatConverter(reinterpret_cast<IWICFormatConverter**>(converter.out()))) ||
        FAILED(converter->Initialize(frame.get(), GUID_WICPixelFormat32bppBGR, WICBitmapDitherTypeNone, nullptr,
                                     0.0, WICBitmapPaletteTypeCustom)))
        return false;
    // At most 2048 x 2048 x 4 bytes (PngCheck.h): no overflow.
    const UINT stride = width * kDecodedBytesPerPixel;
    pPixels->assign(size_t(stride) * height, 0);
    return SUCCEEDED(converter->CopyPixels(nullptr, stride, UINT(pPixels->size()), pPixels->data()));
}

// Packs decoded rows into a DIB's rows: bottom-up, 24-bit BGR or 16-bit 5-5-5.
void PackRows(const std::vector<BYTE>& pixels, UINT width, UINT height, WORD bitsPerPixel, BYTE* pBits)
{
    const UINT stride = DibStride(width, bitsPerPixel);
    for (UINT y = 0; y < height; ++y) {
        const BYTE* pIn = pixels.data() + size_t(y) * width * kDecodedBytesPerPixel;
        BYTE* pOut = pBits + size_t(height - 1 - y) * stride;
        for (UINT x = 0; x < width; ++x, pIn += kDecodedBytesPerPixel) {
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
}

}  // namespace

CPngDecoder::CPngDecoder()
{
    if (FAILED(::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                  reinterpret_cast<void**>(&m_pFactory))))
        m_pFactory = nullptr;
}

CPngDecoder::~CPngDecoder()
{
    if (m_pFactory)
        m_pFactory->Release();
}

bool CPngDecoder::Decode(const BYTE* pData, size_t cbData, std::vector<BYTE>* pDib, PngFault* pFault)
{
    pDib->clear();
    PngFacts facts;
    const PngFault fault = CheckPng(pData, cbData, &facts);
    if (pFault)
        *pFault = fault;
    std::vector<BYTE> pixels;
    if (fault != PngFault::None || !m_pFactory || cbData > MAXDWORD ||
        !DecodeWithWic(m_pFactory, pData, DWORD(cbData), facts, &pixels))
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
    PackRows(pixels, facts.width, facts.height, bitsPerPixel, pDib->data() + sizeof(BITMAPINFOHEADER));
    return true;
}
