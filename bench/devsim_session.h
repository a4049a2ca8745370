#pragma once
// flintcast-devsim started as a process at time scale 1.0, switched to its programmer
// personality, with a worker's diagnostic port open on the programmer port and the
// streaming session greeted. Reads back what the device stored for an image.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/child_process.h"
#include "devkit/worker_rig.h"
#include "devkit/temp_dir.h"

namespace flintcast::bench {

class DevsimSession {
public:
    explicit DevsimSession(int32_t project = 46);
    ~DevsimSession();
    DevsimSession(const DevsimSession&) = delete;
    DevsimSession& operator=(const DevsimSession&) = delete;

    // Empty when the session is ready; otherwise what went wrong.
    const std::string& error() const { return error_; }

    // The AMSS image as the device stored it after its last close, once it has `size` bytes
    // (waits up to a few seconds for the device to write it out).
    std::optional<std::vector<uint8_t>> StoredAmss(size_t size) const;
    // CPU seconds the simulator process has used so far.
    double DeviceCpuSeconds() const;

    testing::TempDir dir;
    testing::WorkerRig worker;

private:
    platform::ChildProcess sim_;
    std::string error_;

    std::filesystem::path root() const { return dir.path() / "root"; }
    std::filesystem::path state() const { return dir.path() / "state"; }
    void Start();
    bool Ctl(const std::vector<std::string>& command);
    void Fail(const std::string& what);
};

}  // namespace flintcast::bench
