// A 12 x 12 check box drawn from two bitmaps (checked, unchecked) over a plain push
// button. It keeps its state itself and flips it on every click; nothing of the system
// button is ever shown: no caption, focus rectangle or pushed look.
#pragma once

#include "CButton.h"

class CSkinCheckButton : public CButton {
public:
    // The bitmap resources of the two states.
    CSkinCheckButton(UINT nCheckedBitmapId, UINT nUncheckedBitmapId)
        : m_nCheckedBitmapId(nCheckedBitmapId), m_nUncheckedBitmapId(nUncheckedBitmapId) {}

    bool m_bChecked = true;   // read directly by the dialog

protected:
    BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;

private:
    UINT m_nCheckedBitmapId;
    UINT m_nUncheckedBitmapId;

    void OnPaint();
};
