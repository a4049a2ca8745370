#pragma once
// The part-of-EFS update: removes the configured files and directories on the device, makes
// the configured directories and writes the staged files, instead of rewriting the whole EFS.
#include <string_view>
#include <vector>

#include "config/project_config.h"
#include "engine/efs_client.h"
#include "engine/image_set.h"

namespace flintcast::engine {

namespace part_of_efs_text {
inline constexpr std::string_view kRemoveFileFailed = "[EFS] Fail to remove file";
inline constexpr std::string_view kHasSubdirectories = "[EFS] Could not remove subdirectories";
inline constexpr std::string_view kFolderFileNotRemoved = "[EFS] Fail to remove the file of folder";
inline constexpr std::string_view kFolderRootNotRemoved = "[EFS] Fail to remove the root of folder";
inline constexpr std::string_view kDirNotRemoved = "[EFS] Fail to remove the entire directory";
inline constexpr std::string_view kMakeDirFailed = "[EFS] Fail to create directory";
inline constexpr std::string_view kOpenFailed = "[Dload] Fail to send part of EFS file command";
inline constexpr std::string_view kCloseFailed = "[Dload] Fail to close part of EFS packet";
inline constexpr std::string_view kFileWritten = "Download file P030......";
inline constexpr std::string_view kNotStaged = "[Dload] Part of EFS file not staged: ";
}  // namespace part_of_efs_text

// Runs [RemoveFiles], [RemoveDir], [CreateDir] and then writes each staged file (`staged`, in
// [AddFiles] order) to the device path of the [AddFiles] entry at the same position.
void ApplyPartOfEfs(EfsClient& efs, const config::ProjectConfig& config, const std::vector<ImageFile>& staged);

}  // namespace flintcast::engine
