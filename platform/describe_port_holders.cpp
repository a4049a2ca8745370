#include "platform/port_holders.h"

#include <fmt/format.h>

namespace flintcast::platform {

std::string DescribePortHolders(const std::vector<PortHolder>& holders) {
    std::string text;
    for (const PortHolder& h : holders) {
        text += fmt::format("{}{} (pid {})", text.empty() ? "" : ", ", h.name, h.pid);
    }
    return text;
}

}  // namespace flintcast::platform
