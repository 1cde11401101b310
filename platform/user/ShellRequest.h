#pragma once

// Requests that a process makes of a window of another process through a shell record: the asker
// publishes the record, posts the window a message with the record's handle and waits for the
// window's thread to answer in the record. Internal to the layer.

#include <optional>

#include "platform/kernel/Wait.h"
#include "platform/user/UserRegistry.h"

namespace platform::detail {

// Any thread: publishes the request (a handle is given to it), posts `message` (wParam: the
// handle) to the record's owner window and waits for the answer; nothing when the window is gone
// or gives no answer within the time-out. The record is gone afterwards.
std::optional<ShellRecord> AskWindow(ShellRecord request, UINT message, Timeout timeout);

// The answering thread: stores the record, answer and all, and wakes its asker; false when the
// asker has stopped waiting.
bool AnswerRequest(const ShellRecord& answered);

}  // namespace platform::detail
