// A static text with its own font, text colour and background brush, given through the
// reflected control-colour notification. It can also flash its text or its background on
// timer ticks, open its own text with the shell when clicked (with SS_NOTIFY) and show a
// cursor of its own. As the text of another control (a check box beside it), it shows that
// control's keyboard focus as a dotted rectangle around the text.
#pragma once

#include "CFont.h"
#include "CStatic.h"

class CLinkLabel : public CStatic {
public:
    enum FlashMode { FlashNone = 0, FlashText = 1, FlashBackground = 2 };

    CLinkLabel();
    ~CLinkLabel() override;

    // Each repaints the label at once, except ChangeBackgroundColor, which shows at the next paint.
    CLinkLabel& ChangeTextColor(COLORREF color);
    CLinkLabel& ChangeBackgroundColor(COLORREF color);
    // Names longer than a font face name can hold are cut at a character boundary.
    CLinkLabel& ChangeFontFace(const CString& face);
    // A character height in pixels (not points).
    CLinkLabel& ChangeFontHeight(int height);

    // The background shown in the dark phase of background flashing.
    CLinkLabel& ChangeFlashColor(COLORREF color);
    // The text shown in the lit phase of text flashing.
    CLinkLabel& SetFlashText(const CString& text);
    // Starts flashing with a timer on the label (mode 1 or 2), or stops it (mode 0), which
    // brings the text and the background back.
    CLinkLabel& SetFlashMode(int mode, UINT intervalMs = 500);
    // Shown over the label; null keeps the default cursor. Not owned.
    CLinkLabel& SetLinkCursor(HCURSOR hCursor);
    // Shows or takes away the dotted focus rectangle around the text.
    CLinkLabel& SetFocusCue(bool bShow);

    COLORREF m_clrText;
    HBRUSH m_hBackgroundBrush;   // owned
    HBRUSH m_hFlashBrush;        // owned
    LOGFONTA m_logFont;
    CFont m_font;
    CString m_strFlashText;
    BOOL m_bFlashPhase = FALSE;
    int m_nFlashMode = FlashNone;
    HCURSOR m_hLinkCursor = nullptr;   // borrowed
    bool m_bFocusCue = false;

protected:
    BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;
    void RebuildFont();

private:
    HBRUSH OnCtlColor(HDC hDC, UINT nCtlColor);
    void OnTimer();
    void Repaint() const;
    void PaintWithFocusCue();
};
