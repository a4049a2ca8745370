// `flintcast demo`: the simulated device in a fresh temporary root, the embedded default
// package's update on it at a time scale that ends it in about a minute, then the simulator
// is stopped again. The unit's EFS image wipes its data, so the demo ends by comparing the
// simulator's state before and after: a run that lost any backed-up value does not pass.
#include <fmt/format.h>

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
#include "platform/process.h"

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
    auto state = nlohmann::json::parse(text.str(), nullptr, false);
    return state.is_discarded() ? nlohmann::json() : state;
}

struct DemoOptions {
    RunOptions run;
    bool keep = false;
    bool android = false;
};

// The demo's folder and simulator go away however the demo ends: at its end, on an early
// return, on Ctrl-C or SIGTERM (the run is stopped first), when its reader closes the pipe.
// Should the demo itself be killed, the simulator ends with it (see --parent-pid).
class DemoFolder {
public:
    DemoFolder(fs::path work, bool keep) : work_(std::move(work)), keep_(keep) {}
    ~DemoFolder() {
        if (keep_) return;
        std::error_code ec;
        fs::remove_all(work_, ec);
    }
    DemoFolder(const DemoFolder&) = delete;
    DemoFolder& operator=(const DemoFolder&) = delete;

private:
    fs::path work_;
    bool keep_;
};

class RunningSimulator {
public:
    platform::ChildProcess& process() { return process_; }
    ~RunningSimulator() {
        if (process_.running()) process_.Stop();
    }

private:
    platform::ChildProcess process_;
};

int RunDemo(const DemoOptions& demo) {
    auto& clock = platform::SystemClock();
    if (std::getenv("FLINTCAST_TIME_SCALE") == nullptr && clock.scale() == 1.0) clock.setScale(kDemoTimeScale);
    TerminalPresentation view(PresentationFor(demo.run));

    char pattern[] = "/tmp/flintcast-demo-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) {
        view.Error("Cannot create the demo folder in /tmp.");
        return kExitRefused;
    }
    const fs::path work(pattern);
    DemoFolder folder(work, demo.keep);
    const fs::path root = work / "root";
    const fs::path state = work / "state";
    fs::create_directories(root);
    fs::create_directories(state);

    // The demo's settings, logs, backups and staging stay inside its folder, never in the
    // user's own (~/.config/flintcast, the backup root, the staging folder of a real run).
    ::setenv("XDG_CONFIG_HOME", (work / "config").c_str(), 1);
    ::setenv("XDG_STATE_HOME", (work / "statehome").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (work / "data").c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", (work / "runtime").c_str(), 1);
    ::setenv("TMPDIR", (work / "temp").c_str(), 1);
    ::setenv("HOME", work.c_str(), 1);
    fs::create_directories(work / "runtime");
    fs::create_directories(work / "temp");

    const fs::path profile = work / "unit.json";
    std::ofstream(profile) << (demo.android ? AndroidDemoProfile() : DemoUnitProfile().dump());
    AndroidDemoPackage android;
    if (demo.android) {
        android = MakeAndroidDemoPackage(work / "package");
        if (!android.error.empty()) {
            view.Error(fmt::format("Cannot prepare the Android package: {}.", android.error));
            return kExitRefused;
        }
    }
    RunningSimulator simulator;
    const fs::path program = OwnFolder() / "flintcast-devsim";
    if (!simulator.process().Start(program,
                                   {"--root", root.string(), "--state", state.string(), "--profile", profile.string(),
                                    "--time-scale", fmt::format("{}", clock.scale()), "--parent-pid",
                                    std::to_string(platform::CurrentProcessId())},
                                   work / "devsim.log")) {
        view.Error(fmt::format("Cannot start {}.", program.string()));
        return kExitRefused;
    }
    const uint32_t start = clock.tickMs();
    const uint32_t startLimit = ToolMsFor(kSimulatorStartLimitSeconds);
    while (!DevicePortsPresent(root) && simulator.process().running() && clock.tickMs() - start < startLimit) {
        clock.sleepMs(50);
    }
    if (!DevicePortsPresent(root)) {
        view.Error(fmt::format("The simulator did not come up; see {}.", (work / "devsim.log").string()));
        return kExitRefused;
    }
    view.Note(fmt::format("Simulated device ready under {} (time scale {}).", root.string(), clock.scale()));

    RunOptions options = demo.run;
    options.deviceRoot = root.string();
    options.deviceWaitSeconds = 120;
    options.stopWhenOutputCloses = true;
    options.reportResult = false;
    if (demo.android) {
        options.configPath = android.config.string();
        options.imageFolder = android.imageFolder.string();
    }
    const nlohmann::json before = QueryState(program, root, work);
    int result = RunUpdate(options, view);
    if (result == kExitOk && demo.android) {
        const AndroidDemoCheck unit = CheckAndroidUnit(android, before, QueryState(program, root, work), state);
        if (unit.ok) {
            view.Note(unit.summary);
        } else {
            view.Error(unit.summary);
            result = kExitFailure;
        }
    }
    if (result == kExitOk) {
        const DeviceDataComparison data = CompareDeviceData(before, QueryState(program, root, work));
        if (data.allRestored) {
            view.Note(data.summary);
        } else {
            view.Error(data.summary);
            result = kExitFailure;
        }
    }
    simulator.process().Stop();
    if (demo.keep) view.Note(fmt::format("Demo folder kept: {}", work.string()));
    view.Result(result, "");
    return result;
}

}  // namespace

void RegisterDemoCommand(CLI::App& app, PendingCommand& pending) {
    auto options = std::make_shared<DemoOptions>();
    CLI::App* cmd = app.add_subcommand("demo", "Update a simulated device with the embedded default package");
    cmd->add_flag("--json", options->run.json, "One JSON event per line (docs/json-events.md)");
    cmd->add_flag("--verbose,-v", options->run.verbose, "Show the worker's whole log on the terminal");
    cmd->add_flag("--yes,-y", options->run.yes,
                  "Answer OK to the run's questions (without it a terminal is asked; with no terminal, Cancel)");
    cmd->add_flag("--keep", options->keep, "Keep the demo folder (simulator state, run log) afterwards");
    cmd->add_flag("--android", options->android,
                  "An Android-based unit: fastboot images (one in chunks) and the WiFi board file kept over adb");
    cmd->callback([options, &pending] { pending.run = [options] { return RunDemo(*options); }; });
}

}  // namespace flintcast::cli
