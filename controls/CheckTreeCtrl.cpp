#include "CheckTreeCtrl.h"

#include "CBitmap.h"

namespace {

const int kImageSize = 16;
const COLORREF kMaskColor = RGB(255, 0, 255);   // absent from the bitmap: nothing is transparent
const int kCollapsedImage = 0;
const int kExpandedImage = 1;

}  // namespace

CCheckTreeCtrl::~CCheckTreeCtrl()
{
    // The list dies with us; a tree window that outlives us must not draw from it.
    if (m_stateImages.GetSafeHandle() && IsWindow())
        SetImageList(nullptr, TVSIL_STATE);
}

void CCheckTreeCtrl::InstallCheckImages()
{
    CBitmap bitmap;
    bitmap.LoadBitmap(m_nStateBitmapId);
    if (m_stateImages.GetSafeHandle())
        SetImageList(nullptr, TVSIL_STATE);
    m_stateImages.Create(kImageSize, kImageSize, ILC_COLOR24 | ILC_MASK, 13, 1);
    m_stateImages.Add(bitmap, kMaskColor);   // copies the pixels: the bitmap goes at the end
    SetImageList(m_stateImages, TVSIL_STATE);
}

void CCheckTreeCtrl::SetCheckState(HTREEITEM hItem, int state) const
{
    SetItem(hItem, TVIF_STATE, nullptr, 0, 0, INDEXTOSTATEIMAGEMASK(state + 1) & TVIS_STATEIMAGEMASK,
            TVIS_STATEIMAGEMASK, 0);
}

int CCheckTreeCtrl::GetCheckState(HTREEITEM hItem) const
{
    return int(GetItemState(hItem, TVIS_STATEIMAGEMASK) >> 12) - 1;
}

void CCheckTreeCtrl::ToggleCheck(HTREEITEM hItem) const
{
    int state = GetCheckState(hItem);
    if (state == CheckUnticked || state == CheckPartlyTicked)
        state = CheckTicked;
    else if (state == CheckTicked)
        state = CheckUnticked;
    SetCheckState(hItem, state);
    SetSubtreeCheckState(hItem, state);
}

void CCheckTreeCtrl::SetSubtreeCheckState(HTREEITEM hItem, int state) const
{
    for (HTREEITEM hChild = GetChildItem(hItem); hChild; hChild = GetNextSiblingItem(hChild)) {
        SetCheckState(hChild, state);
        SetSubtreeCheckState(hChild, state);
    }
}

BOOL CCheckTreeCtrl::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult)
{
    if (message == WM_CREATE) {
        *pResult = Default() == -1 ? -1 : 0;
        return TRUE;
    }
    if (message == WM_KEYDOWN && OnKeyDown(UINT(wParam), lParam)) {
        *pResult = 0;
        return TRUE;
    }
    if (message == WM_CHAR && wParam == ' ') {
        // The character of the Space key: the tree would take it for the start of an item
        // name to search for. The key itself has done its work.
        *pResult = 0;
        return TRUE;
    }
    if (IsReflectedNotify(message, lParam, NM_CLICK)) {
        OnClick();
        *pResult = 0;
        return TRUE;
    }
    // The tree sends the ANSI code to an ANSI parent; a Unicode parent gets the wide one,
    // whose item fields sit at the same places.
    if (IsReflectedNotify(message, lParam, TVN_ITEMEXPANDEDA) ||
        IsReflectedNotify(message, lParam, TVN_ITEMEXPANDEDW)) {
        OnItemExpanded(reinterpret_cast<const NMTREEVIEWA*>(lParam));
        *pResult = 0;
        return TRUE;
    }
    return CTreeCtrl::OnWndMsg(message, wParam, lParam, pResult);
}

void CCheckTreeCtrl::OnClick()
{
    // Where the mouse was when the click happened, not where it is now.
    const DWORD pos = ::GetMessagePos();
    POINT pt = {short(LOWORD(pos)), short(HIWORD(pos))};
    ::ScreenToClient(m_hWnd, &pt);
    UINT flags = 0;
    const HTREEITEM hItem = HitTest(pt, &flags);
    // Only the box itself: the label, the icon and the expand button do not toggle.
    if (hItem && flags == TVHT_ONITEMSTATEICON)
        ToggleCheck(hItem);
}

bool CCheckTreeCtrl::OnKeyDown(UINT nChar, LPARAM lParam)
{
    if (nChar != VK_SPACE)
        return false;
    // One press, one toggle: a held key repeats its key-down, which flips nothing more.
    const bool bRepeat = (lParam & (1L << 30)) != 0;
    const HTREEITEM hItem = GetSelectedItem();
    if (hItem && !bRepeat)
        ToggleCheck(hItem);
    return true;
}

void CCheckTreeCtrl::OnItemExpanded(const NMTREEVIEWA* pInfo) const
{
    const HTREEITEM hItem = pInfo->itemNew.hItem;
    int nImage = 0, nSelectedImage = 0;
    if (!GetItemImage(hItem, nImage, nSelectedImage))
        return;
    if (nImage != kCollapsedImage && nImage != kExpandedImage)
        return;
    const int image = (pInfo->itemNew.state & TVIS_EXPANDED) ? kExpandedImage : kCollapsedImage;
    SetItem(hItem, TVIF_IMAGE | TVIF_SELECTEDIMAGE, nullptr, image, image, 0, 0, 0);
}
