// The options page: the start-up fetch of the component list, the options tree, the
// browser beside it and the descriptions shown while the mouse rests on an item.
#include "SetupDlg.h"

#include "PublisherHosts.h"

namespace {

const char kAgreementUrl[] = MELVORA_PRODUCT_ORIGIN "/Lisence/agree.php?w=400";
const char kRootItem[] = "MELVORA";
const char kPlayerItem[] = "멜보라플레이어 v1.0 ";
const char kUpdaterItem[] = "멜보라플레이어 updater ";
const char kRootDescription[] =
    "보고/듣고/즐기는 멜보라은인터넷이 가능하면 어디서든 고음질,고화질의 음악영상을 쉽고 빠르게감상할수 있습니다";
const char kHoverHint[] = "마우스를 올려 놓으시면 상세 설명을 확인 할 수 있습니다.";

}  // namespace

void CSetupDlg::ShowAgreementPage()
{
    m_browser.Navigate(kAgreementUrl, nullptr, nullptr, nullptr, nullptr);
}

void CSetupDlg::OnTimer(UINT_PTR nIDEvent)
{
    if (nIDEvent != 0) {
        Default();
        return;
    }
    KillTimer(0);
    if (m_session.nPage >= PageInstalling)
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
    m_tree.SetCheckState(hRootItem, CheckLockedTicked);
    m_tree.SetCheckState(m_tree.InsertItem(mask, kPlayerItem, 0, 1, 0, 0, 0, hRootItem, TVI_LAST), CheckLockedTicked);
    m_tree.SetCheckState(m_tree.InsertItem(mask, kUpdaterItem, 0, 1, 0, 0, 0, hRootItem, TVI_LAST),
                         CheckLockedTicked);
    for (int i = 0; i < m_session.nComponentCount; ++i) {
        ComponentEntry& entry = m_session.pComponents[i];
        entry.hItem = m_tree.InsertItem(mask, entry.name, 0, 1, 0, 0, 0, hRootItem, TVI_LAST);
        m_tree.SetCheckState(entry.hItem, CheckTicked);
        if (entry.IsMandatory())
            m_tree.SetCheckState(entry.hItem, CheckLockedTicked);
    }
    m_tree.Expand(hRootItem, TVE_TOGGLE);
    m_tree.EnsureVisible(hRootItem);
}

void CSetupDlg::OnSelChangedTree(NMHDR*, LRESULT* pResult)
{
    const CString text = m_tree.GetItemText(m_tree.GetSelectedItem());
    if (text == kPlayerItem || text == kRootItem || text == kUpdaterItem) {
        ShowAgreementPage();
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
