#include "engine/dmss_bootloader.h"

#include <algorithm>
#include <array>
#include <fmt/format.h>

#include "config/project_traits.h"
#include "engine/device_directory.h"
#include "engine/diag_exchange.h"
#include "engine/diag_requests.h"
#include "engine/dmss_messages.h"
#include "engine/fixed_reply.h"
#include "engine/frame_layer.h"
#include "engine/image_file_reader.h"

namespace flintcast::engine {

DmssBootloader::DmssBootloader(WorkerContext& ctx, DeviceDirectory& directory, DownloadProgress& progress)
    : ctx_(ctx), directory_(directory), progress_(progress) {}

void DmssBootloader::sendPayload(std::span<const uint8_t> payload, bool leadingFlag) {
    ctx_.frames.BeginFrame();
    ctx_.frames.AppendBytes(payload);
    ctx_.frames.FinishFrame();
    if (leadingFlag) {
        ctx_.frames.SendFramed();
    } else {
        ctx_.frames.SendTerminated();
    }
}

int32_t DmssBootloader::SendNop() {
    const auto nop = dmss::BuildNop();
    for (int attempt = 0; attempt < kNopAttempts; ++attempt) {
        if (attempt > 0) ctx_.clock.sleepMs(kNopRetryMs);
        if (!ctx_.ok()) return -1;
        sendPayload(nop, true);
        ctx_.reporter.ShowStatus(LineClass::Progress, fmt::format("Sending nop_cmd...{}", attempt));
        std::array<uint8_t, dmss::kNopReplyBytes> reply{};
        const size_t got = ReadFixedReply(ctx_.serial, ctx_.reporter, reply);
        if (!ctx_.ok()) return -1;
        if (got == reply.size() && dmss::IsNopAcknowledged(reply)) return 0;
    }
    return 1;
}

int32_t DmssBootloader::RequestParameters(uint16_t expectedWriteSize) {
    const bool largeForm = expectedWriteSize == dmss::kLargeWriteSize;
    if (largeForm) ctx_.reporter.ShowStatus(LineClass::Progress, "Sending preq_cmd...");
    if (!ctx_.ok()) return -1;
    sendPayload(dmss::BuildParameterRequest(), true);

    // The reply is collected across reads: the standard form waits for it up to the silent-reply
    // limit, the large form gives it five reads. Some bootloaders put a flag before the reply;
    // it is dropped and the read goes on for the reply's own bytes.
    std::array<uint8_t, dmss::kParameterReplyBytes> reply{};
    size_t got = 0;
    const uint32_t start = ctx_.clock.tickMs();
    for (int read = 0; got < reply.size() && ctx_.ok(); ++read) {
        if (largeForm && read >= kLargeFormReads) break;
        if (!largeForm && ctx_.clock.tickMs() - start >= kSilentReplyLimitMs) break;
        got += ctx_.serial.ReadDiag(reply.data() + got, static_cast<uint32_t>(reply.size() - got));
        if (got > 0 && reply[0] == dmss::kFlag) {
            std::copy(reply.begin() + 1, reply.begin() + static_cast<std::ptrdiff_t>(got), reply.begin());
            --got;
        }
    }
    if (!ctx_.ok()) return -1;
    if (got < reply.size()) return 1;
    return static_cast<int32_t>(dmss::CheckParameterReply(reply, expectedWriteSize));
}

int32_t DmssBootloader::WriteBlock(uint32_t address, std::span<const uint8_t> data) {
    ctx_.frames.BeginFrame();
    ctx_.frames.AppendBytes(dmss::BuildWrite(address, data));
    ctx_.frames.FinishFrame();
    for (int attempt = 0; attempt < kWriteAttempts; ++attempt) {
        ctx_.frames.SendFramed();
        if (!ctx_.ok()) return -1;
        // A negative acknowledgement with reason 0 shares the reader's result 0,
        // so the reply code is checked as well.
        if (ctx_.frames.ReadReplyTimed() == kReplyAck && ctx_.frames.replyBuffer()[0] == dmss::kAck) return 0;
        ctx_.clock.sleepMs(kWriteRetryMs);
    }
    return ctx_.ok() ? 1 : -1;
}

int32_t DmssBootloader::Go(uint32_t address) {
    if (!ctx_.ok()) return -1;
    sendPayload(dmss::BuildGo(address), true);
    const uint16_t result = ctx_.frames.ReadReply();
    if (!ctx_.ok()) return -1;
    return result == kReplyAck && ctx_.frames.replyBuffer()[0] == dmss::kAck ? 0 : 1;
}

void DmssBootloader::LoadProgrammer(const ProgrammerImage& programmer) {
    auto& reporter = ctx_.reporter;
    reporter.ShowStatus(LineClass::Progress, "Sending 001......");
    ImageFileReader file;
    if (!file.open(programmer.path)) {
        reporter.ShowError("Could not open BIN file: " + programmer.path);
        return;
    }
    const uint64_t size = file.size();
    const uint64_t blockCount = size / dmss::kProgrammerBlockBytes + (size % dmss::kProgrammerBlockBytes ? 1 : 0);
    ctx_.clock.sleepMs(2);
    reporter.ShowStatus(LineClass::Progress, "downloading D001......");

    std::array<uint8_t, dmss::kProgrammerBlockBytes> block{};
    uint64_t offset = 0;
    for (uint64_t index = 0; index < blockCount && ctx_.ok(); ++index) {
        const size_t want = static_cast<size_t>(std::min<uint64_t>(block.size(), size - offset));
        if (!file.readFull(block.data(), want)) {
            reporter.ShowError("Could not read from BIN file: " + programmer.path);
            break;
        }
        const auto address = static_cast<uint32_t>(programmer.loadAddress + offset);
        bool written = false;
        for (int attempt = 0; attempt < kBlockAttempts && ctx_.ok(); ++attempt) {
            if (WriteBlock(address, std::span(block.data(), want)) == 0) {
                written = true;
                break;
            }
            if (ctx_.ok()) reporter.ShowStatus(LineClass::Progress, "re-downloading D002......");
        }
        if (!written) {
            reporter.ShowError(fmt::format("{}, fail to write block {} of {}", FileNameOf(programmer.path),
                                           (index + 1 + 63) / 64, (blockCount + 63) / 64));
            break;
        }
        offset += want;
        progress_.add(static_cast<uint32_t>(want));
        progress_.show(reporter);
        if (want < block.size()) break;
    }
    if (!file.close()) reporter.ShowError("Could not close BIN file: " + programmer.path);
}

void DmssBootloader::runPreCommands(const std::string& serviceCode) {
    SendDiagRequest(ctx_, diag::VersionRequest());
    ctx_.reporter.ShowStatus(LineClass::Ordinary, "nop_cmd_6200_pre1 successfully");
    ctx_.clock.sleepMs(kPreCommandPauseMs);
    SendDiagRequest(ctx_, dmss::BuildServiceProgrammingCode(serviceCode));
    ctx_.reporter.ShowStatus(LineClass::Ordinary, "nop_cmd_6200_pre2 successfully");
    reportServiceCodeAnswer();
    ctx_.clock.sleepMs(kPreCommandPauseMs);
}

// The unit answers the code with 41 01 (accepted: its security lock opens) or 41 00. A refusal
// is said plainly, as the lock stays on; the version answer before it is passed over.
void DmssBootloader::reportServiceCodeAnswer() {
    for (int reply = 0; reply < kPreCommandReplies && ctx_.ok(); ++reply) {
        const auto answer = ReadDiagAnswer(ctx_).frame;
        if (answer.size() < 2 + 2) continue;
        if (answer[0] != dmss::kServiceProgrammingCode) continue;
        if (answer[1] == 0) {
            ctx_.reporter.ShowStatus(LineClass::FailureNotice, "The unit refused the service programming code");
        }
        return;
    }
}

void DmssBootloader::runStandardSequence(const ProgrammerImage& programmer) {
    auto& reporter = ctx_.reporter;
    if (SendNop() != 0) return reporter.ShowError("[Bootloader] Nop command failed");
    const uint16_t writeSize = config::UsesLargeWriteSize(ctx_.projectType) ? dmss::kLargeWriteSize : dmss::kStandardWriteSize;
    if (RequestParameters(writeSize) != 0) return reporter.ShowError("[Bootloader] Request Parameter failed");
    if (SendNop() != 0) return reporter.ShowError("[Bootloader] Nop command failed");
    LoadProgrammer(programmer);
}

void DmssBootloader::runServiceCodeSequence(const ProgrammerImage& programmer) {
    auto& reporter = ctx_.reporter;
    if (SendNop() != 0) return reporter.ShowError("Nop command failed");
    const auto version = dmss::BuildVersionRequest();
    sendPayload(version, false);
    sendPayload(version, false);
    for (int i = 0; i < 3; ++i) {
        if (SendNop() != 0) return reporter.ShowError("Nop command failed");
    }
    if (RequestParameters(dmss::kStandardWriteSize) != 0) return reporter.ShowError("Request Parameter failed");
    LoadProgrammer(programmer);
}

bool DmssBootloader::waitForFlag(const std::atomic<int32_t>& flag, int steps, bool sleepFirst) {
    for (int step = 0; step < steps && ctx_.ok(); ++step) {
        if (sleepFirst) ctx_.clock.sleepMs(kWaitStepMs);
        if (flag.load() != 0) return true;
        if (!sleepFirst) ctx_.clock.sleepMs(kWaitStepMs);
    }
    return false;
}

bool DmssBootloader::followReEnumeration() {
    if (!waitForFlag(directory_.deviceChangeSeen(), kChangeWaitSteps, true)) {
        if (ctx_.ok()) ctx_.reporter.ShowStatus(LineClass::Ordinary, "Not receive device change after running");
        return false;
    }
    if (waitForFlag(directory_.deviceArrivalSeen(), kArrivalWaitSteps, false)) {
        ctx_.reporter.ShowStatus(LineClass::Ordinary, "Receive device Arrival after running");
    }
    return ctx_.ok();
}

void DmssBootloader::findChangedPort(const BootloaderSeams& seams) {
    if (directory_.IsSameDiagPort(ctx_.serial.diagPortName)) {
        // Back under the same name, but as a new device node: the old descriptor is dead.
        ctx_.serial.CloseWithRetry(PortSlot::Diag, "Warning-10");
        for (int round = 0; round < kPortSearchRounds && ctx_.ok(); ++round) {
            if (ctx_.serial.ReopenDiagPort()) return;
            ctx_.clock.sleepMs(kWaitStepMs);
        }
        return;
    }
    ctx_.reporter.ShowStatus(LineClass::Ordinary, "Port has changed");
    for (int round = 0; round < kPortSearchRounds && ctx_.ok(); ++round) {
        if (!seams.FindComPort || !seams.FindComPort()) continue;
        ctx_.serial.CloseWithRetry(PortSlot::Diag, "Warning-10");
        if (ctx_.serial.ReopenDiagPort()) return;
    }
}

void DmssBootloader::RunBootloaderStage(const ProgrammerImage& programmer, const BootloaderSeams& seams,
                                        const std::string& serviceCode) {
    auto& reporter = ctx_.reporter;
    const bool serviceCodeProject = config::UsesServiceCodePreCommands(ctx_.projectType);
    if (serviceCodeProject && ctx_.ok()) runPreCommands(serviceCode);

    if (!ctx_.ok()) return;
    if (!seams.EnterDownloadMode || seams.EnterDownloadMode() != 0) {
        return reporter.ShowError("[Bootloader] Switch to Download Mode failed");
    }

    if (!ctx_.ok()) return;
    if (serviceCodeProject) {
        runServiceCodeSequence(programmer);
    } else {
        runStandardSequence(programmer);
    }

    directory_.ClearDeviceFlags();
    if (!ctx_.ok()) return;
    if (Go(programmer.loadAddress) != 0) return reporter.ShowError("[Bootloader] Run DLOAD program failed");
    reporter.ShowStatus(LineClass::Ordinary, "Run DLOAD program successfully");

    followReEnumeration();
    if (!ctx_.ok()) return;
    // The programmer's port is looked up and opened again even when no device change was
    // reported: a re-enumerated device is a new device node, and a missed notification must
    // not leave the worker writing into the dead descriptor of the bootloader's port.
    findChangedPort(seams);
}

}  // namespace flintcast::engine
