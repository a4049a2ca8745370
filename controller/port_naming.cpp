#include "controller/port_naming.h"

#include <cctype>

namespace flintcast::controller {

std::optional<std::string> PortNameFromFriendlyName(std::string_view friendlyName) {
    if (friendlyName.empty() || friendlyName.back() != ')') {
        return std::nullopt;
    }
    const size_t open = friendlyName.rfind('(');
    if (open == std::string_view::npos || open + 2 > friendlyName.size() - 1) {
        return std::nullopt;
    }
    return std::string(friendlyName.substr(open + 1, friendlyName.size() - open - 2));
}

bool IsDiagFriendlyName(std::string_view friendlyName) {
    return friendlyName.find("Diag") != std::string_view::npos ||
           friendlyName.find("DIAG") != std::string_view::npos;
}

bool IsTerminalFriendlyName(std::string_view friendlyName) {
    return friendlyName.find("Terminal") != std::string_view::npos;
}

bool SamePortName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

}  // namespace flintcast::controller
