#pragma once
// Port names inside the friendly names of serial interfaces. A friendly name
// ends in the port name in parentheses: "Modem Diag Port (ttyUSB2)".
#include <optional>
#include <string>
#include <string_view>

namespace flintcast::controller {

// The text between the last "(" and a ")" that must be the name's last
// character; nothing when the name does not end that way or the brackets are empty.
std::optional<std::string> PortNameFromFriendlyName(std::string_view friendlyName);

// Diagnostic interfaces are named "Diag" or "DIAG" in their friendly names.
bool IsDiagFriendlyName(std::string_view friendlyName);
// Terminal (application) interfaces carry "Terminal".
bool IsTerminalFriendlyName(std::string_view friendlyName);

// Compares port names without regard to case.
bool SamePortName(std::string_view a, std::string_view b);

}  // namespace flintcast::controller
