// An owned font.
#pragma once

#include "CGdiObject.h"

class CFont : public CGdiObject {
public:
    operator HFONT() const { return static_cast<HFONT>(m_hObject); }

    BOOL CreateFontIndirect(const LOGFONTA* pLogFont)
    {
        Attach(::CreateFontIndirectA(pLogFont));
        return m_hObject != nullptr;
    }
    BOOL GetLogFont(LOGFONTA* pLogFont) const
    {
        return ::GetObjectA(m_hObject, sizeof(LOGFONTA), pLogFont) == sizeof(LOGFONTA);
    }
};
