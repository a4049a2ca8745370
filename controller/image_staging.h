#pragma once
// Start-up staging: the tool's embedded configuration, images and tools are written
// into the staging folder (and the second package into its own folder), and removed
// again on exit.
#include <filesystem>
#include <string>
#include <vector>

#include "config/messages.h"
#include "config/project_config.h"
#include "controller/resource_source.h"
#include "platform/clock.h"

namespace flintcast::controller {

struct StagingFolders {
    std::filesystem::path staging;        // TempFiles
    std::filesystem::path secondStaging;  // TempFiles2 (dual-package mode)
    std::filesystem::path backup;         // backup root / <date>
};

// The platform's folders, with today's date ("2026_12_08") under the backup root.
StagingFolders DefaultStagingFolders();

struct StagingResult {
    bool ok = true;          // false: a folder or file could not be written (its message was shown)
    bool mustExit = false;   // the application ends (failed copy of the fastboot system image)
    bool configOk = false;   // the staged Config.ini was read without a configuration error
    std::vector<std::string> written;           // resource names written, in order
    std::vector<std::string> missingResources;  // selected but not carried by this build
};

// Creates the staging and backup folders, writes ConfigFile as Config.ini and reads
// it into `config`, then writes every selected resource in table order, the
// part-of-EFS files and the fastboot system image copy. Verification is left to the
// caller (VerifyImageSet on the staging folder).
StagingResult StageImages(const StagingFolders& folders, const ResourceSource& resources,
                          config::ProjectConfig& config, config::MessageSink& messages,
                          const platform::Clock& clock);

// Stages the second package into `folders.secondStaging` under the first package's
// conditions; its Config.ini (ConfigFile2) is written last.
StagingResult StageSecondPackage(const StagingFolders& folders, const ResourceSource& resources,
                                 const config::ProjectConfig& config, config::MessageSink& messages);

// Outside programs that `config` selects but that the staging folder lacks (the
// package does not carry them) while this installation provides them in
// `toolFolder`, beside the program: each is copied into `folder` under its staged
// name, so it runs from the staging folder like one taken from the package.
// Returns the file names copied.
std::vector<std::string> StageToolsFromFolder(const std::filesystem::path& folder,
                                              const std::filesystem::path& toolFolder,
                                              const config::ProjectConfig& config);

// Removes the staging folder, and the second one in dual-package mode. The backup
// folder stays. True when every folder removed is gone.
bool CleanUpStaging(const StagingFolders& folders, bool dualPackage);

// The staged file name of an [AddFiles] entry: the part after its last "/", or
// nothing when that is not a plain file name.
std::string PartOfEfsFileName(const std::string& entry);

}  // namespace flintcast::controller
