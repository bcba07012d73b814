// An owned region.
#pragma once

#include "CGdiObject.h"

class CRgn : public CGdiObject {
public:
    operator HRGN() const { return static_cast<HRGN>(m_hObject); }

    BOOL CreateRectRgnIndirect(const RECT* pRect)
    {
        Attach(::CreateRectRgnIndirect(pRect));
        return m_hObject != nullptr;
    }
};
