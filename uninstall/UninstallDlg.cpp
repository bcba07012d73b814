#include "UninstallDlg.h"

#include "CWinApp.h"
#include "UninstallResource.h"

BOOL CUninstallDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    m_hIcon = ::LoadIconA(AfxGetInstanceHandle(), MAKEINTRESOURCEA(IDI_UNINSTALL));
    SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));
    const CWindow text = GetDlgItem(IDC_UNINSTALL_TEXT);
    if (!m_strText.IsEmpty()) {
        text.SetWindowText(m_strText);
        text.SendMessage(EM_SETSEL, 0, 0);
        text.SendMessage(WM_VSCROLL, SB_TOP, 0);
    }
    // Started by the program the user started, which let this one take the front.
    ::SetForegroundWindow(m_hWnd);
    // The outcome opens at its first line, with OK ready for Enter (the text would
    // otherwise take the focus, all of it selected and scrolled to its end).
    const CWindow ok = GetDlgItem(IDOK);
    if (!ok.IsWindow())
        return TRUE;
    ::SetFocus(ok);
    return FALSE;
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

ConfirmAnswer ConfirmUninstall()
{
    CUninstallDlg dlg(IDD_UNINSTALL_CONFIRM, CString());
    const INT_PTR result = dlg.DoModal();
    return result == IDYES ? ConfirmAnswer::Yes : result == -1 ? ConfirmAnswer::NotAsked : ConfirmAnswer::No;
}

void ShowUninstallResult(const CString& strMessage)
{
    CUninstallDlg dlg(IDD_UNINSTALL_RESULT, strMessage);
    dlg.DoModal();
}
