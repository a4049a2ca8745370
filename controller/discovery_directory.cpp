#include "controller/discovery_directory.h"

#include "controller/at_query.h"

namespace flintcast::controller {

DiscoveryDirectory::DiscoveryDirectory(DeviceDiscovery& discovery) : discovery_(discovery) {}

DiscoveryDirectory::~DiscoveryDirectory() {
    StopWatching();
}

bool DiscoveryDirectory::WatchDevices(const std::filesystem::path& deviceRoot,
                                      std::function<void(bool arrival, const std::string& node)> onChange) {
    return watcher_.Start(deviceRoot / "dev", [this, onChange = std::move(onChange)](bool arrival, const std::string& node) {
        NoteDeviceChange(arrival);
        if (onChange) {
            onChange(arrival, node);
        }
    });
}

void DiscoveryDirectory::StopWatching() {
    watcher_.Stop();
}

void DiscoveryDirectory::RescanPorts() {
    discovery_.RefreshPortBoxes();
}

std::string DiscoveryDirectory::FoundDiagPort() {
    const PortBoxes boxes = discovery_.boxes();
    return boxes.diag.empty() ? std::string() : boxes.diag.front();
}

std::string DiscoveryDirectory::FoundModemPort() {
    const PortBoxes boxes = discovery_.boxes();
    return boxes.modem.empty() ? std::string() : boxes.modem.front();
}

bool DiscoveryDirectory::IsSameDiagPort(std::string_view portName) {
    return discovery_.IsSameDiagPort(portName);
}

std::optional<std::string> DiscoveryDirectory::AtQuery(platform::SerialPort& port, std::string_view command) {
    return controller::AtQuery(port, discovery_.clock(), command);
}

int32_t DiscoveryDirectory::FindFastbootDevice(int index, std::string& path) {
    return discovery_.FindFastbootDevice(index, path);
}

int32_t DiscoveryDirectory::FindAdbDevice(int index, std::string& name) { return discovery_.FindAdbDevice(index, name); }

void DiscoveryDirectory::ShowDeviceVersion(std::string_view text) {
    if (versionSink_) {
        versionSink_(text);
    }
}

bool DiscoveryDirectory::ModeSwitchSent() const {
    return discovery_.modeSwitchSent();
}

}  // namespace flintcast::controller
