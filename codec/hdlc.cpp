#include "codec/hdlc.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace flintcast::hdlc {
namespace {

constexpr std::array<uint16_t, 256> MakeTable() {
    std::array<uint16_t, 256> t{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t r = i;
        for (int k = 0; k < 8; ++k) r = (r & 1) ? (r >> 1) ^ 0x8408 : r >> 1;
        t[i] = static_cast<uint16_t>(r);
    }
    return t;
}

// Slicing-by-8 tables: table[k][b] is the register contribution of byte b
// followed by k zero bytes. Lets the CRC take eight bytes per step.
constexpr std::array<std::array<uint16_t, 256>, 8> MakeSlices() {
    std::array<std::array<uint16_t, 256>, 8> s{};
    s[0] = MakeTable();
    for (int k = 1; k < 8; ++k)
        for (int i = 0; i < 256; ++i)
            s[k][i] = static_cast<uint16_t>((s[k - 1][i] >> 8) ^ s[0][s[k - 1][i] & 0xFF]);
    return s;
}

constexpr auto kSlices = MakeSlices();

// True when any byte of `v` is zero (the classic SWAR test).
constexpr bool HasZeroByte(uint64_t v) {
    return ((v - 0x0101010101010101ull) & ~v & 0x8080808080808080ull) != 0;
}

// Length of the leading run of bytes that are neither flag nor escape.
// Eight bytes at a time: the bulk of a random payload has no byte to stuff.
size_t PlainRunLength(const uint8_t* p, size_t n) {
    size_t i = 0;
    while (i + 8 <= n) {
        uint64_t v;
        std::memcpy(&v, p + i, 8);
        if (HasZeroByte(v ^ 0x7E7E7E7E7E7E7E7Eull) || HasZeroByte(v ^ 0x7D7D7D7D7D7D7D7Dull)) break;
        i += 8;
    }
    while (i < n && !NeedsEscape(p[i])) ++i;
    return i;
}

}  // namespace

extern const uint16_t kCrcTable[256];
const uint16_t kCrcTable[256] = {
#define R(i) kSlices[0][i]
#define R8(i) R(i), R(i + 1), R(i + 2), R(i + 3), R(i + 4), R(i + 5), R(i + 6), R(i + 7)
#define R64(i) R8(i), R8(i + 8), R8(i + 16), R8(i + 24), R8(i + 32), R8(i + 40), R8(i + 48), R8(i + 56)
    R64(0), R64(64), R64(128), R64(192)
#undef R64
#undef R8
#undef R
};

uint16_t CrcUpdate(uint16_t reg, std::span<const uint8_t> data) {
    const uint8_t* p = data.data();
    size_t n = data.size();
    while (n >= 8) {
        const uint32_t lo = (static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8) ^ reg;
        reg = static_cast<uint16_t>(kSlices[7][lo & 0xFF] ^ kSlices[6][(lo >> 8) & 0xFF] ^ kSlices[5][p[2]] ^
                                    kSlices[4][p[3]] ^ kSlices[3][p[4]] ^ kSlices[2][p[5]] ^ kSlices[1][p[6]] ^
                                    kSlices[0][p[7]]);
        p += 8;
        n -= 8;
    }
    while (n-- > 0) reg = CrcUpdateByte(reg, *p++);
    return reg;
}

void AppendStuffed(std::vector<uint8_t>& out, std::span<const uint8_t> data) {
    const uint8_t* p = data.data();
    const uint8_t* end = p + data.size();
    // Copy runs that need no escape in one go; most payload bytes are plain.
    while (p < end) {
        const size_t run = PlainRunLength(p, static_cast<size_t>(end - p));
        out.insert(out.end(), p, p + run);
        p += run;
        if (p < end) {
            out.push_back(kEscape);
            out.push_back(static_cast<uint8_t>(*p ^ kEscapeMask));
            ++p;
        }
    }
}

void EncodeFrameInto(std::vector<uint8_t>& out, std::span<const uint8_t> payload, bool leadingFlag) {
    out.reserve(out.size() + payload.size() + payload.size() / 16 + 8);
    if (leadingFlag) out.push_back(kFlag);
    AppendStuffed(out, payload);
    const uint16_t fcs = CheckSequence(payload);
    const uint8_t tail[2] = {static_cast<uint8_t>(fcs & 0xFF), static_cast<uint8_t>(fcs >> 8)};
    AppendStuffed(out, tail);
    out.push_back(kFlag);
}

std::vector<uint8_t> EncodeFrame(std::span<const uint8_t> payload, bool leadingFlag) {
    std::vector<uint8_t> out;
    EncodeFrameInto(out, payload, leadingFlag);
    return out;
}

FrameDecoder::FrameDecoder(bool leadingFlagRequired, size_t maxBytes)
    : leadingFlagRequired_(leadingFlagRequired), maxBytes_(maxBytes), state_(State::Hunt) {
    frame_.reserve(maxBytes);
}

void FrameDecoder::reset() {
    state_ = State::Hunt;
    crc_ = kCrcInit;
    frame_.clear();
}

std::span<const uint8_t> FrameDecoder::payload() const {
    if (frame_.size() < 2) return {};
    return std::span<const uint8_t>(frame_.data(), frame_.size() - 2);
}

FrameDecoder::Status FrameDecoder::storeByte(uint8_t b) {
    if (frame_.size() >= maxBytes_) {
        // Too long: drop the rest of this frame up to its closing flag.
        state_ = State::Overflow;
        return Status::TooLong;
    }
    frame_.push_back(b);
    crc_ = CrcUpdateByte(crc_, b);
    return Status::NeedMore;
}

FrameDecoder::Status FrameDecoder::close() {
    state_ = State::Flag;
    if (frame_.size() < 3) return Status::TooShort;
    if (crc_ != kGoodResidue) return Status::BadCrc;
    return Status::Frame;
}

FrameDecoder::Status FrameDecoder::feed(uint8_t b) {
    switch (state_) {
        case State::Overflow:
            if (b == kFlag) state_ = State::Flag;
            return Status::NeedMore;
        case State::Hunt:
            if (b == kFlag) {
                state_ = State::Flag;
                return Status::NeedMore;
            }
            if (leadingFlagRequired_) return Status::NeedMore;
            [[fallthrough]];
        case State::Flag:
            if (b == kFlag) return Status::NeedMore;
            frame_.clear();
            crc_ = kCrcInit;
            state_ = State::Data;
            [[fallthrough]];
        case State::Data:
            if (b == kFlag) return close();
            if (b == kEscape) {
                state_ = State::Escaped;
                return Status::NeedMore;
            }
            return storeByte(b);
        case State::Escaped:
            state_ = State::Data;
            return storeByte(static_cast<uint8_t>(b ^ kEscapeMask));
    }
    return Status::NeedMore;
}

FrameDecoder::Status FrameDecoder::feed(std::span<const uint8_t> data, size_t& used) {
    const uint8_t* p = data.data();
    const size_t n = data.size();
    size_t i = 0;
    while (i < n) {
        if (state_ == State::Data) {
            // Inside a frame, take a whole run of plain bytes at once: one
            // copy and one CRC pass instead of a state step per byte.
            const size_t run = PlainRunLength(p + i, n - i);
            const size_t take = std::min(run, maxBytes_ - frame_.size());
            if (take > 0) {
                frame_.insert(frame_.end(), p + i, p + i + take);
                crc_ = CrcUpdate(crc_, std::span<const uint8_t>(p + i, take));
                i += take;
                if (i == n) break;
            }
        }
        const Status s = feed(p[i++]);
        if (s != Status::NeedMore) {
            used = i;
            return s;
        }
    }
    used = n;
    return Status::NeedMore;
}

}  // namespace flintcast::hdlc
