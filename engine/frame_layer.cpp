#include "engine/frame_layer.h"

#include <algorithm>
#include <cstring>

#include <fmt/format.h>

#include "codec/byte_order.h"
#include "codec/hdlc.h"

namespace flintcast::engine {
namespace {

// Placed in the read slot before each one-byte read; a read that returns
// nothing leaves it there and the reader treats that as "no byte".
constexpr uint8_t kReadFiller = 0xFD;

}  // namespace

FrameLayer::FrameLayer(const platform::Clock& clock, Reporter& reporter, SerialChannel& serial)
    : clock_(clock), reporter_(reporter), serial_(serial) {}

void FrameLayer::BeginFrame() {
    length_ = 0;
    overflowed_ = false;
    crc_ = hdlc::kCrcInit;
}

bool FrameLayer::store(uint8_t b) {
    if (overflowed_ || length_ + 6u >= kFrameArea) {
        overflowed_ = true;
        return false;
    }
    frame_[length_++] = b;
    return true;
}

bool FrameLayer::storePair(uint8_t a, uint8_t b) {
    if (overflowed_ || length_ + 7u >= kFrameArea) {
        overflowed_ = true;
        return false;
    }
    frame_[length_++] = a;
    frame_[length_++] = b;
    return true;
}

void FrameLayer::AppendByte(uint8_t b) {
    const bool stored = hdlc::NeedsEscape(b) ? storePair(hdlc::kEscape, static_cast<uint8_t>(b ^ hdlc::kEscapeMask))
                                             : store(b);
    if (stored) crc_ = hdlc::CrcUpdateByte(crc_, b);
}

void FrameLayer::AppendBytes(std::span<const uint8_t> bytes) {
    // A data block is appended in one pass when it fits even with every byte stuffed: no
    // per-byte bounds check, and the check sequence runs over the block at once.
    if (!overflowed_ && length_ + 2 * bytes.size() + 6 < kFrameArea) {
        uint8_t* out = frame_.data() + length_;
        for (const uint8_t b : bytes) {
            if (hdlc::NeedsEscape(b)) {
                *out++ = hdlc::kEscape;
                *out++ = static_cast<uint8_t>(b ^ hdlc::kEscapeMask);
            } else {
                *out++ = b;
            }
        }
        length_ = static_cast<uint16_t>(out - frame_.data());
        crc_ = hdlc::CrcUpdate(crc_, bytes);
        return;
    }
    for (const uint8_t b : bytes) AppendByte(b);
}

void FrameLayer::AppendRawByte(uint8_t b) {
    // The check sequence follows the bytes as appended, so a raw 0x7D in a
    // fast-stream command is counted as itself, not as an escape.
    if (store(b)) crc_ = hdlc::CrcUpdateByte(crc_, b);
}

void FrameLayer::AppendRawBytes(std::span<const uint8_t> bytes) {
    if (!overflowed_ && length_ + bytes.size() + 6 < kFrameArea) {
        std::memcpy(frame_.data() + length_, bytes.data(), bytes.size());
        length_ = static_cast<uint16_t>(length_ + bytes.size());
        crc_ = hdlc::CrcUpdate(crc_, bytes);
        return;
    }
    for (const uint8_t b : bytes) AppendRawByte(b);
}

void FrameLayer::finish(bool raw) {
    if (!overflowed_) {
        const uint16_t fcs = static_cast<uint16_t>(~crc_);
        const auto lo = static_cast<uint8_t>(fcs & 0xFF);
        const auto hi = static_cast<uint8_t>(fcs >> 8);
        const uint16_t keep = crc_;
        if (raw) {
            AppendRawByte(lo);
            AppendRawByte(hi);
        } else {
            AppendByte(lo);
            AppendByte(hi);
        }
        crc_ = keep;
    }
    if (overflowed_) {
        // An overlong frame never goes out half-built: it becomes the fixed
        // six-byte frame. Its flag is part of the content for the raw form
        // (which has no closing flag of its own) and behind it otherwise.
        std::copy(kOverflowFrame.begin(), kOverflowFrame.end(), frame_.begin());
        length_ = raw ? 6 : 5;
        return;
    }
    if (!raw) frame_[length_] = hdlc::kFlag;
}

void FrameLayer::FinishFrame() { finish(false); }
void FrameLayer::FinishFrameRaw() { finish(true); }

void FrameLayer::warnLineErrors(std::string_view prefix) {
    if (!serial_.diagOpen()) return;
    const uint32_t mask = serial_.diag().takeLineErrors();
    if (mask != 0) reporter_.ShowStatus(LineClass::Ordinary, fmt::format("{}{}", prefix, mask));
}

void FrameLayer::prepareSend() {
    warnLineErrors("There is a warning in OutQue: ");
    serial_.diag().purge();
}

void FrameLayer::SendFramed() {
    prepareSend();
    const size_t total = static_cast<size_t>(length_) + 2;
    if (total > staging_.size()) {
        // Larger than the framed send's staging area: refuse instead of
        // writing past it. The caller sees a write count of 0.
        lastWriteCount_ = 0;
        reporter_.ShowStatus(LineClass::Ordinary,
                             fmt::format("Frame of {} bytes is too long to send", total));
        return;
    }
    staging_[0] = hdlc::kFlag;
    std::memcpy(staging_.data() + 1, frame_.data(), length_);
    staging_[total - 1] = hdlc::kFlag;
    lastWriteCount_ = static_cast<int32_t>(serial_.WriteDiag(staging_.data(), static_cast<uint32_t>(total)));
}

void FrameLayer::SendTerminated() {
    prepareSend();
    frame_[length_] = hdlc::kFlag;
    lastWriteCount_ = static_cast<int32_t>(serial_.WriteDiag(frame_.data(), length_ + 1u));
}

bool FrameLayer::SendRaw() {
    prepareSend();
    const uint32_t written = serial_.WriteDiag(frame_.data(), length_);
    lastWriteCount_ = static_cast<int32_t>(written);
    return written == length_;
}

FrameLayer::ByteResult FrameLayer::awaitByte(ReaderKind kind, uint32_t start, uint8_t& out) {
    uint8_t* slot = serial_.readSlot();
    // At least one read per call. The untimed reader repeats it until a byte
    // comes or an error is latched; the timed ones while their limit allows
    // and nothing is latched; the until-silence one reads once.
    for (;;) {
        slot[0] = kReadFiller;
        if (serial_.ReadDiag(slot, 1) == 1) {
            out = slot[0];
            return ByteResult::Got;
        }
        if (kind == ReaderKind::Untimed) {
            if (!reporter_.ok()) return ByteResult::Latched;
            if (clock_.tickMs() - start >= kSilentReplyLimitMs) return ByteResult::None;
            // The untimed reader waits on a silent device as long as the worker runs, but
            // not on a port that fails every read: its device has left the bus, and
            // waiting would never end. Such a port gets the reply limit, then gives up.
            if (!serial_.lastReadFailed()) {
                failingSince_.reset();
            } else if (!failingSince_) {
                failingSince_ = clock_.tickMs();
            } else if (clock_.tickMs() - *failingSince_ >= kReplyLimitMs) {
                return ByteResult::None;
            }
        } else if (kind == ReaderKind::DiagUntilSilence || !reporter_.ok() ||
                   clock_.tickMs() - start >= kReplyLimitMs) {
            return ByteResult::None;
        }
    }
}

uint16_t FailureOf(hdlc::FrameDecoder::Status status) {
    using Status = hdlc::FrameDecoder::Status;
    switch (status) {
        case Status::TooShort: return kReplyTooShort;
        case Status::BadCrc: return kReplyBadCrc;
        case Status::TooLong: return kReplyTooLong;
        case Status::Frame:
        case Status::NeedMore: break;
    }
    return 0;
}

uint32_t FrameLayer::keepReply(const hdlc::FrameDecoder& decoder) {
    const auto& frame = decoder.frame();
    replyLength_ = std::min(frame.size(), reply_.size());
    std::copy_n(frame.begin(), replyLength_, reply_.begin());
    return static_cast<uint32_t>(replyLength_);
}

uint32_t FrameLayer::readFrame(ReaderKind kind) {
    using Status = hdlc::FrameDecoder::Status;
    warnLineErrors("There is a warning in InQue: ");
    const uint32_t start = clock_.tickMs();
    const bool timed = kind != ReaderKind::Untimed;
    const bool diag = kind == ReaderKind::Diag || kind == ReaderKind::DiagUntilSilence;
    const uint32_t timedOut = diag ? kDiagReplyTimedOut : kReplyTimedOut;
    // Only the diagnostic readers take a reply without a leading flag.
    hdlc::FrameDecoder decoder(!diag, reply_.size());
    failingSince_.reset();
    replyLength_ = 0;

    for (;;) {
        uint8_t b = 0;
        const ByteResult r = awaitByte(kind, start, b);
        if (r == ByteResult::Latched) return kReplyLatched;
        if (r == ByteResult::Got) {
            const Status status = decoder.feed(b);
            if (status != Status::NeedMore) {
                const uint32_t count = keepReply(decoder);
                if (const uint16_t failure = FailureOf(status)) return failure;
                if (diag) return count;
                if (reply_[0] == 0x02 && count == 3) return kReplyAck;
                if (reply_[0] == 0x03 && count == 5) return byte_order::Be16(reply_, 1);
                return kReplyOther;
            }
        }
        const bool silent = r == ByteResult::None && (!timed || kind == ReaderKind::DiagUntilSilence);
        if (silent || (timed && clock_.tickMs() - start >= kReplyLimitMs)) {
            keepReply(decoder);
            return timedOut;
        }
    }
}

uint16_t FrameLayer::ReadReply() { return static_cast<uint16_t>(readFrame(ReaderKind::Untimed)); }
uint16_t FrameLayer::ReadReplyTimed() { return static_cast<uint16_t>(readFrame(ReaderKind::Timed)); }
uint32_t FrameLayer::ReadDiagReply() { return readFrame(ReaderKind::Diag); }
uint32_t FrameLayer::ReadDiagReplyUntilSilence() { return readFrame(ReaderKind::DiagUntilSilence); }

}  // namespace flintcast::engine
