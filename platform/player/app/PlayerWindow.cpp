#include "platform/player/app/PlayerWindow.h"

#include "platform/user/Window.h"

namespace platform::player {

std::unique_ptr<PlayerWindow> PlayerWindow::Create(const std::shared_ptr<Engine>& engine,
                                                   TreeNames names) {
  RegisterTreeViewClass();
  RegisterClass(kPlayerWindowClass, &PlayerWindow::Procedure);
  const HWND window = CreateWindow(kPlayerWindowClass, u"Player", WS_OVERLAPPEDWINDOW | WS_VISIBLE);
  const HWND tree =
      window == 0 ? 0 : CreateWindow(WC_TREEVIEW, u"", WS_CHILD | WS_VISIBLE, window, kLibraryTreeId);
  if (tree == 0) {
    if (window != 0) DestroyWindow(window);
    return nullptr;
  }
  return std::unique_ptr<PlayerWindow>(new PlayerWindow(window, tree, engine, std::move(names)));
}

PlayerWindow::PlayerWindow(HWND window, HWND tree, const std::shared_ptr<Engine>& engine,
                           TreeNames names)
    : m_window(window),
      m_player(engine->Player()),
      m_tree(tree, *engine, std::move(names)),
      m_follower(MakeObject<CLibraryFollower>(m_tree)) {
  m_tree.Fill();
  m_follower->DispEventAdvise(m_player.get());
}

PlayerWindow::~PlayerWindow() {
  m_follower->DispEventUnadvise(m_player.get());
  if (IsWindow(m_window)) DestroyWindow(m_window);
}

LRESULT PlayerWindow::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProc(window, message, wParam, lParam);
}

}  // namespace platform::player
