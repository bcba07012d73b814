// A progress bar that paints itself: a background (colour or brush), a bar filled with a
// gradient of any number of colour stops (or a brush), and optional text in two colours, one
// over the bar and one over the background. The common control underneath keeps the range,
// position and step. Style bits of its own (BarGeometry.h: SPS_*) add mirrored bars, text that
// rides in the bar, a gradient that stretches with the bar and a moving segment that travels
// along the control and turns back at the end. Painting goes through CMemDC: no flicker.
#pragma once

#include "BarGeometry.h"
#include "CBrush.h"
#include "CDWordArray.h"
#include "CDC.h"
#include "CProgressCtrl.h"

// What every paint step is handed: the DC being drawn into and what was read at paint time.
struct BarPaintState {
    CDC* pDC;
    DWORD dwStyle;
    CRect rcInner;   // the client rectangle less the margins
    int nPos;
    int nLower;
    int nUpper;
};

class CSkinProgressCtrl : public CProgressCtrl {
public:
    CSkinProgressCtrl();

    // The gradient stops: count entries, first, second, then count - 2 more. No repaint.
    void SetBarColors(int count, COLORREF first, COLORREF second, ...);
    // No repaint: the caller invalidates.
    void SetBackgroundColor(COLORREF color) { m_clrBackground = color; }
    // Brushes stay the caller's; null goes back to the colours.
    void SetBarBrush(CBrush* pBrush) { m_pBarBrush = pBrush; }
    void SetBackgroundBrush(CBrush* pBrush) { m_pBackgroundBrush = pBrush; }
    void SetTextColors(COLORREF onBar, COLORREF onBackground)
    {
        m_clrTextOnBar = onBar;
        m_clrTextOnBackground = onBackground;
    }
    // Inner margins (left, top, right, bottom) for the bar and the text.
    void SetMargins(const CRect& margins) { m_rcMargins = margins; }
    void SetSegmentLength(int nLength) { m_nSegmentLength = nLength; }

    CDWordArray m_barColors;          // gradient stops, spaced evenly
    CBrush* m_pBarBrush = nullptr;    // borrowed; when set, fills the bar instead of the stops
    COLORREF m_clrBackground;
    CBrush* m_pBackgroundBrush = nullptr;   // borrowed; when set, fills instead of m_clrBackground
    COLORREF m_clrTextOnBar;
    COLORREF m_clrTextOnBackground;
    int m_nSegmentTail = 0;     // moving segment: its tail, in range units
    int m_nSegmentLength = 40;  // moving segment: its length, in range units
    int m_nStep = 10;           // PBM_STEPIT's increment in moving-segment mode
    CRect m_rcMargins;

protected:
    BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;

    // The paint steps; further subclasses may replace any of them.
    // Paints the gradient laid over span, only where it meets clip.
    virtual void PaintGradientBands(const BarPaintState& state, const CRect& span, const CRect& clip);
    // Paints one segment between two stops, only where it meets clip.
    virtual void PaintGradientSpan(const BarPaintState& state, const CRect& segment, const CRect& clip,
                                   COLORREF from, COLORREF to);
    // Draws the text of the style's text mode, split in colour at the bar's ends.
    virtual void PaintLabel(const BarPaintState& state, const CRect& full, const CRect& bar);
    // Draws the text clipped to one range; the viewport origin sits at the text's reference point.
    virtual void PaintLabelClipped(const BarPaintState& state, const CRect& range, const CString& text,
                                   const CPoint& windowOrg);
    // Moves the moving segment; FALSE when the control is not in that mode.
    virtual BOOL AdvanceSegment(LRESULT* pResult, int value, BOOL relative);

    CRect RangeToRect(const BarPaintState& state, const CRect& range) const
    {
        return BarRangeToRect(state.rcInner, state.dwStyle, range);
    }

private:
    void OnPaint();
    void PaintBar(const BarPaintState& state);
};
