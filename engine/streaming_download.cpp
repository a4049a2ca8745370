#include "engine/streaming_download.h"

#include <algorithm>
#include <array>
#include <fmt/format.h>

#include "codec/byte_order.h"
#include "codec/hdlc.h"
#include "config/project_traits.h"
#include "engine/device_directory.h"
#include "engine/fixed_reply.h"
#include "engine/image_file_reader.h"
#include "engine/streaming_messages.h"

namespace flintcast::engine {

WriteFlashPoll WriteFlashPollFor(uint32_t partLength) {
    if (partLength <= 0xFFFFF) return {0, 50, 200};
    if (partLength <= 0x4FFFFF) return {0, 300, 50};
    if (partLength <= 0x9FFFFF) return {5000, 300, 50};
    if (partLength <= 0x13FFFFF) return {8000, 300, 80};
    if (partLength <= 0x1DFFFFF) return {10000, 500, 80};
    return {10000, 1000, 60};
}

StreamingDownload::StreamingDownload(WorkerContext& ctx, DownloadProgress& progress, DeviceDirectory* directory)
    : ctx_(ctx), progress_(progress), directory_(directory) {}

void StreamingDownload::buildFrame(std::span<const uint8_t> payload) {
    ctx_.frames.BeginFrame();
    ctx_.frames.AppendBytes(payload);
    ctx_.frames.FinishFrame();
}

bool StreamingDownload::wellFormed(uint16_t readerResult) const {
    // The reply codes of failed reads (bad check sequence, too short, too long,
    // time-out, latched) also name reasons of a negative acknowledgement; none
    // of the expected codes is a negative acknowledgement, so a failed read
    // never counts, and a stale reply buffer is never taken for a new reply.
    switch (readerResult) {
        case kReplyBadCrc: case kReplyTooShort: case kReplyTooLong: case kReplyTimedOut: case kReplyLatched:
            return false;
        default:
            break;
    }
    return ctx_.frames.replyLength() >= 3;
}

bool StreamingDownload::replyStartsWith(uint16_t readerResult, uint8_t code) const {
    return wellFormed(readerResult) && ctx_.frames.replyBuffer()[0] == code;
}

int32_t StreamingDownload::SendHello() {
    buildFrame(streaming::BuildHello());
    for (int attempt = 0; attempt < kHelloAttempts; ++attempt) {
        if (config::NeedsPauseBeforeHello(ctx_.projectType)) ctx_.clock.sleepMs(kHelloPauseMs);
        ctx_.frames.SendFramed();
        if (!ctx_.ok()) return -1;
        if (replyStartsWith(ctx_.frames.ReadReplyTimed(), streaming::kHelloReply)) return 0;
        ctx_.clock.sleepMs(kRetryMs);
    }
    return ctx_.ok() ? 1 : -1;
}

bool StreamingDownload::ProgrammerAnswers() {
    buildFrame(streaming::BuildHello());
    ctx_.frames.SendFramed();
    return ctx_.ok() && replyStartsWith(ctx_.frames.ReadReplyTimed(), streaming::kHelloReply);
}

int32_t StreamingDownload::SendSecurityMode() {
    ctx_.reporter.ShowStatus(LineClass::Progress, "Security cmd");
    buildFrame(streaming::BuildSecurityMode());
    for (int attempt = 0; attempt < kSecurityAttempts; ++attempt) {
        ctx_.frames.SendFramed();
        if (!ctx_.ok()) return -1;
        if (replyStartsWith(ctx_.frames.ReadReplyTimed(), streaming::kSecurityModeReply)) return 0;
        ctx_.clock.sleepMs(kRetryMs);
    }
    return ctx_.ok() ? 1 : -1;
}

int32_t StreamingDownload::SendPartitionTable() { return sendPartitionTable(false); }
int32_t StreamingDownload::SendPartitionTableOverride() { return sendPartitionTable(true); }

int32_t StreamingDownload::sendPartitionTable(bool override) {
    auto& reporter = ctx_.reporter;
    reporter.ShowStatus(LineClass::Progress,
                        override ? "Sending override existing table command..." : "Sending 009......");
    const std::string& path = partitionTablePath;
    ImageFileReader file;
    if (!file.open(path)) {
        reporter.ShowError("Could not open BIN file: " + path);
        return -1;
    }
    if (file.size() == 0 || file.size() > streaming::kMaxTableFileBytes) {
        reporter.ShowError("BIN file length error: " + path);
        return -1;
    }
    std::vector<uint8_t> table(static_cast<size_t>(file.size()));
    if (!file.readFull(table.data(), table.size())) {
        reporter.ShowError("Could not read from BIN file: " + path);
        return -1;
    }
    if (!file.close()) {
        reporter.ShowError("Could not close BIN file: " + path);
        return -1;
    }
    if (!ctx_.ok()) return -1;
    buildFrame(streaming::BuildPartitionTable(override, table));
    ctx_.frames.SendFramed();
    const uint16_t result = ctx_.frames.ReadReply();
    if (!ctx_.ok()) return -1;
    if (!replyStartsWith(result, streaming::kPartitionTableReply) || ctx_.frames.replyLength() < 4) return 1;
    const uint8_t status = ctx_.frames.replyBuffer()[1];
    if (override) return status == 0 ? 0 : 2;
    if (status == streaming::kPartitionTableDiffers) return SendPartitionTableOverride();
    return 0;
}

void StreamingDownload::OpenSession() {
    auto& reporter = ctx_.reporter;
    if (!ctx_.ok()) return;
    if (SendHello() != 0) return reporter.ShowError("[Dload] Fail to send hello command");
    if (config::HasNoPartitionTable(ctx_.projectType) || !ctx_.ok()) return;
    if (SendSecurityMode() != 0) return reporter.ShowError("[Dload] Fail to send security command");
    if (!ctx_.ok()) return;
    if (fastbootImagesSelected) {
        if (SendPartitionTableOverride() != 0) return reporter.ShowError("[Dload] Fail to download partition table");
        reporter.ShowStatus(LineClass::Progress, "Partition table ok");
    } else if (SendPartitionTable() != 0) {
        reporter.ShowError("[Dload] Fail to download partition table");
    }
}

int32_t StreamingDownload::OpenImage(uint8_t type, std::span<const uint8_t> extra) {
    buildFrame(streaming::BuildOpenImage(type, extra));
    for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
        ctx_.frames.SendFramed();
        if (!ctx_.ok()) return -1;
        const uint16_t result = ctx_.frames.ReadReplyTimed();
        if (wellFormed(result) &&
            streaming::IsOpenAccepted(ctx_.frames.replyBuffer().first(ctx_.frames.replyLength() - 2))) {
            return 0;
        }
        ctx_.clock.sleepMs(kRetryMs);
    }
    return ctx_.ok() ? 1 : -1;
}

bool StreamingDownload::readStreamWriteAck(uint32_t address) {
    auto& reporter = ctx_.reporter;
    if (const uint32_t lineErrors = ctx_.serial.diag().takeLineErrors(); lineErrors != 0) {
        reporter.ShowStatus(LineClass::Ordinary, fmt::format("There is a warning in InQue: {}", lineErrors));
    }
    // The acknowledgement is 7E 08, the echoed address, the check sequence and
    // 7E: 9 bytes, more when a byte of the address or check sequence is stuffed.
    std::array<uint8_t, kMaxAckBytes> raw{};
    size_t got = ReadFixedReply(ctx_.serial, reporter, std::span(raw).first(9));
    hdlc::FrameDecoder decoder(true, kMaxAckBytes);
    auto status = hdlc::FrameDecoder::Status::NeedMore;
    size_t fed = 0;
    while (true) {
        for (; fed < got && status == hdlc::FrameDecoder::Status::NeedMore; ++fed) status = decoder.feed(raw[fed]);
        if (status != hdlc::FrameDecoder::Status::NeedMore || got == raw.size() || !ctx_.ok()) break;
        const uint32_t n = ctx_.serial.ReadDiag(raw.data() + got, 1);
        if (n == 0) break;
        got += n;
    }
    if (status == hdlc::FrameDecoder::Status::Frame && streaming::IsStreamWriteAck(decoder.payload(), address)) {
        return true;
    }
    reporter.ShowStatus(LineClass::Ordinary,
                        "Return value has a mistake:" + streaming::HexBytes(std::span(raw).first(std::max<size_t>(got, 9))));
    return false;
}

int32_t StreamingDownload::StreamWrite(uint32_t address, std::span<const uint8_t> data) {
    // The block goes straight into the frame: no copy of it per request.
    std::array<uint8_t, 5> head{streaming::kStreamWrite};
    byte_order::StoreLe32(head, 1, address);
    ctx_.frames.BeginFrame();
    ctx_.frames.AppendBytes(head);
    ctx_.frames.AppendBytes(data);
    ctx_.frames.FinishFrame();
    for (int attempt = 0; attempt < kStreamWriteAttempts; ++attempt) {
        ctx_.frames.SendFramed();
        if (attempt > 0) ctx_.reporter.ShowStatus(LineClass::Ordinary, "Re_transmit data");
        if (!ctx_.ok()) return -1;
        if (readStreamWriteAck(address)) return 0;
        ctx_.clock.sleepMs(kStreamWriteRetryMs);
    }
    return ctx_.ok() ? 1 : -1;
}

int32_t StreamingDownload::CloseImage() {
    buildFrame(streaming::BuildClose());
    for (int attempt = 0; attempt < kCloseAttempts; ++attempt) {
        if (attempt > 0) ctx_.clock.sleepMs(kRetryMs);
        ctx_.frames.SendFramed();
        const uint16_t result = ctx_.frames.ReadReply();
        if (!ctx_.ok()) return -1;
        if (replyStartsWith(result, streaming::kCloseReply)) return 0;
    }
    return 1;
}

int32_t StreamingDownload::Reset() {
    if (directory_ != nullptr) directory_->ClearDeviceFlags();
    if (!ctx_.ok()) return -1;
    buildFrame(streaming::BuildReset());
    ctx_.frames.SendFramed();
    ctx_.reporter.ShowStatus(LineClass::Ordinary, "Reset");
    const uint16_t result = ctx_.frames.ReadReply();
    if (!ctx_.ok()) return -1;
    return replyStartsWith(result, streaming::kResetReply) ? 0 : 1;
}

int32_t StreamingDownload::PowerOff() {
    if (!ctx_.ok()) return -1;
    buildFrame(streaming::BuildPowerOff());
    ctx_.frames.SendFramed();
    ctx_.reporter.ShowStatus(LineClass::Ordinary, "Send poweroff command");
    for (int read = 0; read < kPowerOffReads; ++read) {
        if (read > 0) ctx_.clock.sleepMs(kPowerOffReadGapMs);
        const uint16_t result = ctx_.frames.ReadReplyTimed();
        if (!ctx_.ok()) return -1;
        if (replyStartsWith(result, streaming::kPowerOffReply)) return 0;
    }
    return 1;
}

}  // namespace flintcast::engine
