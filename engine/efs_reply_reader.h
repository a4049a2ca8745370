#pragma once
// The reply reader of the EFS file transfers: reads one answer frame from the diagnostic port
// (a leading 0x7E is optional, 0x7D escapes are undone, the check sequence must be right) and
// keeps the closing 0x7E as the last stored byte, so a good answer's count is payload + 2 + 1.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "engine/frame_layer.h"
#include "engine/reporter.h"
#include "engine/serial_channel.h"
#include "platform/clock.h"

namespace flintcast::engine {

class EfsReplyReader {
public:
    static constexpr size_t kMaxBytes = 4096;
    // The reader waits patiently for each byte, but a device that goes quiet in the middle of
    // an answer (or never answers) must not hold the worker for ever: after this long without
    // a byte the read ends with kReplyTimedOut and the caller's attempt loop goes on.
    static constexpr uint32_t kByteSilenceLimitMs = 10000;

    EfsReplyReader(const platform::Clock& clock, Reporter& reporter, SerialChannel& serial);

    // The stored byte count of a good answer, or kReplyBadCrc (1), kReplyTooShort (4),
    // kReplyTooLong (5), kReplyTimedOut (7), or kReplyLatched as soon as an error is latched.
    uint16_t ReadEfsReply();

    // True when the last read ended with a closing flag behind a good check sequence.
    bool complete() const { return complete_; }
    // The stored bytes of the last read (with the closing flag when complete).
    std::span<const uint8_t> reply() const { return {buffer_.data(), count_}; }
    // Bytes of an answer behind its payload: the check sequence and the flag.
    static constexpr size_t kTrailer = 3;

private:
    const platform::Clock& clock_;
    Reporter& reporter_;
    SerialChannel& serial_;
    std::array<uint8_t, kMaxBytes + 1> buffer_{};
    size_t count_ = 0;
    bool complete_ = false;
};

}  // namespace flintcast::engine
