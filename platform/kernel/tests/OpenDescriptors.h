#pragma once

// How many descriptors this process has open, for tests that show that a peer's going gives its
// descriptor back. Any thread.

namespace platform::testing {

int OpenDescriptorCount();

}  // namespace platform::testing
