// The uninstaller the setup installs, started as the Uninstall entry says: what it removes
// after a typical install, what it keeps, and that it leaves no trace of itself.
#include "InstallerFixture.h"

#include "support/RunningPlayer.h"
#include "support/UninstallerDriver.h"

namespace e2e {
namespace {

const char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\MELVORA";
const char kRunKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kSessionManager[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const char kUserFile[] = "내 메모.txt";

DWORD WINAPI CloseAfterThreeSeconds(LPVOID hFile)
{
    ::Sleep(3000);
    ::CloseHandle(static_cast<HANDLE>(hFile));
    return 0;
}

class UninstallTest : public InstallerTest {
protected:
    // A typical install with this build's uninstaller and an ini that adds what the player
    // makes; then the player's files, the user's file and a running player.
    void Install(const std::string& setupArguments = std::string())
    {
        ServePartner("abc", {{"/MELVORA Extras/extras.exe", "ExtrasSetup.exe", "추가", "설명", "/pages/x.html", "0"}});
        uninstaller::TemporaryCopies(true);
        const std::string setup = testutil::SetupExePath();
        ASSERT_TRUE(publisher::Put("/app/ver_file/uninstall/Uninstall.exe",
                                   testutil::ReadFileBytes(setup.substr(0, setup.rfind('\\')) + "\\Uninstall.exe")));
        ASSERT_TRUE(publisher::Put("/app/ver_file/uninstall/Uninstall.ini",
                                   "[Remove]\r\nFolder=Cache\r\nFile=player.log\r\nKey=HKLM\\Software\\MELVORA\r\n"));
        StartWizard("abc", setupArguments);
        NextTo(5);
        ASSERT_TRUE(WaitForFinishPage());
        ASSERT_TRUE(m_wizard.PressNext());
        ASSERT_EQ(m_wizard.WaitForExit(), 0);
        ::CreateDirectoryA((InstallDir() + "\\Cache").c_str(), nullptr);
        ASSERT_TRUE(testutil::WriteFileBytes(InstallDir() + "\\Cache\\covers.db", "db"));
        ASSERT_TRUE(testutil::WriteFileBytes(InstallDir() + "\\player.log", "log"));
        ASSERT_TRUE(testutil::WriteFileBytes(InstallDir() + "\\" + kUserFile, "mine"));
        HKEY hKey = nullptr;
        ASSERT_EQ(::RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\MELVORA\\Skins", 0, nullptr, 0, KEY_WRITE, nullptr,
                                    &hKey, nullptr), ERROR_SUCCESS);
        ::RegCloseKey(hKey);
        m_command = RegText(HKEY_LOCAL_MACHINE, kUninstallKey, "UninstallString");
        ASSERT_EQ(m_command, "\"" + InstallDir() + "\\Uninstall.exe\"");
    }

    void TearDown() override
    {
        testutil::DeleteKeyTree(HKEY_LOCAL_MACHINE, "Software\\MELVORA");
        testutil::RemoveUnixLink(QuickLaunchLink().substr(0, QuickLaunchLink().rfind('\\')));
        InstallerTest::TearDown();
    }

    // The pending deletions of the next restart, cleared: the prefix is restarted by later
    // tests, and nothing may go then.
    static std::string TakePendingDeletions()
    {
        const std::string pending =
            testutil::ReadRegValue(HKEY_LOCAL_MACHINE, kSessionManager, "PendingFileRenameOperations").data;
        HKEY hKey = nullptr;
        if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_SET_VALUE, &hKey) == ERROR_SUCCESS) {
            ::RegDeleteValueA(hKey, "PendingFileRenameOperations");
            ::RegCloseKey(hKey);
        }
        return pending;
    }

    static int ExitCodeOf(HANDLE hProcess)
    {
        DWORD code = STILL_ACTIVE;
        if (::WaitForSingleObject(hProcess, 60000) == WAIT_OBJECT_0)
            ::GetExitCodeProcess(hProcess, &code);
        ::CloseHandle(hProcess);
        return int(code);
    }

    std::string m_command;
};

TEST_F(UninstallTest, SilentUninstallRemovesTheSetupsWorkKeepsTheRestAndItself)
{
    ASSERT_NO_FATAL_FAILURE(Install());
    // The player that Finish started has ended once its file can go; a waiting one takes its place.
    const std::string installed = InstallDir() + "\\MELVORA.exe";
    ASSERT_TRUE(testutil::WaitFor([&] { return ::DeleteFileA(installed.c_str()); }));
    RunningPlayer player(InstallDir(), "MELVORA.exe");
    ASSERT_TRUE(player.Started());
    // What the component's installer would have installed: the uninstaller leaves it.
    const std::string component = ProgramFiles() + "\\MELVORA Extras\\extras.exe";
    ASSERT_TRUE(::CreateDirectoryA((ProgramFiles() + "\\MELVORA Extras").c_str(), nullptr));
    ASSERT_TRUE(testutil::WriteFileBytes(component, "the component"));

    EXPECT_EQ(testutil::RunAndWait(m_command + " /S", 60000), 0);
    EXPECT_FALSE(player.IsRunning());
    EXPECT_EQ(testutil::FolderEntries(InstallDir()), std::vector<std::string>{kUserFile});
    for (const std::string& link : {DesktopLink(), QuickLaunchLink(), StartMenuFolder()})
        EXPECT_FALSE(testutil::FileExists(link)) << link;
    EXPECT_EQ(RegText(HKEY_CURRENT_USER, kRunKey, "MELVORA"), "<missing>");
    EXPECT_FALSE(testutil::KeyExists(HKEY_CURRENT_USER, "Software\\MELVORA"));
    EXPECT_FALSE(testutil::KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
    EXPECT_FALSE(testutil::KeyExists(HKEY_LOCAL_MACHINE, "Software\\MELVORA"));
    EXPECT_TRUE(testutil::FileExists(component));
    EXPECT_TRUE(testutil::WaitFor(uninstaller::LeftNoTrace));
}

TEST_F(UninstallTest, AnsweringNoChangesNothing)
{
    ASSERT_NO_FATAL_FAILURE(Install());
    const std::vector<std::string> installed = testutil::FolderEntries(InstallDir());
    HANDLE hProcess = testutil::StartProcess(m_command);
    ASSERT_TRUE(hProcess);
    const HWND hDlg = uninstaller::WaitForDialog(IDNO);
    ASSERT_TRUE(hDlg) << "no question was asked";
    EXPECT_EQ(uninstaller::Text(hDlg), "멜보라 플레이어를 제거하시겠습니까?");
    uninstaller::Press(hDlg, IDNO);
    EXPECT_EQ(ExitCodeOf(hProcess), 1602);

    EXPECT_EQ(testutil::FolderEntries(InstallDir()), installed);
    for (const std::string& link : {DesktopLink(), QuickLaunchLink(), StartMenuLink()})
        EXPECT_TRUE(testutil::FileExists(link)) << link;
    EXPECT_NE(RegText(HKEY_CURRENT_USER, kRunKey, "MELVORA"), "<missing>");
    EXPECT_EQ(RegText(HKEY_CURRENT_USER, "Software\\MELVORA", "pid"), "abc");
    EXPECT_EQ(RegText(HKEY_LOCAL_MACHINE, kUninstallKey, "UninstallString"), m_command);
    EXPECT_TRUE(testutil::KeyExists(HKEY_LOCAL_MACHINE, "Software\\MELVORA\\Skins"));
    EXPECT_TRUE(testutil::WaitFor(uninstaller::LeftNoTrace));
}

TEST_F(UninstallTest, FileInUseGoesAtTheNextRestartAndTheMessageSaysSo)
{
    ASSERT_NO_FATAL_FAILURE(Install());
    const std::string dll = InstallDir() + "\\ZUZade.dll";
    HANDLE hHeld = ::CreateFileA(dll.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(hHeld, INVALID_HANDLE_VALUE);
    HANDLE hProcess = testutil::StartProcess(m_command);
    ASSERT_TRUE(hProcess);
    const HWND hConfirm = uninstaller::WaitForDialog(IDYES);
    ASSERT_TRUE(hConfirm) << "no question was asked";
    uninstaller::Press(hConfirm, IDYES);
    const HWND hResult = uninstaller::WaitForDialog(IDOK);
    ASSERT_TRUE(hResult) << "no outcome was shown";
    const std::string message = uninstaller::Text(hResult);
    const std::string atRestart = "다시 시작하면 제거되는 항목:\r\n  " + dll + " (다른 프로그램이 사용 중입니다)";
    EXPECT_NE(message.find(atRestart), std::string::npos) << message;
    EXPECT_NE(message.find("제거한 항목:\r\n"), std::string::npos) << message;
    uninstaller::Press(hResult, IDOK);
    EXPECT_EQ(ExitCodeOf(hProcess), 3010);
    ::CloseHandle(hHeld);

    // Held without sharing all along: it cannot be moved aside, so it waits under its name.
    EXPECT_NE(TakePendingDeletions().find(dll), std::string::npos);
    EXPECT_FALSE(testutil::FileExists(InstallDir() + "\\MELVORA.exe"));
    EXPECT_TRUE(testutil::WaitFor(uninstaller::LeftNoTrace));
}

TEST_F(UninstallTest, AHeldFileIsTriedAgainARunningOneMovedAsideAndAFolderNamedAsAFileFails)
{
    ASSERT_NO_FATAL_FAILURE(Install());
    ASSERT_TRUE(testutil::WriteFileBytes(InstallDir() + "\\uninstall.ini", "[Remove]\r\nFile=Cache\r\n"));
    // A scanner holds the DLL for three seconds; a side program keeps running.
    const std::string dll = InstallDir() + "\\ZUZade.dll", side = InstallDir() + "\\RAZezazi.exe";
    HANDLE hHeld = ::CreateFileA(dll.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(hHeld, INVALID_HANDLE_VALUE);
    HANDLE hReleaser = ::CreateThread(nullptr, 0, CloseAfterThreeSeconds, hHeld, 0, nullptr);
    ASSERT_TRUE(hReleaser);
    {
        RunningPlayer sideProgram(InstallDir(), "RAZezazi.exe");
        ASSERT_TRUE(sideProgram.Started());
        // The folder named as a file is no file in use: it fails, and so does the uninstall.
        EXPECT_EQ(testutil::RunAndWait(m_command + " /S", 60000), 1603);
        EXPECT_TRUE(sideProgram.IsRunning());
    }
    ::WaitForSingleObject(hReleaser, 10000);
    ::CloseHandle(hReleaser);

    EXPECT_FALSE(testutil::FileExists(dll));
    EXPECT_FALSE(testutil::FileExists(side));
    EXPECT_TRUE(testutil::FileExists(InstallDir() + "\\Cache\\covers.db"));
    // Only the running program's file waits for the restart, moved out under a name of its own.
    const std::string pending = TakePendingDeletions();
    EXPECT_EQ(pending.find(dll), std::string::npos) << pending;
    EXPECT_EQ(pending.find(side), std::string::npos) << pending;
    const std::string moved = uninstaller::TemporaryFolder() + "MELVORA-removed-";
    EXPECT_NE(pending.find(moved), std::string::npos) << pending;
    for (const std::string& name : testutil::FolderEntries(uninstaller::TemporaryFolder())) {
        if (name.compare(0, 16, "MELVORA-removed-") == 0)
            ::DeleteFileA((uninstaller::TemporaryFolder() + name).c_str());
    }
}

TEST_F(UninstallTest, SetupAndUninstallerNeverRunTogether)
{
    ASSERT_NO_FATAL_FAILURE(Install());
    const std::vector<std::string> installed = testutil::FolderEntries(InstallDir());
    // While a setup's wizard is open, the uninstaller removes nothing and says why.
    ASSERT_NO_FATAL_FAILURE(StartWizard("abc"));
    EXPECT_EQ(testutil::RunAndWait(m_command + " /S", 60000), 1603);
    HANDLE hProcess = testutil::StartProcess(m_command);
    ASSERT_TRUE(hProcess);
    const HWND hBox = uninstaller::WaitForDialog(IDOK);
    ASSERT_TRUE(hBox) << "no message was shown";
    char text[512] = {};
    ::GetDlgItemTextA(hBox, 0xFFFF, text, sizeof text);
    EXPECT_NE(std::string(text).find("설치 또는 제거 프로그램이 이미 실행 중입니다"), std::string::npos) << text;
    uninstaller::Press(hBox, IDOK);
    EXPECT_EQ(ExitCodeOf(hProcess), 1603);
    EXPECT_EQ(testutil::FolderEntries(InstallDir()), installed);
    EXPECT_TRUE(testutil::KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
    m_wizard.Terminate();

    // While the uninstaller asks its question, a setup ends at once, as a second setup does.
    hProcess = testutil::StartProcess(m_command);
    ASSERT_TRUE(hProcess);
    const HWND hConfirm = uninstaller::WaitForDialog(IDYES);
    ASSERT_TRUE(hConfirm) << "no question was asked";
    ASSERT_TRUE(m_wizard.Start(m_dir.path(), "Setup_abc.exe", "/S"));
    EXPECT_EQ(m_wizard.WaitForExit(20000), 4);
    uninstaller::Press(hConfirm, IDNO);
    EXPECT_EQ(ExitCodeOf(hProcess), 1602);
    EXPECT_EQ(testutil::FolderEntries(InstallDir()), installed);
}

TEST_F(UninstallTest, RegistryLinksAndALinkedMenuFolderGoThemselvesNeverWhatTheyLeadTo)
{
    ASSERT_NO_FATAL_FAILURE(Install());
    const std::string shortcut = testutil::ReadFileBytes(StartMenuLink());
    ASSERT_FALSE(shortcut.empty());
    // In place of the product's key, and of a key below the ini's: links to a key of another's.
    const char kOther[] = "Software\\MELVORA Other";
    HKEY hKey = nullptr;
    ASSERT_EQ(::RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\MELVORA Other\\Sub", 0, nullptr, 0, KEY_WRITE, nullptr,
                                &hKey, nullptr), ERROR_SUCCESS);
    ::RegCloseKey(hKey);
    ASSERT_EQ(::RegSetKeyValueA(HKEY_LOCAL_MACHINE, kOther, "keep", REG_SZ, "1", 2), ERROR_SUCCESS);
    testutil::DeleteKeyTree(HKEY_CURRENT_USER, "Software\\MELVORA");
    testutil::DeleteKeyTree(HKEY_LOCAL_MACHINE, "Software\\MELVORA\\Skins");
    ASSERT_TRUE(testutil::MakeRegistryLink(HKEY_CURRENT_USER, "Software\\MELVORA",
                                           L"\\Registry\\Machine\\Software\\MELVORA Other"));
    ASSERT_TRUE(testutil::MakeRegistryLink(HKEY_LOCAL_MACHINE, "Software\\MELVORA\\Skins",
                                           L"\\Registry\\Machine\\Software\\MELVORA Other"));
    // In place of the menu folder: a link to a folder of another's, with a shortcut to this player.
    const std::string menu = m_dir / "menu";
    ASSERT_TRUE(::CreateDirectoryA(menu.c_str(), nullptr));
    ASSERT_TRUE(testutil::WriteFileBytes(menu + "\\" + kLinkName, shortcut));
    ASSERT_TRUE(testutil::WriteFileBytes(menu + "\\notes.txt", "mine"));
    testutil::RemoveTree(StartMenuFolder());
    ASSERT_TRUE(testutil::MakeUnixLink(StartMenuFolder(), menu));

    EXPECT_EQ(testutil::RunAndWait(m_command + " /S", 60000), 0);
    EXPECT_FALSE(testutil::IsRegistryLink(HKEY_CURRENT_USER, "Software\\MELVORA"));
    EXPECT_FALSE(testutil::KeyExists(HKEY_CURRENT_USER, "Software\\MELVORA"));
    EXPECT_FALSE(testutil::KeyExists(HKEY_LOCAL_MACHINE, "Software\\MELVORA"));
    EXPECT_EQ(RegText(HKEY_LOCAL_MACHINE, kOther, "keep"), "1");
    EXPECT_TRUE(testutil::KeyExists(HKEY_LOCAL_MACHINE, "Software\\MELVORA Other\\Sub"));
    EXPECT_TRUE(testutil::IsUnixLink(StartMenuFolder()));
    EXPECT_EQ(testutil::FolderEntries(menu), (std::vector<std::string>{"notes.txt", kLinkName}));
    testutil::DeleteKeyTree(HKEY_LOCAL_MACHINE, kOther);
    testutil::RemoveTree(StartMenuFolder());
}

// The user's own shell folder setting, for the length of a test.
class RedirectedShellFolder {
public:
    RedirectedShellFolder(const char* name, const std::string& folder) : m_name(name)
    {
        m_saved = testutil::ReadRegValue(HKEY_CURRENT_USER, kUserShellFolders, name);
        ::RegSetKeyValueA(HKEY_CURRENT_USER, kUserShellFolders, name, REG_EXPAND_SZ, folder.c_str(),
                          DWORD(folder.size() + 1));
    }
    ~RedirectedShellFolder()
    {
        if (m_saved.exists)
            ::RegSetKeyValueA(HKEY_CURRENT_USER, kUserShellFolders, m_name, m_saved.type, m_saved.data.data(),
                              DWORD(m_saved.data.size()));
        else
            ::RegDeleteKeyValueA(HKEY_CURRENT_USER, kUserShellFolders, m_name);
    }

private:
    static constexpr const char* kUserShellFolders =
        "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
    const char* m_name;
    testutil::RegValue m_saved;
};

TEST_F(UninstallTest, ShortcutsAtLinksTheUserPlantedAreNeitherWrittenNorFollowed)
{
    // The desktop redirected to a folder of the user's, a link at the shortcut's name there;
    // Quick Launch itself a link to another folder.
    const std::string desktop = m_dir / "desktop", elsewhere = m_dir / "elsewhere", victim = m_dir / "victim";
    ASSERT_TRUE(::CreateDirectoryA(desktop.c_str(), nullptr) && ::CreateDirectoryA(elsewhere.c_str(), nullptr));
    ASSERT_TRUE(testutil::WriteFileBytes(victim, "precious"));
    const std::string plantedLink = desktop + "\\" + kLinkName;
    ASSERT_TRUE(testutil::MakeUnixLink(plantedLink, victim));
    const std::string quickLaunch = QuickLaunchLink().substr(0, QuickLaunchLink().rfind('\\'));
    testutil::RemoveTree(quickLaunch);
    ASSERT_TRUE(testutil::MakeUnixLink(quickLaunch, elsewhere));
    RedirectedShellFolder redirected("Desktop", desktop);
    ASSERT_EQ(DesktopLink(), plantedLink);

    ASSERT_NO_FATAL_FAILURE(Install("\"/LOG=" + (m_dir / "setup.log") + "\""));
    EXPECT_EQ(testutil::ReadFileBytes(victim), "precious");
    EXPECT_TRUE(testutil::FolderEntries(elsewhere).empty());
    const std::string log = testutil::ReadFileBytes(m_dir / "setup.log");
    EXPECT_NE(log.find("(not saved: a link or a file with a second name is there)"), std::string::npos) << log;
    EXPECT_NE(log.find("(not saved: its folder is a link or missing)"), std::string::npos) << log;

    // Both made shortcuts to this very player, as the user's own could be: neither goes.
    const std::string shortcut = testutil::ReadFileBytes(StartMenuLink());
    ASSERT_TRUE(testutil::WriteFileBytes(victim, shortcut));
    ASSERT_TRUE(testutil::WriteFileBytes(elsewhere + "\\" + kLinkName, shortcut));
    HANDLE hProcess = testutil::StartProcess(m_command);
    ASSERT_TRUE(hProcess);
    const HWND hConfirm = uninstaller::WaitForDialog(IDYES);
    ASSERT_TRUE(hConfirm) << "no question was asked";
    uninstaller::Press(hConfirm, IDYES);
    const HWND hResult = uninstaller::WaitForDialog(IDOK);
    ASSERT_TRUE(hResult) << "no outcome was shown";
    const std::string message = uninstaller::Text(hResult);
    EXPECT_NE(message.find(plantedLink + " (다른 곳을 가리키는 링크이거나 이름이 둘인 파일입니다)"), std::string::npos)
        << message;
    EXPECT_NE(message.find(quickLaunch + " (다른 곳을 가리키는 링크인 폴더라서 들어가지 않았습니다)"),
              std::string::npos) << message;
    uninstaller::Press(hResult, IDOK);
    EXPECT_EQ(ExitCodeOf(hProcess), 0);
    EXPECT_TRUE(testutil::IsUnixLink(plantedLink));
    EXPECT_EQ(testutil::ReadFileBytes(victim), shortcut);
    EXPECT_EQ(testutil::ReadFileBytes(elsewhere + "\\" + kLinkName), shortcut);
    EXPECT_FALSE(testutil::FileExists(StartMenuFolder()));
}

}  // namespace
}  // namespace e2e
