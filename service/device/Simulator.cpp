#include "service/device/Simulator.h"

#include <array>
#include <optional>
#include <utility>

#include "common/ProgramLogger.h"
#include "platform/kernel/Event.h"
#include "platform/kernel/Wait.h"
#include "service/device/DeviceWait.h"
#include "service/device/DisplayState.h"
#include "service/device/IdleTimeout.h"
#include "service/device/PageLists.h"
#include "service/device/ServiceEvents.h"
#include "service/menu/CurrentTrack.h"

namespace {

constexpr std::int32_t kPlayerStateScreen = 2;
constexpr std::int32_t kPlaying = 3;
constexpr std::int32_t kPaused = 2;

// What each simulated key sets, and whether the player screen refuses it. Left and PowerOn
// have rules of their own.
struct SimulatedKey {
  ServiceEvent m_Event;
  bool m_bRefusedOnPlayerScreen;
};
constexpr std::array<SimulatedKey, kSimulatedButtonCount> kKeys = {{
    {ServiceEvent::ButtonUp, true},
    {ServiceEvent::ButtonDown, true},
    {ServiceEvent::ButtonLeft, false},
    {ServiceEvent::ButtonRight, true},
    {ServiceEvent::ButtonOk, true},
    {ServiceEvent::ButtonPlay, false},
    {ServiceEvent::ButtonPause, false},
    {ServiceEvent::ButtonStop, false},
    {ServiceEvent::ButtonPower, false},
    {ServiceEvent::ButtonPrev, false},
    {ServiceEvent::ButtonNext, false},
    {ServiceEvent::ButtonHome, false},
}};

void HandleSimulatedButton(SimulatedButton p_Button, const ServiceEvents& p_Events,
                           const platform::Event& p_PowerOn,
                           const platform::Event& p_PowerOnPassed) {
  if (p_Button == SimulatedButton::Left) {
    p_Events.Set(g_bPlayerScreenShown && !g_bCurrentlyPlayingDisplayed ? ServiceEvent::RefreshScreen
                                                                       : ServiceEvent::ButtonLeft);
    g_bPlayerScreenShown = false;
    return;
  }
  if (p_Button == SimulatedButton::PowerOn) {
    p_PowerOn.Reset();
  }
  const SimulatedKey& l_Key = kKeys[static_cast<std::size_t>(p_Button)];
  if (!l_Key.m_bRefusedOnPlayerScreen || !g_bPlayerScreenShown) {
    p_Events.Set(l_Key.m_Event);
  }
  if (p_Button == SimulatedButton::PowerOn) {
    p_PowerOnPassed.Set();
  }
}

// After ten quiet seconds, while the player plays or pauses and the remote's display sleeps.
void HandleIdle(const ServiceEvents& p_Events) {
  const std::int32_t l_nState = g_nDevicePlayState;
  if ((l_nState == kPlaying || l_nState == kPaused) && !g_bDisplayAwake) {
    g_bPlayerScreenShown = false;
    QueuePlayerIdleTimeout(p_Events);
  }
  g_Logger->Log(LOG_TO_FILE, u"SimulateDeviceInput sending refresh");
}

// The pipe: none, a server waiting for the tool, or the tool's connection. The simulator output
// thread's.
class SimulatorPipe {
 public:
  // PowerOn: a new server unless one waits or a tool is connected. A tool that went away
  // holds the pipe no longer, so that the next tool can power on.
  void PowerOn() {
    if (m_Client && m_Client.PeerGone()) {
      m_Client.Close();
    }
    if (m_Server || m_Client) {
      return;
    }
    auto l_Created = platform::PipeServer::Create(kSimulatorPipeName);
    if (!l_Created.handle) {
      g_Logger->Log(LOG_TO_FILE, u"CreateNamedPipe Error = %d", l_Created.error);
      return;
    }
    m_Server = std::move(l_Created.handle);
  }
  void PowerOff() {
    m_Server.reset();
    m_Client.Close();
  }

  // Waits for the objects, and for a tool while the server waits for one: the result's index
  // is p_Objects.size() when a tool connected.
  platform::WaitResult Wait(std::span<const platform::ObjectRef> p_Objects) {
    if (!m_Server) {
      return platform::WaitForObjects(p_Objects, platform::kInfinite);
    }
    platform::PipeServer::Accepted l_Accepted =
        m_Server->WaitForClient(p_Objects, platform::kInfinite);
    if (l_Accepted.client) {
      m_Client = std::move(l_Accepted.client);
      m_Server.reset();
    }
    return l_Accepted.wait;
  }

  // While the server waits for the tool, pages stay in the (bounded) list for it.
  bool AwaitingTool() const { return m_Server.has_value(); }
  const platform::PipeConnection& Client() const { return m_Client; }

 private:
  std::optional<platform::PipeServer> m_Server;
  platform::PipeConnection m_Client;
};

void DrainSimulatorList(const platform::PipeConnection& p_Pipe) {
  while (std::optional<CDeviceData> l_Page = TakeFirstSimulatorOutput()) {
    if (l_Page->GetScreenType() != kPlayerStateScreen || l_Page->GetPlayState() == kPlaying) {
      SendOutputData(p_Pipe, *l_Page);
    }
  }
}

// A tool that takes no page for this long loses the pipe, so that one that never reads keeps the
// thread from its terminate event no longer than this, well within the service's stop wait.
constexpr platform::Timeout kToolWriteTimeout{1000};

}  // namespace

void SendOutputData(const platform::PipeConnection& p_Pipe, const CDeviceData& p_Page) {
  g_Logger->Log(LOG_TO_FILE, u"SendOutputData %s", p_Page.GetTitle());
  if (!p_Pipe) {
    return;
  }
  // A tool that went away or stopped reading loses the page, and the log says so.
  if (const std::uint32_t l_nError =
          p_Pipe.Write(EncodeSimulatorMessage(p_Page), kToolWriteTimeout);
      l_nError != ERROR_SUCCESS) {
    g_Logger->Log(LOG_TO_FILE, u"SendOutputData WriteFile Error = %d", l_nError);
    return;
  }
  g_Logger->Log(LOG_TO_FILE, u"WriteFile Complete");
}

std::uint32_t SimulateDeviceInput(void*) {
  g_Logger->Log(LOG_TO_FILE, u"SimulateDeviceInput Starts");
  const ServiceEvents l_Events;
  const platform::Event l_Terminate = CreateAutoResetEvent(kSimulatorInputTerminateEvent);
  const platform::Event l_PowerOnPassed = CreateAutoResetEvent(kSimulatorPowerOnPassedEvent);
  std::array<platform::Event, kSimulatedButtonCount> l_Buttons;
  std::array<platform::ObjectRef, kSimulatedButtonCount + 1> l_Waited{l_Terminate.Ref()};
  for (std::size_t l_nIndex = 0; l_nIndex < kSimulatedButtonCount; ++l_nIndex) {
    l_Buttons[l_nIndex] = CreateSimulatedButtonEvent(static_cast<SimulatedButton>(l_nIndex));
    l_Waited[l_nIndex + 1] = l_Buttons[l_nIndex].Ref();
  }
  const platform::Event& l_PowerOn = l_Buttons[static_cast<std::size_t>(SimulatedButton::PowerOn)];

  bool l_bActivity = false;
  for (;;) {
    const platform::WaitResult l_Wait = WaitForObjectsRetrying(
        l_Waited, platform::Timeout(kSimulatorIdleMilliseconds), u"SimulateDeviceInput");
    if (l_Wait.status == platform::WaitStatus::TimedOut) {
      if (l_bActivity) {
        HandleIdle(l_Events);
        l_bActivity = false;
      }
      continue;
    }
    if (l_Wait.status == platform::WaitStatus::Failed) {
      g_Logger->Log(LOG_TO_FILE, u"SimulateDeviceInput sees wait failed");
      break;
    }
    if (l_Wait.index == 0) {
      break;
    }
    l_bActivity = true;
    HandleSimulatedButton(static_cast<SimulatedButton>(l_Wait.index - 1), l_Events, l_PowerOn,
                          l_PowerOnPassed);
  }
  g_Logger->Log(LOG_TO_FILE, u"SimulateDeviceInput Ends");
  return 0;
}

std::uint32_t SimulateDeviceOutput(void*) {
  g_Logger->Log(LOG_TO_FILE, u"SimulateDeviceOutput Starts");
  const platform::Event l_Terminate = CreateAutoResetEvent(kSimulatorOutputTerminateEvent);
  const platform::Event l_Data = CreateAutoResetEvent(kSimulatorOutputDataEvent);
  const platform::Event l_PowerOn = CreateAutoResetEvent(kSimulatorPowerOnPassedEvent);
  // The simulator program that sets it may run as any user.
  const platform::SecurityDescriptor l_EveryUser = platform::SecurityDescriptor::NullDacl();
  const platform::Event l_PowerOff = CreateAutoResetEvent(kSimulatorPowerOffEvent, &l_EveryUser);
  const std::array l_Waited{l_Terminate.Ref(), l_Data.Ref(), l_PowerOn.Ref(), l_PowerOff.Ref()};

  SimulatorPipe l_Pipe;
  for (bool l_bRunning = true; l_bRunning;) {
    const platform::WaitResult l_Wait =
        WaitRetryingResources([&] { return l_Pipe.Wait(l_Waited); }, u"SimulateDeviceOutput");
    if (l_Wait.status != platform::WaitStatus::Signalled) {
      g_Logger->Log(LOG_TO_FILE, u"SimulateDeviceOutput sees wait failed");
      break;
    }
    switch (l_Wait.index) {
      case 0:
        l_bRunning = false;
        break;
      case 1:
        g_Logger->Log(LOG_TO_FILE, u"SimulateDeviceOutput sees data out event");
        if (!l_Pipe.AwaitingTool()) {
          DrainSimulatorList(l_Pipe.Client());
        }
        break;
      case 2:
        l_Pipe.PowerOn();
        break;
      case 3:
        l_Pipe.PowerOff();
        break;
      default:  // the tool connected
        DrainSimulatorList(l_Pipe.Client());
        break;
    }
  }
  g_Logger->Log(LOG_TO_FILE, u"SimulateDeviceOutput Ends");
  return 0;
}
