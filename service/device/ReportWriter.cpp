#include "service/device/ReportWriter.h"

#include <array>

#include "common/MenuTexts.h"
#include "common/ProgramLogger.h"
#include "platform/kernel/Wait.h"
#include "service/device/DisplayState.h"
#include "service/device/LcdPacketRing.h"
#include "service/device/OutputReport.h"

NoDestructor<LcdProtocol> g_LcdProtocol(*g_LcdPacketRing, [] {
  return LcdLanguage{g_nLanguageIndex, g_nLinesPerPage};
});
NoDestructor<FirmwareUpload> g_FirmwareUpload(*g_LcdProtocol);

namespace {

// The writer's loop over its three events; returns when it is to end.
void WriteUntilStopped(AsynchWriteContext& p_Context) {
  HidDeviceRecord& l_Record = *p_Context.m_pRecord;
  const std::array l_Objects{p_Context.m_hDataReady.Ref(), p_Context.m_hWriteDone.Ref(),
                             p_Context.m_hTerminate.Ref()};
  bool l_bWriteInFlight = false;
  for (;;) {
    const platform::WaitResult l_Wait = platform::WaitForObjects(l_Objects, platform::kInfinite);
    if (l_Wait.status != platform::WaitStatus::Signalled || l_Wait.index == 2) {
      return;
    }
    // A data-ready signal during a write is absorbed; the write's end takes the next packet.
    if (l_Wait.index == 0 && l_bWriteInFlight) {
      continue;
    }
    bool l_bWriteFailed = false;
    if (const std::optional<LcdPacket> l_Packet = p_Context.m_Consumer->Take()) {
      l_bWriteInFlight = true;
      l_bWriteFailed = !BuildOutputReport(*l_Packet, l_Record.m_OutputReport) ||
                       !SendReport(l_Record, p_Context.m_hWriteDone);
      g_bForceLcdWrite = false;
    } else {
      l_bWriteInFlight = false;
    }
    g_FirmwareUpload->TopUp();
    if (l_bWriteFailed) {
      g_Logger->Log(LOG_TO_FILE, u"Device write error");
      return;
    }
  }
}

}  // namespace

std::uint32_t AsynchWriteThreadProc(void* p_pContext) {
  auto& l_Context = *static_cast<AsynchWriteContext*>(p_pContext);
  g_Logger->Log(LOG_TO_FILE, u"AsynchWriteThreadProc Starts");
  if (l_Context.m_hDataReady && l_Context.m_hWriteDone && l_Context.m_hTerminate &&
      l_Context.m_Consumer) {
    WriteUntilStopped(l_Context);
  }
  l_Context.m_Consumer.reset();
  g_Logger->Log(LOG_TO_FILE, u"AsynchWriteThreadProc Ends");
  return 0;
}

bool SendReport(const HidDeviceRecord& p_Record, const platform::Event& p_WriteDone) {
  if (p_Record.m_hDevice.Write(p_Record.m_OutputReport) != ERROR_SUCCESS) {
    return false;
  }
  p_WriteDone.Set();
  return true;
}

bool CAsynchWriter::Start(HidDeviceRecord& p_Record) {
  Stop();
  auto l_pContext = std::make_unique<AsynchWriteContext>();
  l_pContext->m_pRecord = &p_Record;
  for (platform::Event* l_pEvent :
       {&l_pContext->m_hDataReady, &l_pContext->m_hWriteDone, &l_pContext->m_hTerminate}) {
    *l_pEvent = platform::Event::Create(platform::EventReset::Auto, false).handle;
    if (!*l_pEvent) {
      return false;
    }
  }
  l_pContext->m_Consumer.emplace(
      *g_LcdPacketRing, [l_pDataReady = &l_pContext->m_hDataReady] { l_pDataReady->Set(); });
  // Packets queued while no writer ran go out first.
  l_pContext->m_hDataReady.Set();
  m_Thread = platform::Thread::Start(AsynchWriteThreadProc, l_pContext.get());
  if (!m_Thread.Joinable()) {
    return false;
  }
  m_pContext = std::move(l_pContext);
  return true;
}

void CAsynchWriter::Stop() {
  if (m_pContext) {
    m_pContext->m_hTerminate.Set();
  }
  m_Thread.Join();
  m_pContext.reset();
}
