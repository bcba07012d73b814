// The wizard as it starts: window and control geometry, the first page and its skin, the
// labels' own fonts, the terms-of-use text in the rich edit, a failing terms server, ending
// the program from the first page, stopping a running player, the one component-list
// request, and a second start while the wizard runs.
#include "InstallerFixture.h"
#include "support/RunningPlayer.h"

#include <algorithm>
#include <cstdio>
#include <set>

namespace e2e {
namespace {

const char kNextCaption[] = "다음";

// A window's text without sending it a message, so it can be read while its thread is busy.
std::string TextWithoutMessage(HWND hWnd)
{
    wchar_t wide[256] = {};
    const int n = ::InternalGetWindowText(hWnd, wide, 256);
    char text[512] = {};
    ::WideCharToMultiByte(CP_ACP, 0, wide, n, text, sizeof text - 1, nullptr, nullptr);
    return text;
}

// A control's whole text, however long (the driver's reader stops at 4 KiB).
std::string LongText(HWND hWnd, size_t capacity)
{
    std::string buffer(capacity, '\0');
    DWORD_PTR n = 0;
    if (!::SendMessageTimeoutA(hWnd, WM_GETTEXT, capacity, reinterpret_cast<LPARAM>(&buffer[0]), SMTO_ABORTIFHUNG,
                               30000, &n))
        return std::string();
    buffer.resize(std::min(size_t(n), capacity));
    return buffer;
}

std::vector<publisher::RequestLogEntry> ComponentListRequests()
{
    std::vector<publisher::RequestLogEntry> found;
    for (const auto& entry : publisher::ReadLog("product")) {
        if (entry.path.compare(0, 20, "/app/setup/setup.php") == 0)
            found.push_back(entry);
    }
    return found;
}

class DialogStartTest : public InstallerTest {
protected:
    // Lets the wizard handle what it was sent and posted so far.
    void Settle()
    {
        DWORD_PTR ignored = 0;
        ::SendMessageTimeoutA(m_wizard.Dialog(), WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 10000, &ignored);
        ::Sleep(300);
        ::SendMessageTimeoutA(m_wizard.Dialog(), WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 10000, &ignored);
    }

    // Nothing of the finish: no report, no install folder, no shortcut, nothing started.
    void ExpectNoFinishActions()
    {
        EXPECT_TRUE(Requests("log").empty());
        EXPECT_TRUE(Requests("stats").empty());
        EXPECT_FALSE(testutil::FileExists(InstallDir()));
        EXPECT_FALSE(testutil::FileExists(DesktopLink()));
        EXPECT_FALSE(testutil::FileExists(QuickLaunchLink()));
        EXPECT_FALSE(testutil::FileExists(StartMenuFolder()));
        EXPECT_TRUE(StartedPrograms().empty());
    }
};

TEST_F(DialogStartTest, OpensCentredAt500By389WithEveryControlAtItsPixelRectangle)
{
    ServePartner("abc", {});
    StartWizard("abc");

    RECT window;
    ASSERT_TRUE(::GetWindowRect(m_wizard.Dialog(), &window));
    EXPECT_EQ(window.right - window.left, 500);
    EXPECT_EQ(window.bottom - window.top, 389);
    RECT area;
    ASSERT_TRUE(::SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0));
    EXPECT_EQ(window.left, area.left + (area.right - area.left - 500) / 2);
    EXPECT_EQ(window.top, area.top + (area.bottom - area.top - 389) / 2);

    struct Place {
        int id, x, y, width, height;
    };
    const Place places[] = {
        {1002, 24, 118, 448, 174}, {1004, 24, 81, 220, 104}, {1008, 0, 0, 0, 0},      {1005, 249, 75, 220, 110},
        {1006, 24, 190, 220, 12},  {1007, 259, 90, 200, 50}, {1010, 22, 245, 200, 12}, {1009, 22, 267, 452, 18},
        {1000, 248, 327, 75, 23},  {2, 410, 327, 75, 23},    {1001, 325, 327, 75, 23}, {101, 175, 139, 12, 12},
        {103, 175, 166, 12, 12},   {1011, 190, 139, 156, 12}, {1012, 190, 166, 156, 12},
    };
    for (const Place& p : places) {
        ASSERT_NE(m_wizard.Control(p.id), nullptr) << "control " << p.id;
        const RECT rc = m_wizard.ControlRect(p.id);
        EXPECT_EQ(rc.left, p.x) << "control " << p.id;
        EXPECT_EQ(rc.top, p.y) << "control " << p.id;
        EXPECT_EQ(rc.right - rc.left, p.width) << "control " << p.id;
        EXPECT_EQ(rc.bottom - rc.top, p.height) << "control " << p.id;
    }
}

TEST_F(DialogStartTest, WelcomePageShowsItsSkinWithOnlyNextAndCancelAndBothOptionsTickedButHidden)
{
    ServePartner("abc", {});
    StartWizard("abc");
    Settle();
    SavePage("dialog-welcome");

    // Among the dialog's own children only Next, Cancel and the browser are shown; the
    // browser has a zero size (checked with the layout), so it cannot be seen.
    std::set<int> shown;
    for (HWND h = ::GetWindow(m_wizard.Dialog(), GW_CHILD); h; h = ::GetWindow(h, GW_HWNDNEXT)) {
        if (::GetWindowLongA(h, GWL_STYLE) & WS_VISIBLE)
            shown.insert(::GetDlgCtrlID(h));
    }
    EXPECT_EQ(shown, (std::set<int>{IDCANCEL, 1001, 1008}));
    EXPECT_EQ(m_wizard.Text(1001), kNextCaption);
    EXPECT_TRUE(m_wizard.IsEnabled(1001));
    EXPECT_TRUE(m_wizard.IsEnabled(IDCANCEL));

    for (int id : {101, 103}) {
        ASSERT_NE(m_wizard.Control(id), nullptr) << "check box " << id;
        EXPECT_TRUE(m_wizard.IsChecked(id)) << "check box " << id;
        EXPECT_FALSE(m_wizard.IsVisible(id)) << "check box " << id;
    }
    // The browser starts without a location: nothing is loaded before page 3.
    EXPECT_EQ(m_wizard.BrowserUrl(), "");
    EXPECT_FALSE(Requested("/Lisence/agree.php"));
    EXPECT_EQ(m_wizard.Text(1011), "바탕화면 바로가기 만들기");
    EXPECT_EQ(m_wizard.Text(1012), "시작메뉴 등록하기");

    // The page-1 skin fills the client area wherever no shown control covers it.
    const Pixels skin = SkinOfSetup(129);
    ASSERT_EQ(skin.width, 495);
    ASSERT_EQ(skin.height, 359);
    const Pixels client = CaptureClient(m_wizard.Dialog());
    EXPECT_EQ(SkinDifference(client, skin, {m_wizard.ControlRect(1001), m_wizard.ControlRect(IDCANCEL)}), "");
}

// A label's text as this process draws it: the static's own way (left aligned, tabs
// expanded, words wrapped) on the label's background, in a font whose LOGFONT is the
// default GUI font's with the given face and character height.
Pixels DrawLabel(const char* text, int width, int height, COLORREF background, COLORREF color, const char* face,
                 int pixelHeight)
{
    LOGFONTA lf = {};
    ::GetObjectA(::GetStockObject(DEFAULT_GUI_FONT), sizeof lf, &lf);
    lstrcpynA(lf.lfFaceName, face, LF_FACESIZE);
    lf.lfHeight = -pixelHeight;
    HFONT hFont = ::CreateFontIndirectA(&lf);
    HDC hScreen = ::GetDC(nullptr);
    HDC hMem = ::CreateCompatibleDC(hScreen);
    HBITMAP hBitmap = ::CreateCompatibleBitmap(hScreen, width, height);
    HGDIOBJ hOldBitmap = ::SelectObject(hMem, hBitmap);
    HGDIOBJ hOldFont = ::SelectObject(hMem, hFont);
    RECT rc = {0, 0, width, height};
    HBRUSH hBrush = ::CreateSolidBrush(background);
    ::FillRect(hMem, &rc, hBrush);
    ::DeleteObject(hBrush);
    ::SetTextColor(hMem, color);
    ::SetBkMode(hMem, TRANSPARENT);
    ::DrawTextA(hMem, text, -1, &rc, DT_LEFT | DT_EXPANDTABS | DT_WORDBREAK);
    ::SelectObject(hMem, hOldFont);
    ::SelectObject(hMem, hOldBitmap);
    Pixels pixels = ReadDib(hMem, hBitmap, width, height);
    ::DeleteObject(hBitmap);
    ::DeleteDC(hMem);
    ::ReleaseDC(nullptr, hScreen);
    ::DeleteObject(hFont);
    return pixels;
}

// The part of a capture at rc.
Pixels Crop(const Pixels& whole, const RECT& rc)
{
    Pixels part;
    part.width = rc.right - rc.left;
    part.height = rc.bottom - rc.top;
    for (int y = rc.top; y < rc.bottom; ++y)
        for (int x = rc.left; x < rc.right; ++x)
            part.data.push_back(whole.At(x, y));
    return part;
}

TEST_F(DialogStartTest, TheTermsLabelShowsItsOwnElevenPixelFaceNotTheDialogsFont)
{
    ServePartner("abc", {});
    StartWizard("abc");
    NextTo(3);
    Settle();

    const RECT rc = m_wizard.ControlRect(1006);
    const Pixels shown = Crop(CaptureClient(m_wizard.Dialog()), rc);
    const COLORREF page = RGB(236, 233, 216);
    const COLORREF text = ::GetSysColor(COLOR_WINDOWTEXT);
    const Pixels own = DrawLabel("이용 약관", 220, 12, page, text, "돋움", 11);
    // The dialog's font, 9-point Gulim, is 12 pixels high: the two must look different
    // for this test to tell them apart.
    const Pixels dialogs = DrawLabel("이용 약관", 220, 12, page, text, "굴림", 12);
    ASSERT_NE(own.data, dialogs.data);
    EXPECT_EQ(shown.data, own.data);
}

// Korean terms over many lines, with syllables whose second byte is an ASCII letter
// (똠, 햏, 뷁), blank lines and tabs, longer than a rich edit takes from the keyboard
// (32,767 characters) unless told otherwise, and beginning as RTF does. Wine's RichEdit
// 1.0 keeps line ends as it was given them: "\r\n", a lone "\r" and a lone "\n" all come
// back unchanged (and each shows as a line break), so the text must come back exactly as
// served: read as RTF, its markup would vanish and its Korean turn into other characters.
std::string LongKoreanTerms()
{
    std::string text = "{\\rtf1\\ansi{\\b 멜보라 플레이어 이용 약관}\\par\r\n\r\n서문: 유닉스 줄 끝\n옛 맥 줄 끝\r본문\r\n\r\n";
    for (int article = 1; text.size() < 80000; ++article) {
        const std::string n = std::to_string(article);
        text += "제" + n + "조 (목적) 이 약관은 멜보라 플레이어의 이용 조건을 정합니다.\r\n";
        text += "\t① 똠방각하 햏 뷁: 회원은 서비스를 성실히 이용하여야 합니다 (" + n + ").\r\n";
        text += "\t② The service is provided as is; 음악은 개인 감상용입니다.\r\n\r\n";
    }
    return text + "부칙: 이 약관은 2024년 1월 1일부터 시행합니다.";
}

TEST_F(DialogStartTest, TermsTextReachesTheRichEditByteForByteAndIsNeverReadAsRtf)
{
    ServePartner("abc", {});
    const std::string terms = LongKoreanTerms();
    ASSERT_TRUE(publisher::Put("/Lisence/melvora_licence.txt", terms));
    StartWizard("abc");

    const std::string shown = LongText(m_wizard.Control(1002), terms.size() * 2 + 16);
    ASSERT_EQ(shown.size(), terms.size());
    size_t at = 0;
    while (at < terms.size() && shown[at] == terms[at])
        ++at;
    EXPECT_EQ(at, terms.size()) << "first difference at byte " << at;
}

// Windows looks beside a program first for every DLL that is not a KnownDLL; Wine does
// for a program it is told to prefer native DLLs for. Not planted: uxtheme.dll, which
// Wine loads before the program's first instruction, and version.dll, which Wine's own
// user32 imports.
TEST_F(DialogStartTest, DllsPlantedBesideTheProgramAreNotLoadedEvenWhenPreferred)
{
    std::string planted = testutil::ProgramPath("planted");
    planted.replace(planted.size() - 4, 4, ".dll");
    const char kOverrides[] = "Software\\Wine\\AppDefaults\\Setup_plant.exe\\DllOverrides";
    HKEY hOverrides = nullptr;
    ASSERT_EQ(::RegCreateKeyExA(HKEY_CURRENT_USER, kOverrides, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &hOverrides,
                                nullptr), ERROR_SUCCESS);
    for (const char* name :
         {"riched32", "riched20", "wininet", "oleacc", "comctl32", "wintrust", "crypt32", "windowscodecs"}) {
        ASSERT_TRUE(testutil::CopyFileTo(planted, m_dir / (std::string(name) + ".dll")));
        ::RegSetValueExA(hOverrides, name, 0, REG_SZ, reinterpret_cast<const BYTE*>("native,builtin"), 15);
    }
    ::RegCloseKey(hOverrides);
    ServePartner("plant", {});
    StartWizard("plant");
    testutil::DeleteKeyTree(HKEY_CURRENT_USER, "Software\\Wine\\AppDefaults\\Setup_plant.exe");
    EXPECT_TRUE(m_wizard.AccessibleOf(101).ok);   // the check box's own object comes from oleacc
    for (const std::string& name : testutil::FolderEntries(m_dir.path()))
        EXPECT_EQ(name.find(".loaded"), std::string::npos) << name;
}

TEST_F(DialogStartTest, FailingTermsServerStillOpensAtOnceAndLeavesTheTermsPageEmpty)
{
    ServePartner("abc", {});
    ASSERT_TRUE(publisher::Fault("/Lisence/melvora_licence.txt", "reset", "", "product"));

    const DWORD start = ::GetTickCount();
    ASSERT_TRUE(m_wizard.Start(m_dir.path(), "Setup_abc.exe"));
    ASSERT_TRUE(m_wizard.WaitForWizard());
    ASSERT_TRUE(testutil::WaitFor([&] { return TextWithoutMessage(m_wizard.Control(1001)) == kNextCaption; }));
    EXPECT_LT(::GetTickCount() - start, 5000u) << "page 1 came late";
    EXPECT_TRUE(Requested("/Lisence/melvora_licence.txt"));

    ASSERT_TRUE(m_wizard.WaitForTree());
    NextTo(2);
    EXPECT_TRUE(m_wizard.IsVisible(1002));
    EXPECT_EQ(m_wizard.Text(1002), "");
}

TEST_F(DialogStartTest, CancelOrEscapeOnTheWelcomePageEndsTheProgramWithoutFinishActions)
{
    ServePartner("abc", {});
    for (const bool escape : {false, true}) {
        SCOPED_TRACE(escape ? "Escape" : "Cancel");
        m_wizard.Terminate();
        ASSERT_TRUE(publisher::ClearLog());
        StartWizard("abc");
        if (escape)
            m_wizard.PressEscape();
        else
            ASSERT_TRUE(m_wizard.PressCancel());
        EXPECT_EQ(m_wizard.WaitForExit(10000), 3);   // cancelled
        ExpectNoFinishActions();
    }
}

TEST_F(DialogStartTest, EnterOnTheWelcomePagePressesNextInsteadOfEndingTheProgram)
{
    ServePartner("abc", {});
    StartWizard("abc");
    m_wizard.PressEnter();
    Settle();
    ASSERT_TRUE(m_wizard.IsRunning());
    EXPECT_EQ(m_wizard.CurrentPage(), 2);
}

TEST_F(DialogStartTest, RunningPlayerIsEndedBeforeTheWelcomePageButNotOneOfAnotherCase)
{
    ServePartner("abc", {});
    RunningPlayer player(m_dir / "player", "MELVORA.exe");
    RunningPlayer otherCase(m_dir / "other", "melvora.exe");
    ASSERT_TRUE(player.Started());
    ASSERT_TRUE(otherCase.Started());

    ASSERT_TRUE(m_wizard.Start(m_dir.path(), "Setup_abc.exe"));
    ASSERT_TRUE(m_wizard.WaitForWizard());
    // Polled without messages, so the answer is the state at the moment page 1 is set up.
    bool playerRanOnWelcomePage = true;
    ASSERT_TRUE(testutil::WaitFor([&] {
        if (TextWithoutMessage(m_wizard.Control(1001)) != kNextCaption)
            return false;
        playerRanOnWelcomePage = player.IsRunning();
        return true;
    }));
    EXPECT_FALSE(playerRanOnWelcomePage);
    ASSERT_TRUE(m_wizard.WaitForTree());
    EXPECT_TRUE(otherCase.IsRunning());
}

TEST_F(DialogStartTest, ComponentListIsFetchedOnceForTheFileNamesPartnerAfterTheWizardHasAppeared)
{
    const Component extra{"/MELVORA Extras/extras.exe", "ExtrasSetup.exe", "추가 기능", "설명", "/pages/extras.html",
                          "0"};
    ServePartner("q7z", {extra});
    // A slow answer keeps the start-up work waiting, so the test can look at the wizard meanwhile.
    ASSERT_TRUE(publisher::Fault("/app/setup/setup.php?pid=q7z", "delay", "ms=3000", "product"));

    ASSERT_TRUE(m_wizard.Start(m_dir.path(), "Setup_q7z.exe"));
    ASSERT_TRUE(testutil::WaitFor([] { return !ComponentListRequests().empty(); }, 30000));
    // The list is being fetched: the wizard must already be on screen, on page 1, painted.
    ASSERT_TRUE(m_wizard.WaitForWizard(2000));
    EXPECT_EQ(TextWithoutMessage(m_wizard.Control(1001)), kNextCaption);
    const Pixels skin = SkinOfSetup(129);
    EXPECT_EQ(SkinDifference(CaptureClient(m_wizard.Dialog()), skin,
                             {m_wizard.ControlRect(1001), m_wizard.ControlRect(IDCANCEL)}),
              "");

    ASSERT_TRUE(m_wizard.WaitForTree());
    EXPECT_EQ(m_wizard.TreeItems().size(), 4u);
    // Going through the pages asks for nothing more.
    NextTo(3);
    ASSERT_TRUE(m_wizard.PressBack());
    ASSERT_TRUE(m_wizard.PressBack());
    Settle();
    const auto requests = ComponentListRequests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].path, "/app/setup/setup.php?pid=q7z");
}

TEST_F(DialogStartTest, ASecondStartWhileASetupRunsOnlyBringsItsWizardToTheFront)
{
    ServePartner("abc", {});
    StartWizard("abc");
    NextTo(2);
    // Started after the first setup stopped the player: the second start must not stop it.
    RunningPlayer player(m_dir / "player", "MELVORA.exe");
    ASSERT_TRUE(player.Started());
    // The wizard minimised, and a window of the test's own in front.
    ::ShowWindow(m_wizard.Dialog(), SW_MINIMIZE);
    ASSERT_TRUE(testutil::WaitFor([&] { return ::IsIconic(m_wizard.Dialog()) != FALSE; }));
    struct FrontWindow {
        HWND hWnd = ::CreateWindowExA(0, "STATIC", "in front", WS_POPUP | WS_VISIBLE, 0, 0, 200, 100, nullptr,
                                      nullptr, nullptr, nullptr);
        ~FrontWindow() { ::DestroyWindow(hWnd); }
    } front;
    const HWND hFront = front.hWnd;
    ASSERT_NE(hFront, nullptr);
    ::SetForegroundWindow(hFront);
    EXPECT_TRUE(testutil::WaitFor([&] { return ::GetForegroundWindow() == hFront; }));
    ASSERT_TRUE(publisher::ClearLog());

    const std::string second = m_dir / "Setup_xyz.exe";
    ASSERT_TRUE(testutil::CopyFileTo(testutil::SetupExePath(), second));
    EXPECT_EQ(testutil::RunAndWait("\"" + second + "\"", 15000), 4);   // another setup runs

    EXPECT_TRUE(testutil::WaitFor(
        [&] { return !::IsIconic(m_wizard.Dialog()) && ::GetForegroundWindow() == m_wizard.Dialog(); }));
    EXPECT_TRUE(player.IsRunning());
    EXPECT_EQ(RegText(HKEY_CURRENT_USER, "Software\\MELVORA", "pid"), "abc");
    EXPECT_TRUE(publisher::ReadLog().empty());
    ASSERT_TRUE(m_wizard.IsRunning());
    EXPECT_EQ(m_wizard.CurrentPage(), 2);
}

TEST_F(DialogStartTest, AHeldOneSetupMutexWithoutAWizardIsSaidInsteadOfEndingSilently)
{
    // Taken first by a program other than a setup (any user may make it), or held by the
    // setup of another user: no wizard of this user ever shows.
    const HANDLE hMutex = ::CreateMutexA(nullptr, FALSE, "Global\\MELVORA Setup");
    ASSERT_TRUE(m_wizard.Start(m_dir.path(), "Setup_abc.exe"));
    HWND hBox = nullptr;
    EXPECT_TRUE(testutil::WaitFor([&] { return (hBox = ::FindWindowA("#32770", "MELVORA")) != nullptr; }, 15000));
    // The box is found as soon as it is made; its text follows a moment later.
    testutil::WaitFor([&] { return !TextWithoutMessage(::GetDlgItem(hBox, 0xFFFF)).empty(); }, 5000);
    EXPECT_EQ(TextWithoutMessage(::GetDlgItem(hBox, 0xFFFF)), "이미 설치 프로그램이 실행 중입니다.");
    ::PostMessageA(hBox, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(m_wizard.WaitForExit(10000), 4);   // another setup is running
    // An unattended install says nothing; its exit code tells.
    ASSERT_TRUE(m_wizard.Start(m_dir.path(), "Setup_abc.exe", "/S"));
    EXPECT_EQ(m_wizard.WaitForExit(10000), 4);
    EXPECT_FALSE(::FindWindowA("#32770", "MELVORA"));
    EXPECT_EQ(RegText(HKEY_CURRENT_USER, "Software\\MELVORA", "pid"), "<missing>");
    ::CloseHandle(hMutex);
}

}  // namespace
}  // namespace e2e
