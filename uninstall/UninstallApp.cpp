#include "UninstallApp.h"

#include <cstdlib>
#include <cstring>
#include <optional>

#include "OneSetupGuard.h"
#include "ProductConstants.h"
#include "Remover.h"
#include "TempCopy.h"
#include "UninstallDlg.h"
#include "Uninstaller.h"

CUninstallApp theApp;

namespace {

// "/S": no window at all; the exit code tells the outcome.
const char kSilentSwitch[] = "/S";
// Given only to the temporary copy: the process id of the program the user started.
const char kCopySwitch[] = "/copy-of=";

struct Arguments {
    bool silent = false;
    DWORD originalId = 0;   // in the temporary copy only
};

// Decimal digits only, without overflow; 0 for anything else.
DWORD ParseProcessId(const char* text)
{
    DWORD id = 0;
    for (const char* p = text; *p; ++p) {
        if (*p < '0' || *p > '9' || id > (0xFFFFFFFFu - DWORD(*p - '0')) / 10)
            return 0;
        id = id * 10 + DWORD(*p - '0');
    }
    return id;
}

Arguments ReadArguments()
{
    Arguments arguments;
    const size_t copyLength = std::strlen(kCopySwitch);
    for (int i = 1; i < __argc; ++i) {
        const char* argument = __argv[i];
        if (::lstrcmpiA(argument, kSilentSwitch) == 0)
            arguments.silent = true;
        else if (std::strncmp(argument, kCopySwitch, copyLength) == 0)
            arguments.originalId = ParseProcessId(argument + copyLength);
    }
    return arguments;
}

// Said when a setup or another uninstaller holds the guard; nothing is removed then.
const char kOtherSetupText[] = "멜보라 플레이어의 설치 또는 제거 프로그램이 이미 실행 중입니다. "
                               "그 프로그램이 끝난 뒤에 다시 제거해 주십시오.";
const char kOtherSetupCaption[] = MELVORA_PRODUCT_NAME " 제거";

// A working folder inside the install folder would keep that folder from being removed.
void LeaveWorkingFolder()
{
    char folder[MAX_PATH + 1] = {};
    const UINT n = ::GetSystemDirectoryA(folder, MAX_PATH);
    if (n > 0 && n < MAX_PATH)
        ::SetCurrentDirectoryA(folder);
}

}  // namespace

BOOL CUninstallApp::InitInstance()
{
    // The program's start-up, all of it here.
    const Arguments arguments = ReadArguments();
    LeaveWorkingFolder();

    // The program the user started holds the guard until the copy has reported its outcome,
    // so the copy works under it. Not with a setup: the two would write and remove the
    // same files and keys at once.
    std::optional<OneSetupGuard> oneSetup;
    if (arguments.originalId == 0) {
        oneSetup.emplace();
        if (oneSetup->OtherSetupRuns()) {
            if (!arguments.silent)
                ::MessageBoxA(nullptr, kOtherSetupText, kOtherSetupCaption,
                              MB_OK | MB_ICONINFORMATION | MB_SETFOREGROUND);
            m_nExitCode = kExitFailed;
            return FALSE;
        }
        CString copyArguments;
        copyArguments.Format("%s%s%lu", arguments.silent ? "/S " : "", kCopySwitch, ::GetCurrentProcessId());
        if (RunTemporaryCopy(copyArguments, &m_nExitCode))
            return FALSE;
        // No copy could run: the work is done here, and this program's file waits for
        // the next restart.
    }
    std::optional<COriginalProgram> original;
    if (arguments.originalId != 0)
        original.emplace(arguments.originalId);

    UninstallReport report;
    CRemover remover(report);
    const ConfirmAnswer answer = arguments.silent ? ConfirmAnswer::Yes : ConfirmUninstall();
    if (answer == ConfirmAnswer::Yes) {
        RemoveProduct(remover, report);
        if (!original)
            remover.FinishMovedProgram(true);
        if (!arguments.silent)
            ShowUninstallResult(report.Message());
    }
    // A question that could not be asked is no answer: nothing was removed, and that failed.
    m_nExitCode = answer == ConfirmAnswer::Yes ? report.ExitCode()
                  : answer == ConfirmAnswer::No ? kExitDeclined
                                                : kExitFailed;
    if (original) {
        original->Report(m_nExitCode);
        original->WaitUntilEnded();
        remover.FinishMovedProgram(false);
    }
    return FALSE;   // the program ends here, with m_nExitCode
}
