// Stand-in for a running player: a GUI program that only waits. Tests copy it under the
// player's file name and start it. It ends on its own after five minutes, so a copy that
// a failed test leaves behind does not linger.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    ::SetTimer(nullptr, 0, 5 * 60 * 1000, nullptr);
    MSG msg;
    while (::GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == WM_TIMER)
            break;
        ::DispatchMessageA(&msg);
    }
    return 0;
}
