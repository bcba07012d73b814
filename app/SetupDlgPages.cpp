// The wizard's pages and the Next and Back buttons that move between them.
#include "SetupDlg.h"

#include <shlwapi.h>

#include "ComponentList.h"
#include "FolderPath.h"
#include "ProductConstants.h"
#include "SetupLog.h"

BOOL CSetupDlg::OnPageButton(WPARAM wParam)
{
    const int id = LOWORD(wParam);
    if (HIWORD(wParam) != BN_CLICKED || (id != IDC_BACK && id != IDC_NEXT))
        return FALSE;
    // A button carries out BM_CLICK even when hidden or disabled; such a click must not
    // move the page, least of all under the running install.
    if (!IsButtonUsable(id))
        return TRUE;
    if (id == IDC_BACK)
        OnBack();
    else
        OnNext();
    return TRUE;
}

bool CSetupDlg::IsButtonUsable(int id) const
{
    HWND hButton = ::GetDlgItem(m_hWnd, id);
    return ::IsWindowVisible(hButton) && ::IsWindowEnabled(hButton);
}

void CSetupDlg::HideBrowser()
{
    // Out of sight, and out of the tab order: Tab must not lead into a control nobody sees.
    m_browser.ModifyStyle(WS_TABSTOP, 0);
    m_browser.SetWindowPos(nullptr, 0, 0, 0, 0, SWP_SHOWWINDOW | SWP_NOZORDER);
}

void CSetupDlg::ShowPageButtons(bool showBack, const char* nextCaption)
{
    GetDlgItem(IDC_BACK).ShowWindow(showBack ? SW_SHOW : SW_HIDE);
    CWindow next = GetDlgItem(IDC_NEXT);
    next.SetWindowText(nextCaption);
    next.ShowWindow(SW_SHOW);
    GetDlgItem(IDCANCEL).ShowWindow(SW_SHOW);
}

void CSetupDlg::ShowOptionsControls(bool show)
{
    const int cmd = show ? SW_SHOW : SW_HIDE;
    m_tree.ShowWindow(cmd);
    GetDlgItem(IDC_DETAILS_GROUP).ShowWindow(SW_HIDE);   // the skin draws its own box
    m_lblTerms.ShowWindow(cmd);
    m_lblDescription.ShowWindow(cmd);
}

void CSetupDlg::ShowWelcomePage()
{
    ShowPageButtons(false, "다음");
    GetDlgItem(IDC_TERMS_TEXT).ShowWindow(SW_HIDE);
    m_session.nPage = PageWelcome;
    Invalidate(TRUE);
}


void CSetupDlg::ShowLicencePage()
{
    ShowPageButtons(true, "동의함");
    GetDlgItem(IDC_TERMS_TEXT).ShowWindow(SW_SHOW);
    ShowOptionsControls(false);
    HideBrowser();
    m_session.nPage = PageTerms;
    Invalidate(TRUE);
}

void CSetupDlg::ShowComponentPage()
{
    ShowPageButtons(true, "다음");
    GetDlgItem(IDC_TERMS_TEXT).ShowWindow(SW_HIDE);
    ShowOptionsControls(true);
    m_browser.ModifyStyle(0, WS_TABSTOP);
    m_browser.SetWindowPos(nullptr, 24, 205, 440, 100, SWP_SHOWWINDOW | SWP_NOZORDER);
    ShowAgreementPage();
    m_session.nPage = PageOptions;
    Invalidate(TRUE);
}

void CSetupDlg::ShowFolderPage()
{
    ShowPageButtons(true, "다음");
    GetDlgItem(IDC_TERMS_TEXT).ShowWindow(SW_HIDE);
    ShowOptionsControls(false);
    HideBrowser();
    m_session.nPage = PageFolder;
    Invalidate(TRUE);
}

void CSetupDlg::ShowInstallPage()
{
    GetDlgItem(IDC_BACK).EnableWindow(FALSE);
    GetDlgItem(IDC_NEXT).EnableWindow(FALSE);
    GetDlgItem(IDCANCEL).ShowWindow(SW_HIDE);
    ShowOptionsControls(false);
    HideBrowser();
    m_progress.ShowWindow(SW_SHOW);
    m_lblStatus.ShowWindow(SW_SHOW);
    // The close box does nothing while installing; show that it does nothing.
    ::EnableMenuItem(::GetSystemMenu(m_hWnd, FALSE), SC_CLOSE, MF_BYCOMMAND | MF_GRAYED);
    m_session.nPage = PageInstalling;
    Invalidate(TRUE);

    CreateFolderPath(m_session.strInstallDir);
    StartInstallThread();
}

void CSetupDlg::ShowFinishPage()
{
    GetDlgItem(IDC_BACK).ShowWindow(SW_HIDE);
    CWindow next = GetDlgItem(IDC_NEXT);
    next.SetWindowText("마침");
    next.EnableWindow(TRUE);
    GetDlgItem(IDCANCEL).ShowWindow(SW_HIDE);
    m_progress.ShowWindow(SW_HIDE);
    m_lblStatus.ShowWindow(SW_HIDE);
    // The player of an earlier install counts: Finish starts it and links it as before.
    const CString player = InstalledFilePath(m_session.strInstallDir, kPlayerExe);
    ShowFinishOptions(!m_installOutcome.playerInstalled && !::PathFileExistsA(player));
    ::EnableMenuItem(::GetSystemMenu(m_hWnd, FALSE), SC_CLOSE, MF_BYCOMMAND | MF_ENABLED);
    m_session.nPage = PageFinish;
    Invalidate(TRUE);
    // The install page disabled the button that had the focus, which left the keyboard
    // nowhere: the finish page gives it to 마침 once it is complete.
    SendMessage(WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(next.GetSafeHwnd()), TRUE);
}

void CSetupDlg::ShowFinishOptions(bool playerMissing)
{
    const int options = playerMissing ? SW_HIDE : SW_SHOW;
    pDesktopCheck->ShowWindow(options);
    pStartMenuCheck->ShowWindow(options);
    m_lblDesktop.ShowWindow(options);
    m_lblStartMenu.ShowWindow(options);
    m_lblFinishNotice.ShowWindow(playerMissing ? SW_SHOW : SW_HIDE);
}

void CSetupDlg::OnNext()
{
    m_session.nPage += 1;
    if (m_session.nPage > PageFinish) {
        m_session.nPage = PageFinish;
        SendMessage(WM_CLOSE, 0, 0);
        return;
    }
    switch (m_session.nPage) {
    case PageTerms: ShowLicencePage(); break;
    case PageOptions: ShowComponentPage(); break;
    case PageFolder:
        if (m_session.nComponentCount != 0)
            ShowFolderPage();
        else
            ShowInstallPage();   // nothing optional offered: no folder page
        break;
    case PageInstalling: ShowInstallPage(); break;
    case PageFinish: ShowFinishPage(); break;
    default: break;
    }
    SetupLog::Write("wizard: page %d", m_session.nPage);
}

void CSetupDlg::OnBack()
{
    m_session.nPage -= 1;
    if (m_session.nPage < PageWelcome)
        m_session.nPage = PageWelcome;
    switch (m_session.nPage) {
    case PageWelcome: ShowWelcomePage(); break;
    case PageTerms: ShowLicencePage(); break;
    case PageOptions: ShowComponentPage(); break;
    case PageFolder: ShowFolderPage(); break;
    default: break;
    }
    SetupLog::Write("wizard: page %d (back)", m_session.nPage);
}
