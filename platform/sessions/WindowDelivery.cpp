#include "platform/sessions/SessionManager.h"

namespace platform {
namespace {

// The seam to the windows layer: until windows can be posted to across processes, a manager
// started with this delivery keeps the table and ends sessions' processes, but no window hears
// of it.
class WindowsLayerPending final : public SessionWindowDelivery {
 public:
  void PostSessionChange(std::uint32_t, std::uint32_t, std::uint32_t) override {}
  void EndSession(std::uint32_t) override {}
};

}  // namespace

std::unique_ptr<SessionWindowDelivery> MakeWindowDelivery() {
  return std::make_unique<WindowsLayerPending>();
}

}  // namespace platform
