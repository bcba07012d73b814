#include "WebBrowser2.h"

#include <urlmon.h>

#include "COleControlSite.h"

namespace {

// The WebBrowser control, {8856F961-340A-11D0-A96B-00C04FD705A2}.
const CLSID kClsidWebBrowser = {0x8856F961, 0x340A, 0x11D0, {0xA9, 0x6B, 0x00, 0xC0, 0x4F, 0xD7, 0x05, 0xA2}};
const DISPID kDispIdNavigate = 0x68;

// The answer to every certificate problem of a page: do not load it. One object serves
// every browser; it holds no state, so its references need no counting.
class CertificateRefusal final : public IServiceProvider, public IHttpSecurity {
public:
    // IUnknown (the two interfaces share this one object)
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IServiceProvider)
            *ppv = static_cast<IServiceProvider*>(this);
        else if (riid == IID_IHttpSecurity || riid == IID_IWindowForBindingUI)
            *ppv = static_cast<IHttpSecurity*>(this);
        else {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    // IServiceProvider: only the question about security problems is answered here.
    STDMETHODIMP QueryService(REFGUID guidService, REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        *ppv = nullptr;
        if (guidService != IID_IHttpSecurity)
            return E_NOINTERFACE;
        return QueryInterface(riid, ppv);
    }
    // IWindowForBindingUI: no window to ask the user in.
    STDMETHODIMP GetWindow(REFGUID, HWND* phwnd) override
    {
        if (phwnd)
            *phwnd = nullptr;
        return S_FALSE;
    }
    // IHttpSecurity: the page is not loaded, as if its server could not be reached.
    STDMETHODIMP OnSecurityProblem(DWORD) override { return E_ABORT; }
};

IServiceProvider* CertificateRefusalService()
{
    static CertificateRefusal refusal;
    return &refusal;
}

}  // namespace

static_assert(sizeof(CWebBrowser2) == sizeof(CWnd), "the browser window keeps no state of its own");

const CRuntimeClass CWebBrowser2::classCWebBrowser2 = {
    "CWebBrowser2", int(sizeof(CWnd)), 0xFFFF, []() -> CWnd* { return new CWebBrowser2; }, &CWnd::classCWnd};

const CRuntimeClass* CWebBrowser2::GetRuntimeClass() const
{
    return &classCWebBrowser2;
}

BOOL CWebBrowser2::Create(const char*, const char* pszWindowName, DWORD dwStyle, const RECT& rect, CWnd* pParentWnd,
                          UINT nID)
{
    return CreateControl(kClsidWebBrowser, pszWindowName, dwStyle, rect, pParentWnd, nID);
}

void CWebBrowser2::RefuseCertificateProblems()
{
    if (COleControlSite* pSite = COleControlSite::FromHostWindow(m_hWnd))
        pSite->SetServiceProvider(CertificateRefusalService());
}

void CWebBrowser2::Navigate(const char* pszURL, VARIANT* pvarFlags, VARIANT* pvarTargetFrameName,
                            VARIANT* pvarPostData, VARIANT* pvarHeaders)
{
    static const BYTE kParams[] = VTS_BSTR VTS_PVARIANT VTS_PVARIANT VTS_PVARIANT VTS_PVARIANT;
    if (SUCCEEDED(InvokeHelper(kDispIdNavigate, DISPATCH_METHOD, VT_EMPTY, nullptr, kParams, pszURL, pvarFlags,
                               pvarTargetFrameName, pvarPostData, pvarHeaders)))
        SetWindowText(pszURL);
}
