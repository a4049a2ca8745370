#pragma once
// Runs flintcast-devsim in a temporary device root for a test and talks to its ports.
#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "devkit/temp_dir.h"

namespace flintcast::simtest {

std::filesystem::path DevsimPath();

class SimProcess {
public:
    // Starts the simulator (time scale 0.01 unless `extraArgs` says otherwise) and waits for
    // its ready line.
    explicit SimProcess(std::vector<std::string> extraArgs = {}, const std::filesystem::path& stateDir = {});
    ~SimProcess();
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    const std::string& readyLine() const { return readyLine_; }
    std::filesystem::path root() const { return dir_.path() / "root"; }
    std::filesystem::path state() const { return state_; }
    std::filesystem::path dev(const std::string& tty) const { return root() / "dev" / tty; }

    // Sends SIGTERM and returns the exit status (or -1).
    int Terminate();
    // Runs "flintcast-devsim ctl ROOT <command>"; returns its exit code and output.
    int Ctl(const std::string& command, std::string* output = nullptr) const;
    nlohmann::json StateFile() const;
    // Names under root()/dev.
    std::vector<std::string> DevEntries() const;
    // Waits (real time) until DevEntries() equals `names`.
    bool WaitForDev(const std::vector<std::string>& names, std::chrono::milliseconds limit = std::chrono::seconds(5)) const;

private:
    testing::TempDir dir_;
    std::filesystem::path state_;
    pid_t pid_ = -1;
    int out_ = -1;
    std::string readyLine_;
};

// A raw client end of one simulated port.
class PortClient {
public:
    explicit PortClient(const std::filesystem::path& dev);
    ~PortClient();
    PortClient(const PortClient&) = delete;
    PortClient& operator=(const PortClient&) = delete;

    void Write(const std::string& bytes);
    void Write(const std::vector<uint8_t>& bytes);
    // Collects what arrives until `until` is in it, or `limit` passes (real time).
    std::string ReadUntil(const std::string& until, std::chrono::milliseconds limit = std::chrono::seconds(3));
    // Collects everything that arrives within `window`.
    std::string ReadFor(std::chrono::milliseconds window);
    // One HDLC frame: bytes up to and including the first 0x7E after something else.
    std::optional<std::vector<uint8_t>> ReadFrame(std::chrono::milliseconds limit = std::chrono::seconds(3));

private:
    int fd_ = -1;
    std::string pending_;
};

// One HDLC frame of `payload` (no leading flag), as the tool sends it.
std::vector<uint8_t> Frame(const std::vector<uint8_t>& payload);
// The unstuffed payload of a frame whose check sequence is right; nullopt otherwise.
std::optional<std::vector<uint8_t>> Unframe(const std::vector<uint8_t>& frame);

}  // namespace flintcast::simtest
