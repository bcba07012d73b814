#include "InstallerFixture.h"

#include <shlobj.h>

#include <algorithm>
#include <cstdio>

#include "PictureResource.h"
#include "support/SetupRunner.h"

namespace e2e {

const char kPlayerItem[] = "멜보라플레이어 v1.0 ";
const char kUpdaterItem[] = "멜보라플레이어 updater ";
const char kHoverHint[] = "마우스를 올려 놓으시면 상세 설명을 확인 할 수 있습니다.";
const char kLinkName[] = "무료음악감상.lnk";

namespace {

std::string Folder(int csidl)
{
    char path[MAX_PATH] = {};
    ::SHGetFolderPathA(nullptr, csidl, nullptr, 0, path);
    return path;
}

// A 32-bit top-down bitmap, rows of DWORD pixels from the top.
BITMAPINFO TopDown32(int width, int height)
{
    BITMAPINFO bmi = {};
    bmi.bmiHeader.biSize = sizeof bmi.bmiHeader;
    bmi.bmiHeader.biWidth = width;
    bmi.bmiHeader.biHeight = -height;
    bmi.bmiHeader.biPlanes = 1;
    bmi.bmiHeader.biBitCount = 32;
    bmi.bmiHeader.biCompression = BI_RGB;
    return bmi;
}

}  // namespace

void InstallerTest::CleanMachine()
{
    testutil::RemoveTree(Folder(CSIDL_PROGRAM_FILES) + "\\MELVORA");
    testutil::RemoveTree(Folder(CSIDL_PROGRAM_FILES) + "\\MELVORA Tools");
    testutil::RemoveTree(Folder(CSIDL_PROGRAM_FILES) + "\\MELVORA Extras");
    testutil::RemoveTree(Folder(CSIDL_COMMON_PROGRAMS) + "\\MELVORA");
    ::DeleteFileA((Folder(CSIDL_DESKTOP) + "\\" + kLinkName).c_str());
    ::DeleteFileA((Folder(CSIDL_APPDATA) + "\\Microsoft\\Internet Explorer\\Quick Launch\\" + kLinkName).c_str());
    testutil::DeleteKeyTree(HKEY_CURRENT_USER, "Software\\MELVORA");
    testutil::DeleteKeyTree(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\MELVORA");
    HKEY hRun = nullptr;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", 0, KEY_SET_VALUE,
                        &hRun) == ERROR_SUCCESS) {
        ::RegDeleteValueA(hRun, "MELVORA");
        ::RegCloseKey(hRun);
    }
}

void InstallerTest::SetUp()
{
    CleanMachine();
    // A fresh prefix has no Quick Launch folder; an installed browser would have made it.
    const std::string quickLaunch = Folder(CSIDL_APPDATA) + "\\Microsoft\\Internet Explorer\\Quick Launch";
    ::SHCreateDirectoryExA(nullptr, quickLaunch.c_str(), nullptr);
    ASSERT_TRUE(publisher::Reset()) << "the loopback publisher server does not answer";
    m_standIn = testutil::ReadFileBytes(testutil::ProgramPath("stand_in"));
    ASSERT_FALSE(m_standIn.empty());
    m_startedLog = m_dir / "started.txt";
    ::SetEnvironmentVariableA("MELVORA_STARTED_LOG", m_startedLog.c_str());
}

void InstallerTest::TearDown()
{
    if (m_wizard.IsRunning() && m_wizard.Dialog() && ::testing::Test::HasFailure())
        SavePage(std::string("failed-") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    m_wizard.Terminate();
    ::SetEnvironmentVariableA("MELVORA_STARTED_LOG", nullptr);
    CleanMachine();
}

std::string InstallerTest::ComponentRow(const Component& c) const
{
    return c.checkPath + "|" + publisher::Url("/files/" + c.installerName) + "|" + c.name + "|" + c.description +
           "|" + publisher::Url(c.page) + "|" + c.flag;
}

void InstallerTest::ServePartner(const std::string& pid, const std::vector<Component>& components,
                                 const std::string& versionReply)
{
    ASSERT_TRUE(publisher::Put("/Lisence/melvora_licence.txt",
                               "제1조 (목적)\r\n이 약관은 멜보라 플레이어의 이용 조건을 정합니다.\r\n"));
    ASSERT_TRUE(publisher::Put("/Lisence/agree.php?w=400", "<html><body>agree</body></html>"));
    std::string list;
    for (const Component& c : components) {
        if (!list.empty())
            list += "^";
        list += ComponentRow(c);
        ASSERT_TRUE(publisher::Put("/files/" + c.installerName, m_standIn));
        ASSERT_TRUE(publisher::Put(c.page, "<html><body>" + c.name + "</body></html>"));
    }
    ASSERT_TRUE(publisher::Put("/app/setup/setup.php?pid=" + pid, list));
    ASSERT_TRUE(publisher::Put("/app/ver.php", versionReply, "stats"));
    ASSERT_TRUE(publisher::Put("/app/receive/log.php", "OK", "log"));
    ASSERT_TRUE(publisher::Put("/app/ver_file/uninstall/Uninstall.exe", m_standIn));
    ASSERT_TRUE(publisher::Put("/app/ver_file/uninstall/Uninstall.ini", "[uninstall]\r\nname=MELVORA\r\n"));
    const std::string base = "/app/ver_file/" + pid + "/";
    ASSERT_TRUE(publisher::Put(base + "1.0.3/MELVORA.exe", m_standIn));
    ASSERT_TRUE(publisher::Put(base + "1.0.3/ZUZade.dll", m_standIn));   // a program, as a DLL is
    ASSERT_TRUE(publisher::Put(base + "1.0.1/VIVoreder.exe", m_standIn));
    ASSERT_TRUE(publisher::Put(base + "1.0.3/RAZezazi.exe", m_standIn));
}

void InstallerTest::StartWizard(const std::string& pid, const std::string& arguments)
{
    ASSERT_TRUE(m_wizard.Start(m_dir.path(), "Setup_" + pid + ".exe", arguments));
    ASSERT_TRUE(m_wizard.WaitForWizard()) << "the wizard did not show";
    ASSERT_TRUE(m_wizard.WaitForTree()) << "the start-up work did not fill the tree";
    ASSERT_EQ(m_wizard.CurrentPage(), 1);
}

void InstallerTest::NextTo(int page)
{
    while (m_wizard.CurrentPage() < page) {
        const int from = m_wizard.CurrentPage();
        ASSERT_TRUE(m_wizard.PressNext()) << "on page " << from;
        const int now = m_wizard.CurrentPage();
        if (now >= 5)
            break;   // the install started; the caller waits for its end
        ASSERT_NE(now, from);
    }
}

bool InstallerTest::WaitForFinishPage(DWORD timeoutMs)
{
    return m_wizard.WaitForPage(6, timeoutMs) &&
           testutil::WaitFor([this] {
               return m_wizard.IsEnabled(1001) && (m_wizard.IsVisible(1012) || m_wizard.IsVisible(kFinishNotice));
           });
}

void InstallerTest::SavePage(const std::string& name)
{
    char folder[MAX_PATH] = {};
    if (!::GetEnvironmentVariableA("MELVORA_ARTIFACTS", folder, sizeof folder))
        return;
    m_wizard.Screenshot(std::string(folder) + "\\" + name + ".bmp");
}

std::vector<std::string> InstallerTest::StartedPrograms() const
{
    std::vector<std::string> lines;
    const std::string log = testutil::ReadFileBytes(m_startedLog);
    size_t from = 0;
    for (size_t at; (at = log.find('\n', from)) != std::string::npos; from = at + 1)
        lines.push_back(log.substr(from, at - from));
    return lines;
}

bool InstallerTest::WasStarted(const std::string& pathSuffix) const
{
    for (const std::string& line : StartedPrograms()) {
        if (line.size() >= pathSuffix.size() &&
            ::lstrcmpiA(line.substr(line.size() - pathSuffix.size()).c_str(), pathSuffix.c_str()) == 0)
            return true;
    }
    return false;
}

bool InstallerTest::InstallerStarted(const std::string& installerName) const
{
    char windows[MAX_PATH] = {};
    ::GetSystemWindowsDirectoryA(windows, MAX_PATH);
    const std::string folder = std::string(windows) + "\\Temp\\MELVORA-setup-";
    for (const std::string& line : StartedPrograms()) {
        // <folder><process id>-<n>\<k>\<installer name>
        const size_t name = line.rfind('\\');
        if (line.size() > folder.size() && ::lstrcmpiA(line.substr(0, folder.size()).c_str(), folder.c_str()) == 0 &&
            name != std::string::npos && ::lstrcmpiA(line.substr(name + 1).c_str(), installerName.c_str()) == 0 &&
            std::count(line.begin() + folder.size(), line.end(), '\\') == 2)
            return true;
    }
    return false;
}

std::string InstallerTest::ProgramFiles() const
{
    return Folder(CSIDL_PROGRAM_FILES);
}

std::string InstallerTest::DesktopLink() const
{
    return Folder(CSIDL_DESKTOP) + "\\" + kLinkName;
}

std::string InstallerTest::QuickLaunchLink() const
{
    return Folder(CSIDL_APPDATA) + "\\Microsoft\\Internet Explorer\\Quick Launch\\" + kLinkName;
}

std::string InstallerTest::StartMenuFolder() const
{
    return Folder(CSIDL_COMMON_PROGRAMS) + "\\MELVORA";
}

void InstallerTest::ClickControl(int id)
{
    RECT rc = {};
    ::GetWindowRect(m_wizard.Control(id), &rc);
    ClickScreen(POINT{(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2});
}

std::vector<DWORD> InstallerTest::ControlPixels(int id) const
{
    // Once the wizard has painted what it still had to: two looks a moment apart agree.
    std::vector<DWORD> pixels = ScreenPixels(id);
    for (int i = 0; i < 20; ++i) {
        ::Sleep(100);
        std::vector<DWORD> again = ScreenPixels(id);
        if (again == pixels)
            break;
        pixels.swap(again);
    }
    return pixels;
}

std::vector<DWORD> InstallerTest::ScreenPixels(int id) const
{
    RECT rc = {};
    ::GetWindowRect(m_wizard.Control(id), &rc);
    const int width = rc.right - rc.left, height = rc.bottom - rc.top;
    std::vector<DWORD> pixels;
    HDC hScreen = ::GetDC(nullptr);
    HDC hMem = ::CreateCompatibleDC(hScreen);
    BITMAPINFO bmi = TopDown32(width, height);
    void* bits = nullptr;
    HBITMAP hDib = ::CreateDIBSection(hScreen, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (hDib && width > 0 && height > 0) {
        HGDIOBJ hOld = ::SelectObject(hMem, hDib);
        ::BitBlt(hMem, 0, 0, width, height, hScreen, rc.left, rc.top, SRCCOPY);
        ::GdiFlush();
        const DWORD* p = static_cast<const DWORD*>(bits);
        pixels.assign(p, p + size_t(width) * height);
        ::SelectObject(hMem, hOld);
    }
    if (hDib)
        ::DeleteObject(hDib);
    ::DeleteDC(hMem);
    ::ReleaseDC(nullptr, hScreen);
    return pixels;
}

bool InstallerTest::HoverEmptyTreeSpace()
{
    HWND hTree = m_wizard.Control(1004);
    int visible = 0;
    for (LPARAM h = ::SendMessageA(hTree, TVM_GETNEXTITEM, TVGN_FIRSTVISIBLE, 0); h && visible < 100;
         h = ::SendMessageA(hTree, TVM_GETNEXTITEM, TVGN_NEXTVISIBLE, h))
        ++visible;
    const int itemHeight = int(::SendMessageA(hTree, TVM_GETITEMHEIGHT, 0, 0));
    RECT client = {};
    ::GetClientRect(hTree, &client);
    const int itemsBottom = visible * itemHeight;
    if (itemHeight <= 0 || itemsBottom > client.bottom - 6)
        return false;   // the items fill the tree
    POINT pt = {client.right / 2, (itemsBottom + client.bottom) / 2};
    ::MapWindowPoints(hTree, m_wizard.Dialog(), &pt, 1);
    m_wizard.HoverDialogPoint(pt.x, pt.y);
    return true;
}

std::string InstallerTest::RegText(HKEY root, const char* key, const char* name)
{
    const testutil::RegValue value = testutil::ReadRegValue(root, key, name);
    if (!value.exists)
        return "<missing>";
    std::string text = value.data;
    while (!text.empty() && text.back() == '\0')
        text.pop_back();
    return text;
}

std::vector<std::string> InstallerTest::ProductValueNames()
{
    std::vector<std::string> names;
    HKEY hKey = nullptr;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\MELVORA", 0, KEY_QUERY_VALUE, &hKey) != ERROR_SUCCESS)
        return names;
    for (DWORD i = 0; i < 1000; ++i) {
        char name[256] = {};
        DWORD length = sizeof name;
        if (::RegEnumValueA(hKey, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        names.push_back(name);
    }
    ::RegCloseKey(hKey);
    return names;
}

bool InstallerTest::Requested(const std::string& pathPrefix, const char* role) const
{
    for (const auto& entry : publisher::ReadLog(role)) {
        if (entry.path.compare(0, pathPrefix.size(), pathPrefix) == 0)
            return true;
    }
    return false;
}

Pixels ReadDib(HDC hdc, HBITMAP hSource, int width, int height)
{
    Pixels pixels;
    BITMAPINFO bmi = TopDown32(width, height);
    std::vector<DWORD> bits(size_t(width) * height);
    if (!::GetDIBits(hdc, hSource, 0, UINT(height), bits.data(), &bmi, DIB_RGB_COLORS))
        return pixels;
    pixels.width = width;
    pixels.height = height;
    for (DWORD p : bits)
        pixels.data.push_back(RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF));
    return pixels;
}

namespace {

Pixels CaptureClientOnce(HWND hDlg)
{
    RECT rc;
    ::GetClientRect(hDlg, &rc);
    POINT origin = {0, 0};
    ::ClientToScreen(hDlg, &origin);
    HDC hScreen = ::GetDC(nullptr);
    HDC hMem = ::CreateCompatibleDC(hScreen);
    HBITMAP hBitmap = ::CreateCompatibleBitmap(hScreen, rc.right, rc.bottom);
    HGDIOBJ hOld = ::SelectObject(hMem, hBitmap);
    ::BitBlt(hMem, 0, 0, rc.right, rc.bottom, hScreen, origin.x, origin.y, SRCCOPY);
    ::SelectObject(hMem, hOld);
    Pixels pixels = ReadDib(hMem, hBitmap, rc.right, rc.bottom);
    ::DeleteObject(hBitmap);
    ::DeleteDC(hMem);
    ::ReleaseDC(nullptr, hScreen);
    return pixels;
}

}  // namespace

// What the screen shows once the wizard has painted: a page shown a moment ago may still
// wait for its paint on a busy machine, so the picture counts once two in a row agree.
Pixels CaptureClient(HWND hDlg)
{
    ::RedrawWindow(hDlg, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    Pixels last = CaptureClientOnce(hDlg);
    for (int i = 0; i < 30; ++i) {
        ::Sleep(100);
        Pixels now = CaptureClientOnce(hDlg);
        if (now.width == last.width && now.height == last.height && now.data == last.data)
            break;
        last = std::move(now);
    }
    return last;
}

Pixels SkinOfSetup(int id)
{
    Pixels pixels;
    HMODULE hSetup = ::LoadLibraryExA(testutil::SetupExePath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!hSetup)
        return pixels;
    // Its PNG resource, decoded as the program decodes it; a BITMAP resource as it is.
    std::vector<BYTE> dib;
    HBITMAP hSkin = DecodePictureResource(hSetup, UINT(id), &dib)
                        ? BitmapFromPackedDib(dib)
                        : static_cast<HBITMAP>(
                              ::LoadImageA(hSetup, MAKEINTRESOURCEA(id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    if (hSkin) {
        BITMAP bm = {};
        ::GetObjectA(hSkin, sizeof bm, &bm);
        HDC hScreen = ::GetDC(nullptr);
        pixels = ReadDib(hScreen, hSkin, bm.bmWidth, bm.bmHeight);
        ::ReleaseDC(nullptr, hScreen);
        ::DeleteObject(hSkin);
    }
    ::FreeLibrary(hSetup);
    return pixels;
}

std::string SkinDifference(const Pixels& shown, const Pixels& skin, const std::vector<RECT>& covered)
{
    int differing = 0;
    std::string first;
    for (int y = 0; y < std::min({shown.height, skin.height, 359}); ++y) {
        for (int x = 0; x < std::min({shown.width, skin.width, 495}); ++x) {
            bool skip = false;
            for (const RECT& rc : covered)
                skip |= x >= rc.left && x < rc.right && y >= rc.top && y < rc.bottom;
            if (skip || shown.At(x, y) == skin.At(x, y))
                continue;
            if (differing++ == 0) {
                char text[96];
                snprintf(text, sizeof text, "first at (%d, %d): 0x%06lX instead of 0x%06lX", x, y,
                         static_cast<unsigned long>(shown.At(x, y)), static_cast<unsigned long>(skin.At(x, y)));
                first = text;
            }
        }
    }
    return differing ? std::to_string(differing) + " pixels differ, " + first : std::string();
}

}  // namespace e2e
