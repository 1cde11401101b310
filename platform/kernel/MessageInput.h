#pragma once

// A thread's message input: the kernel object that is set when input arrives in the thread's
// message queue, so that WaitForObjectsOrInput can wake on it among other objects.

#include "platform/kernel/Event.h"

namespace platform {

// Owns the input object of one thread; it lives until the thread ends. Any thread (of any process,
// through Ref) may set it; the owning thread consumes it once it has taken its input.
class MessageInput {
 public:
  // The calling thread's input, made at its first use (null when the table is full).
  static const MessageInput& ForThisThread();

  bool Set() const { return input_.Set(); }
  bool Consume() const { return input_.Reset(); }
  ObjectRef Ref() const noexcept { return input_.Ref(); }

  MessageInput();
  MessageInput(const MessageInput&) = delete;
  MessageInput& operator=(const MessageInput&) = delete;

 private:
  Event input_;
};

}  // namespace platform
