#pragma once
// The worker's folder helpers for the device backup folder.
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

}  // namespace flintcast::engine
