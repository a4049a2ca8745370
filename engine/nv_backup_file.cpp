#include "engine/nv_backup_file.h"

#include "platform/replace_file.h"

namespace flintcast::engine {

bool NvBackupFile::Create(const std::string& path) {
    path_ = path;
    bytes_.clear();
    return platform::WriteFileReplacing(path_, {});
}

bool NvBackupFile::Close() {
    if (path_.empty()) return true;
    const bool ok = platform::WriteFileReplacing(path_, bytes_);
    path_.clear();
    bytes_.clear();
    return ok;
}

}  // namespace flintcast::engine
