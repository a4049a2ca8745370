#include "platform/rename_path.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>

#include <cerrno>

namespace flintcast::platform {

namespace {

RenameResult Outcome(int err, int* error) {
    if (error != nullptr) *error = err;
    return err == EEXIST || err == ENOTEMPTY ? RenameResult::TargetExists : RenameResult::Failed;
}

}  // namespace

RenameResult RenameNoReplace(const std::string& from, const std::string& to, int* error) {
    if (error != nullptr) *error = 0;
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return RenameResult::Renamed;
    const int err = errno;
    if (err != EINVAL && err != ENOSYS) return Outcome(err, error);
    // A file system without the no-replace flag: look first. Only this process names its
    // moved-aside folders, so the gap between the look and the rename is not a contest.
    struct stat st {};
    if (::lstat(to.c_str(), &st) == 0) return Outcome(EEXIST, error);
    if (::rename(from.c_str(), to.c_str()) == 0) return RenameResult::Renamed;
    return Outcome(errno, error);
}

}  // namespace flintcast::platform
