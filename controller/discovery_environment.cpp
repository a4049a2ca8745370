#include "controller/discovery_environment.h"

#include "config/dual_package.h"

namespace flintcast::controller {

DiscoveryEnvironment::DiscoveryEnvironment(DeviceDiscovery& discovery, DeviceCheck& check, StagingFolders folders,
                                           std::filesystem::path imageFolder, config::MessageSink& messages)
    : discovery_(discovery),
      check_(check),
      folders_(std::move(folders)),
      imageFolder_(std::move(imageFolder)),
      messages_(messages) {}

PortBoxes DiscoveryEnvironment::RefreshPortBoxes() {
    discovery_.RefreshPortBoxes();
    return discovery_.boxes();
}

bool DiscoveryEnvironment::FastbootDeviceReady() {
    std::string path;
    return discovery_.FindFastbootDevice(0, path) == 0;
}

bool DiscoveryEnvironment::SelectPackage(config::ProjectConfig& config) {
    const std::string board = discovery_.facts().mainboard;
    if (config.packet <= 1) {
        // Single-package mode: the device must fit the one package.
        const bool fits = board == config.name || (board == "MBX2" && config.name != "MBX1") ||
                          (board == "MBY1" && config.name != "MBY2");
        if (!fits) {
            const bool fullStop = (board == "MBX2" && config.name == "MBX1") || (board == "MBY1" && config.name == "MBY2");
            messages_.show({"Warning", fullStop ? "Device and software version is not matched."
                                                : "Device and software version is not matched!"});
        }
        return fits;
    }
    messages_.show({"Warning", "Device and software version is not matched!"});
    return false;
}

bool DiscoveryEnvironment::VerifyImageSet(const config::ProjectConfig& config, bool reupdateMode,
                                          engine::ImageSet& images) {
    VerifyOptions options;
    options.reUpdate = reupdateMode;
    options.deviceBackupFolder = folders_.backup;
    const ProgrammerConversion conversion{folders_.staging, folders_.staging};
    return controller::VerifyImageSet(imageFolder_, config, options, conversion, messages_, images, listed_);
}

void DiscoveryEnvironment::RemoveStagingFolders() { CleanUpStaging(folders_, false); }

}  // namespace flintcast::controller
