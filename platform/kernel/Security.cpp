#include "platform/kernel/Security.h"

#include <pwd.h>
#include <unistd.h>

#include <string>

#include "platform/base/Text.h"

namespace platform {

std::optional<Sid> LookupAccountName(std::u16string_view name) {
  const std::string user = ToUtf8(name);
  passwd entry{};
  passwd* found = nullptr;
  std::vector<char> buffer(16384);
  if (user.empty() || getpwnam_r(user.c_str(), &entry, buffer.data(), buffer.size(), &found) != 0 ||
      found == nullptr) {
    return std::nullopt;
  }
  return Sid{entry.pw_uid};
}

Sid CurrentUserSid() noexcept { return Sid{geteuid()}; }

bool Acl::AddAccessAllowedAce(std::uint32_t rights, Sid user) {
  if (entries_.size() == kCapacity) {
    return false;
  }
  entries_.push_back({user, rights});
  return true;
}

}  // namespace platform
