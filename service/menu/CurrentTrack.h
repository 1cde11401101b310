#pragma once

// What the now-playing node last read of the playing track, for the session threads that build
// the player-status page. Several session threads may read and write them.

#include <atomic>
#include <cstdint>
#include <mutex>

#include "platform/base/Bstr.h"

// A text that several threads read and write whole.
class CSharedText {
 public:
  _bstr_t Get() const {
    std::lock_guard l_Lock(m_Lock);
    return m_bstrText;
  }
  void Set(_bstr_t p_bstrText) {
    std::lock_guard l_Lock(m_Lock);
    m_bstrText = std::move(p_bstrText);
  }

 private:
  mutable std::mutex m_Lock;
  _bstr_t m_bstrText;
};

extern CSharedText g_bstrCurrentTitle;
extern CSharedText g_bstrCurrentArtist;
extern CSharedText g_bstrCurrentAlbum;
// The track's "Duration" attribute, seconds as decimal text.
extern CSharedText g_bstrCurrentDuration;
// The player's position in whole seconds.
extern std::atomic<std::int32_t> g_nElapsedSeconds;
// True while the display shows the playing track rather than a menu list; the device threads
// read it too.
extern std::atomic<bool> g_bCurrentlyPlayingDisplayed;
