// Feeds arbitrary output reports to the virtual remote's display model, as a service (or any
// program that opens the device) may write them: a run of reports, each a length byte (0 to 15)
// and that many bytes. The model must stay inside every report, keep no more rows than a row
// byte can name beside the rows it took, and print what it shows.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "tools/virtual-remote/LcdModel.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  LcdModel l_Model;
  std::span<const std::uint8_t> l_Input(data, size);
  std::size_t l_nReports = 0;
  while (!l_Input.empty()) {
    const std::size_t l_nLength = std::min<std::size_t>(l_Input.front() & 0xF, l_Input.size() - 1);
    l_Model.Receive(l_Input.subspan(1, l_nLength));
    ++l_nReports;
    l_Input = l_Input.subspan(1 + l_nLength);
  }
  if (l_Model.Screen().m_Rows.size() > l_nReports + 256 || FormatScreen(l_Model.Screen()).empty()) {
    std::abort();
  }
  return 0;
}
