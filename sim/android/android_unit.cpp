#include "sim/android/android_unit.h"

#include <stdexcept>

#include <nlohmann/json.hpp>

namespace flintcast::sim {
namespace {

// bInterfaceProtocol of the vendor-specific (ff/42) functions.
constexpr uint8_t kFastbootProtocol = 0x03;
constexpr uint8_t kAdbProtocol = 0x01;
// Modification time of the profile's files (2011-01-01).
constexpr uint32_t kProfileFileTime = 1293840000;

const InterfaceSpec* FindRole(const UsbLayout& layout, PortRole role) {
    for (const auto& spec : layout.interfaces)
        if (spec.role == role) return &spec;
    return nullptr;
}

}  // namespace

AndroidUnit::AndroidUnit(const Profile& profile, const std::filesystem::path& stateFolder, Faults& faults,
                         ProtocolFaultHooks* requestFaults, ReplyWriter& writer, const platform::Clock& clock)
    : profile_(profile), faults_(faults), requestFaults_(requestFaults), writer_(writer), clock_(clock) {
    fastbootSettings_.product = profile.fastboot.product;
    fastbootSettings_.bootloaderVersion = profile.fastboot.bootloaderVersion;
    fastbootSettings_.serial = profile.serial;
    fastbootSettings_.maxDownloadSize = profile.fastboot.maxDownloadSize;
    fastbootSettings_.infoLines = profile.fastboot.infoLines;
    if (profile.layouts.contains(UsbPersonality::Fastboot))
        partitions_ = std::make_unique<PartitionStore>(stateFolder / "partitions", profile.fastboot.partitions);
    for (const auto& f : profile.adb.files) {
        const bool ok = f.directory ? files_.MakeDirs(f.path, f.mode)
                                    : files_.Write(f.path, f.data, f.mode, kProfileFileTime).empty();
        if (!ok) throw std::runtime_error("profile: adb file " + f.path + " does not fit the file tree");
    }
    adbIdentity_.properties = profile.adb.properties;
}

AndroidUnit::~AndroidUnit() = default;

std::vector<UsbFunctionEntry> AndroidUnit::Enumerate(UsbPersonality personality) {
    LeaveBus();
    std::vector<UsbFunctionEntry> functions;
    const auto it = profile_.layouts.find(personality);
    if (it == profile_.layouts.end()) return functions;
    if (const auto* spec = FindRole(it->second, PortRole::Fastboot); spec && partitions_) {
        fastboot_ = std::make_unique<FastbootService>(fastbootSettings_, *partitions_, faults_, requestFaults_, writer_,
                                                      clock_);
        functions.push_back({spec->number, spec->name, kFastbootProtocol, "tcp:" + fastboot_->address()});
    }
    if (const auto* spec = FindRole(it->second, PortRole::Adb)) {
        adb_ = std::make_unique<AdbService>(files_, adbIdentity_, faults_, requestFaults_, writer_);
        functions.push_back({spec->number, spec->name, kAdbProtocol, "tcp:" + adb_->address()});
    }
    return functions;
}

void AndroidUnit::LeaveBus() {
    fastboot_.reset();
    adb_.reset();
}

void AndroidUnit::WipeByUpdate() {
    for (const auto& path : profile_.adb.wipedByUpdate) files_.Remove(path);
}

void AndroidUnit::AddPollFds(std::vector<pollfd>& fds) const {
    if (fastboot_) fastboot_->AddPollFds(fds);
    if (adb_) adb_->AddPollFds(fds);
}

std::vector<AndroidUnit::Action> AndroidUnit::Serve(std::span<const pollfd> fds) {
    std::vector<Action> actions;
    if (adb_) {
        const auto events = adb_->Serve(fds);
        if (events.changed) actions.push_back(Action::StateChanged);
        if (events.disconnect) actions.push_back(Action::Disconnect);
    }
    if (!fastboot_) return actions;
    for (const auto event : fastboot_->Serve(fds)) {
        switch (event) {
            case FastbootOutput::Event::Continue:
            case FastbootOutput::Event::Reboot: actions.push_back(Action::Reboot); break;
            case FastbootOutput::Event::RebootBootloader: actions.push_back(Action::RebootBootloader); break;
            case FastbootOutput::Event::Disconnect: actions.push_back(Action::Disconnect); break;
            case FastbootOutput::Event::Flashed:
                WipeByUpdate();
                actions.push_back(Action::StateChanged);
                break;
            case FastbootOutput::Event::None: break;
        }
    }
    return actions;
}

void AndroidUnit::AddState(nlohmann::json& state) const {
    state["fastboot"] = fastboot_ ? nlohmann::json{{"tcp", fastboot_->address()}} : nlohmann::json();
    state["adb"] = adb_ ? nlohmann::json{{"tcp", adb_->address()}} : nlohmann::json();
    state["partitions"] = partitions_ ? partitions_->ToJson() : nlohmann::json::object();
    state["android_files"] = files_.ToJson();
}

}  // namespace flintcast::sim
