#pragma once
// A loopback TCP port nobody listens on right now (for a private adb server per test).
#include <cstdint>

namespace flintcast::testing {

uint16_t FreeTcpPort();

}  // namespace flintcast::testing
