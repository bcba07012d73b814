// Moving between the wizard's pages, and the options page: what selecting and hovering
// over the tree shows, and what a missing component list leaves of the wizard.
#include "InstallerFixture.h"

namespace e2e {
namespace {

using TreeItem = WizardDriver::TreeItem;

const char kRootDescription[] =
    "보고/듣고/즐기는 멜보라은인터넷이 가능하면 어디서든 고음질,고화질의 음악영상을 쉽고 빠르게감상할수 있습니다";

const Component kExtras{"/MELVORA Extras/extras.exe", "ExtrasSetup.exe", "추가 기능", "추가 기능 설명",
                        "/pages/extras.html", "0"};
const Component kTools{"/MELVORA Tools/tools.exe", "ToolsSetup.exe", "도구 모음", "도구 모음 설명",
                       "/pages/tools.html", "0"};

class NavigationTest : public InstallerTest {
protected:
    std::string AgreementUrl() const { return publisher::Url("/Lisence/agree.php?w=400"); }

    // With no component offered: the tree holds only its fixed items, Back from page 3
    // leads to page 2, and Next on page 3 starts the install without the folder page.
    void ExpectRunWithoutComponents(const std::string& pid)
    {
        // The version query is slow, so the page right after page 3 can be seen.
        ASSERT_TRUE(publisher::Fault("/app/ver.php", "delay", "ms=1500", "stats"));
        StartWizard(pid);
        NextTo(3);
        const auto items = m_wizard.TreeItems();
        ASSERT_EQ(items.size(), 3u);
        EXPECT_EQ(items[0].text, "MELVORA");
        EXPECT_EQ(items[1].text, kPlayerItem);
        EXPECT_EQ(items[2].text, kUpdaterItem);

        ASSERT_TRUE(m_wizard.PressBack());
        EXPECT_EQ(m_wizard.CurrentPage(), 2);
        ASSERT_TRUE(m_wizard.PressNext());
        ASSERT_EQ(m_wizard.CurrentPage(), 3);
        ASSERT_TRUE(m_wizard.PressNext());
        EXPECT_EQ(m_wizard.CurrentPage(), 5);
        ASSERT_TRUE(WaitForFinishPage());
        ASSERT_TRUE(m_wizard.PressNext());
        EXPECT_EQ(m_wizard.WaitForExit(), 0);

        EXPECT_FALSE(Requested("/files/"));
        EXPECT_TRUE(testutil::FileExists(InstallDir() + "\\MELVORA.exe"));
        EXPECT_TRUE(testutil::WaitFor([&] { return WasStarted("\\MELVORA\\MELVORA.exe"); }));
    }
};

TEST_F(NavigationTest, EmptyComponentListLeavesOutTheFolderPage)
{
    ServePartner("none", {});
    ExpectRunWithoutComponents("none");
}

TEST_F(NavigationTest, ComponentListHoldingNotFoundIsTakenAsEmpty)
{
    ServePartner("gone", {kExtras});
    // A well-formed row, and the error page some proxy appended to it.
    ASSERT_TRUE(publisher::Put("/app/setup/setup.php?pid=gone",
                               ComponentRow(kExtras) + "^<html><title>404 Not Found</title></html>"));
    ExpectRunWithoutComponents("gone");
}

TEST_F(NavigationTest, BackFromFolderPageShowsAgreementAgainAndKeepsTicks)
{
    ServePartner("back", {kExtras, kTools});
    StartWizard("back");
    NextTo(3);
    TreeItem extras, tools;
    ASSERT_TRUE(m_wizard.FindTreeItem(kExtras.name, &extras));
    ASSERT_TRUE(m_wizard.FindTreeItem(kTools.name, &tools));
    ASSERT_TRUE(m_wizard.ClickStateIcon(extras.hItem));
    ASSERT_TRUE(testutil::WaitFor([&] { return m_wizard.CheckState(extras.hItem) == 0; }));
    ASSERT_TRUE(m_wizard.ClickLabel(tools.hItem));
    ASSERT_TRUE(testutil::WaitFor([&] { return m_wizard.BrowserUrl() == publisher::Url(kTools.page); }));

    NextTo(4);
    EXPECT_FALSE(m_wizard.IsVisible(1004));
    ASSERT_TRUE(m_wizard.PressBack());
    EXPECT_EQ(m_wizard.CurrentPage(), 3);
    EXPECT_TRUE(m_wizard.IsVisible(1004));
    EXPECT_EQ(m_wizard.BrowserUrl(), AgreementUrl());
    EXPECT_EQ(m_wizard.CheckState(extras.hItem), 0);
    EXPECT_EQ(m_wizard.CheckState(tools.hItem), 1);
    EXPECT_EQ(m_wizard.TreeItems().size(), 5u);
}

TEST_F(NavigationTest, SelectingAnItemShowsItsPageInTheBrowser)
{
    // A second row of the same name: the first row's page serves both items.
    Component twin = kTools;
    twin.checkPath = "/MELVORA Tools/twin.exe";
    twin.installerName = "TwinSetup.exe";
    twin.page = "/pages/twin.html";
    ServePartner("pick", {kExtras, kTools, twin});
    StartWizard("pick");
    NextTo(3);
    EXPECT_EQ(m_wizard.BrowserUrl(), AgreementUrl());

    const auto items = m_wizard.TreeItems();
    ASSERT_EQ(items.size(), 6u);
    const auto select = [&](const TreeItem& item, const std::string& url) {
        ASSERT_TRUE(m_wizard.ClickLabel(item.hItem)) << item.text;
        EXPECT_TRUE(testutil::WaitFor([&] { return m_wizard.BrowserUrl() == url; })) << item.text;
    };
    // Each fixed item after a component, so each of them has to navigate back.
    select(items[3], publisher::Url(kExtras.page));
    select(items[0], AgreementUrl());
    select(items[4], publisher::Url(kTools.page));
    select(items[1], AgreementUrl());
    select(items[3], publisher::Url(kExtras.page));
    select(items[2], AgreementUrl());
    select(items[5], publisher::Url(kTools.page));
}

TEST_F(NavigationTest, HoverShowsDescriptionsAndTheHintElsewhere)
{
    ServePartner("hover", {kExtras});
    StartWizard("hover");
    NextTo(3);
    TreeItem root, player, updater, extras;
    ASSERT_TRUE(m_wizard.FindTreeItem("MELVORA", &root));
    ASSERT_TRUE(m_wizard.FindTreeItem(kPlayerItem, &player));
    ASSERT_TRUE(m_wizard.FindTreeItem(kUpdaterItem, &updater));
    ASSERT_TRUE(m_wizard.FindTreeItem(kExtras.name, &extras));
    const auto labelBecomes = [&](const std::string& text) {
        return testutil::WaitFor([&] { return m_wizard.Text(1007) == text; }, 5000);
    };
    // Where the label must not change, give a change the time to happen.
    const auto labelStays = [&](const std::string& text) {
        return !testutil::WaitFor([&] { return m_wizard.Text(1007) != text; }, 500);
    };

    // Over the dialog's own skin, then over a button: the hint, with its final ".".
    m_wizard.HoverDialogPoint(300, 40);
    EXPECT_TRUE(labelBecomes(kHoverHint));
    ASSERT_TRUE(m_wizard.HoverItem(extras.hItem));
    EXPECT_TRUE(labelBecomes(kExtras.description));
    ASSERT_TRUE(m_wizard.HoverItem(player.hItem));
    EXPECT_TRUE(labelStays(kExtras.description)) << "over the player item";
    ASSERT_TRUE(HoverEmptyTreeSpace());
    EXPECT_TRUE(labelStays(kExtras.description)) << "over empty tree space";
    ASSERT_TRUE(m_wizard.HoverItem(root.hItem));
    EXPECT_TRUE(labelBecomes(kRootDescription));
    ASSERT_TRUE(m_wizard.HoverItem(updater.hItem));
    EXPECT_TRUE(labelStays(kRootDescription)) << "over the updater item";
    const RECT next = m_wizard.ControlRect(1001);
    m_wizard.HoverDialogPoint((next.left + next.right) / 2, (next.top + next.bottom) / 2);
    EXPECT_TRUE(labelBecomes(kHoverHint));
}

}  // namespace
}  // namespace e2e
