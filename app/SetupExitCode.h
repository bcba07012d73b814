// The setup program's exit codes, the same for the wizard and an unattended install.
#pragma once

enum SetupExitCode {
    ExitInstalled = 0,          // everything installed (also: the usage was shown)
    ExitPartlyInstalled = 1,    // the player is installed, something else is missing
    ExitPlayerMissing = 2,      // the player is not installed
    ExitCancelled = 3,          // the user ended the wizard before the install
    ExitSetupRunning = 4,       // another setup is running
    ExitBadCommandLine = 5,     // an option the setup cannot take; nothing was done
    ExitCouldNotRun = 6,        // the setup could not run at all (its window could not be made)
};

struct InstallOutcome;
// The code of an install that ran to its end.
SetupExitCode ExitCodeOf(const InstallOutcome& outcome);
