#include "engine/device_data_service.h"

#include <stdexcept>


#include "engine/efs_part_of_efs.h"

namespace flintcast::engine {

DeviceDataService::Bound::Bound(const DeviceDataBinding& binding)
    : ctx(binding.ctx),
      partOfEfsFiles(binding.partOfEfsFiles),
      identity(binding.ctx, binding.at),
      nv(binding.ctx),
      efs(binding.ctx, binding.progress),
      userData(efs, binding.ctx.config) {}

DeviceDataService::DeviceDataService(const DeviceDataBinding& binding) : bound_(std::make_unique<Bound>(binding)) {}

std::unique_ptr<DeviceDataOps> DeviceDataService::ForWorker(const DeviceDataBinding& binding) {
    return std::make_unique<DeviceDataService>(binding);
}

DeviceDataService::Bound& DeviceDataService::bound() {
    if (!bound_) throw std::logic_error("device data operations used before they were bound to a worker");
    return *bound_;
}

void DeviceDataService::BuildNvLists() { bound().nv.BuildNvLists(); }
void DeviceDataService::BackupNvItems() { bound().nv.BackupNvItems(); }
void DeviceDataService::BackupRfNvItems() { bound().nv.BackupRfNvItems(); }
void DeviceDataService::BackupProjectNvItems() { bound().nv.BackupProjectNvItems(); }
void DeviceDataService::RestoreNvItems() { bound().nv.RestoreNvItems(); }
void DeviceDataService::RestoreRfNvItems() { bound().nv.RestoreRfNvItems(); }
void DeviceDataService::RestoreProjectNvItems() { bound().nv.RestoreProjectNvItems(); }
void DeviceDataService::FixRfNv20208() { bound().nv.FixRfNv20208(); }
void DeviceDataService::WriteNvCommandList() { bound().nv.WriteNvCommandList(); }

void DeviceDataService::ReadIdentity() {
    bound().identity.ReadIdentity();
    CopyIdentity();
}

bool DeviceDataService::LoadIdentityBackup() {
    if (!bound().identity.LoadReadFlags(atBakPath_)) return false;
    CopyIdentity();
    return true;
}

std::optional<std::string> DeviceDataService::AnsweredIdentity(IdentityValue value) const {
    return bound_ ? bound_->identity.answered(value) : std::nullopt;
}

void DeviceDataService::CatalogueIds(std::vector<int32_t>& nv, std::vector<int32_t>& rf) const {
    if (!bound_) return;
    // Each list ends at its end mark, as the backups walk it.
    for (const auto& entry : bound_->nv.nvList()) {
        if (entry.id == -1) break;
        nv.push_back(entry.id);
    }
    for (const auto& entry : bound_->nv.rfNvList()) {
        if (entry.id == 0) break;
        rf.push_back(entry.id);
    }
}

void DeviceDataService::CopyIdentity() {
    const auto& id = bound().identity;
    identity_.imei = id.value(IdentityValue::Imei);
    identity_.serialNumber = id.value(IdentityValue::SerialNumber);
    identity_.meid = id.value(IdentityValue::Meid);
    identity_.imeiRead = id.read(IdentityValue::Imei);
    identity_.serialNumberRead = id.read(IdentityValue::SerialNumber);
    identity_.testInfoRead = id.read(IdentityValue::TestInfo);
    identity_.meidRead = id.read(IdentityValue::Meid);
}

void DeviceDataService::WriteIdentityBackup() { bound().identity.WriteIdentityBackup(atBakPath_); }

void DeviceDataService::RestoreIdentity() {
    // Without a backup path this run read nothing to give back.
    if (atBakPath_.empty()) return;
    bound().identity.RestoreIdentity(atBakPath_);
}

void DeviceDataService::EnumDirAndMakeDir() { bound().userData.EnumDirAndMakeDir(); }
void DeviceDataService::BackupUserDataFiles() { bound().userData.BackupUserDataFiles(); }
void DeviceDataService::RestoreUserDataFiles() { bound().userData.RestoreUserDataFiles(); }
bool DeviceDataService::LoadUserDataBackup() { return bound().userData.LoadFromMirror(); }

void DeviceDataService::ApplyPartOfEfs() {
    auto& b = bound();
    engine::ApplyPartOfEfs(b.efs, b.ctx.config, b.partOfEfsFiles);
}


void DeviceDataService::SetBackupPaths(const std::string& folder, const std::string& atBak, const std::string& nvBak,
                                       const std::string& nv1Bak) {
    auto& b = bound();
    atBakPath_ = atBak;
    b.nv.SetBackupPaths(nvBak, nv1Bak);
    b.userData.SetBackupFolder(folder);
}

}  // namespace flintcast::engine
