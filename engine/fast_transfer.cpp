// The fast transfer: an image is sent in parts of 20 MiB, each announced with a
// transmit request, streamed as raw blocks and committed with a write-flash
// request whose confirmation is polled. A failed round is repeated after a
// transmit reset that brings programmer and tool back in step.
#include <algorithm>
#include <cstring>
#include <fmt/format.h>

#include "engine/fixed_reply.h"
#include "engine/image_file_reader.h"
#include "engine/streaming_download.h"
#include "engine/streaming_messages.h"

namespace flintcast::engine {

bool StreamingDownload::FastTransfer(const std::string& path, uint32_t size, uint16_t checkValue) {
    for (uint32_t offset = 0; offset < size && ctx_.ok(); offset += std::min(kFastPartBytes, size - offset)) {
        const uint32_t length = std::min(kFastPartBytes, size - offset);
        if (length == kFastPartBytes) ctx_.reporter.ShowStatus(LineClass::Ordinary, "Transmit data reset----");
        transferPart(path, offset, length, checkValue);
    }
    return ctx_.ok();
}

size_t StreamingDownload::readFastReply(size_t minimum) {
    fastReply_.assign(kFastReplyBytes, 0);
    size_t got = ctx_.serial.ReadDiag(fastReply_.data(), static_cast<uint32_t>(fastReply_.size()));
    if (got > 0 && got < minimum) {
        got += ReadFixedReply(ctx_.serial, ctx_.reporter, std::span(fastReply_).subspan(got, minimum - got));
    }
    return got;
}

void StreamingDownload::transferPart(const std::string& path, uint32_t offset, uint32_t length,
                                     uint16_t checkValue) {
    auto& reporter = ctx_.reporter;
    const std::string name = FileNameOf(path);
    const uint32_t countAtStart = progress_.bytesSent();
    for (int round = 0; round < kFastRounds && ctx_.ok(); ++round) {
        if (round > 0) {
            reporter.ShowStatus(LineClass::Ordinary, "===Try transmit data again===");
            ctx_.clock.sleepMs(kFastRoundPauseMs);
            // A repeated round counts its bytes again from the part's start.
            progress_.setBytesSent(countAtStart);
        }
        {
            ImageFileReader probe;
            if (!probe.open(path) || !probe.seek(offset)) {
                // The part cannot be sent at all: the image is not written, so
                // this must not end as a successful transfer.
                reporter.ShowError("Could not open BIN file: " + path);
                return;
            }
        }
        if (round > 0 && !resynchronise(offset, length, checkValue, name)) return;
        if (!announcePart(offset, length, checkValue, name)) return;
        reporter.ShowStatus(LineClass::Ordinary, "Transmit data start.");
        if (sendPartBlocks(path, offset, length)) {
            writeFlash(length, name);
            return;
        }
    }
    if (ctx_.ok()) reporter.ShowError(name + " Transmit data failure.");
}

bool StreamingDownload::resynchronise(uint32_t offset, uint32_t length, uint16_t checkValue,
                                      const std::string& name) {
    auto& reporter = ctx_.reporter;
    const auto request = streaming::BuildTransmit(streaming::kTransmitReset, offset, length, checkValue);
    for (int attempt = 0; attempt < kFastHandshakeAttempts && ctx_.ok(); ++attempt) {
        reporter.ShowStatus(LineClass::Ordinary, "Transmit data reset.");
        buildFrame(request);
        ctx_.frames.SendTerminated();
        fastReply_.assign(kFastReplyBytes, 0);
        size_t got = 0;
        for (int read = 0; read < kTransmitResetReads && got < fastReply_.size(); ++read) {
            got += ctx_.serial.ReadDiag(fastReply_.data() + got, static_cast<uint32_t>(fastReply_.size() - got));
            if (streaming::IsTransmitResetAccepted(std::span(fastReply_).first(got))) {
                reporter.ShowStatus(LineClass::Ordinary, "Transmit data reset OK");
                return true;
            }
        }
        ctx_.clock.sleepMs(kFastHandshakePauseMs);
    }
    if (ctx_.ok()) reporter.ShowError(name + " Rec request value error.");
    return false;
}

bool StreamingDownload::announcePart(uint32_t offset, uint32_t length, uint16_t checkValue,
                                     const std::string& name) {
    auto& reporter = ctx_.reporter;
    const auto request = streaming::BuildTransmit(streaming::kTransmitRequest, offset, length, checkValue);
    for (int attempt = 0; attempt < kFastHandshakeAttempts && ctx_.ok(); ++attempt) {
        reporter.ShowStatus(LineClass::Ordinary, "Transmit data request.");
        buildFrame(request);
        ctx_.frames.SendFramed();
        const size_t got = readFastReply(2);
        if (streaming::IsTransmitAccepted(std::span(fastReply_).first(got))) {
            reporter.ShowStatus(LineClass::Ordinary, "Transmit data request OK");
            return true;
        }
        ctx_.clock.sleepMs(kFastHandshakePauseMs);
    }
    if (ctx_.ok()) reporter.ShowError(name + " Rec request value error.");
    return false;
}

bool StreamingDownload::sendPartBlocks(const std::string& path, uint32_t offset, uint32_t length) {
    ImageFileReader file;
    if (!file.open(path) || !file.seek(offset)) return false;
    const uint32_t block = blockSize;
    const uint32_t blocks = length / block + (length % block ? 1 : 0);
    blockBuffer_.resize(block);
    uint32_t sent = 0;
    for (uint32_t index = 0; index < blocks && ctx_.ok(); ++index) {
        const uint32_t want = std::min(block, length - sent);
        if (!file.readFull(blockBuffer_.data(), want)) return false;
        // The last block goes out padded to a full block.
        std::fill(blockBuffer_.begin() + want, blockBuffer_.end(), 0);
        ctx_.frames.BeginFrame();
        ctx_.frames.AppendRawBytes(blockBuffer_);
        if (!ctx_.frames.SendRaw()) return false;
        const size_t got = readFastReply(2);
        if (!streaming::IsTransmitAccepted(std::span(fastReply_).first(got))) return false;
        sent += want;
        progress_.add(want);
        progress_.show(ctx_.reporter);
    }
    return ctx_.ok();
}

void StreamingDownload::writeFlash(uint32_t length, const std::string& name) {
    auto& reporter = ctx_.reporter;
    reporter.ShowStatus(LineClass::Ordinary, "Transmit data OK");
    ctx_.frames.BeginFrame();
    for (uint8_t b : streaming::BuildWriteFlash()) ctx_.frames.AppendRawByte(b);
    ctx_.frames.FinishFrameRaw();
    ctx_.frames.SendRaw();
    reporter.ShowStatus(LineClass::Ordinary, "Write flash now ...");
    const WriteFlashPoll poll = WriteFlashPollFor(length);
    if (poll.initialPauseMs > 0) ctx_.clock.sleepMs(poll.initialPauseMs);
    bool confirmed = false;
    for (int i = 0; i < poll.polls && ctx_.ok(); ++i) {
        if (i > 0) ctx_.clock.sleepMs(poll.intervalMs);
        const size_t got = readFastReply(2);
        if (streaming::IsWriteFlashDone(std::span(fastReply_).first(got))) {
            confirmed = true;
            break;
        }
    }
    if (!ctx_.ok()) return;
    if (!confirmed) return reporter.ShowError(name + " Write flash timeout.");
    reporter.ShowStatus(LineClass::Ordinary, "Write Flash OK.");
}

}  // namespace flintcast::engine
