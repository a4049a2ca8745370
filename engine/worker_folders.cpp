#include "engine/worker_folders.h"

#include <cstring>
#include <filesystem>
#include <system_error>

#include <fmt/format.h>

#include "platform/folder_tree.h"
#include "platform/rename_path.h"

namespace flintcast::engine {

namespace fs = std::filesystem;

std::string SafeFolderName(std::string_view text) {
    std::string name(text);
    for (char& c : name) {
        switch (c) {
            case '/': case '*': case '?': case '"': case '<': case '>': case '|': case '\\': case '\0':
                c = '_';
                break;
            default:
                break;
        }
    }
    return name;
}

bool RemoveFolder(std::string_view path) {
    std::string folder(path);
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    if (folder.empty()) return false;
    return platform::RemoveFolder(folder);
}

void CreateFolderPath(Reporter& reporter, const std::string& path) {
    if (platform::CreateFolderLevels(path).has_value()) {
        reporter.ShowError(kCouldNotCreateFolder);
        throw FolderCreationError();
    }
}

std::string BackupStamp(const std::tm& when) {
    return fmt::format("{:04}{:02}{:02}-{:02}{:02}{:02}", when.tm_year + 1900, when.tm_mon + 1, when.tm_mday,
                       when.tm_hour, when.tm_min, when.tm_sec);
}

MoveAsideResult MoveAsideEarlierBackup(const std::string& folder, std::string_view stamp) {
    MoveAsideResult result;
    std::error_code ec;
    const auto status = fs::symlink_status(folder, ec);
    if (!fs::exists(status)) {
        result.ok = true;
        return result;
    }
    // An empty folder holds nothing to keep; the new backup fills it.
    if (fs::is_directory(status) && fs::is_empty(folder, ec) && !ec) {
        result.ok = true;
        return result;
    }
    const std::string base = fmt::format("{}.{}", folder, stamp);
    for (int attempt = 1; attempt <= kAsideNameAttempts; ++attempt) {
        const std::string target = attempt == 1 ? base : fmt::format("{}-{}", base, attempt);
        int err = 0;
        switch (platform::RenameNoReplace(folder, target, &err)) {
            case platform::RenameResult::Renamed:
                result.ok = true;
                result.movedTo = target;
                return result;
            case platform::RenameResult::TargetExists:
                continue;
            case platform::RenameResult::Failed:
                result.error = fmt::format("Could not move the earlier backup {} aside: {}", folder, std::strerror(err));
                return result;
        }
    }
    result.error = fmt::format("Could not move the earlier backup {} aside: {} names beside it are taken", folder,
                               kAsideNameAttempts);
    return result;
}

bool IsStrictlyInside(const std::string& path, const std::string& root) {
    if (path.empty() || root.empty()) return false;
    std::error_code ec;
    const fs::path resolvedRoot = fs::weakly_canonical(fs::absolute(root, ec), ec);
    if (ec) return false;
    const fs::path resolved = fs::weakly_canonical(fs::absolute(path, ec), ec);
    if (ec) return false;
    auto r = resolvedRoot.begin();
    auto p = resolved.begin();
    for (; r != resolvedRoot.end(); ++r, ++p) {
        // A trailing separator leaves an empty last element on the root.
        if (r->empty() && std::next(r) == resolvedRoot.end()) break;
        if (p == resolved.end() || *p != *r) return false;
    }
    for (; p != resolved.end(); ++p) {
        if (!p->empty()) return true;
    }
    return false;
}

std::optional<std::string> StoredBackupFolderProblem(const std::string& folder, const std::string& root) {
    if (folder.empty()) return std::string("No backup folder of an earlier run is stored");
    if (!IsStrictlyInside(folder, root)) {
        return fmt::format("The stored backup folder {} is not inside the backup folder {}", folder, root);
    }
    std::error_code ec;
    const auto status = fs::symlink_status(folder, ec);
    if (!fs::exists(status)) return fmt::format("The stored backup folder {} does not exist", folder);
    if (fs::is_symlink(status) || !fs::is_directory(status)) {
        return fmt::format("The stored backup folder {} is not a folder", folder);
    }
    return std::nullopt;
}

}  // namespace flintcast::engine
