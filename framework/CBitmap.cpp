#include "CBitmap.h"

#include "CWinApp.h"

BOOL CBitmap::LoadBitmap(UINT nIDResource)
{
    const char* name = MAKEINTRESOURCEA(nIDResource);
    HINSTANCE hInst = AfxFindResourceHandle(name, reinterpret_cast<const char*>(RT_BITMAP));
    Attach(::LoadBitmapA(hInst, name));
    return m_hObject != nullptr;
}
