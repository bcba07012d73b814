#include "UninstallDlg.h"

#include "CWinApp.h"
#include "UninstallResource.h"

BOOL CUninstallDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    m_hIcon = ::LoadIconA(AfxGetInstanceHandle(), MAKEINTRESOURCEA(IDI_UNINSTALL));
    SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));
    if (!m_strText.IsEmpty())
        GetDlgItem(IDC_UNINSTALL_TEXT).SetWindowText(m_strText);
    // Started by the program the user started, which let this one take the front.
    ::SetForegroundWindow(m_hWnd);
    return TRUE;
}

BOOL CUninstallDlg::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult)
{
    if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED && (LOWORD(wParam) == IDYES || LOWORD(wParam) == IDNO)) {
        EndDialog(LOWORD(wParam));
        *pResult = 0;
        return TRUE;
    }
    return CDialog::OnWndMsg(message, wParam, lParam, pResult);
}

bool ConfirmUninstall()
{
    CUninstallDlg dlg(IDD_UNINSTALL_CONFIRM, CString());
    return dlg.DoModal() == IDYES;
}

void ShowUninstallResult(const CString& strMessage)
{
    CUninstallDlg dlg(IDD_UNINSTALL_RESULT, strMessage);
    dlg.DoModal();
}
