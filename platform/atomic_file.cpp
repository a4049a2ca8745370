#include "platform/atomic_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace flintcast::platform {
namespace {

// Opens `path` with `flags`, flushes it to disk and closes it again, keeping fsync's errno.
bool SyncPath(const std::filesystem::path& path, int flags) {
    const int fd = ::open(path.c_str(), flags | O_CLOEXEC);
    if (fd < 0) return false;
    const bool ok = ::fsync(fd) == 0;
    const int saved = errno;
    ::close(fd);
    errno = saved;
    return ok;
}

// Flushes the folder's entry list, so a rename into it survives a power loss.
bool SyncFolderOf(const std::filesystem::path& file) {
    const std::filesystem::path folder = file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
    return SyncPath(folder, O_RDONLY | O_DIRECTORY);
}

}  // namespace

bool SyncFileToDisk(const std::filesystem::path& path) { return SyncPath(path, O_RDONLY | O_NOFOLLOW); }

std::filesystem::path TemporaryNameBeside(const std::filesystem::path& target) {
    return target.string() + ".partial-" + std::to_string(::getpid());
}

AtomicFileWriter::~AtomicFileWriter() { Abandon(); }

bool AtomicFileWriter::Open(const std::filesystem::path& target, bool executable) {
    Abandon();
    target_ = target;
    tempPath_ = TemporaryNameBeside(target).string();
    failed_ = false;
    ::unlink(tempPath_.c_str());
    fd_ = ::open(tempPath_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, executable ? 0755 : 0644);
    return fd_ >= 0;
}

bool AtomicFileWriter::Write(std::span<const uint8_t> data) {
    if (fd_ < 0 || failed_) return false;
    const uint8_t* at = data.data();
    std::size_t left = data.size();
    while (left > 0) {
        const ssize_t n = ::write(fd_, at, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            failed_ = true;
            return false;
        }
        at += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

bool AtomicFileWriter::Commit() {
    if (fd_ < 0) return false;
    bool ok = !failed_ && ::fsync(fd_) == 0;
    int saved = errno;
    ok = ::close(fd_) == 0 && ok;
    fd_ = -1;
    if (ok && ::rename(tempPath_.c_str(), target_.c_str()) != 0) ok = false;
    if (!ok) {
        saved = errno;
        ::unlink(tempPath_.c_str());
        errno = saved;
        return false;
    }
    return SyncFolderOf(target_);
}

void AtomicFileWriter::Abandon() {
    if (fd_ < 0) return;
    const int saved = errno;
    ::close(fd_);
    fd_ = -1;
    ::unlink(tempPath_.c_str());
    errno = saved;
}

bool CommitWrittenFile(const std::filesystem::path& written, const std::filesystem::path& target) {
    if (!SyncFileToDisk(written)) return false;
    if (::rename(written.c_str(), target.c_str()) != 0) return false;
    return SyncFolderOf(target);
}

}  // namespace flintcast::platform
