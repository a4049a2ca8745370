#pragma once
// A worker's AT channel and re-discovery wired to the real discovery code, over a running
// flintcast-devsim: the device tree under the simulator's root is what the scan sees, the
// worker opens the simulator's pseudo-terminals, and the device-change flags come from the
// watcher on <root>/dev. Tool and simulator run on the same time scale.
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "controller/device_discovery.h"
#include "controller/discovery_directory.h"
#include "engine/at_channel.h"
#include "engine/reset_rediscovery.h"
#include "platform/paths.h"
#include "devkit/worker_rig.h"
#include "tests/support/sim_process.h"
#include "devkit/temp_dir.h"
#include "devkit/wait_until.h"

namespace flintcast::testing {

// AT exchanges end after 8 tool seconds: at this scale that is 320 ms of real time, enough for
// a simulator that shares a busy machine.
inline constexpr double kSimScale = 0.04;
// For tests that only wait out long limits.
inline constexpr double kFastSimScale = 0.01;

// Writes `profileJson` (when not empty) and returns the simulator's arguments for it.
inline std::vector<std::string> SimArgs(const std::filesystem::path& folder, const std::string& profileJson,
                                        std::vector<std::string> extra, double scale) {
    std::vector<std::string> args{"--time-scale", std::to_string(scale)};
    if (!profileJson.empty()) {
        std::ofstream(folder / "profile.json") << profileJson;
        args.insert(args.end(), {"--profile", (folder / "profile.json").string()});
    }
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
}

// What the probe reads from a configuration.
inline controller::ProbeSettings ProbeFor(const config::ProjectConfig& cfg) {
    controller::ProbeSettings probe;
    probe.projectType = cfg.projectType;
    probe.checkProjectCode = cfg.bCheckProjectCode;
    probe.checkMainboardType = cfg.bCheckMainboardType;
    probe.memoryCheck = cfg.memoryCheck;
    probe.packageName = cfg.name;
    return probe;
}

class SimRig {
public:
    SimRig(const std::string& profileJson, int32_t project, std::vector<std::string> simArgs = {},
           controller::DiscoverySettings settings = {}, double scale = kSimScale)
        : sim(SimArgs(files.path(), profileJson, std::move(simArgs), scale)), worker(project, scale) {
        platform::SetDeviceRoot(sim.root());
        worker.config.projectType = project;
        probeConfig.projectType = project;
        discovery = std::make_unique<controller::DeviceDiscovery>(
            worker.clock, sim.root(), std::move(settings), ProbeFor(probeConfig), [this](std::string_view line) {
                std::lock_guard lock(logMutex_);
                log_.emplace_back(line);
            });
        directory = std::make_unique<controller::DiscoveryDirectory>(*discovery);
        at = std::make_unique<engine::AtChannel>(worker.ctx, *directory, engine::AtSettings{});
    }
    ~SimRig() {
        at.reset();
        directory.reset();
        discovery.reset();
        worker.serial.port(engine::PortSlot::Diag).close();
        worker.serial.port(engine::PortSlot::Modem).close();
        sim.Terminate();
    }

    bool started() const { return !sim.readyLine().empty(); }

    // Opens the worker's ports on the given names, as the run controller hands them over.
    bool OpenPorts(const std::string& diag, const std::string& modem) {
        worker.serial.diagPortName = diag;
        worker.serial.modemPortName = modem;
        worker.serial.OpenDiagPort();
        return worker.ctx.ok() && worker.serial.OpenModemPort();
    }

    // The simulator's state as "ctl state" answers it.
    nlohmann::json State() const {
        std::string out;
        if (sim.Ctl("state", &out) != 0 || out.rfind("OK ", 0) != 0) return {};
        return nlohmann::json::parse(out.substr(3), nullptr, false);
    }
    // Waits (real time) until the simulator reports its device present with `enumerations`
    // enumerations or more.
    nlohmann::json WaitPresent(uint64_t enumerations, std::chrono::milliseconds limit = std::chrono::seconds(5)) const {
        nlohmann::json s;
        WaitUntil(
            [&] {
                s = State();
                return s.is_object() && s.value("status", "") == "present" &&
                       s.value("enumerations", 0ULL) >= enumerations;
            },
            limit);
        return s;
    }
    // Names of the present ports with `role` ("diag", "modem", ...).
    static std::vector<std::string> PortsWithRole(const nlohmann::json& state, const std::string& role) {
        std::vector<std::string> names;
        if (!state.contains("ports")) return names;
        for (const auto& p : state["ports"])
            if (p.value("role", "") == role) names.push_back(p.value("name", ""));
        return names;
    }

    std::vector<std::string> discoveryLog() {
        std::lock_guard lock(logMutex_);
        return log_;
    }

    TempDir files;
    simtest::SimProcess sim;
    WorkerRig worker;
    config::ProjectConfig probeConfig;
    std::unique_ptr<controller::DeviceDiscovery> discovery;
    std::unique_ptr<controller::DiscoveryDirectory> directory;
    std::unique_ptr<engine::AtChannel> at;

private:
    std::mutex logMutex_;
    std::vector<std::string> log_;
};

}  // namespace flintcast::testing
