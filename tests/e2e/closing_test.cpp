// Ending the wizard other than with Finish: before the install nothing may be left behind;
// while it installs nothing may end it.
#include "InstallerFixture.h"

namespace e2e {
namespace {

const Component kExtras{"/MELVORA Extras/extras.exe", "ExtrasSetup.exe", "추가 기능", "추가 기능 설명",
                        "/pages/extras.html", "0"};

class ClosingTest : public InstallerTest {
protected:
    // Nothing of an install: no folder, no registry value but the partner id, no shortcut,
    // no version query, no report, nothing started.
    void ExpectNothingLeftBehind()
    {
        EXPECT_FALSE(testutil::FileExists(InstallDir()));
        EXPECT_EQ(ProductValueNames(), std::vector<std::string>{"pid"});
        EXPECT_EQ(RegText(HKEY_CURRENT_USER, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", "MELVORA"),
                  "<missing>");
        EXPECT_FALSE(testutil::KeyExists(HKEY_LOCAL_MACHINE,
                                         "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\MELVORA"));
        for (const std::string& link : {DesktopLink(), QuickLaunchLink(), StartMenuFolder()})
            EXPECT_FALSE(testutil::FileExists(link)) << link;
        EXPECT_FALSE(Requested("/app/ver.php", "stats"));
        EXPECT_FALSE(LogSent());
        EXPECT_TRUE(StartedPrograms().empty());
    }
};

TEST_F(ClosingTest, CloseBoxOrEscapeOnPagesOneToFourOnlyEndsTheDialog)
{
    ServePartner("early", {kExtras});
    for (int page = 1; page <= 4; ++page) {
        for (bool escape : {false, true}) {
            SCOPED_TRACE(std::string(escape ? "Escape" : "close box") + " on page " + std::to_string(page));
            StartWizard("early");
            NextTo(page);
            ASSERT_EQ(m_wizard.CurrentPage(), page);
            if (escape)
                m_wizard.PressEscape();
            else
                m_wizard.ClickCloseBox();
            EXPECT_EQ(m_wizard.WaitForExit(), 3);   // cancelled
            m_wizard.Terminate();
            ExpectNothingLeftBehind();
        }
    }
}

// Every way of closing or moving on while the install runs: nothing may end the wizard or
// move it on before the install is done, and nothing the install needs may be released.
TEST_F(ClosingTest, NothingEndsTheWizardWhileItInstalls)
{
    ServePartner("slow", {kExtras});
    // The player trickles in for several seconds, so page 5 lasts that long.
    ASSERT_TRUE(publisher::Fault("/app/ver_file/slow/1.0.3/MELVORA.exe", "trickle", "chunk=256&interval=100"));
    StartWizard("slow");
    NextTo(5);
    ASSERT_EQ(m_wizard.CurrentPage(), 5);
    EXPECT_FALSE(m_wizard.IsEnabled(1000));
    EXPECT_FALSE(m_wizard.IsEnabled(1001));
    EXPECT_FALSE(m_wizard.IsVisible(IDCANCEL));

    const auto stillInstalling = [this] {
        // Give the attempt time to take effect, if it were to.
        testutil::WaitFor([this] { return !m_wizard.IsRunning() || m_wizard.CurrentPage() != 5; }, 400);
        return m_wizard.IsRunning() && m_wizard.CurrentPage() == 5;
    };
    m_wizard.ClickCloseBox();
    EXPECT_TRUE(stillInstalling()) << "close box";
    m_wizard.PressAltF4();
    EXPECT_TRUE(stillInstalling()) << "Alt+F4";
    m_wizard.PressEscape();
    EXPECT_TRUE(stillInstalling()) << "Escape";
    m_wizard.PressEnter();
    EXPECT_TRUE(stillInstalling()) << "Enter";
    ::PostMessageA(m_wizard.Dialog(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(stillInstalling()) << "WM_CLOSE";
    ClickControl(1001);
    EXPECT_TRUE(stillInstalling()) << "a click on the disabled Next";
    // Automation tools press buttons with BM_CLICK, which a button carries out even when
    // it is disabled.
    for (int button : {1001, 1000}) {
        DWORD_PTR ignored = 0;
        ::SendMessageTimeoutA(m_wizard.Control(button), BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, 10000, &ignored);
        EXPECT_TRUE(stillInstalling()) << "BM_CLICK on " << button;
    }
    // All of that happened while the player was still arriving.
    EXPECT_FALSE(InstallerStarted("ExtrasSetup.exe"));

    ASSERT_TRUE(WaitForFinishPage()) << "the install did not reach the finish page";
    EXPECT_TRUE(m_wizard.IsRunning());
    EXPECT_TRUE(testutil::WaitFor([&] { return InstallerStarted("ExtrasSetup.exe"); }));
    EXPECT_EQ(testutil::ReadFileBytes(InstallDir() + "\\MELVORA.exe"), m_standIn);
    EXPECT_EQ(RegText(HKEY_CURRENT_USER, "Software\\MELVORA", "dellog_ver"), "1.0.3");

    // Back is hidden and disabled on the finish page; pressed anyway it changes nothing.
    DWORD_PTR ignored = 0;
    ::SendMessageTimeoutA(m_wizard.Control(1000), BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, 10000, &ignored);
    ASSERT_TRUE(m_wizard.PressNext());   // "마침"
    EXPECT_EQ(m_wizard.WaitForExit(), 0);
    EXPECT_TRUE(testutil::FileExists(DesktopLink()));
    EXPECT_TRUE(LogSent());
    EXPECT_TRUE(testutil::WaitFor([&] { return WasStarted("\\MELVORA\\MELVORA.exe"); }));
}

// A WM_QUIT ends the dialog's loop without any close handling; the program still lets
// the install finish before it releases what the install uses, and then ends cleanly. The
// install keeps to the user's choice of components although the wizard is closing.
TEST_F(ClosingTest, QuitWhileInstallingWaitsForTheInstallToEnd)
{
    const Component unwanted{"/MELVORA Tools/tools.exe", "ToolsSetup.exe", "도구", "도구 설명", "/pages/tools.html",
                             "0"};
    ServePartner("quit", {kExtras, unwanted});
    ASSERT_TRUE(publisher::Fault("/app/ver_file/quit/1.0.3/MELVORA.exe", "trickle", "chunk=512&interval=100"));
    StartWizard("quit");
    NextTo(3);
    WizardDriver::TreeItem item;
    ASSERT_TRUE(m_wizard.FindTreeItem(unwanted.name, &item));
    ASSERT_TRUE(m_wizard.ClickStateIcon(item.hItem));
    ASSERT_TRUE(testutil::WaitFor([&] { return m_wizard.CheckState(item.hItem) == 0; }));
    NextTo(5);
    ASSERT_EQ(m_wizard.CurrentPage(), 5);
    ASSERT_TRUE(::PostThreadMessageA(::GetWindowThreadProcessId(m_wizard.Dialog(), nullptr), WM_QUIT, 0, 0));
    EXPECT_EQ(m_wizard.WaitForExit(60000), 0);
    // Everything after the slow download was still done, components included.
    EXPECT_EQ(testutil::ReadFileBytes(InstallDir() + "\\MELVORA.exe"), m_standIn);
    EXPECT_EQ(RegText(HKEY_CURRENT_USER, "Software\\MELVORA", "dellog_ver"), "1.0.3");
    EXPECT_TRUE(Requested("/files/ExtrasSetup.exe"));
    EXPECT_FALSE(Requested("/files/ToolsSetup.exe"));
    // No finish actions: the wizard never closed on its finish page.
    EXPECT_FALSE(LogSent());
    EXPECT_FALSE(testutil::FileExists(DesktopLink()));
}

}  // namespace
}  // namespace e2e
