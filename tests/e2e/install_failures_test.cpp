// Installs that go wrong on the server's side: what is fetched, recorded, linked and
// started when the versions are missing or a fixed file does not arrive.
#include "InstallerFixture.h"

#include <cstdio>

#include "support/ProxyControl.h"

namespace e2e {
namespace {

const char kProductKey[] = "Software\\MELVORA";
const char kRunKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\MELVORA";

const Component kExtras{"/MELVORA Extras/extras.exe", "ExtrasSetup.exe", "추가 기능", "추가 기능 설명",
                        "/pages/extras.html", "0"};

void WriteProductValue(const char* name, const std::string& text)
{
    HKEY hKey = nullptr;
    ASSERT_EQ(::RegCreateKeyExA(HKEY_CURRENT_USER, kProductKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &hKey, nullptr),
              ERROR_SUCCESS);
    ::RegSetValueExA(hKey, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()), DWORD(text.size() + 1));
    ::RegCloseKey(hKey);
}

class InstallFailureTest : public InstallerTest {
protected:
    // From the start to the finish page, every component left ticked.
    void InstallToFinishPage(const std::string& pid)
    {
        StartWizard(pid);
        NextTo(5);
        ASSERT_TRUE(WaitForFinishPage()) << "the install did not reach the finish page";
    }

    // Finish: the page says the player is missing and offers no shortcut; the report is sent
    // either way; no shortcut, no start-menu folder and nothing started.
    void FinishWithoutPlayer()
    {
        EXPECT_TRUE(m_wizard.IsVisible(kFinishNotice));
        EXPECT_NE(m_wizard.Text(kFinishNotice).find("멜보라 플레이어를 내려받지 못했습니다."), std::string::npos);
        EXPECT_EQ(m_wizard.AccessibleOf(kFinishNotice).name, m_wizard.Text(kFinishNotice));   // read out as it is
        for (int id : {101, 103, 1011, 1012})
            EXPECT_FALSE(m_wizard.IsVisible(id)) << id;
        SavePage(std::string("no-player-") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        ASSERT_TRUE(m_wizard.PressNext());
        EXPECT_EQ(m_wizard.WaitForExit(), 2);   // the player is not installed
        EXPECT_TRUE(LogSent());
        for (const std::string& path : {DesktopLink(), QuickLaunchLink(), StartMenuFolder()})
            EXPECT_FALSE(testutil::FileExists(path)) << path;
        EXPECT_FALSE(testutil::WaitFor([&] { return WasStarted("\\MELVORA.exe"); }, 1500));
    }

    // A version reply the install cannot use: the finish page follows, and nothing is
    // fetched, written or started.
    void ExpectUnusableVersionReply(const std::string& pid, const std::string& reply)
    {
        ServePartner(pid, {kExtras}, reply);
        InstallToFinishPage(pid);
        EXPECT_TRUE(Requested("/app/ver.php?project=melvora&pid=" + pid, "stats"));
        EXPECT_FALSE(Requested("/app/ver_file"));
        EXPECT_FALSE(Requested("/files/"));
        EXPECT_TRUE(testutil::FolderEntries(InstallDir()).empty());
        EXPECT_EQ(ProductValueNames(), std::vector<std::string>{"pid"});
        EXPECT_EQ(RegText(HKEY_CURRENT_USER, kRunKey, "MELVORA"), "<missing>");
        EXPECT_FALSE(testutil::KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
        FinishWithoutPlayer();
        EXPECT_TRUE(StartedPrograms().empty());
    }
};

TEST_F(InstallFailureTest, VersionReplyHoldingNotFoundInstallsNothing)
{
    ExpectUnusableVersionReply("vgone", "<html><head><title>404 Not Found</title></head></html>");
}

TEST_F(InstallFailureTest, EmptyVersionReplyInstallsNothing)
{
    ExpectUnusableVersionReply("vnone", "");
}

TEST_F(InstallFailureTest, VersionReplyWithAnEmptyVersionInstallsNothing)
{
    ExpectUnusableVersionReply("vblank", "OK||0.9.1");
}

// A busy server's page, and a reply cut after "OK|1.0.", are no version reply.
TEST_F(InstallFailureTest, VersionReplyOfABusyServerOrCutShortInstallsNothing)
{
    const std::pair<const char*, const char*> faults[] = {{"status", "code=503"}, {"short", "bytes=7"}};
    for (const auto& fault : faults) {
        CleanMachine();
        ASSERT_TRUE(publisher::Reset());
        ASSERT_TRUE(publisher::Fault("/app/ver.php", fault.first, fault.second, "stats"));
        ExpectUnusableVersionReply("vbusy", "OK|1.0.3|1.0.1");
    }
}

TEST_F(InstallFailureTest, MissingPlayerStillRecordsItButMakesNoShortcut)
{
    ServePartner("nopl", {kExtras});
    ASSERT_TRUE(publisher::Fault("/app/ver_file/nopl/1.0.3/MELVORA.exe", "status", "code=503"));
    InstallToFinishPage("nopl");
    int tries = 0;   // a busy server is tried three times
    for (const auto& entry : Requests("product"))
        tries += entry.path == "/app/ver_file/nopl/1.0.3/MELVORA.exe";
    EXPECT_EQ(tries, 3);
    EXPECT_FALSE(testutil::FileExists(InstallDir() + "\\MELVORA.exe"));
    EXPECT_EQ(RegText(HKEY_CURRENT_USER, kRunKey, "MELVORA"), "\"" + InstallDir() + "\\MELVORA.exe\"");
    EXPECT_EQ(RegText(HKEY_CURRENT_USER, kProductKey, "exe_ver"), "1.0.3");
    // The rest of the install went on.
    EXPECT_EQ(RegText(HKEY_CURRENT_USER, kProductKey, "updater_ver"), "1.0.1");
    EXPECT_TRUE(testutil::FileExists(InstallDir() + "\\RAZezazi.exe"));
    EXPECT_TRUE(testutil::WaitFor([&] { return InstallerStarted("ExtrasSetup.exe"); }));
    FinishWithoutPlayer();
}

TEST_F(InstallFailureTest, UpdaterCutShortKeepsTheEarlierUpdaterVersion)
{
    ServePartner("cut", {});
    ASSERT_TRUE(publisher::Fault("/app/ver_file/cut/1.0.1/VIVoreder.exe", "short", ""));
    WriteProductValue("updater_ver", "0.9.7");
    WriteProductValue("dellog_ver", "0.9.7");
    InstallToFinishPage("cut");
    EXPECT_TRUE(Requested("/app/ver_file/cut/1.0.1/VIVoreder.exe"));
    EXPECT_EQ(RegText(HKEY_CURRENT_USER, kProductKey, "updater_ver"), "0.9.7");
    EXPECT_EQ(RegText(HKEY_CURRENT_USER, kProductKey, "exe_ver"), "1.0.3");
    EXPECT_EQ(RegText(HKEY_CURRENT_USER, kProductKey, "dellog_ver"), "1.0.3");
    EXPECT_EQ(RegText(HKEY_CURRENT_USER, kRunKey, "MELVORA"), "\"" + InstallDir() + "\\MELVORA.exe\"");
}

TEST_F(InstallFailureTest, StalledPlayerGivesUpAfterTwiceThirtySecondsAndKeepsTheEarlierPlayer)
{
    ServePartner("stall", {kExtras});
    // The player's reply stops after its first 1,000 bytes, and the server stays silent.
    ASSERT_TRUE(publisher::Fault("/app/ver_file/stall/1.0.3/MELVORA.exe", "silent", "bytes=1000"));
    ASSERT_TRUE(::CreateDirectoryA(InstallDir().c_str(), nullptr));
    const std::string earlierPlayer = "the player of an earlier install";
    ASSERT_TRUE(testutil::WriteFileBytes(InstallDir() + "\\MELVORA.exe", earlierPlayer));

    StartWizard("stall");
    NextTo(5);
    const DWORD start = ::GetTickCount();
    ASSERT_TRUE(WaitForFinishPage(120000)) << "the install did not reach the finish page";
    const DWORD elapsed = ::GetTickCount() - start;
    std::printf("finish page %lu ms after the install started\n", static_cast<unsigned long>(elapsed));
    EXPECT_GE(elapsed, 60000u);
    EXPECT_LT(elapsed, 80000u);
    EXPECT_FALSE(m_wizard.IsVisible(kFinishNotice));   // the earlier player is there to start

    EXPECT_EQ(testutil::ReadFileBytes(InstallDir() + "\\MELVORA.exe"), earlierPlayer);
    EXPECT_EQ(testutil::FolderEntries(InstallDir()),
              (std::vector<std::string>{"MELVORA.exe", "RAZezazi.exe", "VIVoreder.exe", "ZUZade.dll", "uninstall.exe",
                                        "uninstall.ini"}));
    EXPECT_EQ(testutil::ReadFileBytes(InstallDir() + "\\RAZezazi.exe"), m_standIn);
    EXPECT_EQ(RegText(HKEY_CURRENT_USER, kProductKey, "exe_ver"), "1.0.3");
    EXPECT_EQ(RegText(HKEY_CURRENT_USER, kProductKey, "updater_ver"), "1.0.1");
    EXPECT_TRUE(testutil::WaitFor([&] { return InstallerStarted("ExtrasSetup.exe"); }));
}

// Three fixed files fail as connections and busy servers do for a moment; each is tried
// again, the cut player only for its rest, and the install ends as if nothing happened.
TEST_F(InstallFailureTest, PassingFaultsAreRiddenOutAndTheFinishPageIsAsUsual)
{
    ServePartner("flaky", {kExtras});
    const std::string base = "/app/ver_file/flaky/";
    ASSERT_TRUE(publisher::Fault(base + "1.0.3/MELVORA.exe", "short", "bytes=3000&times=1"));
    ASSERT_TRUE(publisher::Fault(base + "1.0.1/VIVoreder.exe", "status", "code=503&times=2"));
    ASSERT_TRUE(publisher::Fault(base + "1.0.3/RAZezazi.exe", "reset", "times=1"));
    InstallToFinishPage("flaky");

    for (const char* name : {"MELVORA.exe", "VIVoreder.exe", "RAZezazi.exe", "uninstall.exe"})
        EXPECT_EQ(testutil::ReadFileBytes(InstallDir() + "\\" + name), m_standIn) << name;
    EXPECT_EQ(RegText(HKEY_CURRENT_USER, kProductKey, "updater_ver"), "1.0.1");
    EXPECT_EQ(RegText(HKEY_CURRENT_USER, kProductKey, "dellog_ver"), "1.0.3");
    std::vector<std::string> tries;
    for (const auto& entry : Requests("product")) {
        if (entry.path.compare(0, base.size(), base) == 0)
            tries.push_back(entry.path.substr(base.size()) + (entry.range.empty() ? "" : " " + entry.range));
    }
    EXPECT_EQ(tries, (std::vector<std::string>{"1.0.3/MELVORA.exe", "1.0.3/MELVORA.exe bytes=3000-", "1.0.3/ZUZade.dll",
                                               "1.0.1/VIVoreder.exe", "1.0.1/VIVoreder.exe", "1.0.1/VIVoreder.exe",
                                               "1.0.3/RAZezazi.exe", "1.0.3/RAZezazi.exe"}));
    // The finish page, pixel for pixel, where the skin shows around the shortcut options.
    EXPECT_FALSE(m_wizard.IsVisible(kFinishNotice));
    std::vector<RECT> options;
    for (int id : {101, 103, 1011, 1012, 1001})
        options.push_back(m_wizard.ControlRect(id));
    EXPECT_EQ(SkinDifference(CaptureClient(m_wizard.Dialog()), SkinOfSetup(132), options), "");
    ASSERT_TRUE(m_wizard.PressNext());
    EXPECT_EQ(m_wizard.WaitForExit(), 0);
    EXPECT_TRUE(testutil::WaitFor([&] { return WasStarted("\\MELVORA\\MELVORA.exe"); }));
}

class ProxyPromptTest : public InstallFailureTest {
protected:
    void SetUp() override
    {
        InstallFailureTest::SetUp();
        // A player the last test started may still hold its file for a moment.
        ASSERT_TRUE(testutil::WaitFor([&] {
            CleanMachine();
            return !testutil::FileExists(InstallDir());
        }, 10000));
        ASSERT_NE(proxy::Port(), 0) << "the loopback proxy does not run";
        ASSERT_TRUE(proxy::Reset("lee", "w1zard-pass") && m_system.Set());
        ServePartner("asked", {kExtras});
        ASSERT_TRUE(m_wizard.Start(m_dir.path(), "Setup_asked.exe", "\"/LOG=" + (m_dir / "setup.log") + "\""));
    }
    // Answers (or cancels, with an empty password) the prompt once it shows; false when none did.
    bool Answer(const std::string& password)
    {
        const HWND hPrompt = proxy::WaitForPrompt(m_wizard.ProcessId());
        if (!hPrompt)
            return false;
        if (password.empty())
            ::PostMessageA(hPrompt, WM_COMMAND, IDCANCEL, 0);
        else
            proxy::AnswerPrompt(hPrompt, "lee", password);
        return testutil::WaitFor([&] { return !::IsWindowVisible(hPrompt); }, 10000);
    }
    std::string Log() const { return testutil::ReadFileBytes(m_dir / "setup.log"); }
    int Prompts() const
    {
        const std::string log = Log();
        int count = 0;
        for (size_t at = 0; (at = log.find("; asking the user", at)) != std::string::npos; ++at)
            ++count;
        return count;
    }

    proxy::ScopedSystemProxy m_system{"127.0.0.1:" + std::to_string(proxy::Port())};
};

TEST_F(ProxyPromptTest, TheWizardAsksForTheProxysCredentialsAgainWhenWrongAndThenInstalls)
{
    ASSERT_TRUE(Answer("typo")) << "no prompt for the proxy's credentials";
    ASSERT_TRUE(Answer("w1zard-pass")) << "refused credentials are asked for again";
    ASSERT_TRUE(m_wizard.WaitForWizard() && m_wizard.WaitForTree());
    NextTo(5);
    ASSERT_TRUE(WaitForFinishPage());
    EXPECT_FALSE(m_wizard.IsVisible(kFinishNotice));
    ASSERT_TRUE(m_wizard.PressNext());
    EXPECT_EQ(m_wizard.WaitForExit(), 0);
    EXPECT_TRUE(testutil::WaitFor([&] { return InstallerStarted("ExtrasSetup.exe"); }));
    // Every request of the run (texts, downloads, reports) went through with what was typed.
    EXPECT_TRUE(LogSent());
    EXPECT_EQ(proxy::Forwarded().size(), publisher::ReadLog().size());
    EXPECT_EQ(Prompts(), 2);
    EXPECT_EQ(Log().find("w1zard-pass"), std::string::npos);
}

TEST_F(ProxyPromptTest, ACancelledPromptEndsOnAFinishPageThatSaysThePlayerIsMissing)
{
    ASSERT_TRUE(Answer("")) << "no prompt for the proxy's credentials";
    ASSERT_TRUE(m_wizard.WaitForWizard() && m_wizard.WaitForTree());
    NextTo(5);
    ASSERT_TRUE(WaitForFinishPage());
    EXPECT_TRUE(m_wizard.IsVisible(kFinishNotice));
    ASSERT_TRUE(m_wizard.PressNext());
    EXPECT_EQ(m_wizard.WaitForExit(), 2);
    EXPECT_EQ(Prompts(), 1) << "after a Cancel nobody is asked again";
    EXPECT_TRUE(publisher::ReadLog().empty());
    EXPECT_TRUE(StartedPrograms().empty());
}

}  // namespace
}  // namespace e2e
