#include "DesktopShell.h"

#include <windows.h>
#include <exdisp.h>
#include <shldisp.h>
#include <shlobj.h>
#include <shellapi.h>

#include "CBstr.h"
#include "ComRef.h"
#include "ComScope.h"

namespace {

bool IsElevated()
{
    HANDLE hToken = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &hToken))
        return false;
    TOKEN_ELEVATION elevation = {};
    DWORD cb = 0;
    const BOOL ok = ::GetTokenInformation(hToken, TokenElevation, &elevation, sizeof elevation, &cb);
    ::CloseHandle(hToken);
    return ok && elevation.TokenIsElevated != 0;
}

// Wine reports every process as elevated, yet all of them share the same Unix user; a
// program started by its desktop shell would only lose this process's environment.
bool IsWine()
{
    HMODULE hNtdll = ::GetModuleHandleA("ntdll.dll");
    return hNtdll && ::GetProcAddress(hNtdll, "wine_get_version");
}

// The shell's automation object behind the desktop window.
bool DesktopShellDispatch(ComRef<IShellDispatch2>& shell)
{
    ComRef<IShellWindows> windows;
    if (FAILED(::CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_LOCAL_SERVER, IID_IShellWindows,
                                  windows.out())))
        return false;
    VARIANT location;
    ::VariantInit(&location);
    location.vt = VT_I4;
    location.lVal = CSIDL_DESKTOP;
    VARIANT root;
    ::VariantInit(&root);
    long hwnd = 0;
    ComRef<IDispatch> desktop;
    if (windows->FindWindowSW(&location, &root, SWC_DESKTOP, &hwnd, SWFO_NEEDDISPATCH,
                              reinterpret_cast<IDispatch**>(desktop.out())) != S_OK ||
        !desktop)
        return false;

    ComRef<IServiceProvider> services;
    ComRef<IShellBrowser> browser;
    ComRef<IShellView> view;
    ComRef<IDispatch> background;
    ComRef<IShellFolderViewDual> folderView;
    ComRef<IDispatch> application;
    return SUCCEEDED(desktop->QueryInterface(IID_IServiceProvider, services.out())) &&
           SUCCEEDED(services->QueryService(SID_STopLevelBrowser, IID_IShellBrowser, browser.out())) &&
           SUCCEEDED(browser->QueryActiveShellView(reinterpret_cast<IShellView**>(view.out()))) && view &&
           SUCCEEDED(view->GetItemObject(SVGIO_BACKGROUND, IID_IDispatch, background.out())) &&
           SUCCEEDED(background->QueryInterface(IID_IShellFolderViewDual, folderView.out())) &&
           SUCCEEDED(folderView->get_Application(reinterpret_cast<IDispatch**>(application.out()))) && application &&
           SUCCEEDED(application->QueryInterface(IID_IShellDispatch2, shell.out()));
}

}  // namespace

bool OpenThroughDesktopShell(const CString& strPath)
{
    ComScope com;
    ComRef<IShellDispatch2> shell;
    if (!DesktopShellDispatch(shell))
        return false;
    const CBstr file(strPath);
    const CBstr verb("open");
    if (!file.get() || !verb.get())
        return false;
    VARIANT arguments, folder, operation, show;
    ::VariantInit(&arguments);
    ::VariantInit(&folder);
    ::VariantInit(&operation);
    operation.vt = VT_BSTR;
    operation.bstrVal = verb.get();   // still owned by `verb`
    ::VariantInit(&show);
    show.vt = VT_I4;
    show.lVal = SW_SHOW;
    return SUCCEEDED(shell->ShellExecute(file.get(), arguments, folder, operation, show));
}

void OpenAsDesktopUser(const CString& strPath)
{
    if (IsElevated() && !IsWine() && OpenThroughDesktopShell(strPath))
        return;
    ::ShellExecuteA(nullptr, "open", strPath, nullptr, nullptr, SW_SHOW);
}
