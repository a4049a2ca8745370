#pragma once
// The user files of the device's EFS: which files are backed up ([UserDataFiles] and
// everything under the [UserDataDir] directories), their copies in the device backup folder,
// and the restore that recreates the directories and writes the files back.
//
// Call order in a run: SetBackupFolder once the device backup folder exists, then
// EnumDirAndMakeDir and BackupUserDataFiles in the backup phase, RestoreUserDataFiles once the
// new firmware's diagnostic port is open. A resumed run, which did no backup of its own, calls
// LoadFromMirror instead of the two backup operations. Each operation does nothing once an
// error is latched. Creating a PC folder can raise FolderCreationError (after its error line).
#include <cstdint>
#include <string>
#include <vector>

#include "config/project_config.h"
#include "engine/efs_client.h"
#include "engine/efs_directory.h"

namespace flintcast::engine {

namespace efs_text {
inline constexpr std::string_view kReadFailed = "->Fail to read file:";
inline constexpr std::string_view kCopyFailed = "*Fail to read file:";
inline constexpr std::string_view kCloseFailed = "Fail to close file packet:";
inline constexpr std::string_view kBackedUp = " successfully.";
inline constexpr std::string_view kMakeDirFailed = "[EFS] Fail to create directory";
inline constexpr std::string_view kUploadOpenFailed = "[upload] Fail to upload part of EFS file command";
inline constexpr std::string_view kUploadCloseFailed = "[upload] Fail to close part of EFS packet";
inline constexpr std::string_view kRestored = " file OK";
inline constexpr std::string_view kUnsafePath = "[EFS] Path refused, it would leave the backup folder: ";
inline constexpr std::string_view kMirrorUnreadable = "[EFS] Could not read the user data backup:";
}  // namespace efs_text

class EfsUserData {
public:
    EfsUserData(EfsClient& efs, const config::ProjectConfig& config);

    // The device backup folder; the copies live in its EFS subfolder.
    void SetBackupFolder(std::string folder) { backupFolder_ = std::move(folder); }

    void EnumDirAndMakeDir();
    void BackupUserDataFiles();
    void RestoreUserDataFiles();

    // Rebuilds the lists from the copies of an earlier run's backup (every file and folder
    // under <backup folder>/EFS), so that a resumed run restores them. False, with an error
    // line, when the copies cannot be read; links in the copy are refused.
    bool LoadFromMirror();

    // The parallel lists: device path, PC path of its copy, size (valid after the backup).
    const std::vector<std::string>& userDataFiles() const { return files_; }
    const std::vector<std::string>& userDataEntries() const { return entries_; }
    const std::vector<uint32_t>& userDataSizes() const { return sizes_; }
    const EfsListing& listing() const { return listing_; }

private:
    EfsClient& efs_;
    const config::ProjectConfig& config_;
    std::string backupFolder_;
    EfsListing listing_;
    std::vector<std::string> files_;
    std::vector<std::string> entries_;
    std::vector<uint32_t> sizes_;

    Reporter& reporter() { return efs_.context().reporter; }
    bool ok() const { return efs_.context().ok(); }
    // The copy's PC path, or an error line and nothing for a path that would leave the folder.
    std::optional<std::string> MirrorPathOrError(const std::string& devicePath);
    // Every directory the restore has to make, parents before children.
    std::vector<std::string> DirectoriesToMake() const;
};

}  // namespace flintcast::engine
