#pragma once

// The library's logger: construction flags 0x12, and every call passes the file flag without the
// write bit, so nothing is written; the texts name the library's steps for tests that observe it.

#include "common/Logger.h"

inline constexpr std::uint32_t kQuillombLogFlags = LOG_TO_FILE;

NarrowLogger& QuillombLogger();
