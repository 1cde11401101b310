#include "platform/player/PlayerApplication.h"

#include <string>

#include "platform/base/Text.h"
#include "platform/com/Activation.h"

namespace platform::player {

bool RegisterPlayerApplication(const std::filesystem::path& program) {
  const std::u16string command = u"\"" + FromUtf8(program.string()) + u"\"";
  return RegisterLocalServer(CLSID_PlayerApplication, command, u"PlayerApplication",
                             CLSID_PlayerApplication);
}

}  // namespace platform::player
