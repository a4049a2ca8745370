// The reply checks of the download-mode bootloader and of the flash programmer, over raw port
// reads and over the frames the decoder takes out of them: no input faults, every accepted
// reply has the shape its check promises, and the logged hexadecimal text reads back to the
// bytes it shows.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "codec/hdlc.h"
#include "engine/dmss_messages.h"
#include "engine/streaming_messages.h"
#include "fuzz/fuzz_check.h"

namespace dmss = flintcast::engine::dmss;
namespace streaming = flintcast::engine::streaming;
namespace hdlc = flintcast::hdlc;

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

void CheckHexText(std::span<const uint8_t> bytes) {
    const std::string text = streaming::HexBytes(bytes);
    FUZZ_CHECK(text.size() == bytes.size() * 3);
    for (size_t i = 0; i < bytes.size(); ++i) {
        FUZZ_CHECK(text[3 * i] == ' ');
        const int high = HexDigit(text[3 * i + 1]);
        const int low = HexDigit(text[3 * i + 2]);
        FUZZ_CHECK(high >= 0 && low >= 0 && (high * 16 + low) == bytes[i]);
    }
}

uint32_t Le32(std::span<const uint8_t> b) {
    return uint32_t{b[1]} | uint32_t{b[2]} << 8 | uint32_t{b[3]} << 16 | uint32_t{b[4]} << 24;
}

void CheckReply(std::span<const uint8_t> reply) {
    if (dmss::IsNopAcknowledged(reply)) FUZZ_CHECK(reply.size() == dmss::kNopReplyBytes && reply[1] == dmss::kAck);
    for (uint16_t size : {dmss::kStandardWriteSize, dmss::kLargeWriteSize}) {
        const auto check = dmss::CheckParameterReply(reply, size);
        if (check != dmss::ParameterCheck::Malformed) {
            FUZZ_CHECK(reply.size() == dmss::kParameterReplyBytes && reply[0] == dmss::kParameterReply);
            FUZZ_CHECK((check == dmss::ParameterCheck::Ok) == ((reply[3] << 8 | reply[4]) == size));
        }
    }
    if (streaming::IsOpenAccepted(reply)) FUZZ_CHECK(reply.size() >= 2 && reply[1] == 0x00);
    if (reply.size() == 5 && reply[0] == streaming::kStreamWriteReply) {
        const uint32_t address = Le32(reply);
        FUZZ_CHECK(streaming::IsStreamWriteAck(reply, address));
        FUZZ_CHECK(!streaming::IsStreamWriteAck(reply, address + 1));
    } else {
        FUZZ_CHECK(!streaming::IsStreamWriteAck(reply, reply.size() >= 5 ? Le32(reply) : 0));
    }
    if (streaming::IsTransmitResetAccepted(reply)) FUZZ_CHECK(streaming::IsTransmitAccepted(reply));
    if (streaming::IsWriteFlashDone(reply)) FUZZ_CHECK(!streaming::IsTransmitAccepted(reply));
    CheckHexText(reply.subspan(0, std::min<size_t>(reply.size(), 64)));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const uint8_t> raw(data, size);
    // Fast-transfer and bootloader answers are read raw; the programmer's answers come framed.
    CheckReply(raw);
    for (bool leading : {true, false}) {
        hdlc::FrameDecoder decoder(leading);
        size_t at = 0;
        while (at < raw.size()) {
            size_t used = 0;
            const auto status = decoder.feed(raw.subspan(at), used);
            at += used;
            if (status == hdlc::FrameDecoder::Status::Frame) CheckReply(decoder.payload());
        }
    }
    return 0;
}
