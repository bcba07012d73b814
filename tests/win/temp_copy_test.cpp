// The uninstaller's temporary copy, made here of a stand-in program: what it deletes and
// what it starts when another program swaps the copy's name the moment it exists.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "support/TestUtil.h"
#include "uninstall/TempCopy.h"

namespace {

std::string g_planted;     // what the other program puts at the copy's name
std::string g_movedCopy;   // where it moved the copy

void SwapCopy(const CString& copyPath)
{
    g_movedCopy = copyPath.str() + ".moved";
    if (::MoveFileA(copyPath, g_movedCopy.c_str()))
        testutil::CopyFileTo(g_planted, copyPath.str());
}

TEST(TemporaryCopy, ANameSwappedBeforeTheCopyIsKeptDeletesAndStartsNothingElse)
{
    testutil::ScopedTempDir dir;
    const std::string started = dir / "started.txt", standIn = testutil::ProgramPath("stand_in");
    ::SetEnvironmentVariableA("MELVORA_STARTED_LOG", started.c_str());
    g_planted = dir / "planted.exe";
    ASSERT_TRUE(testutil::CopyFileTo(standIn, g_planted));
    const std::string planted = testutil::ReadFileBytes(g_planted);

    int exitCode = 0;
    EXPECT_FALSE(RunTemporaryCopyOf(standIn.c_str(), "", &exitCode, SwapCopy));
    // The file at the copy's name is whole, and nothing ran. (Windows deletes the moved copy
    // through its keeper; under Wine, which reopens by name, no keeper is made and it stays.)
    ASSERT_FALSE(g_movedCopy.empty());
    const std::string atName = g_movedCopy.substr(0, g_movedCopy.size() - 6);
    EXPECT_TRUE(testutil::ReadFileBytes(atName) == planted) << "the file at the copy's name changed";
    EXPECT_FALSE(testutil::FileExists(started));
    ::DeleteFileA(atName.c_str());
    ::DeleteFileA(g_movedCopy.c_str());

    // Unswapped, the copy runs from the system's temporary folder and goes when it ends (it
    // reports nothing: the outcome counts as failed).
    EXPECT_TRUE(RunTemporaryCopyOf(standIn.c_str(), "", &exitCode, nullptr));
    EXPECT_EQ(exitCode, 1603);
    const std::string copy = testutil::ReadFileBytes(started);
    const std::string expected = TemporaryFolder().str() + "MELVORA-uninstall-";
    EXPECT_TRUE(copy.size() > expected.size() &&
                ::CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, copy.c_str(), int(expected.size()),
                                 expected.c_str(), int(expected.size())) == CSTR_EQUAL)
        << copy;
    EXPECT_TRUE(testutil::WaitFor([&] { return !testutil::FileExists(copy.substr(0, copy.find('\n'))); }));
    ::SetEnvironmentVariableA("MELVORA_STARTED_LOG", nullptr);
}

}  // namespace
