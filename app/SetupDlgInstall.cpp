// The install thread's view of the wizard: the status line, the bar and the tree.
#include "app/SetupDlg.h"

#include "install/InstallSequence.h"

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
    int GetCheckState(HTREEITEM hItem) override { return m_dlg.m_tree.GetCheckState(hItem); }
    HWND NotifyWindow() override { return m_dlg.m_hWnd; }

private:
    CSetupDlg& m_dlg;
};

void CSetupDlg::RunInstall()
{
    InstallTarget target;
    target.installDir = m_session.strInstallDir;
    target.partnerId = m_session.strPartnerId;
    target.components = m_session.pComponents;
    target.componentCount = m_session.nComponentCount;
    DialogInstallUi ui(*this);
    RunInstallSequence(target, ui);
}
