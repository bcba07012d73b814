// The path of the running program's own file.
#pragma once

#include "CString.h"

// Whatever its length; empty when the system cannot tell it (a path cut short would name
// another file).
CString OwnProgramPath();
