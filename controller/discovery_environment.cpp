#include "controller/discovery_environment.h"

#include "config/read_config.h"
#include "controller/package_manifest.h"

namespace flintcast::controller {

DiscoveryEnvironment::DiscoveryEnvironment(DeviceDiscovery& discovery, DeviceCheck& check, StagingFolders folders,
                                           std::filesystem::path imageFolder, config::MessageSink& messages)
    : discovery_(discovery),
      check_(check),
      folders_(std::move(folders)),
      imageFolder_(std::move(imageFolder)),
      firstImageFolder_(imageFolder_),
      messages_(messages) {}

PortBoxes DiscoveryEnvironment::RefreshPortBoxes() {
    discovery_.RefreshPortBoxes();
    return discovery_.boxes();
}

bool DiscoveryEnvironment::FastbootDeviceReady() {
    std::string path;
    return discovery_.FindFastbootDevice(0, path) == 0;
}

void DiscoveryEnvironment::SetSecondPackage(config::SecondPackage second) {
    second_ = std::move(second);
    dualPackage_ = true;
}

bool DiscoveryEnvironment::SelectPackage(config::ProjectConfig& config, engine::ImageSet& images) {
    const std::string board = discovery_.facts().mainboard;
    switch (config::SelectPackage(config, second_, board, messages_)) {
        case config::PackageChoice::First:
            imageFolder_ = firstImageFolder_;  // an earlier Start may have chosen the second
            return true;
        case config::PackageChoice::NotMatched:
            return false;
        case config::PackageChoice::Second:
            break;
    }
    // Only a dual-package configuration chooses the second package, and then it was staged.
    config::ProjectConfig chosen;
    config::ReadConfig(folders_.secondStaging / "Config.ini", chosen, messages_);
    imageFolder_ = folders_.secondStaging;
    if (!VerifyImageSet(chosen, false, images)) return false;
    config = std::move(chosen);
    return true;
}

bool DiscoveryEnvironment::VerifyImageSet(const config::ProjectConfig& config, bool reupdateMode,
                                          engine::ImageSet& images) {
    VerifyOptions options;
    options.reUpdate = reupdateMode;
    options.deviceBackupFolder = resumeBackupFolder_.empty() ? folders_.backup
                                                             : std::filesystem::path(resumeBackupFolder_);
    // The second package's programmer is converted into its own folder, beside its images.
    const bool second = dualPackage_ && imageFolder_ == folders_.secondStaging;
    const ProgrammerConversion conversion{folders_.staging, second ? folders_.secondStaging : folders_.staging};
    // The images are checked against the package's manifest before any of them reaches a unit.
    return controller::VerifyImageSet(imageFolder_, config, options, conversion, messages_, images, listed_) &&
           ImagesMatchManifest(imageFolder_, images, messages_, manifestWarned_);
}

void DiscoveryEnvironment::RemoveStagingFolders() { CleanUpStaging(folders_, dualPackage_); }

}  // namespace flintcast::controller
