#include "controller/device_check.h"

#include <chrono>
#include <fmt/format.h>

#include "config/project_traits.h"
#include "controller/device_checks.h"

namespace flintcast::controller {
namespace {

using config::EndsCheckWhenReady;
using config::IsOperatorVariant;
using config::UsesDriverInstaller;

bool UsesStartReminder(const config::ProjectConfig& c) { return config::IsOstrelVariant(c.projectType, config::IsVersionMarked(c)); }

}  // namespace

DeviceCheck::DeviceCheck(DeviceDiscovery& discovery, const config::ProjectConfig& config, DeviceCheckHooks hooks,
                         std::string secondPackageVersion)
    : discovery_(discovery), config_(config), hooks_(std::move(hooks)), secondVersion_(std::move(secondPackageVersion)) {}

DeviceCheck::~DeviceCheck() {
    Stop();
}

void DeviceCheck::showStatus(bool ready) {
    const int32_t p = config_.projectType;
    if (hooks_.status) {
        hooks_.status(ready ? ReadyText(p) : NotReadyText(p), ready);
    }
    if (hooks_.startEnabled) {
        hooks_.startEnabled(ready);
    }
}

void DeviceCheck::refuse(std::string_view text, bool setVersionLabel) {
    showStatus(false);
    if (setVersionLabel && hooks_.versionLabel) {
        hooks_.versionLabel("Version:");
    }
    if (hooks_.warning) {
        hooks_.warning(text);
    }
}

PassOutcome DeviceCheck::RunDeviceCheck() {
    const int32_t p = config_.projectType;
    if (hooks_.runModeSwitchTool) {
        hooks_.runModeSwitchTool();
    }
    discovery_.RefreshPortBoxes();
    const PortBoxes boxes = discovery_.boxes();
    if (boxes.diag.empty() || boxes.modem.empty()) {
        if (UsesDriverInstaller(p) && hooks_.markDriverUninstalled) {
            hooks_.markDriverUninstalled();
        }
        showStatus(false);
        if (IsOperatorVariant(p) && hooks_.versionLabel) {
            hooks_.versionLabel("Versinon:");
        }
        return PassOutcome::KeepPolling;
    }
    const DeviceFacts facts = discovery_.facts();
    Refusal refusal;
    if (config_.bCheckProjectCode) {
        refusal = CheckProjectCode(config_.version, facts.deviceVersion);
    }
    if (!refusal && config_.bCheckMainboardType) {
        refusal = CheckMainboard(config_.version, facts.deviceVersion, config_.name, secondVersion_);
    }
    if (!refusal && config_.memoryCheck) {
        MemoryExpectation expected;
        expected.kind = config_.bCheckDataCardMemory ? MemoryCheckKind::DataCard : MemoryCheckKind::Router;
        expected.ramSize = config_.ramSize;
        expected.flashSize = config_.memoryFlashSize;
        expected.supportFlashId = config_.supportFlashID;
        refusal = CheckMemory(facts.flashInfo, expected);
    }
    if (refusal) {
        refuse(*refusal, false);
        return PassOutcome::Ended;
    }
    if (UsesDriverInstaller(p) && hooks_.runDriverInstaller && !hooks_.runDriverInstaller()) {
        return PassOutcome::KeepPolling;  // inconclusive: the next pass tries again
    }
    if (IsOperatorVariant(p)) {
        if (const Refusal variant = CheckOperatorVariant(p, config_.version, facts.deviceVersion, boxes.diag.size())) {
            refuse(*variant, true);
            return PassOutcome::Ended;
        }
        showStatus(true);
        if (hooks_.versionLabel) {
            hooks_.versionLabel(fmt::format("Version:{}", facts.deviceVersion));
        }
        return PassOutcome::KeepPolling;
    }
    showStatus(true);
    if (UsesStartReminder(config_) && hooks_.stopStartReminder) {
        hooks_.stopStartReminder();
    }
    return EndsCheckWhenReady(p) || discovery_.modeSwitchSent() ? PassOutcome::Ended : PassOutcome::KeepPolling;
}

PassOutcome DeviceCheck::RunFastbootCheck() {
    std::string path;
    const bool ready = discovery_.FindFastbootDevice(0, path) == 0;
    showStatus(ready);
    if (hooks_.versionLabel && (ready || IsOperatorVariant(config_.projectType))) {
        hooks_.versionLabel(ready ? "" : "Versinon:");
    }
    return PassOutcome::KeepPolling;
}

void DeviceCheck::Start() {
    std::lock_guard lock(mutex_);
    if (running_) {
        return;
    }
    if (thread_.joinable()) {
        thread_.join();  // a thread that ended itself
    }
    stopRequested_ = false;
    running_ = true;
    thread_ = std::thread([this] { run(); });
}

void DeviceCheck::Stop() {
    {
        std::lock_guard lock(mutex_);
        stopRequested_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) {
        thread_.join();
    }
}

void DeviceCheck::Restart() {
    Stop();
    discovery_.clock().sleepMs(kRestartPauseMs);
    Start();
}

bool DeviceCheck::running() const {
    std::lock_guard lock(mutex_);
    return running_;
}

void DeviceCheck::run() {
    for (;;) {
        {
            std::lock_guard lock(mutex_);
            if (stopRequested_) {
                break;
            }
        }
        const PassOutcome outcome = config_.fastbootOnly ? RunFastbootCheck() : RunDeviceCheck();
        if (outcome == PassOutcome::Ended) {
            break;
        }
        std::unique_lock lock(mutex_);
        const auto pause = std::chrono::microseconds(discovery_.clock().realMicros(kPassPauseMs));
        if (wake_.wait_for(lock, pause, [this] { return stopRequested_; })) {
            break;
        }
    }
    std::lock_guard lock(mutex_);
    running_ = false;
}

}  // namespace flintcast::controller
