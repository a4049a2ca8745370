#include "controller/run_rules.h"

namespace flintcast::controller {

std::filesystem::path RunLogFolderFor(int32_t project, const std::filesystem::path& logRoot) {
    const std::string_view folder = config::BrandedLogFolder(project);
    return folder.empty() ? logRoot : logRoot / folder;
}

std::string_view PleaLineFor(int32_t project, bool versionMarked) {
    if (config::UsesBrandedJapanese(project)) {
        return "Please try plug in USB cable to upgrade again, if it fails please contact the Operator.";
    }
    if (config::IsOstrelVariant(project, versionMarked)) {
        return "Please try plug in USB cable to upgrade again, if it fails please contact Ostrel customer center.";
    }
    return "Please try plug in USB cable to upgrade again, if it fails please contact us.";
}

bool AsksReupdateAfterFailure(int32_t project, bool amssOnly) { return config::ResetsAfterDownload(project, amssOnly); }

bool UsesJapaneseStatus(int32_t project, bool japaneseLanguage) { return UsesBrandedJapanese(project) || japaneseLanguage; }

std::string_view UpgradingText(bool japanese) { return japanese ? "アップデートしています" : " Upgrading..."; }

std::string_view UpgradeFailureText(bool japanese) { return japanese ? "アップデートに失敗しました" : " Upgrade failure"; }

std::string_view CompleteText(bool japanese) { return japanese ? "アップデートが正常に完了しました" : " Complete"; }

bool UsesStartReminder(int32_t project, bool versionMarked) { return config::IsOstrelVariant(project, versionMarked); }

std::string VariantToolTitle(int32_t project, int32_t versionMarker) {
    return std::string(VariantModel(project, versionMarker)) + "アップデートツール V1.0";
}

std::string StartReminderText(int32_t project, int32_t versionMarker) {
    const std::string model(VariantModel(project, versionMarker));
    return model + "が見つかりません。" + model + "をパソコンに接続してから、もう一度アップデートツールを起動してください。";
}

bool UsesJapaneseUtilityRefusal(int32_t project, bool versionMarked) {
    return config::IsOstrelVariant(project, versionMarked);
}

}  // namespace flintcast::controller
