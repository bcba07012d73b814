// Ending running copies of the player, started here from a stand-in program.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "install/ProcessStopper.h"
#include "support/RunningPlayer.h"
#include "support/TestUtil.h"

namespace {

TEST(StopRunningProcesses, EndsEveryCopyOfThePlayerWhereverItLiesAndOnlyThoseOfThatExactName)
{
    testutil::ScopedTempDir dir;
    RunningPlayer first(dir / "one", "MELVORA.exe");
    RunningPlayer second(dir / "two", "MELVORA.exe");
    RunningPlayer lowerCase(dir / "three", "melvora.exe");
    ASSERT_TRUE(first.Started());
    ASSERT_TRUE(second.Started());
    ASSERT_TRUE(lowerCase.Started());

    StopRunningProcesses("MELVORA.exe");

    // Gone by the time the call returns, each ended with the exit code it reported while
    // running (STILL_ACTIVE).
    EXPECT_FALSE(first.IsRunning());
    EXPECT_FALSE(second.IsRunning());
    EXPECT_EQ(first.ExitCode(), DWORD(STILL_ACTIVE));
    EXPECT_EQ(second.ExitCode(), DWORD(STILL_ACTIVE));
    EXPECT_TRUE(lowerCase.IsRunning());
}

TEST(StopRunningProcesses, ANameThatMatchesNoProcessEndsNothing)
{
    testutil::ScopedTempDir dir;
    RunningPlayer player(dir / "one", "MELVORA.exe");
    ASSERT_TRUE(player.Started());
    // Neither a prefix of the name, nor the name without extension, nor nothing matches.
    for (const char* name : {"MELVORA.ex", "MELVORA", "ELVORA.exe", "MELVORA.exe ", ""})
        StopRunningProcesses(name);
    EXPECT_TRUE(player.IsRunning());
}

}  // namespace
