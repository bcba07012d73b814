// Hosts ActiveX controls that a dialog template names by class id ("{...}" as the class
// of an item), or that CWnd::CreateControl asks for. Each control lives in a host window
// of its own whose window class is named after the control's class id: the dialog
// manager (or CreateControl) creates the host, the host creates the control, loads its
// persisted state from the template's initialisation data (RT_DLGINIT, message 0x0376)
// and activates it in place inside itself. Destroying the host deactivates and closes
// the control and releases every reference to it.
//
// One site object per host window. It is the control's client site, in-place site and
// control site, and its service provider once one is given; its frame is a small object
// of its own that shares the site's lifetime.
#pragma once

#include <windows.h>
#include <ole2.h>
#include <ocidl.h>
#include <servprov.h>

class COleControlSite final : public IOleClientSite,
                              public IOleInPlaceSite,
                              public IOleControlSite,
                              public IServiceProvider {
public:
    // Registers a host window class for every class-id item of a dialog template
    // (DLGTEMPLATE or DLGTEMPLATEEX), and remembers which template's initialisation data
    // the hosts of this thread read while the dialog is being created.
    static void PrepareTemplate(const void* pTemplate, UINT nIDTemplate);
    // Creates a host window for a control outside any template: the control starts
    // from its defaults (InitNew). Null when the window or the control cannot be made.
    static HWND CreateHostWindow(REFCLSID clsid, const char* pszWindowName, DWORD dwStyle, const RECT& rect,
                                 HWND hWndParent, UINT nID);
    // The site of a host window, or null when hWnd is not one.
    static COleControlSite* FromHostWindow(HWND hWnd);

    // The control's interfaces, borrowed (null when the control could not be made or is
    // already closed). Whoever keeps one beyond the host's life must AddRef it.
    IUnknown* GetControlUnknown() const { return m_pObject; }
    IDispatch* GetDispatch() const { return m_pDispatch; }
    IOleInPlaceActiveObject* GetActiveObject() const;

    // Gives a key message to the control first (Tab and shortcut keys belong to the
    // page inside it); TRUE when the control used it.
    BOOL PreTranslateMessage(MSG* pMsg);

    // The services the control may ask of its site (IServiceProvider::QueryService) are
    // those of this provider; without one the site offers no service provider at all.
    // The site keeps a reference until it goes.
    void SetServiceProvider(IServiceProvider* pServices);

    // Connects a sink to the control's events of the given interface (its connection
    // point); the connection lasts until the control is closed. One sink per site: a
    // second call replaces the first. False when the control offers no such events.
    bool ConnectEvents(REFIID riidEvents, IUnknown* pSink);

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

private:
    class CFrame final : public IOleInPlaceFrame {
    public:
        explicit CFrame(COleControlSite* pSite) : m_pSite(pSite) {}
        STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
        STDMETHODIMP_(ULONG) AddRef() override { return m_pSite->AddRef(); }
        STDMETHODIMP_(ULONG) Release() override { return m_pSite->Release(); }
        STDMETHODIMP GetWindow(HWND* phwnd) override;
        STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
        STDMETHODIMP GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
        STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
        STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS pWidths) override;
        STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject* pActiveObject, LPCOLESTR) override;
        STDMETHODIMP InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
        STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
        STDMETHODIMP RemoveMenus(HMENU) override { return S_OK; }
        STDMETHODIMP SetStatusText(LPCOLESTR) override { return S_OK; }
        STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }
        STDMETHODIMP TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

    private:
        COleControlSite* m_pSite;
    };

    explicit COleControlSite(HWND hWndHost) : m_hWnd(hWndHost), m_frame(this) {}
    ~COleControlSite();
    COleControlSite(const COleControlSite&) = delete;
    COleControlSite& operator=(const COleControlSite&) = delete;

    static LRESULT CALLBACK HostWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
    static bool RegisterHostClass(const char* pszClassName);

    // Creates the control, gives it its persisted state (InitNew without one) and
    // activates it in place. False when the control could not be created.
    bool CreateControl(REFCLSID clsid, const BYTE* pState, DWORD cbState);
    void InitialiseState(IOleObject* pObject, const BYTE* pState, DWORD cbState);
    void DestroyControl();
    void DisconnectEvents();
    void OnHostSize();
    void OnHostFocus();
    RECT HostRect() const;

    // IOleWindow
    STDMETHODIMP GetWindow(HWND* phwnd) override;
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    // IOleClientSite
    STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** ppmk) override;
    STDMETHODIMP GetContainer(IOleContainer** ppContainer) override;
    STDMETHODIMP ShowObject() override { return S_OK; }
    STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
    STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }
    // IOleInPlaceSite
    STDMETHODIMP CanInPlaceActivate() override { return m_hWnd ? S_OK : S_FALSE; }
    STDMETHODIMP OnInPlaceActivate() override { return S_OK; }
    STDMETHODIMP OnUIActivate() override;
    STDMETHODIMP GetWindowContext(IOleInPlaceFrame** ppFrame, IOleInPlaceUIWindow** ppDoc, LPRECT prcPosRect,
                                  LPRECT prcClipRect, LPOLEINPLACEFRAMEINFO pFrameInfo) override;
    STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
    STDMETHODIMP OnUIDeactivate(BOOL) override;
    STDMETHODIMP OnInPlaceDeactivate() override { return S_OK; }
    STDMETHODIMP DiscardUndoState() override { return S_OK; }
    STDMETHODIMP DeactivateAndUndo() override;
    STDMETHODIMP OnPosRectChange(LPCRECT) override { return S_OK; }
    // IOleControlSite
    STDMETHODIMP OnControlInfoChanged() override { return S_OK; }
    STDMETHODIMP LockInPlaceActive(BOOL) override { return S_OK; }
    STDMETHODIMP GetExtendedControl(IDispatch** ppDisp) override;
    STDMETHODIMP TransformCoords(POINTL*, POINTF*, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP TranslateAccelerator(MSG*, DWORD) override { return S_FALSE; }
    STDMETHODIMP OnFocus(BOOL) override { return S_OK; }
    STDMETHODIMP ShowPropertyFrame() override { return E_NOTIMPL; }
    // IServiceProvider
    STDMETHODIMP QueryService(REFGUID guidService, REFIID riid, void** ppv) override;

    LONG m_cRef = 1;                                  // the host window's reference
    HWND m_hWnd;                                      // null once the host is being destroyed
    CFrame m_frame;
    IOleObject* m_pObject = nullptr;
    IOleInPlaceObject* m_pInPlaceObject = nullptr;
    IOleInPlaceActiveObject* m_pActiveObject = nullptr;    // asked of the control
    IOleInPlaceActiveObject* m_pUIActiveObject = nullptr;  // handed over on UI activation
    IDispatch* m_pDispatch = nullptr;
    IServiceProvider* m_pServices = nullptr;
    IConnectionPoint* m_pEvents = nullptr;             // where the sink is connected
    DWORD m_dwEventsCookie = 0;
    bool m_bUIActive = false;
};
