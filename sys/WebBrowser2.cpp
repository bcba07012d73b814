#include "WebBrowser2.h"

#include <exdisp.h>
#include <exdispid.h>
#include <urlmon.h>

#include <vector>

#include "COleControlSite.h"
#include "ProgramAddress.h"

namespace {

// The WebBrowser control, {8856F961-340A-11D0-A96B-00C04FD705A2}.
const CLSID kClsidWebBrowser = {0x8856F961, 0x340A, 0x11D0, {0xA9, 0x6B, 0x00, 0xC0, 0x4F, 0xD7, 0x05, 0xA2}};
const DISPID kDispIdNavigate = 0x68;
// Set on the host window while the guard has cancelled a navigation that Navigate asked for.
const char kRefusedProperty[] = "MELVORA.NavigationRefused";

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

// The browser's events (DWebBrowserEvents2), of which it answers four: BeforeNavigate2,
// to cancel a navigation of the browser itself to anything but a web page and any
// navigation to an address that names a program; FileDownload, to cancel every download
// a page starts (the setup runs elevated: "open" would run the file with its rights);
// and NewWindow2 and NewWindow3, to cancel every new window. One object per browser,
// owned by the browser's connection to it.
class WebPagesOnly final : public IDispatch {
public:
    WebPagesOnly(IUnknown* pBrowser, HWND hHost, bool bHttpsOnly)
        : m_pBrowser(pBrowser), m_hHost(hHost), m_bHttpsOnly(bHttpsOnly)
    {
    }

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        if (riid != IID_IUnknown && riid != IID_IDispatch && riid != DIID_DWebBrowserEvents2) {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        *ppv = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ULONG(::InterlockedIncrement(&m_cRef)); }
    STDMETHODIMP_(ULONG) Release() override
    {
        const LONG cRef = ::InterlockedDecrement(&m_cRef);
        if (cRef == 0)
            delete this;
        return ULONG(cRef);
    }
    // IDispatch: events come by dispatch id; no type information is offered.
    STDMETHODIMP GetTypeInfoCount(UINT* pctinfo) override
    {
        if (pctinfo)
            *pctinfo = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID dispid, REFIID, LCID, WORD, DISPPARAMS* pParams, VARIANT*, EXCEPINFO*, UINT*) override
    {
        if (!pParams)
            return S_OK;
        // Arguments come last first: BeforeNavigate2(browser, URL, flags, frame, post data,
        // headers, cancel), FileDownload(active document, cancel), NewWindow2(window,
        // cancel), NewWindow3(window, cancel, flags, context URL, URL).
        if (dispid == DISPID_BEFORENAVIGATE2 && pParams->cArgs == 7) {
            const CString url = AddressOf(pParams->rgvarg[5]);
            const bool bOwn = IsThisBrowser(pParams->rgvarg[6]);
            if ((bOwn && !IsWebPage(url)) || IsProgramAddress(url))
                Refuse(pParams->rgvarg[0], url);
            else if (bOwn)
                m_lastPage = url;
        } else if (dispid == DISPID_FILEDOWNLOAD && pParams->cArgs == 2) {
            // A document the browser shows itself comes this way too: only a file goes.
            const VARIANT& document = pParams->rgvarg[1];
            if (document.vt != VT_BOOL || document.boolVal == VARIANT_FALSE)
                Cancel(pParams->rgvarg[0]);
        } else if (dispid == DISPID_NEWWINDOW2 && pParams->cArgs == 2) {
            Cancel(pParams->rgvarg[0]);
        } else if (dispid == DISPID_NEWWINDOW3 && pParams->cArgs == 5) {
            Cancel(pParams->rgvarg[3]);
        }
        return S_OK;
    }

private:
    ~WebPagesOnly() = default;

    static void Cancel(const VARIANT& cancel)
    {
        if (cancel.vt == (VT_BOOL | VT_BYREF) && cancel.pboolVal)
            *cancel.pboolVal = VARIANT_TRUE;
    }

    // Whether the navigation is the browser's own: a frame inside a page comes as the
    // frame's browser object. Compared as COM identities.
    bool IsThisBrowser(const VARIANT& browser) const
    {
        if (browser.vt != VT_DISPATCH || !browser.pdispVal)
            return false;
        IUnknown* pIdentity = nullptr;
        if (FAILED(browser.pdispVal->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&pIdentity))))
            return false;
        const bool bSame = pIdentity == m_pBrowser;
        pIdentity->Release();
        return bSame;
    }

    // A navigation's address in the program's code page; empty when it holds none.
    static CString AddressOf(const VARIANT& url)
    {
        const VARIANT* pUrl = url.vt == (VT_VARIANT | VT_BYREF) ? url.pvarVal : &url;
        const BSTR text = pUrl && pUrl->vt == VT_BSTR ? pUrl->bstrVal : nullptr;
        const int cb = text ? ::WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr) : 0;
        if (cb <= 0)
            return CString();
        std::vector<char> address(size_t(cb), '\0');
        ::WideCharToMultiByte(CP_ACP, 0, text, -1, address.data(), cb, nullptr, nullptr);
        return CString(address.data());
    }

    // The address is an http or https URL (https only, when so asked): nothing else.
    bool IsWebPage(const CString& url) const
    {
        return url.Left(8).CompareNoCase("https://") == 0 || (!m_bHttpsOnly && url.Left(7).CompareNoCase("http://") == 0);
    }

    // Cancels a navigation. Navigate marks its host's text with the address it asked for:
    // a browser that asks its guard later (Wine's does) finds the refused address there,
    // which then gives way to the page still shown.
    void Refuse(const VARIANT& cancel, const CString& url)
    {
        Cancel(cancel);
        ::SetPropA(m_hHost, kRefusedProperty, reinterpret_cast<HANDLE>(1));
        const int cch = ::GetWindowTextLengthA(m_hHost);
        std::vector<char> text(size_t(cch > 0 ? cch : 0) + 1, '\0');
        ::GetWindowTextA(m_hHost, text.data(), int(text.size()));
        if (url == text.data())
            ::SetWindowTextA(m_hHost, m_lastPage);
    }

    LONG m_cRef = 1;
    IUnknown* m_pBrowser;   // the browser's identity, unreferenced: the browser holds this guard
    const HWND m_hHost;     // the browser's host window
    const bool m_bHttpsOnly;
    CString m_lastPage;     // the last address of the browser itself that was let through
};

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

void CWebBrowser2::KeepToWebPages(bool bHttpsOnly)
{
    COleControlSite* pSite = COleControlSite::FromHostWindow(m_hWnd);
    IUnknown* pControl = pSite ? pSite->GetControlUnknown() : nullptr;
    IUnknown* pIdentity = nullptr;
    if (!pControl || FAILED(pControl->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&pIdentity))))
        return;
    WebPagesOnly* pGuard = new WebPagesOnly(pIdentity, m_hWnd, bHttpsOnly);
    pIdentity->Release();   // the guard compares with it; the site holds the browser
    pSite->ConnectEvents(DIID_DWebBrowserEvents2, static_cast<IDispatch*>(pGuard));
    pGuard->Release();      // the connection holds it from now on
}

void CWebBrowser2::Navigate(const char* pszURL, VARIANT* pvarFlags, VARIANT* pvarTargetFrameName,
                            VARIANT* pvarPostData, VARIANT* pvarHeaders)
{
    static const BYTE kParams[] = VTS_BSTR VTS_PVARIANT VTS_PVARIANT VTS_PVARIANT VTS_PVARIANT;
    ::RemovePropA(m_hWnd, kRefusedProperty);
    const bool bTaken = SUCCEEDED(InvokeHelper(kDispIdNavigate, DISPATCH_METHOD, VT_EMPTY, nullptr, kParams, pszURL,
                                               pvarFlags, pvarTargetFrameName, pvarPostData, pvarHeaders));
    // The control takes a navigation that its guard then cancels: the window keeps
    // naming the page that is still shown.
    if (::RemovePropA(m_hWnd, kRefusedProperty) == nullptr && bTaken)
        SetWindowText(pszURL);
}
