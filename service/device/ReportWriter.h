#pragma once

// The report writer: the thread that sends the ring's LCD packets to the remote, one output
// report per packet with one write in flight, and keeps a firmware upload going as the ring
// drains. Also the service's one protocol and upload over the ring.

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>

#include "platform/base/NoDestructor.h"
#include "platform/kernel/Event.h"
#include "platform/kernel/Thread.h"
#include "service/device/FirmwareUpload.h"
#include "service/device/LcdPacketRing.h"
#include "service/device/LcdProtocol.h"
#include "service/device/RemoteDevice.h"

// The producers' protocol over g_LcdPacketRing, in the language of g_nLanguageIndex; like the
// ring, it and the upload are never destroyed.
extern NoDestructor<LcdProtocol> g_LcdProtocol;
// The firmware upload over g_LcdProtocol.
extern NoDestructor<FirmwareUpload> g_FirmwareUpload;

// What the writer thread works with: the output side's record, which it uses until it ends, and
// its events and attachment to the ring, which its starter makes before the thread runs, so that
// neither a packet queued nor a stop set right after the start is lost. The writer detaches
// from the ring when it ends, so that producers no longer wait for it.
struct AsynchWriteContext {
  HidDeviceRecord* m_pRecord = nullptr;
  platform::Event m_hDataReady;
  platform::Event m_hWriteDone;
  platform::Event m_hTerminate;
  std::optional<LcdPacketRing::Consumer> m_Consumer;
};

// The writer thread's procedure; its argument is an AsynchWriteContext. Ends on terminate or
// after a failed write ("Device write error"), with code 0.
std::uint32_t AsynchWriteThreadProc(void* p_pContext);

// How long one try of a report write waits for the device before the writer looks at its
// terminate event again.
inline constexpr std::chrono::milliseconds kReportWriteSlice{100};

enum class ReportSent : std::uint8_t { Taken, Failed, Stopped };

// Writes the record's output report, waiting as long as the device takes: Taken once the device
// took it (`p_WriteDone` is then set), Failed when the write failed (the device has gone),
// Stopped when `p_Terminate` was set meanwhile (and is consumed). The writer thread's.
ReportSent SendReport(const HidDeviceRecord& p_Record, const platform::Event& p_WriteDone,
                      const platform::Event& p_Terminate);

// Owns one writer thread at a time, for the device output thread, which alone calls it. The
// thread must be joined: Stop (and the destructor) sets its terminate event and waits for it,
// so that the record is no longer used once Stop returns. The writer's context is freed only
// once its thread has ended.
class CAsynchWriter {
 public:
  CAsynchWriter() = default;
  CAsynchWriter(const CAsynchWriter&) = delete;
  CAsynchWriter& operator=(const CAsynchWriter&) = delete;
  ~CAsynchWriter() { Stop(); }

  // Stops a running writer, then starts one on the record. False when it cannot start.
  bool Start(HidDeviceRecord& p_Record);
  // False, with the thread and its context kept, when the thread could not be joined (its exit
  // cannot be waited for); a full waiter table only delays the join.
  bool Stop();
  // Signalled once the thread has ended, also by itself after a failed write; null when none
  // was started.
  platform::ObjectRef ExitRef() const noexcept { return m_Thread.ExitRef(); }

 private:
  // Declared before the thread, so that the thread is joined before the context is freed.
  std::unique_ptr<AsynchWriteContext> m_pContext;
  platform::Thread m_Thread;
};
