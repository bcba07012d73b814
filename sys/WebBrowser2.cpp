#include "WebBrowser2.h"

namespace {

// The WebBrowser control, {8856F961-340A-11D0-A96B-00C04FD705A2}.
const CLSID kClsidWebBrowser = {0x8856F961, 0x340A, 0x11D0, {0xA9, 0x6B, 0x00, 0xC0, 0x4F, 0xD7, 0x05, 0xA2}};
const DISPID kDispIdNavigate = 0x68;

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

void CWebBrowser2::Navigate(const char* pszURL, VARIANT* pvarFlags, VARIANT* pvarTargetFrameName,
                            VARIANT* pvarPostData, VARIANT* pvarHeaders)
{
    static const BYTE kParams[] = VTS_BSTR VTS_PVARIANT VTS_PVARIANT VTS_PVARIANT VTS_PVARIANT;
    if (SUCCEEDED(InvokeHelper(kDispIdNavigate, DISPATCH_METHOD, VT_EMPTY, nullptr, kParams, pszURL, pvarFlags,
                               pvarTargetFrameName, pvarPostData, pvarHeaders)))
        SetWindowText(pszURL);
}
