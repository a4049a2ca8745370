#include "platform/paths.h"

#include <fmt/format.h>

namespace flintcast::platform {

std::string WindowsPortLabel(int32_t portNumber) { return fmt::format("COM{}", portNumber); }

std::string WindowsPortDeviceName(int32_t portNumber) {
    // Ports from 10 up are only reachable through the device namespace prefix.
    return portNumber >= 10 ? "\\\\.\\" + WindowsPortLabel(portNumber) : WindowsPortLabel(portNumber);
}

}  // namespace flintcast::platform
