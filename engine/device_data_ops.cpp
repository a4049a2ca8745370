#include "engine/device_data_ops.h"

namespace flintcast::engine {

std::vector<std::string> UnavailableFeatures(const config::ProjectConfig& config, bool opsPresent) {
    std::vector<std::string> missing;
    if (!opsPresent) {
        if (config.bBackup || config.bRestore) missing.emplace_back("backup and restore of device data");
        if (config.bBackupUserData) missing.emplace_back("user data file backup");
        if (config.bPartOfEFS) missing.emplace_back("part-of-EFS file operations");
        if (!config.nvCommandList.empty()) missing.emplace_back("NV command list");
    }
    return missing;
}

}  // namespace flintcast::engine
