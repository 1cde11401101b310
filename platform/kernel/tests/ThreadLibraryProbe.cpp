// A shared library for the thread tests: a thread procedure that runs until a byte comes on the
// pipe whose reading end is its argument.

#include <unistd.h>

#include <cstdint>

extern "C" __attribute__((visibility("default"))) std::uint32_t ProbeReadsOneByte(void* pipe) {
  char byte = 0;
  return read(static_cast<int>(reinterpret_cast<std::intptr_t>(pipe)), &byte, 1) == 1 ? 1u : 0u;
}
