#pragma once
// The PC's backup folder on a file system of its own, so a test can fill it up or make it
// read-only the way a real disk does (a small tmpfs; the test runs as root, which ignores
// permission bits, so only a mount gives an honest read-only folder or a full disk).
#include <cstdint>
#include <filesystem>
#include <string>

namespace flintcast::testing {

class BackupDisk {
public:
    static constexpr uint64_t kPage = 4096;

    // Mounts a tmpfs at `folder` that holds `freePages` pages of data (and a filler that takes
    // the rest). False, with the reason in error(), when mounting is not allowed here.
    bool Mount(const std::filesystem::path& folder, uint64_t freePages);
    ~BackupDisk();
    BackupDisk() = default;
    BackupDisk(const BackupDisk&) = delete;
    BackupDisk& operator=(const BackupDisk&) = delete;

    bool MakeReadOnly();
    bool MakeWritable();
    // Frees the filler, as an operator makes room after "disk full".
    void FreeSpace();
    bool mounted() const { return mounted_; }
    const std::string& error() const { return error_; }

    // Pages a file of `bytes` takes on the disk.
    static uint64_t Pages(uint64_t bytes) { return (bytes + kPage - 1) / kPage; }

private:
    std::filesystem::path folder_;
    std::filesystem::path filler_;
    bool mounted_ = false;
    std::string error_;
    bool Remount(const char* mode);
};

}  // namespace flintcast::testing
