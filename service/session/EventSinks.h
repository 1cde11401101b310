#pragma once

// The session thread's two event sinks: the player's events and the per-session server's
// navigation events. Each turns the events that matter into records of its session on the event
// queue and wakes the service; the media collection change and the user logoff only set an event.
// A sink is called on the thread that advised it (the session's apartment) and only there.

#include <cstdint>
#include <memory>

#include "platform/com/ComPtr.h"
#include "platform/com/DispatchSink.h"
#include "platform/kernel/Event.h"
#include "platform/player/PlayerInterfaces.h"
#include "service/session/MediaPlayerEvents.h"
#include "server/WMPProxyInterface.h"

// Queues records of one session and sets "RemoteMediaPlayerEvent".
class CSessionRecordQueue {
 public:
  explicit CSessionRecordQueue(std::uint32_t p_dwSessionId);
  // Appends the record made by `p_Make`; a record that cannot be allocated is logged and lost.
  template <class Make>
  void Queue(Make p_Make) {
    try {
      Append(p_Make());
    } catch (const std::bad_alloc&) {
      LogLost();
    }
  }

 private:
  void Append(std::unique_ptr<CMediaPlayerEventData> p_pRecord);
  void LogLost() const;

  const std::uint32_t m_dwSessionId;
  platform::Event m_hMediaPlayerEvent;
};

class CWMPEventsSink final : public platform::DispatchSink<CWMPEventsSink, _WMPOCXEvents> {
 public:
  explicit CWMPEventsSink(std::uint32_t p_dwSessionId);

  HRESULT OnPlaylistChangeEvent(IUnknown* p_pPlaylist, std::int32_t p_nChangeType);
  HRESULT OnPlaylistCollectionChange();
  HRESULT OnPlaylistCollectionPlaylistAdded(BSTR p_bstrName);
  HRESULT OnPlaylistCollectionPlaylistRemoved(BSTR p_bstrName);
  HRESULT OnCurrentPlaylistItemAvailable(BSTR p_bstrItem);
  HRESULT OnPlayStateChangeEvent(std::int32_t p_nNewState);
  HRESULT OnMediaCollectionChange();
  HRESULT OnCurrentItemChange(IUnknown* p_pMedia);
  HRESULT OnMediaChange(IUnknown* p_pMedia);
  HRESULT OnMediaCollectionAttributeStringAdded(BSTR p_bstrName, BSTR p_bstrValue);
  HRESULT OnMediaCollectionAttributeStringChanged(BSTR p_bstrName, BSTR p_bstrOldValue,
                                                  BSTR p_bstrNewValue);
  HRESULT OnMediaCollectionAttributeStringRemoved(BSTR p_bstrName, BSTR p_bstrValue);
  HRESULT OnPlayerDockedStateChanged();
  HRESULT OnModeChanged(BSTR p_bstrMode, VARIANT_BOOL p_vbValue);

  using SinkMap = platform::SinkMap<
      platform::SinkEntry<_WMPOCXEvents::PlaylistChange, &CWMPEventsSink::OnPlaylistChangeEvent>,
      platform::SinkEntry<_WMPOCXEvents::PlaylistCollectionChange,
                          &CWMPEventsSink::OnPlaylistCollectionChange>,
      platform::SinkEntry<_WMPOCXEvents::PlaylistCollectionPlaylistAdded,
                          &CWMPEventsSink::OnPlaylistCollectionPlaylistAdded>,
      platform::SinkEntry<_WMPOCXEvents::PlaylistCollectionPlaylistRemoved,
                          &CWMPEventsSink::OnPlaylistCollectionPlaylistRemoved>,
      platform::SinkEntry<_WMPOCXEvents::CurrentPlaylistItemAvailable,
                          &CWMPEventsSink::OnCurrentPlaylistItemAvailable>,
      platform::SinkEntry<_WMPOCXEvents::PlayStateChange, &CWMPEventsSink::OnPlayStateChangeEvent>,
      platform::SinkEntry<_WMPOCXEvents::MediaCollectionChange,
                          &CWMPEventsSink::OnMediaCollectionChange>,
      platform::SinkEntry<_WMPOCXEvents::CurrentItemChange, &CWMPEventsSink::OnCurrentItemChange>,
      platform::SinkEntry<_WMPOCXEvents::MediaChange, &CWMPEventsSink::OnMediaChange>,
      platform::SinkEntry<_WMPOCXEvents::MediaCollectionAttributeStringAdded,
                          &CWMPEventsSink::OnMediaCollectionAttributeStringAdded>,
      platform::SinkEntry<_WMPOCXEvents::MediaCollectionAttributeStringChanged,
                          &CWMPEventsSink::OnMediaCollectionAttributeStringChanged>,
      platform::SinkEntry<_WMPOCXEvents::MediaCollectionAttributeStringRemoved,
                          &CWMPEventsSink::OnMediaCollectionAttributeStringRemoved>,
      platform::SinkEntry<_WMPOCXEvents::PlayerDockedStateChange,
                          &CWMPEventsSink::OnPlayerDockedStateChanged>,
      platform::SinkEntry<_WMPOCXEvents::ModeChange, &CWMPEventsSink::OnModeChanged>>;

 private:
  CSessionRecordQueue m_Records;
  platform::Event m_hMediaCollectionChange;
};

class CWMPNavigationSink final
    : public platform::DispatchSink<CWMPNavigationSink, _IWMPEventSinkEvents> {
 public:
  explicit CWMPNavigationSink(std::uint32_t p_dwSessionId);

  HRESULT OnWMPNavigationChanged(std::int32_t p_nType, SAFEARRAY* p_pLines);
  HRESULT OnUserLogoff(std::int32_t p_nSessionId);

  using SinkMap = platform::SinkMap<
      platform::SinkEntry<_IWMPEventSinkEvents::WMPNavigationChanged,
                          &CWMPNavigationSink::OnWMPNavigationChanged>,
      platform::SinkEntry<_IWMPEventSinkEvents::UserLogoff, &CWMPNavigationSink::OnUserLogoff>>;

 private:
  CSessionRecordQueue m_Records;
};

// Create the sink of the session and advise it on the player, or on the server's object; the
// HRESULT of the last step taken. On the session thread.
HRESULT EstablishEventsConnectionPoint(const platform::ComPtr<IWMPPlayer4>& p_spPlayer,
                                       std::uint32_t p_dwSessionId,
                                       platform::ComPtr<CWMPEventsSink>& p_pSink);
HRESULT EstablishNavigationEventsConnectionPoint(const platform::ComPtr<IWMPProxy>& p_pProxy,
                                                 std::uint32_t p_dwSessionId,
                                                 platform::ComPtr<CWMPNavigationSink>& p_pSink);
