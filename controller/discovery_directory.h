#pragma once
// The worker's view of "the main window", served by device discovery: the
// port scan and its selector texts, the presence check, the AT query, the
// fastboot lookup, the version label, and the device-change flags driven by
// the device-node watcher on <root>/dev.
#include <functional>
#include <string>

#include "controller/device_discovery.h"
#include "engine/device_directory.h"
#include "platform/device_events.h"

namespace flintcast::controller {

class DiscoveryDirectory final : public engine::DeviceDirectory {
public:
    explicit DiscoveryDirectory(DeviceDiscovery& discovery);
    ~DiscoveryDirectory() override;

    // Starts watching <root>/dev; `onChange` (may be empty) is called after the
    // flags are set, on the watcher's thread.
    bool WatchDevices(const std::filesystem::path& deviceRoot,
                      std::function<void(bool arrival, const std::string& node)> onChange = {});
    void StopWatching();

    // Where the version label goes (the window's label, a terminal line).
    void setVersionLabelSink(std::function<void(std::string_view)> sink) { versionSink_ = std::move(sink); }

    void RescanPorts() override;
    std::string FoundDiagPort() override;
    std::string FoundModemPort() override;
    bool IsSameDiagPort(std::string_view portName) override;
    std::optional<std::string> AtQuery(platform::SerialPort& port, std::string_view command) override;
    int32_t FindFastbootDevice(int index, std::string& path) override;
    int32_t FindAdbDevice(int index, std::string& name) override;
    void ShowDeviceVersion(std::string_view text) override;
    bool ModeSwitchSent() const override;

private:
    DeviceDiscovery& discovery_;
    platform::DeviceEventWatcher watcher_;
    std::function<void(std::string_view)> versionSink_;
};

}  // namespace flintcast::controller
