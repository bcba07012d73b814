#include "CWnd.h"

#include "CDataExchange.h"

namespace {

// The object bound to a window lives in a window property under this name.
const char kObjectProp[] = "MelvoraCWnd";

bool IsReflectable(UINT message)
{
    return message == WM_COMMAND || message == WM_NOTIFY ||
           (message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC);
}

}  // namespace

CWnd::~CWnd()
{
    if (!m_hWnd)
        return;
    if (m_bCreated)
        DestroyWindow();
    else
        UnsubclassWindow();
}

CWnd* CWnd::FromHandlePermanent(HWND hWnd)
{
    return hWnd ? static_cast<CWnd*>(::GetPropA(hWnd, kObjectProp)) : nullptr;
}

void CWnd::Bind(HWND hWnd)
{
    m_hWnd = hWnd;
    ::SetPropA(hWnd, kObjectProp, this);
    m_pfnSuper = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrA(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CWnd::AfxWndProc)));
}

void CWnd::Unbind()
{
    ::RemovePropA(m_hWnd, kObjectProp);
    m_hWnd = nullptr;
    m_pfnSuper = nullptr;
    m_bCreated = false;
}

BOOL CWnd::SubclassWindow(HWND hWnd)
{
    if (m_hWnd || !::IsWindow(hWnd) || FromHandlePermanent(hWnd))
        return FALSE;
    Bind(hWnd);
    return TRUE;
}

BOOL CWnd::SubclassDlgItem(UINT nID, CWnd* pParent)
{
    return SubclassWindow(::GetDlgItem(pParent->m_hWnd, int(nID)));
}

HWND CWnd::UnsubclassWindow()
{
    HWND hWnd = m_hWnd;
    if (!hWnd)
        return nullptr;
    // Put the old procedure back only if nobody has subclassed the window after us.
    if (reinterpret_cast<WNDPROC>(::GetWindowLongPtrA(hWnd, GWLP_WNDPROC)) == &CWnd::AfxWndProc)
        ::SetWindowLongPtrA(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSuper));
    Unbind();
    return hWnd;
}

BOOL CWnd::CreateEx(DWORD dwExStyle, const char* pszClassName, const char* pszWindowName, DWORD dwStyle,
                    const RECT& rect, HWND hWndParent, UINT nID)
{
    if (m_hWnd)
        return FALSE;
    HMENU hMenu = (dwStyle & WS_CHILD) ? reinterpret_cast<HMENU>(static_cast<UINT_PTR>(nID)) : nullptr;
    HWND hWnd = ::CreateWindowExA(dwExStyle, pszClassName, pszWindowName, dwStyle, rect.left, rect.top,
                                  rect.right - rect.left, rect.bottom - rect.top, hWndParent, hMenu,
                                  ::GetModuleHandleA(nullptr), nullptr);
    if (!hWnd)
        return FALSE;
    Bind(hWnd);
    m_bCreated = true;
    return TRUE;
}

BOOL CWnd::DestroyWindow()
{
    if (!m_hWnd)
        return FALSE;
    HWND hWnd = m_hWnd;
    BOOL ok = ::DestroyWindow(hWnd);
    // WM_NCDESTROY normally unbinds us; a window of another thread cannot be destroyed
    // from here, so make sure no property points at this object any more.
    if (m_hWnd == hWnd && !::IsWindow(hWnd))
        Unbind();
    return ok;
}

BOOL CWnd::UpdateData(BOOL bSaveAndValidate)
{
    CDataExchange dx(this, bSaveAndValidate);
    DoDataExchange(&dx);
    return TRUE;
}

void CWnd::DoDataExchange(CDataExchange*) {}

BOOL CWnd::PreTranslateMessage(MSG*)
{
    return FALSE;
}

LRESULT CALLBACK CWnd::AfxWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    CWnd* pWnd = FromHandlePermanent(hWnd);
    if (!pWnd)
        return ::DefWindowProcA(hWnd, message, wParam, lParam);
    return pWnd->WindowProc(message, wParam, lParam);
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    const CurrentMessage saved = m_current;
    m_current = {message, wParam, lParam};

    LRESULT lResult = 0;
    if (message == WM_NCDESTROY) {
        lResult = DefWindowProc(message, wParam, lParam);
        if (m_hWnd) {
            UnsubclassWindow();
            PostNcDestroy();
        }
        return lResult;   // the object may be gone now: touch nothing
    }
    if (!(IsReflectable(message) && ReflectChildNotify(message, wParam, lParam, &lResult)) &&
        !OnWndMsg(message, wParam, lParam, &lResult))
        lResult = DefWindowProc(message, wParam, lParam);

    m_current = saved;
    return lResult;
}

BOOL CWnd::OnWndMsg(UINT, WPARAM, LPARAM, LRESULT*)
{
    return FALSE;
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (m_pfnSuper)
        return ::CallWindowProcA(m_pfnSuper, m_hWnd, message, wParam, lParam);
    return ::DefWindowProcA(m_hWnd, message, wParam, lParam);
}

LRESULT CWnd::Default()
{
    return DefWindowProc(m_current.message, m_current.wParam, m_current.lParam);
}

BOOL CWnd::ReflectChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult)
{
    HWND hChild = nullptr;
    if (message == WM_NOTIFY)
        hChild = lParam ? reinterpret_cast<const NMHDR*>(lParam)->hwndFrom : nullptr;
    else
        hChild = reinterpret_cast<HWND>(lParam);   // WM_COMMAND from a control, WM_CTLCOLOR*
    CWnd* pChild = FromHandlePermanent(hChild);
    if (!pChild)
        return FALSE;
    LRESULT lResult = 0;
    if (!pChild->OnWndMsg(WM_REFLECT_BASE + message, wParam, lParam, &lResult))
        return FALSE;
    *pResult = lResult;
    return TRUE;
}
