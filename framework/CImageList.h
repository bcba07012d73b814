// An owned image list.
#pragma once

#include <windows.h>
#include <commctrl.h>

class CImageList {
public:
    CImageList() = default;
    ~CImageList() { DeleteImageList(); }
    CImageList(const CImageList&) = delete;
    CImageList& operator=(const CImageList&) = delete;

    operator HIMAGELIST() const { return m_hImageList; }
    HIMAGELIST GetSafeHandle() const { return m_hImageList; }

    BOOL Create(int cx, int cy, UINT nFlags, int nInitial, int nGrow)
    {
        DeleteImageList();
        m_hImageList = ::ImageList_Create(cx, cy, nFlags, nInitial, nGrow);
        return m_hImageList != nullptr;
    }
    // Adds the images of a bitmap; pixels of crMask become transparent.
    int Add(HBITMAP hBitmap, COLORREF crMask) { return ::ImageList_AddMasked(m_hImageList, hBitmap, crMask); }
    int GetImageCount() const { return ::ImageList_GetImageCount(m_hImageList); }
    BOOL DeleteImageList()
    {
        if (!m_hImageList)
            return FALSE;
        const BOOL ok = ::ImageList_Destroy(m_hImageList);
        m_hImageList = nullptr;
        return ok;
    }

private:
    HIMAGELIST m_hImageList = nullptr;
};
