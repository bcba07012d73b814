// ActiveX controls in dialogs and windows, and the wizard's embedded browser.
//
// Two kinds of control are hosted here: Wine's real WebBrowser control (in-place
// activation, navigation, release), and a recording control registered by this test
// under a class id of its own, which tells what the host handed it (persisted state,
// call order, dispatch arguments, keys) where the real control cannot.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <ole2.h>
#include <ocidl.h>
#include <olectl.h>
#include <exdisp.h>
#include <exdispid.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "CDataExchange.h"
#include "CDialog.h"
#include "COleControlSite.h"
#include "CWinApp.h"
#include "res/resource.h"
#include "support/PublisherControl.h"
#include "support/TestUtil.h"
#include "sys/WebBrowser2.h"

namespace {

const char kWebBrowserClass[] = "{8856F961-340A-11D0-A96B-00C04FD705A2}";
const CLSID kRecorderClsid = {0x6D1E8A52, 0x3C0B, 0x4F7E, {0x9B, 0x41, 0x2A, 0x8C, 0x5E, 0x7F, 0x0D, 0x13}};
// The same control under class ids that only one template each names, so that a host
// class registered elsewhere cannot hide a template the host classes were missed in.
const CLSID kPlainTemplateClsid = {0x6D1E8A52, 0x3C0B, 0x4F7E, {0x9B, 0x41, 0x2A, 0x8C, 0x5E, 0x7F, 0x0D, 0x21}};
const wchar_t kPlainTemplateClass[] = L"{6D1E8A52-3C0B-4F7E-9B41-2A8C5E7F0D21}";
const CLSID kExtendedTemplateClsid = {0x6D1E8A52, 0x3C0B, 0x4F7E, {0x9B, 0x41, 0x2A, 0x8C, 0x5E, 0x7F, 0x0D, 0x22}};
const wchar_t kExtendedTemplateClass[] = L"{6D1E8A52-3C0B-4F7E-9B41-2A8C5E7F0D22}";
const wchar_t kUnknownClass[] = L"{6D1E8A52-3C0B-4F7E-9B41-2A8C5E7F0DFF}";

// ---- the recording control ------------------------------------------------------------

struct ControlLog {
    std::vector<std::string> calls;
    std::string state;            // what Load read from its stream
    HWND hostWindow = nullptr;    // the in-place site's window
    HWND ownWindow = nullptr;     // the control's own window inside it
    RECT objectRect = {};         // last SetObjectRects
    std::vector<WPARAM> keys;     // key messages offered to TranslateAccelerator
    DISPID dispid = 0;            // last Invoke
    WORD flags = 0;
    bool askedForResult = false;
    std::vector<VARIANTARG> args;
    std::wstring text;            // the BSTR among the arguments
};

struct Recorder {
    std::vector<std::shared_ptr<ControlLog>> logs;   // one per control made
    int liveControls = 0;
    HRESULT invokeResult = S_OK;
    HRESULT acceleratorResult = S_FALSE;
    IDispatch* pEvents = nullptr;   // the one events sink a control let connect (unreferenced here)
    bool lastNavigateCancelled = false;

    std::shared_ptr<ControlLog> ForHost(HWND hWnd) const
    {
        for (const auto& log : logs)
            if (log->hostWindow == hWnd)
                return log;
        return nullptr;
    }
} g_recorder;

class RecordingControl : public IOleObject, public IOleInPlaceObject, public IOleInPlaceActiveObject,
                         public IPersistStreamInit, public IDispatch, public IConnectionPointContainer {
public:
    RecordingControl() : m_log(std::make_shared<ControlLog>())
    {
        g_recorder.logs.push_back(m_log);
        ++g_recorder.liveControls;
    }
    virtual ~RecordingControl()
    {
        m_point.Unadvise(1);
        --g_recorder.liveControls;
    }

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (riid == IID_IUnknown || riid == IID_IOleObject)
            *ppv = static_cast<IOleObject*>(this);
        else if (riid == IID_IOleInPlaceObject || riid == IID_IOleWindow)
            *ppv = static_cast<IOleInPlaceObject*>(this);
        else if (riid == IID_IOleInPlaceActiveObject)
            *ppv = static_cast<IOleInPlaceActiveObject*>(this);
        else if (riid == IID_IPersistStreamInit)
            *ppv = static_cast<IPersistStreamInit*>(this);
        else if (riid == IID_IDispatch)
            *ppv = static_cast<IDispatch*>(this);
        else if (riid == IID_IConnectionPointContainer)
            *ppv = static_cast<IConnectionPointContainer*>(this);
        else {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_cRef; }
    STDMETHODIMP_(ULONG) Release() override
    {
        const ULONG cRef = --m_cRef;
        if (cRef == 0)
            delete this;
        return cRef;
    }

    // IOleObject
    STDMETHODIMP SetClientSite(IOleClientSite* pSite) override
    {
        m_log->calls.push_back(pSite ? "SetClientSite" : "SetClientSite(null)");
        if (pSite)
            pSite->AddRef();
        if (m_pSite)
            m_pSite->Release();
        m_pSite = pSite;
        return S_OK;
    }
    STDMETHODIMP GetClientSite(IOleClientSite**) override { return E_NOTIMPL; }
    STDMETHODIMP SetHostNames(LPCOLESTR, LPCOLESTR) override { return S_OK; }
    STDMETHODIMP Close(DWORD dwSaveOption) override
    {
        m_log->calls.push_back(dwSaveOption == OLECLOSE_NOSAVE ? "Close(nosave)" : "Close");
        return S_OK;
    }
    STDMETHODIMP SetMoniker(DWORD, IMoniker*) override { return E_NOTIMPL; }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
    STDMETHODIMP InitFromData(IDataObject*, BOOL, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP GetClipboardData(DWORD, IDataObject**) override { return E_NOTIMPL; }
    STDMETHODIMP DoVerb(LONG iVerb, LPMSG, IOleClientSite* pActiveSite, LONG, HWND, LPCRECT) override
    {
        m_log->calls.push_back(iVerb == OLEIVERB_UIACTIVATE ? "UIActivate" : "DoVerb");
        if (!m_pInPlaceSite && FAILED(Activate(pActiveSite)))
            return E_FAIL;
        if (iVerb == OLEIVERB_UIACTIVATE && !m_bUIActive) {
            m_bUIActive = true;
            m_pInPlaceSite->OnUIActivate();
            m_pFrame->SetActiveObject(this, L"recorder");
        }
        return S_OK;
    }
    STDMETHODIMP EnumVerbs(IEnumOLEVERB**) override { return E_NOTIMPL; }
    STDMETHODIMP Update() override { return S_OK; }
    STDMETHODIMP IsUpToDate() override { return S_OK; }
    STDMETHODIMP GetUserClassID(CLSID* pClsid) override { return GetClassID(pClsid); }
    STDMETHODIMP GetUserType(DWORD, LPOLESTR*) override { return E_NOTIMPL; }
    STDMETHODIMP SetExtent(DWORD, SIZEL*) override { return E_NOTIMPL; }
    STDMETHODIMP GetExtent(DWORD, SIZEL*) override { return E_NOTIMPL; }
    STDMETHODIMP Advise(IAdviseSink*, DWORD*) override { return E_NOTIMPL; }
    STDMETHODIMP Unadvise(DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP EnumAdvise(IEnumSTATDATA**) override { return E_NOTIMPL; }
    STDMETHODIMP GetMiscStatus(DWORD, DWORD* pdwStatus) override
    {
        *pdwStatus = OLEMISC_SETCLIENTSITEFIRST;
        return S_OK;
    }
    STDMETHODIMP SetColorScheme(LOGPALETTE*) override { return E_NOTIMPL; }

    // IOleWindow, IOleInPlaceObject, IOleInPlaceActiveObject
    STDMETHODIMP GetWindow(HWND* phwnd) override
    {
        *phwnd = m_log->ownWindow;
        return S_OK;
    }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP InPlaceDeactivate() override
    {
        m_log->calls.push_back("InPlaceDeactivate");
        if (!m_pInPlaceSite)
            return S_OK;
        UIDeactivate();
        ::DestroyWindow(m_log->ownWindow);
        m_pInPlaceSite->OnInPlaceDeactivate();
        m_pFrame->Release();
        m_pInPlaceSite->Release();
        m_pFrame = nullptr;
        m_pInPlaceSite = nullptr;
        return S_OK;
    }
    STDMETHODIMP UIDeactivate() override
    {
        if (m_bUIActive) {
            m_log->calls.push_back("UIDeactivate");
            m_bUIActive = false;
            m_pFrame->SetActiveObject(nullptr, nullptr);
            m_pInPlaceSite->OnUIDeactivate(FALSE);
        }
        return S_OK;
    }
    STDMETHODIMP SetObjectRects(LPCRECT prcPos, LPCRECT) override
    {
        m_log->objectRect = *prcPos;
        return S_OK;
    }
    STDMETHODIMP ReactivateAndUndo() override { return E_NOTIMPL; }
    STDMETHODIMP TranslateAccelerator(LPMSG pMsg) override
    {
        m_log->keys.push_back(pMsg->wParam);
        return g_recorder.acceleratorResult;
    }
    STDMETHODIMP OnFrameWindowActivate(BOOL) override { return S_OK; }
    STDMETHODIMP OnDocWindowActivate(BOOL) override { return S_OK; }
    STDMETHODIMP ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override { return S_OK; }
    STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }

    // IPersistStreamInit
    STDMETHODIMP GetClassID(CLSID* pClsid) override
    {
        *pClsid = kRecorderClsid;
        return S_OK;
    }
    STDMETHODIMP IsDirty() override { return S_FALSE; }
    STDMETHODIMP Load(IStream* pStream) override
    {
        m_log->calls.push_back("Load");
        char chunk[64];
        ULONG cb = 0;
        while (m_log->state.size() < 65536 && SUCCEEDED(pStream->Read(chunk, sizeof chunk, &cb)) && cb > 0)
            m_log->state.append(chunk, cb);
        return S_OK;
    }
    STDMETHODIMP Save(IStream*, BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP GetSizeMax(ULARGE_INTEGER*) override { return E_NOTIMPL; }
    STDMETHODIMP InitNew() override
    {
        m_log->calls.push_back("InitNew");
        return S_OK;
    }

    // IDispatch
    STDMETHODIMP GetTypeInfoCount(UINT* pctinfo) override
    {
        *pctinfo = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID dispid, REFIID, LCID, WORD wFlags, DISPPARAMS* pParams, VARIANT* pResult,
                        EXCEPINFO*, UINT*) override
    {
        m_log->dispid = dispid;
        m_log->flags = wFlags;
        m_log->askedForResult = pResult != nullptr;
        m_log->args.assign(pParams->rgvarg, pParams->rgvarg + pParams->cArgs);
        m_log->text.clear();
        for (const VARIANTARG& v : m_log->args)
            if (v.vt == VT_BSTR && v.bstrVal)
                m_log->text.assign(v.bstrVal, ::SysStringLen(v.bstrVal));
        for (VARIANTARG& v : m_log->args)
            if (v.vt == VT_BSTR)
                v.bstrVal = nullptr;   // the caller frees it after the call
        if (pParams->cNamedArgs != 0)
            m_log->calls.push_back("named arguments");
        // As the browser does, a navigation is offered to the events sink before it starts.
        if (dispid == 0x68 && m_point.pSink && !m_log->text.empty())
            g_recorder.lastNavigateCancelled = FireBeforeNavigate(m_log->text);
        return g_recorder.invokeResult;
    }

    // IConnectionPointContainer: the browser's events, one sink.
    STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints**) override { return E_NOTIMPL; }
    STDMETHODIMP FindConnectionPoint(REFIID riid, IConnectionPoint** ppPoint) override
    {
        *ppPoint = nullptr;
        if (riid != DIID_DWebBrowserEvents2)
            return CONNECT_E_NOCONNECTION;
        *ppPoint = &m_point;
        AddRef();
        return S_OK;
    }

private:
    // The events' connection point, part of the control (its references are the control's).
    class EventsPoint : public IConnectionPoint {
    public:
        explicit EventsPoint(RecordingControl& control) : m_control(control) {}
        IDispatch* pSink = nullptr;

        STDMETHODIMP QueryInterface(REFIID, void** ppv) override
        {
            *ppv = nullptr;
            return E_NOINTERFACE;   // the guard's site asks nothing of it but Advise
        }
        STDMETHODIMP_(ULONG) AddRef() override { return m_control.AddRef(); }
        STDMETHODIMP_(ULONG) Release() override { return m_control.Release(); }
        STDMETHODIMP GetConnectionInterface(IID*) override { return E_NOTIMPL; }
        STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer**) override { return E_NOTIMPL; }
        STDMETHODIMP Advise(IUnknown* pUnkSink, DWORD* pdwCookie) override
        {
            if (pSink || FAILED(pUnkSink->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&pSink))))
                return CONNECT_E_CANNOTCONNECT;
            g_recorder.pEvents = pSink;
            *pdwCookie = 1;
            return S_OK;
        }
        STDMETHODIMP Unadvise(DWORD dwCookie) override
        {
            if (dwCookie != 1 || !pSink)
                return CONNECT_E_NOCONNECTION;
            pSink->Release();
            pSink = nullptr;
            g_recorder.pEvents = nullptr;
            return S_OK;
        }
        STDMETHODIMP EnumConnections(IEnumConnections**) override { return E_NOTIMPL; }

    private:
        RecordingControl& m_control;
    };

    // BeforeNavigate2(this browser, URL, flags, frame, post data, headers, cancel) to the
    // sink; whether it cancelled.
    bool FireBeforeNavigate(const std::wstring& url)
    {
        VARIANT address = {};
        address.vt = VT_BSTR;
        address.bstrVal = ::SysAllocString(url.c_str());
        VARIANT_BOOL cancel = VARIANT_FALSE;
        VARIANTARG args[7] = {};
        args[0].vt = VT_BOOL | VT_BYREF;
        args[0].pboolVal = &cancel;
        args[5].vt = VT_VARIANT | VT_BYREF;
        args[5].pvarVal = &address;
        args[6].vt = VT_DISPATCH;
        args[6].pdispVal = static_cast<IDispatch*>(this);
        DISPPARAMS params = {args, nullptr, 7, 0};
        m_point.pSink->Invoke(DISPID_BEFORENAVIGATE2, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
        ::SysFreeString(address.bstrVal);
        return cancel != VARIANT_FALSE;
    }

    HRESULT Activate(IOleClientSite* pActiveSite)
    {
        IOleClientSite* pSite = pActiveSite ? pActiveSite : m_pSite;
        if (!pSite || FAILED(pSite->QueryInterface(IID_IOleInPlaceSite, reinterpret_cast<void**>(&m_pInPlaceSite))))
            return E_FAIL;
        IOleInPlaceUIWindow* pDoc = nullptr;
        RECT rcPos, rcClip;
        OLEINPLACEFRAMEINFO info = {};
        info.cb = sizeof info;
        if (m_pInPlaceSite->CanInPlaceActivate() != S_OK || FAILED(m_pInPlaceSite->OnInPlaceActivate()) ||
            FAILED(m_pInPlaceSite->GetWindow(&m_log->hostWindow)) ||
            FAILED(m_pInPlaceSite->GetWindowContext(&m_pFrame, &pDoc, &rcPos, &rcClip, &info))) {
            m_pInPlaceSite->Release();
            m_pInPlaceSite = nullptr;
            return E_FAIL;
        }
        if (pDoc)
            pDoc->Release();
        m_log->objectRect = rcPos;
        m_log->ownWindow = ::CreateWindowExA(0, "STATIC", "recorder", WS_CHILD | WS_VISIBLE, rcPos.left, rcPos.top,
                                             rcPos.right - rcPos.left, rcPos.bottom - rcPos.top, m_log->hostWindow,
                                             nullptr, nullptr, nullptr);
        return S_OK;
    }

    ULONG m_cRef = 0;
    std::shared_ptr<ControlLog> m_log;
    EventsPoint m_point{*this};
    IOleClientSite* m_pSite = nullptr;
    IOleInPlaceSite* m_pInPlaceSite = nullptr;
    IOleInPlaceFrame* m_pFrame = nullptr;
    bool m_bUIActive = false;
};

class RecorderFactory : public IClassFactory {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (riid == IID_IUnknown || riid == IID_IClassFactory) {
            *ppv = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP CreateInstance(IUnknown* pOuter, REFIID riid, void** ppv) override
    {
        if (pOuter)
            return CLASS_E_NOAGGREGATION;
        RecordingControl* pControl = new RecordingControl;
        pControl->AddRef();
        const HRESULT hr = pControl->QueryInterface(riid, ppv);
        pControl->Release();
        return hr;
    }
    STDMETHODIMP LockServer(BOOL) override { return S_OK; }
} g_recorderFactory;

// ---- helpers --------------------------------------------------------------------------

// A dialog template built in memory, plain (DLGTEMPLATE) or extended (DLGTEMPLATEEX).
class TemplateBuilder {
public:
    explicit TemplateBuilder(bool bExtended) : m_bExtended(bExtended)
    {
        const DWORD style = WS_POPUP | DS_SETFONT;
        if (m_bExtended) {
            Word(1), Word(0xFFFF), Dword(0), Dword(0), Dword(style);
        } else {
            Dword(style), Dword(0);
        }
        m_countAt = m_words.size();
        Word(0);
        Word(0), Word(0), Word(300), Word(200);   // x, y, cx, cy
        Word(0), Word(0), Text(L"test");          // no menu, the dialog class, a caption
        Word(9);
        if (m_bExtended)
            Word(FW_NORMAL), Word(0);             // weight, italic and character set
        Text(L"Tahoma");
    }
    // An item whose class is a name, or an ordinal when pszClass is null. Creation data
    // of cbExtra bytes (even) and an ordinal title exercise the fields between items.
    void Item(WORD id, const wchar_t* pszClass, WORD classOrdinal = 0, WORD cbExtra = 0, bool bOrdinalTitle = false)
    {
        if (m_words.size() % 2)
            Word(0);   // items start on a DWORD
        const DWORD style = WS_CHILD | WS_VISIBLE;
        if (m_bExtended)
            Dword(0), Dword(0), Dword(style);
        else
            Dword(style), Dword(0);
        Word(10), Word(10), Word(100), Word(40);
        if (m_bExtended)
            Dword(id);
        else
            Word(id);
        if (pszClass)
            Text(pszClass);
        else
            Word(0xFFFF), Word(classOrdinal);
        if (bOrdinalTitle)
            Word(0xFFFF), Word(7);
        else
            Text(L"item");
        Word(cbExtra);
        for (WORD i = 0; i < cbExtra / 2; ++i)
            Word(0x7B7B);   // "{{": must never be taken for a class name
        ++m_words[m_countAt];
    }
    const void* Data()
    {
        m_aligned.assign((m_words.size() + 1) / 2, 0);
        std::memcpy(m_aligned.data(), m_words.data(), m_words.size() * sizeof(WORD));
        return m_aligned.data();
    }

private:
    int Word(WORD w)
    {
        m_words.push_back(w);
        return 0;
    }
    int Dword(DWORD d) { return Word(LOWORD(d)), Word(HIWORD(d)); }
    void Text(const wchar_t* psz)
    {
        do
            Word(WORD(*psz));
        while (*psz++);
    }

    bool m_bExtended;
    size_t m_countAt = 0;
    std::vector<WORD> m_words;
    std::vector<DWORD> m_aligned;
};

INT_PTR CALLBACK PlainDialogProc(HWND, UINT message, WPARAM, LPARAM)
{
    return message == WM_INITDIALOG;
}

std::string ClassOf(HWND hWnd)
{
    char name[300] = {};
    ::GetClassNameA(hWnd, name, sizeof name);
    return name;
}

std::string TextOf(HWND hWnd)
{
    char text[1024] = {};
    ::SendMessageA(hWnd, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
    return text;
}

std::string RectText(const RECT& rc)
{
    return std::to_string(rc.left) + "," + std::to_string(rc.top) + "," + std::to_string(rc.right) + "," +
           std::to_string(rc.bottom);
}

struct ClassSearch {
    const char* pszClass;
    HWND hFound;
};

BOOL CALLBACK MatchClass(HWND hWnd, LPARAM lParam)
{
    auto* search = reinterpret_cast<ClassSearch*>(lParam);
    if (ClassOf(hWnd) != search->pszClass)
        return TRUE;
    search->hFound = hWnd;
    return FALSE;
}

HWND FindDescendant(HWND hParent, const char* pszClass)
{
    ClassSearch search = {pszClass, nullptr};
    ::EnumChildWindows(hParent, &MatchClass, reinterpret_cast<LPARAM>(&search));
    return search.hFound;
}

BOOL CALLBACK CollectVisibleOfThisProcess(HWND hWnd, LPARAM lParam)
{
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hWnd, &pid);
    if (pid == ::GetCurrentProcessId() && ::IsWindowVisible(hWnd))
        reinterpret_cast<std::vector<HWND>*>(lParam)->push_back(hWnd);
    return TRUE;
}

// Visible top-level windows of this process.
std::vector<HWND> VisibleTopLevelWindows()
{
    std::vector<HWND> found;
    ::EnumWindows(&CollectVisibleOfThisProcess, reinterpret_cast<LPARAM>(&found));
    return found;
}

// The control's own idea of where it is (LocationURL, dispatch id 211).
std::wstring LocationOf(IDispatch* pDispatch)
{
    DISPPARAMS none = {};
    VARIANT result;
    ::VariantInit(&result);
    std::wstring url;
    if (SUCCEEDED(pDispatch->Invoke(211, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, &result, nullptr,
                                    nullptr)) &&
        result.vt == VT_BSTR && result.bstrVal)
        url.assign(result.bstrVal, ::SysStringLen(result.bstrVal));
    ::VariantClear(&result);
    return url;
}

// Asks the control itself to navigate (IWebBrowser2::Navigate), as a link or a script in
// a page would, past the wrapper.
void NavigateControl(IDispatch* pDispatch, const wchar_t* pszUrl)
{
    VARIANT url;
    url.vt = VT_BSTR;
    url.bstrVal = ::SysAllocString(pszUrl);
    DISPPARAMS params = {&url, nullptr, 1, 0};
    pDispatch->Invoke(104, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
    ::VariantClear(&url);
}

// References a test keeps on a host's site and control, to prove at the end that the
// host gave all of its own back (each final Release then returns 0).
//
// The real control finishes a navigation in tasks it posts to its thread, and holds
// itself until they have run: messages are pumped until only our references remain,
// a few seconds at most, which a reference the host kept never reaches.
struct HeldReferences {
    COleControlSite* pSite = nullptr;
    IUnknown* pControl = nullptr;

    void Take(HWND hHost)
    {
        pSite = COleControlSite::FromHostWindow(hHost);
        ASSERT_NE(pSite, nullptr);
        pControl = pSite->GetControlUnknown();
        ASSERT_NE(pControl, nullptr);
        pSite->AddRef();
        pControl->AddRef();
    }
    static ULONG CountOf(IUnknown* p)
    {
        p->AddRef();
        return p->Release();
    }
    void ExpectOnlyOursLeft()
    {
        ASSERT_NE(pSite, nullptr);
        testutil::WaitFor([this] { return CountOf(pControl) == 1 && CountOf(static_cast<IOleClientSite*>(pSite)) == 1; }, 5000);
        EXPECT_EQ(pControl->Release(), 0u) << "the host kept a reference on the control";
        EXPECT_EQ(pSite->Release(), 0u) << "the control kept a reference on the site";
        pSite = nullptr;
    }
};

class ControlHostTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(AfxEnableControlContainer());
        ASSERT_TRUE(AfxInitRichEdit());
        INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_WIN95_CLASSES};
        ::InitCommonControlsEx(&icc);
        g_recorder = Recorder();
        const CLSID* ids[] = {&kRecorderClsid, &kPlainTemplateClsid, &kExtendedTemplateClsid};
        for (int i = 0; i < 3; ++i)
            ASSERT_EQ(::CoRegisterClassObject(*ids[i], &g_recorderFactory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE,
                                              &m_cookies[i]),
                      S_OK);
        RECT rc = {0, 0, 400, 300};
        ASSERT_TRUE(m_parent.CreateEx(0, "STATIC", "parent", WS_POPUP | WS_VISIBLE, rc, nullptr, 0));
    }
    void TearDown() override
    {
        m_parent.DestroyWindow();
        for (DWORD cookie : m_cookies)
            if (cookie)
                ::CoRevokeClassObject(cookie);
    }

    // Creates a dialog from an in-memory template whose initialisation data is that of
    // the wizard's template.
    HWND CreateFromTemplate(TemplateBuilder& builder)
    {
        const void* pTemplate = builder.Data();
        COleControlSite::PrepareTemplate(pTemplate, IDD_SETUP_DIALOG);
        return ::CreateDialogIndirectParamA(::GetModuleHandleA(nullptr), static_cast<LPCDLGTEMPLATEA>(pTemplate),
                                            nullptr, &PlainDialogProc, 0);
    }

    DWORD m_cookies[3] = {};
    CWnd m_parent;
};

std::vector<std::string> Tail(const std::vector<std::string>& calls, size_t n)
{
    return std::vector<std::string>(calls.end() - std::min(n, calls.size()), calls.end());
}

// ---- hosting from dialog templates -----------------------------------------------------

TEST_F(ControlHostTest, ClassIdItemsAreHostedInBothTemplateFormsAndOnlyTheirOwnRecordIsLoaded)
{
    for (bool bExtended : {false, true}) {
        SCOPED_TRACE(bExtended ? "DLGTEMPLATEEX" : "DLGTEMPLATE");
        g_recorder = Recorder();
        const wchar_t* pszClass = bExtended ? kExtendedTemplateClass : kPlainTemplateClass;
        TemplateBuilder builder(bExtended);
        builder.Item(IDOK, nullptr, 0x0080);
        builder.Item(1002, L"Static", 0, 6, true);   // creation data and an ordinal title before the controls
        builder.Item(IDC_BROWSER, pszClass);
        builder.Item(IDC_PROGRESS, pszClass);
        HWND hDlg = CreateFromTemplate(builder);
        ASSERT_NE(hDlg, nullptr) << "a class-id item was missed: its class is unknown";

        HWND hHost = ::GetDlgItem(hDlg, IDC_BROWSER);
        HWND hOther = ::GetDlgItem(hDlg, IDC_PROGRESS);
        EXPECT_NE(::GetDlgItem(hDlg, IDOK), nullptr);
        EXPECT_NE(::GetDlgItem(hDlg, 1002), nullptr);
        ASSERT_EQ(g_recorder.logs.size(), 2u);
        auto browser = g_recorder.ForHost(hHost);
        auto other = g_recorder.ForHost(hOther);
        ASSERT_TRUE(browser && other) << "each control is active in place inside its own host";

        // The site comes first (the control asks for it), then the state, then activation.
        EXPECT_EQ(browser->calls, (std::vector<std::string>{"SetClientSite", "Load", "DoVerb"}));
        EXPECT_EQ(other->calls, (std::vector<std::string>{"SetClientSite", "InitNew", "DoVerb"}));
        EXPECT_EQ(::GetParent(browser->ownWindow), hHost);

        // The browser's persisted state: 160 bytes, its extent, view id and empty link.
        const std::string& s = browser->state;
        ASSERT_EQ(s.size(), 160u);
        auto dword = [&](size_t at) { return *reinterpret_cast<const DWORD*>(s.data() + at); };
        EXPECT_EQ(dword(0), 0u);
        EXPECT_EQ(dword(4), 76u);
        EXPECT_EQ(dword(8), 2778u);
        EXPECT_EQ(dword(12), 1005u);
        const GUID viewId = {0x0057D0E0, 0x3573, 0x11CF, {0xAE, 0x69, 0x08, 0x00, 0x2B, 0x2E, 0x12, 0x62}};
        EXPECT_EQ(std::memcmp(s.data() + 56, &viewId, sizeof viewId), 0);
        EXPECT_EQ(dword(80), 76u);
        EXPECT_EQ(dword(84), 0x00021401u);
        EXPECT_EQ(dword(100), 0x80u);
        EXPECT_EQ(dword(140), 1u);

        ::DestroyWindow(hDlg);
        EXPECT_EQ(g_recorder.liveControls, 0);
    }
}

TEST_F(ControlHostTest, ATemplateWithoutClassIdItemsStillCreatesAsBefore)
{
    TemplateBuilder builder(true);
    builder.Item(IDOK, nullptr, 0x0080);
    builder.Item(1002, L"Static", 0, 4, true);
    builder.Item(IDCANCEL, L"Button");
    HWND hDlg = CreateFromTemplate(builder);
    ASSERT_NE(hDlg, nullptr);
    EXPECT_EQ(ClassOf(::GetDlgItem(hDlg, 1002)), "Static");
    EXPECT_EQ(ClassOf(::GetDlgItem(hDlg, IDCANCEL)), "Button");
    EXPECT_TRUE(g_recorder.logs.empty());
    ::DestroyWindow(hDlg);
}

TEST_F(ControlHostTest, AControlThatCannotBeMadeLeavesAnEmptyHostAndAWorkingDialog)
{
    TemplateBuilder builder(false);
    builder.Item(IDOK, nullptr, 0x0080);
    builder.Item(IDC_BROWSER, kUnknownClass);
    HWND hDlg = CreateFromTemplate(builder);
    ASSERT_NE(hDlg, nullptr);
    HWND hHost = ::GetDlgItem(hDlg, IDC_BROWSER);
    ASSERT_NE(hHost, nullptr);
    ASSERT_NE(COleControlSite::FromHostWindow(hHost), nullptr);
    EXPECT_EQ(COleControlSite::FromHostWindow(hHost)->GetControlUnknown(), nullptr);

    // Calls on it fail quietly; outside a template such a control is not created at all.
    CWnd bound;
    ASSERT_TRUE(bound.SubclassWindow(hHost));
    EXPECT_EQ(bound.InvokeHelper(0x68, DISPATCH_METHOD, VT_EMPTY, nullptr, reinterpret_cast<const BYTE*>(VTS_BSTR),
                                 "about:blank"),
              E_NOINTERFACE);
    bound.UnsubclassWindow();
    ::DestroyWindow(hDlg);

    CLSID unknown;
    ASSERT_EQ(::CLSIDFromString(kUnknownClass, &unknown), S_OK);
    CWnd control;
    EXPECT_FALSE(control.CreateControl(unknown, "", WS_CHILD | WS_VISIBLE, CRect(0, 0, 50, 50), &m_parent, 7));
    EXPECT_EQ(control.GetSafeHwnd(), nullptr);
    EXPECT_EQ(::GetDlgItem(m_parent, 7), nullptr);
}

// ---- the host's life -------------------------------------------------------------------

TEST_F(ControlHostTest, ClosingTheHostDeactivatesClosesAndReleasesEverything)
{
    CWnd control;
    ASSERT_TRUE(control.CreateControl(kRecorderClsid, "", WS_CHILD | WS_VISIBLE, CRect(0, 0, 100, 50), &m_parent, 9));
    HeldReferences held;
    held.Take(control);
    ASSERT_EQ(g_recorder.logs.size(), 1u);
    auto log = g_recorder.logs[0];

    // Taking the focus makes the control the active one, which the frame is told of.
    ::SetFocus(control);
    EXPECT_EQ(log->calls.back(), "UIActivate");

    control.DestroyWindow();
    EXPECT_EQ(Tail(log->calls, 4), (std::vector<std::string>{"UIDeactivate", "InPlaceDeactivate", "Close(nosave)",
                                                            "SetClientSite(null)"}));
    held.ExpectOnlyOursLeft();
    EXPECT_EQ(g_recorder.liveControls, 0);
}

TEST_F(ControlHostTest, TheControlFillsItsHostWhenTheHostIsResized)
{
    CWnd control;
    ASSERT_TRUE(control.CreateControl(kRecorderClsid, "", WS_CHILD | WS_VISIBLE, CRect(5, 5, 105, 55), &m_parent, 9));
    auto log = g_recorder.logs.at(0);
    EXPECT_EQ(RectText(log->objectRect), "0,0,100,50");
    control.SetWindowPos(nullptr, 24, 205, 440, 100, SWP_NOZORDER);
    EXPECT_EQ(RectText(log->objectRect), "0,0,440,100");
    control.SetWindowPos(nullptr, 0, 0, 0, 0, SWP_NOZORDER);   // the wizard's way of hiding it
    EXPECT_EQ(RectText(log->objectRect), "0,0,0,0");
}

TEST_F(ControlHostTest, KeysGoToTheControlFirstAndAreTakenOnlyWhenItUsesThem)
{
    CWebBrowser2 browser;
    ASSERT_TRUE(browser.CreateControl(kRecorderClsid, "", WS_CHILD | WS_VISIBLE, CRect(0, 0, 100, 50), &m_parent, 9));
    auto log = g_recorder.logs.at(0);
    MSG tab = {};
    tab.hwnd = browser;
    tab.message = WM_KEYDOWN;
    tab.wParam = VK_TAB;
    g_recorder.acceleratorResult = S_OK;
    EXPECT_TRUE(browser.PreTranslateMessage(&tab)) << "a key the page used is not the dialog's any more";
    g_recorder.acceleratorResult = S_FALSE;
    EXPECT_FALSE(browser.PreTranslateMessage(&tab));
    MSG click = tab;
    click.message = WM_LBUTTONDOWN;
    EXPECT_FALSE(browser.PreTranslateMessage(&click));
    EXPECT_EQ(log->keys, (std::vector<WPARAM>{VK_TAB, VK_TAB}));
}

// ---- navigation ------------------------------------------------------------------------

TEST_F(ControlHostTest, NavigatePassesTheUrlAsUnicodeAndFourVariantPointersInDispatchOrder)
{
    CWebBrowser2 browser;
    ASSERT_TRUE(browser.CreateControl(kRecorderClsid, "", WS_CHILD | WS_VISIBLE, CRect(0, 0, 100, 50), &m_parent, 9));
    auto log = g_recorder.logs.at(0);
    VARIANT flags, headers;
    ::VariantInit(&flags);
    ::VariantInit(&headers);
    browser.Navigate("http://127.0.0.1/\xC7\xD1\xB1\xDB?w=400", &flags, nullptr, nullptr, &headers);   // "한글"

    EXPECT_EQ(log->dispid, 0x68);
    EXPECT_EQ(log->flags, DISPATCH_METHOD);
    EXPECT_FALSE(log->askedForResult);
    ASSERT_EQ(log->args.size(), 5u);
    // IDispatch takes the arguments last first.
    EXPECT_EQ(log->args[4].vt, VT_BSTR);
    EXPECT_EQ(log->text, L"http://127.0.0.1/\xD55C\xAE00?w=400");
    const VARIANT* expected[4] = {&headers, nullptr, nullptr, &flags};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(log->args[i].vt, VT_VARIANT | VT_BYREF) << i;
        EXPECT_EQ(log->args[i].pvarVal, expected[i]) << i;
    }
    EXPECT_EQ(TextOf(browser), "http://127.0.0.1/\xC7\xD1\xB1\xDB?w=400");

    // A navigation the control refused is not shown as the page asked for.
    g_recorder.invokeResult = E_FAIL;
    browser.Navigate("http://127.0.0.1/refused", nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(TextOf(browser), "http://127.0.0.1/\xC7\xD1\xB1\xDB?w=400");
}

// Fires FileDownload(active document, cancel) into an events sink; whether it cancelled.
bool FileDownloadCancelled(IDispatch* pEvents, bool bActiveDocument)
{
    VARIANT_BOOL cancel = VARIANT_FALSE;
    VARIANTARG args[2];
    args[1].vt = VT_BOOL;
    args[1].boolVal = bActiveDocument ? VARIANT_TRUE : VARIANT_FALSE;
    args[0].vt = VT_BOOL | VT_BYREF;
    args[0].pboolVal = &cancel;
    DISPPARAMS params = {args, nullptr, 2, 0};
    pEvents->Invoke(DISPID_FILEDOWNLOAD, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
    return cancel != VARIANT_FALSE;
}

// Wine's browser shows no page and so never starts a download or raises FileDownload;
// the guard is tried here on a control that raises the events as the browser would.
TEST_F(ControlHostTest, TheGuardCancelsDownloadsAndProgramAddressesAndTheTextKeepsTheLastPageTaken)
{
    CWebBrowser2 browser;
    ASSERT_TRUE(browser.CreateControl(kRecorderClsid, "", WS_CHILD | WS_VISIBLE, CRect(0, 0, 100, 50), &m_parent, 9));
    browser.KeepToWebPages(false);
    ASSERT_NE(g_recorder.pEvents, nullptr) << "the guard listens to the browser's events";

    browser.Navigate("http://127.0.0.1/pages/tools.html", nullptr, nullptr, nullptr, nullptr);
    EXPECT_FALSE(g_recorder.lastNavigateCancelled);
    EXPECT_EQ(TextOf(browser), "http://127.0.0.1/pages/tools.html");
    for (const char* refused : {"http://127.0.0.1/files/ToolsSetup.exe", "https://127.0.0.1/a/b.MSI?x=1",
                                "javascript:location='x.exe'", "file:///C:/windows/notepad.exe"}) {
        browser.Navigate(refused, nullptr, nullptr, nullptr, nullptr);
        EXPECT_TRUE(g_recorder.lastNavigateCancelled) << refused;
        EXPECT_EQ(TextOf(browser), "http://127.0.0.1/pages/tools.html") << "the text keeps no refused address";
    }

    // A file the page starts to download goes; a document the browser shows itself stays.
    EXPECT_TRUE(FileDownloadCancelled(g_recorder.pEvents, false));
    EXPECT_FALSE(FileDownloadCancelled(g_recorder.pEvents, true));
}

// ---- the real browser ------------------------------------------------------------------

class BrowserDialog : public CDialog {
public:
    BrowserDialog() : CDialog(IDD_SETUP_DIALOG) {}
    CWebBrowser2 m_browser;
    std::function<void(BrowserDialog&)> onShown;

protected:
    void DoDataExchange(CDataExchange* pDX) override { DDX_Control(pDX, IDC_BROWSER, m_browser); }
    BOOL OnInitDialog() override
    {
        CDialog::OnInitDialog();
        ::PostMessageA(m_hWnd, WM_APP, 0, 0);   // checks run once the modal loop runs
        return TRUE;
    }
    BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override
    {
        if (message == WM_APP) {
            if (onShown)
                onShown(*this);
            EndDialog(IDOK);
            *pResult = 0;
            return TRUE;
        }
        return CDialog::OnWndMsg(message, wParam, lParam, pResult);
    }
};

TEST_F(ControlHostTest, TheWizardsBrowserIsActiveNavigatesWithoutPromptsAndIsReleasedWithTheDialog)
{
    const std::string url = publisher::Url("/Lisence/agree.php?w=400");
    const bool bServer = publisher::ProductPort() != 0 && publisher::ClearLog();
    HeldReferences held;
    bool bShown = false;

    BrowserDialog dlg;
    dlg.onShown = [&](BrowserDialog& d) {
        bShown = true;
        HWND hHost = ::GetDlgItem(d, IDC_BROWSER);
        ASSERT_NE(hHost, nullptr);
        EXPECT_EQ(ClassOf(hHost), kWebBrowserClass);
        EXPECT_EQ(d.m_browser.GetSafeHwnd(), hHost);
        EXPECT_NE(FindDescendant(hHost, "Shell Embedding"), nullptr) << "the control is active in place";
        held.Take(hHost);

        // The focus makes the control UI-active: the release checked at the end then
        // covers that state too.
        ::SetFocus(hHost);

        const std::vector<HWND> before = VisibleTopLevelWindows();
        d.m_browser.KeepToWebPages(false);   // as the wizard does
        const DWORD start = ::GetTickCount();
        d.m_browser.Navigate(url.c_str(), nullptr, nullptr, nullptr, nullptr);
        EXPECT_LT(::GetTickCount() - start, 3000u) << "Navigate returns at once";
        EXPECT_EQ(TextOf(hHost), url);
        ASSERT_NE(held.pSite->GetDispatch(), nullptr);
        EXPECT_EQ(LocationOf(held.pSite->GetDispatch()), std::wstring(url.begin(), url.end()));

        if (bServer) {
            const bool bFetched = testutil::WaitFor(
                [] {
                    for (const auto& entry : publisher::ReadLog("product"))
                        if (entry.method == "GET" && entry.path == "/Lisence/agree.php?w=400")
                            return true;
                    return false;
                },
                5000);
            EXPECT_TRUE(bFetched) << "the control asks the server for the page";
        } else {
            testutil::WaitFor([] { return false; }, 500);   // time for a prompt to appear
        }
        EXPECT_EQ(VisibleTopLevelWindows(), before) << "no prompt or other window appeared";

        // Anything but a web page is cancelled before it starts.
        for (const wchar_t* other : {L"javascript:alert(1)", L"file:///C:/windows/win.ini", L"res://shell32.dll/1"}) {
            NavigateControl(held.pSite->GetDispatch(), other);
            testutil::WaitFor([] { return false; }, 300);
            EXPECT_EQ(LocationOf(held.pSite->GetDispatch()), std::wstring(url.begin(), url.end())) << other;
        }
        // So is a program, as a link would ask for it: no request, no dialog, and the
        // host's text still names the page.
        const std::string program = publisher::Url("/files/ToolsSetup.exe");
        NavigateControl(held.pSite->GetDispatch(), std::wstring(program.begin(), program.end()).c_str());
        d.m_browser.Navigate(program.c_str(), nullptr, nullptr, nullptr, nullptr);
        testutil::WaitFor([] { return false; }, 500);
        EXPECT_EQ(LocationOf(held.pSite->GetDispatch()), std::wstring(url.begin(), url.end()));
        EXPECT_EQ(TextOf(hHost), url);
        EXPECT_EQ(VisibleTopLevelWindows(), before);
        if (bServer) {
            for (const auto& entry : publisher::ReadLog("product"))
                EXPECT_NE(entry.path, "/files/ToolsSetup.exe") << "the program was asked for";
        }
    };
    EXPECT_EQ(dlg.DoModal(), IDOK);
    ASSERT_TRUE(bShown);
    held.ExpectOnlyOursLeft();
}

TEST_F(ControlHostTest, ABrowserMadeFromItsRunTimeRecordWorksOutsideATemplate)
{
    const CRuntimeClass& record = CWebBrowser2::classCWebBrowser2;
    EXPECT_STREQ(record.m_lpszClassName, "CWebBrowser2");
    EXPECT_EQ(record.m_wSchema, 0xFFFFu);
    EXPECT_EQ(record.m_pBaseClass, &CWnd::classCWnd);
    std::unique_ptr<CWnd> pWnd(record.CreateObject());
    auto* pBrowser = dynamic_cast<CWebBrowser2*>(pWnd.get());
    ASSERT_NE(pBrowser, nullptr);
    EXPECT_EQ(pBrowser->GetRuntimeClass(), &record);

    ASSERT_TRUE(pBrowser->Create(nullptr, "", WS_CHILD | WS_VISIBLE, CRect(10, 10, 310, 210), &m_parent, 1234));
    HWND hHost = *pBrowser;
    EXPECT_EQ(::GetDlgItem(m_parent, 1234), hHost);
    EXPECT_EQ(ClassOf(hHost), kWebBrowserClass);
    EXPECT_NE(FindDescendant(hHost, "Shell Embedding"), nullptr);
    HeldReferences held;
    held.Take(hHost);

    pBrowser->Navigate("http://127.0.0.1:1/page.html", nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(TextOf(hHost), "http://127.0.0.1:1/page.html");
    EXPECT_EQ(LocationOf(held.pSite->GetDispatch()), L"http://127.0.0.1:1/page.html");
    // A build for https keeps to https pages: plain http leaves the browser where it was.
    pBrowser->KeepToWebPages(true);
    for (const wchar_t* url : {L"http://127.0.0.1:1/other.html", L"https://localhost:1/page.html"}) {
        NavigateControl(held.pSite->GetDispatch(), url);
        testutil::WaitFor([] { return false; }, 300);
        EXPECT_EQ(LocationOf(held.pSite->GetDispatch()), url[4] == 's' ? url : L"http://127.0.0.1:1/page.html");
    }

    pWnd.reset();   // destroys the window it created
    EXPECT_FALSE(::IsWindow(hHost));
    held.ExpectOnlyOursLeft();
}

}  // namespace
