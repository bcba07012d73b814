#include "PictureResource.h"

#include <memory>
#include <utility>

#include "CWinApp.h"
#include "PngDecoder.h"
#include "SrwLockGuard.h"

const char kPictureResourceType[] = "PNG";

namespace {

struct DecodedPicture {
    UINT nId;
    std::vector<BYTE> dib;
};

// The program's decoded pictures. Filled as they are prepared or first used, emptied when
// the program ends; the lock keeps a control painting on another thread (the tests do)
// from meeting a half-made entry.
struct PictureStore {
    SRWLOCK lock = SRWLOCK_INIT;
    std::vector<DecodedPicture> pictures;
};
PictureStore g_store;

HMODULE ProgramModule(UINT nId, const char* pszType)
{
    return AfxFindResourceHandle(MAKEINTRESOURCEA(nId), pszType);
}

bool FindPngResource(HMODULE hModule, UINT nId, const BYTE** ppData, DWORD* pcbData)
{
    const HRSRC hResource = ::FindResourceA(hModule, MAKEINTRESOURCEA(nId), kPictureResourceType);
    const HGLOBAL hLoaded = hResource ? ::LoadResource(hModule, hResource) : nullptr;
    *ppData = hLoaded ? static_cast<const BYTE*>(::LockResource(hLoaded)) : nullptr;
    *pcbData = *ppData ? ::SizeofResource(hModule, hResource) : 0;
    return hResource != nullptr;
}

// The PNG picture nId of hModule decoded by decoder, which is made on first need (a build
// with BITMAP resources never starts COM for its pictures).
bool DecodeWith(std::unique_ptr<CPngDecoder>& decoder, HMODULE hModule, UINT nId, std::vector<BYTE>* pDib,
                bool* pbPng)
{
    pDib->clear();
    const BYTE* pData = nullptr;
    DWORD cbData = 0;
    *pbPng = FindPngResource(hModule, nId, &pData, &cbData);
    if (!pData)
        return false;
    if (!decoder)
        decoder.reset(new CPngDecoder);
    return decoder->Decode(pData, cbData, pDib);
}

// The stored picture nId, decoded and stored first if need be; null when the program
// has no PNG picture of that id, or it will not decode. Call with the store locked.
const DecodedPicture* StoredPicture(std::unique_ptr<CPngDecoder>& decoder, UINT nId, bool* pbPng)
{
    for (const DecodedPicture& picture : g_store.pictures) {
        if (picture.nId == nId) {
            *pbPng = true;
            return &picture;
        }
    }
    DecodedPicture picture{nId, {}};
    if (!DecodeWith(decoder, ProgramModule(nId, kPictureResourceType), nId, &picture.dib, pbPng))
        return nullptr;
    g_store.pictures.push_back(std::move(picture));
    return &g_store.pictures.back();
}

}  // namespace

bool DecodePictureResource(HMODULE hModule, UINT nId, std::vector<BYTE>* pDib, bool* pbPng)
{
    std::unique_ptr<CPngDecoder> decoder;
    bool bPng = false;
    const bool ok = DecodeWith(decoder, hModule, nId, pDib, &bPng);
    if (pbPng)
        *pbPng = bPng;
    return ok;
}

UINT PreparePictures(const UINT* pIds, size_t count)
{
    SrwLockGuard hold(g_store.lock);
    std::unique_ptr<CPngDecoder> decoder;   // one for all: COM and WIC are set up once
    for (size_t i = 0; i < count; ++i) {
        bool bPng = false;
        if (!StoredPicture(decoder, pIds[i], &bPng) && bPng)
            return pIds[i];
    }
    return 0;
}

void ReleasePictures()
{
    SrwLockGuard hold(g_store.lock);
    std::vector<DecodedPicture>().swap(g_store.pictures);
}

HBITMAP BitmapFromPackedDib(const std::vector<BYTE>& dib)
{
    const BITMAPINFO* pInfo = PackedDibInfo(dib);
    HDC hScreen = pInfo ? ::GetDC(nullptr) : nullptr;
    if (!hScreen)
        return nullptr;
    HBITMAP hBitmap = ::CreateDIBitmap(hScreen, &pInfo->bmiHeader, CBM_INIT, PackedDibBits(dib), pInfo,
                                       DIB_RGB_COLORS);
    ::ReleaseDC(nullptr, hScreen);
    return hBitmap;
}

HBITMAP LoadPictureBitmap(UINT nId)
{
    {
        SrwLockGuard hold(g_store.lock);
        std::unique_ptr<CPngDecoder> decoder;
        bool bPng = false;
        if (const DecodedPicture* pPicture = StoredPicture(decoder, nId, &bPng))
            return BitmapFromPackedDib(pPicture->dib);
        if (bPng)
            return nullptr;   // there, but damaged: nothing rather than garbage
    }
    return ::LoadBitmapA(ProgramModule(nId, reinterpret_cast<const char*>(RT_BITMAP)), MAKEINTRESOURCEA(nId));
}
