#pragma once
// Named locks: a named mutex on Windows; on Linux a lock file per name in the runtime folder,
// held with flock for as long as the InstanceLock lives. The system releases either when the
// process ends.
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
#ifdef _WIN32
    using Native = void*;  // the mutex HANDLE
#else
    using Native = int;  // the lock file's descriptor
#endif
    InstanceLock(std::string name, Native native) : name_(std::move(name)), native_(native) {}
    std::string name_;
    Native native_;
};

}  // namespace flintcast::platform
