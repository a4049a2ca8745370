// `flintcast demo`: the simulated device in a fresh temporary root, the embedded default
// package's update on it at a time scale that ends it in about a minute, then the simulator
// is stopped again. The unit's EFS image wipes its data, so the demo ends by comparing the
// simulator's state before and after: a run that lost any backed-up value does not pass.
#include <fmt/format.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "cli/android_demo.h"
#include "cli/commands.h"
#include "cli/demo_unit.h"
#include "cli/run_session.h"
#include "platform/child_process.h"
#include "platform/clock.h"

namespace flintcast::cli {

namespace {

namespace fs = std::filesystem;

// Fast enough to end well inside a minute, slow enough that the progress shows and that the
// device's answers stay inside the scaled time limits on a busy machine.
constexpr double kDemoTimeScale = 0.1;
// The simulator starts and answers in real time, whatever the tool's scale: these limits are
// real seconds, turned into tool time where they are used.
constexpr double kSimulatorStartLimitSeconds = 20;
constexpr double kStateQueryLimitSeconds = 20;

uint32_t ToolMsFor(double realSeconds) {
    return static_cast<uint32_t>(realSeconds * 1000 / platform::SystemClock().scale());
}

fs::path OwnFolder() {
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::current_path() : self.parent_path();
}

bool DevicePortsPresent(const fs::path& root) {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(root / "dev", ec)) {
        if (entry.path().filename().string().rfind("tty", 0) == 0) return true;
    }
    return false;
}

// The simulator's current state ("ctl state"); null when it does not answer.
nlohmann::json QueryState(const fs::path& program, const fs::path& root, const fs::path& work) {
    auto& clock = platform::SystemClock();
    const fs::path out = work / "state-query.out";
    platform::ChildProcess ctl;
    if (!ctl.Start(program, {"ctl", root.string(), "state"}, out)) return nullptr;
    const uint32_t start = clock.tickMs();
    const uint32_t limit = ToolMsFor(kStateQueryLimitSeconds);
    while (ctl.running() && clock.tickMs() - start < limit) clock.sleepMs(20);
    if (ctl.Stop(1000) != 0) return nullptr;
    std::ifstream in(out, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    std::string answer = text.str();
    if (answer.rfind("OK ", 0) != 0) return nullptr;
    auto state = nlohmann::json::parse(answer.substr(3), nullptr, false);
    return state.is_discarded() ? nlohmann::json() : state;
}

struct DemoOptions {
    bool json = false;
    bool keep = false;
    bool android = false;
};

int RunDemo(const DemoOptions& demo) {
    auto& clock = platform::SystemClock();
    if (std::getenv("FLINTCAST_TIME_SCALE") == nullptr && clock.scale() == 1.0) clock.setScale(kDemoTimeScale);
    TerminalPresentation view(stdout, ChooseOutputStyle(stdout, demo.json), false);

    char pattern[] = "/tmp/flintcast-demo-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) {
        view.Note("Cannot create the demo folder in /tmp.");
        return kExitUsage;
    }
    const fs::path work(pattern);
    const fs::path root = work / "root";
    const fs::path state = work / "state";
    fs::create_directories(root);
    fs::create_directories(state);

    // The demo's settings, logs and backups stay inside its folder, not in the user's.
    ::setenv("XDG_CONFIG_HOME", (work / "config").c_str(), 1);
    ::setenv("XDG_STATE_HOME", (work / "statehome").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (work / "data").c_str(), 1);

    const fs::path profile = work / "unit.json";
    std::ofstream(profile) << (demo.android ? AndroidDemoProfile() : DemoUnitProfile().dump());
    AndroidDemoPackage android;
    if (demo.android) {
        android = MakeAndroidDemoPackage(work / "package");
        if (!android.error.empty()) {
            view.Note(fmt::format("Cannot prepare the Android package: {}.", android.error));
            return kExitUsage;
        }
    }
    platform::ChildProcess simulator;
    const fs::path program = OwnFolder() / "flintcast-devsim";
    if (!simulator.Start(program, {"--root", root.string(), "--state", state.string(), "--profile", profile.string(),
                                   "--time-scale", fmt::format("{}", clock.scale())},
                         work / "devsim.log")) {
        view.Note(fmt::format("Cannot start {}.", program.string()));
        return kExitUsage;
    }
    const uint32_t start = clock.tickMs();
    const uint32_t startLimit = ToolMsFor(kSimulatorStartLimitSeconds);
    while (!DevicePortsPresent(root) && simulator.running() && clock.tickMs() - start < startLimit) {
        clock.sleepMs(50);
    }
    if (!DevicePortsPresent(root)) {
        view.Note(fmt::format("The simulator did not come up; see {}.", (work / "devsim.log").string()));
        simulator.Stop();
        return kExitUsage;
    }
    view.Note(fmt::format("Simulated device ready under {} (time scale {}).", root.string(), clock.scale()));

    RunOptions options;
    options.deviceRoot = root.string();
    options.json = demo.json;
    options.deviceWaitSeconds = 120;
    if (demo.android) {
        options.configPath = android.config.string();
        options.imageFolder = android.imageFolder.string();
    }
    const nlohmann::json before = QueryState(program, root, work);
    int result = RunUpdate(options, view);
    if (result == kExitOk && demo.android) {
        const AndroidDemoCheck unit = CheckAndroidUnit(android, before, QueryState(program, root, work), state);
        view.Note(unit.summary);
        if (!unit.ok) result = kExitFailure;
    }
    if (result == kExitOk) {
        const DeviceDataComparison data = CompareDeviceData(before, QueryState(program, root, work));
        view.Note(data.summary);
        if (!data.allRestored) result = kExitFailure;
    }

    simulator.Stop();
    if (!demo.keep) {
        std::error_code ec;
        fs::remove_all(work, ec);
    } else {
        view.Note(fmt::format("Demo folder kept: {}", work.string()));
    }
    return result;
}

}  // namespace

void RegisterDemoCommand(CLI::App& app, PendingCommand& pending) {
    auto options = std::make_shared<DemoOptions>();
    CLI::App* cmd = app.add_subcommand("demo", "Update a simulated device with the embedded default package");
    cmd->add_flag("--json", options->json, "One JSON object per line event");
    cmd->add_flag("--keep", options->keep, "Keep the demo folder (simulator state, run log) afterwards");
    cmd->add_flag("--android", options->android,
                  "An Android-based unit: fastboot images (one in chunks) and the WiFi board file kept over adb");
    cmd->callback([options, &pending] { pending.run = [options] { return RunDemo(*options); }; });
}

}  // namespace flintcast::cli
