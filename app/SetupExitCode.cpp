#include "SetupExitCode.h"

#include "InstallSequence.h"

SetupExitCode ExitCodeOf(const InstallOutcome& outcome)
{
    if (!outcome.playerInstalled)
        return ExitPlayerMissing;
    return outcome.otherFilesMissing == 0 && outcome.componentsMissing == 0 ? ExitInstalled : ExitPartlyInstalled;
}
