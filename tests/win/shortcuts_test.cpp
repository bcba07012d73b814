// Shortcuts saved by the shell link object, opened again through COM to see what they hold.
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <string>

#include "install/Shortcuts.h"
#include "support/TestUtil.h"

namespace {

const char kLinkName[] = "\\무료음악감상.lnk";

std::string ShellFolder(int csidl)
{
    char path[MAX_PATH + 1] = {};
    return SUCCEEDED(::SHGetFolderPathA(nullptr, csidl, nullptr, 0, path)) ? path : "";
}

struct Link {
    bool loaded = false;
    std::string target, workingFolder, description;
};

Link ReadLink(const std::string& path)
{
    Link link;
    IShellLinkA* shellLink = nullptr;
    if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                  reinterpret_cast<void**>(&shellLink))))
        return link;
    IPersistFile* file = nullptr;
    if (SUCCEEDED(shellLink->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
        WCHAR wide[MAX_PATH * 2] = {};
        ::MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH * 2);
        if (SUCCEEDED(file->Load(wide, STGM_READ))) {
            char text[MAX_PATH * 2] = {};
            link.loaded = true;
            if (SUCCEEDED(shellLink->GetPath(text, MAX_PATH, nullptr, SLGP_RAWPATH)))
                link.target = text;
            text[0] = 0;
            if (SUCCEEDED(shellLink->GetWorkingDirectory(text, MAX_PATH)))
                link.workingFolder = text;
            text[0] = 0;
            if (SUCCEEDED(shellLink->GetDescription(text, MAX_PATH)))
                link.description = text;
        }
        file->Release();
    }
    shellLink->Release();
    return link;
}

bool IsFolder(const std::string& path)
{
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Number of entries in a folder, "." and ".." not counted.
int CountEntries(const std::string& folder)
{
    WIN32_FIND_DATAA fd;
    HANDLE h = ::FindFirstFileA((folder + "\\*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return 0;
    int n = 0;
    do {
        const std::string name = fd.cFileName;
        n += name != "." && name != "..";
    } while (::FindNextFileA(h, &fd));
    ::FindClose(h);
    return n;
}

class ShortcutsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ::CoInitialize(nullptr);
        m_desktop = ShellFolder(CSIDL_DESKTOP);
        const std::string appData = ShellFolder(CSIDL_APPDATA);
        const std::string programs = ShellFolder(CSIDL_COMMON_PROGRAMS);
        ASSERT_FALSE(m_desktop.empty() || appData.empty() || programs.empty());
        m_quickLaunch = appData + "\\Microsoft\\Internet Explorer\\Quick Launch";
        m_startMenu = programs + "\\MELVORA";
        RemoveShortcuts();
        m_target = m_dir / "MELVORA.exe";
        ASSERT_TRUE(testutil::WriteFileBytes(m_target, "MZ"));
    }
    void TearDown() override
    {
        RemoveShortcuts();
        if (!m_createdFolder.empty())
            testutil::RemoveTree(m_createdFolder);
        ::CoUninitialize();
    }

    void RemoveShortcuts()
    {
        ::DeleteFileA((m_desktop + kLinkName).c_str());
        ::DeleteFileA((m_quickLaunch + kLinkName).c_str());
        testutil::RemoveTree(m_startMenu);
    }
    // A fresh prefix has no Quick Launch folder; it is made here and removed afterwards.
    void MakeQuickLaunchFolder()
    {
        std::string path;
        size_t start = m_quickLaunch.find('\\', 3);
        for (;;) {
            const size_t end = m_quickLaunch.find('\\', start + 1);
            path = m_quickLaunch.substr(0, end);
            if (::CreateDirectoryA(path.c_str(), nullptr) && m_createdFolder.empty())
                m_createdFolder = path;
            if (end == std::string::npos)
                break;
            start = end;
        }
        ASSERT_TRUE(IsFolder(m_quickLaunch));
    }
    void ExpectLinkToTarget(const std::string& path)
    {
        SCOPED_TRACE(path);
        const Link link = ReadLink(path);
        ASSERT_TRUE(link.loaded);
        EXPECT_EQ(link.target, m_target);
        EXPECT_EQ(link.workingFolder, m_dir.path());
        EXPECT_EQ(link.description, "무료음악감상");
    }

    testutil::ScopedTempDir m_dir;
    std::string m_target, m_desktop, m_quickLaunch, m_startMenu, m_createdFolder;
};

TEST_F(ShortcutsTest, TheDesktopBoxGivesDesktopAndQuickLaunchLinksAndAnEmptyMenuFolder)
{
    MakeQuickLaunchFolder();
    CreateShortcuts(m_target.c_str(), kLinkName, true, true, false);
    ExpectLinkToTarget(m_desktop + kLinkName);
    ExpectLinkToTarget(m_quickLaunch + kLinkName);
    EXPECT_TRUE(IsFolder(m_startMenu));
    EXPECT_EQ(CountEntries(m_startMenu), 0);
}

TEST_F(ShortcutsTest, TheStartMenuBoxAloneGivesOnlyTheMenuLink)
{
    MakeQuickLaunchFolder();
    CreateShortcuts(m_target.c_str(), kLinkName, false, false, true);
    ExpectLinkToTarget(m_startMenu + kLinkName);
    EXPECT_FALSE(testutil::FileExists(m_desktop + kLinkName));
    EXPECT_EQ(CountEntries(m_quickLaunch), 0);
}

TEST_F(ShortcutsTest, WithNoBoxTickedOnlyTheMenuFolderIsMade)
{
    MakeQuickLaunchFolder();
    CreateShortcuts(m_target.c_str(), kLinkName, false, false, false);
    EXPECT_FALSE(testutil::FileExists(m_desktop + kLinkName));
    EXPECT_EQ(CountEntries(m_quickLaunch), 0);
    EXPECT_TRUE(IsFolder(m_startMenu));
    EXPECT_EQ(CountEntries(m_startMenu), 0);
}

TEST_F(ShortcutsTest, AMissingPlayerGetsNoShortcutAndNoMenuFolder)
{
    MakeQuickLaunchFolder();
    ASSERT_TRUE(::DeleteFileA(m_target.c_str()));
    CreateShortcuts(m_target.c_str(), kLinkName, true, true, true);
    EXPECT_FALSE(testutil::FileExists(m_desktop + kLinkName));
    EXPECT_EQ(CountEntries(m_quickLaunch), 0);
    EXPECT_FALSE(testutil::FileExists(m_startMenu));
}

TEST_F(ShortcutsTest, ALinkPathBeyondMaxPathIsSkippedNotCut)
{
    MakeQuickLaunchFolder();
    // A name that makes the desktop link exactly MAX_PATH - 1 characters long; the same
    // name in the two deeper folders goes beyond MAX_PATH.
    const std::string name = "\\" + std::string(MAX_PATH - 1 - m_desktop.size() - 5, 'a') + ".lnk";
    ASSERT_EQ(m_desktop.size() + name.size(), size_t(MAX_PATH - 1));
    ASSERT_GT(m_startMenu.size(), m_desktop.size());
    ASSERT_GT(m_quickLaunch.size(), m_desktop.size());

    CreateShortcuts(m_target.c_str(), name.c_str(), true, true, true);
    ExpectLinkToTarget(m_desktop + name);
    ::DeleteFileA((m_desktop + name).c_str());
    EXPECT_EQ(CountEntries(m_quickLaunch), 0);
    EXPECT_EQ(CountEntries(m_startMenu), 0);
}

}  // namespace
