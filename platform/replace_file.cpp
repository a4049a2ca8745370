#include "platform/replace_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

namespace flintcast::platform {
namespace {

bool WriteAll(int fd, const uint8_t* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// Opens a new temporary file next to `target`; never opens through a link.
int OpenTemporary(const std::filesystem::path& target, bool executable, std::string& tempPath) {
    tempPath = target.string() + ".partial-" + std::to_string(::getpid());
    ::unlink(tempPath.c_str());
    return ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, executable ? 0755 : 0644);
}

bool Finish(int fd, bool ok, const std::string& tempPath, const std::filesystem::path& target) {
    ok = ::close(fd) == 0 && ok;
    if (ok) ok = ::rename(tempPath.c_str(), target.c_str()) == 0;
    if (!ok) ::unlink(tempPath.c_str());
    return ok;
}

}  // namespace

bool WriteFileReplacing(const std::filesystem::path& target, std::span<const uint8_t> data, bool executable) {
    std::string tempPath;
    const int fd = OpenTemporary(target, executable, tempPath);
    if (fd < 0) return false;
    return Finish(fd, WriteAll(fd, data.data(), data.size()), tempPath, target);
}

bool CopyFileReplacing(const std::filesystem::path& source, const std::filesystem::path& target) {
    const int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return false;
    struct stat st {};
    if (::fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(in);
        return false;
    }
    std::string tempPath;
    const int out = OpenTemporary(target, false, tempPath);
    if (out < 0) {
        ::close(in);
        return false;
    }
    std::vector<uint8_t> buffer(1 << 20);
    bool ok = true;
    for (;;) {
        const ssize_t n = ::read(in, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        if (!WriteAll(out, buffer.data(), static_cast<std::size_t>(n))) {
            ok = false;
            break;
        }
    }
    ::close(in);
    return Finish(out, ok, tempPath, target);
}

}  // namespace flintcast::platform
