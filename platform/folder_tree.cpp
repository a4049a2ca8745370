#include "platform/folder_tree.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>
#include <vector>

namespace flintcast::platform {
namespace {

// Deeper trees than this are refused rather than risking running out of descriptors.
constexpr int kMaxDepth = 128;

bool IsDirectory(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Empties the directory open as `dirFd` (taking ownership of it). Every entry is
// examined without following links, and sub-directories are opened relative to
// their parent with O_NOFOLLOW, so a link swapped in cannot redirect the walk.
bool EmptyDirectory(int dirFd, int depth) {
    DIR* dir = ::fdopendir(dirFd);
    if (dir == nullptr) {
        ::close(dirFd);
        return false;
    }
    std::vector<std::string> names;
    while (dirent* entry = ::readdir(dir)) {
        std::string_view name(entry->d_name);
        if (name != "." && name != "..") names.emplace_back(name);
    }
    bool ok = true;
    const int fd = ::dirfd(dir);
    for (const std::string& name : names) {
        struct stat st {};
        if (::fstatat(fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            ok = ok && errno == ENOENT;
            continue;
        }
        if (S_ISDIR(st.st_mode)) {
            if (depth >= kMaxDepth) {
                ok = false;
                continue;
            }
            const int child = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (child < 0 || !EmptyDirectory(child, depth + 1)) {
                ok = false;
                continue;
            }
            if (::unlinkat(fd, name.c_str(), AT_REMOVEDIR) != 0) ok = false;
        } else if (::unlinkat(fd, name.c_str(), 0) != 0 && errno != ENOENT) {
            ok = false;
        }
    }
    ::closedir(dir);
    return ok;
}

}  // namespace

std::optional<std::string> CreateFolderLevels(const std::string& path) {
    if (path.empty()) return std::string();
    std::string prefix;
    std::size_t pos = 0;
    while (pos <= path.size()) {
        std::size_t next = path.find('/', pos);
        if (next == std::string::npos) next = path.size();
        prefix = path.substr(0, next);
        const bool isComponent = next > pos;  // skips the root and doubled separators
        if (isComponent && !IsDirectory(prefix)) {
            if (::mkdir(prefix.c_str(), 0755) != 0 && !IsDirectory(prefix)) return prefix;
        }
        pos = next + 1;
    }
    return std::nullopt;
}

bool RemoveFolder(const std::string& path) {
    std::string folder = path;
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    if (folder.empty()) return false;

    struct stat st {};
    if (::lstat(folder.c_str(), &st) != 0) return errno == ENOENT;
    if (!S_ISDIR(st.st_mode)) {
        // A link (or a file) standing where the folder should be: remove only it.
        return ::unlink(folder.c_str()) == 0;
    }
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    const bool emptied = EmptyDirectory(fd, 0);
    const bool removed = ::rmdir(folder.c_str()) == 0;
    return emptied && removed && ::lstat(folder.c_str(), &st) != 0 && errno == ENOENT;
}

}  // namespace flintcast::platform
