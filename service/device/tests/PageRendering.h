#pragma once

// Renders pages into a ring of its own and collects the packets, with the display state cleared
// to an awake display showing a menu in English. One thread uses it.

#include <array>
#include <atomic>
#include <initializer_list>
#include <string>
#include <vector>

#include "common/DeviceData.h"
#include "common/MenuTexts.h"
#include "service/device/DisplayState.h"
#include "service/device/LcdPacketRing.h"
#include "service/device/LcdProtocol.h"
#include "service/device/OutputReport.h"
#include "service/device/PageRenderer.h"
#include "service/device/tests/DisplayWords.h"
#include "service/menu/CurrentTrack.h"
#include "tools/virtual-remote/LcdModel.h"

class PageRendering {
 protected:
  PageRendering() {
    ResetDisplayWords();
    g_nDevicePlayState = 0;
    g_bDisplayAwake = true;
  }

  bool Render(const CDeviceData& p_Page) { return m_Renderer.Render(p_Page); }

  // The packets queued since the last call; the next ones are numbered from the start again.
  std::vector<std::vector<std::uint8_t>> TakeBytes() {
    std::vector<std::vector<std::uint8_t>> l_Packets;
    while (const auto l_Packet = m_Consumer.Take()) {
      l_Packets.emplace_back(l_Packet->Bytes().begin(), l_Packet->Bytes().end());
      std::array<std::uint8_t, kLcdOutputReportMinLength> l_Report{};
      BuildOutputReport(*l_Packet, l_Report);
      m_Model.Receive(l_Report);
    }
    m_Protocol.Reset();
    return l_Packets;
  }

  int HomeRaised() const { return m_nHomeRaised; }
  // The automatic return home's state as "RemoteButtonHome" was set.
  std::int32_t AutoHomeStateWhenRaised() const { return m_nAutoHomeStateWhenRaised; }
  // The display as the virtual remote decodes the reports of the packets taken so far.
  std::string Screen() const { return FormatScreen(m_Model.Screen()); }

  static CDeviceData MenuPage(std::int32_t p_nScreenType, std::int32_t p_nMode,
                              std::initializer_list<const char*> p_Lines, std::int32_t p_nRow,
                              std::int32_t p_nPosition, std::int32_t p_nTotal) {
    CDeviceData l_Page;
    l_Page.SetTitle(_bstr_t(u"Music"));
    for (const char* l_pLine : p_Lines) {
      l_Page.AddLine(_bstr_t(l_pLine));
    }
    l_Page.SetScreenType(p_nScreenType);
    l_Page.SetUpdateMode(p_nMode);
    l_Page.SetSelectedLine(p_nRow);
    l_Page.SetPosition(p_nPosition);
    l_Page.SetTotal(p_nTotal);
    return l_Page;
  }

  static CDeviceData PlayerPage(std::int32_t p_nPlayState, std::int32_t p_nMode,
                                std::int32_t p_nDuration, std::int32_t p_nElapsed) {
    CDeviceData l_Page;
    l_Page.SetTitle(_bstr_t(u"Song"));
    l_Page.AddLine(_bstr_t(u"Artst"));
    l_Page.AddLine(_bstr_t(u"Album"));
    l_Page.SetScreenType(2);
    l_Page.SetUpdateMode(p_nMode);
    l_Page.SetPlayState(p_nPlayState);
    l_Page.SetDuration(_bstr_t(std::to_string(p_nDuration).c_str()));
    l_Page.SetElapsedTime(p_nElapsed);
    l_Page.SetTotal(3);
    return l_Page;
  }

 private:
  LcdPacketRing m_Ring;
  LcdPacketRing::Consumer m_Consumer{m_Ring, [] {}};
  LcdProtocol m_Protocol{m_Ring, [] { return LcdLanguage{g_nLanguageIndex, g_nLinesPerPage}; }};
  LcdModel m_Model;
  int m_nHomeRaised = 0;
  std::int32_t m_nAutoHomeStateWhenRaised = kAutoHomeNone;
  PageRenderer m_Renderer{m_Protocol, [this] {
                            ++m_nHomeRaised;
                            m_nAutoHomeStateWhenRaised = g_nAutoHomeState;
                          }};
};
