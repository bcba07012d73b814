// Closing the wizard: the finish actions of the last page, and painting the page skins.
#include "SetupDlg.h"

#include "CBitmap.h"
#include "CDC.h"
#include "FinishActions.h"

namespace {

// Skin bitmap of each page, 0 for none.
UINT SkinOfPage(int nPage)
{
    switch (nPage) {
    case PageWelcome: return IDB_SKIN_WELCOME;
    case PageTerms: return IDB_SKIN_TERMS;
    case PageOptions: return IDB_SKIN_COMPONENTS;
    case PageFolder: return IDB_SKIN_FOLDER;
    case PageInstalling: return IDB_SKIN_INSTALLING;
    case PageFinish: return IDB_SKIN_FINISH;
    default: return 0;
    }
}

}  // namespace

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
    if (m_session.nPage == PageFinish)
        RunFinishActions();
    Default();   // ends the dialog as Cancel does
}

void CSetupDlg::RunFinishActions()
{
    FinishChoices choices;
    choices.desktopShortcuts = pDesktopCheck->m_bChecked;
    choices.startMenuShortcut = pStartMenuCheck->m_bChecked;
    FinishInstall(m_session.strInstallDir, choices);
}

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
