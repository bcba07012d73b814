// The finish page: the two shortcut boxes, cleared with real clicks, and closing the
// wizard there by other means than Finish.
#include "InstallerFixture.h"

namespace e2e {
namespace {

class FinishTest : public InstallerTest {
protected:
    // A whole install without optional components, up to the finish page.
    void InstallToFinishPage(const std::string& pid)
    {
        ServePartner(pid, {});
        StartWizard(pid);
        NextTo(5);
        ASSERT_TRUE(WaitForFinishPage()) << "the install did not reach the finish page";
        ASSERT_TRUE(m_wizard.IsVisible(101));
        ASSERT_TRUE(m_wizard.IsVisible(103));
        EXPECT_TRUE(m_wizard.IsChecked(101));
        EXPECT_TRUE(m_wizard.IsChecked(103));
    }

    void ClearBox(int id)
    {
        ClickControl(id);
        ASSERT_TRUE(testutil::WaitFor([&] { return !m_wizard.IsChecked(id); })) << "box " << id;
    }

    void ExpectCloseActsAsFinish(const std::string& pid, void (WizardDriver::*close)())
    {
        InstallToFinishPage(pid);
        (m_wizard.*close)();
        EXPECT_EQ(m_wizard.WaitForExit(), 0);
        EXPECT_TRUE(testutil::FileExists(DesktopLink()));
        EXPECT_TRUE(testutil::FileExists(QuickLaunchLink()));
        EXPECT_TRUE(testutil::FileExists(StartMenuLink()));
        ExpectReportAndPlayer();
    }

    // However the shortcuts went, the report is sent and the player started.
    void ExpectReportAndPlayer()
    {
        EXPECT_TRUE(LogSent());
        EXPECT_TRUE(testutil::WaitFor([&] { return WasStarted("\\MELVORA\\MELVORA.exe"); }));
    }
};

TEST_F(FinishTest, BothBoxesClearedMakeNoShortcutButTheStartMenuFolder)
{
    InstallToFinishPage("bare");
    ClearBox(101);
    ClearBox(103);
    ASSERT_TRUE(m_wizard.PressNext());
    EXPECT_EQ(m_wizard.WaitForExit(), 0);
    EXPECT_FALSE(testutil::FileExists(DesktopLink()));
    EXPECT_FALSE(testutil::FileExists(QuickLaunchLink()));
    EXPECT_FALSE(testutil::FileExists(StartMenuLink()));
    EXPECT_TRUE(testutil::FileExists(StartMenuFolder()));
    ExpectReportAndPlayer();
}

TEST_F(FinishTest, DesktopBoxClearedLeavesOnlyTheStartMenuShortcut)
{
    InstallToFinishPage("menu");
    ClearBox(101);
    EXPECT_TRUE(m_wizard.IsChecked(103));
    ASSERT_TRUE(m_wizard.PressNext());
    EXPECT_EQ(m_wizard.WaitForExit(), 0);
    EXPECT_FALSE(testutil::FileExists(DesktopLink()));
    EXPECT_FALSE(testutil::FileExists(QuickLaunchLink()));
    EXPECT_TRUE(testutil::FileExists(StartMenuLink()));
    ExpectReportAndPlayer();
}

TEST_F(FinishTest, CloseBoxOnFinishPageActsAsFinish)
{
    ExpectCloseActsAsFinish("closebox", &WizardDriver::ClickCloseBox);
}

TEST_F(FinishTest, AltF4OnFinishPageActsAsFinish)
{
    ExpectCloseActsAsFinish("altf4", &WizardDriver::PressAltF4);
}

}  // namespace
}  // namespace e2e
