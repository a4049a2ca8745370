#pragma once
// HDLC-style framing used on the diagnostic port: CRC-16 (X.25 / RFC 1662 FCS-16),
// 0x7D/0x20 stuffing of 0x7E and 0x7D, flag 0x7E. Pure functions only; the
// port-facing frame layer sits on top of these.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace flintcast::hdlc {

inline constexpr uint8_t kFlag = 0x7E;
inline constexpr uint8_t kEscape = 0x7D;
inline constexpr uint8_t kEscapeMask = 0x20;
inline constexpr uint16_t kCrcInit = 0xFFFF;
inline constexpr uint16_t kGoodResidue = 0xF0B8;
// Largest unstuffed frame (payload plus check sequence) a reply may hold.
inline constexpr size_t kMaxReplyBytes = 4096;

// Runs the CRC register over `data` (no final complement).
uint16_t CrcUpdate(uint16_t reg, std::span<const uint8_t> data);
inline uint16_t CrcUpdateByte(uint16_t reg, uint8_t b);
// The frame check sequence of a payload: complemented CRC, sent low byte first.
inline uint16_t CheckSequence(std::span<const uint8_t> payload) {
    return static_cast<uint16_t>(~CrcUpdate(kCrcInit, payload));
}

inline bool NeedsEscape(uint8_t b) { return b == kFlag || b == kEscape; }

// Appends `data` stuffed to `out`.
void AppendStuffed(std::vector<uint8_t>& out, std::span<const uint8_t> data);

// Builds a whole frame: optional leading flag, stuffed payload, stuffed check
// sequence (low byte first), closing flag.
std::vector<uint8_t> EncodeFrame(std::span<const uint8_t> payload, bool leadingFlag);
// Same, appending into `out` (avoids an allocation per frame in hot loops).
void EncodeFrameInto(std::vector<uint8_t>& out, std::span<const uint8_t> payload, bool leadingFlag);

// Streaming decoder: feed bytes one at a time or in chunks; it reports each
// complete frame. The payload it keeps is the unstuffed frame including the
// two check-sequence bytes, as the device protocols read it.
class FrameDecoder {
public:
    enum class Status {
        NeedMore,   // no frame complete yet
        Frame,      // a good frame is in frame()
        BadCrc,     // closing flag seen, check sequence wrong
        TooShort,   // closing flag after fewer than 3 bytes
        TooLong,    // more than kMaxReplyBytes bytes
    };

    // leadingFlagRequired: bytes before the first flag are discarded (hunt state).
    // Otherwise any non-flag byte opens a frame.
    explicit FrameDecoder(bool leadingFlagRequired = true, size_t maxBytes = kMaxReplyBytes);

    Status feed(uint8_t b);
    // Feeds bytes until one frame ends (or all are consumed); `used` tells how many were eaten.
    Status feed(std::span<const uint8_t> data, size_t& used);

    // Unstuffed bytes of the last completed (or current) frame, check sequence included.
    const std::vector<uint8_t>& frame() const { return frame_; }
    // Payload without the check sequence (valid after Status::Frame).
    std::span<const uint8_t> payload() const;
    void reset();

private:
    enum class State { Hunt, Flag, Data, Escaped, Overflow };
    bool leadingFlagRequired_;
    size_t maxBytes_;
    State state_;
    uint16_t crc_ = kCrcInit;
    std::vector<uint8_t> frame_;

    Status storeByte(uint8_t b);
    Status close();
};

uint16_t CrcUpdateByte(uint16_t reg, uint8_t b) {
    extern const uint16_t kCrcTable[256];
    return static_cast<uint16_t>((reg >> 8) ^ kCrcTable[(reg ^ b) & 0xFF]);
}

}  // namespace flintcast::hdlc
