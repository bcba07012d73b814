// An owned brush.
#pragma once

#include "CGdiObject.h"

class CBrush : public CGdiObject {
public:
    CBrush() = default;
    explicit CBrush(COLORREF color) { CreateSolidBrush(color); }
    operator HBRUSH() const { return static_cast<HBRUSH>(m_hObject); }

    BOOL CreateSolidBrush(COLORREF color)
    {
        Attach(::CreateSolidBrush(color));
        return m_hObject != nullptr;
    }
};
