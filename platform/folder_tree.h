#pragma once
// Folder helpers shared by staging and the worker: creating every level of a
// path and removing a whole tree without ever following a link out of it.
#include <optional>
#include <string>

namespace flintcast::platform {

// Creates every missing directory along `path`, one level at a time from the root
// down. Returns the first prefix that neither exists as a directory nor could be
// created, or nothing when the whole path exists afterwards.
std::optional<std::string> CreateFolderLevels(const std::string& path);

// Deletes the folder and everything in it. A trailing "/" is dropped. Links inside
// the tree are removed as links; their targets are never touched. When `path`
// itself is a link, only the link is removed. True when nothing failed and the
// folder no longer exists (also when it did not exist to begin with).
bool RemoveFolder(const std::string& path);

}  // namespace flintcast::platform
