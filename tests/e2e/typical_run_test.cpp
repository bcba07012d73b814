// The typical run, step for step: partner abc, one component already installed and
// dropped, the other installed and started, the player started at the end, the install
// log sent with credentials.
#include "InstallerFixture.h"

#include <objbase.h>
#include <shlobj.h>

namespace e2e {
namespace {

struct LinkInfo {
    bool loaded = false;
    std::string target, workingDir, description;
};

LinkInfo ReadLink(const std::string& path)
{
    LinkInfo info;
    ::CoInitialize(nullptr);
    IShellLinkA* link = nullptr;
    if (SUCCEEDED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                     reinterpret_cast<void**>(&link)))) {
        IPersistFile* file = nullptr;
        if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
            wchar_t wide[MAX_PATH * 2] = {};
            ::MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH * 2);
            if (SUCCEEDED(file->Load(wide, STGM_READ))) {
                char buffer[MAX_PATH * 2] = {};
                link->GetPath(buffer, sizeof buffer, nullptr, 0);
                info.target = buffer;
                link->GetWorkingDirectory(buffer, sizeof buffer);
                info.workingDir = buffer;
                link->GetDescription(buffer, sizeof buffer);
                info.description = buffer;
                info.loaded = true;
            }
            file->Release();
        }
        link->Release();
    }
    ::CoUninitialize();
    return info;
}

std::string RegString(HKEY root, const char* key, const char* name)
{
    const auto v = testutil::ReadRegValue(root, key, name);
    std::string s = v.data;
    while (!s.empty() && s.back() == '\0')
        s.pop_back();
    return v.exists ? s : "<missing>";
}

TEST_F(InstallerTest, TypicalRunInstallsRecordsAndStartsEverything)
{
    const Component installed{"/MELVORA Tools/tool.exe", "ToolSetup.exe", "도구", "이미 설치된 도구", "/pages/tool.html", "0"};
    const Component offered{"/MELVORA Extras/extras.exe", "ExtrasSetup.exe", "추가 기능", "추가 기능 설명",
                            "/pages/extras.html", "0"};
    ServePartner("abc", {installed, offered});
    // The first component is already on this machine.
    ::CreateDirectoryA((ProgramFiles() + "\\MELVORA Tools").c_str(), nullptr);
    ASSERT_TRUE(testutil::WriteFileBytes(ProgramFiles() + "\\MELVORA Tools\\tool.exe", "x"));

    StartWizard("abc");
    EXPECT_EQ(testutil::ReadRegValue(HKEY_CURRENT_USER, "Software\\MELVORA", "pid").data, std::string("abc", 4));
    EXPECT_TRUE(Requested("/app/setup/setup.php?pid=abc"));
    SavePage("typical-1-welcome");

    NextTo(2);
    EXPECT_NE(m_wizard.Text(1002).find("멜보라 플레이어의 이용 조건"), std::string::npos);
    SavePage("typical-2-terms");

    NextTo(3);
    const auto items = m_wizard.TreeItems();
    ASSERT_EQ(items.size(), 4u);
    EXPECT_EQ(items[0].text, "MELVORA");
    EXPECT_EQ(items[1].text, kPlayerItem);
    EXPECT_EQ(items[2].text, kUpdaterItem);
    EXPECT_EQ(items[3].text, "추가 기능");
    EXPECT_EQ(items[0].checkState, 3);
    EXPECT_EQ(items[3].checkState, 1);
    EXPECT_EQ(m_wizard.BrowserUrl(), publisher::Url("/Lisence/agree.php?w=400"));
    SavePage("typical-3-components");

    NextTo(4);
    SavePage("typical-4-folder");
    // The player trickles in, so the installing page stays long enough to be seen.
    ASSERT_TRUE(publisher::Fault("/app/ver_file/abc/1.0.3/MELVORA.exe", "trickle", "chunk=1024&interval=100"));
    ASSERT_TRUE(m_wizard.PressNext());
    ASSERT_EQ(m_wizard.CurrentPage(), 5);
    EXPECT_TRUE(testutil::WaitFor([&] { return m_wizard.Text(1010) == "MELVORA.exe 설치 중..."; }));
    SavePage("typical-5-installing");
    ASSERT_TRUE(WaitForFinishPage()) << "the install did not reach the finish page";
    SavePage("typical-6-finish");

    // The component's installer was fetched into the setup's private folder and started
    // from there (not waited for: it records its start a moment later); nothing was
    // written into the component's own folder, which its installer makes.
    EXPECT_TRUE(testutil::WaitFor([&] { return InstallerStarted("ExtrasSetup.exe"); }));
    EXPECT_FALSE(testutil::FileExists(ProgramFiles() + "\\MELVORA Extras"));
    EXPECT_FALSE(Requested("/files/ToolSetup.exe"));

    EXPECT_TRUE(m_wizard.IsChecked(101));
    EXPECT_TRUE(m_wizard.IsChecked(103));
    ASSERT_TRUE(m_wizard.PressNext());   // "마침"
    EXPECT_EQ(m_wizard.WaitForExit(), 0);

    // Files, registry, shortcuts, the player, the report.
    for (const char* name : {"MELVORA.exe", "ZUZade.dll", "VIVoreder.exe", "RAZezazi.exe", "uninstall.exe",
                             "uninstall.ini"})
        EXPECT_TRUE(testutil::FileExists(InstallDir() + "\\" + name)) << name;
    const char* uninstallKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\MELVORA";
    EXPECT_EQ(RegString(HKEY_LOCAL_MACHINE, uninstallKey, "DisplayName"), "MELVORA");
    EXPECT_EQ(RegString(HKEY_LOCAL_MACHINE, uninstallKey, "UninstallString"), "\"" + InstallDir() + "\\Uninstall.exe\"");
    EXPECT_EQ(RegString(HKEY_LOCAL_MACHINE, uninstallKey, "Publisher"), "Orvanta co., Ltd.");
    EXPECT_EQ(RegString(HKEY_CURRENT_USER, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", "MELVORA"),
              "\"" + InstallDir() + "\\MELVORA.exe\"");
    EXPECT_EQ(RegString(HKEY_CURRENT_USER, "Software\\MELVORA", "exe_ver"), "1.0.3");
    EXPECT_EQ(RegString(HKEY_CURRENT_USER, "Software\\MELVORA", "updater_ver"), "1.0.1");
    EXPECT_EQ(RegString(HKEY_CURRENT_USER, "Software\\MELVORA", "dellog_ver"), "1.0.3");

    for (const std::string& link : {DesktopLink(), QuickLaunchLink(), StartMenuFolder() + "\\" + kLinkName}) {
        const LinkInfo info = ReadLink(link);
        ASSERT_TRUE(info.loaded) << link;
        EXPECT_EQ(info.target, InstallDir() + "\\MELVORA.exe");
        EXPECT_EQ(info.workingDir, InstallDir());
        EXPECT_EQ(info.description, "무료음악감상");
    }
    EXPECT_TRUE(testutil::WaitFor([&] { return WasStarted("\\MELVORA\\MELVORA.exe"); }));

    bool versionAsked = false, logSent = false;
    for (const auto& r : Requests("stats"))
        versionAsked |= r.path == "/app/ver.php?project=melvora&pid=abc" && r.version == "HTTP/1.0" &&
                        r.authorization == publisher::BasicAuthorization();
    for (const auto& r : Requests("log"))
        logSent |= r.path == "/app/receive/log.php?pid=abc" && r.authorization == publisher::BasicAuthorization();
    EXPECT_TRUE(versionAsked);
    EXPECT_TRUE(logSent);
    EXPECT_TRUE(Requested("/app/ver_file/abc/1.0.1/VIVoreder.exe"));
    EXPECT_TRUE(Requested("/app/ver_file/uninstall/Uninstall.ini"));
}

}  // namespace
}  // namespace e2e
