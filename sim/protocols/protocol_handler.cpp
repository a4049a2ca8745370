#include "sim/protocols/protocol_handler.h"

#include "sim/reply_writer.h"

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
            replyFault_ = {};
            HandleFrame(request, out);
            break;
        }
        default:
            replyFault_ = {};
            HandleBadFrame(status, out);
            break;
        }
    }
}

RequestFault FramedHandler::Admit(const std::string& kind) {
    model_.Count(kind);
    replyFault_ = {};
    if (faults_ == nullptr) return RequestFault::None;
    const RequestFault fault = faults_->OnRequest(kind);
    if (fault == RequestFault::None) replyFault_ = faults_->OnReply(kind);
    return fault;
}

void FramedHandler::Reply(EngineOutput& out, std::span<const uint8_t> payload, bool leadingFlag,
                          uint32_t delayMs) {
    const ReplyFault fault = replyFault_;
    replyFault_ = {};
    if (fault.drop) return;
    auto frame = hdlc::EncodeFrame(payload, leadingFlag);
    if (fault.corrupt) CorruptFrameCheck(frame);
    out.replies.push_back(ReplyChunk{std::move(frame), delayMs + fault.delayMs});
}

}  // namespace flintcast::sim
