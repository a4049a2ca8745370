#include "sim/protocols/protocol_handler.h"

namespace flintcast::sim {

FramedHandler::FramedHandler(DeviceModel& model, ProtocolFaultHooks* faults, size_t maxFrameBytes)
    : model_(model), faults_(faults), decoder_(false, maxFrameBytes) {}

void FramedHandler::Feed(std::span<const uint8_t> bytes, EngineOutput& out) {
    size_t pos = 0;
    while (pos < bytes.size()) {
        if (InRawMode()) {
            const size_t used = ConsumeRaw(bytes.subspan(pos), out);
            pos += used;
            if (used > 0) continue;
            // The raw protocol gave the bytes back: they are a framed request again.
            decoder_.reset();
        }
        size_t used = 0;
        const auto status = decoder_.feed(bytes.subspan(pos), used);
        pos += used == 0 ? 1 : used;  // never stall on a decoder that ate nothing
        switch (status) {
        case hdlc::FrameDecoder::Status::NeedMore:
            break;
        case hdlc::FrameDecoder::Status::Frame: {
            // Copy: the handler may reset or reuse the decoder.
            const auto payload = decoder_.payload();
            const std::vector<uint8_t> request(payload.begin(), payload.end());
            HandleFrame(request, out);
            break;
        }
        default:
            HandleBadFrame(status, out);
            break;
        }
    }
}

RequestFault FramedHandler::Admit(const std::string& kind) {
    model_.Count(kind);
    return faults_ != nullptr ? faults_->OnRequest(kind) : RequestFault::None;
}

void FramedHandler::Reply(EngineOutput& out, std::span<const uint8_t> payload, bool leadingFlag,
                          uint32_t delayMs) {
    out.replies.push_back(ReplyChunk{hdlc::EncodeFrame(payload, leadingFlag), delayMs});
}

}  // namespace flintcast::sim
