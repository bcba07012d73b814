// A window bound to a C++ object. Messages reach the object through WindowProc, whose
// message map is OnWndMsg: each class tests the messages it handles and passes the rest
// to its base, ending in the window's previous procedure (Default).
//
// Notifications that a child control sends to its parent (WM_COMMAND, WM_NOTIFY and the
// WM_CTLCOLOR family) are first offered to the child's own object as
// WM_REFLECT_BASE + message; the parent sees them only when the child leaves them.
#pragma once

#include <oaidl.h>

#include "CRuntimeClass.h"
#include "CWindow.h"

class CDataExchange;

const UINT WM_REFLECT_BASE = 0xBC00;

// Parameter types for InvokeHelper, one byte per argument (0x40 marks "by reference"):
// the string arrives as 8-bit text and is passed on as a BSTR; a VARIANT pointer may be null.
#define VTS_BSTR "\x08"
#define VTS_PVARIANT "\x4C"

class CWnd : public CWindow {
public:
    CWnd() = default;
    virtual ~CWnd();
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    // The object bound to a window by Create or SubclassWindow, or null.
    static CWnd* FromHandlePermanent(HWND hWnd);

    // Creates a window of a registered class and binds it to this object.
    BOOL CreateEx(DWORD dwExStyle, const char* pszClassName, const char* pszWindowName, DWORD dwStyle,
                  const RECT& rect, HWND hWndParent, UINT nID);
    BOOL Create(const char* pszClassName, const char* pszWindowName, DWORD dwStyle, const RECT& rect,
                CWnd* pParentWnd, UINT nID)
    {
        return CreateEx(0, pszClassName, pszWindowName, dwStyle, rect, pParentWnd ? pParentWnd->m_hWnd : nullptr, nID);
    }
    BOOL DestroyWindow();

    // Creates an ActiveX control in a host window of its own (see COleControlSite) and
    // binds the host to this object. The control starts from its defaults.
    BOOL CreateControl(REFCLSID clsid, const char* pszWindowName, DWORD dwStyle, const RECT& rect,
                       CWnd* pParentWnd, UINT nID);
    // Calls the hosted control's IDispatch: the variable arguments follow pbParamInfo
    // (VTS_* bytes). Only methods without a result (vtRet VT_EMPTY) are supported.
    HRESULT InvokeHelper(DISPID dwDispID, WORD wFlags, VARTYPE vtRet, void* pvRet, const BYTE* pbParamInfo, ...);

    static const CRuntimeClass classCWnd;
    virtual const CRuntimeClass* GetRuntimeClass() const;

    // Binds an existing window: its messages pass through this object from now on.
    BOOL SubclassWindow(HWND hWnd);
    BOOL SubclassDlgItem(UINT nID, CWnd* pParent);
    HWND UnsubclassWindow();

    BOOL UpdateData(BOOL bSaveAndValidate = TRUE);

    // Called by the modal loop for every message meant for this window or a window
    // inside it, before the message is dispatched; TRUE means it was handled. A window
    // that hosts an ActiveX control gives the control its keys here.
    virtual BOOL PreTranslateMessage(MSG* pMsg);

protected:
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // The message map. Returns TRUE with *pResult set when the message was handled.
    virtual BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);
    virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // Default processing of the message being handled now.
    LRESULT Default();
    virtual void DoDataExchange(CDataExchange* pDX);
    // After the window is gone and the object is unbound.
    virtual void PostNcDestroy() {}

    // Offers a child's notification to the child's object (see above).
    static BOOL ReflectChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);

    static LRESULT CALLBACK AfxWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

private:
    void Bind(HWND hWnd);
    void Unbind();

    WNDPROC m_pfnSuper = nullptr;   // the procedure that was installed before ours
    bool m_bCreated = false;        // this object created the window and destroys it
    struct CurrentMessage {
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
    } m_current = {};
};

// Message-map helpers for reflected notifications.
inline bool IsReflectedCommand(UINT message, WPARAM wParam, UINT nCode)
{
    return message == WM_REFLECT_BASE + WM_COMMAND && HIWORD(wParam) == nCode;
}
inline bool IsReflectedNotify(UINT message, LPARAM lParam, int nCode)
{
    return message == WM_REFLECT_BASE + WM_NOTIFY && int(reinterpret_cast<const NMHDR*>(lParam)->code) == nCode;
}
inline bool IsReflectedCtlColor(UINT message)
{
    return message >= WM_REFLECT_BASE + WM_CTLCOLORMSGBOX && message <= WM_REFLECT_BASE + WM_CTLCOLORSTATIC;
}
// The CTLCOLOR_* type of a reflected WM_CTLCOLOR* message.
inline UINT ReflectedCtlColorType(UINT message)
{
    return message - (WM_REFLECT_BASE + WM_CTLCOLORMSGBOX);
}
