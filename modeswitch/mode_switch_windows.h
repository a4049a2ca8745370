#pragma once
// Switching the data card into its modem personality where Windows shows its disk: by drive
// letter first, then by the friendly name of its disk interface. The outcome of the command is
// not examined (the card leaves the bus as it switches); it is only logged for diagnosis.
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/clock.h"

namespace flintcast::modeswitch {

struct WindowsSwitchSetup {
    const platform::Clock* clock = nullptr;        // empty: real time
    std::function<void(std::string_view)> log;     // diagnosis lines; may be empty
};

// The path the command was sent to, or nothing when no disk could be opened.
std::optional<std::string> SwitchToModemOnWindows(const WindowsSwitchSetup& setup);

}  // namespace flintcast::modeswitch
