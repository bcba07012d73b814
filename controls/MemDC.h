// An off-screen drawing context for flicker-free painting: everything drawn into it lands in
// a bitmap the size of the target's clip box, which the destructor copies to the target in
// one block. Callers draw in the target's coordinates. On a printer it draws straight through.
#pragma once

#include "CBitmap.h"
#include "CDC.h"

class CMemDC : public CDC {
public:
    explicit CMemDC(CDC* pDC);
    ~CMemDC() override;

    CBitmap m_bitmap;
    HGDIOBJ m_pOldBitmap = nullptr;   // the bitmap selected before ours
    CDC* m_pDC;                       // the target
    CRect m_rect;                     // the area covered, in the target's coordinates
    BOOL m_bMemDC;                    // TRUE when drawing goes off-screen
};
