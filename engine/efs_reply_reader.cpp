#include "engine/efs_reply_reader.h"

#include <algorithm>

#include "codec/hdlc.h"

namespace flintcast::engine {

EfsReplyReader::EfsReplyReader(const platform::Clock& clock, Reporter& reporter, SerialChannel& serial)
    : clock_(clock), reporter_(reporter), serial_(serial) {}

uint16_t EfsReplyReader::ReadEfsReply() {
    using Status = hdlc::FrameDecoder::Status;
    // Leading (or repeated) flags are passed over; any other byte opens the answer.
    hdlc::FrameDecoder decoder(false, kMaxBytes);
    const auto keep = [&] {
        count_ = decoder.frame().size();
        std::copy_n(decoder.frame().begin(), count_, buffer_.begin());
    };
    count_ = 0;
    complete_ = false;
    uint8_t* slot = serial_.readSlot();
    uint32_t lastByteAt = clock_.tickMs();

    for (;;) {
        if (!reporter_.ok()) {
            keep();
            return kReplyLatched;
        }
        if (serial_.ReadDiag(slot, 1) != 1) {
            if (clock_.tickMs() - lastByteAt < kByteSilenceLimitMs) continue;
            keep();
            return kReplyTimedOut;
        }
        lastByteAt = clock_.tickMs();
        const Status status = decoder.feed(slot[0]);
        if (status == Status::NeedMore) continue;
        keep();
        if (const uint16_t failure = FailureOf(status)) return failure;
        buffer_[count_++] = hdlc::kFlag;
        complete_ = true;
        return static_cast<uint16_t>(count_);
    }
}

}  // namespace flintcast::engine
