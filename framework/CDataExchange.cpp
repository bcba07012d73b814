#include "CDataExchange.h"

#include "CWnd.h"

void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl)
{
    if (rControl.GetSafeHwnd())
        return;
    rControl.SubclassDlgItem(UINT(nIDC), pDX->m_pDlgWnd);
}
