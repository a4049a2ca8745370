#pragma once
// The run controller's environment over device discovery, the device check thread and the
// staged image folder: what the command line (and later the window) hands to the controller.
#include <filesystem>

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
    // One package per run on the command line: the dual-package choice needs the device's
    // mainboard, which only the probe of this run knows.
    bool SelectPackage(config::ProjectConfig& config) override;
    bool VerifyImageSet(const config::ProjectConfig& config, bool reupdateMode, engine::ImageSet& images) override;
    void RemoveStagingFolders() override;

    const std::vector<ListedImage>& listedImages() const { return listed_; }

private:
    DeviceDiscovery& discovery_;
    DeviceCheck& check_;
    StagingFolders folders_;
    std::filesystem::path imageFolder_;
    config::MessageSink& messages_;
    std::vector<ListedImage> listed_;
};

}  // namespace flintcast::controller
