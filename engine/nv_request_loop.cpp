#include "engine/nv_request_loop.h"

#include "codec/byte_order.h"
#include "codec/hdlc.h"
#include "engine/nv_requests.h"

#include <fmt/format.h>

namespace flintcast::engine {
namespace {

// The reader returns the frame's length only for a whole frame; its failure codes (bad check
// sequence, too short, too long, time-out) differ from the length it leaves behind. The check
// sequence is tested again so that a time-out that happens to match the length is not taken.
std::optional<std::span<const uint8_t>> WholeFrame(const FrameLayer& frames, uint32_t returned) {
    const size_t length = frames.replyLength();
    if (returned != length || length < 3) return std::nullopt;
    auto answer = frames.replyBuffer().first(length);
    if (hdlc::CrcUpdate(hdlc::kCrcInit, answer) != hdlc::kGoodResidue) return std::nullopt;
    return answer;
}

// A refusal echoes the request behind its code; an echo of another request is a late answer.
bool RefusesThis(std::span<const uint8_t> answer, std::span<const uint8_t> request) {
    return answer.size() >= 2 + 2 && !request.empty() && answer[1] == request[0] &&
           DiagRefusalMeaning(answer[0]).has_value();
}

// The item a request is about: the answer's item when known, else the NV request's id field.
uint16_t ItemOf(std::span<const uint8_t> request, const std::optional<AnswerItem>& item) {
    if (item) return item->id;
    return request.size() >= 3 ? byte_order::Le16(request, 1) : 0;
}

bool Accepted(std::span<const uint8_t> answer, const NvRequestRule& rule, const std::optional<AnswerItem>& item) {
    if (answer[0] != rule.expected) return false;
    if (item && answer.size() >= item->idAt + 2 + 2 && byte_order::Le16(answer, item->idAt) != item->id) return false;
    return true;
}

}  // namespace

std::optional<std::string_view> DiagRefusalMeaning(uint8_t firstByte) {
    switch (firstByte) {
        case 0x13: return "the unit does not know the command";
        case 0x14: return "the unit refused a parameter";
        case 0x15: return "the unit refused the request's length";
        case 0x42:
        case 0x47: return "the unit's security lock is on (service programming code not accepted)";
        default: return std::nullopt;
    }
}

std::optional<std::span<const uint8_t>> RunNvRequest(WorkerContext& ctx, std::span<const uint8_t> request,
                                                     const NvRequestRule& rule, std::optional<AnswerItem> item) {
    ctx.frames.BeginFrame();
    ctx.frames.AppendBytes(request);
    ctx.frames.FinishFrame();
    for (int attempt = 1;; ++attempt) {
        if (ctx.reporter.stopRequested()) return std::nullopt;
        ctx.frames.SendTerminated();
        const uint32_t returned = ctx.frames.ReadDiagReply();
        if (attempt >= rule.limit) return std::nullopt;
        if (rule.pauseFrom > 0 && attempt >= rule.pauseFrom) ctx.clock.sleepMs(kNvRetryPauseMs);
        const auto answer = WholeFrame(ctx.frames, returned);
        if (answer && Accepted(*answer, rule, item)) return answer;
        if (answer && RefusesThis(*answer, request)) {
            ctx.reporter.ShowError(fmt::format("[{}]:NV request refused, {} (answer 0x{:02X})", ItemOf(request, item),
                                               *DiagRefusalMeaning((*answer)[0]), (*answer)[0]),
                                   0);
            return std::nullopt;
        }
    }
}

}  // namespace flintcast::engine
