#include "engine/reset_rediscovery.h"

#include <array>

#include "engine/device_directory.h"
#include "engine/diag_exchange.h"
#include "engine/diag_requests.h"
#include "engine/dmss_messages.h"
#include "engine/fixed_reply.h"

namespace flintcast::engine {
namespace {

constexpr uint8_t kResetRequest = 0x0B;

}  // namespace

ResetRediscovery::ResetRediscovery(WorkerContext& ctx, DeviceDirectory& directory, ResetSettings settings)
    : ctx_(ctx), directory_(directory), settings_(settings) {}

bool ResetRediscovery::FindComPort() {
    ctx_.reporter.ShowStatus(LineClass::Ordinary, "FindComPort");
    directory_.RescanPorts();
    ctx_.clock.sleepMs(kScanSettleMs);
    const std::string diag = directory_.FoundDiagPort();
    const std::string modem = directory_.FoundModemPort();
    if (!diag.empty()) {
        ctx_.serial.diagPortName = diag;
    }
    if (!modem.empty()) {
        ctx_.serial.modemPortName = modem;
    }
    return !diag.empty() || !modem.empty();
}

bool ResetRediscovery::WaitForDevice(ResetStage stage) {
    const DeviceWait wait = DeviceWaitFor(stage);
    for (int i = 0; i < wait.changePolls && ctx_.ok(); ++i) {
        ctx_.clock.sleepMs(wait.pollMs);
        if (directory_.deviceChangeSeen().load() != 0) {
            break;
        }
    }
    // The arrival wait runs even when no change was seen: the re-discovery and
    // the reopen loops decide what the device did.
    for (int i = 0; i < wait.arrivalPolls && ctx_.ok(); ++i) {
        if (directory_.deviceArrivalSeen().load() != 0) {
            ctx_.reporter.ShowStatus(LineClass::Ordinary, "Receive device Arrival after reset");
            return true;
        }
        ctx_.clock.sleepMs(wait.pollMs);
    }
    return false;
}

PortTexts ResetRediscovery::RediscoverPorts(ResetStage stage) {
    std::string modem = directory_.FoundModemPort();
    if (stage == ResetStage::Second && settings_.networkType == 2) {
        modem.clear();
    }
    const bool changed = !directory_.IsSameDiagPort(ctx_.serial.diagPortName) || modem.empty();
    if (!changed) {
        return {directory_.FoundDiagPort(), modem};
    }
    ctx_.reporter.ShowStatus(LineClass::Ordinary, "Port has changed");
    const bool modemIsEnough = settings_.versionMarkedAmssOnly && stage != ResetStage::Second;
    for (int attempt = 0; attempt < kPortSearchAttempts && ctx_.ok(); ++attempt) {
        if (!FindComPort()) {
            continue;  // the scan itself took its settle time
        }
        const std::string diag = directory_.FoundDiagPort();
        const std::string found = directory_.FoundModemPort();
        if (modemIsEnough ? !found.empty() : (!diag.empty() && !found.empty())) {
            break;
        }
        if (stage != ResetStage::AfterDownload) {
            ctx_.clock.sleepMs(kPortSearchPauseMs);
        }
    }
    PortTexts texts{directory_.FoundDiagPort(), directory_.FoundModemPort()};
    const PortLineTexts lines = PortLinesFor(stage);
    ctx_.reporter.ShowStatus(LineClass::Ordinary,
                             texts.diag.empty() ? std::string(lines.diagEmpty)
                                                : texts.diag + std::string(lines.diagReadySuffix));
    ctx_.reporter.ShowStatus(LineClass::Ordinary,
                             texts.modem.empty() ? std::string(lines.modemEmpty)
                                                 : texts.modem + std::string(lines.modemReadySuffix));
    return texts;
}

bool ResetRediscovery::reopen(PortKind port) {
    return port == PortKind::Diag ? ctx_.serial.ReopenDiagPort() : ctx_.serial.ReopenModemPort();
}

bool ResetRediscovery::ReopenAfterReset(ResetStage stage, PortKind port, const std::string& text) {
    const ReopenLoop loop = ReopenLoopFor(stage, port, ctx_.projectType);
    for (int attempt = 0; attempt < loop.attempts; ++attempt) {
        ctx_.clock.sleepMs(loop.waitMs);
        if (reopen(port)) {
            ctx_.reporter.ShowStatus(LineClass::Ordinary, text + std::string(loop.successSuffix));
            return true;
        }
        ctx_.reporter.ShowStatus(LineClass::Progress, text + std::string(loop.waitingSuffix));
        if (ctx_.reporter.stopRequested()) {
            ctx_.reporter.ShowStatus(LineClass::FailureNotice, "COMM Closed");
            return false;
        }
    }
    ctx_.reporter.ShowError(loop.timeoutText);
    return false;
}

void ResetRediscovery::ResetAndClose(const std::function<int32_t()>& reset) {
    if (reset() != 0) {
        ctx_.reporter.ShowError("Fail to reset phone");
        return;
    }
    ctx_.reporter.ShowStatus(LineClass::Ordinary, "Reset command successfully");
    // One close attempt each; the port layer forgets a descriptor it closed.
    ctx_.serial.diag().close();
    ctx_.serial.modem().close();
}

bool ResetRediscovery::ResetAfterDownload() {
    directory_.ClearDeviceFlags();
    ctx_.frames.BeginFrame();
    ctx_.frames.AppendByte(kResetRequest);
    ctx_.frames.FinishFrame();
    ctx_.frames.SendFramed();
    ctx_.reporter.ShowStatus(LineClass::Ordinary, "Reset or power off......");
    ctx_.serial.CloseWithRetry(PortSlot::Diag, close_label::kResetAfterDownloadDiag);
    ctx_.serial.CloseWithRetry(PortSlot::Modem, close_label::kResetAfterDownloadModem);

    WaitForDevice(ResetStage::AfterDownload);
    RediscoverPorts(ResetStage::AfterDownload);

    for (int attempt = 0; attempt < kAfterDownloadReopenAttempts; ++attempt) {
        ctx_.clock.sleepMs(kAfterDownloadReopenWaitMs);
        if (!ctx_.serial.diagOpen()) {
            ctx_.serial.ReopenDiagPort();
        }
        if (!ctx_.serial.modemOpen()) {
            ctx_.serial.ReopenModemPort();
        }
        if (ctx_.serial.diagOpen() && ctx_.serial.modemOpen()) {
            ctx_.reporter.ShowStatus(LineClass::Ordinary, "Reset or poweroff successfully!");
            return true;
        }
        ctx_.reporter.ShowStatus(LineClass::Progress, "Reset or poweroff......wait");
    }
    ctx_.reporter.ShowError("Fail to initial port after rest");
    return false;
}

bool ResetRediscovery::bootloaderAnswers() {
    ctx_.frames.BeginFrame();
    ctx_.frames.AppendBytes(dmss::BuildNop());
    ctx_.frames.FinishFrame();
    ctx_.frames.SendFramed();
    std::array<uint8_t, dmss::kNopReplyBytes> reply{};
    const size_t got = ReadFixedReply(ctx_.serial, ctx_.reporter, reply);
    return got == reply.size() && dmss::IsNopAcknowledged(reply);
}

void ResetRediscovery::sendDownloadSwitch() { SendDiagRequest(ctx_, diag::DownloadSwitchRequest()); }

bool ResetRediscovery::readSwitchReply() { return diag::AcceptsDownloadSwitch(ReadDiagAnswer(ctx_, DiagWait::UntilSilence).payload()); }

bool ResetRediscovery::findAndReopenDiag() {
    for (int attempt = 0; attempt < kPortSearchAttempts && ctx_.ok(); ++attempt) {
        if (!FindComPort()) {
            continue;
        }
        ctx_.serial.CloseWithRetry(PortSlot::Diag, close_label::kPortChangeDiag);
        if (ctx_.serial.ReopenDiagPort()) {
            return true;
        }
    }
    return false;
}

int32_t ResetRediscovery::EnterDownloadMode() {
    directory_.ClearDeviceFlags();
    const uint32_t start = ctx_.clock.tickMs();
    const bool followsPorts = !KeepsPortsInDownloadSwitch(ctx_.projectType);
    bool presenceConfirmed = false;
    bool portFollowed = false;
    bool answered = false;
    do {
        // Once the device came back on a reopened port, it is asked in the bootloader's own
        // protocol first: a device that switched but whose confirmation was lost would refuse
        // the diagnostic switch request, which is no request of that protocol.
        if (presenceConfirmed && bootloaderAnswers()) {
            answered = true;
            break;
        }
        sendDownloadSwitch();
        // A device that re-enumerates answers before it leaves the bus; its
        // reply is read while the port still exists.
        answered = readSwitchReply();

        bool changed = false;
        for (int i = 1; i <= kSwitchChangePolls; ++i) {
            ctx_.clock.sleepMs(kSwitchPollMs);
            if (directory_.deviceChangeSeen().load() != 0) {
                changed = true;
                break;
            }
            if (i == kSwitchChangePolls) {
                ctx_.reporter.ShowStatus(LineClass::Ordinary, "Not receive device change after switch");
            }
        }
        if (changed && followsPorts) {
            for (int i = 0; i < kSwitchArrivalPolls && ctx_.ok(); ++i) {
                if (directory_.deviceArrivalSeen().load() != 0) {
                    ctx_.reporter.ShowStatus(LineClass::Ordinary, "Receive device arrival after switch");
                    break;
                }
                ctx_.clock.sleepMs(kSwitchPollMs);
            }
            if (!presenceConfirmed) {
                if (directory_.IsSameDiagPort(ctx_.serial.diagPortName)) {
                    presenceConfirmed = true;
                    // The port came back under the same name, but as a new
                    // device node: the old descriptor is dead.
                    ctx_.serial.CloseWithRetry(PortSlot::Diag, close_label::kPortChangeDiag);
                    ctx_.serial.ReopenDiagPort();
                } else {
                    ctx_.reporter.ShowStatus(LineClass::Ordinary, "Port has changed");
                    if (findAndReopenDiag()) {
                        portFollowed = true;
                        ctx_.reporter.ShowStatus(LineClass::Ordinary, "switch_1 start");
                        if (!answered && !bootloaderAnswers()) {
                            return shortSwitch();
                        }
                        answered = true;
                        break;
                    }
                }
            }
        }
        if (!answered) {
            answered = readSwitchReply();
        }
    } while (!answered && ctx_.ok() && ctx_.clock.tickMs() - start < kSwitchLimitMs);

    ctx_.clock.sleepMs(settings_.fastSpeed ? 5000 : 7000);
    if (!ctx_.ok()) {
        return -1;
    }
    // A device that re-enumerated without a notification reaching us (a missed or absent
    // device event) is a new device node even under its old name: the old descriptor is dead,
    // so the port is opened again by name before the bootloader is spoken to.
    if (answered && followsPorts && !presenceConfirmed && !portFollowed) {
        ctx_.serial.CloseWithRetry(PortSlot::Diag, close_label::kPortChangeDiag);
        ctx_.serial.ReopenDiagPort();
    }
    return answered ? 0 : 1;
}

int32_t ResetRediscovery::shortSwitch() {
    const uint32_t start = ctx_.clock.tickMs();
    bool answered = false;
    do {
        sendDownloadSwitch();
        ctx_.clock.sleepMs(kShortSwitchPauseMs);
        answered = readSwitchReply();
    } while (!answered && ctx_.ok() && ctx_.clock.tickMs() - start < kShortSwitchLimitMs);
    if (!ctx_.ok()) {
        return -1;
    }
    return answered ? 0 : 1;
}

}  // namespace flintcast::engine
