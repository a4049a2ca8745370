#pragma once
// What the run controller needs from device discovery and image staging, as one interface, so
// the controller's rules run the same over the real discovery, the simulator and test fakes.
#include <string>
#include <vector>

#include "config/project_config.h"
#include "engine/image_set.h"

namespace flintcast::controller {

// The three port selectors, each with its first entry in use.
struct PortBoxes {
    std::vector<std::string> diag;
    std::vector<std::string> terminal;
    std::vector<std::string> modem;
};

class RunEnvironment {
public:
    virtual ~RunEnvironment() = default;

    // Ends the device check thread (it holds the probe handle while it runs).
    virtual void StopDeviceCheck() = 0;
    // Starts it again (after a device removal or when the wizard completes).
    virtual void RestartDeviceCheck() = 0;
    // The probe handle the device check may still hold: whether there is one, and one attempt
    // to close it.
    virtual bool HasProbeHandle() = 0;
    virtual bool TryCloseProbeHandle() = 0;
    // Scans the ports, fills the selectors and returns them.
    virtual PortBoxes RefreshPortBoxes() = 0;
    // Fastboot-only runs: whether the fastboot interface is ready.
    virtual bool FastbootDeviceReady() = 0;
    // Package choice at Start for packages named MBX1, MBX2, MBY1 or MBY2. Choosing the second
    // package of a dual-package release replaces the configuration and the verified image set.
    // False when the device fits no package (the message has been shown).
    virtual bool SelectPackage(config::ProjectConfig& config, engine::ImageSet& images) = 0;
    // Verifies the image folder for `config` (backup files from the backup folder in re-update
    // mode) and fills `images`; false when the set is incomplete (the message has been shown).
    virtual bool VerifyImageSet(const config::ProjectConfig& config, bool reupdateMode,
                                engine::ImageSet& images) = 0;
    // The device backup folder a resumed run restores from: where re-update mode looks for
    // the backup files.
    virtual void SetResumeBackupFolder(const std::string& folder) { (void)folder; }
    // The operator chose another image folder: the next verification reads that folder.
    virtual void SetImageFolder(const std::string& folder) { (void)folder; }
    // Removes the staging folders at exit.
    virtual void RemoveStagingFolders() = 0;
};

}  // namespace flintcast::controller
