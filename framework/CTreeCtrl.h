// The common tree view.
#pragma once

#include "CWnd.h"

#include <commctrl.h>

class CTreeCtrl : public CWnd {
public:
    BOOL Create(DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID)
    {
        return CWnd::Create(WC_TREEVIEWA, nullptr, dwStyle, rect, pParentWnd, nID);
    }

    HTREEITEM InsertItem(UINT nMask, const char* pszItem, int nImage, int nSelectedImage, UINT nState,
                         UINT nStateMask, LPARAM lParam, HTREEITEM hParent, HTREEITEM hInsertAfter) const;
    HTREEITEM InsertItem(const char* pszItem, HTREEITEM hParent = TVI_ROOT, HTREEITEM hInsertAfter = TVI_LAST) const
    {
        return InsertItem(TVIF_TEXT, pszItem, 0, 0, 0, 0, 0, hParent, hInsertAfter);
    }

    BOOL GetItem(TVITEMA* pItem) const { return BOOL(SendMessage(TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(pItem))); }
    BOOL SetItem(TVITEMA* pItem) const { return BOOL(SendMessage(TVM_SETITEMA, 0, reinterpret_cast<LPARAM>(pItem))); }
    BOOL SetItem(HTREEITEM hItem, UINT nMask, const char* pszItem, int nImage, int nSelectedImage, UINT nState,
                 UINT nStateMask, LPARAM lParam) const;
    UINT GetItemState(HTREEITEM hItem, UINT nStateMask) const
    {
        return UINT(SendMessage(TVM_GETITEMSTATE, reinterpret_cast<WPARAM>(hItem), LPARAM(nStateMask)));
    }
    BOOL GetItemImage(HTREEITEM hItem, int& nImage, int& nSelectedImage) const;
    CString GetItemText(HTREEITEM hItem) const;

    HTREEITEM GetNextItem(HTREEITEM hItem, UINT nCode) const
    {
        return reinterpret_cast<HTREEITEM>(SendMessage(TVM_GETNEXTITEM, nCode, reinterpret_cast<LPARAM>(hItem)));
    }
    HTREEITEM GetChildItem(HTREEITEM hItem) const { return GetNextItem(hItem, TVGN_CHILD); }
    HTREEITEM GetNextSiblingItem(HTREEITEM hItem) const { return GetNextItem(hItem, TVGN_NEXT); }
    HTREEITEM GetSelectedItem() const { return GetNextItem(nullptr, TVGN_CARET); }
    BOOL SelectItem(HTREEITEM hItem) const
    {
        return BOOL(SendMessage(TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(hItem)));
    }

    BOOL Expand(HTREEITEM hItem, UINT nCode) const
    {
        return BOOL(SendMessage(TVM_EXPAND, nCode, reinterpret_cast<LPARAM>(hItem)));
    }
    BOOL EnsureVisible(HTREEITEM hItem) const
    {
        return BOOL(SendMessage(TVM_ENSUREVISIBLE, 0, reinterpret_cast<LPARAM>(hItem)));
    }
    HTREEITEM HitTest(POINT pt, UINT* pFlags = nullptr) const;
    BOOL GetItemRect(HTREEITEM hItem, RECT* pRect, BOOL bTextOnly) const;
    HIMAGELIST SetImageList(HIMAGELIST hImageList, int nImageListType) const
    {
        return reinterpret_cast<HIMAGELIST>(
            SendMessage(TVM_SETIMAGELIST, WPARAM(nImageListType), reinterpret_cast<LPARAM>(hImageList)));
    }
};
