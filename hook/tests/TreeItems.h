#pragma once

// Building the tests' tree views: the item of a text under a parent, made when it is not there.
// The thread that owns the tree view.

#include <string>

#include "platform/user/TreeView.h"

namespace hooktest {

HTREEITEM TreeChild(HWND tree, HTREEITEM parent, const std::u16string& text);

}  // namespace hooktest
