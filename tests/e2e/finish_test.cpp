// The finish page: the two shortcut boxes, cleared with real clicks or from the keyboard
// alone, what assistive technology is told of them, and closing the wizard there by other
// means than Finish.
#include "InstallerFixture.h"

#include <oleacc.h>

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
        const int label = LabelOf(id);
        const std::vector<DWORD> labelBefore = ControlPixels(label);
        ClickControl(id);
        ASSERT_TRUE(testutil::WaitFor([&] { return !m_wizard.IsChecked(id); })) << "box " << id;
        // The click gave the box the focus, but a mouse user sees no focus cue on its label.
        EXPECT_EQ(m_wizard.FocusedId(), id);
        EXPECT_TRUE(ControlPixels(label) == labelBefore) << "label " << label;
    }

    static int LabelOf(int box) { return box == 101 ? 1011 : 1012; }

    // A box as assistive technology sees it: a check box named by its label.
    void ExpectAccessibleBox(int id, bool checked, bool focused)
    {
        const WizardDriver::Accessible box = m_wizard.AccessibleOf(id);
        ASSERT_TRUE(box.ok) << "box " << id;
        EXPECT_EQ(box.name, m_wizard.Text(LabelOf(id)));
        EXPECT_EQ(box.role, ROLE_SYSTEM_CHECKBUTTON) << "box " << id;
        EXPECT_EQ((box.state & STATE_SYSTEM_CHECKED) != 0, checked) << "box " << id;
        EXPECT_EQ((box.state & STATE_SYSTEM_FOCUSED) != 0, focused) << "box " << id;
        EXPECT_TRUE(box.state & STATE_SYSTEM_FOCUSABLE) << "box " << id;
        EXPECT_FALSE(box.state & STATE_SYSTEM_INVISIBLE) << "box " << id;
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

// Enter through the pages, Space on a component in the options tree, Tab and Space on the
// desktop box, Tab round to 마침 and Enter: no mouse anywhere.
TEST_F(FinishTest, TheWholeWizardByKeyboardAlone)
{
    const Component dropped{"/MELVORA Extras/extras.exe", "ExtrasSetup.exe", "추가 기능", "추가 기능 설명",
                            "/pages/extras.html", "0"};
    const Component kept{"/MELVORA Tools/tools.exe", "ToolsSetup.exe", "도구", "도구 설명", "/pages/tools.html",
                         "0"};
    ServePartner("keys", {dropped, kept});
    StartWizard("keys");
    ASSERT_TRUE(m_wizard.TakeKeyboard());
    ASSERT_EQ(m_wizard.FocusedId(), 1001);
    m_wizard.Key(VK_RETURN);
    ASSERT_TRUE(m_wizard.WaitForPage(2));
    m_wizard.Key(VK_RETURN);
    ASSERT_TRUE(m_wizard.WaitForPage(3));

    WizardDriver::TreeItem drop, keep;
    ASSERT_TRUE(m_wizard.FindTreeItem(dropped.name, &drop));
    ASSERT_TRUE(m_wizard.FindTreeItem(kept.name, &keep));
    ASSERT_TRUE(m_wizard.TabTo(1004)) << "the options tree is out of reach";
    for (int i = 0; i < 8 && m_wizard.SelectedItem() != drop.hItem; ++i)
        m_wizard.Key(VK_DOWN);
    ASSERT_EQ(m_wizard.SelectedItem(), drop.hItem);
    m_wizard.Key(VK_SPACE);
    EXPECT_EQ(m_wizard.CheckState(drop.hItem), 0);   // once: the key's character toggles nothing more
    EXPECT_EQ(m_wizard.SelectedItem(), drop.hItem);  // nor does it search for an item
    EXPECT_EQ(m_wizard.CheckState(keep.hItem), 1);
    m_wizard.Key(VK_UP);   // the locked updater: Space leaves it locked
    m_wizard.Key(VK_SPACE);
    EXPECT_EQ(m_wizard.TreeItems()[2].checkState, 3);
    SavePage("keyboard-3-components");

    ASSERT_TRUE(m_wizard.TabTo(1001)) << "Next is out of reach from the tree";
    m_wizard.Key(VK_RETURN);
    ASSERT_TRUE(m_wizard.WaitForPage(4));
    m_wizard.Key(VK_RETURN);
    ASSERT_TRUE(WaitForFinishPage());

    // The finish page takes the keyboard at 마침; the boxes follow it.
    EXPECT_TRUE(testutil::WaitFor([&] { return m_wizard.FocusedId() == 1001; }));
    ExpectAccessibleBox(101, true, false);
    ExpectAccessibleBox(103, true, false);
    const std::vector<DWORD> desktopLabel = ControlPixels(1011), startMenuLabel = ControlPixels(1012);
    m_wizard.Key(VK_TAB);
    ASSERT_EQ(m_wizard.FocusedId(), 101);
    ExpectAccessibleBox(101, true, true);
    EXPECT_FALSE(ControlPixels(1011) == desktopLabel) << "no focus cue on the desktop box's label";
    EXPECT_TRUE(ControlPixels(1012) == startMenuLabel);
    SavePage("keyboard-6-focus-on-desktop-box");
    m_wizard.Key(VK_SPACE);
    EXPECT_FALSE(m_wizard.IsChecked(101));
    EXPECT_TRUE(m_wizard.IsChecked(103));
    ExpectAccessibleBox(101, false, true);
    m_wizard.Key(VK_RETURN);   // Enter on a box neither ticks it nor finishes
    EXPECT_TRUE(m_wizard.IsRunning());
    EXPECT_FALSE(m_wizard.IsChecked(101));
    m_wizard.Key(VK_TAB);
    EXPECT_EQ(m_wizard.FocusedId(), 103);
    EXPECT_TRUE(ControlPixels(1011) == desktopLabel) << "the focus cue stayed behind";
    EXPECT_FALSE(ControlPixels(1012) == startMenuLabel) << "no focus cue on the start-menu box's label";
    m_wizard.Key(VK_TAB);   // round to 마침, past the browser that lies hidden at a zero size
    ASSERT_EQ(m_wizard.FocusedId(), 1001);
    m_wizard.Key(VK_RETURN);
    EXPECT_EQ(m_wizard.WaitForExit(), 0);

    EXPECT_FALSE(testutil::FileExists(DesktopLink()));
    EXPECT_FALSE(testutil::FileExists(QuickLaunchLink()));
    EXPECT_TRUE(testutil::FileExists(StartMenuLink()));
    ExpectReportAndPlayer();
    EXPECT_FALSE(Requested("/files/ExtrasSetup.exe"));
    EXPECT_FALSE(WasStarted("\\ExtrasSetup.exe"));
    EXPECT_TRUE(Requested("/files/ToolsSetup.exe"));
    EXPECT_TRUE(testutil::WaitFor([&] { return InstallerStarted("ToolsSetup.exe"); }));
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
