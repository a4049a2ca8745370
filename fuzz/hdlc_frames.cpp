// The frame decoder of the diagnostic port: any byte stream decodes without fault, feeding it
// in chunks gives the same frames as feeding it byte by byte, every good frame carries its own
// check sequence, and decode(encode(x)) == x.
#include <cstdint>
#include <span>
#include <vector>

#include "codec/hdlc.h"
#include "fuzz/fuzz_check.h"

using flintcast::hdlc::FrameDecoder;
namespace hdlc = flintcast::hdlc;

namespace {

struct Event {
    FrameDecoder::Status status;
    std::vector<uint8_t> frame;
    bool operator==(const Event&) const = default;
};

void CheckFrame(const FrameDecoder& decoder, size_t maxBytes) {
    const auto& frame = decoder.frame();
    FUZZ_CHECK(frame.size() >= 3 && frame.size() <= maxBytes);
    const auto payload = decoder.payload();
    FUZZ_CHECK(payload.size() + 2 == frame.size());
    const uint16_t fcs = hdlc::CheckSequence(payload);
    FUZZ_CHECK(frame[frame.size() - 2] == (fcs & 0xFF) && frame[frame.size() - 1] == (fcs >> 8));
}

std::vector<Event> ByteByByte(std::span<const uint8_t> data, bool leading, size_t maxBytes) {
    FrameDecoder decoder(leading, maxBytes);
    std::vector<Event> events;
    for (uint8_t b : data) {
        const auto status = decoder.feed(b);
        if (status == FrameDecoder::Status::NeedMore) continue;
        if (status == FrameDecoder::Status::Frame) CheckFrame(decoder, maxBytes);
        events.push_back({status, status == FrameDecoder::Status::Frame ? decoder.frame() : std::vector<uint8_t>{}});
    }
    return events;
}

std::vector<Event> Chunked(std::span<const uint8_t> data, bool leading, size_t maxBytes, size_t chunk) {
    FrameDecoder decoder(leading, maxBytes);
    std::vector<Event> events;
    size_t at = 0;
    while (at < data.size()) {
        auto piece = data.subspan(at, std::min(chunk, data.size() - at));
        size_t used = 0;
        const auto status = decoder.feed(piece, used);
        FUZZ_CHECK(used <= piece.size());
        FUZZ_CHECK(used > 0 || piece.empty());
        at += used;
        if (status == FrameDecoder::Status::NeedMore) {
            FUZZ_CHECK(used == piece.size());
            continue;
        }
        events.push_back({status, status == FrameDecoder::Status::Frame ? decoder.frame() : std::vector<uint8_t>{}});
    }
    return events;
}

void RoundTrip(std::span<const uint8_t> payload, bool leading) {
    const auto encoded = hdlc::EncodeFrame(payload, leading);
    // Stuffing leaves no flag inside the frame: only the ends may carry one.
    for (size_t i = 1; i + 1 < encoded.size(); ++i) FUZZ_CHECK(encoded[i] != hdlc::kFlag);
    FrameDecoder decoder(leading);
    size_t used = 0;
    const auto status = decoder.feed(encoded, used);
    FUZZ_CHECK(status == FrameDecoder::Status::Frame);
    FUZZ_CHECK(used == encoded.size());
    const auto decoded = decoder.payload();
    FUZZ_CHECK(std::vector<uint8_t>(decoded.begin(), decoded.end()) == std::vector<uint8_t>(payload.begin(), payload.end()));
    std::vector<uint8_t> appended{0x55};
    hdlc::EncodeFrameInto(appended, payload, leading);
    FUZZ_CHECK(std::vector<uint8_t>(appended.begin() + 1, appended.end()) == encoded);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    // The first byte picks the decoder's mode, its size limit and the chunk size.
    const uint8_t control = data[0];
    const std::span<const uint8_t> rest(data + 1, size - 1);
    const bool leading = control & 1;
    const size_t maxBytes = (control & 2) ? 64 : hdlc::kMaxReplyBytes;
    const size_t chunk = 1 + (control >> 2);

    const auto expected = ByteByByte(rest, leading, maxBytes);
    FUZZ_CHECK(Chunked(rest, leading, maxBytes, chunk) == expected);

    if (!rest.empty() && rest.size() + 2 <= hdlc::kMaxReplyBytes) {
        RoundTrip(rest, true);
        RoundTrip(rest, false);
    }
    return 0;
}
