#pragma once
// The worker's bootloader stage: switches the device into download mode, checks
// that the DMSS bootloader answers, writes the flash programmer into RAM, starts
// it and follows the device through the re-enumeration that starting it causes.
#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "engine/download_progress.h"
#include "engine/worker_context.h"

namespace flintcast::engine {

class DeviceDirectory;

// The flash programmer as staged: a plain binary and its RAM load address.
struct ProgrammerImage {
    std::string path;
    uint32_t loadAddress = 0;
};

// Steps of the reset and re-discovery module the stage calls.
struct BootloaderSeams {
    // The diagnostic switch to download mode: 0 success, 1 failure, -1 error latched.
    std::function<int32_t()> EnterDownloadMode;
    // Rescans the ports and rewrites the worker's port names; true when one was found.
    std::function<bool()> FindComPort;
};


// Service programming code sent when the configuration gives none.
inline constexpr char kDefaultServiceCode[] = "000000";

class DmssBootloader {
public:
    static constexpr int kNopAttempts = 10;
    static constexpr uint32_t kNopRetryMs = 1000;
    static constexpr int kLargeFormReads = 5;
    static constexpr int kWriteAttempts = 10;
    static constexpr uint32_t kWriteRetryMs = 500;
    static constexpr int kBlockAttempts = 3;
    static constexpr uint32_t kPreCommandPauseMs = 200;
    static constexpr int kPreCommandReplies = 2;  // the version answer, then the code's
    static constexpr int kChangeWaitSteps = 10;
    static constexpr int kArrivalWaitSteps = 60;
    static constexpr uint32_t kWaitStepMs = 1000;
    static constexpr int kPortSearchRounds = 100;

    DmssBootloader(WorkerContext& ctx, DeviceDirectory& directory, DownloadProgress& progress);

    // Each returns 0 on success, 1 on failure (2: wrong write size), -1 when the
    // worker's error is latched.
    int32_t SendNop();
    int32_t RequestParameters(uint16_t expectedWriteSize);
    int32_t WriteBlock(uint32_t address, std::span<const uint8_t> data);
    int32_t Go(uint32_t address);
    // Writes the programmer in 1,017-byte blocks; failures are latched.
    void LoadProgrammer(const ProgrammerImage& programmer);

    // The whole stage; failures are latched with their texts.
    void RunBootloaderStage(const ProgrammerImage& programmer, const BootloaderSeams& seams,
                            const std::string& serviceCode = kDefaultServiceCode);

private:
    WorkerContext& ctx_;
    DeviceDirectory& directory_;
    DownloadProgress& progress_;

    void sendPayload(std::span<const uint8_t> payload, bool leadingFlag);
    void runPreCommands(const std::string& serviceCode);
    void reportServiceCodeAnswer();
    void runStandardSequence(const ProgrammerImage& programmer);
    void runServiceCodeSequence(const ProgrammerImage& programmer);
    // True when the device went away after GO (the stage goes on to the port check).
    bool followReEnumeration();
    void findChangedPort(const BootloaderSeams& seams);
    bool waitForFlag(const std::atomic<int32_t>& flag, int steps, bool sleepFirst);
};

}  // namespace flintcast::engine
