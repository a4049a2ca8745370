#include "engine/diag_exchange.h"

#include "codec/hdlc.h"

namespace flintcast::engine {

void SendDiagRequest(WorkerContext& ctx, std::span<const uint8_t> request) {
    ctx.frames.BeginFrame();
    ctx.frames.AppendBytes(request);
    ctx.frames.FinishFrame();
    ctx.frames.SendTerminated();
}

DiagAnswer ReadDiagAnswer(WorkerContext& ctx, DiagWait wait) {
    const uint32_t returned =
        wait == DiagWait::UntilSilence ? ctx.frames.ReadDiagReplyUntilSilence() : ctx.frames.ReadDiagReply();
    const auto frame = ctx.frames.replyBuffer().first(ctx.frames.replyLength());
    // The reader's failure codes are small numbers that a frame length can also take: a whole
    // frame is one whose length was returned and whose check sequence holds.
    if (returned != frame.size() || frame.size() < 3 ||
        hdlc::CrcUpdate(hdlc::kCrcInit, frame) != hdlc::kGoodResidue) {
        return {};
    }
    return {frame};
}

DiagAnswer DiagExchange(WorkerContext& ctx, std::span<const uint8_t> request, DiagWait wait) {
    SendDiagRequest(ctx, request);
    // A unit that left the bus (unplugged, crashed) takes no request: the error is latched
    // here, as the callers' retry counts would otherwise go on for hours against a dead port.
    if (const int gone = ctx.serial.lastWriteLostDevice()) {
        ctx.reporter.ShowError("Could not write to serial port", gone);
        return {};
    }
    return ReadDiagAnswer(ctx, wait);
}

}  // namespace flintcast::engine
