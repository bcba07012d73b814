// The uninstaller's two small dialogs: the question before anything is removed, answered
// Yes (IDYES) or No (IDNO; Escape and the close box count as No), and the outcome, closed
// with OK. Both show one text in control IDC_UNINSTALL_TEXT.
#pragma once

#include "CDialog.h"
#include "CString.h"

class CUninstallDlg : public CDialog {
public:
    CUninstallDlg(UINT nIDTemplate, const CString& strText) : CDialog(nIDTemplate), m_strText(strText) {}

protected:
    BOOL OnInitDialog() override;
    BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;

private:
    CString m_strText;
    HICON m_hIcon = nullptr;
};

// Asks whether to remove the player: Yes, No (also Escape and the close box), or NotAsked
// when the question could not be shown.
enum class ConfirmAnswer { Yes, No, NotAsked };
ConfirmAnswer ConfirmUninstall();
// Shows the outcome until the user closes it.
void ShowUninstallResult(const CString& strMessage);
