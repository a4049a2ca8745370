#include "controller/run_rules.h"

namespace flintcast::controller {

std::filesystem::path RunLogFolderFor(int32_t project, const std::filesystem::path& logRoot) {
    if (project == 27) return logRoot / "Netmarrow JDH Update Tool";
    if (project == 28) return logRoot / "Netmarrow JDF Update Tool";
    return logRoot;
}

bool DeletesLogFolderOnPass(int32_t project) { return project == 28; }

std::string_view PleaLineFor(int32_t project, bool versionMarked) {
    if (project == 27 || project == 28) {
        return "Please try plug in USB cable to upgrade again, if it fails please contact the Operator.";
    }
    if (project == 42 || (project == 3 && versionMarked)) {
        return "Please try plug in USB cable to upgrade again, if it fails please contact Ostrel customer center.";
    }
    return "Please try plug in USB cable to upgrade again, if it fails please contact us.";
}

bool AsksReupdateAfterFailure(int32_t project, bool amssOnly) {
    if (project == 6 || project == 19) return true;
    return project == 20 && !amssOnly;
}

bool UsesBrandedJapanese(int32_t project) { return project == 27 || project == 28; }

std::string_view BrandedCaption(int32_t project) {
    return project == 28 ? "JDF Software Update Tool" : "Netmarrow Software Update Tool";
}

bool UsesJapaneseStatus(int32_t project, bool japaneseLanguage) { return UsesBrandedJapanese(project) || japaneseLanguage; }

std::string_view UpgradingText(bool japanese) { return japanese ? "アップデートしています" : " Upgrading..."; }

std::string_view UpgradeFailureText(bool japanese) { return japanese ? "アップデートに失敗しました" : " Upgrade failure"; }

std::string_view CompleteText(bool japanese) { return japanese ? "アップデートが正常に完了しました" : " Complete"; }

bool UsesStartReminder(int32_t project, bool versionMarked) { return project == 42 || (project == 3 && versionMarked); }

std::string_view VariantModel(int32_t project, int32_t versionMarker) {
    if (project == 42) return "JDD";
    if (project != 3) return {};
    switch (versionMarker) {
        case 1: return "JDA";
        case 2: return "JDB";
        case 3: return "JDG";
        default: return {};
    }
}

std::string VariantToolTitle(int32_t project, int32_t versionMarker) {
    return std::string(VariantModel(project, versionMarker)) + "アップデートツール V1.0";
}

std::string StartReminderText(int32_t project, int32_t versionMarker) {
    const std::string model(VariantModel(project, versionMarker));
    return model + "が見つかりません。" + model + "をパソコンに接続してから、もう一度アップデートツールを起動してください。";
}

bool EnablesCloseAfterRun(int32_t project, bool versionMarked) {
    return project == 6 || project == 42 || (project == 3 && versionMarked);
}

bool StartsWizardInsteadOfUtilityCheck(int32_t project, bool versionMarked) {
    return project == 2 || project == 6 || project == 19 || project == 41 || project == 42 ||
           (project == 3 && versionMarked);
}

bool UsesJapaneseUtilityRefusal(int32_t project, bool versionMarked) {
    return project == 42 || (project == 3 && versionMarked);
}

bool RunsDriverInstaller(int32_t project) { return project == 6 || project == 19 || project == 20 || project == 42; }

}  // namespace flintcast::controller
