#include "tests/matrix/backup_disk.h"

#include <sys/mount.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <vector>

#include <fmt/format.h>

namespace flintcast::testing {
namespace {

constexpr uint64_t kFillerPages = 8;

}  // namespace

bool BackupDisk::Mount(const std::filesystem::path& folder, uint64_t freePages) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    // The filler makes room for the mount's own bookkeeping and lets "free space" be 0 pages,
    // which a tmpfs size of 0 (no limit) could not say.
    const uint64_t size = (freePages + kFillerPages) * kPage;
    const std::string options = fmt::format("size={},mode=0755", size);
    if (::mount("tmpfs", folder.c_str(), "tmpfs", 0, options.c_str()) != 0) {
        error_ = fmt::format("mount tmpfs on {}: {}", folder.string(), std::strerror(errno));
        return false;
    }
    folder_ = folder;
    mounted_ = true;
    filler_ = folder / ".filler";
    std::ofstream out(filler_, std::ios::binary);
    const std::vector<char> page(kPage, '\0');
    for (uint64_t i = 0; i < kFillerPages && out; ++i) out.write(page.data(), static_cast<std::streamsize>(page.size()));
    out.close();
    return true;
}

BackupDisk::~BackupDisk() {
    if (!mounted_) return;
    // A lazy unmount: a program that still holds a file there cannot keep the mount alive.
    ::umount2(folder_.c_str(), MNT_DETACH);
}

bool BackupDisk::Remount(const char* mode) {
    const unsigned long flags = MS_REMOUNT | (std::strcmp(mode, "ro") == 0 ? MS_RDONLY : 0);
    if (::mount("tmpfs", folder_.c_str(), "tmpfs", flags, nullptr) != 0) {
        error_ = fmt::format("remount {} {}: {}", mode, folder_.string(), std::strerror(errno));
        return false;
    }
    return true;
}

bool BackupDisk::MakeReadOnly() { return mounted_ && Remount("ro"); }
bool BackupDisk::MakeWritable() { return mounted_ && Remount("rw"); }

void BackupDisk::FreeSpace() {
    if (!mounted_) return;
    std::error_code ec;
    std::filesystem::remove(filler_, ec);
    // And room to spare, as on a disk an operator cleaned up.
    if (::mount("tmpfs", folder_.c_str(), "tmpfs", MS_REMOUNT, "size=64m") != 0)
        error_ = fmt::format("grow {}: {}", folder_.string(), std::strerror(errno));
}

}  // namespace flintcast::testing
