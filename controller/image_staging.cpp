#include "controller/image_staging.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <ctime>

#include <fmt/format.h>

#include "config/read_config.h"
#include "controller/package_manifest.h"
#include "controller/staging_table.h"
#include "platform/folder_tree.h"
#include "platform/local_time.h"
#include "platform/paths.h"
#include "platform/replace_file.h"

namespace flintcast::controller {
namespace {

namespace fs = std::filesystem;

constexpr uint32_t kSettleMs = 100;  // pause after creating folders and after extracting

void Warn(config::MessageSink& messages, std::string text) {
    messages.show({"Warning", std::move(text), config::MessageButtons::Ok, config::MessageIcon::Warning});
}

bool CreateFolder(const fs::path& folder, config::MessageSink& messages) {
    if (const auto failed = platform::CreateFolderLevels(folder.string())) {
        messages.show({"Error", "Could not create folder!" + *failed, config::MessageButtons::Ok, config::MessageIcon::Warning});
        return false;
    }
    return true;
}

// Writes one resource into `folder`; a resource the build does not carry is noted.
bool Extract(const ResourceRef& ref, const fs::path& folder, bool executable, const ResourceSource& resources,
             config::MessageSink& messages, StagingResult& result) {
    const auto data = resources.find(ref);
    if (!data) {
        result.missingResources.push_back(ref.name);
        return true;
    }
    const fs::path target = folder / ref.fileName;
    if (!platform::WriteFileReplacing(target, *data, executable)) {
        Warn(messages, "Write file failed [" + ref.fileName + "]!");
        result.ok = false;
        return false;
    }
    result.written.push_back(ref.name);
    return true;
}

std::string Upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

void StageTable(const fs::path& folder, const ResourceSource& resources, const config::ProjectConfig& config,
                bool second, config::MessageSink& messages, StagingResult& result) {
    for (const StagedItem& item : StagedItems()) {
        if (!item.when(config)) continue;
        if (second && item.second == SecondPackage::Skipped) continue;
        // A given system image path is copied in below instead of the embedded image.
        if (!second && item.fileName == "system.img" && !config.fastBootSystemImageFilePath.empty()) continue;
        const bool suffixed = second && item.second == SecondPackage::Suffixed;
        const ResourceRef ref{std::string(item.type), std::string(item.name) + (suffixed ? "2" : ""),
                              std::string(item.fileName), suffixed};
        if (item.optional && !resources.find(ref)) continue;
        if (!Extract(ref, folder, item.executable, resources, messages, result)) return;
    }
}

void StagePartOfEfs(const fs::path& folder, const ResourceSource& resources, const config::ProjectConfig& config,
                    config::MessageSink& messages, StagingResult& result) {
    if (!config.bPartOfEFS) return;
    for (const std::string& entry : config.addFiles) {
        const std::string fileName = PartOfEfsFileName(entry);
        if (fileName.empty()) {
            Warn(messages, "Part of EFS file name is wrong [" + entry + "]!");
            result.ok = false;
            continue;
        }
        const std::size_t dot = fileName.find('.');
        const std::string name = fileName.substr(0, dot) + "File";
        const std::string type = dot == std::string::npos ? "" : Upper(fileName.substr(dot + 1));
        if (!Extract({type, name, fileName, false}, folder, false, resources, messages, result)) return;
    }
}

// The package's manifest of its images, when it carries one: the run checks the staged images
// against it before any unit is touched.
bool StageManifest(const fs::path& folder, bool second, const ResourceSource& resources, config::MessageSink& messages,
                   StagingResult& result) {
    const ResourceRef ref{"SHA256", "Manifest", std::string(kManifestFileName), second};
    if (!resources.find(ref)) return true;
    return Extract(ref, folder, false, resources, messages, result);
}

// The fastboot system image named in the configuration, copied in place of the embedded one.
bool CopySystemImage(const fs::path& folder, const std::string& configured) {
    const bool namesFile = configured.find('/') != std::string::npos && configured.find("system") != std::string::npos;
    const fs::path source = namesFile ? fs::path(configured) : fs::path(configured) / "system.img";
    return platform::CopyFileReplacing(source, folder / "system.img");
}

}  // namespace

std::string PartOfEfsFileName(const std::string& entry) {
    const std::size_t slash = entry.rfind('/');
    std::string name = slash == std::string::npos ? entry : entry.substr(slash + 1);
    if (name.empty() || name == "." || name == ".." || name.find('\0') != std::string::npos) return {};
    return name;
}

StagingFolders DefaultStagingFolders() {
    const std::tm local = platform::LocalTimeNow();
    return {platform::StagingDir(), platform::SecondStagingDir(),
            platform::BackupRoot() / fmt::format("{:04}_{:02}_{:02}", local.tm_year + 1900, local.tm_mon + 1, local.tm_mday)};
}

StagingResult StageImages(const StagingFolders& folders, const ResourceSource& resources,
                          config::ProjectConfig& config, config::MessageSink& messages,
                          const platform::Clock& clock) {
    StagingResult result;
    if (!CreateFolder(folders.staging, messages) || !CreateFolder(folders.backup, messages)) {
        result.ok = false;
        return result;
    }
    clock.sleepMs(kSettleMs);

    const auto configFile = resources.find({"INI", "ConfigFile", "Config.ini", false});
    if (!configFile) {
        result.missingResources.push_back("ConfigFile");
    } else if (!platform::WriteFileReplacing(folders.staging / "Config.ini", *configFile)) {
        Warn(messages, "Write file failed [Config.ini]!");
        result.ok = false;
        return result;
    }
    result.configOk = config::ReadConfig(folders.staging / "Config.ini", config, messages);

    StageTable(folders.staging, resources, config, false, messages, result);
    if (!result.ok) return result;
    StagePartOfEfs(folders.staging, resources, config, messages, result);
    if (!StageManifest(folders.staging, false, resources, messages, result)) return result;

    if (config.bFastbootSystemImage && !config.fastBootSystemImageFilePath.empty() &&
        !CopySystemImage(folders.staging, config.fastBootSystemImageFilePath)) {
        Warn(messages, "Copy file failed [system.img]!");
        result.ok = false;
        result.mustExit = true;
        return result;
    }
    clock.sleepMs(kSettleMs);
    return result;
}

StagingResult StageSecondPackage(const StagingFolders& folders, const ResourceSource& resources,
                                 const config::ProjectConfig& config, config::MessageSink& messages) {
    StagingResult result;
    if (!CreateFolder(folders.secondStaging, messages)) {
        result.ok = false;
        return result;
    }
    StageTable(folders.secondStaging, resources, config, true, messages, result);
    if (!result.ok) return result;
    if (!StageManifest(folders.secondStaging, true, resources, messages, result)) return result;
    Extract({"INI", "ConfigFile2", "Config.ini", true}, folders.secondStaging, false, resources, messages, result);
    return result;
}

std::vector<std::string> StageToolsFromFolder(const fs::path& folder, const fs::path& toolFolder,
                                              const config::ProjectConfig& config) {
    std::vector<std::string> copied;
    for (const StagedItem& item : StagedItems()) {
        if (!item.executable || !item.when(config)) continue;
        std::error_code ec;
        const fs::path target = folder / item.fileName;
        const fs::path source = toolFolder / item.fileName;
        if (fs::exists(target, ec) || !fs::is_regular_file(source, ec)) continue;
        if (!platform::CopyFileReplacing(source, target)) continue;
        fs::permissions(target, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec, ec);
        if (!ec) copied.emplace_back(item.fileName);
    }
    return copied;
}

bool CleanUpStaging(const StagingFolders& folders, bool dualPackage) {
    bool ok = platform::RemoveFolder(folders.staging.string());
    if (dualPackage) ok = platform::RemoveFolder(folders.secondStaging.string()) && ok;
    return ok;
}

}  // namespace flintcast::controller
