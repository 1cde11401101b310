#pragma once

// Installing and removing the service with the service manager, as the service's registration
// does it. A failure is shown in a message box with the service name as its caption, and the box
// is answered before the step returns. The registering thread's.

#include <string>
#include <string_view>

class CServiceInstaller {
 public:
  explicit CServiceInstaller(std::u16string p_strServiceName)
      : m_strServiceName(std::move(p_strServiceName)) {}

  bool IsInstalled() const;
  // Creates the service unless it exists: own process, demand start, this program in double
  // quotes, depending on "RPCSS", the local system's account. False after a box.
  bool Install() const;
  // Stops and deletes the service when it exists, and returns once the manager has let it go, so
  // that it can be created again at once. False after a box.
  bool Uninstall() const;

 private:
  void Fail(std::u16string_view p_strText) const;

  const std::u16string m_strServiceName;
};
