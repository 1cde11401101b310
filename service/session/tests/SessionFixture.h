#pragma once

// The menu tests' in-process player, a stand-in for the per-session server's object, a menu tree
// whose categories answer as the test says, and the pages the code under test queued.

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/DeviceData.h"
#include "common/MenuTexts.h"
#include "common/tests/support/LogRecorder.h"
#include "platform/com/ComPtr.h"
#include "platform/com/Object.h"
#include "platform/player/Engine.h"
#include "platform/player/Library.h"
#include "platform/player/PlayerInterfaces.h"
#include "service/device/PageLists.h"
#include "service/menu/MusicLibrary.h"
#include "service/menu/tests/MenuFixture.h"
#include "service/session/MediaPlayerEvents.h"
#include "server/WMPProxyInterface.h"

namespace session_test {

using platform::ComPtr;

// Counts the calls into the server's object and answers them as the test says.
class CProxyStandIn final : public platform::ComObject<IWMPProxy> {
 public:
  HRESULT InitializePlayer(IUnknown** p_ppPlayer) override {
    ++m_nInitializeCalls;
    if (FAILED(m_hrInitialize)) return m_hrInitialize;
    return m_spPlayer.CopyTo(p_ppPlayer);
  }
  HRESULT LoadQuillombMonitor() override {
    ++m_nLoadCalls;
    return m_hrLoad;
  }
  HRESULT UnloadQuillombMonitor() override {
    ++m_nUnloadCalls;
    return m_hrUnload;
  }

  ComPtr<IUnknown> m_spPlayer;
  HRESULT m_hrInitialize = S_OK;
  HRESULT m_hrLoad = S_OK;
  HRESULT m_hrUnload = S_OK;
  int m_nInitializeCalls = 0;
  int m_nLoadCalls = 0;
  int m_nUnloadCalls = 0;
};

// A category that takes every library event as the test's answer says and notes each one.
class CAnsweringCategory final : public CMediaLibraryNode {
 public:
  CAnsweringCategory(IWMPPlayer4* p_pPlayer, CMediaLibraryNode* p_pParent, std::u16string p_Name,
                     const bool& p_bAnswer, std::vector<std::u16string>& p_Calls)
      : CMediaLibraryNode(p_pPlayer, p_pParent),
        m_Name(std::move(p_Name)),
        m_bAnswer(p_bAnswer),
        m_Calls(p_Calls) {}

  _bstr_t GetDerivedDescription() override { return _bstr_t(std::u16string_view(m_Name)); }
  bool OnButtonRight(CMediaLibraryNode**) override { return false; }
  std::int32_t OnButtonOk() override { return kOkNoNewPage; }
  std::int32_t GetNodeType() override { return 9; }
  std::int32_t GetItemCount() override { return 0; }
  bool OnButtonPlay() override { return false; }
  bool SetCurrentNavigation(NavigationPath& p_Path, CMediaLibraryNode**) override {
    std::u16string l_Call = m_Name + u" navigation";
    for (const _bstr_t& l_Line : p_Path) l_Call.append(u" ").append(l_Line.view());
    return Note(l_Call);
  }
  bool OnArtistAdded(_bstr_t p_bstrValue, CMediaLibraryNode*, CMediaLibraryNode**) override {
    return Note(m_Name + u" artist added " + std::u16string(p_bstrValue.view()));
  }
  bool OnArtistRemoved(_bstr_t p_bstrValue, CMediaLibraryNode*, CMediaLibraryNode**) override {
    return Note(m_Name + u" artist removed " + std::u16string(p_bstrValue.view()));
  }
  bool OnPlaylistAdded(_bstr_t p_bstrName) override {
    return Note(m_Name + u" playlist added " + std::u16string(p_bstrName.view()));
  }
  bool OnPlaylistRemoved(_bstr_t p_bstrName, CMediaLibraryNode**) override {
    return Note(m_Name + u" playlist removed " + std::u16string(p_bstrName.view()));
  }
  bool OnModeChange(_bstr_t p_bstrMode, bool p_bValue, CMediaLibraryNode*) override {
    return Note(m_Name + u" mode " + std::u16string(p_bstrMode.view()) +
                (p_bValue ? u" on" : u" off"));
  }
  bool OnPlaylistChanged(_bstr_t p_bstrName, std::int32_t p_nType, CMediaLibraryNode*,
                         CMediaLibraryNode**) override {
    return Note(m_Name + u" playlist changed " + std::u16string(p_bstrName.view()) + u" " +
                static_cast<char16_t>(u'0' + p_nType));
  }

 protected:
  void OnGetDisplayLines(_bstr_t& p_bstrTitle, DisplayLines&) override {
    p_bstrTitle = _bstr_t(std::u16string_view(m_Name));
  }

 private:
  bool Note(std::u16string p_Call) {
    m_Calls.push_back(std::move(p_Call));
    return m_bAnswer;
  }

  std::u16string m_Name;
  const bool& m_bAnswer;
  std::vector<std::u16string>& m_Calls;
};

// Every page on the output list, taken off it.
inline std::vector<CDeviceData> TakePages() {
  std::vector<CDeviceData> l_Pages;
  while (std::optional<CDeviceData> l_Page = TakeFirstDeviceOutput()) {
    l_Pages.push_back(std::move(*l_Page));
  }
  return l_Pages;
}

inline std::vector<std::u16string> LineTexts(const CDeviceData& p_Page) {
  std::vector<std::u16string> l_Texts;
  for (const _bstr_t& l_Line : p_Page.GetLines()) l_Texts.emplace_back(l_Line.view());
  return l_Texts;
}

class SessionTest : public menu_test::MenuTest {
 protected:
  SessionTest() : proxy(platform::MakeObject<CProxyStandIn>()) {
    PurgeMediaPlayerEvents();
    TakePages();
    proxy->m_spPlayer = ComPtr<IUnknown>(player.get());
  }
  ~SessionTest() override {
    PurgeMediaPlayerEvents();
    TakePages();
  }

  // A menu tree whose six categories answer `answer`.
  std::unique_ptr<CMusicLibrary> AnsweringLibrary() {
    auto l_pLibrary = std::make_unique<CMusicLibrary>(
        player.get(), [this](IWMPPlayer4* p_pPlayer, CMediaLibraryNode* p_pRoot) {
          CMusicLibrary::Children l_Children;
          for (const char16_t* l_szName :
               {u"Playlists", u"Albums", u"Artists", u"Genres", u"Now Playing", u"Options"}) {
            l_Children.push_back(std::make_unique<CAnsweringCategory>(p_pPlayer, p_pRoot,
                                                                      l_szName, answer, calls));
          }
          return l_Children;
        });
    l_pLibrary->InitializeLibrary();
    return l_pLibrary;
  }

  ComPtr<CProxyStandIn> proxy;
  bool answer = true;
  std::vector<std::u16string> calls;
};

}  // namespace session_test
