// The wizard dialog: construction, initialisation and the message map.
#include "SetupDlg.h"

#include <richedit.h>

#include <cstring>

#include "CDataExchange.h"
#include "CWinApp.h"
#include "HttpDownloader.h"
#include "ProcessStopper.h"
#include "ProductConstants.h"
#include "ProxyCredentials.h"
#include "PublisherHosts.h"

namespace {

const COLORREF kWhite = 0xFFFFFF;
const COLORREF kGreyText = 0x717171;      // RGB(113,113,113)
const COLORREF kPageColour = 0xD8E9EC;    // RGB(236,233,216), the skins' body colour
const COLORREF kBarBackground = 0xECECEC; // RGB(236,236,236)
const COLORREF kBarColour = 0xE55C4C;     // RGB(76,92,229)
const char kLabelFace[] = "돋움";
const LONG kRichEditDefaultLimit = 32767;   // characters a rich edit takes unless told more

// What is left of a text while it is streamed into a control.
struct TextSource {
    const char* pNext;
    size_t cbLeft;
};

// Hands the control whole characters only: it converts each piece on its own, so a
// double-byte character cut between two pieces would be lost.
DWORD CALLBACK ReadTextSource(DWORD_PTR dwCookie, LPBYTE pbBuffer, LONG cb, LONG* pcb)
{
    TextSource* pSource = reinterpret_cast<TextSource*>(dwCookie);
    size_t n = 0;
    while (n < pSource->cbLeft) {
        const size_t cbChar = ::IsDBCSLeadByte(BYTE(pSource->pNext[n])) && n + 1 < pSource->cbLeft ? 2 : 1;
        if (cb < 0 || n + cbChar > size_t(cb))
            break;
        n += cbChar;
    }
    std::memcpy(pbBuffer, pSource->pNext, n);
    pSource->pNext += n;
    pSource->cbLeft -= n;
    *pcb = LONG(n);
    return 0;
}

// The terms are text, whatever the server sends. WM_SETTEXT would read a text that
// begins with "{\rtf" as RTF, formatting, embedded objects and all; streamed in as plain
// text (SF_TEXT) it shows the characters it holds. As with WM_SETTEXT, the text ends at
// its first zero byte and may be longer than the control would take from the keyboard.
void SetPlainText(CWindow& richEdit, const CString& text)
{
    TextSource source = {text.GetString(), std::strlen(text.GetString())};
    if (source.cbLeft > size_t(kRichEditDefaultLimit))
        richEdit.SendMessage(EM_EXLIMITTEXT, 0, LPARAM(source.cbLeft));
    EDITSTREAM stream = {};
    stream.dwCookie = reinterpret_cast<DWORD_PTR>(&source);
    stream.pfnCallback = &ReadTextSource;
    richEdit.SendMessage(EM_STREAMIN, SF_TEXT, reinterpret_cast<LPARAM>(&stream));
}

}  // namespace

CSetupDlg::CSetupDlg(CWnd* pParent)
    : CDialog(IDD_SETUP_DIALOG, pParent),
      m_tree(IDB_TREE_STATES),
      m_hIcon(::LoadIconA(AfxFindResourceHandle(MAKEINTRESOURCEA(IDR_MAINFRAME),
                                                reinterpret_cast<const char*>(RT_GROUP_ICON)),
                          MAKEINTRESOURCEA(IDR_MAINFRAME)))
{
}

CSetupDlg::~CSetupDlg()
{
    // The install thread has ended: the dialog waited for it when its window was destroyed.
    if (m_hInstallDone)
        ::CloseHandle(m_hInstallDone);
    ReleaseComponents();
    delete pDesktopCheck;
    delete pStartMenuCheck;
    // Icons loaded with LoadIcon are shared and need no destroying.
}

void CSetupDlg::DoDataExchange(CDataExchange* pDX)
{
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_TERMS_LABEL, m_lblTerms);
    DDX_Control(pDX, IDC_PROGRESS, m_progress);
    DDX_Control(pDX, IDC_OPTIONS_TREE, m_tree);
    DDX_Control(pDX, IDC_BROWSER, m_browser);
    DDX_Control(pDX, IDC_STATUS, m_lblStatus);
    DDX_Control(pDX, IDC_DESKTOP_LABEL, m_lblDesktop);
    DDX_Control(pDX, IDC_STARTMENU_LABEL, m_lblStartMenu);
    DDX_Control(pDX, IDC_DESCRIPTION, m_lblDescription);
}

BOOL CSetupDlg::OnInitDialog()
{
    CDialog::OnInitDialog();

    SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));

    // 500 x 389 pixels whatever the template's dialog units say, centred on the screen.
    SetWindowPos(nullptr, (::GetSystemMetrics(SM_CXSCREEN) / 2) / 4, (::GetSystemMetrics(SM_CYSCREEN) / 2) / 4, 500,
                 389, SWP_SHOWWINDOW);
    CenterWindow();

    // The player's files are about to be replaced: a running player must not hold them.
    StopRunningProcesses(kPlayerExe);

    m_session.ReadPartnerId();
    m_session.pComponents = new ComponentEntry[kComponentCapacity];
    m_session.nComponentCount = 0;

    // A build for https takes no page whose certificate fails, not even on the user's say.
    if (MELVORA_PUBLISHER_HTTPS)
        m_browser.RefuseCertificateProblems();
    // The pages come from servers' text: the browser shows web pages and nothing else.
    m_browser.KeepToWebPages(MELVORA_PUBLISHER_HTTPS != 0);

    m_progress.SetBackgroundColor(kBarBackground);
    m_progress.SendMessage(PBM_SETRANGE32, 0, 100);
    m_progress.SendMessage(PBM_SETSTEP, 1);
    m_progress.SetBarColors(3, kBarColour, kBarColour, kBarColour);
    m_progress.Invalidate(TRUE);

    // A proxy that asks for credentials gets WinInet's prompt over the wizard.
    AskForProxyCredentialsIn(m_hWnd);
    const CString termsText = FetchTermsText();
    // Fires once, as soon as the dialog's loop is first idle (the component list); armed
    // after the terms, so that a prompt's own message loop cannot fire it.
    SetTimer(0, 0);

    pDesktopCheck = new CSkinCheckButton(IDB_CHECK_ON, IDB_CHECK_OFF);
    pDesktopCheck->Create("o", WS_CHILD | WS_VISIBLE | WS_TABSTOP, CRect(), this, IDC_DESKTOP_CHECK);
    pDesktopCheck->SetWindowPos(HWND_TOP, 175, 139, 12, 12, SWP_HIDEWINDOW);
    pDesktopCheck->SetLabel(&m_lblDesktop);
    pStartMenuCheck = new CSkinCheckButton(IDB_CHECK_ON, IDB_CHECK_OFF);
    pStartMenuCheck->Create("o", WS_CHILD | WS_VISIBLE | WS_TABSTOP, CRect(), this, IDC_STARTMENU_CHECK);
    pStartMenuCheck->SetWindowPos(HWND_TOP, 175, 166, 12, 12, SWP_HIDEWINDOW);
    pStartMenuCheck->SetLabel(&m_lblStartMenu);

    m_lblFinishNotice.Create("멜보라 플레이어를 내려받지 못했습니다.\r\n\r\n인터넷 연결을 확인한 뒤\r\n설치 프로그램을 "
                             "다시 실행해 주십시오.",
                             WS_CHILD | SS_LEFT, CRect(), this, IDC_FINISH_NOTICE);

    StyleLabels();
    LayOutControls(termsText);
    SetTabOrder();

    m_session.ComputeInstallFolder();
    m_session.nPage = PageWelcome;
    ShowWelcomePage();
    return TRUE;
}

void CSetupDlg::StyleLabels()
{
    m_lblDesktop.ChangeBackgroundColor(kWhite);
    m_lblDesktop.ChangeFontFace(kLabelFace);
    m_lblDesktop.ChangeFontHeight(12);
    m_lblDesktop.ChangeTextColor(kGreyText);
    m_lblDesktop.SetWindowText("바탕화면 바로가기 만들기");
    m_lblDesktop.SetWindowPos(nullptr, 190, 139, 156, 12, SWP_HIDEWINDOW);

    m_lblStartMenu.ChangeBackgroundColor(kWhite);
    m_lblStartMenu.ChangeFontFace(kLabelFace);
    m_lblStartMenu.ChangeFontHeight(12);
    m_lblStartMenu.ChangeTextColor(kGreyText);
    m_lblStartMenu.SetWindowText("시작메뉴 등록하기");
    m_lblStartMenu.SetWindowPos(nullptr, 190, 166, 156, 12, SWP_HIDEWINDOW);

    m_lblStatus.ChangeFontFace(kLabelFace);
    m_lblStatus.ChangeBackgroundColor(kPageColour);
    m_lblStatus.ChangeTextColor(0x000000);

    m_lblDescription.ChangeBackgroundColor(kWhite);
    m_lblDescription.ChangeFontFace(kLabelFace);
    m_lblDescription.ChangeFontHeight(12);
    m_lblDescription.ChangeTextColor(kGreyText);

    m_lblTerms.ChangeBackgroundColor(kWhite);
    m_lblTerms.ChangeFontFace(kLabelFace);
    m_lblTerms.ChangeFontHeight(11);
    m_lblTerms.ChangeBackgroundColor(kPageColour);

    // Covers the skin's title and its promise to start the player.
    m_lblFinishNotice.ChangeBackgroundColor(kWhite);
    m_lblFinishNotice.ChangeFontFace(kLabelFace);
    m_lblFinishNotice.ChangeFontHeight(13);
    m_lblFinishNotice.ChangeTextColor(0x000000);
    m_lblFinishNotice.SetWindowPos(nullptr, 183, 26, 295, 94, SWP_HIDEWINDOW);
}

void CSetupDlg::LayOutControls(const CString& termsText)
{
    CWindow richEdit = GetDlgItem(IDC_TERMS_TEXT);
    SetPlainText(richEdit, termsText);
    richEdit.SetWindowPos(nullptr, 24, 118, 448, 174, SWP_HIDEWINDOW);
    m_tree.SetWindowPos(nullptr, 24, 81, 220, 104, SWP_HIDEWINDOW);
    HideBrowser();   // never really hidden: outside page 3 a zero size takes it out of sight
    GetDlgItem(IDC_DETAILS_GROUP).SetWindowPos(nullptr, 249, 75, 220, 110, SWP_HIDEWINDOW);
    m_lblTerms.SetWindowPos(nullptr, 24, 190, 220, 12, SWP_HIDEWINDOW);
    m_lblDescription.SetWindowPos(nullptr, 259, 90, 200, 50, SWP_HIDEWINDOW);
    m_lblStatus.SetWindowPos(nullptr, 22, 245, 200, 12, SWP_HIDEWINDOW);
    m_progress.SetWindowPos(nullptr, 22, 267, 452, 18, SWP_HIDEWINDOW);
    GetDlgItem(IDC_BACK).SetWindowPos(nullptr, 248, 327, 75, 23, SWP_HIDEWINDOW);
    GetDlgItem(IDCANCEL).SetWindowPos(nullptr, 410, 327, 75, 23, SWP_SHOWWINDOW);
    GetDlgItem(IDC_NEXT).SetWindowPos(nullptr, 325, 327, 75, 23, SWP_SHOWWINDOW);
}

void CSetupDlg::SetTabOrder()
{
    // Tab follows the z-order, which the layout leaves in the order of its calls: put the
    // page's content first, then the buttons, with the finish page's boxes right after 마침.
    static const int kOrder[] = {IDC_TERMS_TEXT, IDC_OPTIONS_TREE,  IDC_BROWSER,         IDC_BACK,
                                 IDC_NEXT,       IDC_DESKTOP_CHECK, IDC_STARTMENU_CHECK, IDCANCEL};
    HWND hAfter = HWND_TOP;
    for (int id : kOrder) {
        const HWND hControl = ::GetDlgItem(m_hWnd, id);
        ::SetWindowPos(hControl, hAfter, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        hAfter = hControl;
    }
}

void CSetupDlg::OnOK()
{
    // The wizard has no OK button, and Enter must never end the setup on its own. The
    // dialog manager sends IDOK when the focused button is not marked as the default one
    // (the first page's Next, a button clicked with the mouse): press that button, as its
    // focus frame promises; with the focus anywhere else Enter does nothing.
    if (IsInstalling())
        return;   // no button of the installing page may be pressed
    CWindow focus(::GetFocus());
    const int id = focus.GetDlgCtrlID();
    if ((id == IDC_NEXT || id == IDC_BACK || id == IDCANCEL) && focus.GetParent().GetSafeHwnd() == m_hWnd &&
        focus.IsWindowVisible() && focus.IsWindowEnabled())
        SendMessage(WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(focus.GetSafeHwnd()));
}

void CSetupDlg::OnCancel()
{
    if (IsInstalling())
        return;   // the install thread still needs the dialog
    CDialog::OnCancel();
}

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
        if (OnPageButton(wParam)) {
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
    case WM_PROXY_PROMPT:   // a request of the install thread meets a proxy that asks
        *pResult = AnswerProxyPrompt(lParam);
        return TRUE;
    default:
        break;
    }
    return CDialog::OnWndMsg(message, wParam, lParam, pResult);
}
