#include "service/device/ReportWriter.h"

#include <array>

#include "common/MenuTexts.h"
#include "common/ProgramLogger.h"
#include "platform/kernel/Wait.h"
#include "service/device/DeviceWait.h"
#include "service/device/DisplayState.h"
#include "service/device/LcdPacketRing.h"
#include "service/device/OutputReport.h"

NoDestructor<LcdProtocol> g_LcdProtocol(*g_LcdPacketRing, [] {
  return LcdLanguage{g_nLanguageIndex, g_nLinesPerPage};
});
NoDestructor<FirmwareUpload> g_FirmwareUpload(*g_LcdProtocol);

namespace {

// The writer's loop over its three events; returns when it is to end. Terminate comes first in
// the wait, so that it wins over the next packet: an upload keeps the ring filled.
void WriteUntilStopped(AsynchWriteContext& p_Context) {
  HidDeviceRecord& l_Record = *p_Context.m_pRecord;
  const std::array l_Objects{p_Context.m_hTerminate.Ref(), p_Context.m_hDataReady.Ref(),
                             p_Context.m_hWriteDone.Ref()};
  bool l_bWriteInFlight = false;
  for (;;) {
    const platform::WaitResult l_Wait =
        WaitForObjectsRetrying(l_Objects, platform::kInfinite, u"AsynchWriteThreadProc");
    if (l_Wait.status != platform::WaitStatus::Signalled) {
      g_Logger->Log(LOG_TO_FILE, u"AsynchWriteThreadProc sees wait failed with error %d",
                    l_Wait.error);
      return;
    }
    if (l_Wait.index == 0) {
      return;
    }
    // A data-ready signal during a write is absorbed; the write's end takes the next packet.
    if (l_Wait.index == 1 && l_bWriteInFlight) {
      continue;
    }
    ReportSent l_Sent = ReportSent::Taken;
    if (const std::optional<LcdPacket> l_Packet = p_Context.m_Consumer->Take()) {
      l_bWriteInFlight = true;
      l_Sent = BuildOutputReport(*l_Packet, l_Record.m_OutputReport)
                   ? SendReport(l_Record, p_Context.m_hWriteDone, p_Context.m_hTerminate)
                   : ReportSent::Failed;
      g_bForceLcdWrite = false;
    } else {
      l_bWriteInFlight = false;
    }
    if (l_Sent == ReportSent::Stopped) {
      return;
    }
    g_FirmwareUpload->TopUp();
    if (l_Sent == ReportSent::Failed) {
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

ReportSent SendReport(const HidDeviceRecord& p_Record, const platform::Event& p_WriteDone,
                      const platform::Event& p_Terminate) {
  for (;;) {
    const std::uint32_t l_nError =
        p_Record.m_hDevice.Write(p_Record.m_OutputReport, kReportWriteSlice);
    if (l_nError == ERROR_SUCCESS) {
      p_WriteDone.Set();
      return ReportSent::Taken;
    }
    if (l_nError != ERROR_TIMEOUT) {
      return ReportSent::Failed;
    }
    if (platform::WaitForObject(p_Terminate.Ref(), platform::Timeout(0)).Signalled(0)) {
      return ReportSent::Stopped;
    }
  }
}

bool CAsynchWriter::Start(HidDeviceRecord& p_Record) {
  if (!Stop()) {
    return false;
  }
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

bool CAsynchWriter::Stop() {
  if (!m_Thread.Joinable()) {
    m_pContext.reset();
    return true;
  }
  m_pContext->m_hTerminate.Set();
  const std::array l_Exit{m_Thread.ExitRef()};
  if (!WaitForObjectsRetrying(l_Exit, platform::kInfinite, u"CAsynchWriter::Stop")
           .Signalled(0) ||
      !m_Thread.Join()) {
    g_Logger->Log(LOG_TO_FILE, u"CAsynchWriter::Stop cannot join the writer");
    return false;
  }
  m_pContext.reset();
  return true;
}
