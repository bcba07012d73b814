// Creating folder paths on Wine's real file system.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "support/TestUtil.h"
#include "sys/FolderPath.h"

namespace {

bool IsFolder(const std::string& path)
{
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

TEST(CreateFolderPath, CreatesEveryMissingLevelAndReportsTheLast)
{
    testutil::ScopedTempDir x;
    ASSERT_TRUE(::CreateDirectoryA((x / "A").c_str(), nullptr));
    EXPECT_NE(CreateFolderPath((x / "A\\B\\C").c_str()), 0);
    EXPECT_TRUE(IsFolder(x / "A\\B"));
    EXPECT_TRUE(IsFolder(x / "A\\B\\C"));
}

TEST(CreateFolderPath, AnExistingFolderGivesZeroAndStaysAsItWas)
{
    testutil::ScopedTempDir x;
    ASSERT_TRUE(::CreateDirectoryA((x / "A").c_str(), nullptr));
    ASSERT_TRUE(testutil::WriteFileBytes(x / "A\\keep.txt", "kept"));
    EXPECT_EQ(CreateFolderPath((x / "A").c_str()), 0);
    EXPECT_EQ(testutil::ReadFileBytes(x / "A\\keep.txt"), "kept");
}

TEST(CreateFolderPath, ATrailingBackslashCreatesTheFolderButReportsZero)
{
    testutil::ScopedTempDir x;
    ASSERT_TRUE(::CreateDirectoryA((x / "A").c_str(), nullptr));
    EXPECT_EQ(CreateFolderPath((x / "A\\B\\").c_str()), 0);
    EXPECT_TRUE(IsFolder(x / "A\\B"));
}

TEST(CreateFolderPath, AFileInTheWayStopsIt)
{
    testutil::ScopedTempDir x;
    ASSERT_TRUE(::CreateDirectoryA((x / "A").c_str(), nullptr));
    ASSERT_TRUE(testutil::WriteFileBytes(x / "A\\B", "a file"));
    EXPECT_EQ(CreateFolderPath((x / "A\\B\\C").c_str()), 0);
    EXPECT_FALSE(IsFolder(x / "A\\B"));
    EXPECT_EQ(::GetFileAttributesA((x / "A\\B\\C").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(CreateFolderPath, AVeryDeepPathFailsQuietlyWithoutCreatingBeyondTheLimit)
{
    // Far more levels than any path can hold (a component folder comes from the server):
    // the levels that fit are made, the rest fail, and nothing overflows.
    testutil::ScopedTempDir x;
    std::string deep = x.path();
    for (int i = 0; i < 200000; ++i)
        deep += "\\d";
    EXPECT_EQ(CreateFolderPath(deep.c_str()), 0);
    EXPECT_TRUE(IsFolder(x / "d\\d\\d"));
    EXPECT_FALSE(IsFolder(deep.substr(0, MAX_PATH + 2)));
}

}  // namespace
