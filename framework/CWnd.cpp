#include "CWnd.h"

#include <oleauto.h>

#include <cstdarg>
#include <cstring>
#include <vector>

#include "CBstr.h"
#include "CDataExchange.h"
#include "COleControlSite.h"

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

BOOL CWnd::PreTranslateMessage(MSG* pMsg)
{
    if (COleControlSite* pSite = COleControlSite::FromHostWindow(m_hWnd))
        return pSite->PreTranslateMessage(pMsg);
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

// ---- ActiveX controls -----------------------------------------------------------------

const CRuntimeClass CWnd::classCWnd = {"CWnd", int(sizeof(CWnd)), 0xFFFF, []() -> CWnd* { return new CWnd; },
                                       nullptr};

const CRuntimeClass* CWnd::GetRuntimeClass() const
{
    return &classCWnd;
}

BOOL CWnd::CreateControl(REFCLSID clsid, const char* pszWindowName, DWORD dwStyle, const RECT& rect,
                         CWnd* pParentWnd, UINT nID)
{
    if (m_hWnd)
        return FALSE;
    HWND hWnd = COleControlSite::CreateHostWindow(clsid, pszWindowName, dwStyle, rect,
                                                  pParentWnd ? pParentWnd->m_hWnd : nullptr, nID);
    if (!hWnd)
        return FALSE;
    Bind(hWnd);
    m_bCreated = true;
    return TRUE;
}

namespace {

// Arguments of one dispatch call, last argument first as IDispatch::Invoke wants them.
// Owns the strings it made.
class DispatchArguments {
public:
    ~DispatchArguments()
    {
        for (VARIANTARG& v : m_args)
            ::VariantClear(&v);   // frees our BSTRs; a VARIANT passed by reference stays the caller's
    }
    // False when a parameter type is not one we know how to pass.
    bool Build(const BYTE* pbParamInfo, va_list args)
    {
        const size_t count = pbParamInfo ? std::strlen(reinterpret_cast<const char*>(pbParamInfo)) : 0;
        m_args.resize(count);
        for (VARIANTARG& v : m_args)
            ::VariantInit(&v);
        for (size_t i = 0; i < count; ++i) {
            VARIANTARG& v = m_args[count - 1 - i];
            switch (pbParamInfo[i]) {
            case 0x08:   // VTS_BSTR
                v.vt = VT_BSTR;
                v.bstrVal = AllocBstr(va_arg(args, const char*));
                break;
            case 0x4C:   // VTS_PVARIANT
                v.vt = VT_VARIANT | VT_BYREF;
                v.pvarVal = va_arg(args, VARIANT*);
                break;
            default:
                return false;
            }
        }
        return true;
    }
    DISPPARAMS Params() { return DISPPARAMS{m_args.data(), nullptr, UINT(m_args.size()), 0}; }

private:
    std::vector<VARIANTARG> m_args;
};

}  // namespace

HRESULT CWnd::InvokeHelper(DISPID dwDispID, WORD wFlags, VARTYPE vtRet, void*, const BYTE* pbParamInfo, ...)
{
    COleControlSite* pSite = COleControlSite::FromHostWindow(m_hWnd);
    IDispatch* pDispatch = pSite ? pSite->GetDispatch() : nullptr;
    if (!pDispatch)
        return E_NOINTERFACE;
    if (vtRet != VT_EMPTY)
        return DISP_E_BADVARTYPE;

    DispatchArguments arguments;
    va_list args;
    va_start(args, pbParamInfo);
    const bool bBuilt = arguments.Build(pbParamInfo, args);
    va_end(args);
    if (!bBuilt)
        return DISP_E_BADVARTYPE;

    DISPPARAMS params = arguments.Params();
    EXCEPINFO excepInfo = {};
    UINT uArgErr = 0;
    pDispatch->AddRef();   // the control may close itself during the call
    const HRESULT hr = pDispatch->Invoke(dwDispID, IID_NULL, LOCALE_USER_DEFAULT, wFlags, &params, nullptr,
                                         &excepInfo, &uArgErr);
    pDispatch->Release();
    if (hr == DISP_E_EXCEPTION) {
        ::SysFreeString(excepInfo.bstrSource);
        ::SysFreeString(excepInfo.bstrDescription);
        ::SysFreeString(excepInfo.bstrHelpFile);
    }
    return hr;
}
