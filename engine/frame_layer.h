#pragma once
// The worker's HDLC frame layer: builds one outgoing frame byte by byte,
// finishes it with the CRC-16 check sequence, sends it in one of three
// framings, and reads reply frames back from the diagnostic port through the
// codec's frame decoder.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "codec/hdlc.h"
#include "engine/reporter.h"
#include "engine/serial_channel.h"
#include "platform/clock.h"

namespace flintcast::engine {

// Results of ReadReply and ReadReplyTimed. A negative acknowledgement returns
// its reason code (bytes 1 and 2, big-endian) instead.
inline constexpr uint16_t kReplyAck = 0;
inline constexpr uint16_t kReplyBadCrc = 1;
inline constexpr uint16_t kReplyTooShort = 4;
inline constexpr uint16_t kReplyTooLong = 5;
inline constexpr uint16_t kReplyTimedOut = 7;
inline constexpr uint16_t kReplyOther = 0x00FF;
inline constexpr uint16_t kReplyLatched = 0xFFFE;
// The failure code of a frame the decoder closed: kReplyTooShort, kReplyBadCrc or
// kReplyTooLong, and 0 for a whole frame.
uint16_t FailureOf(hdlc::FrameDecoder::Status status);
// ReadDiagReply's time-out result (its other failures are 1, 4 and 5 as above).
inline constexpr uint32_t kDiagReplyTimedOut = 255;

// Time limit of the timed readers, measured from the reader's start.
inline constexpr uint32_t kReplyLimitMs = 5000;
// The untimed reader waits for a device that takes its time (a close or a partition table may
// erase flash first), but not for ever on a port that is present and silent.
inline constexpr uint32_t kSilentReplyLimitMs = 120000;

class FrameLayer {
public:
    // Outgoing frame area: content plus the closing flag behind it.
    static constexpr size_t kFrameArea = 36864;
    static constexpr size_t kMaxContent = kFrameArea - 6;  // 36,858
    static constexpr size_t kReplyBufferBytes = 4096;
    // Largest frame SendFramed puts on the wire, flags included.
    static constexpr size_t kFramedSendLimit = 4096;
    // The frame that replaces an overflowed one: payload 03 00 03, check
    // sequence 0x1B33, closing flag.
    static constexpr std::array<uint8_t, 6> kOverflowFrame = {0x03, 0x00, 0x03, 0x33, 0x1B, 0x7E};

    FrameLayer(const platform::Clock& clock, Reporter& reporter, SerialChannel& serial);

    // Frame building.
    void BeginFrame();
    void AppendByte(uint8_t b);
    void AppendBytes(std::span<const uint8_t> bytes);
    void AppendRawByte(uint8_t b);
    void AppendRawBytes(std::span<const uint8_t> bytes);
    void FinishFrame();
    void FinishFrameRaw();

    // Sending; each records the bytes written as lastWriteCount().
    void SendFramed();      // 7E, content, 7E
    void SendTerminated();  // content, 7E
    bool SendRaw();         // content only; true when the port took all of it

    // Reading into the reply buffer.
    uint16_t ReadReply();
    uint16_t ReadReplyTimed();
    uint32_t ReadDiagReply();
    // The same reader, but it ends at the first read that brings nothing (the port's own
    // first-byte wait), within the reply limit: for requests their caller asks again at once.
    uint32_t ReadDiagReplyUntilSilence();

    // The unstuffed bytes of the last reply (payload, then the check sequence).
    std::span<const uint8_t> replyBuffer() const { return reply_; }
    size_t replyLength() const { return replyLength_; }

    uint16_t length() const { return length_; }
    bool overflowed() const { return overflowed_; }
    // The content bytes (without the closing flag).
    std::span<const uint8_t> content() const { return {frame_.data(), length_}; }
    int32_t lastWriteCount() const { return lastWriteCount_; }

private:
    enum class ReaderKind { Untimed, Timed, Diag, DiagUntilSilence };
    enum class ByteResult { Got, None, Latched };

    const platform::Clock& clock_;
    Reporter& reporter_;
    SerialChannel& serial_;

    std::array<uint8_t, kFrameArea> frame_{};
    uint16_t length_ = 0;
    bool overflowed_ = false;
    // CRC register over the unstuffed bytes appended since BeginFrame.
    uint16_t crc_ = 0xFFFF;
    std::array<uint8_t, kFramedSendLimit> staging_{};
    std::array<uint8_t, kReplyBufferBytes> reply_{};
    size_t replyLength_ = 0;
    int32_t lastWriteCount_ = 0;

    bool store(uint8_t b);
    bool storePair(uint8_t a, uint8_t b);
    void finish(bool raw);
    void warnLineErrors(std::string_view prefix);
    void prepareSend();
    uint32_t readFrame(ReaderKind kind);
    // Copies the decoder's bytes into the reply buffer; returns their count.
    uint32_t keepReply(const hdlc::FrameDecoder& decoder);
    ByteResult awaitByte(ReaderKind kind, uint32_t start, uint8_t& out);
    // Since when (tool ms) the untimed reader's port has failed every read.
    std::optional<uint32_t> failingSince_;
};

}  // namespace flintcast::engine
