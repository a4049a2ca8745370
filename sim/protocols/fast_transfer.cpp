// The fast transfer extension of the streaming handler. A part is announced (0x20 with
// offset, length and the image's check value), then sent as raw blocks of the device's
// block size, the last one padded with zeros; each block is acknowledged with 0x23 and
// the bytes received so far. A raw write-flash command (21 00 00 00 00 and its check
// sequence, no flags) ends the part; its 0x22 confirmation comes after the flash is written.
#include <algorithm>

#include "sim/protocols/streaming_handler.h"
#include "sim/protocols/wire.h"

namespace flintcast::sim {
namespace {

constexpr size_t kTransmitFrameBytes = 11;  // 20 or 24, offset (4), length (4), check (2)
constexpr size_t kWriteFlashBytes = 7;      // 21 00 00 00 00 and the check sequence
constexpr uint32_t kResetMarker = 0xFFFFFFFF;

// True when `bytes` ends with a whole transmit-reset frame (it may arrive while the
// device still expects data, after the client gave up on a round).
bool EndsWithTransmitReset(const std::vector<uint8_t>& bytes) {
    if (bytes.empty() || bytes.back() != hdlc::kFlag) return false;
    // The frame is 13 bytes before stuffing; with every byte stuffed at most 26 plus the flag.
    for (size_t length = kTransmitFrameBytes + 3; length <= bytes.size() && length <= 2 * kTransmitFrameBytes + 5; ++length) {
        const std::span<const uint8_t> tail(bytes.data() + bytes.size() - length, length);
        hdlc::FrameDecoder decoder(false, 64);
        size_t used = 0;
        if (decoder.feed(tail, used) == hdlc::FrameDecoder::Status::Frame && used == tail.size() &&
            decoder.payload().size() == kTransmitFrameBytes && decoder.payload()[0] == stream_cmd::kTransmitReset) {
            return true;
        }
    }
    return false;
}

}  // namespace

uint32_t StreamingHandler::WriteFlashDelayMs(uint32_t length) { return 50 + length / 16384; }

void StreamingHandler::EndFastTransfer() {
    phase_ = FastPhase::None;
    writeFlashDue_ = false;
    pending_.clear();
}

void StreamingHandler::TransmitStatus(EngineOutput& out, uint32_t value) {
    std::vector<uint8_t> reply{stream_cmd::kTransmitStatus};
    wire::PutLe32(reply, value);
    Reply(out, reply, true);
}

// Transmit request: 20, part offset (4), part length (4), image check value (2).
void StreamingHandler::TransmitRequest(std::span<const uint8_t> req, EngineOutput& out) {
    if (req.size() != kTransmitFrameBytes) return Error(out, stream_err::kInvalidLength, "bad transmit request length");
    if (!model_.flash.IsOpen()) return Error(out, stream_err::kOutOfSequence, "no image open");
    const uint32_t offset = wire::Le32(req, 1);
    const uint32_t length = wire::Le32(req, 5);
    if (length == 0) return Error(out, stream_err::kInvalidLength, "empty part");
    if (offset > model_.flash.OpenSize()) return Error(out, stream_err::kInvalidAddress, "part not contiguous");
    if (uint64_t{offset} + length > FlashStore::kMaxImageBytes) return Error(out, stream_err::kOutOfSpace, "image too large");
    if (model_.settings.streamBlockSize == 0) return Error(out, stream_err::kOperationFailed, "no block size");
    imageCheck_ = wire::Le16(req, 9);
    partOffset_ = offset;
    partLength_ = length;
    partReceived_ = 0;
    pending_.clear();
    phase_ = FastPhase::Data;
    TransmitStatus(out, 0);
}

void StreamingHandler::TransmitReset(EngineOutput& out) {
    EndFastTransfer();
    TransmitStatus(out, kResetMarker);
}

size_t StreamingHandler::ConsumeRaw(std::span<const uint8_t> bytes, EngineOutput& out) {
    if (phase_ == FastPhase::AwaitWriteFlash) {
        // Anything but the raw write-flash command is a framed request again (a framed
        // write flash still counts).
        if (pending_.empty() && bytes[0] != stream_cmd::kWriteFlash) {
            phase_ = FastPhase::None;
            return 0;
        }
        const size_t take = std::min(bytes.size(), kWriteFlashBytes - pending_.size());
        pending_.insert(pending_.end(), bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(take));
        if (pending_.size() == kWriteFlashBytes) {
            const std::vector<uint8_t> command = std::move(pending_);
            pending_.clear();
            const std::span<const uint8_t> body(command.data(), kWriteFlashBytes - 2);
            if (hdlc::CheckSequence(body) != wire::Le16(command, kWriteFlashBytes - 2)) {
                EndFastTransfer();
                model_.Count("stream.bad_frame");
                Error(out, stream_err::kOperationFailed, "bad write flash check sequence");
            } else {
                WriteFlash(body, out);
            }
        }
        return take;
    }
    const size_t blockSize = model_.settings.streamBlockSize;
    const size_t take = std::min(bytes.size(), blockSize - pending_.size());
    pending_.insert(pending_.end(), bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(take));
    if (pending_.size() == blockSize) CompleteBlock(out);
    return take;
}

bool StreamingHandler::WantsIdle() const {
    return InRawMode() && !pending_.empty();
}

void StreamingHandler::OnIdle(EngineOutput& out) {
    if (!WantsIdle()) return;
    if (phase_ == FastPhase::AwaitWriteFlash) {
        EndFastTransfer();
        model_.Count("stream.bad_frame");
        return Error(out, stream_err::kUnexpectedEnd, "write flash command cut short");
    }
    if (EndsWithTransmitReset(pending_)) {
        model_.Count("stream.transmit_reset");
        return TransmitReset(out);
    }
    // A pause ends a block shorter than the device's block size.
    CompleteBlock(out);
}

void StreamingHandler::CompleteBlock(EngineOutput& out) {
    std::vector<uint8_t> block = std::move(pending_);
    pending_.clear();
    switch (Admit("stream.fast_block")) {
    case RequestFault::Ignore: return;
    case RequestFault::Refuse: return Error(out, stream_err::kOperationFailed, "operation failed");
    case RequestFault::None: break;
    }
    if (!model_.flash.IsOpen()) {
        EndFastTransfer();
        return Error(out, stream_err::kOutOfSequence, "no image open");
    }
    if (UnplugNow(out)) return;
    // Bytes beyond the announced length are the padding of the last block.
    const uint32_t useful = static_cast<uint32_t>(std::min<uint64_t>(block.size(), partLength_ - partReceived_));
    if (model_.flash.Write(partOffset_ + partReceived_, block.data(), useful) != FlashStore::WriteResult::Ok) {
        EndFastTransfer();
        return Error(out, stream_err::kInvalidAddress, "part not contiguous");
    }
    partReceived_ += useful;
    TransmitStatus(out, partReceived_);
    if (partReceived_ >= partLength_) {
        phase_ = FastPhase::AwaitWriteFlash;
        writeFlashDue_ = true;
    }
}

// Write flash: 21 00 00 00 00. The confirmation 22 00 follows once the part is in flash.
void StreamingHandler::WriteFlash(std::span<const uint8_t> command, EngineOutput& out) {
    if (command.size() != kWriteFlashBytes - 2) {
        EndFastTransfer();
        return Error(out, stream_err::kInvalidLength, "bad write flash length");
    }
    if (!writeFlashDue_) {
        EndFastTransfer();
        return Error(out, stream_err::kOutOfSequence, "no part received");
    }
    model_.Count("stream.write_flash");
    const uint32_t length = partLength_;
    EndFastTransfer();
    const uint8_t reply[] = {stream_cmd::kWriteFlashDone, 0x00};
    Reply(out, reply, true, WriteFlashDelayMs(length));
}

}  // namespace flintcast::sim
