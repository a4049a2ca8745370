#include "engine/efs_user_data.h"

#include <algorithm>
#include <filesystem>
#include <set>
#include <system_error>

#include <fmt/format.h>

#include "engine/efs_mirror.h"
#include "engine/worker_folders.h"

namespace flintcast::engine {
namespace {

namespace fs = std::filesystem;

// Found paths are relative ("user/cfg"), configured ones absolute; both name the same place.
std::string Key(std::string_view path) {
    while (!path.empty() && path.front() == '/') path.remove_prefix(1);
    while (!path.empty() && path.back() == '/') path.remove_suffix(1);
    return std::string(path);
}

}  // namespace

EfsUserData::EfsUserData(EfsClient& efs, const config::ProjectConfig& config) : efs_(efs), config_(config) {}

std::optional<std::string> EfsUserData::MirrorPathOrError(const std::string& devicePath) {
    auto pc = MirrorPathOf(backupFolder_, devicePath);
    if (!pc) reporter().ShowError(fmt::format("{}{}", efs_text::kUnsafePath, devicePath));
    return pc;
}

void EfsUserData::EnumDirAndMakeDir() {
    listing_ = {};
    files_ = config_.userDataFiles;
    entries_.clear();
    sizes_.clear();

    for (const auto& dir : config_.userDataDirs) {
        if (!ok()) return;
        const auto pc = MirrorPathOrError(dir);
        if (!pc) return;
        EnumEfsDir(efs_, dir, listing_);
        CreateFolderPath(reporter(), *pc);
    }
    if (ok()) {
        for (size_t i = 0; i < files_.size() && ok();) {
            if (efs_.EfsPathMissing(files_[i]) == 0) {
                files_.erase(files_.begin() + static_cast<std::ptrdiff_t>(i));  // not on this device
                continue;
            }
            const auto pc = MirrorPathOrError(files_[i]);
            if (!pc) return;
            CreateFolderPath(reporter(), MirrorParentOf(*pc));
            ++i;
        }
    }
    // Found names were checked when they were listed, so their copies stay inside the folder.
    for (const auto& dir : listing_.directories) {
        if (const auto pc = MirrorPathOf(backupFolder_, dir)) CreateFolderPath(reporter(), *pc);
    }
    for (const auto& file : listing_.files) {
        if (file.find("prefs.dat") == std::string::npos) files_.push_back(file);
    }
    if (!ok()) return;
    for (const auto& file : files_) {
        const auto pc = MirrorPathOrError(file);
        if (!pc) return;
        entries_.push_back(*pc);
    }
}

void EfsUserData::BackupUserDataFiles() {
    sizes_.assign(files_.size(), 0);
    for (size_t i = 0; i < files_.size() && i < entries_.size() && ok(); ++i) {
        const std::string& path = files_[i];
        uint32_t size = 0;
        if (efs_.OpenEfsFileForRead(path, size) != 0) {
            reporter().ShowError(fmt::format("{}{}", efs_text::kReadFailed, path));
            return;
        }
        sizes_[i] = size;
        if (efs_.ReadEfsFile(entries_[i], size) != 0) {
            reporter().ShowError(fmt::format("{}{}", efs_text::kCopyFailed, path));
            return;
        }
        if (size == 0) continue;  // nothing was opened on the device
        if (efs_.CloseEfsFile() != 0) {
            reporter().ShowError(fmt::format("{}{}", efs_text::kCloseFailed, path));
            return;
        }
        reporter().ShowStatus(LineClass::Progress, fmt::format("{}{}", path, efs_text::kBackedUp));
    }
}

std::vector<std::string> EfsUserData::DirectoriesToMake() const {
    // The new firmware's file system may lack the folders above the found directories and the
    // backed-up files (the [UserDataDir] entries themselves, say); every level is made, parents
    // first, and one that exists already is accepted.
    std::vector<std::string> ordered;
    std::set<std::string> seen;
    const auto addWithParents = [&](std::string_view path) {
        const std::string key = Key(path);
        for (size_t slash = key.find('/'); slash != std::string::npos; slash = key.find('/', slash + 1)) {
            const std::string parent = "/" + key.substr(0, slash);
            if (seen.insert(Key(parent)).second) ordered.push_back(parent);
        }
        if (!key.empty() && seen.insert(key).second) ordered.push_back(std::string(path));
    };
    for (const auto& dir : listing_.directories) addWithParents(dir);
    for (const auto& file : files_) {
        const std::string key = Key(file);
        const size_t slash = key.rfind('/');
        if (slash != std::string::npos) addWithParents("/" + key.substr(0, slash));
    }
    return ordered;
}

void EfsUserData::RestoreUserDataFiles() {
    for (const auto& dir : DirectoriesToMake()) {
        if (!ok()) return;
        if (efs_.MakeEfsDir(dir) != 0) {
            reporter().ShowError(efs_text::kMakeDirFailed);
            return;
        }
    }
    for (size_t i = 0; i < files_.size() && i < entries_.size() && ok(); ++i) {
        const std::string& path = files_[i];
        if (efs_.OpenEfsFileForWrite(path) != 0) {
            reporter().ShowError(efs_text::kUploadOpenFailed);
            return;
        }
        const uint32_t size = i < sizes_.size() ? sizes_[i] : 0;
        if (size != 0) efs_.StreamFileToEfs(entries_[i], size);
        if (efs_.CloseEfsFile() != 0) {
            reporter().ShowError(efs_text::kUploadCloseFailed);
            return;
        }
        reporter().ShowStatus(LineClass::Progress, fmt::format("{}{}", path, efs_text::kRestored));
    }
}

bool EfsUserData::LoadFromMirror() {
    listing_ = {};
    files_.clear();
    entries_.clear();
    sizes_.clear();
    const fs::path root = fs::path(backupFolder_) / "EFS";
    std::error_code ec;
    if (!fs::is_directory(fs::symlink_status(root, ec))) return true;  // nothing was backed up

    std::vector<fs::path> found;
    for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        found.push_back(it->path());
    }
    std::sort(found.begin(), found.end());  // a folder sorts before what it holds
    bool good = !ec;
    for (const auto& path : found) {
        const auto status = fs::symlink_status(path, ec);
        const std::string device = "/" + fs::relative(path, root, ec).generic_string();
        if (ec || fs::is_symlink(status)) {
            good = false;
            break;
        }
        if (fs::is_directory(status)) {
            listing_.directories.push_back(device);
        } else if (fs::is_regular_file(status)) {
            const auto size = fs::file_size(path, ec);
            if (ec || size > UINT32_MAX) {
                good = false;
                break;
            }
            files_.push_back(device);
            entries_.push_back(path.string());
            sizes_.push_back(static_cast<uint32_t>(size));
        }
    }
    if (!good) {
        reporter().ShowError(fmt::format("{}{}", efs_text::kMirrorUnreadable, root.string()));
        listing_ = {};
        files_.clear();
        entries_.clear();
        sizes_.clear();
    }
    return good;
}

}  // namespace flintcast::engine
