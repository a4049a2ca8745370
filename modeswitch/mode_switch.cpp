#include "modeswitch/mode_switch.h"

#include <fmt/format.h>

#include "modeswitch/disk_search.h"

namespace flintcast::modeswitch {
namespace {

void Log(const SwitchSetup& setup, const std::string& line) {
    if (setup.log) setup.log(line);
}

std::string Hex(const std::vector<uint8_t>& bytes) {
    std::string out;
    for (uint8_t b : bytes) out += fmt::format("{}{:02X}", out.empty() ? "" : " ", b);
    return out;
}

}  // namespace

bool SendModeSwitch(const std::filesystem::path& node, const CommandBytes& command, const SwitchSetup& setup) {
    std::string error;
    auto disk = platform::ScsiDisk::Open(node, error, setup.ioctl);
    if (!disk) {
        Log(setup, error);
        return false;
    }
    const platform::Clock& clock = setup.clock ? *setup.clock : platform::SystemClock();
    const auto result = disk->Send(ModeSwitchRequest(command), clock);
    if (!result.delivered) {
        Log(setup, fmt::format("mode switch command to {}: {}", node.string(), result.error));
    } else {
        Log(setup, fmt::format("mode switch command to {}: status 0x{:02X}, sense [{}], {} data bytes", node.string(),
                               result.answer.status, Hex(result.answer.sense), result.answer.data.size()));
    }
    return true;
}

std::optional<std::filesystem::path> SwitchToModem(const SwitchSetup& setup) {
    const CommandBytes command = ParseCommandText(kCommandText);
    const auto disks = ListDiskInterfaces(setup.deviceRoot);
    if (const auto node = FindDiskByDriveLetter(disks, kVendorId, kProductId)) {
        if (SendModeSwitch(*node, command, setup)) return node;
    }
    if (const auto node = FindDiskByFriendlyName(disks, kFriendlyName)) {
        if (SendModeSwitch(*node, command, setup)) return node;
    }
    return std::nullopt;
}

}  // namespace flintcast::modeswitch
