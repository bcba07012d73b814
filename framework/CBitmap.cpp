#include "CBitmap.h"

#include "PictureResource.h"

BOOL CBitmap::LoadBitmap(UINT nIDResource)
{
    Attach(LoadPictureBitmap(nIDResource));
    return m_hObject != nullptr;
}
