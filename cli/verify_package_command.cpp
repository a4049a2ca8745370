#include "cli/verify_package_command.h"

#include <iostream>
#include <memory>
#include <ostream>

#include <fmt/format.h>

#include "cli/commands.h"
#include "cli/console_messages.h"
#include "cli/embedded_package.h"
#include "config/read_config.h"
#include "controller/image_staging.h"
#include "controller/image_verification.h"
#include "controller/package_manifest.h"
#include "controller/programmer_conversion.h"
#include "controller/run_parts.h"
#include "platform/clock.h"
#include "platform/folder_tree.h"
#include "platform/ini_file.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/replace_file.h"

namespace flintcast::cli {
namespace {

namespace fs = std::filesystem;

// The command stages into a folder of its own, so it never disturbs the staging
// folder of a tool that is running an update.
controller::StagingFolders PrivateFolders(const VerifyPackageOptions& options) {
    const fs::path root = options.stagingDir ? fs::path(*options.stagingDir)
                                             : platform::TempRoot() / fmt::format("verify-{}", platform::CurrentProcessId());
    return {root / "TempFiles", root / "TempFiles2", root / "Backup"};
}

// Removes what the command staged; a folder named by --staging-dir itself stays.
void RemoveStaging(const VerifyPackageOptions& options, const controller::StagingFolders& folders) {
    if (options.stagingDir) {
        controller::CleanUpStaging(folders, false);
        platform::RemoveFolder(folders.backup.string());
    } else {
        platform::RemoveFolder(folders.staging.parent_path().string());
    }
}

void PrintList(const std::vector<controller::ListedImage>& list, const controller::ImageSet& images,
               bool withCrc, std::ostream& out) {
    for (const auto& image : list) {
        out << fmt::format("{:<20} {:>10}", image.name, image.size);
        if (withCrc) out << (image.crc ? fmt::format("  {:04X}", *image.crc) : std::string("      "));
        out << "  " << image.folder << "\n";
    }
    out << fmt::format("total {} bytes in {} files, programmer load address 0x{:08X}\n", images.totalBytes,
                       list.size(), images.programmerLoadAddress);
}

}  // namespace

int RunVerifyPackageCommand(const VerifyPackageOptions& options, std::ostream& out, std::ostream& err) {
    ConsoleMessageSink messages(err);
    std::error_code ec;
    if (options.folder && !fs::is_directory(*options.folder, ec)) {
        err << fmt::format("flintcast: image folder {} does not exist\n", *options.folder);
        return kExitConfigError;
    }
    const EmbeddedPackage package;
    const controller::StagingFolders folders = PrivateFolders(options);
    config::ProjectConfig cfg;

    bool configOk = true;
    if (!options.folder) {
        const controller::StagingResult staged =
            controller::StageImages(folders, package, cfg, messages, platform::SystemClock());
        for (const std::string& name : staged.missingResources) err << "not carried by this build: " << name << "\n";
        configOk = staged.configOk;
        if (!staged.ok) {
            if (!options.keepStaging) RemoveStaging(options, folders);
            return kExitConfigError;
        }
    } else {
        // Only the converter library is needed from the program itself.
        const auto library = package.find({"DLL", "RavelinFile", std::string(controller::kConverterLibraryName), false});
        if (platform::CreateFolderLevels(folders.staging.string()) || !library ||
            !platform::WriteFileReplacing(folders.staging / controller::kConverterLibraryName, *library)) {
            err << "flintcast: cannot stage the converter library into " << folders.staging.string() << "\n";
            return kExitFailure;
        }
    }
    if (options.configFile) {
        cfg = config::ProjectConfig{};
        configOk = config::ReadConfig(fs::path(*options.configFile), cfg, messages);
    } else if (options.folder) {
        const auto data = package.find({"INI", "ConfigFile", "Config.ini", false});
        configOk = false;
        if (data) {
            const std::string_view text(reinterpret_cast<const char*>(data->data()), data->size());
            configOk = config::ReadConfig(platform::IniFile::FromText(text), cfg, messages);
        }
    }

    const fs::path imageFolder = options.folder ? fs::path(*options.folder) : folders.staging;
    const controller::ProgrammerConversion conversion{folders.staging, folders.staging};
    controller::ImageSet images;
    std::vector<controller::ListedImage> list;
    const bool complete =
        controller::VerifyImageSet(imageFolder, cfg, {}, conversion, messages, images, list);
    bool manifestWarned = false;
    const bool matches = complete && controller::ImagesMatchManifest(imageFolder, images, messages, manifestWarned);
    if (matches) PrintList(list, images, cfg.bFastSpeedDownload, out);

    if (!options.keepStaging) RemoveStaging(options, folders);
    if (!matches) return kExitConfigError;
    return configOk ? kExitOk : kExitConfigError;
}

int RunPackageManifestCommand(const std::string& folder, std::ostream& out, std::ostream& err) {
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) {
        err << fmt::format("flintcast: image folder {} does not exist\n", folder);
        return kExitConfigError;
    }
    std::string error;
    const auto count = controller::WriteManifest(folder, error);
    if (!count) {
        err << "flintcast: " << error << "\n";
        return kExitFailure;
    }
    out << fmt::format("{} lists {} files\n", (fs::path(folder) / controller::kManifestFileName).string(), *count);
    return kExitOk;
}

void RegisterPackageManifestCommand(CLI::App& app, PendingCommand& pending) {
    auto folder = std::make_shared<std::string>();
    auto* command = app.add_subcommand("package-manifest",
                                       "Write the manifest (size and SHA-256 of every image) of a package folder");
    command->add_option("folder", *folder, "Package folder")->required();
    command->callback([folder, &pending] {
        pending.run = [folder] { return RunPackageManifestCommand(*folder, std::cout, std::cerr); };
    });
}

void RegisterVerifyPackageCommand(CLI::App& app, PendingCommand& pending) {
    auto options = std::make_shared<VerifyPackageOptions>();
    auto* command = app.add_subcommand("verify-package", "Stage or scan a firmware package and verify its image set");
    command->add_option("folder", options->folder, "Image folder to scan instead of the embedded package");
    command->add_option("--config", options->configFile, "Config.ini to verify against (default: the embedded one)");
    command->add_option("--staging-dir", options->stagingDir, "Folder to stage into (default: a fresh one)");
    command->add_flag("--keep-staging", options->keepStaging, "Leave the staged files in place");
    command->callback([options, &pending] {
        pending.run = [options] { return RunVerifyPackageCommand(*options, std::cout, std::cerr); };
    });
}

}  // namespace flintcast::cli
