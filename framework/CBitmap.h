// An owned bitmap.
#pragma once

#include "CGdiObject.h"

class CBitmap : public CGdiObject {
public:
    operator HBITMAP() const { return static_cast<HBITMAP>(m_hObject); }

    // One of the program's pictures (PictureResource.h): decoded from its PNG resource, or
    // its BITMAP resource.
    BOOL LoadBitmap(UINT nIDResource);
    BOOL CreateCompatibleBitmap(HDC hDC, int nWidth, int nHeight)
    {
        Attach(::CreateCompatibleBitmap(hDC, nWidth, nHeight));
        return m_hObject != nullptr;
    }
};
