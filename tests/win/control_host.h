// What the control tests share: a real parent window bound to a CWnd (so child notifications
// are reflected to the controls, as in the dialog), real mouse clicks, and the pixels a
// window shows on the screen.
#pragma once

#include <windows.h>

#include <vector>

#include "CRect.h"
#include "CWnd.h"

namespace ctltest {

// A visible top-level window at a fixed place of the screen. It records the notifications
// that reach it, that is those its children left alone.
class TestParent : public CWnd {
public:
    TestParent(int width, int height);
    ~TestParent() override;

    // Creates a child of a system class; the test binds its control object with SubclassWindow.
    HWND CreateChild(const char* className, const char* text, DWORD style, const CRect& rect, UINT id) const;

    std::vector<UINT> m_commands;   // notification codes of WM_COMMAND
    std::vector<int> m_notifies;    // codes of WM_NOTIFY

protected:
    BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;
};

// While it lives, windows of the system's control classes are created from common controls
// version 6, as in Setup.exe, whose manifest asks for them (this test program has none).
class CommonControls6 {
public:
    CommonControls6();
    ~CommonControls6();
    CommonControls6(const CommonControls6&) = delete;
    CommonControls6& operator=(const CommonControls6&) = delete;

private:
    HANDLE m_hContext = INVALID_HANDLE_VALUE;
    ULONG_PTR m_cookie = 0;
};

// Handles whatever is queued for this thread, paints included.
void PumpMessages();

// Presses and releases the left button over a client point of a window through the system's
// input queue (the cursor moves there first), then lets the messages be handled.
void Click(HWND hWnd, POINT clientPoint);

// Presses a key through the system's input queue (to the window with the focus), holding
// it down for `downs` key-downs (the later ones arrive as repeats), then lets the messages
// be handled.
void PressKey(WORD vk, int downs = 1);

// The client area of a window as the screen shows it, after its pending paints (or, with
// settle false, exactly as it is now).
class Pixels {
public:
    static Pixels Capture(HWND hWnd, bool settle = true);
    int Width() const { return m_width; }
    int Height() const { return m_height; }
    COLORREF At(int x, int y) const { return m_pixels[size_t(y) * m_width + x]; }
    // How many pixels of an area have exactly this colour.
    int Count(const CRect& area, COLORREF color) const;
    // True when every pixel of the area has the colour.
    bool AllOf(const CRect& area, COLORREF color) const;
    bool operator==(const Pixels& other) const
    {
        return m_width == other.m_width && m_height == other.m_height && m_pixels == other.m_pixels;
    }

private:
    int m_width = 0;
    int m_height = 0;
    std::vector<COLORREF> m_pixels;
};

// The pixels of a bitmap resource of this program, top row first.
std::vector<COLORREF> BitmapPixels(UINT id, int* width, int* height);

}  // namespace ctltest
