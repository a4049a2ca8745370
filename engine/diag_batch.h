#pragma once
// Many DIAG requests in flight at once: a unit answers its DIAG requests in the order they
// came, so a long series (every NV item id) need not wait one round trip per request. Up to a
// window of requests is written at a time and the answers are read as they stream back.
// Requests whose answer went missing are asked again one at a time.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "engine/worker_context.h"

namespace flintcast::engine {

inline constexpr size_t kDiagBatchWindow = 16;
// One wait of the stream for more bytes (tool time); the answers owed count as lost once the
// stream was silent for the reply limit of a single request (kDiagBatchSilentReads waits).
inline constexpr uint32_t kDiagBatchSilenceMs = 1000;
inline constexpr int kDiagBatchSilentReads = 5;
// Single requests asked again for an answer that went missing.
inline constexpr int kDiagBatchRetries = 5;

// Whether `payload` is the answer to request `index`.
using DiagAnswerCheck = std::function<bool(size_t index, std::span<const uint8_t> payload)>;

struct DiagBatchResult {
    // One entry per request: the answer's payload, or nothing when none came.
    std::vector<std::optional<std::vector<uint8_t>>> answers;
    // False when the unit fell silent for good (or the latch was set): answers are incomplete.
    bool complete = false;
};

DiagBatchResult DiagBatchExchange(WorkerContext& ctx, const std::vector<std::vector<uint8_t>>& requests,
                                  const DiagAnswerCheck& isAnswer);

}  // namespace flintcast::engine
