#pragma once
// The operator's own connection utility and this tool must not drive the same device at once.
// The utility announces itself with named locks; at start-up the tool takes the same names and
// holds them for its lifetime, and refuses to start when one is already held.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "config/messages.h"
#include "platform/instance_lock.h"

namespace flintcast::controller {

struct UtilityCheck {
    std::vector<std::unique_ptr<platform::InstanceLock>> held;  // keep for the tool's lifetime
    std::optional<config::Message> refusal;                     // set: show it, then end the tool
    std::string busyName;                                       // the name found held
};

// The names the check takes, in the order tried (empty for projects that start their wizard).
std::vector<std::string_view> UtilityLockNames(int32_t project, int32_t versionMarker);

UtilityCheck CheckOperatorUtility(int32_t project, int32_t versionMarker);

}  // namespace flintcast::controller
