// The setup wizard: one dialog whose six pages are made by showing, moving and relabelling
// its controls over a full-size skin picture per page.
//
// Its handlers live in one file per concern: SetupDlg.cpp (construction, initialisation,
// the message map), SetupDlgPages.cpp (page operations, Next and Back),
// SetupDlgOptions.cpp (the options tree, its browser and descriptions),
// SetupDlgInstall.cpp (the install thread and its progress) and SetupDlgFinish.cpp
// (closing, the finish actions, painting).
#pragma once

#include "CBrush.h"
#include "CDialog.h"
#include "CheckTreeCtrl.h"
#include "InstallSequence.h"
#include "LinkLabel.h"
#include "SetupExitCode.h"
#include "SetupSession.h"
#include "SkinCheckButton.h"
#include "SkinProgressCtrl.h"
#include "WebBrowser2.h"
#include "resource.h"

class CSetupDlg : public CDialog {
public:
    explicit CSetupDlg(CWnd* pParent = nullptr);
    ~CSetupDlg() override;

    // Hover descriptions, then the dialog's own key handling.
    BOOL PreTranslateMessage(MSG* pMsg) override;

    // Next and Back. OnNext is also called by the install thread when the install is done.
    void OnNext();
    void OnBack();
    // The install sequence; runs on the install thread.
    void RunInstall();
    // After the dialog has ended: how the run went, as the program's exit code.
    SetupExitCode ExitCode() const;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;

private:
    // Initialisation.
    void StyleLabels();
    void LayOutControls(const CString& termsText);
    void SetTabOrder();
    // BN_CLICKED of Back and Next; FALSE when the message is not one of those.
    BOOL OnPageButton(WPARAM wParam);

    // Pages.
    void ShowWelcomePage();
    void ShowLicencePage();
    void ShowComponentPage();
    void ShowFolderPage();
    void ShowInstallPage();
    void ShowFinishPage();
    // The finish page's shortcut options, or the notice that the player is missing.
    void ShowFinishOptions(bool playerMissing);
    void HideBrowser();
    // Back (shown or hidden), Next with its caption, and Cancel, as pages 1 to 4 show them.
    void ShowPageButtons(bool showBack, const char* nextCaption);
    // The options page's tree and labels.
    void ShowOptionsControls(bool show);
    // Shown and enabled: a button the user can press.
    bool IsButtonUsable(int id) const;

    // The options page.
    void ShowAgreementPage();
    void OnTimer(UINT_PTR nIDEvent);
    void BuildComponentTree();
    void OnSelChangedTree(NMHDR* pNMHDR, LRESULT* pResult);
    void ShowDescription(const CString& itemText);

    // Installing.
    class DialogInstallUi;
    friend class DialogInstallUi;
    LRESULT OnDownloadProgress(WPARAM wParam, LPARAM lParam);
    void StartInstallThread();
    static UINT InstallThreadProc(LPVOID pParam);
    // While the install thread runs, the dialog must stay: it owns everything the
    // thread touches. Serves the thread's sent messages while it waits.
    void WaitForInstallThread();
    bool IsInstalling() const { return m_session.nPage == PageInstalling; }

    // Finishing.
    void OnClose();
    void RunFinishActions();
    void ReleaseComponents();
    void OnPaint();
    HCURSOR OnQueryDragIcon();

    CLinkLabel m_lblTerms;
    CSkinProgressCtrl m_progress;
    CCheckTreeCtrl m_tree;
    CWebBrowser2 m_browser;
    CLinkLabel m_lblStatus;
    CLinkLabel m_lblDesktop;
    CLinkLabel m_lblStartMenu;
    CLinkLabel m_lblDescription;
    // Over the finish page's text when the player is not there: that page then cannot
    // promise to start it.
    CLinkLabel m_lblFinishNotice;
    HICON m_hIcon;
    SetupSession m_session;
    HTREEITEM hRootItem = nullptr;
    CSkinCheckButton* pDesktopCheck = nullptr;
    CSkinCheckButton* pStartMenuCheck = nullptr;

    HANDLE m_hInstallDone = nullptr;   // set when the install thread has finished
    bool m_bInstallRan = false;        // written by the install thread before it sets the event
    InstallOutcome m_installOutcome;   // written by the install thread before the finish page
    // The dialog's own background, where the window is larger than a page's skin.
    CBrush m_pageBrush{0xD8E9EC};
};
