// The numbered requests between the server and the worker: only a signalled wait for the
// request's own answer counts.

#include "hook/SnoopRequest.h"

#include <gtest/gtest.h>

#include "platform/kernel/Thread.h"

namespace {

using platform::Event;
using platform::EventReset;
using platform::Timeout;

Event NewEvent() { return Event::Create(EventReset::Auto, false).handle; }

// The worker's side of one request: takes the request's signal and answers it.
void AnswerOne(SnoopRequestNumbers& numbers, const Event& request, const Event& complete) {
  ASSERT_TRUE(platform::WaitForObject(request.Ref(), platform::kInfinite).Signalled(0));
  AnswerRequest(numbers, TakeRequest(numbers), complete);
}

TEST(SnoopRequestTest, AFailedWaitIsNoAnswer) {
  SnoopRequestNumbers numbers{};
  const Event request = NewEvent();
  const Event complete = NewEvent();
  const Event none;
  EXPECT_FALSE(AskWorker(numbers, request, none, Deadline(platform::kInfinite)))
      << "a wait on no event fails at once and is no success";
  EXPECT_FALSE(AskWorker(numbers, none, complete, Deadline(Timeout(0))))
      << "a request that cannot be signalled";
  EXPECT_FALSE(AskWorker(numbers, request, complete, Deadline(Timeout(50)))) << "a time-out";
}

TEST(SnoopRequestTest, ALateAnswerIsNeverTakenForTheNextRequest) {
  SnoopRequestNumbers numbers{0xFFFFFFFEu, 0xFFFFFFFEu};  // the numbers wrap on the way
  const Event request = NewEvent();
  const Event complete = NewEvent();
  ASSERT_FALSE(AskWorker(numbers, request, complete, Deadline(Timeout(50))));
  AnswerOne(numbers, request, complete);  // the first request's answer comes late

  EXPECT_FALSE(AskWorker(numbers, request, complete, Deadline(Timeout(50))))
      << "the late answer's signal does not answer the second request";
  AnswerOne(numbers, request, complete);  // and the second one's comes late too

  platform::Thread worker = platform::Thread::Start([&]() -> std::uint32_t {
    AnswerOne(numbers, request, complete);
    return 0;
  });
  EXPECT_TRUE(AskWorker(numbers, request, complete, Deadline(platform::kInfinite)));
  worker.Join();
}

}  // namespace
