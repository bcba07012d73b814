// A dialog built from a template resource. DoModal creates it and runs a modal loop of
// its own, so that PreTranslateMessage sees every message for the dialog and the windows
// inside it before the dialog manager does (Escape then ends it through OnCancel).
#pragma once

#include <atomic>

#include "CWnd.h"

class CDialog : public CWnd {
public:
    explicit CDialog(UINT nIDTemplate, CWnd* pParentWnd = nullptr)
        : m_nIDTemplate(nIDTemplate), m_pParentWnd(pParentWnd) {}

    // Shows the dialog and returns the code given to EndDialog, or -1 when it could
    // not be created.
    virtual INT_PTR DoModal();
    // Ends the modal loop; safe to call from any handler.
    void EndDialog(int nResult);

    BOOL PreTranslateMessage(MSG* pMsg) override;

protected:
    // Binds the controls (DoDataExchange). Return TRUE to let the system set the focus.
    virtual BOOL OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();

    BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;

private:
    static INT_PTR CALLBACK DialogProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam);
    // TRUE when a parent of pMsg->hwnd up to the dialog itself handled the message.
    BOOL WalkPreTranslateTree(MSG* pMsg);

    UINT m_nIDTemplate;
    CWnd* m_pParentWnd;
    std::atomic<bool> m_bContinueModal{false};
    int m_nModalResult = -1;
};
