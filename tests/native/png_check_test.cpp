// What a picture resource must be before the system's decoder sees it: the art as it is
// shipped passes; damaged files and the forms the program does not take never reach WIC.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "framework/PngCheck.h"
#include "tests/support/PngChunks.h"

namespace {

using pngtest::BigEndian;
using pngtest::Chunk;

std::string Header(uint32_t width, uint32_t height, int depth, int colourType, int interlace = 0)
{
    return Chunk("IHDR", BigEndian(width) + BigEndian(height) + char(depth) + char(colourType) + '\0' + '\0' +
                             char(interlace));
}

// A file of these chunks; the image data need not inflate: the check never looks inside it.
std::string Png(const std::string& chunks)
{
    return std::string("\x89PNG\r\n\x1a\n", 8) + chunks;
}

const std::string kData = Chunk("IDAT", std::string("\x78\x9c\x63\x00\x00\x00\x01\x00\x01", 9));
const std::string kEnd = Chunk("IEND", "");

PngFault Check(const std::string& file, PngFacts* facts = nullptr)
{
    PngFacts ignored;
    return CheckPng(reinterpret_cast<const uint8_t*>(file.data()), file.size(), facts ? facts : &ignored);
}

std::string ReadArt(const char* name)
{
    std::ifstream in(std::string(MELVORA_SOURCE_DIR "/res/art/") + name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(PngCheck, TheShippedArtPassesWithItsSizesAndTheTreeAs16BitColour)
{
    struct Art {
        const char* name;
        uint32_t width, height;
        bool fiveBit;
    } art[] = {{"skin_129_welcome.png", 495, 359, false},  {"skin_130_terms.png", 495, 359, false},
               {"skin_131_folder.png", 495, 360, false},   {"skin_132_finish.png", 494, 359, false},
               {"skin_135_installing.png", 495, 358, false}, {"skin_136_components.png", 495, 358, false},
               {"tree_139_states.png", 96, 16, true},      {"check_141_on.png", 12, 12, false},
               {"check_142_off.png", 12, 12, false}};
    for (const Art& a : art) {
        PngFacts facts;
        const std::string file = ReadArt(a.name);
        ASSERT_FALSE(file.empty()) << a.name;
        EXPECT_EQ(Check(file, &facts), PngFault::None) << a.name;
        EXPECT_EQ(facts.width, a.width) << a.name;
        EXPECT_EQ(facts.height, a.height) << a.name;
        EXPECT_EQ(facts.fiveBitColour, a.fiveBit) << a.name;
    }
}

TEST(PngCheck, AnyChangedByteOrCutIsRefused)
{
    const std::string file = ReadArt("tree_139_states.png");
    ASSERT_EQ(Check(file), PngFault::None);
    for (size_t i = 0; i < file.size(); ++i) {
        for (int bit = 0; bit < 8; ++bit) {
            std::string changed = file;
            changed[i] = char(changed[i] ^ (1 << bit));
            EXPECT_NE(Check(changed), PngFault::None) << "byte " << i << " bit " << bit;
        }
    }
    for (size_t n = 0; n < file.size(); ++n)
        EXPECT_NE(Check(file.substr(0, n)), PngFault::None) << n << " bytes";
    EXPECT_EQ(Check(file + '\0'), PngFault::BadOrder);   // nothing may follow IEND
    EXPECT_EQ(Check(file + kEnd), PngFault::BadOrder);
    EXPECT_EQ(CheckPng(nullptr, 0, nullptr), PngFault::NotPng);
}

TEST(PngCheck, TakesOnlyOpaqueNonInterlacedPicturesOfUpTo8BitSamples)
{
    EXPECT_EQ(Check(Png(Header(3, 2, 8, 2) + kData + kEnd)), PngFault::None);
    EXPECT_EQ(Check(Png(Header(3, 2, 8, 0) + kData + kEnd)), PngFault::None);   // grey
    EXPECT_EQ(Check(Png(Header(3, 2, 1, 0) + kData + kEnd)), PngFault::None);
    EXPECT_EQ(Check(Png(Header(3, 2, 4, 3) + Chunk("PLTE", std::string(48, 'x')) + kData + kEnd)), PngFault::None);

    EXPECT_EQ(Check(Png(Header(3, 2, 8, 6) + kData + kEnd)), PngFault::UnsupportedForm);   // alpha
    EXPECT_EQ(Check(Png(Header(3, 2, 8, 4) + kData + kEnd)), PngFault::UnsupportedForm);
    EXPECT_EQ(Check(Png(Header(3, 2, 16, 2) + kData + kEnd)), PngFault::UnsupportedForm);
    EXPECT_EQ(Check(Png(Header(3, 2, 8, 2, 1) + kData + kEnd)), PngFault::UnsupportedForm);
    EXPECT_EQ(Check(Png(Header(3, 2, 8, 2) + Chunk("tRNS", std::string(6, '\0')) + kData + kEnd)),
              PngFault::Transparency);
    EXPECT_EQ(Check(Png(Header(kMaxPngSide + 1, 2, 8, 2) + kData + kEnd)), PngFault::TooLarge);
    EXPECT_EQ(Check(Png(Header(2, kMaxPngSide, 8, 2) + kData + kEnd)), PngFault::None);

    // Headers the format itself does not allow.
    EXPECT_EQ(Check(Png(Header(0, 2, 8, 2) + kData + kEnd)), PngFault::BadHeader);
    EXPECT_EQ(Check(Png(Header(0x80000000u, 2, 8, 2) + kData + kEnd)), PngFault::BadHeader);
    EXPECT_EQ(Check(Png(Header(3, 2, 4, 2) + kData + kEnd)), PngFault::BadHeader);
    EXPECT_EQ(Check(Png(Header(3, 2, 8, 5) + kData + kEnd)), PngFault::BadHeader);
    EXPECT_EQ(Check(Png(Header(3, 2, 8, 2, 2) + kData + kEnd)), PngFault::BadHeader);
    EXPECT_EQ(Check(Png(Chunk("IHDR", std::string(12, '\1')) + kData + kEnd)), PngFault::BadHeader);
}

TEST(PngCheck, PalettesMustFitTheirPicture)
{
    const std::string palette16 = Chunk("PLTE", std::string(48, 'x'));
    EXPECT_EQ(Check(Png(Header(3, 2, 4, 3) + kData + kEnd)), PngFault::BadPalette);   // none
    EXPECT_EQ(Check(Png(Header(3, 2, 2, 3) + palette16 + kData + kEnd)), PngFault::BadPalette);   // 16 > 4
    EXPECT_EQ(Check(Png(Header(3, 2, 8, 3) + Chunk("PLTE", "") + kData + kEnd)), PngFault::BadPalette);
    EXPECT_EQ(Check(Png(Header(3, 2, 8, 3) + Chunk("PLTE", "xxxx") + kData + kEnd)), PngFault::BadPalette);
    EXPECT_EQ(Check(Png(Header(3, 2, 8, 0) + palette16 + kData + kEnd)), PngFault::BadPalette);   // grey
    EXPECT_EQ(Check(Png(Header(3, 2, 8, 2) + palette16 + kData + kEnd)), PngFault::None);   // a suggestion
    EXPECT_EQ(Check(Png(Header(3, 2, 4, 3) + palette16 + palette16 + kData + kEnd)), PngFault::BadOrder);
    EXPECT_EQ(Check(Png(Header(3, 2, 8, 2) + kData + palette16 + kEnd)), PngFault::BadOrder);
}

TEST(PngCheck, ChunksMustBeInOrderAndKnownWhenCritical)
{
    EXPECT_EQ(Check(Png(Header(3, 2, 8, 2) + kData + kData + kEnd)), PngFault::None);
    EXPECT_EQ(Check(Png(Header(3, 2, 8, 2) + Chunk("tEXt", "a\0b") + kData + Chunk("zzZz", "x") + kEnd)),
              PngFault::None);
    EXPECT_EQ(Check(Png(Header(3, 2, 8, 2) + kData + Chunk("tEXt", "a") + kData + kEnd)), PngFault::BadOrder);
    EXPECT_EQ(Check(Png(kData + Header(3, 2, 8, 2) + kEnd)), PngFault::BadOrder);
    EXPECT_EQ(Check(Png(Header(3, 2, 8, 2) + Header(3, 2, 8, 2) + kData + kEnd)), PngFault::BadOrder);
    EXPECT_EQ(Check(Png(Header(3, 2, 8, 2) + kEnd)), PngFault::BadOrder);   // no image data
    EXPECT_EQ(Check(Png(Header(3, 2, 8, 2) + kData)), PngFault::Truncated);   // no end
    EXPECT_EQ(Check(Png(Header(3, 2, 8, 2) + kData + Chunk("IEND", "x"))), PngFault::BadChunk);
    EXPECT_EQ(Check(Png(Header(3, 2, 8, 2) + Chunk("ZZZZ", "") + kData + kEnd)), PngFault::BadChunk);
    EXPECT_EQ(Check(Png(Header(3, 2, 8, 2) + Chunk("a1bc", "") + kData + kEnd)), PngFault::BadChunk);
    EXPECT_EQ(Check(std::string("\x89PNG\r\n\x1a\r", 8) + Header(3, 2, 8, 2) + kData + kEnd), PngFault::NotPng);
    // A length beyond what the format allows, though the checksum would be right.
    std::string huge = Png(Header(3, 2, 8, 2)) + BigEndian(0x80000000u) + "IDAT";
    EXPECT_EQ(Check(huge + std::string(16, '\0')), PngFault::Truncated);
}

TEST(PngCheck, SignificantBitsOfFiveMakeA16BitPicture)
{
    PngFacts facts;
    EXPECT_EQ(Check(Png(Header(3, 2, 8, 2) + Chunk("sBIT", "\5\5\5") + kData + kEnd), &facts), PngFault::None);
    EXPECT_TRUE(facts.fiveBitColour);
    EXPECT_EQ(Check(Png(Header(3, 2, 8, 2) + Chunk("sBIT", "\5\6\5") + kData + kEnd), &facts), PngFault::None);
    EXPECT_FALSE(facts.fiveBitColour);
    EXPECT_EQ(Check(Png(Header(3, 2, 8, 0) + Chunk("sBIT", "\5") + kData + kEnd), &facts), PngFault::None);
    EXPECT_FALSE(facts.fiveBitColour);
    EXPECT_EQ(Check(Png(Header(3, 2, 8, 2) + Chunk("sBIT", std::string("\0\5\5", 3)) + kData + kEnd)),
              PngFault::BadChunk);
    EXPECT_EQ(Check(Png(Header(3, 2, 8, 2) + Chunk("sBIT", "\5\5") + kData + kEnd)), PngFault::BadChunk);
    EXPECT_EQ(Check(Png(Header(3, 2, 8, 2) + kData + Chunk("sBIT", "\5\5\5") + kEnd)), PngFault::BadOrder);
}

TEST(PngCheck, Crc32IsTheOneOfPngAndZlib)
{
    const uint8_t digits[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(PngCrc32(digits, sizeof digits), 0xCBF43926u);
    const uint8_t end[] = {'I', 'E', 'N', 'D'};
    EXPECT_EQ(PngCrc32(end, sizeof end), 0xAE426082u);
    EXPECT_EQ(PngCrc32(digits + 4, 5, PngCrc32(digits, 4)), 0xCBF43926u);   // in pieces
}

}  // namespace
