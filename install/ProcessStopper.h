// Ends running copies of the player before its files are replaced.
#pragma once

#include "CString.h"

// Ends every running process whose main module's base name equals strName byte for byte
// (case included) and waits until each one is gone, five seconds at most in all.
// Processes that cannot be opened or ended are left alone; nothing is reported. Looks at
// the first 1024 processes.
void StopRunningProcesses(const CString& strName);
