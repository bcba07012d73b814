// A 12 x 12 check box drawn from two bitmaps (checked, unchecked) over a plain push
// button. It keeps its state itself and flips it on every click, and on Space when it has
// the keyboard focus; nothing of the system button is ever shown: no caption, focus
// rectangle or pushed look. To the dialog manager and to assistive technology it is a check
// box; its label, given with SetLabel, names it and shows its keyboard focus.
#pragma once

#include "CButton.h"

class CLinkLabel;

class CSkinCheckButton : public CButton {
public:
    // The bitmap resources of the two states.
    CSkinCheckButton(UINT nCheckedBitmapId, UINT nUncheckedBitmapId)
        : m_nCheckedBitmapId(nCheckedBitmapId), m_nUncheckedBitmapId(nUncheckedBitmapId) {}

    bool m_bChecked = true;   // read directly by the dialog

    // The text beside the box. Not owned; it stays until the box's window is gone.
    void SetLabel(CLinkLabel* pLabel) { m_pLabel = pLabel; }

protected:
    BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;

private:
    UINT m_nCheckedBitmapId;
    UINT m_nUncheckedBitmapId;

    void OnPaint();
    void OnFocusMessage(UINT message, WPARAM wParam);
    // The label shows the focus while the box has it, the user works with the keyboard and
    // the system's keyboard cues are not hidden.
    void UpdateFocusCue() const;

    CLinkLabel* m_pLabel = nullptr;
    bool m_bHasFocus = false;
    bool m_bPressing = false;        // inside a mouse press on the box
    bool m_bKeyboardFocus = false;   // the focus came by the keyboard, or a key was pressed since
    bool m_bHideFocusCues = false;   // the system's keyboard-cue state (UISF_HIDEFOCUS)
};
