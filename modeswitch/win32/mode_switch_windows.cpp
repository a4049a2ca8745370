#include "modeswitch/mode_switch_windows.h"

#include <fmt/format.h>

#include "modeswitch/switch_request.h"
#include "modeswitch/volume_search.h"
#include "platform/windows_storage.h"

namespace flintcast::modeswitch {
namespace {

void Log(const WindowsSwitchSetup& setup, const std::string& line) {
    if (setup.log) setup.log(line);
}

std::string Hex(const std::vector<uint8_t>& bytes) {
    std::string out;
    for (uint8_t b : bytes) out += fmt::format("{}{:02X}", out.empty() ? "" : " ", b);
    return out;
}

// False when the disk cannot be opened; true once the command went out, whatever its outcome.
bool SendModeSwitch(const std::string& path, const WindowsSwitchSetup& setup) {
    const platform::Clock& clock = setup.clock ? *setup.clock : platform::SystemClock();
    const auto result =
        platform::SendScsiPassThrough(path, ModeSwitchRequest(ParseCommandText(kCommandText)), kTargetId, clock);
    if (!result.opened) {
        Log(setup, result.error);
        return false;
    }
    if (!result.delivered) {
        Log(setup, fmt::format("mode switch command to {}: {}", path, result.error));
    } else {
        Log(setup, fmt::format("mode switch command to {}: status 0x{:02X}, sense [{}], {} data bytes", path,
                               result.answer.status, Hex(result.answer.sense), result.answer.data.size()));
    }
    return true;
}

}  // namespace

std::optional<std::string> SwitchToModemOnWindows(const WindowsSwitchSetup& setup) {
    if (const auto volume = FindDiskByDriveLetter(platform::QueryVolumes(), kVendorId, kProductId)) {
        if (SendModeSwitch(volume->path, setup)) return volume->path;
    }
    std::string diagnosis;
    const auto interfaces = platform::ListDiskInterfaces(diagnosis);
    if (!diagnosis.empty()) Log(setup, diagnosis);
    if (const auto path = FindDiskByFriendlyName(interfaces, kFriendlyName)) {
        if (SendModeSwitch(*path, setup)) return path;
    }
    return std::nullopt;
}

}  // namespace flintcast::modeswitch
