#include "COleControlSite.h"

#include <shlwapi.h>

#include <atomic>

#include "CWinApp.h"
#include "DialogTemplate.h"

namespace {

// Template whose initialisation data the hosts created on a thread read, 0 for none: kept
// in one slot of the system's thread-local storage, made on first use and held while the
// program runs (the compiler's emulated thread_local would bring the runtime's threads
// library into the program).
DWORD TemplateSlot()
{
    static std::atomic<DWORD> s_slot{TLS_OUT_OF_INDEXES};
    DWORD slot = s_slot.load();
    if (slot == TLS_OUT_OF_INDEXES) {
        const DWORD fresh = ::TlsAlloc();
        if (s_slot.compare_exchange_strong(slot, fresh))
            slot = fresh;
        else if (fresh != TLS_OUT_OF_INDEXES)
            ::TlsFree(fresh);   // another thread made one first: slot now holds it
    }
    return slot;
}

UINT TemplateOfThread()
{
    const DWORD slot = TemplateSlot();
    return slot == TLS_OUT_OF_INDEXES ? 0 : UINT(reinterpret_cast<UINT_PTR>(::TlsGetValue(slot)));
}

// Passed as the creation parameter by CreateHostWindow: this host belongs to no template.
const char kNoTemplate = 0;

// The class id a host window is named after.
bool ClassIdOfWindow(HWND hWnd, CLSID* pClsid)
{
    char szClass[kMaxClassName + 1];
    WCHAR wszClass[kMaxClassName + 1];
    if (!::GetClassNameA(hWnd, szClass, sizeof(szClass)) ||
        !::MultiByteToWideChar(CP_ACP, 0, szClass, -1, wszClass, kMaxClassName + 1))
        return false;
    return SUCCEEDED(::CLSIDFromString(wszClass, pClsid));
}

template <typename T>
void ReleaseAndClear(T*& p)
{
    if (p) {
        T* pOld = p;
        p = nullptr;   // cleared first: Release may call back into the site
        pOld->Release();
    }
}

}  // namespace

// ---- host window ----------------------------------------------------------------------

bool COleControlSite::RegisterHostClass(const char* pszClassName)
{
    HINSTANCE hInst = ::GetModuleHandleA(nullptr);
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof(wc);
    if (::GetClassInfoExA(hInst, pszClassName, &wc))
        return wc.lpfnWndProc == &COleControlSite::HostWndProc;
    wc.style = CS_GLOBALCLASS;   // the dialog manager creates it with the dialog's instance
    wc.lpfnWndProc = &COleControlSite::HostWndProc;
    wc.cbWndExtra = sizeof(COleControlSite*);
    wc.hInstance = hInst;
    wc.hCursor = ::LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));   // IDC_ARROW
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = pszClassName;
    return ::RegisterClassExA(&wc) != 0;
}

void COleControlSite::PrepareTemplate(const void* pTemplate, UINT nIDTemplate)
{
    const DWORD slot = TemplateSlot();
    if (slot != TLS_OUT_OF_INDEXES)
        ::TlsSetValue(slot, reinterpret_cast<void*>(static_cast<UINT_PTR>(nIDTemplate)));
    if (pTemplate)
        ForEachClassIdItem(pTemplate, [](const char* pszClassName) { RegisterHostClass(pszClassName); });
}

HWND COleControlSite::CreateHostWindow(REFCLSID clsid, const char* pszWindowName, DWORD dwStyle, const RECT& rect,
                                       HWND hWndParent, UINT nID)
{
    WCHAR wszClass[64];
    char szClass[64];
    if (!::StringFromGUID2(clsid, wszClass, 64) ||
        !::WideCharToMultiByte(CP_ACP, 0, wszClass, -1, szClass, sizeof(szClass), nullptr, nullptr) ||
        !RegisterHostClass(szClass))
        return nullptr;
    HMENU hMenu = (dwStyle & WS_CHILD) ? reinterpret_cast<HMENU>(static_cast<UINT_PTR>(nID)) : nullptr;
    HWND hWnd = ::CreateWindowExA(0, szClass, pszWindowName, dwStyle, rect.left, rect.top, rect.right - rect.left,
                                  rect.bottom - rect.top, hWndParent, hMenu, ::GetModuleHandleA(nullptr),
                                  const_cast<char*>(&kNoTemplate));
    if (hWnd && !FromHostWindow(hWnd)->GetControlUnknown()) {
        ::DestroyWindow(hWnd);
        return nullptr;
    }
    return hWnd;
}

COleControlSite* COleControlSite::FromHostWindow(HWND hWnd)
{
    // The class procedure stays ours when a CWnd subclasses the host.
    if (!hWnd || reinterpret_cast<WNDPROC>(::GetClassLongPtrA(hWnd, GCLP_WNDPROC)) != &COleControlSite::HostWndProc)
        return nullptr;
    return reinterpret_cast<COleControlSite*>(::GetWindowLongPtrA(hWnd, 0));
}

LRESULT CALLBACK COleControlSite::HostWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    COleControlSite* pSite = reinterpret_cast<COleControlSite*>(::GetWindowLongPtrA(hWnd, 0));
    switch (message) {
    case WM_CREATE: {
        // A control that cannot be made leaves an empty host: the dialog still works.
        const CREATESTRUCTA* pcs = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        pSite = new COleControlSite(hWnd);
        ::SetWindowLongPtrA(hWnd, 0, reinterpret_cast<LONG_PTR>(pSite));
        const BYTE* pState = nullptr;
        DWORD cbState = 0;
        const UINT nTemplateId = TemplateOfThread();
        if (pcs->lpCreateParams != &kNoTemplate && nTemplateId)
            FindPersistedState(nTemplateId, UINT(::GetDlgCtrlID(hWnd)), &pState, &cbState);
        CLSID clsid;
        if (ClassIdOfWindow(hWnd, &clsid))
            pSite->CreateControl(clsid, pState, cbState);
        return 0;
    }
    case WM_SIZE:
        if (pSite)
            pSite->OnHostSize();
        break;
    case WM_SETFOCUS:
        if (pSite)
            pSite->OnHostFocus();
        return 0;
    case WM_DESTROY:
        if (pSite) {
            ::SetWindowLongPtrA(hWnd, 0, 0);
            pSite->DestroyControl();
            pSite->Release();
        }
        return 0;
    default:
        break;
    }
    return ::DefWindowProcA(hWnd, message, wParam, lParam);
}

// ---- the control's life ---------------------------------------------------------------

COleControlSite::~COleControlSite()
{
    DestroyControl();   // nothing left to do unless the host vanished without WM_DESTROY
    ReleaseAndClear(m_pServices);
}

void COleControlSite::SetServiceProvider(IServiceProvider* pServices)
{
    if (pServices)
        pServices->AddRef();
    ReleaseAndClear(m_pServices);
    m_pServices = pServices;
}

bool COleControlSite::ConnectEvents(REFIID riidEvents, IUnknown* pSink)
{
    DisconnectEvents();
    IConnectionPointContainer* pContainer = nullptr;
    if (!m_pObject || !pSink ||
        FAILED(m_pObject->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&pContainer))))
        return false;
    IConnectionPoint* pPoint = nullptr;
    const HRESULT hr = pContainer->FindConnectionPoint(riidEvents, &pPoint);
    pContainer->Release();
    if (FAILED(hr))
        return false;
    if (FAILED(pPoint->Advise(pSink, &m_dwEventsCookie))) {
        m_dwEventsCookie = 0;
        pPoint->Release();
        return false;
    }
    m_pEvents = pPoint;
    return true;
}

void COleControlSite::DisconnectEvents()
{
    if (m_pEvents)
        m_pEvents->Unadvise(m_dwEventsCookie);
    m_dwEventsCookie = 0;
    ReleaseAndClear(m_pEvents);
}

bool COleControlSite::CreateControl(REFCLSID clsid, const BYTE* pState, DWORD cbState)
{
    IOleObject* pObject = nullptr;
    if (FAILED(::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                                  reinterpret_cast<void**>(&pObject))))
        return false;
    m_pObject = pObject;

    // Some controls need their site before their state, the others after it.
    DWORD dwMisc = 0;
    pObject->GetMiscStatus(DVASPECT_CONTENT, &dwMisc);
    const bool bSiteFirst = (dwMisc & OLEMISC_SETCLIENTSITEFIRST) != 0;
    if (bSiteFirst)
        pObject->SetClientSite(this);
    InitialiseState(pObject, pState, cbState);
    if (!bSiteFirst)
        pObject->SetClientSite(this);

    pObject->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&m_pInPlaceObject));
    pObject->QueryInterface(IID_IOleInPlaceActiveObject, reinterpret_cast<void**>(&m_pActiveObject));
    pObject->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&m_pDispatch));

    // Active in place, not yet UI-active: the control shows itself without taking the
    // focus from the dialog; it becomes UI-active when its host gets the focus.
    RECT rc = HostRect();
    pObject->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, this, 0, m_hWnd, &rc);
    return true;
}

void COleControlSite::InitialiseState(IOleObject* pObject, const BYTE* pState, DWORD cbState)
{
    IPersistStreamInit* pPersist = nullptr;
    if (FAILED(pObject->QueryInterface(IID_IPersistStreamInit, reinterpret_cast<void**>(&pPersist))))
        return;
    bool bLoaded = false;
    if (pState) {
        IStream* pStream = ::SHCreateMemStream(pState, UINT(cbState));
        if (pStream) {
            bLoaded = SUCCEEDED(pPersist->Load(pStream));
            pStream->Release();
        }
    }
    // State that cannot be read is no reason to leave the control uninitialised.
    if (!bLoaded)
        pPersist->InitNew();
    pPersist->Release();
}

void COleControlSite::DestroyControl()
{
    if (!m_pObject) {
        m_hWnd = nullptr;
        return;
    }
    AddRef();   // the control's last releases of the site must not end it under us
    DisconnectEvents();
    if (m_pInPlaceObject) {
        if (m_bUIActive)
            m_pInPlaceObject->UIDeactivate();
        m_pInPlaceObject->InPlaceDeactivate();
    }
    m_hWnd = nullptr;   // from now on the control cannot activate again
    m_pObject->Close(OLECLOSE_NOSAVE);
    m_pObject->SetClientSite(nullptr);
    ReleaseAndClear(m_pUIActiveObject);
    ReleaseAndClear(m_pActiveObject);
    ReleaseAndClear(m_pDispatch);
    ReleaseAndClear(m_pInPlaceObject);
    ReleaseAndClear(m_pObject);
    Release();
}

RECT COleControlSite::HostRect() const
{
    RECT rc = {};
    if (m_hWnd)
        ::GetClientRect(m_hWnd, &rc);
    return rc;
}

void COleControlSite::OnHostSize()
{
    if (m_pInPlaceObject && m_hWnd) {
        const RECT rc = HostRect();
        m_pInPlaceObject->SetObjectRects(&rc, &rc);
    }
}

void COleControlSite::OnHostFocus()
{
    // The focus belongs inside the control: make it the active one.
    if (m_pObject && m_hWnd && !m_bUIActive) {
        RECT rc = HostRect();
        m_pObject->DoVerb(OLEIVERB_UIACTIVATE, nullptr, this, 0, m_hWnd, &rc);
    }
}

IOleInPlaceActiveObject* COleControlSite::GetActiveObject() const
{
    return m_pUIActiveObject ? m_pUIActiveObject : m_pActiveObject;
}

BOOL COleControlSite::PreTranslateMessage(MSG* pMsg)
{
    if (pMsg->message < WM_KEYFIRST || pMsg->message > WM_KEYLAST)
        return FALSE;
    IOleInPlaceActiveObject* pActive = GetActiveObject();
    if (!pActive)
        return FALSE;
    pActive->AddRef();   // the control may close itself while it handles the key
    const HRESULT hr = pActive->TranslateAccelerator(pMsg);
    pActive->Release();
    return hr == S_OK;
}

// ---- IUnknown -------------------------------------------------------------------------

STDMETHODIMP COleControlSite::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IOleClientSite)
        *ppv = static_cast<IOleClientSite*>(this);
    else if (riid == IID_IOleWindow || riid == IID_IOleInPlaceSite)
        *ppv = static_cast<IOleInPlaceSite*>(this);
    else if (riid == IID_IOleControlSite)
        *ppv = static_cast<IOleControlSite*>(this);
    else if (riid == IID_IServiceProvider && m_pServices)
        *ppv = static_cast<IServiceProvider*>(this);
    else {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) COleControlSite::AddRef()
{
    return ULONG(::InterlockedIncrement(&m_cRef));
}

STDMETHODIMP_(ULONG) COleControlSite::Release()
{
    const LONG cRef = ::InterlockedDecrement(&m_cRef);
    if (cRef == 0)
        delete this;
    return ULONG(cRef);
}

// ---- IServiceProvider -------------------------------------------------------------------

STDMETHODIMP COleControlSite::QueryService(REFGUID guidService, REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    return m_pServices ? m_pServices->QueryService(guidService, riid, ppv) : E_NOINTERFACE;
}

// ---- IOleWindow, IOleClientSite, IOleInPlaceSite, IOleControlSite ----------------------

STDMETHODIMP COleControlSite::GetWindow(HWND* phwnd)
{
    if (!phwnd)
        return E_POINTER;
    *phwnd = m_hWnd;
    return m_hWnd ? S_OK : E_FAIL;
}

STDMETHODIMP COleControlSite::GetMoniker(DWORD, DWORD, IMoniker** ppmk)
{
    if (ppmk)
        *ppmk = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP COleControlSite::GetContainer(IOleContainer** ppContainer)
{
    if (ppContainer)
        *ppContainer = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP COleControlSite::OnUIActivate()
{
    m_bUIActive = true;
    return S_OK;
}

STDMETHODIMP COleControlSite::OnUIDeactivate(BOOL)
{
    m_bUIActive = false;
    return S_OK;
}

STDMETHODIMP COleControlSite::DeactivateAndUndo()
{
    if (m_pInPlaceObject)
        m_pInPlaceObject->UIDeactivate();
    return S_OK;
}

STDMETHODIMP COleControlSite::GetWindowContext(IOleInPlaceFrame** ppFrame, IOleInPlaceUIWindow** ppDoc,
                                               LPRECT prcPosRect, LPRECT prcClipRect,
                                               LPOLEINPLACEFRAMEINFO pFrameInfo)
{
    if (!ppFrame || !ppDoc || !prcPosRect || !prcClipRect || !pFrameInfo)
        return E_POINTER;
    *ppFrame = &m_frame;
    m_frame.AddRef();
    *ppDoc = nullptr;   // no document window between the control and the frame
    *prcPosRect = HostRect();
    *prcClipRect = *prcPosRect;
    pFrameInfo->fMDIApp = FALSE;
    pFrameInfo->hwndFrame = m_hWnd ? ::GetAncestor(m_hWnd, GA_ROOT) : nullptr;
    pFrameInfo->haccel = nullptr;
    pFrameInfo->cAccelEntries = 0;
    return S_OK;
}

STDMETHODIMP COleControlSite::GetExtendedControl(IDispatch** ppDisp)
{
    if (ppDisp)
        *ppDisp = nullptr;
    return E_NOTIMPL;
}

// ---- the frame ------------------------------------------------------------------------

STDMETHODIMP COleControlSite::CFrame::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IOleWindow || riid == IID_IOleInPlaceUIWindow ||
        riid == IID_IOleInPlaceFrame) {
        *ppv = static_cast<IOleInPlaceFrame*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP COleControlSite::CFrame::GetWindow(HWND* phwnd)
{
    if (!phwnd)
        return E_POINTER;
    *phwnd = m_pSite->m_hWnd ? ::GetAncestor(m_pSite->m_hWnd, GA_ROOT) : nullptr;
    return *phwnd ? S_OK : E_FAIL;
}

STDMETHODIMP COleControlSite::CFrame::SetBorderSpace(LPCBORDERWIDTHS pWidths)
{
    // The control may ask for no tools; any tool space is more than a dialog has.
    return pWidths ? INPLACE_E_NOTOOLSPACE : S_OK;
}

STDMETHODIMP COleControlSite::CFrame::SetActiveObject(IOleInPlaceActiveObject* pActiveObject, LPCOLESTR)
{
    if (pActiveObject)
        pActiveObject->AddRef();
    ReleaseAndClear(m_pSite->m_pUIActiveObject);
    m_pSite->m_pUIActiveObject = pActiveObject;
    return S_OK;
}
