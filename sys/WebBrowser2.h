// The embedded web browser of the wizard: a window bound to the WebBrowser ActiveX
// control, which the dialog only ever asks to navigate.
#pragma once

#include "CWnd.h"

class CWebBrowser2 : public CWnd {
public:
    static const CRuntimeClass classCWebBrowser2;
    const CRuntimeClass* GetRuntimeClass() const override;

    // Creates the control as a child window outside a dialog template. The class name
    // is ignored: the window is always the WebBrowser control's host.
    BOOL Create(const char* pszClassName, const char* pszWindowName, DWORD dwStyle, const RECT& rect,
                CWnd* pParentWnd, UINT nID);

    // Loads a page. Null VARIANT pointers leave the flags, target frame, post data and
    // headers at the control's defaults. When the control takes the URL (and the guard of
    // KeepToWebPages lets it go), the host window's text becomes that URL, so the page
    // last asked for can be read from outside (WM_GETTEXT), even while the page itself is
    // still loading; a refused URL leaves the text as it was.
    void Navigate(const char* pszURL, VARIANT* pvarFlags, VARIANT* pvarTargetFrameName, VARIANT* pvarPostData,
                  VARIANT* pvarHeaders);

    // From now on a page whose server's certificate is not trusted (or does not name the
    // server, or has expired) is not shown and nobody is asked whether to show it anyway:
    // its loading fails as an unreachable server's would. The control asks its site
    // (IHttpSecurity) before it would ask the user.
    void RefuseCertificateProblems();

    // From now on the browser goes to web pages only: a navigation of the whole browser
    // (not of a frame inside a page) to anything but an http or https address (https
    // only, with bHttpsOnly) is cancelled before it starts, wherever it comes from
    // (Navigate, a link, a script), and so is every new window a page asks for. So no
    // javascript:, file:, res: or mk: address runs or opens inside the setup program.
    // Nor does a download: a navigation of the browser or a frame to an address that
    // names a program (IsProgramAddress) is cancelled before it is requested, and every
    // other file download a page starts is cancelled as it begins (FileDownload), before
    // the browser offers to open or save it.
    void KeepToWebPages(bool bHttpsOnly);
};
