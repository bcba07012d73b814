#include "SetupExitCode.h"

#include "InstallSequence.h"

SetupExitCode ExitCodeOf(const InstallOutcome& outcome)
{
    if (!outcome.playerArrived)
        return ExitPlayerMissing;
    return outcome.sideFilesMissing == 0 && outcome.componentsMissing == 0 ? ExitInstalled : ExitPartlyInstalled;
}
