#include "CDialog.h"

#include <commctrl.h>

#include "CWinApp.h"
#include "COleControlSite.h"

INT_PTR CDialog::DoModal()
{
    const char* name = MAKEINTRESOURCEA(m_nIDTemplate);
    HINSTANCE hInst = AfxFindResourceHandle(name, reinterpret_cast<const char*>(RT_DIALOG));
    HRSRC hRes = ::FindResourceA(hInst, name, reinterpret_cast<const char*>(RT_DIALOG));
    HGLOBAL hTemplate = hRes ? ::LoadResource(hInst, hRes) : nullptr;
    const void* pTemplate = hTemplate ? ::LockResource(hTemplate) : nullptr;
    if (!pTemplate)
        return -1;

    // Templates may hold common controls (tree views, progress bars): their classes
    // must be registered before the dialog manager creates them.
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_WIN95_CLASSES};
    ::InitCommonControlsEx(&icc);
    // Controls named by a class id in the template are hosted by our own container.
    COleControlSite::PrepareTemplate(pTemplate, m_nIDTemplate);

    HWND hParent = m_pParentWnd ? m_pParentWnd->GetSafeHwnd() : nullptr;
    m_nModalResult = -1;
    m_bContinueModal = true;
    HWND hDlg = ::CreateDialogIndirectParamA(hInst, static_cast<LPCDLGTEMPLATEA>(pTemplate), hParent,
                                             &CDialog::DialogProc, reinterpret_cast<LPARAM>(this));
    if (!hDlg) {
        m_bContinueModal = false;
        return -1;
    }
    if (hParent)
        ::EnableWindow(hParent, FALSE);

    MSG msg;
    while (m_bContinueModal) {
        const BOOL got = ::GetMessageA(&msg, nullptr, 0, 0);
        if (got == 0) {   // WM_QUIT: end the dialog and leave the quit for the caller
            ::PostQuitMessage(int(msg.wParam));
            break;
        }
        if (got == -1)
            break;
        if (!WalkPreTranslateTree(&msg)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
    }

    if (hParent) {
        ::EnableWindow(hParent, TRUE);
        ::SetActiveWindow(hParent);
    }
    if (m_hWnd) {
        ::ShowWindow(m_hWnd, SW_HIDE);
        DestroyWindow();
    }
    return m_nModalResult;
}

void CDialog::EndDialog(int nResult)
{
    m_nModalResult = nResult;
    m_bContinueModal = false;
    if (m_hWnd)
        ::PostMessageA(m_hWnd, WM_NULL, 0, 0);   // wake the loop if it waits
}

INT_PTR CALLBACK CDialog::DialogProc(HWND hDlg, UINT message, WPARAM, LPARAM lParam)
{
    if (message != WM_INITDIALOG)
        return FALSE;   // everything else reaches the object through its subclass
    CDialog* pDlg = reinterpret_cast<CDialog*>(lParam);
    pDlg->SubclassWindow(hDlg);
    return pDlg->OnInitDialog();
}

BOOL CDialog::WalkPreTranslateTree(MSG* pMsg)
{
    if (!m_hWnd || (pMsg->hwnd != m_hWnd && !::IsChild(m_hWnd, pMsg->hwnd)))
        return FALSE;
    for (HWND h = pMsg->hwnd; h; h = ::GetParent(h)) {
        CWnd* pWnd = FromHandlePermanent(h);
        if (pWnd && pWnd->PreTranslateMessage(pMsg))
            return TRUE;
        if (h == m_hWnd)
            break;
    }
    return FALSE;
}

BOOL CDialog::PreTranslateMessage(MSG* pMsg)
{
    if (pMsg->message >= WM_KEYFIRST && pMsg->message <= WM_KEYLAST)
        return ::IsDialogMessageA(m_hWnd, pMsg);
    return FALSE;
}

BOOL CDialog::OnInitDialog()
{
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::OnOK()
{
    EndDialog(IDOK);
}

void CDialog::OnCancel()
{
    EndDialog(IDCANCEL);
}

BOOL CDialog::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult)
{
    if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
        if (LOWORD(wParam) == IDOK) {
            OnOK();
            *pResult = 0;
            return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            OnCancel();
            *pResult = 0;
            return TRUE;
        }
    }
    return CWnd::OnWndMsg(message, wParam, lParam, pResult);
}
