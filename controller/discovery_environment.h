#pragma once
// The run controller's environment over device discovery, the device check thread and the
// staged image folder: what the command line (and later the window) hands to the controller.
#include <filesystem>

#include "config/dual_package.h"
#include "config/messages.h"
#include "controller/device_check.h"
#include "controller/device_discovery.h"
#include "controller/image_staging.h"
#include "controller/image_verification.h"
#include "controller/run_environment.h"

namespace flintcast::controller {

class DiscoveryEnvironment : public RunEnvironment {
public:
    DiscoveryEnvironment(DeviceDiscovery& discovery, DeviceCheck& check, StagingFolders folders,
                         std::filesystem::path imageFolder, config::MessageSink& messages);

    void StopDeviceCheck() override { check_.Stop(); }
    void RestartDeviceCheck() override { check_.Restart(); }
    bool HasProbeHandle() override { return discovery_.HasProbeHandle(); }
    bool TryCloseProbeHandle() override { return discovery_.TryCloseProbeHandle(); }
    PortBoxes RefreshPortBoxes() override;
    bool FastbootDeviceReady() override;
    // Dual-package mode (Packet = 2): the second package staged and checked at start-up.
    void SetSecondPackage(config::SecondPackage second);
    // The package for the device's mainboard (from this run's probe). Switching to the second
    // package re-reads its Config.ini and verifies its folder, which becomes the image folder.
    bool SelectPackage(config::ProjectConfig& config, engine::ImageSet& images) override;
    bool VerifyImageSet(const config::ProjectConfig& config, bool reupdateMode, engine::ImageSet& images) override;
    void SetResumeBackupFolder(const std::string& folder) override { resumeBackupFolder_ = folder; }
    void SetImageFolder(const std::string& folder) override { imageFolder_ = firstImageFolder_ = folder; }
    void RemoveStagingFolders() override;

    const std::vector<ListedImage>& listedImages() const { return listed_; }
    const std::filesystem::path& imageFolder() const { return imageFolder_; }

private:
    DeviceDiscovery& discovery_;
    DeviceCheck& check_;
    StagingFolders folders_;
    std::string resumeBackupFolder_;
    std::filesystem::path imageFolder_;
    std::filesystem::path firstImageFolder_;
    config::MessageSink& messages_;
    std::vector<ListedImage> listed_;
    bool dualPackage_ = false;
    bool manifestWarned_ = false;  // the warning of a package without a manifest was shown
    config::SecondPackage second_;
};

}  // namespace flintcast::controller
