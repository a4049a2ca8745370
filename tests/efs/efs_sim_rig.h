#pragma once
// A simulated device with a given EFS tree, and a worker's EFS client on its diagnostic port.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include <nlohmann/json.hpp>

#include "engine/efs_client.h"
#include "platform/child_process.h"
#include "platform/paths.h"
#include "devkit/worker_rig.h"
#include "devkit/temp_dir.h"
#include "devkit/wait_until.h"
#include "devkit/files.h"

namespace flintcast::testing {

namespace fs = std::filesystem;

// Bytes 0, 1, 2, ... as hex text for a profile's "hex" field.
inline std::string PatternHex(size_t size, unsigned seed) {
    std::string out;
    for (size_t i = 0; i < size; ++i) {
        char b[4];
        std::snprintf(b, sizeof b, "%02X", static_cast<unsigned>((i * 7 + seed) & 0xFF));
        out += b;
    }
    return out;
}
inline std::string PatternBytes(size_t size, unsigned seed) {
    std::string out;
    for (size_t i = 0; i < size; ++i) out += static_cast<char>((i * 7 + seed) & 0xFF);
    return out;
}

class SimDevice {
public:
    explicit SimDevice(const nlohmann::json& efsTree, const char* scale = "0.01") {
        const nlohmann::json profile = {{"efs", efsTree}};
        std::ofstream(dir_.path() / "profile.json") << profile.dump();
        fs::create_directories(root());
        started_ = process_.Start(fs::path(FLINTCAST_BIN_DIR) / "flintcast-devsim",
                                  {"--root", root().string(), "--state", (dir_.path() / "state").string(),
                                   "--profile", (dir_.path() / "profile.json").string(), "--time-scale", scale},
                                  dir_.path() / "devsim.log");
        WaitUntil([&] { return fs::exists(root() / "dev/ttyUSB0"); });
    }
    ~SimDevice() { process_.Stop(); }

    bool ready() const { return started_ && fs::exists(root() / "dev/ttyUSB0"); }
    fs::path root() const { return dir_.path() / "root"; }
    std::string log() const { return ReadText(dir_.path() / "devsim.log"); }

    // The device's state as the simulator reports it now.
    nlohmann::json State() const {
        // The control client prints "OK " and the state.
        const std::string command = (fs::path(FLINTCAST_BIN_DIR) / "flintcast-devsim").string() + " ctl " +
                                    root().string() + " state";
        std::string out;
        if (FILE* pipe = ::popen(command.c_str(), "r")) {
            char buffer[4096];
            size_t n = 0;
            while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
            ::pclose(pipe);
        }
        const size_t brace = out.find('{');
        return brace == std::string::npos ? nlohmann::json() : nlohmann::json::parse(out.substr(brace));
    }
    // path -> sha256 (files) or "dir", for every EFS node.
    std::map<std::string, std::string> Tree() const {
        std::map<std::string, std::string> tree;
        const auto state = State();  // kept: the loop below reads into it
        for (const auto& node : state["model"]["efs"]) {
            const auto path = node["path"].get<std::string>();
            tree[path] = node["type"].get<std::string>() == "dir" ? "dir" : node["sha256"].get<std::string>();
        }
        return tree;
    }
    uint64_t Requests(const std::string& kind) const {
        const auto state = State();
        const auto& requests = state["model"]["requests"];
        return requests.contains(kind) ? requests[kind].get<uint64_t>() : 0;
    }

private:
    TempDir dir_;
    platform::ChildProcess process_;
    bool started_ = false;
};

// The worker side: reporting, serial channel and frame layer on its diagnostic port.
class EfsRig {
public:
    explicit EfsRig(const nlohmann::json& efsTree, double workerScale = 0.02) : sim(efsTree), rig(46, workerScale) {
        platform::SetDeviceRoot(sim.root());
        rig.serial.diagPortName = "ttyUSB0";
        if (sim.ready()) rig.serial.OpenDiagPort();
    }
    bool ready() const { return sim.ready() && rig.serial.diagOpen(); }

    SimDevice sim;
    WorkerRig rig;
    TempDir backup;  // stands for the device backup folder
    engine::DownloadProgress progress;
    engine::EfsClient efs{rig.ctx, &progress};
};

}  // namespace flintcast::testing
