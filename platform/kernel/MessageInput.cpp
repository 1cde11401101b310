#include "platform/kernel/MessageInput.h"

namespace platform {

MessageInput::MessageInput() : input_(Event::Create(EventReset::Manual, false).handle) {}

const MessageInput& MessageInput::ForThisThread() {
  thread_local const MessageInput input;
  return input;
}

}  // namespace platform
