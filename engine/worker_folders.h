#pragma once
// The worker's folder helpers for the device backup folder.
#include <ctime>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "engine/reporter.h"

namespace flintcast::engine {

inline constexpr std::string_view kCouldNotCreateFolder = "Could not create folder!";

// Raised by CreateFolderPath after it has reported; the worker catches it and closes its ports.
class FolderCreationError : public std::runtime_error {
public:
    FolderCreationError() : std::runtime_error(std::string(kCouldNotCreateFolder)) {}
};

// Replaces the characters a folder name may not hold (slash, asterisk, question mark, double
// quote, less-than, greater-than, vertical bar, and backslash and NUL) by "_". Applied to text
// that comes from the device (the device tag), so a serial number can never add a folder level.
std::string SafeFolderName(std::string_view text);

// Removes a folder tree (a trailing "/" is dropped); true when the folder no longer exists.
bool RemoveFolder(std::string_view path);

// Creates every missing level of `path`. A level that cannot be created: ShowError with
// "Could not create folder!", then FolderCreationError.
void CreateFolderPath(Reporter& reporter, const std::string& path);

// --- earlier backups ---------------------------------------------------------------------------

// "YYYYMMDD-HHMMSS" of `when`: the suffix of a moved-aside backup folder.
std::string BackupStamp(const std::tm& when);

// How many names a moved-aside folder tries ("<tag>.<stamp>", then "-2" ... up to this).
inline constexpr int kAsideNameAttempts = 100;

struct MoveAsideResult {
    bool ok = false;
    std::string movedTo;  // empty when there was nothing to move
    std::string error;    // set when !ok
};

// Makes room for a new backup in `folder` without losing an earlier one: when something
// stands at `folder` (other than an empty folder) it is renamed to "<folder>.<stamp>" in the
// same parent, with "-2", "-3", ... added while that name is taken. Never deletes anything;
// when no rename succeeds the result says why and `folder` is left as it was.
MoveAsideResult MoveAsideEarlierBackup(const std::string& folder, std::string_view stamp);

// True when `path` names something strictly below `root` once both are resolved ("..",
// links along the way); the root itself is not inside.
bool IsStrictlyInside(const std::string& path, const std::string& root);

// Why the backup folder a resumed run was pointed at cannot be used (outside `root`, missing,
// a link, not a folder), or nothing when it can.
std::optional<std::string> StoredBackupFolderProblem(const std::string& folder, const std::string& root);

}  // namespace flintcast::engine
