#include "engine/efs_reply_reader.h"

#include "codec/hdlc.h"

namespace flintcast::engine {

EfsReplyReader::EfsReplyReader(const platform::Clock& clock, Reporter& reporter, SerialChannel& serial)
    : clock_(clock), reporter_(reporter), serial_(serial) {}

uint16_t EfsReplyReader::ReadEfsReply() {
    enum class State { Hunt, Data, Escaped };
    State state = State::Hunt;
    uint16_t crc = hdlc::kCrcInit;
    count_ = 0;
    complete_ = false;
    uint8_t* slot = serial_.readSlot();
    uint32_t lastByteAt = clock_.tickMs();

    for (;;) {
        if (!reporter_.ok()) return kReplyLatched;
        if (serial_.ReadDiag(slot, 1) != 1) {
            if (clock_.tickMs() - lastByteAt >= kByteSilenceLimitMs) return kReplyTimedOut;
            continue;
        }
        lastByteAt = clock_.tickMs();
        uint8_t b = slot[0];
        switch (state) {
            case State::Hunt:
                if (b == hdlc::kFlag) continue;  // leading (or repeated) flags
                state = State::Data;
                [[fallthrough]];
            case State::Data:
                if (b == hdlc::kFlag) {
                    if (count_ < 3) return kReplyTooShort;
                    if (crc != hdlc::kGoodResidue) return kReplyBadCrc;
                    buffer_[count_++] = b;
                    complete_ = true;
                    return static_cast<uint16_t>(count_);
                }
                if (b == hdlc::kEscape) {
                    state = State::Escaped;
                    continue;
                }
                break;
            case State::Escaped:
                b = static_cast<uint8_t>(b ^ hdlc::kEscapeMask);
                state = State::Data;
                break;
        }
        if (count_ >= kMaxBytes) return kReplyTooLong;
        buffer_[count_++] = b;
        crc = hdlc::CrcUpdateByte(crc, b);
    }
}

}  // namespace flintcast::engine
