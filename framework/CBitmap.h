// An owned bitmap.
#pragma once

#include "CGdiObject.h"

class CBitmap : public CGdiObject {
public:
    operator HBITMAP() const { return static_cast<HBITMAP>(m_hObject); }

    // Loads a bitmap resource of the program's module.
    BOOL LoadBitmap(UINT nIDResource);
    BOOL CreateCompatibleBitmap(HDC hDC, int nWidth, int nHeight)
    {
        Attach(::CreateCompatibleBitmap(hDC, nWidth, nHeight));
        return m_hObject != nullptr;
    }
};
