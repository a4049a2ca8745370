#include "engine/nv_request_loop.h"

#include "codec/byte_order.h"
#include "codec/hdlc.h"
#include "engine/nv_requests.h"

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

bool Accepted(std::span<const uint8_t> answer, const NvRequestRule& rule, const std::optional<AnswerItem>& item) {
    if (answer[0] != rule.expected) return false;
    if (item && answer.size() >= item->idAt + 2 + 2 && byte_order::Le16(answer, item->idAt) != item->id) return false;
    return true;
}

}  // namespace

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
    }
}

}  // namespace flintcast::engine
