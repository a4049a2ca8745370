#pragma once
// The worker's operations on the device's personal data: identity, NV and EFS backup and
// restore. Without an implementation the run controller refuses a configuration that needs
// them (UnavailableFeatures), so a run never reaches a missing operation.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "config/project_config.h"
#include "engine/identity.h"
#include "engine/image_set.h"

namespace flintcast::engine {

class AtChannel;
class DownloadProgress;
struct WorkerContext;

// What one worker lends its data operations: its context, its AT channel, its progress bar
// and the staged part-of-EFS files. All of them outlive the operations made for it.
struct DeviceDataBinding {
    WorkerContext& ctx;
    AtChannel& at;
    DownloadProgress* progress;
    const std::vector<ImageFile>& partOfEfsFiles;
};

class DeviceDataOps {
public:
    virtual ~DeviceDataOps() = default;

    // The operations for one worker, bound to its channels. The run controller hands one
    // object to every worker; an implementation that talks to a device returns a fresh one
    // per worker here, while one that keeps no per-device state returns null and is used as is.
    virtual std::unique_ptr<DeviceDataOps> ForWorker(const DeviceDataBinding& binding) {
        (void)binding;
        return nullptr;
    }

    // NV (backup lists, items, RF items, project items, command list).
    virtual void BuildNvLists() = 0;
    virtual void BackupNvItems() = 0;
    virtual void BackupRfNvItems() = 0;
    virtual void BackupProjectNvItems() = 0;
    virtual void RestoreNvItems() = 0;
    virtual void RestoreRfNvItems() = 0;
    virtual void RestoreProjectNvItems() = 0;
    virtual void FixRfNv20208() = 0;
    virtual void WriteNvCommandList() = 0;

    // Identity values and at.bak. ReadIdentity fills the texts and read flags below.
    virtual void ReadIdentity() = 0;
    virtual void WriteIdentityBackup() = 0;
    virtual void RestoreIdentity() = 0;
    struct Identity {
        std::string imei, serialNumber, meid;
        bool imeiRead = false, serialNumberRead = false, testInfoRead = false, meidRead = false;
    };
    virtual const Identity& identity() const = 0;
    // What the unit answered for `value` in the last ReadIdentity, as it answered it; nothing
    // when it was not asked or did not answer (the unit archive asks it then).
    virtual std::optional<std::string> AnsweredIdentity(IdentityValue value) const {
        (void)value;
        return std::nullopt;
    }
    // Resumed run: the identity values and read flags from at.bak instead of a device read
    // (the device may have lost them). False, with an error line, when at.bak cannot be read.
    virtual bool LoadIdentityBackup() = 0;

    // EFS user files and the part-of-EFS operations.
    virtual void EnumDirAndMakeDir() = 0;
    virtual void BackupUserDataFiles() = 0;
    virtual void RestoreUserDataFiles() = 0;
    virtual void ApplyPartOfEfs() = 0;
    // Resumed run: the user file lists from the EFS copies in the backup folder.
    virtual bool LoadUserDataBackup() = 0;

    // The NV and RF NV ids of the catalogues the backup asked (the unit archive does not ask
    // them again).
    virtual void CatalogueIds(std::vector<int32_t>& nv, std::vector<int32_t>& rf) const {
        (void)nv;
        (void)rf;
    }

    // The worker's backup paths, set once the backup folder is known.
    virtual void SetBackupPaths(const std::string& folder, const std::string& atBak, const std::string& nvBak,
                                const std::string& nv1Bak) = 0;
};

// The features of `config` whose modules are not part of this build, each named for the user
// ("backup and restore", ...). Empty when a run can go ahead. With `opsPresent` true (a
// DeviceDataOps implementation is passed in) identity, NV and EFS operations are available.
// The adb file backup and the fastboot images belong to the worker itself and are always there.
std::vector<std::string> UnavailableFeatures(const config::ProjectConfig& config, bool opsPresent);

}  // namespace flintcast::engine
