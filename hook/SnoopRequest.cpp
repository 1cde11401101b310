#include "hook/SnoopRequest.h"

#include "platform/base/Time.h"

namespace {

// The session's lock on the transfer buffer.
constexpr char16_t kTransferMutexName[] = u"QuillombTransfer";

// Whether the answer numbered `p_nAnswered` answers the request numbered `p_nAsked` or a later
// one; the numbers wrap.
bool Answers(std::uint32_t p_nAnswered, std::uint32_t p_nAsked) {
  return static_cast<std::int32_t>(p_nAnswered - p_nAsked) >= 0;
}

}  // namespace

Deadline::Deadline(platform::Timeout p_Timeout)
    : m_nStart(platform::TickCount()), m_Timeout(p_Timeout) {}

platform::Timeout Deadline::Remaining() const {
  const platform::Timeout l_Spent(platform::TickCount() - m_nStart);
  return l_Spent >= m_Timeout ? platform::Timeout(0) : m_Timeout - l_Spent;
}

bool AskWorker(SnoopRequestNumbers& p_Numbers, const platform::Event& p_Request,
               const platform::Event& p_Complete, const Deadline& p_Deadline) {
  const std::uint32_t l_nNumber =
      std::atomic_ref<std::uint32_t>(p_Numbers.asked).fetch_add(1, std::memory_order_acq_rel) + 1;
  if (!p_Request.Set()) {
    return false;
  }
  for (;;) {
    const platform::WaitResult l_Wait =
        platform::WaitForObject(p_Complete.Ref(), p_Deadline.Remaining());
    if (l_Wait.status != platform::WaitStatus::Signalled) {
      return false;
    }
    if (Answers(SharedLoad(p_Numbers.answered), l_nNumber)) {
      return true;
    }
  }
}

std::uint32_t TakeRequest(SnoopRequestNumbers& p_Numbers) { return SharedLoad(p_Numbers.asked); }

void AnswerRequest(SnoopRequestNumbers& p_Numbers, std::uint32_t p_nNumber,
                   const platform::Event& p_Complete) {
  SharedStore(p_Numbers.answered, p_nNumber);
  p_Complete.Set();
}

TransferOwnership::TransferOwnership(const Deadline& p_Deadline)
    : m_Mutex(platform::Mutex::Create(false, kTransferMutexName).handle) {
  m_bHeld = m_Mutex && platform::WaitForObject(m_Mutex.Ref(), p_Deadline.Remaining()).status ==
                           platform::WaitStatus::Signalled;
}

TransferOwnership::~TransferOwnership() {
  if (m_bHeld) {
    m_Mutex.Release();
  }
}
