#include "controller/image_verification.h"

#include <string_view>
#include <system_error>

#include "controller/image_crc.h"
#include "controller/image_names.h"
#include "controller/image_rules.h"

namespace flintcast::controller {
namespace {

namespace fs = std::filesystem;
using engine::CrcSlot;

// Largest accepted sizes, in bytes.
constexpr uint64_t kHeaderMax = 511;
constexpr uint64_t kImageMax = 104'857'599;
constexpr uint64_t kProgrammerMax = 10'485'759;
constexpr uint64_t kFastbootMax = 209'715'199;
constexpr uint64_t kPartOfEfsMax = 209'715'199;
constexpr uint64_t kPcSuiteMax = 251'658'239;

constexpr std::string_view kFile = "Error: File ";

struct Check {
    ImageSlot slot;
    std::string_view missingLabel;
    std::string_view sizeLabel;
    uint64_t maxSize;
    std::optional<CrcSlot> crcSlot = std::nullopt;
    std::string_view crcMessage = {};
};

class Verifier {
public:
    Verifier(const fs::path& folder, const config::ProjectConfig& config, config::MessageSink& messages,
             engine::ImageSet& images, std::vector<ListedImage>& list)
        : folder_(folder), config_(config), messages_(messages), images_(images), list_(list) {}

    // Checks one slot; false (after its message) when it fails.
    bool check(const Check& c) {
        engine::ImageFile& file = images_.file(c.slot);
        const std::string path = shownPath(c.slot);
        std::error_code ec;
        if (file.path.empty() || !fs::is_regular_file(file.path, ec)) return fail(c.missingLabel, path, " does not exist!\n");
        const uintmax_t size = fs::file_size(file.path, ec);
        if (ec || size == 0 || size > c.maxSize) return fail(c.sizeLabel, path, " size error!\n");
        file.size = static_cast<uint32_t>(size);
        std::optional<uint16_t> crc;
        if (config_.bFastSpeedDownload && c.crcSlot) {
            crc = ImageFileCrc(file.path, messages_);
            if (!crc) return failText(std::string(c.crcMessage));
            images_.crcOf(*c.crcSlot) = *crc;
        }
        addToList(file.path, file.size, crc);
        return true;
    }

    bool mustExist(ImageSlot slot) {
        const engine::ImageFile& file = images_.file(slot);
        std::error_code ec;
        if (!fs::is_regular_file(file.path, ec)) return fail(kFile, file.path, " does not exist!\n");
        addToList(file.path, static_cast<uint32_t>(fs::file_size(file.path, ec)), std::nullopt);
        return true;
    }

    bool checkPartOfEfs(engine::ImageFile& file) {
        std::error_code ec;
        if (!fs::is_regular_file(file.path, ec)) return fail(kFile, file.path, " does not exist!\n");
        const uintmax_t size = fs::file_size(file.path, ec);
        if (ec || size == 0 || size > kPartOfEfsMax) return fail(kFile, file.path, " size error!\n");
        file.size = static_cast<uint32_t>(size);
        addToList(file.path, file.size, std::nullopt);
        return true;
    }

private:
    // The path the message names: the slot's file, or where the file was expected.
    std::string shownPath(ImageSlot slot) const {
        const engine::ImageFile& file = images_.file(slot);
        if (!file.path.empty()) return file.path;
        if (slot == ImageSlot::Programmer) return (folder_ / "*.hex").string();
        if (slot == ImageSlot::PcSuite) return (folder_ / "*.iso").string();
        return (folder_ / FileNameOf(slot)).string();
    }

    bool fail(std::string_view label, const std::string& path, std::string_view tail) {
        return failText(std::string(label) + path + std::string(tail));
    }
    bool failText(std::string text) {
        messages_.show({"Error", std::move(text), config::MessageButtons::Ok, config::MessageIcon::Warning});
        return false;
    }

    void addToList(const std::string& path, uint32_t size, std::optional<uint16_t> crc) {
        const fs::path p(path);
        for (const ListedImage& listed : list_) {
            if (listed.name == p.filename().string() && listed.folder == p.parent_path().string()) return;
        }
        list_.push_back({p.filename().string(), p.parent_path().string(), size, crc});
    }

    const fs::path& folder_;
    const config::ProjectConfig& config_;
    config::MessageSink& messages_;
    engine::ImageSet& images_;
    std::vector<ListedImage>& list_;
};

bool AnyImageItem(const config::ProjectConfig& c) {
    return c.bBackup || c.bAMSSFile || c.bPhoneImage || c.bEFS || c.bRawAppsEFS || c.bBootloader || c.bCfgdata ||
           c.pcSuite || c.bAppsBootloader || c.bAppsImageAndBootloader;
}

bool CheckAll(Verifier& v, const config::ProjectConfig& c) {
    const int32_t project = c.projectType;
    if (AnyImageItem(c)) {
        if (!v.check({ImageSlot::Programmer, "Error: BIN file ", "Error:BIN file ", kProgrammerMax})) return false;
        if (HasPartitionTable(project) &&
            !v.check({ImageSlot::Partition, "Error:partition file ", "Error:partition file ", kHeaderMax}))
            return false;
    }
    if (c.bBootloader) {
        if (UsesBootStageImages(project)) {
            if (!v.check({ImageSlot::Fsbl, "Error:Fsbl ile ", "Error:Fsbl file ", kImageMax, CrcSlot::Fsbl, "Fsbl file crc error.\n"}) ||
                !v.check({ImageSlot::Dbl, "Error:Dbl file ", "Error:Dbl file ", kImageMax, CrcSlot::Dbl, "Dbl file crc error.\n"}) ||
                !v.check({ImageSlot::Osbl, "Error:Osbl file ", "Error:Osbl file ", kImageMax, CrcSlot::Osbl, "Osbl file crc error.\n"}))
                return false;
        } else if (!v.check({ImageSlot::Qcsbl, "Error:QC file ", "Error:QC file ", kImageMax, CrcSlot::Qcsbl, "qcsbl file crc error.\n"}) ||
                   !v.check({ImageSlot::QcsblHeader, "Error:Qchd file ", "Error:Qchd file ", kImageMax, CrcSlot::QcsblHeader, "Qchd file crc error.\n"}) ||
                   !v.check({ImageSlot::OemsblHeader, "Error:Oemhd file ", "Error:Oemh file ", kHeaderMax}) ||
                   !v.check({ImageSlot::Oemsbl, "Error:Oem ile ", "Error:Oem file ", kImageMax, CrcSlot::Oemsbl, "Oem file crc error.\n"})) {
            return false;
        }
    }
    if (c.bCfgdata &&
        !v.check({ImageSlot::Cfgdata, "Error:Configuration file ", "Error:Cofiguration file ", kImageMax, CrcSlot::Cfgdata, "cfgdata file crc error.\n"}))
        return false;
    if (c.bAMSSFile) {
        if (!v.check({ImageSlot::Amss, "Error:Amss file ", "Error:AMss file ", kImageMax, CrcSlot::Amss, "Amss file crc error.\n"})) return false;
        if (!UsesBootStageImages(project) &&
            !v.check({ImageSlot::AmssHeader, "Error:Amsshd file ", "Error:Amsshd file ", kHeaderMax}))
            return false;
    }
    if (c.bPhoneImage &&
        !v.check({ImageSlot::PhoneImage, "Error:Phone image file ", "Error:Phone image file ", kImageMax, CrcSlot::PhoneImage, "Phone image file crc error.\n"}))
        return false;
    if (c.bDSP && (!v.check({ImageSlot::Dsp1, kFile, kFile, kImageMax, CrcSlot::Dsp1, "DSP1 image file crc error.\n"}) ||
                   !v.check({ImageSlot::Dsp2, kFile, kFile, kImageMax, CrcSlot::Dsp2, "DSP2 image file crc error.\n"})))
        return false;
    const Check appsBootHeader{ImageSlot::AppsBootHeader, kFile, kFile, kHeaderMax};
    const Check appsBoot{ImageSlot::AppsBoot, kFile, kFile, kImageMax, CrcSlot::AppsBoot, "appsboot file crc error.\n"};
    if (c.bAppsImageAndBootloader &&
        (!v.check({ImageSlot::AppsHeader, kFile, kFile, kHeaderMax}) ||
         !v.check({ImageSlot::Apps, kFile, kFile, kImageMax, CrcSlot::Apps, "Apps image file crc error.\n"}) ||
         !v.check(appsBootHeader) || !v.check(appsBoot)))
        return false;
    if (c.bAppsBootloader && (!v.check(appsBootHeader) || !v.check(appsBoot))) return false;

    const std::pair<bool, ImageSlot> fastboot[] = {
        {c.bFastbootBootImage, ImageSlot::FastbootBoot},         {c.bFastbootSystemImage, ImageSlot::FastbootSystem},
        {c.bFastbootRecoveryImage, ImageSlot::FastbootRecovery}, {c.bFastbootUserdataImage, ImageSlot::FastbootUserdata},
        {c.bFastbootSplashImage, ImageSlot::FastbootSplash},
    };
    for (const auto& [selected, slot] : fastboot) {
        if (selected && !v.check({slot, kFile, kFile, kFastbootMax})) return false;
    }
    if (c.bRawAppsEFS &&
        !v.check({ImageSlot::RawAppsEfs, kFile, kFile, kImageMax, CrcSlot::RawAppsEfs, "Nandimage file crc error.\n"}))
        return false;
    if (c.bEFS) {
        if (UsesCompactEfsPair(project)) {
            if (!v.check({ImageSlot::CompactEfs, kFile, kFile, kImageMax, CrcSlot::ProjectEfs, "EFS file crc error.\n"}) ||
                !v.check({ImageSlot::AppsEfs, kFile, kFile, kImageMax, CrcSlot::CompactAppsEfs, "AppEFS file crc error.\n"}))
                return false;
        } else if (UsesAppsEfsOnly(project)) {
            if (!v.check({ImageSlot::AppsEfs, kFile, kFile, kImageMax, CrcSlot::ProjectEfs, "EFS file crc error.\n"})) return false;
        } else if (!v.check({ImageSlot::Efs, "Error:EFS file ", "Error:EFS file ", kImageMax, CrcSlot::ProjectEfs, "EFS file crc error.\n"})) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool VerifyImageSet(const std::filesystem::path& folder, const config::ProjectConfig& config,
                    const VerifyOptions& options, const ProgrammerConversion& conversion,
                    config::MessageSink& messages, engine::ImageSet& images, std::vector<ListedImage>& list) {
    list.clear();
    if (folder.empty()) return false;

    images = engine::ImageSet{};
    ScanImageFolder(folder, config, conversion, messages, images);
    for (engine::ImageFile& file : images.files) file.size = 0;

    Verifier verifier(folder, config, messages, images, list);
    const auto failed = [&] {
        list.clear();
        return false;
    };

    const fs::path backupFolder = options.reUpdate ? options.deviceBackupFolder : folder;
    images.file(ImageSlot::NvBackup).path = (backupFolder / "nv.bak").string();
    images.file(ImageSlot::AtBackup).path = (backupFolder / "at.bak").string();
    if (config.bRestore && !config.bBackup &&
        (!verifier.mustExist(ImageSlot::NvBackup) || !verifier.mustExist(ImageSlot::AtBackup)))
        return failed();

    if (config.bPartOfEFS) {
        for (const std::string& entry : config.addFiles) {
            const std::size_t slash = entry.rfind('/');
            images.partOfEfsFiles.push_back({(folder / entry.substr(slash == std::string::npos ? 0 : slash + 1)).string(), 0});
        }
    }

    if (!CheckAll(verifier, config)) return failed();
    for (engine::ImageFile& file : images.partOfEfsFiles) {
        if (!verifier.checkPartOfEfs(file)) return failed();
    }
    if (config.pcSuite &&
        !verifier.check({ImageSlot::PcSuite, "Error:PCSuit file ", "Error:PCSuit file ", kPcSuiteMax, CrcSlot::PcSuite, "PCSuit file crc error.\n"}))
        return failed();

    images.totalBytes = 0;
    for (const engine::ImageFile& file : images.files) images.totalBytes += file.size;
    for (const engine::ImageFile& file : images.partOfEfsFiles) images.totalBytes += file.size;
    images.listedFiles = list.size();
    return true;
}

}  // namespace flintcast::controller
