#include "control_host.h"

#include "PictureResource.h"
#include "support/TestUtil.h"

namespace ctltest {

namespace {

const char kParentClass[] = "MelvoraControlTestParent";
const int kLeft = 40, kTop = 40;

void RegisterParentClass()
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = ::DefWindowProcA;
    wc.hInstance = ::GetModuleHandleA(nullptr);
    wc.hCursor = ::LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH));
    wc.lpszClassName = kParentClass;
    ::RegisterClassA(&wc);   // fails harmlessly when already registered
}

std::vector<COLORREF> ReadDib(HDC hSource, int x, int y, int width, int height)
{
    BITMAPINFO bmi = {};
    bmi.bmiHeader.biSize = sizeof bmi.bmiHeader;
    bmi.bmiHeader.biWidth = width;
    bmi.bmiHeader.biHeight = -height;   // top row first
    bmi.bmiHeader.biPlanes = 1;
    bmi.bmiHeader.biBitCount = 32;
    bmi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP hDib = ::CreateDIBSection(hSource, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC hMem = ::CreateCompatibleDC(hSource);
    HGDIOBJ hOld = ::SelectObject(hMem, hDib);
    ::BitBlt(hMem, 0, 0, width, height, hSource, x, y, SRCCOPY);
    ::GdiFlush();
    std::vector<COLORREF> pixels(size_t(width) * height);
    const DWORD* p = static_cast<const DWORD*>(bits);
    for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = RGB((p[i] >> 16) & 0xFF, (p[i] >> 8) & 0xFF, p[i] & 0xFF);
    ::SelectObject(hMem, hOld);
    ::DeleteDC(hMem);
    ::DeleteObject(hDib);
    return pixels;
}

}  // namespace

TestParent::TestParent(int width, int height)
{
    RegisterParentClass();
    CreateEx(WS_EX_TOPMOST, kParentClass, "control test", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN,
             CRect(kLeft, kTop, kLeft + width, kTop + height), nullptr, 0);
    ::SetForegroundWindow(m_hWnd);
    PumpMessages();
}

TestParent::~TestParent()
{
    DestroyWindow();
    PumpMessages();
}

HWND TestParent::CreateChild(const char* className, const char* text, DWORD style, const CRect& rect, UINT id) const
{
    return ::CreateWindowExA(0, className, text, WS_CHILD | WS_VISIBLE | style, rect.left, rect.top, rect.Width(),
                             rect.Height(), m_hWnd, reinterpret_cast<HMENU>(UINT_PTR(id)),
                             ::GetModuleHandleA(nullptr), nullptr);
}

BOOL TestParent::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT*)
{
    if (message == WM_COMMAND)
        m_commands.push_back(HIWORD(wParam));
    else if (message == WM_NOTIFY)
        m_notifies.push_back(int(reinterpret_cast<const NMHDR*>(lParam)->code));
    return FALSE;
}

CommonControls6::CommonControls6()
{
    // The assembly is the one built for this program's machine.
#ifdef _WIN64
#define MELVORA_MACHINE "amd64"
#else
#define MELVORA_MACHINE "x86"
#endif
    static const char kManifest[] =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
        "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">\r\n"
        "<dependency><dependentAssembly><assemblyIdentity type=\"win32\" "
        "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\" processorArchitecture=\"" MELVORA_MACHINE "\" "
        "publicKeyToken=\"6595b64144ccf1df\" language=\"*\"/></dependentAssembly></dependency>\r\n"
        "</assembly>\r\n";
#undef MELVORA_MACHINE
    char folder[MAX_PATH] = {};
    ::GetTempPathA(sizeof folder, folder);
    const std::string path = std::string(folder) + "melvora-controls6.manifest";
    if (!testutil::WriteFileBytes(path, kManifest))
        return;
    ACTCTXA context = {};
    context.cbSize = sizeof context;
    context.lpSource = path.c_str();
    m_hContext = ::CreateActCtxA(&context);
    if (m_hContext != INVALID_HANDLE_VALUE && !::ActivateActCtx(m_hContext, &m_cookie)) {
        ::ReleaseActCtx(m_hContext);
        m_hContext = INVALID_HANDLE_VALUE;
    }
}

CommonControls6::~CommonControls6()
{
    if (m_hContext == INVALID_HANDLE_VALUE)
        return;
    ::DeactivateActCtx(0, m_cookie);
    ::ReleaseActCtx(m_hContext);
}

void PumpMessages()
{
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
}

void Click(HWND hWnd, POINT pt)
{
    // Two clicks in a row would make a double click, which controls handle differently.
    static DWORD lastClick = ::GetTickCount() - 10000;
    const DWORD pause = ::GetDoubleClickTime() + 50;
    while (::GetTickCount() - lastClick < pause) {
        PumpMessages();
        ::Sleep(10);
    }
    ::ClientToScreen(hWnd, &pt);
    ::SetCursorPos(pt.x, pt.y);
    INPUT input[2] = {};
    input[0].type = input[1].type = INPUT_MOUSE;
    input[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    input[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    ::SendInput(2, input, sizeof(INPUT));
    lastClick = ::GetTickCount();
    // Input arrives through the server; give it time to be handled.
    const DWORD start = ::GetTickCount();
    while (::GetTickCount() - start < 150) {
        PumpMessages();
        ::Sleep(5);
    }
}

void PressKey(WORD vk, int downs)
{
    INPUT input = {};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = vk;
    input.ki.wScan = WORD(::MapVirtualKeyA(vk, MAPVK_VK_TO_VSC));
    for (int i = 0; i < downs; ++i)
        ::SendInput(1, &input, sizeof input);
    input.ki.dwFlags = KEYEVENTF_KEYUP;
    ::SendInput(1, &input, sizeof input);
    const DWORD start = ::GetTickCount();
    while (::GetTickCount() - start < 150) {
        PumpMessages();
        ::Sleep(5);
    }
}

Pixels Pixels::Capture(HWND hWnd, bool settle)
{
    if (settle) {
        ::UpdateWindow(hWnd);
        PumpMessages();
    }
    Pixels result;
    const CRect rc = CWindow(hWnd).GetClientRect();
    result.m_width = rc.Width();
    result.m_height = rc.Height();
    HDC hDC = ::GetDC(hWnd);
    result.m_pixels = ReadDib(hDC, 0, 0, result.m_width, result.m_height);
    ::ReleaseDC(hWnd, hDC);
    return result;
}

int Pixels::Count(const CRect& area, COLORREF color) const
{
    int n = 0;
    for (long y = area.top; y < area.bottom; ++y)
        for (long x = area.left; x < area.right; ++x)
            n += At(int(x), int(y)) == color;
    return n;
}

bool Pixels::AllOf(const CRect& area, COLORREF color) const
{
    return Count(area, color) == area.Width() * area.Height();
}

std::vector<COLORREF> BitmapPixels(UINT id, int* width, int* height)
{
    HBITMAP hBitmap = LoadPictureBitmap(id);   // as the controls load it, from its PNG resource
    BITMAP bm = {};
    ::GetObjectA(hBitmap, sizeof bm, &bm);
    *width = bm.bmWidth;
    *height = bm.bmHeight;
    HDC hScreen = ::GetDC(nullptr);
    HDC hMem = ::CreateCompatibleDC(hScreen);
    HGDIOBJ hOld = ::SelectObject(hMem, hBitmap);
    std::vector<COLORREF> pixels = ReadDib(hMem, 0, 0, bm.bmWidth, bm.bmHeight);
    ::SelectObject(hMem, hOld);
    ::DeleteDC(hMem);
    ::ReleaseDC(nullptr, hScreen);
    ::DeleteObject(hBitmap);
    return pixels;
}

}  // namespace ctltest
