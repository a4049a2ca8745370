#pragma once
// Switching a data card that shows itself only as a USB disk into its modem personality: find
// its disk, then send it the vendor SCSI command. The outcome of the command is not examined
// (the card leaves the bus as it switches); it is only logged for diagnosis.
#include <filesystem>
#include <functional>
#include <optional>
#include <string_view>

#include "modeswitch/command_text.h"
#include "modeswitch/switch_request.h"
#include "platform/clock.h"
#include "platform/scsi_pass_through.h"

namespace flintcast::modeswitch {

struct SwitchSetup {
    std::filesystem::path deviceRoot;
    const platform::Clock* clock = nullptr;
    platform::IoctlFunction ioctl;                   // empty: the system's
    std::function<void(std::string_view)> log;       // diagnosis lines; may be empty
};

// False when the disk cannot be opened; true once the command went out, whatever its outcome.
bool SendModeSwitch(const std::filesystem::path& node, const CommandBytes& command, const SwitchSetup& setup);

// Tries the disk found by its identification first, then the one found by friendly name.
// Returns the node the command was sent to, or nothing when no disk took it.
std::optional<std::filesystem::path> SwitchToModem(const SwitchSetup& setup);

}  // namespace flintcast::modeswitch
