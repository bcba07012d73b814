// The installing page: the install thread, the sequence's view of the wizard (status
// line, progress bar, the tree's ticks) and the downloads' progress messages.
#include "SetupDlg.h"

#include "CWinThread.h"
#include "InstallSequence.h"

class CSetupDlg::DialogInstallUi : public InstallUi {
public:
    explicit DialogInstallUi(CSetupDlg& dlg) : m_dlg(dlg) {}

    void ResetBar() override
    {
        m_dlg.m_progress.SendMessage(PBM_SETPOS, 0, 0);
        m_dlg.m_progress.Invalidate(TRUE);
    }
    void ShowStatus(const CString& text, bool invalidate) override
    {
        m_dlg.m_lblStatus.SetWindowText(text);
        if (invalidate)
            m_dlg.m_lblStatus.Invalidate(TRUE);
    }
    bool IsSelected(const ComponentEntry& entry) override
    {
        return m_dlg.m_tree.GetCheckState(entry.hItem) != CheckUnticked;
    }
    HWND NotifyWindow() override { return m_dlg.m_hWnd; }

private:
    CSetupDlg& m_dlg;
};

void CSetupDlg::RunInstall()
{
    DialogInstallUi ui(*this);
    m_installOutcome = RunInstallSequence(m_session.Target(), ui);
    m_bInstallRan = true;
}

SetupExitCode CSetupDlg::ExitCode() const
{
    // Once the install has started the wizard cannot be cancelled: it ran to its end.
    if (m_bInstallRan)
        return ExitCodeOf(m_installOutcome);
    // A wizard that never showed its first page could not be made at all.
    return m_session.nPage == 0 ? ExitCouldNotRun : ExitCancelled;
}

void CSetupDlg::StartInstallThread()
{
    m_hInstallDone = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    // Without the event nothing could wait for the thread: install on this thread then.
    if (!m_hInstallDone || !AfxBeginThread(&CSetupDlg::InstallThreadProc, this, THREAD_PRIORITY_NORMAL, 0, 0, nullptr))
        InstallThreadProc(this);
}

LRESULT CSetupDlg::OnDownloadProgress(WPARAM wParam, LPARAM)
{
    m_progress.SendMessage(PBM_SETPOS, wParam, 0);
    m_progress.Invalidate(TRUE);
    return 1;
}

UINT CSetupDlg::InstallThreadProc(LPVOID pParam)
{
    CSetupDlg* pDlg = static_cast<CSetupDlg*>(pParam);
    pDlg->RunInstall();
    pDlg->OnNext();
    if (pDlg->m_hInstallDone)
        ::SetEvent(pDlg->m_hInstallDone);   // the last touch of the dialog
    return 0;
}

void CSetupDlg::WaitForInstallThread()
{
    if (!m_hInstallDone)
        return;
    // Serve only the messages the thread sends us; no user input is handled here.
    while (::MsgWaitForMultipleObjects(1, &m_hInstallDone, FALSE, INFINITE, QS_SENDMESSAGE) != WAIT_OBJECT_0) {
        MSG msg;
        ::PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

