#include "engine/modemkick_runner.h"

#include <fmt/format.h>
#include <string>

#include "platform/ini_file.h"
#include "platform/paths.h"
#include "platform/process.h"

namespace flintcast::engine {

ModemkickPlan DefaultModemkickPlan() {
    ModemkickPlan plan;
    plan.stagingFolder = platform::StagingDir();
    return plan;
}

ModemkickPlan ModemkickPlanFor(const std::filesystem::path& stagingFolder) {
    if (stagingFolder.empty()) return DefaultModemkickPlan();
    ModemkickPlan plan;
    plan.stagingFolder = stagingFolder;
    return plan;
}

bool RunModemkick(WorkerContext& ctx, const ModemkickPlan& plan) {
    if (plan.stagingFolder.empty()) {
        ctx.reporter.ShowError("Could not get temp dir path");
        return false;
    }
    const std::filesystem::path config = plan.stagingFolder / "Config.ini";
    const std::filesystem::path tool = plan.stagingFolder / kModemkickProgram;
    ctx.clock.sleepMs(plan.firstWaitMs);

    platform::LaunchOptions options;
    options.workingDirectory = plan.stagingFolder;
    // The tool finds the device and keeps time the way this process does.
    options.environment = {{"FLINTCAST_DEVICE_ROOT", platform::DeviceRoot().string()},
                           {"FLINTCAST_TIME_SCALE", fmt::format("{}", ctx.clock.scale())}};
    std::string value = "0";
    for (int attempt = 0; attempt < plan.attempts; ++attempt) {
        platform::LaunchDetached(tool, options);
        ctx.clock.sleepMs(plan.resultWaitMs);
        const auto ini = platform::IniFile::Load(config);
        value = ini ? ini->readString("Project", "ExecuteModemkick", "0") : std::string("0");
        if (value == "100") {
            return true;
        }
    }
    if (value == "-1") {
        ctx.reporter.ShowError("Could not find modem port.");
    } else if (value == "0") {
        ctx.reporter.ShowError("Could not Execute reset Modem.");
    } else if (value == "-2") {
        ctx.reporter.ShowError("Fail to execute reset modem.");
    } else {
        ctx.reporter.ShowError("Unknown error[ExecuteModemkick].");
    }
    return false;
}

}  // namespace flintcast::engine
