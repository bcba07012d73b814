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

class UninstallTest : public InstallerTest {
protected:
    // A typical install with this build's uninstaller and an ini that adds what the player
    // makes; then the player's files, the user's file and a running player.
    void Install()
    {
        ServePartner("abc", {{"/MELVORA Extras/extras.exe", "ExtrasSetup.exe", "추가", "설명", "/pages/x.html", "0"}});
        uninstaller::TemporaryCopies(true);
        const std::string setup = testutil::SetupExePath();
        ASSERT_TRUE(publisher::Put("/app/ver_file/uninstall/Uninstall.exe",
                                   testutil::ReadFileBytes(setup.substr(0, setup.rfind('\\')) + "\\Uninstall.exe")));
        ASSERT_TRUE(publisher::Put("/app/ver_file/uninstall/Uninstall.ini",
                                   "[Remove]\r\nFolder=Cache\r\nFile=player.log\r\nKey=HKLM\\Software\\MELVORA\r\n"));
        StartWizard("abc");
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
        InstallerTest::TearDown();
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

    const testutil::RegValue pending = testutil::ReadRegValue(HKEY_LOCAL_MACHINE, kSessionManager,
                                                              "PendingFileRenameOperations");
    EXPECT_NE(pending.data.find(dll), std::string::npos);
    HKEY hKey = nullptr;   // the prefix is restarted by later tests: nothing may go then
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_SET_VALUE, &hKey) == ERROR_SUCCESS) {
        ::RegDeleteValueA(hKey, "PendingFileRenameOperations");
        ::RegCloseKey(hKey);
    }
    EXPECT_FALSE(testutil::FileExists(InstallDir() + "\\MELVORA.exe"));
    EXPECT_TRUE(testutil::WaitFor(uninstaller::LeftNoTrace));
}

}  // namespace
}  // namespace e2e
