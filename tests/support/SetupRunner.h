// Starting the setup program in a test and finding its wizard window.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace setuprunner {

// The visible top-level window of a process whose caption is the wizard's, or null.
HWND FindWizard(DWORD processId);

// Runs the program at path; once its wizard shows (and readyToCancel, when given, has
// become true), presses Cancel. Returns true when the program ended by itself or through
// Cancel within timeoutMs.
bool RunToStartAndCancel(const std::string& path, DWORD timeoutMs = 60000,
                         const std::function<bool()>& readyToCancel = nullptr);

}  // namespace setuprunner
