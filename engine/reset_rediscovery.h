#pragma once
// Following a device off the bus and back: the switch to download mode, the
// resets around the restore, the waits on the shared device-change flags,
// finding the device's ports again and reopening them.
#include <cstdint>
#include <functional>
#include <string>

#include "engine/reset_rules.h"
#include "engine/worker_context.h"

namespace flintcast::engine {

class DeviceDirectory;

struct ResetSettings {
    bool fastSpeed = false;
    int32_t networkType = 0;
    // Project 3 with a version marker and AMSS-only: its re-discovery is done
    // once the modem port is back, and it keeps no diagnostic port after the first reset.
    bool versionMarkedAmssOnly = false;
};

// The selector texts after re-discovery, the prefixes of the reopen lines.
struct PortTexts {
    std::string diag;
    std::string modem;
};

class ResetRediscovery {
public:
    static constexpr uint32_t kScanSettleMs = 2000;
    static constexpr int kPortSearchAttempts = 100;
    static constexpr uint32_t kPortSearchPauseMs = 2000;
    static constexpr uint32_t kSwitchLimitMs = 180000;
    static constexpr uint32_t kShortSwitchLimitMs = 50000;
    static constexpr uint32_t kShortSwitchPauseMs = 1000;
    static constexpr int kSwitchChangePolls = 10;
    static constexpr int kSwitchArrivalPolls = 60;
    static constexpr uint32_t kSwitchPollMs = 1000;
    static constexpr int kAfterDownloadReopenAttempts = 5;
    static constexpr uint32_t kAfterDownloadReopenWaitMs = 3000;

    ResetRediscovery(WorkerContext& ctx, DeviceDirectory& directory, ResetSettings settings);

    // Scans the ports and takes the first diagnostic and modem port found as
    // the worker's ports; true when either was found.
    bool FindComPort();

    // DIAG switch to download mode: 0 when the device answered the switch,
    // 1 when it did not within the limit, -1 when an error is latched.
    int32_t EnterDownloadMode();

    // `reset` is the streaming reset request (0 success). Failure latches
    // "Fail to reset phone"; success closes both ports with one attempt each.
    void ResetAndClose(const std::function<int32_t()>& reset);

    // Projects 6, 19 and 20: reset without reply, wait, re-discover, reopen.
    bool ResetAfterDownload();

    // Waits on the device-change flags as the stage's table says. True when the
    // arrival was seen.
    bool WaitForDevice(ResetStage stage);
    // Re-discovers the ports after a reset and posts the port lines.
    PortTexts RediscoverPorts(ResetStage stage);
    // The reopen loops after the first and second reset of the run; `text` is
    // the port's selector text. False after the time-out text or a stop request.
    bool ReopenAfterReset(ResetStage stage, PortKind port, const std::string& text);
    // True when the diagnostic port answers a bootloader no-operation: the device is in
    // download mode already.
    bool AnswersAsBootloader() { return bootloaderAnswers(); }

private:
    WorkerContext& ctx_;
    DeviceDirectory& directory_;
    ResetSettings settings_;

    bool reopen(PortKind port);
    void sendDownloadSwitch();
    // True when the diagnostic port answers a bootloader no-operation: the device is in
    // download mode already and needs no switch request.
    bool bootloaderAnswers();
    // Reads one answer; true when it is the switch's own.
    bool readSwitchReply();
    int32_t shortSwitch();
    // Port search after a changed port in the download switch: true when the
    // diagnostic port was found and reopened.
    bool findAndReopenDiag();
};

}  // namespace flintcast::engine
