// Unattended installs: Setup.exe run from a script with /S and its options, its log and
// its exit code, and the command lines it refuses.
#include "InstallerFixture.h"

#include <cstdlib>
#include <cstring>

#include "support/ProxyControl.h"
#include "support/RunningPlayer.h"
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

    // Every request the publisher's servers received came through the proxy.
    void ExpectEveryRequestThroughTheProxy()
    {
        std::vector<std::string> received;
        for (const auto& entry : publisher::ReadLog())
            received.push_back(entry.path);
        EXPECT_FALSE(received.empty());
        EXPECT_EQ(received, proxy::Forwarded());
    }
};

const char kProxyUser[] = "kim";
const char kProxyPassword[] = "pr0xy-s3cret";

TEST_F(SilentInstallTest, BehindAProxyThatAsksForCredentialsInstallsWithThemAndNeverLogsThePassword)
{
    ASSERT_NE(proxy::Port(), 0) << "the loopback proxy does not run";
    ASSERT_TRUE(proxy::Reset(kProxyUser, kProxyPassword));
    proxy::ScopedSystemProxy system("127.0.0.1:" + std::to_string(proxy::Port()));
    ASSERT_TRUE(system.Set());
    ServePartner("proxied", {kTools});

    const std::string credentials = std::string("/PROXYUSER=") + kProxyUser + " /PROXYPASS=" + kProxyPassword;
    EXPECT_EQ(RunSilently("proxied", "/S /NORUN " + credentials + " " + LogArgument()), 0);
    for (const char* file : {"MELVORA.exe", "ZUZade.dll", "VIVoreder.exe", "RAZezazi.exe", "uninstall.exe"})
        EXPECT_TRUE(testutil::FileExists(InstallDir() + "\\" + file)) << file;
    EXPECT_TRUE(testutil::WaitFor([&] { return InstallerStarted("ToolsSetup.exe"); }, 5000));
    EXPECT_TRUE(LogSent()) << Log();
    ExpectEveryRequestThroughTheProxy();
    // The servers' own credentials still reach them; the proxy's never do.
    EXPECT_TRUE(Requested("/app/ver.php", "stats"));
    for (const auto& entry : publisher::ReadLog())
        EXPECT_TRUE(entry.authorization.empty() || entry.authorization == publisher::BasicAuthorization())
            << entry.path << ": " << entry.authorization;
    const std::string log = Log();
    EXPECT_NE(log.find("/PROXYPASS=(hidden)"), std::string::npos) << log;
    for (const std::string& secret : {std::string(kProxyPassword), std::string("Proxy-Authorization"),
                                     std::string("a2ltOnByMHh5LXMzY3JldA==")})   // base64 of kim:pr0xy-s3cret
        EXPECT_EQ(log.find(secret), std::string::npos) << secret;

    // Without credentials, or with refused ones, nothing passes; the log says why.
    const std::pair<std::string, const char*> runs[] = {
        {"", "the proxy asked for credentials (407), and none were given"},
        {std::string("/PROXYUSER=") + kProxyUser + " /PROXYPASS=wrong", "the proxy refused the credentials of user"}};
    for (const auto& run : runs) {
        CleanMachine();
        ASSERT_TRUE(publisher::ClearLog());
        EXPECT_EQ(RunSilently("proxied", "/S /NORUN " + run.first + " " + LogArgument()), 2) << run.first;
        EXPECT_TRUE(publisher::ReadLog().empty());
        EXPECT_FALSE(testutil::FileExists(InstallDir() + "\\MELVORA.exe"));
        EXPECT_NE(Log().find(run.second), std::string::npos) << Log();
    }
}

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

// Whether a file below the folder, at any depth, holds the text.
bool AnyFileHolds(const std::string& folder, const std::string& text)
{
    for (const std::string& name : testutil::FolderEntries(folder)) {
        const std::string path = folder + "\\" + name;
        const DWORD attributes = ::GetFileAttributesA(path.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)
                ? AnyFileHolds(path, text)
                : testutil::ReadFileBytes(path).find(text) != std::string::npos)
            return true;
    }
    return false;
}

// A captive portal answers the player, its DLL and a component's installer with its login
// page, "200 OK" and the length it sent: none of it replaces an earlier file or starts.
TEST_F(SilentInstallTest, APortalsLoginPageIsNeitherWrittenAsAProgramNorStarted)
{
    ServePartner("portal", {kExtras});
    const std::string page = "<html><head><title>Wi-Fi</title></head><body>Sign in to go on</body></html>";
    for (const std::string& path : {std::string("/app/ver_file/portal/1.0.3/MELVORA.exe"),
                                    std::string("/app/ver_file/portal/1.0.3/ZUZade.dll"),
                                    std::string("/files/ExtrasSetup.exe")})
        ASSERT_TRUE(publisher::Put(path, page));
    ASSERT_TRUE(::CreateDirectoryA(InstallDir().c_str(), nullptr));
    const std::string earlierDll = m_standIn + "an earlier helper library";
    ASSERT_TRUE(testutil::WriteFileBytes(InstallDir() + "\\MELVORA.exe", m_standIn));
    ASSERT_TRUE(testutil::WriteFileBytes(InstallDir() + "\\ZUZade.dll", earlierDll));

    EXPECT_EQ(RunSilently("portal", "/S /NORUN " + LogArgument()), 2);
    EXPECT_TRUE(testutil::ReadFileBytes(InstallDir() + "\\MELVORA.exe") == m_standIn);
    EXPECT_TRUE(testutil::ReadFileBytes(InstallDir() + "\\ZUZade.dll") == earlierDll);
    EXPECT_FALSE(AnyFileHolds(ProgramFiles(), "Sign in to go on"));
    ::Sleep(1000);   // what was started would have said so by now
    EXPECT_EQ(StartedPrograms(), std::vector<std::string>{});
    const std::string log = Log();
    for (const std::string& expected :
         {"MELVORA.exe: did not arrive, not installed as " + InstallDir() + "\\MELVORA.exe: not a program",
          "ZUZade.dll: did not arrive, not installed as " + InstallDir() + "\\ZUZade.dll: not a program",
          std::string("component \"\xEC\xB6\x94\xEA\xB0\x80 \xEA\xB8\xB0\xEB\x8A\xA5\": not installed, its installer did "
                      "not arrive: not a program"),
          std::string("exit code 2")})
        EXPECT_NE(log.find(expected), std::string::npos) << expected << "\n" << log;
}

// Programs started meanwhile find the Program Files folder elsewhere (Windows reads it from
// this value, and so does Wine); the earlier value comes back at the end.
class ProgramFilesMoved {
public:
    explicit ProgramFilesMoved(const std::string& folder)
    {
        m_earlier = testutil::ReadRegValue(HKEY_LOCAL_MACHINE, kCurrentVersion, kValue);
        m_moved = ::CreateDirectoryA(folder.c_str(), nullptr) && Set(folder);
    }
    ~ProgramFilesMoved()
    {
        if (m_earlier.exists)
            Set(m_earlier.data.c_str());
    }
    ProgramFilesMoved(const ProgramFilesMoved&) = delete;
    ProgramFilesMoved& operator=(const ProgramFilesMoved&) = delete;
    bool Moved() const { return m_moved && m_earlier.exists; }

private:
    static bool Set(const std::string& folder)
    {
        HKEY hKey = nullptr;
        if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kCurrentVersion, 0, KEY_SET_VALUE, &hKey) != ERROR_SUCCESS)
            return false;
        const bool set = ::RegSetValueExA(hKey, kValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(folder.c_str()),
                                          DWORD(std::strlen(folder.c_str()) + 1)) == ERROR_SUCCESS;
        ::RegCloseKey(hKey);
        return set;
    }

    static constexpr const char* kCurrentVersion = "Software\\Microsoft\\Windows\\CurrentVersion";
    static constexpr const char* kValue = "ProgramFilesDir";
    testutil::RegValue m_earlier;
    bool m_moved = false;
};

// The install folder on a disk with room for the setup's small files but not for the new
// player (the test runner mounts a 1 MiB tmpfs for it): the write fails for real.
TEST_F(SilentInstallTest, OnAFullDiskThePartFileGoesTheEarlierPlayerStaysAndTheLogSaysWhy)
{
    const char* disk = std::getenv("MELVORA_SMALL_DISK");
    if (!disk || !*disk)
        GTEST_SKIP() << "no small disk: tools/run_tests.py mounts one when it runs as root";
    ServePartner("full", {kExtras});
    // A program still, with 2 MiB after it that the disk has no room for.
    ASSERT_TRUE(publisher::Put("/app/ver_file/full/1.0.3/MELVORA.exe", m_standIn + std::string(2u << 20, '\0')));
    const std::string programFiles = std::string(disk) + "\\Program Files";
    const std::string installDir = programFiles + "\\MELVORA";
    int code = -1;
    std::string earlier;
    {
        ProgramFilesMoved moved(programFiles);
        ASSERT_TRUE(moved.Moved());
        ASSERT_TRUE(::CreateDirectoryA(installDir.c_str(), nullptr));
        ASSERT_TRUE(testutil::WriteFileBytes(installDir + "\\MELVORA.exe", m_standIn));
        code = RunSilently("full", "/S /NORUN " + LogArgument());
        earlier = testutil::ReadFileBytes(installDir + "\\MELVORA.exe");
    }
    const std::vector<std::string> files = testutil::FolderEntries(installDir);
    testutil::RemoveTree(programFiles);
    EXPECT_EQ(code, 2);   // the player is not installed
    EXPECT_TRUE(earlier == m_standIn) << "the earlier player was not kept";
    // No part file is left, and once it had gone the files after the player had room.
    EXPECT_EQ(files, (std::vector<std::string>{"MELVORA.exe", "RAZezazi.exe", "VIVoreder.exe", "ZUZade.dll",
                                               "uninstall.exe", "uninstall.ini"}));
    const std::string log = Log();
    for (const std::string& expected : {"MELVORA.exe: did not arrive, not installed as " + installDir +
                                            "\\MELVORA.exe: could not be written: the disk is full (error 112)",
                                        std::string("RAZezazi.exe: installed as"), std::string("exit code 2")})
        EXPECT_NE(log.find(expected), std::string::npos) << expected << "\n" << log;
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

    // A component the list does not name: refused once the list is known, before the install
    // and before anything with effects (a running player is left alone, no "pid" is written).
    RunningPlayer player(m_dir.path(), "MELVORA.exe");
    ASSERT_TRUE(player.Started());
    EXPECT_EQ(RunSilently("badline", "/S /COMPONENTS=nothing " + LogArgument()), 5);
    EXPECT_FALSE(Requested("/app/ver.php", "stats"));
    EXPECT_NE(Log().find("\"nothing\""), std::string::npos) << Log();
    EXPECT_TRUE(player.IsRunning());
    EXPECT_EQ(RegText(HKEY_CURRENT_USER, kProductKey, "pid"), "<missing>");
}

TEST_F(SilentInstallTest, WithoutAComponentListTheNamedComponentsAreMissingNotWrong)
{
    ServePartner("nolist", {kExtras});
    ASSERT_TRUE(publisher::Fault("/app/setup/setup.php", "status", "code=503", "product"));
    EXPECT_EQ(RunSilently("nolist", "/S /NORUN \"/COMPONENTS=추가 기능\" " + LogArgument()), 1);
    EXPECT_TRUE(testutil::FileExists(InstallDir() + "\\MELVORA.exe"));
    EXPECT_EQ(RegText(HKEY_CURRENT_USER, kProductKey, "pid"), "nolist");
    EXPECT_FALSE(Requested("/files/ExtrasSetup.exe"));
    EXPECT_NE(Log().find("no component list, so none of the 1 /COMPONENTS names is installed"), std::string::npos)
        << Log();
}

TEST_F(SilentInstallTest, ALogPathThatLeadsToAnotherFileIsRefusedAndTheInstallGoesOn)
{
    ServePartner("quietlog", {kExtras});
    // A link at the log's name, and a second name of a file, both of someone else's.
    const std::string victim = m_dir / "victim.txt", linked = m_dir / "linked.log", second = m_dir / "second.log";
    ASSERT_TRUE(testutil::WriteFileBytes(victim, "precious"));
    ASSERT_TRUE(testutil::MakeUnixLink(linked, victim));
    ASSERT_TRUE(::CreateHardLinkA(second.c_str(), victim.c_str(), nullptr));
    for (const std::string& path : {linked, second}) {
        EXPECT_EQ(RunSilently("quietlog", "/S /NORUN \"/LOG=" + path + "\""), 0) << path;
        EXPECT_EQ(testutil::ReadFileBytes(victim), "precious") << path;
    }
    EXPECT_TRUE(testutil::FileExists(InstallDir() + "\\MELVORA.exe"));
    // An earlier log of its own is emptied and written again.
    ASSERT_TRUE(testutil::WriteFileBytes(m_dir / "setup.log", std::string(100000, '@')));
    EXPECT_EQ(RunSilently("quietlog", "/S /NORUN " + LogArgument()), 0);
    EXPECT_EQ(Log().find('@'), std::string::npos);
    EXPECT_NE(Log().find("exit code 0"), std::string::npos) << Log();
}

}  // namespace
}  // namespace e2e
