#include "engine/efs_part_of_efs.h"

#include <fmt/format.h>

#include "engine/efs_directory.h"

namespace flintcast::engine {
namespace {

std::string_view RemoveDirFailure(int result) {
    switch (result) {
        case remove_dir::kHasSubdirectory: return part_of_efs_text::kHasSubdirectories;
        case remove_dir::kFileNotRemoved: return part_of_efs_text::kFolderFileNotRemoved;
        case remove_dir::kDirNotRemoved: return part_of_efs_text::kFolderRootNotRemoved;
        default: return part_of_efs_text::kDirNotRemoved;
    }
}

}  // namespace

void ApplyPartOfEfs(EfsClient& efs, const config::ProjectConfig& config, const std::vector<ImageFile>& staged) {
    WorkerContext& ctx = efs.context();
    for (const auto& path : config.removeFiles) {
        if (!ctx.ok()) return;
        if (efs.RemoveEfsFile(path) != 0) ctx.reporter.ShowError(part_of_efs_text::kRemoveFileFailed);
    }
    for (const auto& path : config.removeDirs) {
        if (!ctx.ok()) return;
        const int result = RemoveEfsDir(efs, path);
        if (result != remove_dir::kDone) ctx.reporter.ShowError(RemoveDirFailure(result));
    }
    for (const auto& path : config.createDirs) {
        if (!ctx.ok()) return;
        if (efs.MakeEfsDir(path) != 0) ctx.reporter.ShowError(part_of_efs_text::kMakeDirFailed);
    }
    // Every [AddFiles] entry needs its staged file; a missing one must not pass unnoticed.
    if (ctx.ok() && staged.size() < config.addFiles.size()) {
        ctx.reporter.ShowError(fmt::format("{}{}", part_of_efs_text::kNotStaged, config.addFiles[staged.size()]));
        return;
    }
    for (size_t i = 0; i < config.addFiles.size() && ctx.ok(); ++i) {
        if (efs.OpenEfsFileForWrite(config.addFiles[i]) != 0) {
            ctx.reporter.ShowError(part_of_efs_text::kOpenFailed);
            return;
        }
        efs.StreamFileToEfs(staged[i].path, staged[i].size);
        if (efs.CloseEfsFile() != 0) {
            ctx.reporter.ShowError(part_of_efs_text::kCloseFailed);
            return;
        }
        ctx.reporter.ShowStatus(LineClass::Progress, part_of_efs_text::kFileWritten);
    }
}

}  // namespace flintcast::engine
