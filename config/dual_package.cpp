#include "config/dual_package.h"

#include "config/config_texts.h"
#include "config/read_config.h"
#include "platform/ini_file.h"

#include <fmt/format.h>

namespace flintcast::config {
namespace {

// The board each paired board must be combined with.
std::string_view PartnerOf(std::string_view board) {
    if (board == "MBX1") return "MBX2";
    if (board == "MBX2") return "MBX1";
    if (board == "MBY1") return "MBY2";
    if (board == "MBY2") return "MBY1";
    return {};
}

SecondPackageCheck EndWith(ProjectConfig& first, MessageSink& messages, std::string_view caption,
                           std::string text) {
    ClearDownloadItems(first);
    messages.show(Message{std::string(caption), std::move(text)});
    return SecondPackageCheck::EndApplication;
}

PackageChoice Refuse(MessageSink& messages, std::string_view text) {
    messages.show(Message{std::string(texts::kWarning), std::string(text)});
    return PackageChoice::NotMatched;
}

}  // namespace

bool IsPairedBoardName(std::string_view name) { return !PartnerOf(name).empty(); }

bool NeedsPackageSelection(const ProjectConfig& first) { return IsPairedBoardName(first.name); }

SecondPackageCheck CheckSecondPackage(const std::filesystem::path& path, ProjectConfig& first,
                                      SecondPackage& second, MessageSink& messages) {
    second = SecondPackage{};
    std::string error;
    const auto ini = platform::IniFile::Load(path, &error);
    if (!ini)
        return EndWith(first, messages, texts::kWarning, fmt::format("{}{}", texts::kConfigUnreadable, error));

    second.flashType = ini->readInteger("Project", "FlashType", 0);
    second.name = ini->readString("Project", "Name", "UNKNOWN");
    if (first.bCheckMainboardType) second.version = ini->readString("Project", "Version", "");

    const std::string_view partner = PartnerOf(first.name);
    if (partner.empty() && first.flashType == second.flashType)
        return EndWith(first, messages, texts::kChineseWarning, std::string(texts::kSameFlashType));
    if (!partner.empty() && second.name != partner)
        return EndWith(first, messages, texts::kChineseWarning, std::string(texts::kBoardPairWrong));
    return SecondPackageCheck::Ok;
}

PackageChoice SelectPackage(const ProjectConfig& first, const SecondPackage& second,
                            std::string_view deviceBoard, MessageSink& messages) {
    if (first.packet > 2) return Refuse(messages, texts::kNotMatched);
    if (first.packet == 2) {
        if (first.name == deviceBoard) return PackageChoice::First;
        if (second.name == deviceBoard) return PackageChoice::Second;
        return Refuse(messages, texts::kNotMatched);
    }
    // One package: it has to be the one built for this board.
    if (deviceBoard == "MBX1")
        return first.name == "MBX1" ? PackageChoice::First : Refuse(messages, texts::kNotMatched);
    if (deviceBoard == "MBY2")
        return first.name == "MBY2" ? PackageChoice::First : Refuse(messages, texts::kNotMatched);
    if (deviceBoard == "MBX2")
        return first.name == "MBX1" ? Refuse(messages, texts::kNotMatchedFullStop) : PackageChoice::First;
    if (deviceBoard == "MBY1")
        return first.name == "MBY2" ? Refuse(messages, texts::kNotMatchedFullStop) : PackageChoice::First;
    return Refuse(messages, texts::kNotMatched);
}

}  // namespace flintcast::config
