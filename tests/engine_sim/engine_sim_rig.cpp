#include "tests/engine_sim/engine_sim_rig.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

#include <fmt/format.h>

#include "config/messages.h"
#include "controller/discovery_settings.h"
#include "controller/image_verification.h"
#include "engine/image_procedures.h"
#include "platform/paths.h"

namespace flintcast::testing {

namespace fs = std::filesystem;

EngineSimRig::EngineSimRig(SimDevice d)
    : device(std::move(d)), clock(device.scale), serial(clock, reporter), frames(clock, reporter, serial),
      ctx{clock, reporter, serial, frames, config, device.project} {
    config.projectType = device.project;
    serial.projectType = device.project;
    engine::ReporterHooks hooks;
    hooks.OnStatus = [this](int32_t, int32_t, int32_t, const std::string& text) {
        std::lock_guard lock(mutex_);
        lines_.push_back(text);
    };
    hooks.OnErrorText = [this](int32_t, const std::string& text) {
        std::lock_guard lock(mutex_);
        errors_.push_back(text);
    };
    reporter.setHooks(hooks);
    fs::create_directories(images());
    fs::create_directories(staging());
}

EngineSimRig::~EngineSimRig() {
    if (directory) directory->StopWatching();
    serial.port(engine::PortSlot::Diag).close();
    serial.port(engine::PortSlot::Modem).close();
    sim_.reset();
    platform::ResetDeviceRoot();
}

bool EngineSimRig::Generate(size_t imageKiB) {
    const std::string command =
        fmt::format("'{}/flintcast-mkpackage' --out '{}' --project {} --image-kib {}", FLINTCAST_BIN_DIR,
                    images().string(), device.project, imageKiB);
    if (std::system(command.c_str()) != 0) {
        failure_ = "package generator failed: " + command;
        return false;
    }
    return true;
}

bool EngineSimRig::Start() {
    std::error_code ec;
    fs::copy_file(fs::path(FLINTCAST_BIN_DIR) / "libravelin.so", staging() / "libravelin.so",
                  fs::copy_options::overwrite_existing, ec);
    config::RecordingMessageSink messages;
    std::vector<controller::ListedImage> list;
    if (!controller::VerifyImageSet(images(), config, {}, {staging(), staging()}, messages, imageSet, list)) {
        failure_ = "image set refused";
        for (const auto& m : messages.messages()) failure_ += ": " + m.text;
        return false;
    }
    progress.setTotal(imageSet.totalBytes);

    const uint32_t writeSize = device.dmssWriteSize != 0 ? device.dmssWriteSize
                                                         : (device.project == 46 ? 0x4000u : 0x1000u);
    nlohmann::json profile = {{"project", device.project}, {"dmss", {{"max_write_size", writeSize}}}};
    if (device.shiftPorts) profile["usb"]["shift_ports"] = true;
    if (!device.interfaceStrings) profile["usb"]["interface_strings"] = false;
    profile.merge_patch(device.profile);
    const fs::path profilePath = dir_.path() / "profile.json";
    std::ofstream(profilePath) << profile.dump();
    std::vector<std::string> args = {"--profile", profilePath.string(), "--time-scale", fmt::format("{}", device.scale)};
    if (!device.faults.empty()) args.insert(args.end(), {"--faults", device.faults});
    sim_ = std::make_unique<simtest::SimProcess>(args);
    if (sim_->readyLine().empty() || !sim_->WaitForDev({"ttyUSB0", "ttyUSB1", "ttyUSB2"})) {
        failure_ = "simulator did not come up";
        return false;
    }

    platform::SetDeviceRoot(sim_->root());
    controller::ProbeSettings probe;
    probe.projectType = device.project;
    discovery = std::make_unique<controller::DeviceDiscovery>(clock, sim_->root(),
                                                              controller::DefaultDiscoverySettings(), probe);
    directory = std::make_unique<controller::DiscoveryDirectory>(*discovery);
    if (!directory->WatchDevices(sim_->root())) {
        failure_ = "cannot watch the device tree";
        return false;
    }
    serial.diagPortName = "ttyUSB0";
    serial.modemPortName = "ttyUSB2";
    serial.OpenDiagPort();
    if (!serial.diagOpen()) {
        failure_ = "diagnostic port did not open";
        return false;
    }
    return true;
}

void EngineSimRig::RunBootloaderStage() {
    engine::ResetSettings settings;
    settings.fastSpeed = config.bFastSpeedDownload;
    engine::ResetRediscovery reset(ctx, *directory, settings);
    engine::BootloaderSeams seams;
    seams.EnterDownloadMode = [&reset] { return reset.EnterDownloadMode(); };
    seams.FindComPort = [&reset] { return reset.FindComPort(); };
    engine::DmssBootloader bootloader(ctx, *directory, progress);
    const engine::ProgrammerImage programmer{imageSet.file(engine::ImageSlot::Programmer).path,
                                             imageSet.programmerLoadAddress};
    bootloader.RunBootloaderStage(programmer, seams);
}

void EngineSimRig::RunStreamingStage() { engine::RunStreamingStage(ctx, imageSet, progress); }

nlohmann::json EngineSimRig::State() const {
    std::string out;
    if (sim_ == nullptr || sim_->Ctl("state", &out) != 0) return nlohmann::json::value_t::discarded;
    if (out.rfind("OK ", 0) == 0) out.erase(0, 3);
    return nlohmann::json::parse(out, nullptr, false);
}

bool EngineSimRig::Ctl(const std::string& command) const {
    std::string out;
    return sim_ != nullptr && sim_->Ctl(command, &out) == 0 && out.rfind("OK", 0) == 0;
}

std::vector<uint8_t> EngineSimRig::ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<uint8_t> EngineSimRig::Written(const nlohmann::json& state, const std::string& name) const {
    if (!state.contains("model") || !state["model"]["images"].contains(name)) return {};
    const auto& entry = state["model"]["images"][name];
    if (!entry.contains("file")) return {};
    return ReadBytes(entry["file"].get<std::string>());
}

std::vector<std::string> EngineSimRig::texts() const {
    std::lock_guard lock(mutex_);
    return lines_;
}

std::vector<std::string> EngineSimRig::errors() const {
    std::lock_guard lock(mutex_);
    return errors_;
}

bool EngineSimRig::posted(const std::string& text) const { return count(text) > 0; }

size_t EngineSimRig::count(const std::string& text) const {
    std::lock_guard lock(mutex_);
    return static_cast<size_t>(std::count(lines_.begin(), lines_.end(), text));
}

}  // namespace flintcast::testing
