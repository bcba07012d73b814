#include "COleControlSite.h"

void COleControlSite::PrepareTemplate(const void*, UINT)
{
    // Controls of this kind arrive with the embedded browser.
}
