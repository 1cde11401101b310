#include "platform/com/ComPtr.h"

namespace platform {

bool IsSameObject(IUnknown* left, IUnknown* right) noexcept {
  if (left == nullptr || right == nullptr) return left == right;
  ComPtr<IUnknown> leftIdentity;
  ComPtr<IUnknown> rightIdentity;
  if (FAILED(left->QueryInterface(IidOf<IUnknown>, leftIdentity.put_void())) ||
      FAILED(right->QueryInterface(IidOf<IUnknown>, rightIdentity.put_void()))) {
    return false;
  }
  return leftIdentity == rightIdentity;
}

}  // namespace platform
