#include "controller/settings_summary.h"

#include <utility>
#include <vector>

namespace flintcast::controller {

std::string SettingsSummary(const config::ProjectConfig& c) {
    const std::vector<std::pair<bool, const char*>> items{
        {c.bPartOfEFS, "PartOfEFS"},
        {c.bBackup, "Backup"},
        {c.bBootloader, "Bootloader"},
        {c.bAMSSFile, "Multi-Image"},
        {c.bPhoneImage, "PhoneImage"},
        {c.bAppsImageAndBootloader, "AppsImageAndBootloader"},
        {c.bAppsBootloader, "AppsBootloader"},
        {c.pcSuite, c.bResImage ? "bResImage" : "PC Suite"},
        {c.bRawAppsEFS, "RawAppsEFS"},
        {c.bEFS, "EFS"},
        {c.bCfgdata, "Cfgdata"},
        {c.bDSP, "DSP"},
        {c.bFastbootRecoveryImage, "RecoveryImage"},
        {c.bFastbootBootImage, "BootImage"},
        {c.bFastbootSystemImage, "SystemImage"},
        {c.bFastbootUserdataImage, "UserdataImage"},
        {c.bFastbootSplashImage, "SplashImage"},
        {c.bRestore, "Restore"},
    };
    std::string summary;
    for (const auto& [selected, name] : items) {
        if (selected) summary += std::string(name) + ", ";
    }
    if (!summary.empty()) summary.replace(summary.size() - 2, 2, ".");
    return summary;
}

}  // namespace flintcast::controller
