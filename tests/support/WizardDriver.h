// Drives the real Setup.exe from another process, as a user would: finds the wizard,
// presses its buttons by control id, clicks and hovers over tree items with the mouse,
// types keys, reads texts, check states, page state, the focus and what assistive
// technology is told, and takes screenshots.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

class WizardDriver {
public:
    struct TreeItem {
        HTREEITEM hItem = nullptr;
        std::string text;
        int checkState = -1;   // state image index - 1
    };

    WizardDriver() = default;
    ~WizardDriver();
    WizardDriver(const WizardDriver&) = delete;
    WizardDriver& operator=(const WizardDriver&) = delete;

    // Copies Setup.exe into folder as fileName and starts it there, with the arguments given.
    bool Start(const std::string& folder, const std::string& fileName, const std::string& arguments = std::string());
    // Starts a setup program where it lies, in its own folder.
    bool StartProgram(const std::string& path, const std::string& arguments = std::string());
    // Waits until the wizard window is visible; then until the start-up work has filled
    // the options tree (the dialog is idle on page 1).
    bool WaitForWizard(DWORD timeoutMs = 30000);
    bool WaitForTree(DWORD timeoutMs = 30000);

    HWND Dialog() const { return m_hDlg; }
    HWND Control(int id) const { return ::GetDlgItem(m_hDlg, id); }
    DWORD ProcessId() const { return m_processId; }
    bool IsRunning() const;
    // Ends the program if it still runs and forgets it.
    void Terminate();
    // The program's exit code once it has ended, or -1 after timeoutMs.
    int WaitForExit(DWORD timeoutMs = 30000);

    bool IsVisible(int id) const;
    bool IsEnabled(int id) const;
    std::string Text(int id) const;
    // A control's rectangle in the dialog's client coordinates.
    RECT ControlRect(int id) const;
    // BM_GETCHECK of a check box.
    bool IsChecked(int id) const;

    // The page the wizard shows, read off its controls (0 when it cannot tell).
    int CurrentPage() const;
    bool WaitForPage(int page, DWORD timeoutMs = 30000) const;

    // Clicks a button (BM_CLICK), as a mouse click would; returns once it was handled.
    bool Press(int id);
    bool PressNext() { return Press(1001); }
    bool PressBack() { return Press(1000); }
    bool PressCancel() { return Press(IDCANCEL); }
    // Keyboard and window-manager ways of closing.
    void PressEscape();
    void PressEnter();   // to the focused control, as the keyboard would
    void PressAltF4();
    void ClickCloseBox();   // what the caption's close box sends

    // Real keyboard input, which goes to the window with the focus: the wizard is brought
    // to the front first.
    bool TakeKeyboard();
    // Presses and releases a key (with Shift held, if asked), then waits until the wizard
    // has handled it.
    void Key(WORD vk, bool shift = false);
    // The control id of the wizard's focus window, 0 for the dialog itself, -1 for none.
    int FocusedId() const;
    // Presses Tab (or Shift+Tab) until the control has the focus, at most `presses` times.
    bool TabTo(int id, bool backwards = false, int presses = 12);

    // What assistive technology is told about a control (AccessibleObjectFromWindow).
    struct Accessible {
        bool ok = false;
        std::string name;   // in the program's code page
        long role = 0;
        long state = 0;
    };
    Accessible AccessibleOf(int id) const;

    // The options tree.
    std::vector<TreeItem> TreeItems() const;
    bool FindTreeItem(const std::string& text, TreeItem* item) const;
    int CheckState(HTREEITEM hItem) const;
    // Gives an item a check state (its state image index - 1), as the setup's tree does.
    bool SetCheckState(HTREEITEM hItem, int state) const;
    // A real mouse click on the item's check box (the state icon).
    bool ClickStateIcon(HTREEITEM hItem);
    // A real mouse click on the item's label.
    bool ClickLabel(HTREEITEM hItem);
    // Moves the real mouse pointer over the item's label, or to a point of the dialog.
    bool HoverItem(HTREEITEM hItem);
    void HoverDialogPoint(int x, int y);
    bool SelectItem(HTREEITEM hItem);
    HTREEITEM SelectedItem() const;

    // The URL the embedded browser was last asked to show.
    std::string BrowserUrl() const { return Text(1008); }

    // Saves the wizard window as a 24-bit BMP file.
    bool Screenshot(const std::string& bmpPath) const;

private:
    bool ItemLabelRect(HTREEITEM hItem, RECT* rc) const;
    UINT HitTest(POINT clientPt, HTREEITEM* hItem) const;
    // Reads a structure the tree fills in, through memory of the Setup process.
    bool RemoteCall(UINT message, WPARAM wParam, void* data, size_t size, size_t extra, LRESULT* result) const;

    HANDLE m_hProcess = nullptr;
    DWORD m_processId = 0;
    HWND m_hDlg = nullptr;
};

// Moves the pointer to a screen point and clicks the left button there.
void ClickScreen(POINT pt);
// Saves what the screen shows of a window (any program's) as a 24-bit BMP file.
bool SaveWindowPicture(HWND hWnd, const std::string& bmpPath);
