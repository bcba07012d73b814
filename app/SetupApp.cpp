#include "SetupApp.h"

#include "CommandLine.h"
#include "OneSetupGuard.h"
#include "ProductConstants.h"
#include "ProxyCredentials.h"
#include "SetupDlg.h"
#include "SetupLog.h"
#include "SetupPictures.h"
#include "SilentSetup.h"

CSetupApp theApp;

namespace {

// The running wizard, found by its dialog class and caption without sending it anything,
// so a wizard busy in its start-up cannot hold up a second start.
const char kWizardClass[] = "#32770";
const char kWizardCaption[] = MELVORA_PRODUCT_NAME " 설치";   // dialog template 102
const int kWizardLookups = 30;
const DWORD kWizardLookupPauseMs = 100;
// Said when the mutex is held but no wizard shows: another user's setup holds it, the
// uninstaller does, or a program that took its name. Captioned unlike the wizard, so no later start takes this
// box for one.
const char kAlreadyRunningText[] = "이미 설치 프로그램이 실행 중입니다.";
const char kAlreadyRunningCaption[] = MELVORA_PRODUCT_NAME;
const char kLogFailedText[] = "로그 파일을 만들 수 없습니다: ";
const char kLogRefusedText[] = "링크이거나 다른 이름이 있는 파일에는 로그를 쓰지 않습니다: ";

// Brings the other setup's wizard to the front; false when none shows. A setup that has
// only just started may not show it yet, so it is looked for a few seconds; none of these
// calls waits for the other program.
bool ActivateRunningWizard()
{
    for (int lookup = 0; lookup < kWizardLookups; ++lookup) {
        if (lookup > 0)
            ::Sleep(kWizardLookupPauseMs);
        const HWND hWizard = ::FindWindowA(kWizardClass, kWizardCaption);
        if (hWizard) {
            if (::IsIconic(hWizard))
                ::ShowWindowAsync(hWizard, SW_RESTORE);
            ::SetForegroundWindow(hWizard);
            return true;
        }
    }
    return false;
}

void ShowMessage(const CString& text, UINT icon)
{
    ::MessageBoxA(nullptr, text, kWizardCaption, MB_OK | icon | MB_SETFOREGROUND);
}

// The setup itself, once the command line has been understood.
SetupExitCode RunSetup(CWinApp& app, const SetupOptions& options)
{
    // One setup at a time. A second start changes nothing: no registry value, no
    // request, no player stopped.
    OneSetupGuard oneSetup;
    if (oneSetup.OtherSetupRuns()) {
        SetupLog::Write("another setup or the uninstaller is running; nothing done");
        if (!options.silent && !ActivateRunningWizard())
            ::MessageBoxA(nullptr, kAlreadyRunningText, kAlreadyRunningCaption,
                          MB_OK | MB_ICONINFORMATION | MB_SETFOREGROUND);
        return ExitSetupRunning;
    }
    if (!options.silent)
        AfxEnableControlContainer();   // the wizard hosts the web browser control; its COM decodes the pictures too
    // A picture that will not decode means a damaged program: it stops before it changes
    // anything, and says which picture (the unattended install only logs it).
    if (const char* pszDamaged = PrepareSetupPictures()) {
        SetupLog::Write("the picture %s of the setup program could not be decoded; nothing done", pszDamaged);
        if (!options.silent)
            ShowMessage(CString("설치 프로그램이 손상되어 그림 ") + pszDamaged +
                            "을(를) 읽을 수 없습니다.\r\n설치 프로그램을 다시 내려받아 실행해 주십시오.",
                        MB_ICONERROR);
        return ExitCouldNotRun;
    }
    if (options.silent) {
        ReleaseSetupPictures();   // checked, never shown
        if (options.proxyCredentialsGiven)
            UseProxyCredentials(options.proxyUser, options.proxyPassword);
        return RunSilentSetup(options);
    }

    AfxInitRichEdit();             // the terms-of-use text
    app.Enable3dControls();

    CSetupDlg dlg;
    app.m_pMainWnd = &dlg;
    dlg.DoModal();
    app.m_pMainWnd = nullptr;
    return dlg.ExitCode();
}

}  // namespace

BOOL CSetupApp::InitInstance()
{
    SetupOptions options;
    CString error;
    const std::vector<CString> args = SplitCommandLine(m_lpCmdLine);
    const bool understood = ParseSetupOptions(args, options, error);
    if (understood && options.help) {
        ShowMessage(SetupUsageText(), MB_ICONINFORMATION);
        m_nExitCode = ExitInstalled;
        return FALSE;
    }
    // A log that cannot be made, or a path that leads to another file, is no reason to
    // install any less; the refusal is said once, and not at all under /S.
    const SetupLogOpen log = options.logPath.IsEmpty() ? SetupLogOpen::Opened : SetupLog::Open(options.logPath);
    if (log != SetupLogOpen::Opened && !options.silent)
        ShowMessage((log == SetupLogOpen::Refused ? kLogRefusedText : kLogFailedText) + options.logPath,
                    MB_ICONWARNING);
    SetupLog::Write("setup started; command line: %s", CommandLineForLog(args).GetString());
    if (understood) {
        m_nExitCode = RunSetup(*this, options);
    } else {
        SetupLog::Write("refused: %s; nothing done", error.GetString());
        if (!options.silent)
            ShowMessage(error + "\r\n\r\n" + SetupUsageText(), MB_ICONERROR);
        m_nExitCode = ExitBadCommandLine;
    }
    SetupLog::Write("exit code %d", m_nExitCode);
    SetupLog::Close();
    return FALSE;   // the program ends with the setup
}

int CSetupApp::ExitInstance()
{
    return m_nExitCode;
}
