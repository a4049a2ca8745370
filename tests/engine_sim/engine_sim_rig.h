#pragma once
// One worker's engine against a running flintcast-devsim: a generated package for the
// device's project, verified into an image set; the simulator started with a profile for
// that project; the worker's reporting, serial channel and frame layer on the same time
// scale; and the device directory served by real discovery over the simulator's tree, so
// the device-change flags come from its re-enumerations. Tests call the engine's stages
// directly and check the simulator's state afterwards.
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "config/project_config.h"
#include "controller/device_discovery.h"
#include "controller/discovery_directory.h"
#include "engine/dmss_bootloader.h"
#include "engine/download_progress.h"
#include "engine/frame_layer.h"
#include "engine/image_set.h"
#include "engine/reporter.h"
#include "engine/reset_rediscovery.h"
#include "engine/serial_channel.h"
#include "engine/worker_context.h"
#include "platform/clock.h"
#include "tests/support/sim_process.h"
#include "devkit/temp_dir.h"

namespace flintcast::testing {

struct SimDevice {
    int32_t project = 46;
    double scale = 0.02;
    // Largest DMSS write the bootloader reports; 0 picks the project's own (0x4000 for 46).
    uint32_t dmssWriteSize = 0;
    bool shiftPorts = false;
    bool interfaceStrings = true;  // false: the ports are found only by probing
    std::string faults;  // --faults
    nlohmann::json profile = nlohmann::json::object();  // merged over the rig's own profile

    SimDevice& Project(int32_t p) { project = p; return *this; }
    SimDevice& Scale(double s) { scale = s; return *this; }
    SimDevice& ShiftPorts(bool on = true) { shiftPorts = on; return *this; }
    SimDevice& Nameless() { interfaceStrings = false; return *this; }
    SimDevice& Faults(std::string spec) { faults = std::move(spec); return *this; }
    SimDevice& Profile(nlohmann::json extra) { profile = std::move(extra); return *this; }
};

class EngineSimRig {
public:
    explicit EngineSimRig(SimDevice device);
    ~EngineSimRig();
    EngineSimRig(const EngineSimRig&) = delete;
    EngineSimRig& operator=(const EngineSimRig&) = delete;

    // Writes the project's package (large images of `imageKiB`; 0 keeps the generator's own
    // sizes) into images(). Call before Start(); tests may replace files afterwards.
    bool Generate(size_t imageKiB = 16);
    // Verifies the package with `config` into `images`, starts the simulator and opens the
    // diagnostic port. False (with a reason in failure()) when any of it failed.
    bool Start();

    // The engine's stages, as the worker runs them.
    void RunBootloaderStage();
    void RunStreamingStage();

    // The simulator's current state ("ctl state"), or discarded JSON.
    nlohmann::json State() const;
    // A control command ("unplug", "fault drop-reply:programmer@2", ...); true on "OK".
    bool Ctl(const std::string& command) const;
    // Bytes of a file.
    static std::vector<uint8_t> ReadBytes(const std::filesystem::path& path);
    // The bytes the device stored for image `name` ("amss", "efs", ...), from its state folder.
    std::vector<uint8_t> Written(const nlohmann::json& state, const std::string& name) const;

    std::vector<std::string> texts() const;
    std::vector<std::string> errors() const;
    bool posted(const std::string& text) const;
    size_t count(const std::string& text) const;
    std::string failure() const { return failure_; }

    std::filesystem::path images() const { return dir_.path() / "images"; }
    std::filesystem::path staging() const { return dir_.path() / "staging"; }
    simtest::SimProcess& sim() { return *sim_; }

    SimDevice device;
    config::ProjectConfig config;
    engine::ImageSet imageSet;

private:
    TempDir dir_;
    std::unique_ptr<simtest::SimProcess> sim_;
    std::string failure_;

public:
    platform::Clock clock;
    engine::Reporter reporter;
    engine::SerialChannel serial;
    engine::FrameLayer frames;
    engine::WorkerContext ctx;
    engine::DownloadProgress progress;
    std::unique_ptr<controller::DeviceDiscovery> discovery;
    std::unique_ptr<controller::DiscoveryDirectory> directory;

private:
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
    std::vector<std::string> errors_;
};

// The lines a stage posted, one per line, for failure output and searches.
inline std::string Joined(const std::vector<std::string>& lines) {
    std::string out;
    for (const auto& l : lines) out += l + "\n";
    return out;
}

}  // namespace flintcast::testing
