// The program's pictures through the system's imaging component: each form of PNG the art
// may come in decodes to the bitmap rows a BITMAP resource of the same picture holds;
// damaged files give nothing, never a picture; the program's own PNG resources load
// without leaving a GDI object behind.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "PictureResource.h"
#include "PngDecoder.h"
#include "res/resource.h"
#include "support/GdiCount.h"
#include "tests/support/PngChunks.h"

namespace {

std::string Bytes(std::initializer_list<int> values)
{
    std::string bytes;
    for (int v : values)
        bytes += char(v);
    return bytes;
}

using pngtest::BigEndian;
using pngtest::Chunk;

// A zlib stream of raw in one stored (uncompressed) block.
std::string Stored(const std::string& raw)
{
    uint32_t a = 1, b = 0;
    for (unsigned char c : raw) {
        a = (a + c) % 65521;
        b = (b + a) % 65521;
    }
    const uint16_t n = uint16_t(raw.size());
    return std::string("\x78\x01\x01", 3) + char(n & 0xFF) + char(n >> 8) + char(~n & 0xFF) + char((~n >> 8) & 0xFF) +
           raw + BigEndian((b << 16) | a);
}

// A PNG of the given rows (each with its filter byte), colour type and depth.
std::string Png(uint32_t width, uint32_t height, int depth, int colourType, const std::string& rows,
                const std::string& extraChunks = std::string())
{
    return std::string("\x89PNG\r\n\x1a\n", 8) +
           Chunk("IHDR", BigEndian(width) + BigEndian(height) + char(depth) + char(colourType) + std::string(3, '\0')) +
           extraChunks + Chunk("IDAT", Stored(rows)) + Chunk("IEND", "");
}

struct Decoded {
    bool ok = false;
    PngFault fault = PngFault::None;
    std::vector<BYTE> dib;
    const BITMAPINFOHEADER& Header() const { return *reinterpret_cast<const BITMAPINFOHEADER*>(dib.data()); }
    // The DIB's rows as stored: bottom row first, each padded to whole words.
    std::string Bits() const
    {
        return std::string(reinterpret_cast<const char*>(dib.data()) + sizeof(BITMAPINFOHEADER),
                           dib.size() - sizeof(BITMAPINFOHEADER));
    }
};

Decoded Decode(const std::string& file)
{
    Decoded d;
    CPngDecoder decoder;
    EXPECT_TRUE(decoder.IsReady());
    d.ok = decoder.Decode(reinterpret_cast<const BYTE*>(file.data()), file.size(), &d.dib, &d.fault);
    return d;
}

TEST(PictureDecoding, EachFormTheArtMayTakeGivesTheRowsOfItsBitmap)
{
    // 3 x 2 RGB: red green blue over white black grey; DIB rows of 9 bytes padded to 12.
    Decoded d = Decode(Png(3, 2, 8, 2,
                           Bytes({0, 0xFF, 0, 0, 0, 0xFF, 0, 0, 0, 0xFF, 0, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0x80, 0x80, 0x80})));
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.Header().biWidth, 3);
    EXPECT_EQ(d.Header().biHeight, 2);   // bottom-up, as a BITMAP resource
    EXPECT_EQ(d.Header().biBitCount, 24);
    EXPECT_EQ(d.Header().biCompression, DWORD(BI_RGB));
    EXPECT_EQ(d.Bits(), Bytes({0xFF, 0xFF, 0xFF, 0, 0, 0, 0x80, 0x80, 0x80, 0, 0, 0,   // bottom row first, BGR
                               0, 0, 0xFF, 0, 0xFF, 0, 0xFF, 0, 0, 0, 0, 0}));

    // A 2-bit palette of three colours, five pixels (indices 0 1 2 0 0).
    const std::string palette = Chunk("PLTE", Bytes({0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0x70, 0x80, 0x90}));
    d = Decode(Png(5, 1, 2, 3, Bytes({0, 0x18, 0x00}), palette));
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.Bits(), Bytes({0x30, 0x20, 0x10, 0x60, 0x50, 0x40, 0x90, 0x80, 0x70, 0x30, 0x20, 0x10, 0x30, 0x20,
                               0x10, 0}));

    // Grey, 1 bit a pixel: white black white black.
    d = Decode(Png(4, 1, 1, 0, Bytes({0, 0xA0})));
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.Bits(), Bytes({0xFF, 0xFF, 0xFF, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0, 0, 0}));

    // 5 significant bits a colour: a 16-bit 5-5-5 bitmap, as the tree's images are.
    d = Decode(Png(3, 1, 8, 2, Bytes({0, 0xFF, 0, 0, 0x08, 0x10, 0x18, 0x84, 0x84, 0x84}), Chunk("sBIT", "\5\5\5")));
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.Header().biBitCount, 16);
    // 0x7C00 (red), 1 2 3 -> 0x0443, 16 16 16 -> 0x4210; a row of 6 bytes padded to 8.
    EXPECT_EQ(d.Bits(), Bytes({0x00, 0x7C, 0x43, 0x04, 0x10, 0x42, 0, 0}));
}

TEST(PictureDecoding, ADamagedFileGivesNoPicture)
{
    const std::string row = '\0' + std::string(6, '\x40');   // filter byte, two grey pixels
    const std::string good = Png(2, 2, 8, 2, row + row);
    ASSERT_TRUE(Decode(good).ok);

    std::string changed = good;
    changed[60] = char(changed[60] ^ 1);   // inside the image data
    Decoded d = Decode(changed);
    EXPECT_FALSE(d.ok);
    EXPECT_EQ(d.fault, PngFault::BadChecksum);
    EXPECT_TRUE(d.dib.empty());

    // Right checksums, too little image data: the check passes it, the decoder must fail.
    d = Decode(Png(2, 2, 8, 2, row));
    EXPECT_FALSE(d.ok);
    EXPECT_EQ(d.fault, PngFault::None);
    EXPECT_TRUE(d.dib.empty());

    d = Decode(Png(2, 2, 8, 6, std::string(18, '\x40')));   // alpha: never given to WIC
    EXPECT_FALSE(d.ok);
    EXPECT_EQ(d.fault, PngFault::UnsupportedForm);
}

TEST(PictureDecoding, TheProgramsPngPicturesLoadAsBitmapsAndLeaveNoGdiObject)
{
    std::vector<BYTE> dib;
    bool png = false;
    ASSERT_TRUE(DecodePictureResource(::GetModuleHandleA(nullptr), IDB_TREE_STATES, &dib, &png));
    EXPECT_TRUE(png);
    EXPECT_EQ(PackedDibInfo(dib)->bmiHeader.biBitCount, 16);
    EXPECT_FALSE(DecodePictureResource(::GetModuleHandleA(nullptr), 4321, &dib, &png));
    EXPECT_FALSE(png);
    EXPECT_EQ(LoadPictureBitmap(4321), nullptr);

    ::DeleteObject(LoadPictureBitmap(IDB_SKIN_WELCOME));   // warm-up: the first decode
    const int before = testutil::CountGdiObjects();
    for (UINT id : {IDB_SKIN_WELCOME, IDB_SKIN_FINISH, IDB_TREE_STATES, IDB_CHECK_ON}) {
        HBITMAP hBitmap = LoadPictureBitmap(id);
        ASSERT_NE(hBitmap, nullptr) << id;
        BITMAP bm = {};
        ASSERT_TRUE(::GetObjectA(hBitmap, sizeof bm, &bm));
        EXPECT_EQ(bm.bmWidth, id == IDB_SKIN_FINISH ? 494 : id == IDB_TREE_STATES ? 96 : id == IDB_CHECK_ON ? 12 : 495);
        ::DeleteObject(hBitmap);
    }
    EXPECT_EQ(testutil::CountGdiObjects(), before);
}

}  // namespace
