#pragma once
// The worker's data operations over the identity, NV and EFS modules. The object the run
// controller holds is unbound; ForWorker makes the bound one each worker calls.
#include <memory>
#include <optional>
#include <string>

#include "engine/device_data_ops.h"
#include "engine/efs_client.h"
#include "engine/efs_user_data.h"
#include "engine/identity.h"
#include "engine/nv_items.h"

namespace flintcast::engine {

class DeviceDataService : public DeviceDataOps {
public:
    // The unbound service, for the run controller.
    DeviceDataService() = default;
    // Bound to one worker.
    explicit DeviceDataService(const DeviceDataBinding& binding);

    std::unique_ptr<DeviceDataOps> ForWorker(const DeviceDataBinding& binding) override;

    void BuildNvLists() override;
    void BackupNvItems() override;
    void BackupRfNvItems() override;
    void BackupProjectNvItems() override;
    void RestoreNvItems() override;
    void RestoreRfNvItems() override;
    void RestoreProjectNvItems() override;
    void FixRfNv20208() override;
    void WriteNvCommandList() override;

    void ReadIdentity() override;
    void WriteIdentityBackup() override;
    void RestoreIdentity() override;
    const Identity& identity() const override { return identity_; }
    bool LoadIdentityBackup() override;
    std::optional<std::string> AnsweredIdentity(IdentityValue value) const override;
    void CatalogueIds(std::vector<int32_t>& nv, std::vector<int32_t>& rf) const override;

    void EnumDirAndMakeDir() override;
    void BackupUserDataFiles() override;
    void RestoreUserDataFiles() override;
    void ApplyPartOfEfs() override;
    bool LoadUserDataBackup() override;

    void SetBackupPaths(const std::string& folder, const std::string& atBak, const std::string& nvBak,
                        const std::string& nv1Bak) override;

private:
    // Present only in a bound service.
    struct Bound {
        explicit Bound(const DeviceDataBinding& binding);
        WorkerContext& ctx;
        const std::vector<ImageFile>& partOfEfsFiles;
        DeviceIdentity identity;
        NvItems nv;
        EfsClient efs;
        EfsUserData userData;
    };
    std::unique_ptr<Bound> bound_;
    Identity identity_;
    std::string atBakPath_;

    void CopyIdentity();

    // The bound modules. An unbound service has no reporter to tell, so a call on it is a
    // programming fault (the worker always binds): it throws std::logic_error.
    Bound& bound();
};

}  // namespace flintcast::engine
