#include "controller/mode_switch_launch.h"

#include <fmt/format.h>

#include <cerrno>
#include <cstring>
#include <system_error>

#include "platform/clock.h"
#include "platform/paths.h"
#include "platform/process.h"

namespace flintcast::controller {

ModeSwitchLauncher::ModeSwitchLauncher(std::filesystem::path imageFolder, LogLine log)
    : folder_(std::move(imageFolder)), log_(std::move(log)) {}

bool ModeSwitchLauncher::Launch() {
    std::error_code ec;
    const std::filesystem::path program = std::filesystem::absolute(folder_ / kModeSwitchProgram, ec);
    if (!std::filesystem::is_regular_file(program, ec)) {
        if (!reportedMissing_ && log_) {
            log_(fmt::format("Mode switch program not found: {} (a device in CD-ROM or disk mode is not switched)",
                             program.string()));
        }
        reportedMissing_ = true;
        return false;
    }
    reportedMissing_ = false;
    platform::LaunchOptions options;
    options.workingDirectory = folder_;
    // The program looks for the disk on the device tree this process uses and keeps its time.
    options.environment = {{"FLINTCAST_DEVICE_ROOT", platform::DeviceRoot().string()},
                           {"FLINTCAST_TIME_SCALE", fmt::format("{}", platform::SystemClock().scale())}};
    if (platform::LaunchDetached(program, options) < 0) {
        if (log_) log_(fmt::format("Mode switch program could not be started: {} ({})", program.string(),
                                   std::strerror(errno)));
        return false;
    }
    return true;
}

}  // namespace flintcast::controller
