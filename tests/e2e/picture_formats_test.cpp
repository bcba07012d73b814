// The pictures as the default build carries them (PNG resources, decoded as the setup
// starts) and as a build with SKIN_FORMAT=bmp does (uncompressed bitmaps made from the
// same files): every page, every state image of the options tree and both check boxes
// come out the same to the pixel. And a Setup.exe with a damaged picture stops at once.
#include "InstallerFixture.h"

#include <cstdio>

#include "PngCheck.h"

namespace e2e {
namespace {

const std::string kPngSignature("\x89PNG\r\n\x1a\n", 8);

// What a SKIN_FORMAT=bmp build makes of the same sources; the test build makes it beside
// Setup.exe.
std::string BitmapSkinsSetupPath()
{
    const std::string setup = testutil::SetupExePath();
    return setup.substr(0, setup.find_last_of('\\') + 1) + "bitmap-skins\\Setup.exe";
}

struct Shot {
    std::string name;
    Pixels pixels;
};

// Where two pictures differ: empty when nowhere.
std::string Difference(const Pixels& a, const Pixels& b)
{
    if (a.width != b.width || a.height != b.height || a.data.empty())
        return "sizes differ or nothing was taken";
    int differing = 0;
    char first[96] = {};
    for (int y = 0; y < a.height; ++y) {
        for (int x = 0; x < a.width; ++x) {
            if (a.At(x, y) != b.At(x, y) && differing++ == 0)
                std::snprintf(first, sizeof first, ", first at (%d, %d): 0x%06lX and 0x%06lX", x, y,
                              static_cast<unsigned long>(a.At(x, y)), static_cast<unsigned long>(b.At(x, y)));
        }
    }
    return differing ? std::to_string(differing) + " pixels differ" + first : std::string();
}

uint32_t BigEndian(const std::string& bytes, size_t at)
{
    return (uint32_t(uint8_t(bytes[at])) << 24) | (uint32_t(uint8_t(bytes[at + 1])) << 16) |
           (uint32_t(uint8_t(bytes[at + 2])) << 8) | uint32_t(uint8_t(bytes[at + 3]));
}

void PutBigEndian(std::string& bytes, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = char(v >> (24 - 8 * i));
}

// The offset of the IDAT chunk of the options tree's picture (the one PNG of 96 x 16
// pixels) in a program file; 0 when there is none.
size_t TreePictureData(const std::string& exe)
{
    for (size_t at = exe.find(kPngSignature); at != std::string::npos; at = exe.find(kPngSignature, at + 1)) {
        if (at + 24 > exe.size() || exe.compare(at + 12, 4, "IHDR") != 0 || BigEndian(exe, at + 16) != 96 ||
            BigEndian(exe, at + 20) != 16)
            continue;
        for (size_t chunk = at + 8; chunk + 12 <= exe.size(); chunk += 12 + BigEndian(exe, chunk)) {
            if (exe.compare(chunk + 4, 4, "IDAT") == 0)
                return chunk;
        }
    }
    return 0;
}

std::string TextWithoutMessage(HWND hWnd)
{
    wchar_t wide[512] = {};
    const int n = ::InternalGetWindowText(hWnd, wide, 512);
    char text[1024] = {};
    ::WideCharToMultiByte(CP_ACP, 0, wide, n, text, sizeof text - 1, nullptr, nullptr);
    return text;
}

class PictureFormatTest : public InstallerTest {
protected:
    // Takes the wizard's client area once its page is painted.
    void Take(std::vector<Shot>& shots, const std::string& name)
    {
        DWORD_PTR ignored = 0;
        ::SendMessageTimeoutA(m_wizard.Dialog(), WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 10000, &ignored);
        ::Sleep(300);
        ::SendMessageTimeoutA(m_wizard.Dialog(), WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 10000, &ignored);
        shots.push_back({name, CaptureClient(m_wizard.Dialog())});
    }

    // Runs the program at path as Setup_abc.exe through its six pages, on a clean machine,
    // and takes each page; the options page with every state image of the tree, the last
    // page with both boxes ticked and unticked.
    std::vector<Shot> Walk(const std::string& path, const std::string& folder)
    {
        std::vector<Shot> shots;
        CleanMachine();
        ServePartner("abc", {{"/MELVORA Extras/extras.exe", "ExtrasSetup.exe", "추가 기능", "추가 기능 설명",
                              "/pages/extras.html", "0"}});
        ::CreateDirectoryA(folder.c_str(), nullptr);
        const std::string program = folder + "\\Setup_abc.exe";
        EXPECT_TRUE(testutil::CopyFileTo(path, program)) << path;
        if (!m_wizard.StartProgram(program) || !m_wizard.WaitForWizard() || !m_wizard.WaitForTree()) {
            ADD_FAILURE() << "the wizard of " << path << " did not show";
            return shots;
        }
        Take(shots, "page 1");
        NextTo(2);
        Take(shots, "page 2");
        NextTo(3);
        Take(shots, "page 3");
        const auto items = m_wizard.TreeItems();
        EXPECT_EQ(items.size(), 4u);
        for (int round = 0; round < 2; ++round) {
            // States 0 to 3, then 4 to 2: every one of the five state images is shown.
            for (size_t i = 0; i < items.size(); ++i)
                EXPECT_TRUE(m_wizard.SetCheckState(items[i].hItem, int((i + 4 * round) % 5)));
            Take(shots, "page 3 with tree states, round " + std::to_string(round + 1));
        }
        NextTo(4);
        Take(shots, "page 4");
        // The version query waits, so the installing page holds still while it is taken.
        EXPECT_TRUE(publisher::Fault("/app/ver.php", "delay", "ms=4000", "stats"));
        EXPECT_TRUE(m_wizard.PressNext());
        EXPECT_TRUE(m_wizard.WaitForPage(5));
        Take(shots, "page 5");
        EXPECT_TRUE(WaitForFinishPage()) << "the install did not reach the finish page";
        Take(shots, "page 6");
        EXPECT_TRUE(m_wizard.Press(101));
        EXPECT_TRUE(m_wizard.Press(103));
        EXPECT_FALSE(m_wizard.IsChecked(101));
        EXPECT_FALSE(m_wizard.IsChecked(103));
        Take(shots, "page 6 with both boxes unticked");
        m_wizard.Terminate();
        return shots;
    }

    // A copy of Setup.exe as Setup_abc.exe whose tree picture was changed by change.
    template <typename Change>
    std::string DamagedSetup(const std::string& name, Change change)
    {
        std::string exe = testutil::ReadFileBytes(testutil::SetupExePath());
        const size_t chunk = TreePictureData(exe);
        if (!chunk) {
            ADD_FAILURE() << "Setup.exe holds no PNG picture of 96 x 16 pixels";
            return std::string();
        }
        change(exe, chunk);
        const std::string folder = m_dir / name;
        ::CreateDirectoryA(folder.c_str(), nullptr);
        EXPECT_TRUE(testutil::WriteFileBytes(folder + "\\Setup_abc.exe", exe));
        return folder + "\\Setup_abc.exe";
    }
};

TEST_F(PictureFormatTest, EveryPageIsTheSameToThePixelWithPngAndWithBitmapPictures)
{
    const std::string bitmapSetup = BitmapSkinsSetupPath();
    if (!testutil::FileExists(bitmapSetup))
        GTEST_SKIP() << "no " << bitmapSetup << " (a build with SKIN_FORMAT=bmp makes none)";
    const std::vector<Shot> png = Walk(testutil::SetupExePath(), m_dir / "png");
    const std::vector<Shot> bmp = Walk(bitmapSetup, m_dir / "bmp");
    ASSERT_EQ(png.size(), 9u);
    ASSERT_EQ(bmp.size(), png.size());
    for (size_t i = 0; i < png.size(); ++i) {
        EXPECT_EQ(png[i].pixels.width, 494) << png[i].name;   // the client area of the 500-pixel window
        EXPECT_EQ(Difference(png[i].pixels, bmp[i].pixels), "") << png[i].name;
    }
    // Not a comparison of blank windows: the pages differ from one another.
    EXPECT_NE(Difference(png[0].pixels, png[1].pixels), "");
    EXPECT_NE(Difference(png[2].pixels, png[3].pixels), "");
    EXPECT_NE(Difference(png[7].pixels, png[8].pixels), "");
}

TEST_F(PictureFormatTest, ADamagedPictureStopsTheSetupBeforeItChangesAnythingAndNamesThePicture)
{
    // One changed byte: the chunk's checksum no longer matches, which the program checks
    // itself (Wine's decoder would not).
    const std::string changedByte = DamagedSetup("changed-byte", [](std::string& exe, size_t chunk) {
        exe[chunk + 8 + 10] = char(exe[chunk + 8 + 10] ^ 0x40);
    });
    // Image data that ends too soon, in a file whose checksums are all right: only the
    // system's decoder can tell.
    const std::string cutData = DamagedSetup("cut-data", [](std::string& exe, size_t chunk) {
        const char stream[] = "\x78\x01\x01\x01\x00\xFE\xFF\x00\x00\x01\x00\x01";   // one zero byte, stored
        exe.replace(chunk + 8, sizeof stream - 1, stream, sizeof stream - 1);
        const uint32_t length = BigEndian(exe, chunk);
        PutBigEndian(exe, chunk + 8 + length,
                     PngCrc32(reinterpret_cast<const uint8_t*>(exe.data() + chunk + 4), length + 4));
    });
    ASSERT_FALSE(changedByte.empty());
    ASSERT_FALSE(cutData.empty());

    for (const std::string& program : {changedByte, cutData}) {
        const std::string log = m_dir / "setup.log";
        EXPECT_EQ(testutil::RunAndWait("\"" + program + "\" /S \"/LOG=" + log + "\"", 30000), 6) << program;
        EXPECT_NE(testutil::ReadFileBytes(log).find("tree_139_states.png"), std::string::npos) << program;
        EXPECT_FALSE(testutil::ReadRegValue(HKEY_CURRENT_USER, "Software\\MELVORA", "pid").exists) << program;
        EXPECT_TRUE(publisher::ReadLog().empty()) << program;
    }

    // The wizard's start says which picture, in a message box, and does nothing else.
    ASSERT_TRUE(m_wizard.StartProgram(changedByte));
    HWND hBox = nullptr;
    ASSERT_TRUE(testutil::WaitFor([&] { return (hBox = ::FindWindowA("#32770", "MELVORA 설치")) != nullptr; }, 15000));
    DWORD owner = 0;
    ::GetWindowThreadProcessId(hBox, &owner);
    EXPECT_EQ(owner, m_wizard.ProcessId());
    EXPECT_NE(TextWithoutMessage(::GetDlgItem(hBox, 0xFFFF)).find("tree_139_states.png"), std::string::npos);
    EXPECT_EQ(::GetDlgItem(hBox, 1004), nullptr);   // a message box, not the wizard
    ::PostMessageA(hBox, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(m_wizard.WaitForExit(10000), 6);
    EXPECT_FALSE(testutil::ReadRegValue(HKEY_CURRENT_USER, "Software\\MELVORA", "pid").exists);
    EXPECT_TRUE(publisher::ReadLog().empty());
}

}  // namespace
}  // namespace e2e
