#include "CheckBoxAccessible.h"

#include <new>

#include "CBstr.h"
#include "CWindow.h"

LRESULT CCheckBoxAccessible::Answer(HWND hBox, HWND hLabel, WPARAM wParam)
{
    IAccessible* pStandard = nullptr;
    const HRESULT hr =
        ::CreateStdAccessibleObject(hBox, OBJID_CLIENT, __uuidof(IAccessible), reinterpret_cast<void**>(&pStandard));
    if (FAILED(hr) || !pStandard)
        return 0;
    CCheckBoxAccessible* pObject = new (std::nothrow) CCheckBoxAccessible(hBox, hLabel, pStandard);
    if (!pObject) {
        pStandard->Release();
        return 0;
    }
    // The result holds a reference of its own for the client; ours ends here.
    const LRESULT lResult = ::LresultFromObject(__uuidof(IAccessible), wParam, static_cast<IAccessible*>(pObject));
    pObject->Release();
    return lResult > 0 ? lResult : 0;
}

CCheckBoxAccessible::CCheckBoxAccessible(HWND hBox, HWND hLabel, IAccessible* pStandard)
    : m_hBox(hBox), m_hLabel(hLabel), m_pStandard(pStandard)
{
}

CCheckBoxAccessible::~CCheckBoxAccessible()
{
    m_pStandard->Release();
}

bool CCheckBoxAccessible::IsSelf(const VARIANT& varChild)
{
    return varChild.vt == VT_I4 && varChild.lVal == CHILDID_SELF;
}

// ---- IUnknown ---------------------------------------------------------------------------

STDMETHODIMP CCheckBoxAccessible::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == __uuidof(IAccessible))
        *ppv = static_cast<IAccessible*>(this);
    else if (riid == IID_IOleWindow)
        *ppv = static_cast<IOleWindow*>(this);
    else {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) CCheckBoxAccessible::AddRef()
{
    return ULONG(::InterlockedIncrement(&m_cRef));
}

STDMETHODIMP_(ULONG) CCheckBoxAccessible::Release()
{
    const LONG cRef = ::InterlockedDecrement(&m_cRef);
    if (cRef == 0)
        delete this;
    return ULONG(cRef);
}

// ---- IDispatch --------------------------------------------------------------------------

STDMETHODIMP CCheckBoxAccessible::GetTypeInfoCount(UINT* pctinfo)
{
    return m_pStandard->GetTypeInfoCount(pctinfo);
}

STDMETHODIMP CCheckBoxAccessible::GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo)
{
    return m_pStandard->GetTypeInfo(iTInfo, lcid, ppTInfo);
}

STDMETHODIMP CCheckBoxAccessible::GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid,
                                                DISPID* rgDispId)
{
    return m_pStandard->GetIDsOfNames(riid, rgszNames, cNames, lcid, rgDispId);
}

STDMETHODIMP CCheckBoxAccessible::Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags,
                                         DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO* pExcepInfo,
                                         UINT* puArgErr)
{
    if (riid != IID_NULL)
        return DISP_E_UNKNOWNINTERFACE;
    // Late-bound callers must reach our name, role and state too, not the standard object's.
    ITypeInfo* pInfo = nullptr;
    HRESULT hr = m_pStandard->GetTypeInfo(0, lcid, &pInfo);
    if (FAILED(hr) || !pInfo)
        return FAILED(hr) ? hr : E_NOTIMPL;
    hr = ::DispInvoke(static_cast<IAccessible*>(this), pInfo, dispIdMember, wFlags, pDispParams, pVarResult,
                      pExcepInfo, puArgErr);
    pInfo->Release();
    return hr;
}

// ---- IAccessible: ours ------------------------------------------------------------------

STDMETHODIMP CCheckBoxAccessible::get_accName(VARIANT varChild, BSTR* pszName)
{
    if (!pszName)
        return E_POINTER;
    *pszName = nullptr;
    if (!IsSelf(varChild) || !m_hLabel)
        return m_pStandard->get_accName(varChild, pszName);
    if (!::IsWindow(m_hBox) || !::IsWindow(m_hLabel))
        return E_FAIL;
    *pszName = AllocBstr(CWindow(m_hLabel).GetWindowText());
    return *pszName ? S_OK : S_FALSE;
}

STDMETHODIMP CCheckBoxAccessible::get_accRole(VARIANT varChild, VARIANT* pvarRole)
{
    if (!pvarRole)
        return E_POINTER;
    if (!IsSelf(varChild))
        return m_pStandard->get_accRole(varChild, pvarRole);
    ::VariantInit(pvarRole);
    pvarRole->vt = VT_I4;
    pvarRole->lVal = ROLE_SYSTEM_CHECKBUTTON;
    return S_OK;
}

STDMETHODIMP CCheckBoxAccessible::get_accState(VARIANT varChild, VARIANT* pvarState)
{
    if (!pvarState)
        return E_POINTER;
    if (!IsSelf(varChild))
        return m_pStandard->get_accState(varChild, pvarState);
    ::VariantInit(pvarState);
    if (!::IsWindow(m_hBox))
        return E_FAIL;
    LONG state = 0;
    if (!::IsWindowVisible(m_hBox))
        state |= STATE_SYSTEM_INVISIBLE;
    if (!::IsWindowEnabled(m_hBox))
        state |= STATE_SYSTEM_UNAVAILABLE;
    else
        state |= STATE_SYSTEM_FOCUSABLE;
    // Called on the box's own thread (the object lives in its apartment): GetFocus is the box's.
    if (::GetFocus() == m_hBox)
        state |= STATE_SYSTEM_FOCUSED;
    if (::SendMessageA(m_hBox, BM_GETCHECK, 0, 0) == BST_CHECKED)
        state |= STATE_SYSTEM_CHECKED;
    pvarState->vt = VT_I4;
    pvarState->lVal = state;
    return S_OK;
}

// ---- IAccessible: the standard object's ---------------------------------------------------

STDMETHODIMP CCheckBoxAccessible::get_accParent(IDispatch** ppdispParent)
{
    return m_pStandard->get_accParent(ppdispParent);
}

STDMETHODIMP CCheckBoxAccessible::get_accChildCount(long* pcountChildren)
{
    return m_pStandard->get_accChildCount(pcountChildren);
}

STDMETHODIMP CCheckBoxAccessible::get_accChild(VARIANT varChild, IDispatch** ppdispChild)
{
    return m_pStandard->get_accChild(varChild, ppdispChild);
}

STDMETHODIMP CCheckBoxAccessible::get_accValue(VARIANT varChild, BSTR* pszValue)
{
    return m_pStandard->get_accValue(varChild, pszValue);
}

STDMETHODIMP CCheckBoxAccessible::get_accDescription(VARIANT varChild, BSTR* pszDescription)
{
    return m_pStandard->get_accDescription(varChild, pszDescription);
}

STDMETHODIMP CCheckBoxAccessible::get_accHelp(VARIANT varChild, BSTR* pszHelp)
{
    return m_pStandard->get_accHelp(varChild, pszHelp);
}

STDMETHODIMP CCheckBoxAccessible::get_accHelpTopic(BSTR* pszHelpFile, VARIANT varChild, long* pidTopic)
{
    return m_pStandard->get_accHelpTopic(pszHelpFile, varChild, pidTopic);
}

STDMETHODIMP CCheckBoxAccessible::get_accKeyboardShortcut(VARIANT varChild, BSTR* pszKeyboardShortcut)
{
    return m_pStandard->get_accKeyboardShortcut(varChild, pszKeyboardShortcut);
}

STDMETHODIMP CCheckBoxAccessible::get_accFocus(VARIANT* pvarChild)
{
    return m_pStandard->get_accFocus(pvarChild);
}

STDMETHODIMP CCheckBoxAccessible::get_accSelection(VARIANT* pvarChildren)
{
    return m_pStandard->get_accSelection(pvarChildren);
}

STDMETHODIMP CCheckBoxAccessible::get_accDefaultAction(VARIANT varChild, BSTR* pszDefaultAction)
{
    return m_pStandard->get_accDefaultAction(varChild, pszDefaultAction);
}

STDMETHODIMP CCheckBoxAccessible::accSelect(long flagsSelect, VARIANT varChild)
{
    return m_pStandard->accSelect(flagsSelect, varChild);
}

STDMETHODIMP CCheckBoxAccessible::accLocation(long* pxLeft, long* pyTop, long* pcxWidth, long* pcyHeight,
                                              VARIANT varChild)
{
    return m_pStandard->accLocation(pxLeft, pyTop, pcxWidth, pcyHeight, varChild);
}

STDMETHODIMP CCheckBoxAccessible::accNavigate(long navDir, VARIANT varStart, VARIANT* pvarEndUpAt)
{
    return m_pStandard->accNavigate(navDir, varStart, pvarEndUpAt);
}

STDMETHODIMP CCheckBoxAccessible::accHitTest(long xLeft, long yTop, VARIANT* pvarChild)
{
    return m_pStandard->accHitTest(xLeft, yTop, pvarChild);
}

STDMETHODIMP CCheckBoxAccessible::accDoDefaultAction(VARIANT varChild)
{
    return m_pStandard->accDoDefaultAction(varChild);
}

STDMETHODIMP CCheckBoxAccessible::put_accName(VARIANT varChild, BSTR szName)
{
    return m_pStandard->put_accName(varChild, szName);
}

STDMETHODIMP CCheckBoxAccessible::put_accValue(VARIANT varChild, BSTR szValue)
{
    return m_pStandard->put_accValue(varChild, szValue);
}

// ---- IOleWindow -------------------------------------------------------------------------

STDMETHODIMP CCheckBoxAccessible::GetWindow(HWND* phwnd)
{
    if (!phwnd)
        return E_POINTER;
    *phwnd = m_hBox;
    return S_OK;
}

STDMETHODIMP CCheckBoxAccessible::ContextSensitiveHelp(BOOL)
{
    return E_NOTIMPL;
}
