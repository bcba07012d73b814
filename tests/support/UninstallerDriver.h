// Drives the uninstaller from another process: finds its dialogs, presses their buttons,
// reads their text, and tells whether it left any trace of itself (a running copy, a
// temporary file).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace uninstaller {

// The uninstaller's dialog that holds the button (IDYES on the question, IDOK on the
// outcome), once it shows; null after timeoutMs.
HWND WaitForDialog(int buttonId, DWORD timeoutMs = 30000);
void Press(HWND hDlg, int buttonId);
// The dialog's text: the question, or the outcome.
std::string Text(HWND hDlg);

// The system's temporary folder, where the uninstaller runs its copy from (ends in "\").
std::string TemporaryFolder();
// The uninstaller's temporary copies in that folder, deleted first when asked
// (what an earlier, failed run left there).
std::vector<std::string> TemporaryCopies(bool remove = false);
// No uninstaller runs, under its installed name or a temporary copy's, and no copy is left.
bool LeftNoTrace();

}  // namespace uninstaller
