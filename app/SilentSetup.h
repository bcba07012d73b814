// An install without any window (/S): the wizard's start-up, its install sequence and its
// finish actions, with the choices the command line makes instead of the user.
#pragma once

#include "CommandLine.h"
#include "SetupExitCode.h"

SetupExitCode RunSilentSetup(const SetupOptions& options);
