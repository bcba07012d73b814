// One optional extra component offered by the product web server's component list.
#pragma once

#include "CString.h"

// The tree item handle of the options tree (the same declaration as the system's).
struct _TREEITEM;
typedef struct _TREEITEM* HTREEITEM;

struct ComponentEntry {
    HTREEITEM hItem = nullptr;  // its item in the options tree, set when the tree is filled
    CString name;               // display name: tree item text and install status text
    CString description;        // shown while the mouse rests on the tree item
    CString pageUrl;            // page the embedded browser shows while the item is selected
    CString checkPath;          // file or folder whose existence means "already installed"
    CString mandatoryFlag;      // exactly "1": the component cannot be deselected
    CString localPath;          // where the downloaded installer is stored and started from
    CString url;                // where the installer is downloaded from

    bool IsMandatory() const { return mandatoryFlag == "1"; }
};

// The component list always has room for exactly this many entries.
const int kComponentCapacity = 10;
