#include "support/WizardDriver.h"

#include <oleacc.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "support/SetupRunner.h"
#include "support/TestUtil.h"

namespace {

const int kBack = 1000;
const int kNext = 1001;
const int kTerms = 1002;
const int kTree = 1004;

// Remote memory in another process, freed when it goes.
class RemoteBlock {
public:
    RemoteBlock(HANDLE hProcess, size_t size)
        : m_hProcess(hProcess),
          m_address(::VirtualAllocEx(hProcess, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE))
    {
    }
    ~RemoteBlock()
    {
        if (m_address)
            ::VirtualFreeEx(m_hProcess, m_address, 0, MEM_RELEASE);
    }
    RemoteBlock(const RemoteBlock&) = delete;
    RemoteBlock& operator=(const RemoteBlock&) = delete;

    char* address() const { return static_cast<char*>(m_address); }
    bool Write(size_t offset, const void* data, size_t size) const
    {
        SIZE_T n = 0;
        return ::WriteProcessMemory(m_hProcess, address() + offset, data, size, &n) && n == size;
    }
    bool Read(size_t offset, void* data, size_t size) const
    {
        SIZE_T n = 0;
        return ::ReadProcessMemory(m_hProcess, address() + offset, data, size, &n) && n == size;
    }

private:
    HANDLE m_hProcess;
    void* m_address;
};

void MoveMouse(POINT pt)
{
    ::SetCursorPos(pt.x, pt.y);
    INPUT input = {};
    input.type = INPUT_MOUSE;
    input.mi.dx = LONG((pt.x * 65535) / (::GetSystemMetrics(SM_CXSCREEN) - 1));
    input.mi.dy = LONG((pt.y * 65535) / (::GetSystemMetrics(SM_CYSCREEN) - 1));
    input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    ::SendInput(1, &input, sizeof input);
}

std::string WindowText(HWND hWnd)
{
    char buffer[4096] = {};
    DWORD_PTR n = 0;
    if (!::SendMessageTimeoutA(hWnd, WM_GETTEXT, sizeof buffer, reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG,
                               10000, &n))
        return std::string();
    return std::string(buffer, n < sizeof buffer ? size_t(n) : sizeof buffer - 1);
}

}  // namespace

void ClickScreen(POINT pt)
{
    // The pointer moves through the display server, and a late motion event of an
    // earlier move can put it back: press only once it stays where it was sent.
    for (int attempt = 0; attempt < 5; ++attempt) {
        MoveMouse(pt);
        ::Sleep(30);
        POINT now = {};
        if (::GetCursorPos(&now) && now.x == pt.x && now.y == pt.y)
            break;
    }
    INPUT inputs[2] = {};
    inputs[0].type = inputs[1].type = INPUT_MOUSE;
    inputs[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    inputs[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    ::SendInput(2, inputs, sizeof inputs[0]);
    ::Sleep(30);
}

WizardDriver::~WizardDriver()
{
    Terminate();
}

void WizardDriver::Terminate()
{
    if (!m_hProcess)
        return;
    if (::WaitForSingleObject(m_hProcess, 0) != WAIT_OBJECT_0) {
        ::TerminateProcess(m_hProcess, 1);
        ::WaitForSingleObject(m_hProcess, 10000);
    }
    ::CloseHandle(m_hProcess);
    m_hProcess = nullptr;
    m_processId = 0;
    m_hDlg = nullptr;
}

bool WizardDriver::Start(const std::string& folder, const std::string& fileName, const std::string& arguments)
{
    const std::string path = folder + "\\" + fileName;
    if (!testutil::CopyFileTo(testutil::SetupExePath(), path))
        return false;
    return StartProgram(path, arguments);
}

bool WizardDriver::StartProgram(const std::string& path, const std::string& arguments)
{
    const std::string folder = path.substr(0, path.rfind('\\'));
    m_hProcess = testutil::StartProcess("\"" + path + "\"" + (arguments.empty() ? "" : " " + arguments), folder.c_str());
    m_processId = m_hProcess ? ::GetProcessId(m_hProcess) : 0;
    return m_hProcess != nullptr;
}

bool WizardDriver::IsRunning() const
{
    return m_hProcess && ::WaitForSingleObject(m_hProcess, 0) == WAIT_TIMEOUT;
}

int WizardDriver::WaitForExit(DWORD timeoutMs)
{
    if (!m_hProcess || ::WaitForSingleObject(m_hProcess, timeoutMs) != WAIT_OBJECT_0)
        return -1;
    DWORD code = 0;
    ::GetExitCodeProcess(m_hProcess, &code);
    return int(code);
}

bool WizardDriver::WaitForWizard(DWORD timeoutMs)
{
    return testutil::WaitFor(
        [this] {
            m_hDlg = setuprunner::FindWizard(m_processId);
            return m_hDlg != nullptr || !IsRunning();
        },
        timeoutMs) &&
           m_hDlg != nullptr;
}

bool WizardDriver::WaitForTree(DWORD timeoutMs)
{
    return testutil::WaitFor(
        [this] {
            DWORD_PTR count = 0;
            return ::SendMessageTimeoutA(Control(kTree), TVM_GETCOUNT, 0, 0, SMTO_ABORTIFHUNG, 1000, &count) &&
                   count >= 3;
        },
        timeoutMs);
}

bool WizardDriver::IsVisible(int id) const
{
    return (::GetWindowLongA(Control(id), GWL_STYLE) & WS_VISIBLE) != 0;
}

bool WizardDriver::IsEnabled(int id) const
{
    return ::IsWindowEnabled(Control(id)) != FALSE;
}

std::string WizardDriver::Text(int id) const
{
    return WindowText(Control(id));
}

RECT WizardDriver::ControlRect(int id) const
{
    RECT rc = {};
    ::GetWindowRect(Control(id), &rc);
    ::MapWindowPoints(nullptr, m_hDlg, reinterpret_cast<POINT*>(&rc), 2);
    return rc;
}

bool WizardDriver::IsChecked(int id) const
{
    DWORD_PTR state = 0;
    ::SendMessageTimeoutA(Control(id), BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, 10000, &state);
    return state == BST_CHECKED;
}

int WizardDriver::CurrentPage() const
{
    const std::string next = Text(kNext);
    if (next == "\xB8\xB6\xC4\xA7")                     // "마침"
        return 6;
    if (!IsEnabled(kNext))
        return 5;
    if (next == "\xB5\xBF\xC0\xC7\xC7\xD4")             // "동의함"
        return 2;
    if (IsVisible(kTree))
        return 3;
    if (IsVisible(kBack))
        return 4;
    if (!IsVisible(kTerms))
        return 1;
    return 0;
}

bool WizardDriver::WaitForPage(int page, DWORD timeoutMs) const
{
    return testutil::WaitFor([&] { return CurrentPage() == page; }, timeoutMs);
}

bool WizardDriver::Press(int id)
{
    HWND hButton = Control(id);
    if (!::IsWindowVisible(hButton) || !::IsWindowEnabled(hButton))
        return false;   // a user could not press it either
    DWORD_PTR ignored = 0;
    return ::SendMessageTimeoutA(hButton, BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, 60000, &ignored) != 0;
}

void WizardDriver::PressEscape()
{
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    HWND target = m_hDlg;
    if (::GetGUIThreadInfo(::GetWindowThreadProcessId(m_hDlg, nullptr), &info) && info.hwndFocus &&
        (info.hwndFocus == m_hDlg || ::IsChild(m_hDlg, info.hwndFocus)))
        target = info.hwndFocus;
    ::PostMessageA(target, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    ::PostMessageA(target, WM_KEYUP, VK_ESCAPE, 0xC0010001);
}

void WizardDriver::PressEnter()
{
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    HWND target = m_hDlg;
    if (::GetGUIThreadInfo(::GetWindowThreadProcessId(m_hDlg, nullptr), &info) && info.hwndFocus &&
        (info.hwndFocus == m_hDlg || ::IsChild(m_hDlg, info.hwndFocus)))
        target = info.hwndFocus;
    ::PostMessageA(target, WM_KEYDOWN, VK_RETURN, 0x001C0001);
    ::PostMessageA(target, WM_KEYUP, VK_RETURN, 0xC01C0001);
}

void WizardDriver::PressAltF4()
{
    ::PostMessageA(m_hDlg, WM_SYSKEYDOWN, VK_F4, 0x203E0001);   // context code: Alt is down
    ::PostMessageA(m_hDlg, WM_SYSKEYUP, VK_F4, 0xE03E0001);
}

void WizardDriver::ClickCloseBox()
{
    ::PostMessageA(m_hDlg, WM_SYSCOMMAND, SC_CLOSE, 0);
}

bool WizardDriver::TakeKeyboard()
{
    ::SetForegroundWindow(m_hDlg);
    return testutil::WaitFor([this] { return ::GetForegroundWindow() == m_hDlg; }, 5000);
}

void WizardDriver::Key(WORD vk, bool shift)
{
    INPUT inputs[4] = {};
    int n = 0;
    auto add = [&](WORD key, DWORD flags) {
        inputs[n].type = INPUT_KEYBOARD;
        inputs[n].ki.wVk = key;
        inputs[n].ki.wScan = WORD(::MapVirtualKeyA(key, MAPVK_VK_TO_VSC));
        inputs[n].ki.dwFlags = flags;
        ++n;
    };
    if (shift)
        add(VK_SHIFT, 0);
    add(vk, 0);
    add(vk, KEYEVENTF_KEYUP);
    if (shift)
        add(VK_SHIFT, KEYEVENTF_KEYUP);
    ::SendInput(UINT(n), inputs, sizeof inputs[0]);
    // The keys travel through the display server; then the wizard's queue holds them until
    // it has handled everything before this message.
    ::Sleep(150);
    DWORD_PTR ignored = 0;
    ::SendMessageTimeoutA(m_hDlg, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 10000, &ignored);
}

int WizardDriver::FocusedId() const
{
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    if (!::GetGUIThreadInfo(::GetWindowThreadProcessId(m_hDlg, nullptr), &info) || !info.hwndFocus)
        return -1;
    if (info.hwndFocus == m_hDlg)
        return 0;
    // A window inside a control (the browser's page) counts as that control.
    HWND h = info.hwndFocus;
    while (h && ::GetParent(h) != m_hDlg)
        h = ::GetParent(h);
    return h ? ::GetDlgCtrlID(h) : -1;
}

bool WizardDriver::TabTo(int id, bool backwards, int presses)
{
    for (int i = 0; i < presses && FocusedId() != id; ++i)
        Key(VK_TAB, backwards);
    return FocusedId() == id;
}

WizardDriver::Accessible WizardDriver::AccessibleOf(int id) const
{
    Accessible result;
    struct ComScope {
        HRESULT hr = ::CoInitialize(nullptr);
        ~ComScope()
        {
            if (SUCCEEDED(hr))
                ::CoUninitialize();
        }
    } com;
    IAccessible* pAcc = nullptr;
    if (FAILED(::AccessibleObjectFromWindow(Control(id), DWORD(OBJID_CLIENT), __uuidof(IAccessible),
                                            reinterpret_cast<void**>(&pAcc))) ||
        !pAcc)
        return result;
    VARIANT self;
    ::VariantInit(&self);
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    BSTR name = nullptr;
    VARIANT role, state;
    ::VariantInit(&role);
    ::VariantInit(&state);
    result.ok = SUCCEEDED(pAcc->get_accName(self, &name)) && SUCCEEDED(pAcc->get_accRole(self, &role)) &&
                SUCCEEDED(pAcc->get_accState(self, &state));
    if (name) {
        char text[512] = {};
        ::WideCharToMultiByte(CP_ACP, 0, name, -1, text, sizeof text - 1, nullptr, nullptr);
        result.name = text;
        ::SysFreeString(name);
    }
    if (role.vt == VT_I4)
        result.role = role.lVal;
    if (state.vt == VT_I4)
        result.state = state.lVal;
    ::VariantClear(&role);
    ::VariantClear(&state);
    pAcc->Release();
    return result;
}

bool WizardDriver::RemoteCall(UINT message, WPARAM wParam, void* data, size_t size, size_t extra,
                              LRESULT* result) const
{
    RemoteBlock block(m_hProcess, size + extra);
    if (!block.address() || !block.Write(0, data, size))
        return false;
    DWORD_PTR r = 0;
    if (!::SendMessageTimeoutA(Control(kTree), message, wParam, reinterpret_cast<LPARAM>(block.address()),
                               SMTO_ABORTIFHUNG, 10000, &r))
        return false;
    if (result)
        *result = LRESULT(r);
    return block.Read(0, data, size + extra);
}

std::vector<WizardDriver::TreeItem> WizardDriver::TreeItems() const
{
    std::vector<TreeItem> items;
    HWND hTree = Control(kTree);
    // Depth first, parents before children, as the tree shows them when expanded.
    std::vector<HTREEITEM> stack;
    HTREEITEM hRoot = reinterpret_cast<HTREEITEM>(::SendMessageA(hTree, TVM_GETNEXTITEM, TVGN_ROOT, 0));
    for (HTREEITEM h = hRoot; h;
         h = reinterpret_cast<HTREEITEM>(::SendMessageA(hTree, TVM_GETNEXTITEM, TVGN_NEXT, LPARAM(h))))
        stack.push_back(h);
    std::vector<HTREEITEM> order;
    while (!stack.empty()) {
        HTREEITEM h = stack.front();
        stack.erase(stack.begin());
        order.push_back(h);
        std::vector<HTREEITEM> children;
        for (HTREEITEM c = reinterpret_cast<HTREEITEM>(::SendMessageA(hTree, TVM_GETNEXTITEM, TVGN_CHILD, LPARAM(h)));
             c; c = reinterpret_cast<HTREEITEM>(::SendMessageA(hTree, TVM_GETNEXTITEM, TVGN_NEXT, LPARAM(c))))
            children.push_back(c);
        stack.insert(stack.begin(), children.begin(), children.end());
    }
    for (HTREEITEM h : order) {
        struct {
            TVITEMA item;
            char text[1024];
        } data = {};
        data.item.mask = TVIF_TEXT;
        data.item.hItem = h;
        data.item.cchTextMax = sizeof data.text;
        RemoteBlock block(m_hProcess, sizeof data);
        if (!block.address())
            break;
        data.item.pszText = block.address() + offsetof(decltype(data), text);
        block.Write(0, &data, sizeof data);
        DWORD_PTR r = 0;
        ::SendMessageTimeoutA(hTree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(block.address()), SMTO_ABORTIFHUNG,
                              10000, &r);
        block.Read(0, &data, sizeof data);
        data.text[sizeof data.text - 1] = '\0';
        TreeItem item;
        item.hItem = h;
        item.text = data.text;
        item.checkState = CheckState(h);
        items.push_back(item);
    }
    return items;
}

bool WizardDriver::FindTreeItem(const std::string& text, TreeItem* item) const
{
    for (const TreeItem& candidate : TreeItems()) {
        if (candidate.text == text) {
            *item = candidate;
            return true;
        }
    }
    return false;
}

int WizardDriver::CheckState(HTREEITEM hItem) const
{
    DWORD_PTR state = 0;
    ::SendMessageTimeoutA(Control(kTree), TVM_GETITEMSTATE, reinterpret_cast<WPARAM>(hItem), TVIS_STATEIMAGEMASK,
                          SMTO_ABORTIFHUNG, 10000, &state);
    return int((state & TVIS_STATEIMAGEMASK) >> 12) - 1;
}

bool WizardDriver::SetCheckState(HTREEITEM hItem, int state) const
{
    TVITEMA item = {};
    item.mask = TVIF_STATE;
    item.hItem = hItem;
    item.state = INDEXTOSTATEIMAGEMASK(state + 1);
    item.stateMask = TVIS_STATEIMAGEMASK;
    LRESULT ok = 0;
    return RemoteCall(TVM_SETITEMA, 0, &item, sizeof item, 0, &ok) && ok && CheckState(hItem) == state;
}

bool WizardDriver::ItemLabelRect(HTREEITEM hItem, RECT* rc) const
{
    // TVM_GETITEMRECT takes the item in the rectangle it fills.
    RECT data = {};
    static_assert(sizeof data >= sizeof hItem, "an item handle fits in a RECT");
    std::memcpy(&data, &hItem, sizeof hItem);
    LRESULT ok = 0;
    if (!RemoteCall(TVM_GETITEMRECT, TRUE, &data, sizeof data, 0, &ok) || !ok)
        return false;
    *rc = data;
    return true;
}

UINT WizardDriver::HitTest(POINT clientPt, HTREEITEM* hItem) const
{
    TVHITTESTINFO info = {};
    info.pt = clientPt;
    LRESULT r = 0;
    if (!RemoteCall(TVM_HITTEST, 0, &info, sizeof info, 0, &r))
        return 0;
    if (hItem)
        *hItem = reinterpret_cast<HTREEITEM>(r);
    return info.flags;
}

bool WizardDriver::ClickStateIcon(HTREEITEM hItem)
{
    RECT label;
    if (!ItemLabelRect(hItem, &label))
        return false;
    // The state image sits just left of the label; find it by hit-testing.
    const LONG y = (label.top + label.bottom) / 2;
    for (LONG x = label.left - 3; x > label.left - 40 && x >= 0; --x) {
        HTREEITEM hHit = nullptr;
        if (HitTest(POINT{x, y}, &hHit) == TVHT_ONITEMSTATEICON && hHit == hItem) {
            POINT pt = {x - 4, y};
            ::ClientToScreen(Control(kTree), &pt);
            ClickScreen(pt);
            return true;
        }
    }
    return false;
}

bool WizardDriver::ClickLabel(HTREEITEM hItem)
{
    RECT label;
    if (!ItemLabelRect(hItem, &label))
        return false;
    POINT pt = {(label.left + label.right) / 2, (label.top + label.bottom) / 2};
    ::ClientToScreen(Control(kTree), &pt);
    ClickScreen(pt);
    return true;
}

bool WizardDriver::HoverItem(HTREEITEM hItem)
{
    RECT label;
    if (!ItemLabelRect(hItem, &label))
        return false;
    POINT pt = {(label.left + label.right) / 2, (label.top + label.bottom) / 2};
    ::ClientToScreen(Control(kTree), &pt);
    MoveMouse(pt);
    return true;
}

void WizardDriver::HoverDialogPoint(int x, int y)
{
    POINT pt = {x, y};
    ::ClientToScreen(m_hDlg, &pt);
    MoveMouse(pt);
}

bool WizardDriver::SelectItem(HTREEITEM hItem)
{
    DWORD_PTR r = 0;
    return ::SendMessageTimeoutA(Control(kTree), TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(hItem),
                                 SMTO_ABORTIFHUNG, 30000, &r) &&
           r != 0;
}

HTREEITEM WizardDriver::SelectedItem() const
{
    DWORD_PTR r = 0;
    ::SendMessageTimeoutA(Control(kTree), TVM_GETNEXTITEM, TVGN_CARET, 0, SMTO_ABORTIFHUNG, 10000, &r);
    return reinterpret_cast<HTREEITEM>(r);
}

bool WizardDriver::Screenshot(const std::string& bmpPath) const
{
    return SaveWindowPicture(m_hDlg, bmpPath);
}

bool SaveWindowPicture(HWND hWnd, const std::string& bmpPath)
{
    // Let the window finish painting what its last change invalidated.
    DWORD_PTR ignored = 0;
    ::SendMessageTimeoutA(hWnd, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &ignored);
    ::Sleep(400);
    RECT rc;
    if (!::GetWindowRect(hWnd, &rc))
        return false;
    const int width = rc.right - rc.left;
    const int height = rc.bottom - rc.top;
    BITMAPINFOHEADER bih = {};
    bih.biSize = sizeof bih;
    bih.biWidth = width;
    bih.biHeight = height;
    bih.biPlanes = 1;
    bih.biBitCount = 24;
    bih.biCompression = BI_RGB;
    const DWORD stride = (DWORD(width) * 3 + 3) & ~3u;
    bih.biSizeImage = stride * DWORD(height);

    HDC hScreen = ::GetDC(nullptr);
    HDC hMem = ::CreateCompatibleDC(hScreen);
    void* bits = nullptr;
    HBITMAP hBitmap = ::CreateDIBSection(hScreen, reinterpret_cast<BITMAPINFO*>(&bih), DIB_RGB_COLORS, &bits,
                                         nullptr, 0);
    bool ok = false;
    if (hBitmap) {
        HGDIOBJ hOld = ::SelectObject(hMem, hBitmap);
        ::BitBlt(hMem, 0, 0, width, height, hScreen, rc.left, rc.top, SRCCOPY);
        ::GdiFlush();
        BITMAPFILEHEADER bfh = {};
        bfh.bfType = 0x4D42;
        bfh.bfOffBits = sizeof bfh + sizeof bih;
        bfh.bfSize = bfh.bfOffBits + bih.biSizeImage;
        std::string file(reinterpret_cast<const char*>(&bfh), sizeof bfh);
        file.append(reinterpret_cast<const char*>(&bih), sizeof bih);
        file.append(static_cast<const char*>(bits), bih.biSizeImage);
        ok = testutil::WriteFileBytes(bmpPath, file);
        ::SelectObject(hMem, hOld);
        ::DeleteObject(hBitmap);
    }
    ::DeleteDC(hMem);
    ::ReleaseDC(nullptr, hScreen);
    return ok;
}
