// The check-box tree in a real tree view: state images on the screen, real mouse clicks on
// the box, the label and the expand button, reflected from a CWnd parent, and Space.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

#include "controls/CheckTreeCtrl.h"
#include "res/resource.h"
#include "support/GdiCount.h"
#include "tests/win/control_host.h"

namespace {

using ctltest::Pixels;
using ctltest::TestParent;

class CheckTreeControl : public ::testing::Test {
protected:
    ctltest::CommonControls6 m_controls6;   // as in Setup.exe
    void SetUp() override
    {
        m_parent = std::make_unique<TestParent>(260, 220);
        const HWND hWnd = m_parent->CreateChild(WC_TREEVIEWA, "",
                                                WS_BORDER | WS_TABSTOP | TVS_HASBUTTONS | TVS_HASLINES,
                                                CRect(10, 10, 250, 210), 1004);
        ASSERT_TRUE(m_tree.SubclassWindow(hWnd));
        m_tree.InstallCheckImages();
        // Like the options page: a locked root with locked fixed children, then components.
        m_root = Insert("MELVORA", TVI_ROOT, 3);
        m_player = Insert("player", m_root, 3);
        m_updater = Insert("updater", m_root, 3);
        m_extra = Insert("extra", m_root, 1);
        m_extraPart = Insert("extra part", m_extra, 0);
        m_extraPartChild = Insert("extra part child", m_extraPart, 2);
        m_tree.Expand(m_root, TVE_EXPAND);
        ctltest::PumpMessages();
    }
    void TearDown() override
    {
        m_tree.UnsubclassWindow();
        m_parent.reset();
    }

    HTREEITEM Insert(const char* text, HTREEITEM hParent, int state)
    {
        const HTREEITEM hItem = m_tree.InsertItem(TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE, text, 0, 1, 0, 0, 0,
                                                  hParent, TVI_LAST);
        m_tree.SetCheckState(hItem, state);
        return hItem;
    }

    // The middle of the stretch of the item's row where the tree's hit test says exactly flags.
    POINT Spot(HTREEITEM hItem, UINT flags)
    {
        CRect row;
        m_tree.GetItemRect(hItem, &row, FALSE);
        const long y = (row.top + row.bottom) / 2;
        long first = -1, last = -1;
        for (long x = 0; x < row.right; ++x) {
            UINT hit = 0;
            if (m_tree.HitTest(POINT{x, y}, &hit) == hItem && hit == flags) {
                if (first < 0)
                    first = x;
                last = x;
            }
        }
        EXPECT_GE(first, 0) << "no spot with hit flags " << flags;
        return POINT{(first + last) / 2, y};
    }
    void ClickOn(HTREEITEM hItem, UINT flags) { ctltest::Click(m_tree, Spot(hItem, flags)); }
    int State(HTREEITEM hItem) const { return m_tree.GetCheckState(hItem); }
    // The item's image and selected image, as image * 10 + selected.
    int Images(HTREEITEM hItem) const
    {
        int image = -1, selected = -1;
        m_tree.GetItemImage(hItem, image, selected);
        return image * 10 + selected;
    }
    // True when the 16 x 16 cell `index` of bitmap 139 shows in the item's row, left of its label.
    bool ShowsStateImage(HTREEITEM hItem, int index)
    {
        int width = 0, height = 0;
        const std::vector<COLORREF> cells = ctltest::BitmapPixels(IDB_TREE_STATES, &width, &height);
        const Pixels shot = Pixels::Capture(m_tree);
        CRect row, label;
        m_tree.GetItemRect(hItem, &row, FALSE);
        m_tree.GetItemRect(hItem, &label, TRUE);
        for (long top = row.top - 2; top <= row.bottom - 14; ++top)
            for (long left = 0; left + 16 <= label.left; ++left) {
                bool same = top >= 0;
                for (int y = 1; same && y < 14 && top + y < shot.Height(); ++y)
                    for (int x = 0; same && x < 13; ++x)
                        same = shot.At(int(left + x), int(top + y)) == cells[size_t(y) * width + index * 16 + x];
                if (same)
                    return true;
            }
        return false;
    }

    std::unique_ptr<TestParent> m_parent;
    CCheckTreeCtrl m_tree{IDB_TREE_STATES};
    HTREEITEM m_root = nullptr, m_player = nullptr, m_updater = nullptr;
    HTREEITEM m_extra = nullptr, m_extraPart = nullptr, m_extraPartChild = nullptr;
};

TEST_F(CheckTreeControl, CheckImagesAreSixCellsOfSixteenPixels)
{
    EXPECT_EQ(m_tree.m_stateImages.GetImageCount(), 6);
    int cx = 0, cy = 0;
    ::ImageList_GetIconSize(m_tree.m_stateImages, &cx, &cy);
    EXPECT_EQ(cx, 16);
    EXPECT_EQ(cy, 16);
    EXPECT_EQ(reinterpret_cast<HIMAGELIST>(m_tree.SendMessage(TVM_GETIMAGELIST, TVSIL_STATE)),
              m_tree.m_stateImages.GetSafeHandle());
}

TEST_F(CheckTreeControl, StateImagesOnTheScreenFollowTheCheckStates)
{
    for (int state = 0; state <= 4; ++state) {
        m_tree.SetCheckState(m_extra, state);
        EXPECT_EQ(State(m_extra), state);
        for (int other = 1; other <= 5; ++other)
            EXPECT_EQ(ShowsStateImage(m_extra, other), other == state + 1) << "state " << state << " image " << other;
    }
    m_tree.SetCheckState(m_extra, -1);
    EXPECT_EQ(State(m_extra), -1);
    for (int other = 1; other <= 5; ++other)
        EXPECT_FALSE(ShowsStateImage(m_extra, other));
}

TEST_F(CheckTreeControl, ClickingTheBoxTogglesItAndEverythingBelow)
{
    m_tree.Expand(m_extra, TVE_EXPAND);
    ClickOn(m_extra, TVHT_ONITEMSTATEICON);
    EXPECT_EQ(State(m_extra), 0);
    EXPECT_EQ(State(m_extraPart), 0);
    EXPECT_EQ(State(m_extraPartChild), 0);   // a locked grandchild is overwritten like any other
    EXPECT_EQ(State(m_root), 3);

    ClickOn(m_extra, TVHT_ONITEMSTATEICON);
    EXPECT_EQ(State(m_extra), 1);
    EXPECT_EQ(State(m_extraPart), 1);
    EXPECT_EQ(State(m_extraPartChild), 1);

    // The tree's click came back to the tree itself; the parent never heard of it.
    for (int code : m_parent->m_notifies)
        EXPECT_NE(code, NM_CLICK);
}

TEST_F(CheckTreeControl, ClickingALockedBoxKeepsItAndLocksEverythingBelow)
{
    m_tree.SetCheckState(m_extraPart, 0);
    ClickOn(m_root, TVHT_ONITEMSTATEICON);
    EXPECT_EQ(State(m_root), 3);
    for (HTREEITEM hItem : {m_player, m_updater, m_extra, m_extraPart, m_extraPartChild})
        EXPECT_EQ(State(hItem), 3);
}

TEST_F(CheckTreeControl, APartlyCheckedBoxBecomesChecked)
{
    m_tree.SetCheckState(m_extra, 4);
    ClickOn(m_extra, TVHT_ONITEMSTATEICON);
    EXPECT_EQ(State(m_extra), 1);
    EXPECT_EQ(State(m_extraPart), 1);
}

TEST_F(CheckTreeControl, ClicksOnTheLabelOrTheExpandButtonChangeNoState)
{
    ClickOn(m_extra, TVHT_ONITEMLABEL);
    EXPECT_EQ(m_tree.GetSelectedItem(), m_extra);   // the click did arrive
    EXPECT_EQ(State(m_extra), 1);

    ClickOn(m_extra, TVHT_ONITEMBUTTON);
    EXPECT_TRUE(m_tree.GetItemState(m_extra, TVIS_EXPANDED) & TVIS_EXPANDED);
    EXPECT_EQ(State(m_extra), 1);
    EXPECT_EQ(State(m_extraPart), 0);
}

// The keys that reach the system's tree procedure beneath ours.
std::vector<std::pair<UINT, WPARAM>> g_stockTreeKeys;
WNDPROC g_stockTreeProc = nullptr;

LRESULT CALLBACK RecordStockTreeKeys(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_KEYDOWN || message == WM_KEYUP || message == WM_CHAR)
        g_stockTreeKeys.emplace_back(message, wParam);
    return ::CallWindowProcA(g_stockTreeProc, hWnd, message, wParam, lParam);
}

TEST_F(CheckTreeControl, SpaceDoesToTheSelectedItemWhatAClickOnItsBoxDoes)
{
    // Record what the stock tree gets: it must never see Space (it would search for an item
    // name starting with a blank, or beep).
    const HWND hTree = m_tree.UnsubclassWindow();
    g_stockTreeProc = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrA(hTree, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&RecordStockTreeKeys)));
    ASSERT_TRUE(m_tree.SubclassWindow(hTree));
    g_stockTreeKeys.clear();
    m_tree.Expand(m_extra, TVE_EXPAND);
    m_tree.SelectItem(m_extra);
    ::SetFocus(m_tree);
    ctltest::PumpMessages();

    ctltest::PressKey(VK_SPACE);
    EXPECT_EQ(State(m_extra), 0);
    EXPECT_EQ(State(m_extraPart), 0);
    EXPECT_EQ(State(m_extraPartChild), 0);
    EXPECT_EQ(State(m_updater), 3);
    EXPECT_EQ(m_tree.GetSelectedItem(), m_extra);
    EXPECT_TRUE(ShowsStateImage(m_extra, 1));   // repainted at once

    ctltest::PressKey(VK_SPACE, 2);   // held down: one press, one toggle
    EXPECT_EQ(State(m_extra), 1);
    EXPECT_EQ(State(m_extraPartChild), 1);

    m_tree.SelectItem(m_root);
    ctltest::PressKey(VK_SPACE);
    EXPECT_EQ(State(m_root), 3);
    for (HTREEITEM hItem : {m_player, m_extra, m_extraPartChild})
        EXPECT_EQ(State(hItem), 3);

    // The arrow keys still move the selection.
    ctltest::PressKey(VK_DOWN);
    EXPECT_EQ(m_tree.GetSelectedItem(), m_player);
    const std::pair<UINT, WPARAM> down(WM_KEYDOWN, VK_DOWN);
    EXPECT_NE(std::find(g_stockTreeKeys.begin(), g_stockTreeKeys.end(), down), g_stockTreeKeys.end());
    for (const auto& key : g_stockTreeKeys)
        EXPECT_FALSE((key.first == WM_KEYDOWN && key.second == VK_SPACE) || (key.first == WM_CHAR && key.second == ' '))
            << "message " << key.first;
}

TEST_F(CheckTreeControl, ExpandingAndCollapsingSwitchTheItemImage)
{
    EXPECT_EQ(Images(m_extra), 1);   // inserted with image 0 and selected image 1
    ClickOn(m_extra, TVHT_ONITEMBUTTON);
    EXPECT_EQ(Images(m_extra), 11);
    ClickOn(m_extra, TVHT_ONITEMBUTTON);
    EXPECT_EQ(Images(m_extra), 0);

    // Items with other images keep them.
    m_tree.SetItem(m_extra, TVIF_IMAGE | TVIF_SELECTEDIMAGE, nullptr, 5, 5, 0, 0, 0);
    ClickOn(m_extra, TVHT_ONITEMBUTTON);
    EXPECT_TRUE(m_tree.GetItemState(m_extra, TVIS_EXPANDED) & TVIS_EXPANDED);
    EXPECT_EQ(Images(m_extra), 55);

    for (int code : m_parent->m_notifies)
        EXPECT_NE(code, int(TVN_ITEMEXPANDEDA));
}

TEST_F(CheckTreeControl, ReinstallingImagesAndPaintingLeakNoGdiObject)
{
    Pixels::Capture(m_tree);
    const int before = testutil::CountGdiObjects();
    ASSERT_GT(before, 0);
    for (int i = 0; i < 100; ++i)
        m_tree.InstallCheckImages();
    for (int i = 0; i < 1000; ++i) {
        m_tree.SetCheckState(m_extra, i % 5);
        m_tree.RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    }
    EXPECT_EQ(testutil::CountGdiObjects(), before);
    EXPECT_EQ(m_tree.m_stateImages.GetImageCount(), 6);
}

}  // namespace
