#pragma once
// Named locks standing in for named mutexes: a lock file per name in the
// runtime folder, held with flock for as long as the InstanceLock lives. The
// system releases it when the process ends, like a mutex handle.
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

namespace flintcast::platform {

class InstanceLock {
public:
    // Takes the lock named `name` ("Downloading_Mutex"); nullptr when another
    // holder has it or the lock file cannot be made (errno tells which).
    static std::unique_ptr<InstanceLock> TryAcquire(std::string_view name);
    // Whether anyone (this process included, through another lock) holds `name`.
    static bool IsHeld(std::string_view name);
    // The lock file used for `name` (unsafe characters of the name replaced by "_").
    static std::filesystem::path LockPath(std::string_view name);

    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    const std::string& name() const { return name_; }

private:
    InstanceLock(std::string name, int fd) : name_(std::move(name)), fd_(fd) {}
    std::string name_;
    int fd_;
};

}  // namespace flintcast::platform
