// The user's choice of optional components, made with real clicks in the options tree,
// decides what the install fetches and starts.
#include "InstallerFixture.h"

namespace e2e {
namespace {

using TreeItem = WizardDriver::TreeItem;

TEST_F(InstallerTest, DeselectedComponentIsSkippedAndMandatoryOneCannotBeDeselected)
{
    const Component optional{"/MELVORA Extras/extras.exe", "ExtrasSetup.exe", "추가 기능", "추가 기능 설명",
                             "/pages/extras.html", "0"};
    const Component mandatory{"/MELVORA Tools/tools.exe", "ToolsSetup.exe", "필수 도구", "필수 도구 설명",
                              "/pages/tools.html", "1"};
    ServePartner("pick", {optional, mandatory});
    StartWizard("pick");
    NextTo(3);
    TreeItem opt, req;
    ASSERT_TRUE(m_wizard.FindTreeItem(optional.name, &opt));
    ASSERT_TRUE(m_wizard.FindTreeItem(mandatory.name, &req));
    EXPECT_EQ(opt.checkState, 1);
    EXPECT_EQ(req.checkState, 3);

    // The boxes are clicked in turn, never one twice running, which would be a double
    // click. Clicks are handled in order: once the optional box has flipped, the click
    // on the mandatory box before it has been handled too.
    for (int expected : {0, 1, 0}) {
        ASSERT_TRUE(m_wizard.ClickStateIcon(opt.hItem));
        ASSERT_TRUE(testutil::WaitFor([&] { return m_wizard.CheckState(opt.hItem) == expected; }));
        EXPECT_EQ(m_wizard.CheckState(req.hItem), 3);
        ASSERT_TRUE(m_wizard.ClickStateIcon(req.hItem));
    }
    ASSERT_TRUE(m_wizard.ClickLabel(opt.hItem));   // handled after the last click on the mandatory box
    ASSERT_TRUE(testutil::WaitFor([&] { return m_wizard.BrowserUrl() == publisher::Url(optional.page); }));
    EXPECT_EQ(m_wizard.CheckState(req.hItem), 3);
    EXPECT_EQ(m_wizard.CheckState(opt.hItem), 0);

    NextTo(5);
    ASSERT_TRUE(WaitForFinishPage());
    EXPECT_TRUE(Requested("/files/ToolsSetup.exe"));
    EXPECT_FALSE(testutil::FileExists(ProgramFiles() + "\\MELVORA Tools"));
    EXPECT_TRUE(testutil::WaitFor([&] { return InstallerStarted("ToolsSetup.exe"); }));
    EXPECT_FALSE(Requested("/files/ExtrasSetup.exe"));
    EXPECT_FALSE(testutil::FileExists(ProgramFiles() + "\\MELVORA Extras"));
    EXPECT_FALSE(WasStarted("\\ExtrasSetup.exe"));
}

TEST_F(InstallerTest, AHostileComponentListInstallsOnlyItsConfinedRowAndWritesNothingElsewhere)
{
    const Component good{"/MELVORA Tools/tools.exe", "ToolsSetup.exe", "필수 도구", "설명", "/pages/tools.html", "1"};
    ServePartner("hostile", {good});
    // Rows that would leave Program Files, glue onto its name or enter the player's folder.
    std::string list = ComponentRow(good);
    for (const char* check : {"/../windows/system32/x.exe", "Tools/x.dat", "/melvora/x.dat", "/A/../../x.dat"})
        list += "^" + std::string(check) + "|" + publisher::Url("/files/EvilSetup.exe") + "|" + check + "|e|p|1";
    ASSERT_TRUE(publisher::Put("/files/EvilSetup.exe", m_standIn));
    ASSERT_TRUE(publisher::Put("/app/setup/setup.php?pid=hostile", list));

    StartWizard("hostile");
    EXPECT_EQ(m_wizard.TreeItems().size(), 4u);   // the root, the player, the updater, the good row
    NextTo(5);
    ASSERT_TRUE(WaitForFinishPage());
    EXPECT_TRUE(testutil::WaitFor([&] { return InstallerStarted("ToolsSetup.exe"); }));
    EXPECT_FALSE(Requested("/files/EvilSetup.exe"));
    char system[MAX_PATH] = {};
    ::GetSystemDirectoryA(system, MAX_PATH);
    for (const std::string& path : {std::string(system) + "\\EvilSetup.exe", ProgramFiles() + "Tools",
                                    InstallDir() + "\\EvilSetup.exe", std::string("C:\\EvilSetup.exe")})
        EXPECT_FALSE(testutil::FileExists(path)) << path;
}

}  // namespace
}  // namespace e2e
