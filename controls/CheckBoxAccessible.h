// What assistive technology is told about a check box that the system does not know as
// one (the skinned box is a push button underneath): a check box named by the text of its
// label, checked or not as the window answers BM_GETCHECK. Everything else comes from the
// system's standard object for the window.
//
// The object holds only window handles, never the control objects, so a client may keep it
// after the windows are gone: it then fails its calls.
#pragma once

#include <windows.h>
#include <oleacc.h>

class CCheckBoxAccessible : public IAccessible, public IOleWindow {
public:
    // The answer to WM_GETOBJECT for OBJID_CLIENT, or 0 when no object could be made (the
    // caller then leaves the message to the window's default handling).
    static LRESULT Answer(HWND hBox, HWND hLabel, WPARAM wParam);

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // IDispatch: the standard object's type information, our own methods.
    STDMETHODIMP GetTypeInfoCount(UINT* pctinfo) override;
    STDMETHODIMP GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) override;
    STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid, DISPID* rgDispId) override;
    STDMETHODIMP Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS* pDispParams,
                        VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) override;

    // IAccessible: name, role and state are ours; the rest is the standard object's.
    STDMETHODIMP get_accName(VARIANT varChild, BSTR* pszName) override;
    STDMETHODIMP get_accRole(VARIANT varChild, VARIANT* pvarRole) override;
    STDMETHODIMP get_accState(VARIANT varChild, VARIANT* pvarState) override;
    STDMETHODIMP get_accParent(IDispatch** ppdispParent) override;
    STDMETHODIMP get_accChildCount(long* pcountChildren) override;
    STDMETHODIMP get_accChild(VARIANT varChild, IDispatch** ppdispChild) override;
    STDMETHODIMP get_accValue(VARIANT varChild, BSTR* pszValue) override;
    STDMETHODIMP get_accDescription(VARIANT varChild, BSTR* pszDescription) override;
    STDMETHODIMP get_accHelp(VARIANT varChild, BSTR* pszHelp) override;
    STDMETHODIMP get_accHelpTopic(BSTR* pszHelpFile, VARIANT varChild, long* pidTopic) override;
    STDMETHODIMP get_accKeyboardShortcut(VARIANT varChild, BSTR* pszKeyboardShortcut) override;
    STDMETHODIMP get_accFocus(VARIANT* pvarChild) override;
    STDMETHODIMP get_accSelection(VARIANT* pvarChildren) override;
    STDMETHODIMP get_accDefaultAction(VARIANT varChild, BSTR* pszDefaultAction) override;
    STDMETHODIMP accSelect(long flagsSelect, VARIANT varChild) override;
    STDMETHODIMP accLocation(long* pxLeft, long* pyTop, long* pcxWidth, long* pcyHeight, VARIANT varChild) override;
    STDMETHODIMP accNavigate(long navDir, VARIANT varStart, VARIANT* pvarEndUpAt) override;
    STDMETHODIMP accHitTest(long xLeft, long yTop, VARIANT* pvarChild) override;
    STDMETHODIMP accDoDefaultAction(VARIANT varChild) override;
    STDMETHODIMP put_accName(VARIANT varChild, BSTR szName) override;
    STDMETHODIMP put_accValue(VARIANT varChild, BSTR szValue) override;

    // IOleWindow: the box's window, for clients that ask an object where it lives.
    STDMETHODIMP GetWindow(HWND* phwnd) override;
    STDMETHODIMP ContextSensitiveHelp(BOOL fEnterMode) override;

private:
    CCheckBoxAccessible(HWND hBox, HWND hLabel, IAccessible* pStandard);
    virtual ~CCheckBoxAccessible();
    CCheckBoxAccessible(const CCheckBoxAccessible&) = delete;
    CCheckBoxAccessible& operator=(const CCheckBoxAccessible&) = delete;

    // The box itself is child 0; it has no children of its own.
    static bool IsSelf(const VARIANT& varChild);

    LONG m_cRef = 1;
    HWND m_hBox;
    HWND m_hLabel;
    IAccessible* m_pStandard;   // owned reference
};
