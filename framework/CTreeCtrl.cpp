#include "CTreeCtrl.h"

#include <vector>

HTREEITEM CTreeCtrl::InsertItem(UINT nMask, const char* pszItem, int nImage, int nSelectedImage, UINT nState,
                                UINT nStateMask, LPARAM lParam, HTREEITEM hParent, HTREEITEM hInsertAfter) const
{
    TVINSERTSTRUCTA tvis = {};
    tvis.hParent = hParent;
    tvis.hInsertAfter = hInsertAfter;
    tvis.item.mask = nMask;
    tvis.item.pszText = const_cast<char*>(pszItem);
    tvis.item.iImage = nImage;
    tvis.item.iSelectedImage = nSelectedImage;
    tvis.item.state = nState;
    tvis.item.stateMask = nStateMask;
    tvis.item.lParam = lParam;
    return reinterpret_cast<HTREEITEM>(SendMessage(TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&tvis)));
}

BOOL CTreeCtrl::SetItem(HTREEITEM hItem, UINT nMask, const char* pszItem, int nImage, int nSelectedImage,
                        UINT nState, UINT nStateMask, LPARAM lParam) const
{
    TVITEMA item = {};
    item.hItem = hItem;
    item.mask = nMask;
    item.pszText = const_cast<char*>(pszItem);
    item.iImage = nImage;
    item.iSelectedImage = nSelectedImage;
    item.state = nState;
    item.stateMask = nStateMask;
    item.lParam = lParam;
    return SetItem(&item);
}

BOOL CTreeCtrl::GetItemImage(HTREEITEM hItem, int& nImage, int& nSelectedImage) const
{
    TVITEMA item = {};
    item.hItem = hItem;
    item.mask = TVIF_IMAGE | TVIF_SELECTEDIMAGE;
    if (!GetItem(&item))
        return FALSE;
    nImage = item.iImage;
    nSelectedImage = item.iSelectedImage;
    return TRUE;
}

CString CTreeCtrl::GetItemText(HTREEITEM hItem) const
{
    // Grow the buffer until the text fits with room to spare.
    for (size_t size = 256; size <= (1u << 20); size *= 4) {
        std::vector<char> buffer(size, '\0');
        TVITEMA item = {};
        item.hItem = hItem;
        item.mask = TVIF_TEXT;
        item.pszText = buffer.data();
        item.cchTextMax = int(size);
        if (!GetItem(&item))
            return CString();
        // The control may hand back its own pointer instead of filling ours.
        const char* text = item.pszText ? item.pszText : buffer.data();
        const CString result(text);
        if (text != buffer.data() || size_t(result.GetLength()) < size - 1)
            return result;
    }
    return CString();
}

HTREEITEM CTreeCtrl::HitTest(POINT pt, UINT* pFlags) const
{
    TVHITTESTINFO info = {};
    info.pt = pt;
    HTREEITEM hItem = reinterpret_cast<HTREEITEM>(SendMessage(TVM_HITTEST, 0, reinterpret_cast<LPARAM>(&info)));
    if (pFlags)
        *pFlags = info.flags;
    return hItem;
}

BOOL CTreeCtrl::GetItemRect(HTREEITEM hItem, RECT* pRect, BOOL bTextOnly) const
{
    *reinterpret_cast<HTREEITEM*>(pRect) = hItem;
    return BOOL(SendMessage(TVM_GETITEMRECT, WPARAM(bTextOnly), reinterpret_cast<LPARAM>(pRect)));
}
