// The setup program records the partner id of its own file name as "pid".
#include <gtest/gtest.h>

#include <string>

#include "support/PublisherControl.h"
#include "support/SetupRunner.h"
#include "support/TestUtil.h"

namespace {

using testutil::ReadRegValue;

// Copies Setup.exe under the given name into a folder, runs it to its end and returns
// what it stored as "pid" (exists=false when nothing was stored).
testutil::RegValue RunAs(const std::string& folder, const std::string& fileName)
{
    testutil::DeleteKeyTree(HKEY_CURRENT_USER, "Software\\MELVORA");
    const std::string path = folder + "\\" + fileName;
    EXPECT_TRUE(testutil::CopyFileTo(testutil::SetupExePath(), path)) << path;
    EXPECT_TRUE(setuprunner::RunToStartAndCancel(path)) << path;
    return ReadRegValue(HKEY_CURRENT_USER, "Software\\MELVORA", "pid");
}

TEST(PartnerIdUnderWine, ComesFromTheProgramsFileName)
{
    testutil::ScopedTempDir dir;
    EXPECT_EQ(RunAs(dir.path(), "Setup_nv01[1].exe").data, std::string("nv01", 5));
    EXPECT_EQ(RunAs(dir.path(), "Setup_a_b.exe").data, std::string("a_b", 4));
    EXPECT_EQ(RunAs(dir.path(), "Setup.exe").data, std::string("melvora", 8));
}

TEST(PartnerIdUnderWine, ACopyRenamedByABrowserKeepsItsPartnerInTheRegistryAndInItsRequests)
{
    testutil::ScopedTempDir dir;
    testutil::DeleteKeyTree(HKEY_CURRENT_USER, "Software\\MELVORA");
    ASSERT_TRUE(publisher::ClearLog());
    const std::string path = dir / "Setup_nv01 (1).exe";
    ASSERT_TRUE(testutil::CopyFileTo(testutil::SetupExePath(), path));
    auto componentListRequests = [] {
        std::vector<std::string> paths;
        for (const auto& entry : publisher::ReadLog("product")) {
            if (entry.path.rfind("/app/setup/setup.php", 0) == 0)
                paths.push_back(entry.path);
        }
        return paths;
    };
    // Cancelled only once the start-up work has asked for the component list.
    ASSERT_TRUE(setuprunner::RunToStartAndCancel(path, 60000, [&] { return !componentListRequests().empty(); }));
    EXPECT_EQ(ReadRegValue(HKEY_CURRENT_USER, "Software\\MELVORA", "pid").data, std::string("nv01", 5));
    EXPECT_EQ(componentListRequests(), std::vector<std::string>{"/app/setup/setup.php?pid=nv01"});
}

TEST(PartnerIdUnderWine, AnEmptyIdIsRecordedAsAnEmptyString)
{
    testutil::ScopedTempDir dir;
    const auto v = RunAs(dir.path(), "Setup_.exe");
    ASSERT_TRUE(v.exists);
    EXPECT_EQ(v.type, DWORD(REG_SZ));
    EXPECT_EQ(v.data, std::string(1, '\0'));
}

TEST(PartnerIdUnderWine, FolderNamesDoNotCount)
{
    testutil::ScopedTempDir dir;
    const std::string folder = dir / "my_downloads.x";
    ASSERT_TRUE(::CreateDirectoryA(folder.c_str(), nullptr));
    EXPECT_EQ(RunAs(folder, "Setup.exe").data, std::string("melvora", 8));
}

TEST(PartnerIdUnderWine, KoreanFileNamesKeepTheirBytes)
{
    // "Setup_파트너.exe": the id arrives in code page 949, as the file system gives it.
    testutil::ScopedTempDir dir;
    EXPECT_EQ(RunAs(dir.path(), "Setup_\xC6\xC4\xC6\xAE\xB3\xCA.exe").data, std::string("\xC6\xC4\xC6\xAE\xB3\xCA", 7));
}

}  // namespace
