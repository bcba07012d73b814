// Unattended installs: Setup.exe run from a script with /S and its options, its log and
// its exit code, and the command lines it refuses.
#include "InstallerFixture.h"

#include "support/SetupRunner.h"

namespace e2e {
namespace {

const char kProductKey[] = "Software\\MELVORA";
const char kRunKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

const Component kTools{"/MELVORA Tools/tools.exe", "ToolsSetup.exe", "도구", "도구 설명", "/pages/tools.html", "1"};
const Component kExtras{"/MELVORA Extras/extras.exe", "ExtrasSetup.exe", "추가 기능", "추가 기능 설명",
                        "/pages/extras.html", "0"};
const Component kMore{"/MELVORA Extras/more.exe", "MoreSetup.exe", "더 보기", "더 보기 설명", "/pages/more.html", "0"};

class SilentInstallTest : public InstallerTest {
protected:
    // Runs Setup_<pid>.exe with the arguments to its end; its exit code, or -1. Fails the
    // test if the program shows any window meanwhile.
    int RunSilently(const std::string& pid, const std::string& arguments)
    {
        EXPECT_TRUE(m_wizard.Start(m_dir.path(), "Setup_" + pid + ".exe", arguments));
        const DWORD start = ::GetTickCount();
        while (m_wizard.IsRunning() && ::GetTickCount() - start < 90000) {
            EXPECT_EQ(setuprunner::FindWizard(m_wizard.ProcessId()), nullptr) << "a window showed: " << arguments;
            ::Sleep(50);
        }
        return m_wizard.WaitForExit(1000);
    }

    std::string Log() const { return testutil::ReadFileBytes(m_dir / "setup.log"); }
    std::string LogArgument() const { return "\"/LOG=" + (m_dir / "setup.log") + "\""; }
};

TEST_F(SilentInstallTest, InstallsTheNamedAndLockedComponentsWithoutShortcutsAndLogsIt)
{
    ServePartner("quiet", {kTools, kExtras, kMore});
    ASSERT_TRUE(publisher::Fault("/app/ver_file/quiet/1.0.1/VIVoreder.exe", "status", "code=503&times=1"));
    const int code = RunSilently("quiet", "/s \"-Components=추가 기능\" /NOSHORTCUTS " + LogArgument());
    EXPECT_EQ(code, 0);

    for (const char* file : {"MELVORA.exe", "ZUZade.dll", "VIVoreder.exe", "RAZezazi.exe", "uninstall.exe"})
        EXPECT_TRUE(testutil::FileExists(InstallDir() + "\\" + file)) << file;
    EXPECT_EQ(RegText(HKEY_CURRENT_USER, kProductKey, "pid"), "quiet");
    EXPECT_EQ(RegText(HKEY_CURRENT_USER, kProductKey, "exe_ver"), "1.0.3");
    EXPECT_EQ(RegText(HKEY_CURRENT_USER, kRunKey, "MELVORA"), "\"" + InstallDir() + "\\MELVORA.exe\"");
    // The locked component and the named one; the other is neither fetched nor started.
    EXPECT_TRUE(testutil::WaitFor([&] { return StartedPrograms().size() == 3; }, 5000));
    EXPECT_TRUE(InstallerStarted("ToolsSetup.exe"));
    EXPECT_TRUE(InstallerStarted("ExtrasSetup.exe"));
    EXPECT_TRUE(WasStarted("\\MELVORA.exe"));
    EXPECT_FALSE(Requested("/files/MoreSetup.exe"));
    for (const std::string& path : {DesktopLink(), QuickLaunchLink(), StartMenuFolder()})
        EXPECT_FALSE(testutil::FileExists(path)) << path;
    EXPECT_TRUE(LogSent());

    // The log, in UTF-8: the requests, the files and values written, what started, the code.
    const std::string log = Log();
    for (const char* expected :
         {"\"\xEB\x8F\x84\xEA\xB5\xAC\" (always installed)",                                   // "도구"
          "component \"\xEC\xB6\x94\xEA\xB0\x80 \xEA\xB8\xB0\xEB\x8A\xA5\": started",           // "추가 기능"
          "component \"\xEB\x8D\x94 \xEB\xB3\xB4\xEA\xB8\xB0\": not selected",                   // "더 보기"
          "HKCU\\Software\\MELVORA \"exe_ver\" = \"1.0.3\"", "/app/ver.php?project=melvora&pid=quiet",
          "VIVoreder.exe: status 503, 0 bytes, a passing failure of the server", "tried again in",
          "player: starting", "exit code 0"})
        EXPECT_NE(log.find(expected), std::string::npos) << expected << "\n" << log;
    EXPECT_EQ(log.find("5816ce"), std::string::npos) << "the log holds the report password";
}

TEST_F(SilentInstallTest, WithoutThePlayerExitsTwoAndTheLogSaysWhy)
{
    ServePartner("quietnopl", {kExtras});
    ASSERT_TRUE(publisher::Fault("/app/ver_file/quietnopl/1.0.3/MELVORA.exe", "status", "code=404"));
    EXPECT_EQ(RunSilently("quietnopl", "/S /NORUN " + LogArgument()), 2);
    EXPECT_TRUE(testutil::WaitFor([&] { return InstallerStarted("ExtrasSetup.exe"); }, 5000));
    EXPECT_FALSE(testutil::FileExists(DesktopLink()));
    const std::string log = Log();
    EXPECT_NE(log.find("MELVORA.exe: did not arrive"), std::string::npos) << log;
    EXPECT_NE(log.find("exit code 2"), std::string::npos) << log;
}

TEST_F(SilentInstallTest, RefusesABadCommandLineBeforeAnythingHappens)
{
    ServePartner("badline", {kExtras});
    // Silent: no window, exit code 5, no request and no registry value.
    EXPECT_EQ(RunSilently("badline", "/S /PID=not/an/id"), 5);
    EXPECT_EQ(RunSilently("badline", "/S /BOGUS"), 5);

    // Without /S the refusal is a message box; so is the usage. Closing it ends the program.
    for (const auto& run : {std::make_pair(std::string("/NORUN"), 5), std::make_pair(std::string("/?"), 0)}) {
        ASSERT_TRUE(m_wizard.Start(m_dir.path(), "Setup_badline.exe", run.first));
        HWND hBox = nullptr;
        ASSERT_TRUE(testutil::WaitFor([&] { return (hBox = setuprunner::FindWizard(m_wizard.ProcessId())) != nullptr; },
                                      20000))
            << run.first;
        EXPECT_FALSE(::GetDlgItem(hBox, 1001)) << "the wizard showed instead of a message";
        ::PostMessageA(hBox, WM_COMMAND, IDOK, 0);
        EXPECT_EQ(m_wizard.WaitForExit(), run.second) << run.first;
    }
    EXPECT_TRUE(publisher::ReadLog().empty());
    EXPECT_EQ(RegText(HKEY_CURRENT_USER, kProductKey, "pid"), "<missing>");

    // A component the list does not name: refused once the list is known, before the install.
    EXPECT_EQ(RunSilently("badline", "/S /COMPONENTS=nothing " + LogArgument()), 5);
    EXPECT_FALSE(Requested("/app/ver.php", "stats"));
    EXPECT_NE(Log().find("\"nothing\""), std::string::npos) << Log();
}

}  // namespace
}  // namespace e2e
