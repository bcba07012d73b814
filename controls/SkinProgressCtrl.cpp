#include "SkinProgressCtrl.h"

#include <cstdarg>

#include "CRgn.h"
#include "MemDC.h"

static_assert(BAR_VERTICAL == PBS_VERTICAL, "the bar reads the common control's vertical bit");

CSkinProgressCtrl::CSkinProgressCtrl()
    : m_clrBackground(::GetSysColor(COLOR_BTNFACE)),
      m_clrTextOnBar(::GetSysColor(COLOR_CAPTIONTEXT)),
      m_clrTextOnBackground(::GetSysColor(COLOR_BTNTEXT))
{
    m_barColors.Add(::GetSysColor(COLOR_ACTIVECAPTION));
    BOOL bGradientCaptions = FALSE;
    const BOOL ok = ::SystemParametersInfoA(SPI_GETGRADIENTCAPTIONS, 0, &bGradientCaptions, 0);
    m_barColors.Add(::GetSysColor(ok && bGradientCaptions ? COLOR_GRADIENTACTIVECAPTION : COLOR_ACTIVECAPTION));
}

void CSkinProgressCtrl::SetBarColors(int count, COLORREF first, COLORREF second, ...)
{
    m_barColors.RemoveAll();
    m_barColors.Add(first);
    m_barColors.Add(second);
    va_list args;
    va_start(args, second);
    for (int i = 2; i < count; ++i)
        m_barColors.Add(va_arg(args, COLORREF));
    va_end(args);
}

BOOL CSkinProgressCtrl::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult)
{
    auto movePosition = [&](int value, BOOL relative) {
        if (!AdvanceSegment(pResult, value, relative))
            *pResult = Default();
        return TRUE;
    };

    switch (message) {
    case WM_ERASEBKGND:
        *pResult = TRUE;   // everything is painted in WM_PAINT
        return TRUE;
    case WM_PAINT:
        OnPaint();
        *pResult = 0;
        return TRUE;
    case PBM_SETBARCOLOR:
        m_barColors.RemoveAll();
        m_barColors.Add(COLORREF(lParam));
        m_barColors.Add(COLORREF(wParam ? wParam : lParam));
        *pResult = LRESULT(CLR_DEFAULT);
        return TRUE;
    case CCM_SETBKCOLOR:
        m_clrBackground = COLORREF(lParam);
        *pResult = LRESULT(CLR_DEFAULT);
        return TRUE;
    case PBM_SETPOS:
        return movePosition(int(wParam), FALSE);
    case PBM_DELTAPOS:
        return movePosition(int(wParam), TRUE);
    case PBM_STEPIT:
        return movePosition(m_nStep, TRUE);
    case PBM_SETSTEP:
        m_nStep = int(wParam);
        *pResult = Default();
        return TRUE;
    default:
        return CProgressCtrl::OnWndMsg(message, wParam, lParam, pResult);
    }
}

void CSkinProgressCtrl::OnPaint()
{
    CPaintDC paintDC(m_hWnd);
    const CRect rcClient = GetClientRect();
    BarPaintState state = {nullptr, 0, rcClient, GetPos(), 0, 0};
    GetRange(state.nLower, state.nUpper);

    // Off-screen: the label's clipping region goes with the memory DC.
    CMemDC memDC(&paintDC);
    if (m_pBackgroundBrush)
        memDC.FillRect(&rcClient, *m_pBackgroundBrush);
    else
        memDC.FillSolidRect(&rcClient, m_clrBackground);
    state.pDC = &memDC;
    state.rcInner.DeflateRect(m_rcMargins);
    PaintBar(state);
}

void CSkinProgressCtrl::PaintBar(const BarPaintState& stateIn)
{
    BarPaintState state = stateIn;
    state.dwStyle = GetStyle();
    const long length = BarAxisLength(state.rcInner, state.dwStyle);
    CRect bar;
    if (!ComputeBarRange(length, state.nPos, state.nLower, state.nUpper, (state.dwStyle & SPS_MOVING_SEGMENT) != 0,
                         m_nSegmentTail, &bar))
        return;
    const CRect full(0, 0, length, 0);
    if (m_pBarBrush) {
        const CRect r = RangeToRect(state, bar);
        state.pDC->FillRect(&r, *m_pBarBrush);
    } else {
        PaintGradientBands(state, (state.dwStyle & SPS_STRETCH_GRADIENT) ? bar : full, bar);
    }
    PaintLabel(state, full, bar);
}

void CSkinProgressCtrl::PaintGradientBands(const BarPaintState& state, const CRect& span, const CRect& clip)
{
    for (const GradientSegment& s : PlanGradientSegments(span, clip, m_barColors.GetSize()))
        PaintGradientSpan(state, s.segment, s.clipped, m_barColors[s.index], m_barColors[s.index + 1]);
}

void CSkinProgressCtrl::PaintGradientSpan(const BarPaintState& state, const CRect& segment, const CRect& clip,
                                          COLORREF from, COLORREF to)
{
    CDC* pDC = state.pDC;
    const bool palette = (pDC->GetDeviceCaps(RASTERCAPS) & RC_PALETTE) != 0;
    const int colorBits = pDC->GetDeviceCaps(BITSPIXEL) * pDC->GetDeviceCaps(PLANES);
    const int steps = GradientStepCount(from, to, segment.Width(), palette, colorBits);
    for (const GradientBand& band : PlanGradientBands(segment, clip, from, to, steps)) {
        const CRect r = RangeToRect(state, band.band);
        if (palette) {
            // A palette device matches a brush's colour better than a text background's.
            const CBrush brush(band.color);
            pDC->FillRect(&r, brush);
        } else {
            pDC->FillSolidRect(&r, band.color);
        }
    }
}

void CSkinProgressCtrl::PaintLabel(const BarPaintState& state, const CRect& full, const CRect& bar)
{
    const CString text = BarLabelText(state.dwStyle, GetWindowText(), state.nPos, state.nLower, state.nUpper);
    if (text.IsEmpty())
        return;
    CDC* pDC = state.pDC;
    const HFONT hFont = GetFont();
    const HGDIOBJ hOldFont = hFont ? pDC->SelectObject(hFont) : nullptr;
    const COLORREF clrOldText = pDC->SetTextColor(m_clrTextOnBar);
    const int nOldBkMode = pDC->SetBkMode(TRANSPARENT);
    const UINT nOldAlign = pDC->SetTextAlign(TA_CENTER | TA_BOTTOM);
    const CPoint windowOrg = pDC->GetWindowOrg();

    int angle = 0;
    LOGFONTA lf;
    if (hFont && ::GetObjectA(hFont, sizeof lf, &lf) == sizeof lf)
        angle = lf.lfEscapement / 10;
    const SIZE size = pDC->GetTextExtent(text);
    const LabelExtent extent = MeasureLabel(angle, size.cx, size.cy);
    const CPoint oldViewportOrg = pDC->GetViewportOrg();

    if (state.dwStyle & SPS_TEXT_ON_BAR) {
        if (LabelFitsBar(state.dwStyle, extent, bar)) {
            const CPoint origin = LabelOrigin(RangeToRect(state, bar), extent.dx, extent.dy);
            pDC->SetViewportOrg(origin.x, origin.y);
            PaintLabelClipped(state, bar, text, windowOrg);
        }
    } else {
        const CPoint origin = LabelOrigin(state.rcInner, extent.dx, extent.dy);
        pDC->SetViewportOrg(origin.x, origin.y);
        for (const LabelPiece& piece : PlanLabelPieces(full, bar, m_clrTextOnBar == m_clrTextOnBackground)) {
            pDC->SetTextColor(piece.onBar ? m_clrTextOnBar : m_clrTextOnBackground);
            PaintLabelClipped(state, piece.range, text, windowOrg);
        }
    }

    pDC->SetViewportOrg(oldViewportOrg.x, oldViewportOrg.y);
    pDC->SetTextAlign(nOldAlign);
    pDC->SetBkMode(nOldBkMode);
    pDC->SetTextColor(clrOldText);
    if (hOldFont)
        pDC->SelectObject(hOldFont);
}

void CSkinProgressCtrl::PaintLabelClipped(const BarPaintState& state, const CRect& range, const CString& text,
                                          const CPoint& windowOrg)
{
    // Clip regions are in device units: client coordinates less the window origin.
    CRect r = RangeToRect(state, range);
    r.OffsetRect(-windowOrg.x, -windowOrg.y);
    CRgn region;
    region.CreateRectRgnIndirect(&r);
    state.pDC->SelectClipRgn(region);   // the DC keeps a copy; ours goes with the scope
    state.pDC->TextOut(0, 0, text);
}

BOOL CSkinProgressCtrl::AdvanceSegment(LRESULT* pResult, int value, BOOL relative)
{
    if (!(GetStyle() & SPS_MOVING_SEGMENT))
        return FALSE;
    int lower = 0, upper = 0;
    GetRange(lower, upper);
    const int current = relative ? GetPos() : 0;
    const SegmentAdvance step =
        ComputeSegmentAdvance(value, relative != FALSE, current, lower, upper, m_nSegmentTail, m_nSegmentLength);
    if (step.toggleMirrored) {
        const bool mirrored = (GetStyle() & SPS_MIRRORED) != 0;
        ModifyStyle(mirrored ? SPS_MIRRORED : 0, mirrored ? 0 : SPS_MIRRORED);
    } else if (step.invalidate) {
        Invalidate(TRUE);
    }
    m_nSegmentTail = step.tail;
    *pResult = DefWindowProc(PBM_SETPOS, WPARAM(step.head), 0);
    return TRUE;
}
