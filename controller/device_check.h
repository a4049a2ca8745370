#pragma once
// The device check: a pass that finds the device's ports and compares the
// device with the package, and the thread that repeats it every 2 seconds
// until the device is ready (for the projects that stop there) or refused.
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "config/project_config.h"
#include "controller/device_discovery.h"

namespace flintcast::controller {

// What a pass shows; each hook may be empty.
struct DeviceCheckHooks {
    std::function<void(std::string_view text, bool ready)> status;
    std::function<void(std::string_view text)> versionLabel;
    std::function<void(bool enabled)> startEnabled;
    // A modal message with the caption "Warning".
    std::function<void(std::string_view text)> warning;
    // The mode switch tool, started before every pass.
    std::function<void()> runModeSwitchTool;
    // The driver installer of projects 6, 19, 20 and 42; false when it failed.
    std::function<bool()> runDriverInstaller;
    // "[Uninstall] UninstallUDisk" = 0 in the image folder's Config.ini.
    std::function<void()> markDriverUninstalled;
    std::function<void()> stopStartReminder;
};

enum class PassOutcome {
    KeepPolling,
    Ended,  // ready for a project that stops there, or refused
};

class DeviceCheck {
public:
    static constexpr uint32_t kPassPauseMs = 2000;
    static constexpr uint32_t kRestartPauseMs = 500;

    DeviceCheck(DeviceDiscovery& discovery, const config::ProjectConfig& config, DeviceCheckHooks hooks,
                std::string secondPackageVersion = {});
    ~DeviceCheck();
    DeviceCheck(const DeviceCheck&) = delete;
    DeviceCheck& operator=(const DeviceCheck&) = delete;

    // One pass of the check.
    PassOutcome RunDeviceCheck();
    // The pass of a fastboot-only run.
    PassOutcome RunFastbootCheck();

    // The thread: passes with a 2-second pause until a pass ends it or Stop.
    void Start();
    void Stop();
    // Ends the thread, waits 500 ms and starts a new one.
    void Restart();
    bool running() const;

private:
    DeviceDiscovery& discovery_;
    const config::ProjectConfig& config_;
    DeviceCheckHooks hooks_;
    std::string secondVersion_;

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    bool stopRequested_ = false;
    bool running_ = false;
    std::thread thread_;

    void run();
    void showStatus(bool ready);
    void refuse(std::string_view text, bool setVersionLabel);
};

}  // namespace flintcast::controller
