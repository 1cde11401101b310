#include "hook/tests/TreeItems.h"

#include "platform/base/Text.h"
#include "platform/user/Window.h"

namespace hooktest {

HTREEITEM TreeChild(HWND tree, HTREEITEM parent, const std::u16string& text) {
  char buffer[512];
  for (auto item = static_cast<HTREEITEM>(
           platform::SendMessage(tree, TVM_GETNEXTITEM, TVGN_CHILD, static_cast<LPARAM>(parent)));
       item != 0; item = static_cast<HTREEITEM>(platform::SendMessage(
                      tree, TVM_GETNEXTITEM, TVGN_NEXT, static_cast<LPARAM>(item)))) {
    TVITEMA read{TVIF_TEXT, item, 0, 0, buffer, sizeof buffer};
    platform::SendMessage(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&read));
    if (platform::FromAnsi(buffer) == text) {
      return item;
    }
  }
  TVINSERTSTRUCTW insert{parent == 0 ? TVI_ROOT : parent, TVI_LAST, TVIF_TEXT, text.c_str()};
  return static_cast<HTREEITEM>(
      platform::SendMessage(tree, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert)));
}

}  // namespace hooktest
