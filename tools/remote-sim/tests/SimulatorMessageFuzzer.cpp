// Feeds arbitrary bytes to the tool's reading of a simulator pipe message, as whatever serves the
// pipe may send them: a message either is no page or is one that the tool prints, and the page
// it read, sent again, reads and prints the same.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "service/device/SimulatorProtocol.h"
#include "tools/remote-sim/RemoteSim.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto l_Page = DecodeSimulatorMessage(std::as_bytes(std::span(data, size)));
  if (!l_Page) {
    return 0;
  }
  const std::string l_Printed = FormatPage(*l_Page);
  const auto l_Again = DecodeSimulatorMessage(EncodeSimulatorMessage(*l_Page));
  if (!l_Again || FormatPage(*l_Again) != l_Printed ||
      l_Again->GetDuration() != l_Page->GetDuration() ||
      l_Again->GetElapsedTime() != l_Page->GetElapsedTime()) {
    std::abort();
  }
  return 0;
}
