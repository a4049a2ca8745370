#pragma once
// Writes a port's replies to its pseudo-terminal, applying the link-level faults: drop, spoiled
// check sequence, delay, split into two writes, and a throttled byte rate.
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "platform/clock.h"
#include "sim/faults.h"

namespace flintcast::sim {

// Spoils the check sequence of an HDLC frame (the byte before the closing flag) without
// creating a flag or escape byte; false when `frame` does not end in a framed payload.
bool CorruptFrameCheck(std::vector<uint8_t>& frame);

// Writes all of `bytes` to the non-blocking descriptor `fd`, waiting for room (a client that
// stops reading for 5 s of device time loses the rest). With `bytesPerSecond` > 0 the writes are paced
// to that rate. False when not everything went out.
bool WritePaced(int fd, std::span<const uint8_t> bytes, int64_t bytesPerSecond, const platform::Clock& clock);

class ReplyWriter {
public:
    ReplyWriter(Faults& faults, const platform::Clock& clock) : faults_(faults), clock_(clock) {}

    // One reply of port `role`; `framed` replies (binary ports) can have their check sequence
    // spoiled. `delayMs` is the device's own wait before answering.
    void Send(int fd, std::string_view role, std::vector<uint8_t> bytes, bool framed, uint32_t delayMs = 0);

    // Pauses after reading `count` bytes from a throttled port, so the client's writes are paced.
    void PaceRead(std::string_view role, size_t count);

private:
    Faults& faults_;
    const platform::Clock& clock_;
    int64_t Rate(std::string_view role) const;
};

}  // namespace flintcast::sim
