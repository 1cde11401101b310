#include "service/session/EventSinks.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/com/ConnectionPoint.h"
#include "platform/com/SafeArray.h"
#include "platform/kernel/Wait.h"
#include "service/device/ServiceEvents.h"
#include "service/session/tests/SessionFixture.h"

namespace session_test {
namespace {

constexpr std::uint32_t kSession = 4;

bool TakeSet(const platform::Event& p_hEvent) {
  return platform::WaitForObject(p_hEvent.Ref(), platform::Timeout(0)).Signalled(0);
}

// What a queued record says, in a few words.
std::optional<std::u16string> TakeRecordText(std::uint32_t p_dwSessionId) {
  const std::unique_ptr<CMediaPlayerEventData> l_pRecord =
      TakeFirstMediaPlayerEvent(p_dwSessionId);
  if (!l_pRecord) return std::nullopt;
  std::u16string l_Text = platform::Format(std::u16string_view(u"%d"), l_pRecord->GetEventId());
  if (const auto* l_pState = dynamic_cast<CMediaPlayerPlayStateChange*>(l_pRecord.get())) {
    l_Text += platform::Format(std::u16string_view(u" %d"), l_pState->GetNewState());
  } else if (const auto* l_pMode = dynamic_cast<CMediaPlayerModeChange*>(l_pRecord.get())) {
    l_Text += u" " + std::u16string(l_pMode->GetName().view()) +
              (l_pMode->GetModeValue() ? u" true" : u" false");
  } else if (const auto* l_pEntry = dynamic_cast<CPlaylistChanged*>(l_pRecord.get())) {
    l_Text += u" " + std::u16string(l_pEntry->GetName().view()) +
              platform::Format(std::u16string_view(u" %d"), l_pEntry->GetChangeType());
  } else if (const auto* l_pAdded =
                 dynamic_cast<CMediaCollectionAttributeStringAdded*>(l_pRecord.get())) {
    l_Text += u" added " + std::u16string(l_pAdded->GetName().view()) + u"=" +
              std::u16string(l_pAdded->GetAttributeValue().view());
  } else if (const auto* l_pRemoved =
                 dynamic_cast<CMediaCollectionAttributeStringRemoved*>(l_pRecord.get())) {
    l_Text += u" removed " + std::u16string(l_pRemoved->GetName().view()) + u"=" +
              std::u16string(l_pRemoved->GetAttributeValue().view());
  } else if (const auto* l_pChanged =
                 dynamic_cast<CMediaCollectionAttributeStringChanged*>(l_pRecord.get())) {
    l_Text += u" changed " + std::u16string(l_pChanged->GetOldValue().view()) + u">" +
              std::u16string(l_pChanged->GetNewValue().view());
  } else if (const auto* l_pAdd = dynamic_cast<CPlaylistCollectionAdd*>(l_pRecord.get())) {
    l_Text += u" add " + std::u16string(l_pAdd->GetName().view());
  } else if (const auto* l_pDelete = dynamic_cast<CPlaylistCollectionDelete*>(l_pRecord.get())) {
    l_Text += u" delete " + std::u16string(l_pDelete->GetName().view());
  } else if (const auto* l_pPath = dynamic_cast<CWMPNavagationChanged*>(l_pRecord.get())) {
    for (const _bstr_t& l_Line : l_pPath->GetLines()) l_Text += u" " + std::u16string(l_Line.view());
  }
  return l_Text;
}

class EventSinks : public SessionTest {
 protected:
  EventSinks()
      : m_hMediaPlayerEvent(CreateAutoResetEvent(u"RemoteMediaPlayerEvent")),
        m_hCollectionChange(CreateAutoResetEvent(u"OnMediaCollectionChange")),
        m_hLogoff(CreateAutoResetEvent(u"WTS_USER_SESSION_LOGOFF")) {}

  platform::Event m_hMediaPlayerEvent;
  platform::Event m_hCollectionChange;
  platform::Event m_hLogoff;
};

TEST_F(EventSinks, PlayerEventsBecomeRecordsOfTheSession) {
  struct Case {
    const char* event;
    std::function<HRESULT(platform::ConnectionPoint&)> fire;
    std::optional<std::u16string> record;
    bool collectionChange;
  };
  _bstr_t l_bstrRoad(u"Road");
  _bstr_t l_bstrAlbum(u"WM/AlbumTitle");
  _bstr_t l_bstrOld(u"Folk");
  _bstr_t l_bstrNew(u"Jazz");
  using E = _WMPOCXEvents;
  const Case l_Cases[] = {
      {"play state", [](auto& p) { return p.template Fire<E::PlayStateChange>(3); }, u"5101 3",
       false},
      {"playlist added",
       [&](auto& p) { return p.template Fire<E::PlaylistCollectionPlaylistAdded>(l_bstrRoad.GetBSTR()); },
       u"5811 add Road", false},
      {"playlist removed",
       [&](auto& p) {
         return p.template Fire<E::PlaylistCollectionPlaylistRemoved>(l_bstrRoad.GetBSTR());
       },
       u"5812 delete Road", false},
      {"string added",
       [&](auto& p) {
         return p.template Fire<E::MediaCollectionAttributeStringAdded>(l_bstrAlbum.GetBSTR(),
                                                                         l_bstrRoad.GetBSTR());
       },
       u"5808 added WM/AlbumTitle=Road", false},
      {"string removed",
       [&](auto& p) {
         return p.template Fire<E::MediaCollectionAttributeStringRemoved>(l_bstrAlbum.GetBSTR(),
                                                                           l_bstrRoad.GetBSTR());
       },
       u"5809 removed WM/AlbumTitle=Road", false},
      {"string changed",
       [&](auto& p) {
         return p.template Fire<E::MediaCollectionAttributeStringChanged>(
             l_bstrAlbum.GetBSTR(), l_bstrOld.GetBSTR(), l_bstrNew.GetBSTR());
       },
       u"5820 changed Folk>Jazz", false},
      {"null texts",
       [](auto& p) {
         return p.template Fire<E::MediaCollectionAttributeStringAdded>(BSTR{}, BSTR{});
       },
       u"5808 added =", false},
      {"docked", [](auto& p) { return p.template Fire<E::PlayerDockedStateChange>(); }, u"6503",
       false},
      {"mode on",
       [](auto& p) { return p.template Fire<E::ModeChange>(_bstr_t(u"loop").GetBSTR(), VARIANT_TRUE); },
       u"5819 loop true", false},
      {"mode other true",
       [](auto& p) {
         return p.template Fire<E::ModeChange>(_bstr_t(u"shuffle").GetBSTR(), VARIANT_BOOL{1});
       },
       u"5819 shuffle false", false},
      {"collection", [](auto& p) { return p.template Fire<E::MediaCollectionChange>(); },
       std::nullopt, true},
      {"collection of playlists",
       [](auto& p) { return p.template Fire<E::PlaylistCollectionChange>(); }, std::nullopt,
       false},
      {"item available",
       [&](auto& p) {
         return p.template Fire<E::CurrentPlaylistItemAvailable>(l_bstrRoad.GetBSTR());
       },
       std::nullopt, false},
      {"current item", [](auto& p) { return p.template Fire<E::CurrentItemChange>(nullptr); },
       std::nullopt, false},
      {"media", [](auto& p) { return p.template Fire<E::MediaChange>(nullptr); }, std::nullopt,
       false},
      {"playlist without object",
       [](auto& p) { return p.template Fire<E::PlaylistChange>(nullptr, 5); }, std::nullopt,
       false},
      {"no handler", [](auto& p) {
         platform::ArgumentList l_None;
         return p.Invoke(5001, l_None);
       },
       std::nullopt, false},
  };
  const platform::ComPtr<platform::ConnectionPoint> l_spSource =
      platform::MakeObject<platform::ConnectionPoint>(platform::IidOf<_WMPOCXEvents>);
  const platform::ComPtr<CWMPEventsSink> l_spSink = platform::MakeObject<CWMPEventsSink>(kSession);
  std::uint32_t l_nCookie = 0;
  ASSERT_EQ(l_spSource->Advise(l_spSink->Identity(), &l_nCookie), S_OK);
  for (const Case& l_Case : l_Cases) {
    EXPECT_EQ(l_Case.fire(*l_spSource), S_OK) << l_Case.event;
    EXPECT_EQ(TakeRecordText(kSession + 1), std::nullopt) << l_Case.event;
    EXPECT_EQ(TakeRecordText(kSession), l_Case.record) << l_Case.event;
    EXPECT_EQ(TakeSet(m_hMediaPlayerEvent), l_Case.record.has_value()) << l_Case.event;
    EXPECT_EQ(TakeSet(m_hCollectionChange), l_Case.collectionChange) << l_Case.event;
  }
}

// The playlist handler asks the player's playlist for its name while the player fires the event.
TEST_F(EventSinks, PlaylistChangeCallsBackIntoThePlayer) {
  platform::ComPtr<CWMPEventsSink> l_spSink;
  ASSERT_EQ(EstablishEventsConnectionPoint(player, kSession, l_spSink), S_OK);
  const platform::player::PlaylistRef l_Playlist = engine->FindPlaylists(u"Road Trip").at(0);
  const platform::player::MediaRef l_Track = engine->FindItem(u"Name", u"Lanterns");
  engine->Monitor().ClearCalls();
  ASSERT_TRUE(engine->InsertEntry(l_Playlist, 0, l_Track));
  EXPECT_EQ(TakeRecordText(kSession), u"5801 Road Trip 5");
  EXPECT_TRUE(TakeSet(m_hMediaPlayerEvent));
  bool l_bAskedName = false;
  for (const std::string& l_Line : engine->Monitor().CallLines()) {
    l_bAskedName = l_bAskedName || l_Line.starts_with("IWMPPlaylist::get_name");
  }
  EXPECT_TRUE(l_bAskedName);

  // A playlist whose name cannot be read queues nothing.
  engine->Monitor().Fail<&IWMPPlaylist::get_name>(E_FAIL);
  ASSERT_TRUE(engine->RemoveEntry(l_Playlist, 0));
  EXPECT_EQ(TakeRecordText(kSession), std::nullopt);
}

TEST_F(EventSinks, PlaylistChangeOfOtherKindsOrObjectsQueuesNothing) {
  const platform::ComPtr<platform::ConnectionPoint> l_spSource =
      platform::MakeObject<platform::ConnectionPoint>(platform::IidOf<_WMPOCXEvents>);
  const platform::ComPtr<CWMPEventsSink> l_spSink = platform::MakeObject<CWMPEventsSink>(kSession);
  std::uint32_t l_nCookie = 0;
  ASSERT_EQ(l_spSource->Advise(l_spSink->Identity(), &l_nCookie), S_OK);
  ComPtr<IWMPMedia> l_spMedia;
  ComPtr<IWMPPlaylist> l_spPlaylist;
  ASSERT_EQ(collection->getByAlbum(_bstr_t(u"Blue Harbour").GetBSTR(), l_spPlaylist.put()), S_OK);
  ASSERT_EQ(l_spPlaylist->get_item(0, l_spMedia.put()), S_OK);
  for (const std::int32_t l_nType : {1, 8}) {
    l_spSource->Fire<_WMPOCXEvents::PlaylistChange>(static_cast<IUnknown*>(l_spPlaylist.get()),
                                                     l_nType);
    EXPECT_EQ(TakeRecordText(kSession), std::nullopt) << l_nType;
  }
  // A media object is no playlist.
  l_spSource->Fire<_WMPOCXEvents::PlaylistChange>(static_cast<IUnknown*>(l_spMedia.get()), 6);
  EXPECT_EQ(TakeRecordText(kSession), std::nullopt);
  EXPECT_FALSE(TakeSet(m_hMediaPlayerEvent));
}

platform::UniqueSafeArray TextArray(std::int32_t p_nLowerBound,
                                    const std::vector<std::u16string>& p_Texts) {
  platform::UniqueSafeArray l_Array(
      SafeArrayCreateVector(VT_BSTR, p_nLowerBound, static_cast<std::uint32_t>(p_Texts.size())));
  for (std::size_t l_nIndex = 0; l_nIndex < p_Texts.size(); ++l_nIndex) {
    const std::int32_t l_nElement = p_nLowerBound + static_cast<std::int32_t>(l_nIndex);
    SafeArrayPutElement(l_Array.get(), &l_nElement, _bstr_t(p_Texts[l_nIndex]).GetBSTR());
  }
  return l_Array;
}

TEST_F(EventSinks, NavigationsQueueTheirPathWhateverTheArraysBounds) {
  struct Case {
    const char* name;
    std::optional<platform::UniqueSafeArray> lines;  // nothing: a null array
    std::optional<std::u16string> record;
  };
  std::vector<Case> l_Cases;
  l_Cases.push_back({"three", TextArray(0, {u"All Music", u"Album", u"Blue Harbour"}),
                     u"1 All Music Album Blue Harbour"});
  l_Cases.push_back({"from five", TextArray(5, {u"All Music", u"Genre"}), u"1 All Music Genre"});
  l_Cases.push_back({"empty", TextArray(0, {}), u"1"});
  l_Cases.push_back({"null", std::nullopt, std::nullopt});
  const platform::ComPtr<platform::ConnectionPoint> l_spSource =
      platform::MakeObject<platform::ConnectionPoint>(platform::IidOf<_IWMPEventSinkEvents>);
  const platform::ComPtr<CWMPNavigationSink> l_spSink =
      platform::MakeObject<CWMPNavigationSink>(kSession);
  std::uint32_t l_nCookie = 0;
  ASSERT_EQ(l_spSource->Advise(l_spSink->Identity(), &l_nCookie), S_OK);
  for (const Case& l_Case : l_Cases) {
    SAFEARRAY* l_pLines = l_Case.lines ? l_Case.lines->get() : nullptr;
    EXPECT_EQ(l_spSource->Fire<_IWMPEventSinkEvents::WMPNavigationChanged>(0, l_pLines), S_OK);
    EXPECT_EQ(TakeRecordText(kSession), l_Case.record) << l_Case.name;
    EXPECT_EQ(TakeSet(m_hMediaPlayerEvent), l_Case.record.has_value()) << l_Case.name;
  }
  EXPECT_EQ(l_spSource->Fire<_IWMPEventSinkEvents::UserLogoff>(kSession), S_OK);
  EXPECT_TRUE(TakeSet(m_hLogoff));
  EXPECT_EQ(TakeRecordText(kSession), std::nullopt);
}

}  // namespace
}  // namespace session_test
