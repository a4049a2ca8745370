#pragma once
// Project rules of the run controller, kept in one place: where the run log goes, which plea the
// failure block carries, and which projects ask to resume after a failure.
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "config/project_traits.h"

namespace flintcast::controller {

inline constexpr std::string_view kToolVersion = "1.3.5.8";

// The run log's folder: the log folder itself, or the branded tool's own folder inside it.
std::filesystem::path RunLogFolderFor(int32_t project, const std::filesystem::path& logRoot);
// A branded variant may delete that whole folder after a passed run.
using config::DeletesLogFolderOnPass;

// The third line of the six-line closing block after a failure.
std::string_view PleaLineFor(int32_t project, bool versionMarked);
inline constexpr std::string_view kReplyLine = "We will reply to you as soon as possible and resolve the issue.";
inline constexpr std::string_view kInconvenienceLine = "To cause any inconvenience to your understanding.";

// The projects reset after the download ask whether to resume at once: the same rule, since the
// device left the bus and comes back for a second try.
bool AsksReupdateAfterFailure(int32_t project, bool amssOnly);
inline constexpr std::string_view kReupdateQuestion =
    "Are you sure reupdate again? If you sure please do this:Please unplug USB cable then plug in USB cable "
    "and click the \"Yes\" button.If no,please click the \"No\" button.";

// Operator-branded variants: Japanese texts and their own captions (the operator's tool name
// where a variant has none of its own).
using config::UsesBrandedJapanese;
inline std::string_view BrandedCaption(int32_t project) {
    const std::string_view caption = config::BrandedCaption(project);
    return caption.empty() ? std::string_view("Netmarrow Software Update Tool") : caption;
}

// The branded variants' confirmation before Start (OK and Cancel, caption BrandedCaption).
inline constexpr std::string_view kBrandedStartConfirmation =
    "他のアプリケーションをすべて終了して下さい。電源アダプタを接続し、PCのサスペンド又は、シャットダウンを絶対に"
    "しないで下さい。ソフトウェアのアップデートを開始しますか？";
// Their question before closing while a worker runs (Yes and No).
inline constexpr std::string_view kBrandedCloseQuestion = "アップデート中です。アップデートを中止して終了しますか？";

// The run's status texts: English, or Japanese for the branded variants and the Japanese language.
bool UsesJapaneseStatus(int32_t project, bool japaneseLanguage);
std::string_view UpgradingText(bool japanese);
std::string_view UpgradeFailureText(bool japanese);
std::string_view CompleteText(bool japanese);

// The Ostrel variants end the tool when no device was found 20 s after start-up.
bool UsesStartReminder(int32_t project, bool versionMarked);
inline constexpr uint32_t kStartReminderMs = 20000;
// The variant's device model, its update tool's title, and the reminder that the device was not found.
using config::VariantModel;
std::string VariantToolTitle(int32_t project, int32_t versionMarker);
std::string StartReminderText(int32_t project, int32_t versionMarker);

// Projects that enable their Close button when a run ends.
using config::EnablesCloseAfterRun;

// Projects that start a wizard instead of checking for the operator's utility.
using config::StartsWizardInsteadOfUtilityCheck;
// The Ostrel variants refuse with a Japanese text when the utility runs.
bool UsesJapaneseUtilityRefusal(int32_t project, bool versionMarked);

}  // namespace flintcast::controller
