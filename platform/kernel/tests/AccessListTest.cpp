// Access lists of named objects across the users of one root: helpers run as other users, so these
// tests need root.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "platform/kernel/Event.h"
#include "platform/kernel/Root.h"
#include "platform/kernel/Security.h"
#include "platform/kernel/Wait.h"
#include "platform/kernel/tests/HelperProcess.h"

namespace platform {
namespace {

using testing::HelperProcess;
using testing::RunAs;

constexpr uid_t kUser = 65534;
constexpr uid_t kOtherUser = 65533;

// The helper's answer to an opening that the list refuses.
const std::string kDenied = std::string("error ").append(std::to_string(ERROR_ACCESS_DENIED));

struct Case {
  HelperProcess& helper;
  std::string command;
  std::string answer;
};

void Expect(std::initializer_list<Case> cases) {
  for (const Case& testCase : cases) {
    EXPECT_EQ(testCase.helper.Command(testCase.command), testCase.answer) << testCase.command;
  }
}

class AccessList : public ::testing::Test {
 protected:
  void SetUp() override {
    if (geteuid() != 0) {
      GTEST_SKIP() << "needs root to run helpers as other users";
    }
    // A fresh root's folder is the test's user's alone.
    ASSERT_EQ(chmod(PlatformRoot().c_str(), 0755), 0);
  }
};

TEST_F(AccessList, TheDefaultListOpensToTheCreatorsUserAndTheAdministratorOnly) {
  HelperProcess user(RunAs{kUser});
  HelperProcess sameUser(RunAs{kUser});
  HelperProcess other(RunAs{kOtherUser});
  HelperProcess administrator;
  const Event mine = Event::Create(EventReset::Manual, false, u"AdministratorsOwn").handle;
  ASSERT_TRUE(mine);
  Expect({
      {user, "event UsersOwn manual reset", "new 0"},
      {sameUser, "open-event UsersOwn", "existed 0"},
      {sameUser, "set 0", "ok"},
      {administrator, "open-event UsersOwn", "existed 0"},
      {other, "open-event UsersOwn", kDenied},
      {other, "event UsersOwn manual reset", kDenied},
      {user, "open-event AdministratorsOwn", kDenied},
      {user, "event AdministratorsOwn manual reset", kDenied},
  });
}

TEST_F(AccessList, ANullListOpensToEveryUser) {
  const SecurityDescriptor everyUser = SecurityDescriptor::NullDacl();
  const Event shared = Event::Create(EventReset::Manual, false, u"Global\\Shared", &everyUser).handle;
  ASSERT_TRUE(shared);
  HelperProcess user(RunAs{kUser});
  HelperProcess other(RunAs{kOtherUser});
  Expect({
      {user, "event Global\\Shared manual reset", "existed 0"},
      {other, "open-event Global\\Shared", "existed 0"},
      {other, "set 0", "ok"},
  });
  EXPECT_EQ(WaitForObject(shared.Ref(), Timeout(0)).status, WaitStatus::Signalled);
}

TEST_F(AccessList, AGivenListAllowsItsUsersTheirRightsAndNobodyElseAnything) {
  Acl list;
  ASSERT_TRUE(list.AddAccessAllowedAce(EVENT_MODIFY_STATE | SYNCHRONIZE, Sid{kUser}));
  const SecurityDescriptor security = SecurityDescriptor::WithDacl(list);
  const Event request =
      Event::Create(EventReset::Manual, false, u"Request", &security).handle;
  ASSERT_TRUE(request);
  HelperProcess user(RunAs{kUser});
  HelperProcess other(RunAs{kOtherUser});
  HelperProcess administrator;
  Expect({
      {user, "open-event Request", kDenied},
      {user, "event Request manual reset", kDenied},
      {user, "open-event Request 100002", "existed 0"},
      {user, "set 0", "ok"},
      {other, "open-event Request 2", kDenied},
      {administrator, "open-event Request 2", kDenied},
  });
  EXPECT_EQ(WaitForObject(request.Ref(), Timeout(0)).status, WaitStatus::Signalled);
  // The creator's handle has every right whatever the list says.
  EXPECT_TRUE(request.Reset());

  // A handle does only what it was opened for.
  Expect({
      {other, "open-event Request 100000", kDenied},
      {user, "open-event Request 100000", "existed 1"},
  });
  HelperProcess waiter(RunAs{kUser});
  Expect({
      {waiter, "open-event Request 100000", "existed 0"},
      {waiter, "set 0", "false"},
      {waiter, "reset 0", "false"},
  });
  EXPECT_EQ(WaitForObject(request.Ref(), Timeout(0)).status, WaitStatus::TimedOut);
}

}  // namespace
}  // namespace platform
