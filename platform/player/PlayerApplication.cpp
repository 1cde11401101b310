#include "platform/player/PlayerApplication.h"

#include <string>

#include "platform/base/Text.h"
#include "platform/com/Activation.h"

namespace platform::player {

bool RegisterPlayerApplication(const std::filesystem::path& program) {
  // Appended, not concatenated: the optimiser's overlap check misreads the concatenation.
  std::u16string command(1, u'"');
  command.append(FromUtf8(program.string())).push_back(u'"');
  return RegisterLocalServer(CLSID_PlayerApplication, command, u"PlayerApplication",
                             CLSID_PlayerApplication);
}

}  // namespace platform::player
