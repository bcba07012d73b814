// The player as the demo installs it: a small window that says what it is, so a person
// clicking through the demo sees the installed program start at the end. It closes by
// itself after a while when MELVORA_DEMO_AUTOCLOSE is set (the headless demo).
#include <windows.h>

namespace {

const char kClassName[] = "MelvoraDemoPlayer";

LRESULT CALLBACK PlayerProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC hDC = ::BeginPaint(hWnd, &ps);
        RECT rc;
        ::GetClientRect(hWnd, &rc);
        HBRUSH hBrush = ::CreateSolidBrush(RGB(76, 92, 229));
        ::FillRect(hDC, &rc, hBrush);
        ::DeleteObject(hBrush);
        ::SetBkMode(hDC, TRANSPARENT);
        ::SetTextColor(hDC, RGB(255, 255, 255));
        const char text[] = "MELVORA 플레이어\r\n\r\n설치가 끝나 플레이어가 실행되었습니다.\r\n(데모용 프로그램)";
        rc.top += 30;
        ::DrawTextA(hDC, text, -1, &rc, DT_CENTER | DT_NOPREFIX);
        ::EndPaint(hWnd, &ps);
        return 0;
    }
    case WM_TIMER:
        ::DestroyWindow(hWnd);
        return 0;
    case WM_DESTROY:
        ::PostQuitMessage(0);
        return 0;
    default:
        return ::DefWindowProcA(hWnd, message, wParam, lParam);
    }
}

}  // namespace

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int nCmdShow)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = PlayerProc;
    wc.hInstance = hInstance;
    wc.hCursor = ::LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));
    wc.lpszClassName = kClassName;
    ::RegisterClassA(&wc);
    HWND hWnd = ::CreateWindowExA(0, kClassName, "MELVORA", WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU, CW_USEDEFAULT,
                                  CW_USEDEFAULT, 360, 200, nullptr, nullptr, hInstance, nullptr);
    if (!hWnd)
        return 1;
    char autoClose[8] = {};
    if (::GetEnvironmentVariableA("MELVORA_DEMO_AUTOCLOSE", autoClose, sizeof autoClose))
        ::SetTimer(hWnd, 1, 5000, nullptr);
    ::ShowWindow(hWnd, nCmdShow);
    MSG msg;
    while (::GetMessageA(&msg, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
    return 0;
}
