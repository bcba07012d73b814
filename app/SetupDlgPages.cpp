// The wizard's pages, navigation, options tree, install thread and finish actions.
#include "app/SetupDlg.h"

#include <shlwapi.h>

#include "CBitmap.h"
#include "CDC.h"
#include "CWinThread.h"
#include "PublisherHosts.h"
#include "install/Shortcuts.h"
#include "net/HttpDownloader.h"
#include "net/StatsClient.h"
#include "sys/FolderPath.h"

namespace {

const char kAgreementUrl[] = "http://" MELVORA_PRODUCT_SERVER "/Lisence/agree.php?w=400";
const char kRootItem[] = "MELVORA";
const char kPlayerItem[] = "멜보라플레이어 v1.0 ";
const char kUpdaterItem[] = "멜보라플레이어 updater ";
const char kRootDescription[] =
    "보고/듣고/즐기는 멜보라은인터넷이 가능하면 어디서든 고음질,고화질의 음악영상을 쉽고 빠르게감상할수 있습니다";
const char kHoverHint[] = "마우스를 올려 놓으시면 상세 설명을 확인 할 수 있습니다.";

// Skin bitmap of each page, 0 for none.
UINT SkinOfPage(int nPage)
{
    switch (nPage) {
    case 1: return IDB_SKIN_WELCOME;
    case 2: return IDB_SKIN_TERMS;
    case 3: return IDB_SKIN_COMPONENTS;
    case 4: return IDB_SKIN_FOLDER;
    case 5: return IDB_SKIN_INSTALLING;
    case 6: return IDB_SKIN_FINISH;
    default: return 0;
    }
}

}  // namespace

BOOL CSetupDlg::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult)
{
    switch (message) {
    case WM_PAINT:
        OnPaint();
        *pResult = 0;
        return TRUE;
    case WM_QUERYDRAGICON:
        *pResult = reinterpret_cast<LRESULT>(OnQueryDragIcon());
        return TRUE;
    case WM_CLOSE:
        OnClose();
        *pResult = 0;
        return TRUE;
    case WM_DESTROY:
        // A WM_QUIT ends the modal loop, which destroys the dialog at once. The install
        // thread reads the tree's ticks and moves the controls until it is done: let it
        // finish while they are all still there.
        WaitForInstallThread();
        break;
    case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED && (LOWORD(wParam) == IDC_BACK || LOWORD(wParam) == IDC_NEXT) &&
            !IsButtonUsable(LOWORD(wParam))) {
            // A button carries out BM_CLICK even when hidden or disabled; such a click
            // must not move the page, least of all under the running install.
            *pResult = 0;
            return TRUE;
        }
        if (HIWORD(wParam) == BN_CLICKED && LOWORD(wParam) == IDC_BACK) {
            OnBack();
            *pResult = 0;
            return TRUE;
        }
        if (HIWORD(wParam) == BN_CLICKED && LOWORD(wParam) == IDC_NEXT) {
            OnNext();
            *pResult = 0;
            return TRUE;
        }
        break;
    case WM_NOTIFY: {
        NMHDR* pNMHDR = reinterpret_cast<NMHDR*>(lParam);
        if (pNMHDR->idFrom == IDC_OPTIONS_TREE && pNMHDR->code == UINT(TVN_SELCHANGEDA)) {
            OnSelChangedTree(pNMHDR, pResult);
            return TRUE;
        }
        break;
    }
    case WM_CTLCOLORDLG:
        // Wherever the client area is larger than the skin (the frame's size varies with
        // the system), the skin's own body colour continues.
        *pResult = reinterpret_cast<LRESULT>(static_cast<HBRUSH>(m_pageBrush));
        return TRUE;
    case WM_TIMER:
        OnTimer(UINT_PTR(wParam));
        *pResult = 0;
        return TRUE;
    case WM_DOWNLOAD_PROGRESS:
        *pResult = OnDownloadProgress(wParam, lParam);
        return TRUE;
    default:
        break;
    }
    return CDialog::OnWndMsg(message, wParam, lParam, pResult);
}

// -- pages ------------------------------------------------------------------------

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

void CSetupDlg::ShowLicencePage()
{
    ShowPageButtons(true, "동의함");
    GetDlgItem(IDC_TERMS_TEXT).ShowWindow(SW_SHOW);
    ShowOptionsControls(false);
    HideBrowser();
    m_session.nPage = 2;
    Invalidate(TRUE);
}

void CSetupDlg::ShowComponentPage()
{
    ShowPageButtons(true, "다음");
    GetDlgItem(IDC_TERMS_TEXT).ShowWindow(SW_HIDE);
    ShowOptionsControls(true);
    m_browser.ModifyStyle(0, WS_TABSTOP);
    m_browser.SetWindowPos(nullptr, 24, 205, 440, 100, SWP_SHOWWINDOW | SWP_NOZORDER);
    m_browser.Navigate(kAgreementUrl, nullptr, nullptr, nullptr, nullptr);
    m_session.nPage = 3;
    Invalidate(TRUE);
}

void CSetupDlg::ShowFolderPage()
{
    ShowPageButtons(true, "다음");
    GetDlgItem(IDC_TERMS_TEXT).ShowWindow(SW_HIDE);
    ShowOptionsControls(false);
    HideBrowser();
    m_session.nPage = 4;
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
    m_session.nPage = 5;
    Invalidate(TRUE);

    CreateFolderPath(m_session.strInstallDir);
    m_hInstallDone = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    // Without the event nothing could wait for the thread: install on this thread then.
    if (!m_hInstallDone || !AfxBeginThread(&CSetupDlg::InstallThreadProc, this, THREAD_PRIORITY_NORMAL, 0, 0, nullptr))
        InstallThreadProc(this);
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
    pDesktopCheck->ShowWindow(SW_SHOW);
    pStartMenuCheck->ShowWindow(SW_SHOW);
    m_lblDesktop.ShowWindow(SW_SHOW);
    m_lblStartMenu.ShowWindow(SW_SHOW);
    ::EnableMenuItem(::GetSystemMenu(m_hWnd, FALSE), SC_CLOSE, MF_BYCOMMAND | MF_ENABLED);
    m_session.nPage = 6;
    Invalidate(TRUE);
    // The install page disabled the button that had the focus, which left the keyboard
    // nowhere: the finish page gives it to 마침 once it is complete.
    SendMessage(WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(next.GetSafeHwnd()), TRUE);
}

// -- navigation -------------------------------------------------------------------

void CSetupDlg::OnNext()
{
    m_session.nPage += 1;
    if (m_session.nPage > 6) {
        m_session.nPage = 6;
        SendMessage(WM_CLOSE, 0, 0);
        return;
    }
    switch (m_session.nPage) {
    case 2: ShowLicencePage(); break;
    case 3: ShowComponentPage(); break;
    case 4:
        if (m_session.nComponentCount != 0)
            ShowFolderPage();
        else
            ShowInstallPage();   // nothing optional offered: no folder page
        break;
    case 5: ShowInstallPage(); break;
    case 6: ShowFinishPage(); break;
    default: break;
    }
}

void CSetupDlg::OnBack()
{
    m_session.nPage -= 1;
    if (m_session.nPage < 1)
        m_session.nPage = 1;
    switch (m_session.nPage) {
    case 1: ShowWelcomePage(); break;
    case 2: ShowLicencePage(); break;
    case 3: ShowComponentPage(); break;
    case 4: ShowFolderPage(); break;
    default: break;
    }
}

// -- start-up work and the options tree ---------------------------------------------

void CSetupDlg::OnTimer(UINT_PTR nIDEvent)
{
    if (nIDEvent != 0) {
        Default();
        return;
    }
    KillTimer(0);
    if (m_session.nPage >= 5)
        return;   // the install already reads the (empty) list; leave it alone
    m_session.FetchComponentList();
    BuildComponentTree();
    // Both shortcut options are always offered on the finish page: ticking one whose
    // shortcut exists simply writes it again.
    Default();
}

void CSetupDlg::BuildComponentTree()
{
    m_tree.InstallCheckImages();
    const UINT mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE;
    hRootItem = m_tree.InsertItem(mask, kRootItem, 0, 1, 0, 0, 0, TVI_ROOT, TVI_LAST);
    m_tree.SetCheckState(hRootItem, 3);
    m_tree.SetCheckState(m_tree.InsertItem(mask, kPlayerItem, 0, 1, 0, 0, 0, hRootItem, TVI_LAST), 3);
    m_tree.SetCheckState(m_tree.InsertItem(mask, kUpdaterItem, 0, 1, 0, 0, 0, hRootItem, TVI_LAST), 3);
    for (int i = 0; i < m_session.nComponentCount; ++i) {
        ComponentEntry& entry = m_session.pComponents[i];
        entry.hItem = m_tree.InsertItem(mask, entry.name, 0, 1, 0, 0, 0, hRootItem, TVI_LAST);
        m_tree.SetCheckState(entry.hItem, 1);
        if (entry.mandatoryFlag == "1")
            m_tree.SetCheckState(entry.hItem, 3);
    }
    m_tree.Expand(hRootItem, TVE_TOGGLE);
    m_tree.EnsureVisible(hRootItem);
}

void CSetupDlg::OnSelChangedTree(NMHDR*, LRESULT* pResult)
{
    const CString text = m_tree.GetItemText(m_tree.GetSelectedItem());
    if (text == kPlayerItem || text == kRootItem || text == kUpdaterItem) {
        m_browser.Navigate(kAgreementUrl, nullptr, nullptr, nullptr, nullptr);
    } else {
        for (int i = 0; i < m_session.nComponentCount; ++i) {
            if (m_session.pComponents[i].name == text) {
                m_browser.Navigate(m_session.pComponents[i].pageUrl, nullptr, nullptr, nullptr, nullptr);
                break;
            }
        }
    }
    *pResult = 0;
}

BOOL CSetupDlg::PreTranslateMessage(MSG* pMsg)
{
    if (pMsg->message == WM_MOUSEMOVE) {
        if (::GetDlgCtrlID(pMsg->hwnd) == IDC_OPTIONS_TREE) {
            POINT pt;
            ::GetCursorPos(&pt);
            m_tree.ScreenToClient(&pt);
            HTREEITEM hItem = m_tree.HitTest(pt);
            ShowDescription(hItem ? m_tree.GetItemText(hItem) : CString());
        } else if (m_lblDescription.GetWindowText() != kHoverHint) {
            // Setting the same text again would only make the label flicker.
            m_lblDescription.SetWindowText(kHoverHint);
        }
    }
    return CDialog::PreTranslateMessage(pMsg);
}

void CSetupDlg::ShowDescription(const CString& itemText)
{
    if (itemText == kRootItem) {
        m_lblDescription.SetWindowText(kRootDescription);
        return;
    }
    for (int i = 0; i < m_session.nComponentCount; ++i) {
        if (m_session.pComponents[i].name == itemText) {
            m_lblDescription.SetWindowText(m_session.pComponents[i].description);
            return;
        }
    }
}

// -- installing ---------------------------------------------------------------------

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

// -- closing ------------------------------------------------------------------------

void CSetupDlg::ReleaseComponents()
{
    delete[] m_session.pComponents;
    m_session.pComponents = nullptr;
    m_session.nComponentCount = 0;
}

void CSetupDlg::OnClose()
{
    if (IsInstalling())
        return;   // the install thread still needs the dialog and the component list
    WaitForInstallThread();
    ReleaseComponents();
    if (m_session.nPage == 6)
        RunFinishActions();
    Default();   // ends the dialog as Cancel does
}

void CSetupDlg::RunFinishActions()
{
    CString target;
    target.Format("%s\\MELVORA.exe", static_cast<const char*>(m_session.strInstallDir));
    CreateShortcuts(target, "\\무료음악감상.lnk", pDesktopCheck->m_bChecked, pDesktopCheck->m_bChecked,
                    pStartMenuCheck->m_bChecked);

    CStatsClient stats;
    stats.SendInstallLog("pebrook", "5816ce");

    CString player;
    player.Format("%s\\%s", static_cast<const char*>(m_session.strInstallDir), "MELVORA.exe");
    if (::PathFileExistsA(player))
        ::ShellExecuteA(nullptr, "open", player, nullptr, nullptr, SW_SHOW);
}

// -- painting -----------------------------------------------------------------------

void CSetupDlg::OnPaint()
{
    CPaintDC dc(m_hWnd);
    if (IsIconic()) {
        SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.GetSafeHdc()), 0);
        const CRect rc = GetClientRect();
        const int x = (rc.Width() - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
        const int y = (rc.Height() - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
        dc.DrawIcon(x, y, m_hIcon);
        return;
    }
    const UINT skin = SkinOfPage(m_session.nPage);
    if (!skin)
        return;
    CDC memDC;
    memDC.CreateCompatibleDC(dc);
    CBitmap bitmap;
    bitmap.LoadBitmap(skin);
    CSelectObjectGuard select(memDC, bitmap);
    dc.BitBlt(0, 0, 495, 359, memDC, 0, 0, SRCCOPY);
}

HCURSOR CSetupDlg::OnQueryDragIcon()
{
    return static_cast<HCURSOR>(m_hIcon);
}
