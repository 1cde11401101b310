#pragma once

// The application's main window, class "WMPlayerApp", with its library tree-view control (id
// 1007) and what keeps the tree current: a sink on the player's events that makes the tree's
// items again when the media or the playlists change. WM_CLOSE destroys the window and ends the
// thread's message loop. Made, used and destroyed on the user-interface thread.

#include <memory>

#include "platform/com/DispatchSink.h"
#include "platform/player/app/LibraryTree.h"

namespace platform::player {

inline constexpr char16_t kPlayerWindowClass[] = u"WMPlayerApp";
inline constexpr std::int32_t kLibraryTreeId = 1007;

class CLibraryFollower final : public DispatchSink<CLibraryFollower, _WMPOCXEvents> {
 public:
  explicit CLibraryFollower(LibraryTree& tree) : m_tree(tree) {}
  HRESULT OnMediaCollectionChange() {
    m_tree.RefreshMusic();
    return S_OK;
  }
  HRESULT OnPlaylistCollectionChange() {
    m_tree.RefreshPlaylists();
    return S_OK;
  }
  using SinkMap = platform::SinkMap<
      SinkEntry<_WMPOCXEvents::MediaCollectionChange, &CLibraryFollower::OnMediaCollectionChange>,
      SinkEntry<_WMPOCXEvents::PlaylistCollectionChange,
                &CLibraryFollower::OnPlaylistCollectionChange>>;

 private:
  LibraryTree& m_tree;
};

class PlayerWindow {
 public:
  // Null when the window or its tree cannot be made.
  static std::unique_ptr<PlayerWindow> Create(const std::shared_ptr<Engine>& engine,
                                              TreeNames names);
  PlayerWindow(const PlayerWindow&) = delete;
  PlayerWindow& operator=(const PlayerWindow&) = delete;
  // Stops following the library and destroys the window when it is still there.
  ~PlayerWindow();

 private:
  PlayerWindow(HWND window, HWND tree, const std::shared_ptr<Engine>& engine, TreeNames names);
  static LRESULT Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  const HWND m_window;
  const ComPtr<IWMPPlayer4> m_player;
  LibraryTree m_tree;
  const ComPtr<CLibraryFollower> m_follower;
};

}  // namespace platform::player
