#pragma once

// One request of the server to the worker and its answer, over a pair of auto-reset events and
// the request's numbers in the shared slot. Only a signalled wait for the answer that carries the
// request's own number counts: a failed wait, a time-out and a late answer to an earlier request
// do not.

#include <cstdint>

#include "hook/SnoopSharedData.h"
#include "platform/kernel/Event.h"
#include "platform/kernel/Mutex.h"
#include "platform/kernel/Wait.h"

// The end of a time-out on the layer's clock. A value; any thread.
class Deadline {
 public:
  explicit Deadline(platform::Timeout p_Timeout);
  // What is left of it, 0 once it has passed.
  platform::Timeout Remaining() const;

 private:
  std::uint32_t m_nStart;
  platform::Timeout m_Timeout;
};

// The requester's side. Any thread; the events and numbers outlive the call.
bool AskWorker(SnoopRequestNumbers& p_Numbers, const platform::Event& p_Request,
               const platform::Event& p_Complete, const Deadline& p_Deadline);

// The worker's side: the number of the request it takes now, and its answer to it.
std::uint32_t TakeRequest(SnoopRequestNumbers& p_Numbers);
void AnswerRequest(SnoopRequestNumbers& p_Numbers, std::uint32_t p_nNumber,
                   const platform::Event& p_Complete);

// Holds the session's transfer buffer for one request, so that no other request of the session
// rewrites it between the request and the copy of its answer. Made, used and destroyed by one
// thread.
class TransferOwnership {
 public:
  // Waits until the deadline for the buffer; Held() tells whether it came.
  explicit TransferOwnership(const Deadline& p_Deadline);
  TransferOwnership(const TransferOwnership&) = delete;
  TransferOwnership& operator=(const TransferOwnership&) = delete;
  ~TransferOwnership();

  bool Held() const noexcept { return m_bHeld; }

 private:
  platform::Mutex m_Mutex;
  bool m_bHeld = false;
};
