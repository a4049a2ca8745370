#pragma once
// A worker context with its diagnostic and modem ports open on a running flintcast-devsim, for
// backup and restore round trips. The tool's clock and the simulator run on the same scale.
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "engine/at_channel.h"
#include "platform/child_process.h"
#include "platform/paths.h"
#include "devkit/worker_rig.h"
#include "devkit/wait_until.h"
#include "devkit/files.h"

namespace flintcast::testing {

class DevsimRig {
public:
    // `profile` is the simulator's profile JSON ("" for its built-in one).
    explicit DevsimRig(const std::string& profile = "", double scale = 0.02, int32_t project = 46)
        : worker(project, scale) {
        namespace fs = std::filesystem;
        const fs::path base = dir.path();
        fs::create_directories(root());
        fs::create_directories(base / "state");
        fs::create_directories(backup());
        std::vector<std::string> args = {"--root", root().string(), "--state", (base / "state").string(),
                                         "--time-scale", std::to_string(scale)};
        if (!profile.empty()) {
            std::ofstream(base / "profile.json") << profile;
            args.insert(args.end(), {"--profile", (base / "profile.json").string()});
        }
        started = sim.Start(Devsim(), args, base / "devsim.log");
        WaitUntil([&] { return fs::exists(root() / "dev/ttyUSB2"); });
        ready = started && fs::exists(root() / "dev/ttyUSB2");
        platform::SetDeviceRoot(root());
        worker.serial.diagPortName = "ttyUSB0";
        worker.serial.modemPortName = "ttyUSB2";
        if (ready) {
            worker.serial.OpenDiagPort();
            worker.serial.OpenModemPort();
        }
        at = std::make_unique<engine::AtChannel>(worker.ctx, worker.directory, engine::AtSettings{});
    }
    ~DevsimRig() {
        at.reset();
        worker.serial.port(engine::PortSlot::Diag).close();
        worker.serial.port(engine::PortSlot::Modem).close();
        sim.Stop(2000);
    }

    static std::filesystem::path Devsim() { return std::filesystem::path(FLINTCAST_BIN_DIR) / "flintcast-devsim"; }
    std::filesystem::path root() const { return dir.path() / "root"; }
    std::filesystem::path backup() const { return dir.path() / "backup"; }
    std::string log() const { return ReadText(dir.path() / "devsim.log"); }

    // The simulator's current state ("ctl state").
    nlohmann::json State() const {
        const auto out = dir.path() / "ctl.out";
        platform::ChildProcess ctl;
        if (!ctl.Start(Devsim(), {"ctl", root().string(), "state"}, out)) return {};
        WaitUntil([&] { return !ctl.running(); });
        ctl.Stop(1000);
        std::string text = ReadText(out);  // "OK " and the JSON
        if (text.rfind("OK ", 0) == 0) text.erase(0, 3);
        return nlohmann::json::parse(text, nullptr, false);
    }
    // Sends a control command ("fault nv-status:141=5").
    void Ctl(const std::vector<std::string>& command) const {
        std::vector<std::string> args = {"ctl", root().string()};
        args.insert(args.end(), command.begin(), command.end());
        platform::ChildProcess ctl;
        if (!ctl.Start(Devsim(), args, dir.path() / "ctl.out")) return;
        WaitUntil([&] { return !ctl.running(); });
        ctl.Stop(1000);
    }

    TempDir dir;
    WorkerRig worker;
    platform::ChildProcess sim;
    std::unique_ptr<engine::AtChannel> at;
    bool started = false;
    bool ready = false;
};

}  // namespace flintcast::testing
