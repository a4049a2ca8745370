#pragma once
// Renaming a file or folder within one file system without ever replacing what stands at the
// new name: a backup that is moved aside must not land on (and destroy) another one.
#include <string>

namespace flintcast::platform {

enum class RenameResult {
    Renamed,
    TargetExists,  // something already stands at the new name; nothing was changed
    Failed,        // the rename was refused; `error` holds errno
};

// Renames `from` to `to`. A link at `from` is renamed as the link itself.
RenameResult RenameNoReplace(const std::string& from, const std::string& to, int* error = nullptr);

}  // namespace flintcast::platform
