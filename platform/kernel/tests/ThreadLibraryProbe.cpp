// A shared library for the thread tests: a thread procedure that runs until a byte comes on the
// pipe whose reading end is its argument, which it then closes.

#include <unistd.h>

#include <cstdint>

extern "C" __attribute__((visibility("default"))) std::uint32_t ProbeReadsOneByte(void* pipe) {
  const int end = static_cast<int>(reinterpret_cast<std::intptr_t>(pipe));
  char byte = 0;
  const bool read_one = read(end, &byte, 1) == 1;
  close(end);
  return read_one ? 1u : 0u;
}
