// A tree with a check box in front of every item, drawn from its own state image list
// (a bitmap of six 16 x 16 images that the owner names). Check states: -1 no box, 0 unticked, 1 ticked, 2 locked unticked, 3 locked
// ticked, 4 partly ticked. A click on a box toggles it and copies the new state to every
// item below; locked boxes do not change but are still copied down. Space does to the
// selected item what a click on its box does. Expanding and collapsing switch an item's
// image between 1 and 0.
#pragma once

#include "CImageList.h"
#include "CTreeCtrl.h"

// An item's check state: its state image index minus 1.
enum CheckState {
    CheckNoBox = -1,
    CheckUnticked = 0,
    CheckTicked = 1,
    CheckLockedUnticked = 2,
    CheckLockedTicked = 3,
    CheckPartlyTicked = 4,
};

class CCheckTreeCtrl : public CTreeCtrl {
public:
    // nStateBitmapId: the bitmap resource of the check images.
    explicit CCheckTreeCtrl(UINT nStateBitmapId) : m_nStateBitmapId(nStateBitmapId) {}
    ~CCheckTreeCtrl() override;

    // Builds the check images and makes them the tree's state images. Call before inserting.
    void InstallCheckImages();
    void SetCheckState(HTREEITEM hItem, int state) const;
    int GetCheckState(HTREEITEM hItem) const;
    // The click rule: 0 and 4 become 1, 1 becomes 0, others stay; then copied to the subtree.
    void ToggleCheck(HTREEITEM hItem) const;
    // Gives every item below hItem the state, depth first, each parent before its children.
    void SetSubtreeCheckState(HTREEITEM hItem, int state) const;

    CImageList m_stateImages;

protected:
    BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;

private:
    UINT m_nStateBitmapId;

    void OnClick();
    // Space on the selected item; false when the key is not ours.
    bool OnKeyDown(UINT nChar, LPARAM lParam);
    void OnItemExpanded(const NMTREEVIEWA* pInfo) const;
};
