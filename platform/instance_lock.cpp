#include "platform/instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "platform/paths.h"

namespace flintcast::platform {
namespace {

// Lock names become file names: anything but letters, digits, "-", "_" and "."
// is replaced, so a name can never point outside the runtime folder.
std::string SafeName(std::string_view name) {
    std::string out;
    for (const char c : name) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                           c == '_' || c == '.';
        out += plain ? c : '_';
    }
    if (out.empty() || out.find_first_not_of('.') == std::string::npos) out = "_" + out;
    return out;
}

}  // namespace

std::filesystem::path InstanceLock::LockPath(std::string_view name) {
    return RuntimeDir() / (SafeName(name) + ".lock");
}

std::unique_ptr<InstanceLock> InstanceLock::TryAcquire(std::string_view name) {
    const std::string path = LockPath(name).string();
    // Read-only is enough for flock, and lets a lock file made by another user
    // in the shared /tmp fallback still be locked.
    int fd = ::open(path.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0) return nullptr;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno == EWOULDBLOCK ? EBUSY : errno;
        ::close(fd);
        errno = err;
        return nullptr;
    }
    return std::unique_ptr<InstanceLock>(new InstanceLock(std::string(name), fd));
}

bool InstanceLock::IsHeld(std::string_view name) {
    const std::string path = LockPath(name).string();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return false;  // never made, so nobody holds it
    const bool free = ::flock(fd, LOCK_SH | LOCK_NB) == 0;
    ::close(fd);  // also drops the probe's shared lock
    return !free;
}

InstanceLock::~InstanceLock() {
    if (native_ >= 0) {
        ::flock(native_, LOCK_UN);
        ::close(native_);
    }
}

}  // namespace flintcast::platform
