#pragma once

// Who may open a named kernel object, and with which rights. An object records its creator's user
// and its access list when it is made; opening it later, by name, gets only the rights that the
// list allows the opening process's user, and a handle does only what it was opened for. Users
// are the machine's accounts (their user ids); the administrator is root.
//
// The object table is one file that every process of the root maps: the lists keep the system's
// programs to what they were given, not a program that writes the table itself.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "platform/base/AccessRights.h"

namespace platform {

inline constexpr std::uint32_t EVENT_MODIFY_STATE = 0x0002;
inline constexpr std::uint32_t EVENT_ALL_ACCESS = STANDARD_RIGHTS_REQUIRED | SYNCHRONIZE | 0x3;
inline constexpr std::uint32_t MUTEX_MODIFY_STATE = 0x0001;
inline constexpr std::uint32_t MUTEX_ALL_ACCESS = STANDARD_RIGHTS_REQUIRED | SYNCHRONIZE | 0x1;
inline constexpr std::uint32_t SECTION_ALL_ACCESS = STANDARD_RIGHTS_REQUIRED | 0x1F;

// A user as access lists name users: the account's user id. A value; any thread.
struct Sid {
  std::uint32_t uid = 0;
  bool operator==(const Sid&) const = default;
};

// The administrator (root).
inline constexpr Sid kAdministratorsSid{0};

// The account of this machine of that name; nothing when there is none. Any thread.
std::optional<Sid> LookupAccountName(std::u16string_view name);
// The user as which this process acts now. Any thread.
Sid CurrentUserSid() noexcept;

struct AccessAllowedAce {
  Sid user;
  std::uint32_t rights = 0;
};

// An access list: each entry allows one user some rights; a user it does not name gets none. A
// value; one thread at a time.
class Acl {
 public:
  // What the object table can keep of one list.
  static constexpr std::size_t kCapacity = 8;

  // False, and the list unchanged, when it is full.
  bool AddAccessAllowedAce(std::uint32_t rights, Sid user);
  std::span<const AccessAllowedAce> Entries() const noexcept { return entries_; }

 private:
  std::vector<AccessAllowedAce> entries_;
};

// The security a new object is made with. A value; one thread at a time.
class SecurityDescriptor {
 public:
  enum class Dacl {
    Default,  // the creator's user and the administrator, with every right
    Null,     // every user, with every right
    Given,    // exactly the given list
  };

  // The default access list.
  SecurityDescriptor() = default;
  // Present and null: every user of the machine may open the object.
  static SecurityDescriptor NullDacl() { return SecurityDescriptor(Dacl::Null, {}); }
  // Present: only the users of the list, with the rights it gives them.
  static SecurityDescriptor WithDacl(Acl list) {
    return SecurityDescriptor(Dacl::Given, std::move(list));
  }

  Dacl Kind() const noexcept { return kind_; }
  const Acl& List() const noexcept { return list_; }

 private:
  SecurityDescriptor(Dacl kind, Acl list) : kind_(kind), list_(std::move(list)) {}

  Dacl kind_ = Dacl::Default;
  Acl list_;
};

}  // namespace platform
