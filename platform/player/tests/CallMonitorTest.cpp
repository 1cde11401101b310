#include <gtest/gtest.h>

#include <thread>

#include "platform/player/tests/PlayerFixture.h"

namespace player_test {
namespace {

using Lines = std::vector<std::u16string>;

TEST_F(PlayerTest, AChosenCallFailsByMethodArgumentOrIndex) {
  auto& monitor = engine->Monitor();
  monitor.Fail<&IWMPMediaCollection::getByAlbum>(E_ACCESSDENIED, {.arguments = {u"Iron Orchard"}});
  monitor.Fail<&IWMPPlaylist::get_item>(E_UNEXPECTED, {.arguments = {u"1"}, .times = 1});
  monitor.Fail<&IWMPPlayer4::get_settings>(E_FAIL);
  monitor.Fail<&IWMPMedia::getItemInfo>(E_FAIL, {.arguments = {u"Artist"}, .on = u"Lanterns"});

  ComPtr<IWMPPlaylist> album;
  EXPECT_EQ(media->getByAlbum(B(u"Iron Orchard").get(), album.put()), E_ACCESSDENIED);
  EXPECT_EQ(album, nullptr);
  ASSERT_EQ(media->getByAlbum(B(u"Night Ferry").get(), album.put()), S_OK);
  ASSERT_EQ(media->getByAlbum(B(u"Blue Harbour").get(), album.put()), S_OK);
  ComPtr<IWMPMedia> item;
  EXPECT_EQ(album->get_item(0, item.put()), S_OK);
  EXPECT_EQ(album->get_item(1, item.put()), E_UNEXPECTED);
  EXPECT_EQ(album->get_item(1, item.put()), S_OK);  // only once
  UniqueBstr artist;
  EXPECT_EQ(item->getItemInfo(B(u"Artist").get(), artist.out()), E_FAIL);  // on "Lanterns"
  EXPECT_EQ(item->getItemInfo(B(u"Album").get(), artist.out()), S_OK);
  ASSERT_EQ(album->get_item(0, item.put()), S_OK);
  EXPECT_EQ(item->getItemInfo(B(u"Artist").get(), artist.out()), S_OK);
  ComPtr<IWMPSettings> failing;
  EXPECT_EQ(player->get_settings(failing.put()), E_FAIL);
  EXPECT_EQ(player->get_settings(failing.put()), E_FAIL);
  monitor.ClearFailures();
  EXPECT_EQ(player->get_settings(failing.put()), S_OK);
  EXPECT_THROW(monitor.Fail<&IWMPControls::play>(S_FALSE), std::invalid_argument);
}

TEST_F(PlayerTest, CallsAreRecordedWithTheirArguments) {
  ASSERT_EQ(events->DispEventUnadvise(player.get()), S_OK);  // its calls would be recorded too
  engine->Monitor().ClearCalls();
  ComPtr<IWMPPlaylist> album;
  ASSERT_EQ(media->getByAlbum(B(u"Night Ferry").get(), album.put()), S_OK);
  ComPtr<IWMPMedia> item;
  ASSERT_EQ(album->get_item(0, item.put()), S_OK);
  UniqueBstr value;
  ASSERT_EQ(item->getItemInfo(B(u"Duration").get(), value.out()), S_OK);
  ASSERT_EQ(player->put_currentMedia(item.get()), S_OK);
  ASSERT_EQ(settings->setMode(B(u"loop").get(), VARIANT_TRUE), S_OK);
  EXPECT_EQ(
      engine->Monitor().CallLines(),
      (std::vector<std::string>{"IWMPMediaCollection::getByAlbum(Night Ferry)",
                                "IWMPPlaylist::get_item(0) on Night Ferry",
                                "IWMPMedia::getItemInfo(Duration) on Harbour Lights (Reprise)",
                                "IWMPPlayer4::put_currentMedia(Harbour Lights (Reprise))",
                                "IWMPSettings::setMode(loop, -1)"}));
  EXPECT_EQ(engine->Monitor().CountCalls<&IWMPPlaylist::get_item>(), 1u);
  EXPECT_EQ(engine->Monitor().CountCalls<&IWMPPlaylist::get_count>(), 0u);
}

TEST_F(PlayerTest, CallsFromAnotherThreadAreRefused) {
  const std::size_t before = engine->Monitor().Calls().size();
  HRESULT fromOtherThread = S_OK;
  WMPPlayState state = wmppsUndefined;
  std::thread other([&] { fromOtherThread = player->get_playState(&state); });
  other.join();
  EXPECT_EQ(fromOtherThread, RPC_E_WRONG_THREAD);
  EXPECT_EQ(state, wmppsUndefined);
  EXPECT_EQ(engine->Monitor().Calls().size(), before);
}

}  // namespace
}  // namespace player_test
