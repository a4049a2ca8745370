#pragma once
// Drives a port engine with raw frames and decodes what it answers.
#include <cstdint>
#include <string>
#include <vector>

#include "codec/byte_order.h"
#include "codec/hdlc.h"
#include "sim/protocols/diag_port_engine.h"

namespace flintcast::sim::testing {

using Bytes = std::vector<uint8_t>;

inline Bytes Frame(const Bytes& payload, bool leadingFlag = false) {
    return hdlc::EncodeFrame(payload, leadingFlag);
}

// Unstuffed payloads of every frame in the engine's replies (check sequence verified).
inline std::vector<Bytes> Payloads(const EngineOutput& out) {
    std::vector<Bytes> frames;
    for (const auto& chunk : out.replies) {
        hdlc::FrameDecoder decoder(false);
        size_t pos = 0;
        while (pos < chunk.bytes.size()) {
            size_t used = 0;
            const auto status = decoder.feed(std::span(chunk.bytes).subspan(pos), used);
            pos += used;
            if (status == hdlc::FrameDecoder::Status::Frame) {
                frames.emplace_back(decoder.payload().begin(), decoder.payload().end());
            } else if (status != hdlc::FrameDecoder::Status::NeedMore) {
                frames.push_back({0xEE, 0xEE});  // marks a broken reply frame
            }
        }
    }
    return frames;
}

// Sends one request frame and returns the single reply payload (empty when none).
inline Bytes Ask(DiagPortEngine& engine, const Bytes& payload, bool leadingFlag = false,
                 EngineOutput* outCopy = nullptr) {
    const EngineOutput out = engine.Feed(Frame(payload, leadingFlag));
    if (outCopy != nullptr) *outCopy = out;
    const auto frames = Payloads(out);
    return frames.empty() ? Bytes{} : frames.front();
}

inline Bytes Concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

inline Bytes Text(const std::string& text, bool nul = true) {
    Bytes out(text.begin(), text.end());
    if (nul) out.push_back(0);
    return out;
}

// Throws (failing the test) when the reply is too short to hold the field.
inline uint32_t Le32At(const Bytes& b, size_t at) {
    (void)b.at(at + 3);
    return byte_order::Le32(b, at);
}

inline Bytes Le32(uint32_t v) {
    Bytes out;
    byte_order::PutLe32(out, v);
    return out;
}

}  // namespace flintcast::sim::testing
