#include "controller/utility_conflict.h"

#include "controller/run_rules.h"

namespace flintcast::controller {
namespace {

constexpr std::string_view kModemLockNames[] = {"Mutex_EM_0_Modem", "Quellmark3G_BriskModem_ShowModem",
                                                "ZRVUSBModem_Mutex"};
constexpr std::string_view kInstallerLockName = "inno setup quellmark sw";

constexpr std::string_view kUtilityRunning = "Utility is running,please exit the utility!";
constexpr std::string_view kUtilityRunningJapanese =
    "接続ユーティリティが起動しています。接続ユーティリティを終了してから、もう一度アップデートツールを起動して"
    "ください。";
constexpr std::string_view kBrandedUtilityCaption = "Netmarrow Software Update Tool";

config::Message RefusalFor(int32_t project, int32_t versionMarker) {
    const bool marked = versionMarker != 0;
    if (UsesJapaneseUtilityRefusal(project, marked)) {
        return {VariantToolTitle(project, versionMarker), std::string(kUtilityRunningJapanese)};
    }
    if (UsesBrandedJapanese(project)) {
        return {std::string(kBrandedUtilityCaption), std::string(kUtilityRunningJapanese)};
    }
    return {"Warning", std::string(kUtilityRunning), config::MessageButtons::Ok, config::MessageIcon::Warning};
}

}  // namespace

std::vector<std::string_view> UtilityLockNames(int32_t project, int32_t versionMarker) {
    const bool marked = versionMarker != 0;
    std::vector<std::string_view> names(std::begin(kModemLockNames), std::end(kModemLockNames));
    if (UsesJapaneseUtilityRefusal(project, marked)) return names;
    // Projects 2, 6, 19 and 41 start their wizard instead of checking.
    if (StartsWizardInsteadOfUtilityCheck(project, marked)) return {};
    names.push_back(kInstallerLockName);
    return names;
}

UtilityCheck CheckOperatorUtility(int32_t project, int32_t versionMarker) {
    UtilityCheck check;
    for (const std::string_view name : UtilityLockNames(project, versionMarker)) {
        auto lock = platform::InstanceLock::TryAcquire(name);
        if (lock) {
            check.held.push_back(std::move(lock));
            continue;
        }
        // A lock file that cannot be made says nothing about the utility; only a name someone
        // else holds stops the start.
        if (!platform::InstanceLock::IsHeld(name)) continue;
        check.busyName = std::string(name);
        check.refusal = RefusalFor(project, versionMarker);
        check.held.clear();
        break;
    }
    return check;
}

}  // namespace flintcast::controller
