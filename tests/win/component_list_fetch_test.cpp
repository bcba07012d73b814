// The session fetches its partner's component list from the loopback product server and
// reads it against the real file system.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "app/SetupSession.h"
#include "support/PublisherControl.h"
#include "support/TestUtil.h"

namespace {

// A session for partner abc whose Program Files folder is a fresh temporary folder.
class ComponentListFetch : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(publisher::Reset());
        std::strcpy(m_savedProgramFiles, g_szProgramFilesDir);
        ASSERT_LT(m_programFiles.path().size(), sizeof g_szProgramFilesDir);
        std::strcpy(g_szProgramFilesDir, m_programFiles.path().c_str());
        m_session.strPartnerId = "abc";
        m_session.pComponents = m_entries.get();
    }
    void TearDown() override { std::strcpy(g_szProgramFilesDir, m_savedProgramFiles); }

    std::string InProgramFiles(const std::string& relative) const { return m_programFiles / relative; }

    testutil::ScopedTempDir m_programFiles;
    char m_savedProgramFiles[sizeof g_szProgramFilesDir] = {};
    std::unique_ptr<ComponentEntry[]> m_entries{new ComponentEntry[kComponentCapacity]};
    SetupSession m_session;
};

TEST_F(ComponentListFetch, AsksForThePartnersListAndSkipsInstalledComponents)
{
    ASSERT_TRUE(::CreateDirectoryA(InProgramFiles("Lyric").c_str(), nullptr));
    ASSERT_TRUE(testutil::WriteFileBytes(InProgramFiles("Lyric\\lyric.exe"), "installed"));
    const std::string pages = publisher::Url("/pages/");
    ASSERT_TRUE(publisher::Put("/app/setup/setup.php?pid=abc",
                               "/Lyric/lyric.exe|http://dl.example/LyricSetup.exe|Lyrics|Shows lyrics|" + pages +
                                   "lyric.html|1^/Skin/Pack/skins.dat|http://dl.example/x/SkinSetup.exe|Skins|"
                                   "More skins|" + pages + "skin.html|0^"));
    ASSERT_TRUE(publisher::Put("/app/setup/setup.php?pid=other", "/Other/o.exe|http://dl.example/o.exe|O|o|p|0"));

    m_session.FetchComponentList();

    ASSERT_EQ(m_session.nComponentCount, 1);
    const ComponentEntry& e = m_entries[0];
    EXPECT_EQ(e.name, "Skins");
    EXPECT_EQ(e.description, "More skins");
    EXPECT_EQ(e.pageUrl, (pages + "skin.html").c_str());
    EXPECT_EQ(e.checkPath, InProgramFiles("Skin\\Pack\\skins.dat").c_str());
    EXPECT_EQ(e.localPath, InProgramFiles("Skin\\Pack\\SkinSetup.exe").c_str());
    EXPECT_EQ(e.url, "http://dl.example/x/SkinSetup.exe");
    EXPECT_EQ(e.mandatoryFlag, "0");

    const auto log = publisher::ReadLog();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].role, "product");
    EXPECT_EQ(log[0].path, "/app/setup/setup.php?pid=abc");
    EXPECT_EQ(log[0].agent, "Mozilla");
}

TEST_F(ComponentListFetch, AFolderCountsAsAnInstalledComponentToo)
{
    ASSERT_TRUE(::CreateDirectoryA(InProgramFiles("Tools").c_str(), nullptr));
    ASSERT_TRUE(publisher::Put("/app/setup/setup.php", "/Tools|http://dl.example/t.exe|T|t|p|0^"
                                                       "/Tools/new.exe|http://dl.example/n.exe|N|n|p|0"));
    m_session.FetchComponentList();
    ASSERT_EQ(m_session.nComponentCount, 1);
    EXPECT_EQ(m_entries[0].name, "N");
}

TEST_F(ComponentListFetch, AnEmptyOrNotFoundAnswerLeavesTheListEmpty)
{
    // Nothing served: the server's own 404 page.
    m_session.FetchComponentList();
    EXPECT_EQ(m_session.nComponentCount, 0);

    // A list whose text holds the not-found words anywhere is not read at all.
    ASSERT_TRUE(publisher::Put("/app/setup/setup.php?pid=abc",
                               "/A/a.exe|http://dl.example/a.exe|A|a|p|0^<h1>404 Not Found</h1>"));
    m_session.FetchComponentList();
    EXPECT_EQ(m_session.nComponentCount, 0);

    ASSERT_TRUE(publisher::Put("/app/setup/setup.php?pid=abc", ""));
    m_session.FetchComponentList();
    EXPECT_EQ(m_session.nComponentCount, 0);
    EXPECT_EQ(publisher::ReadLog().size(), 3u);
}

}  // namespace
