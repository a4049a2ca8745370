#pragma once
// The one DIAG exchange every normal-mode caller uses: the request is framed without a
// leading flag and sent, then one answer frame is read within the frame layer's reply limit
// on the worker's clock. Only a whole frame with a good check sequence counts as an answer.
#include <cstdint>
#include <span>

#include "engine/worker_context.h"

namespace flintcast::engine {

// How long the read waits: up to the reply limit, or only until a read brings nothing (the
// port's own first-byte wait), for requests whose caller asks again in a loop of its own.
enum class DiagWait { ReplyLimit, UntilSilence };

struct DiagAnswer {
    // The unstuffed answer, payload then check sequence; empty when no whole good frame came.
    std::span<const uint8_t> frame;

    bool received() const { return !frame.empty(); }
    std::span<const uint8_t> payload() const { return frame.empty() ? frame : frame.first(frame.size() - 2); }
};

// Sends `request` and reads its answer. The answer lives in the frame layer's reply buffer
// until the next read.
DiagAnswer DiagExchange(WorkerContext& ctx, std::span<const uint8_t> request, DiagWait wait = DiagWait::ReplyLimit);
// The two halves, for callers that wait between them or read a late answer again.
void SendDiagRequest(WorkerContext& ctx, std::span<const uint8_t> request);
DiagAnswer ReadDiagAnswer(WorkerContext& ctx, DiagWait wait = DiagWait::ReplyLimit);

}  // namespace flintcast::engine
