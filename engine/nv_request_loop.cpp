#include "engine/nv_request_loop.h"

#include "codec/byte_order.h"
#include "engine/diag_exchange.h"
#include "engine/diag_requests.h"
#include "engine/nv_requests.h"

#include <fmt/format.h>

namespace flintcast::engine {
namespace {

// The refusals of an item behind the unit's security lock.
bool IsSecurityRefusal(uint8_t firstByte) { return firstByte == 0x42 || firstByte == 0x47; }

// A refusal echoes the request behind its code; an echo of another request is a late answer.
bool RefusesThis(std::span<const uint8_t> answer, std::span<const uint8_t> request) {
    const auto payload = answer.first(answer.size() - 2);
    return diag::RefusalOf(payload, request).has_value() ||
           (payload.size() >= 2 && !request.empty() && payload[1] == request[0] && IsSecurityRefusal(payload[0]));
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
    if (IsSecurityRefusal(firstByte)) return "the unit's security lock is on (service programming code not accepted)";
    if (const auto typed = diag::AsRefusal(firstByte)) return diag::RefusalMeaning(*typed);
    return std::nullopt;
}

std::optional<std::span<const uint8_t>> RunNvRequest(WorkerContext& ctx, std::span<const uint8_t> request,
                                                     const NvRequestRule& rule, std::optional<AnswerItem> item) {
    for (int attempt = 1;; ++attempt) {
        if (ctx.reporter.stopRequested()) return std::nullopt;
        const DiagAnswer reply = DiagExchange(ctx, request);
        if (attempt >= rule.limit) return std::nullopt;
        if (rule.pauseFrom > 0 && attempt >= rule.pauseFrom) ctx.clock.sleepMs(kNvRetryPauseMs);
        const std::optional<std::span<const uint8_t>> answer =
            reply.received() ? std::optional(reply.frame) : std::nullopt;
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
