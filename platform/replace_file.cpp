#include "platform/replace_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "platform/atomic_file.h"

namespace flintcast::platform {

bool WriteFileReplacing(const std::filesystem::path& target, std::span<const uint8_t> data, bool executable) {
    AtomicFileWriter file;
    return file.Open(target, executable) && file.Write(data) && file.Commit();
}

bool CopyFileReplacing(const std::filesystem::path& source, const std::filesystem::path& target) {
    const int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return false;
    struct stat st {};
    AtomicFileWriter out;
    if (::fstat(in, &st) != 0 || !S_ISREG(st.st_mode) || !out.Open(target)) {
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
        if (!out.Write(std::span(buffer.data(), static_cast<std::size_t>(n)))) {
            ok = false;
            break;
        }
    }
    ::close(in);
    return ok && out.Commit();
}

}  // namespace flintcast::platform
