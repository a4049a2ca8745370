#pragma once
// The retry loop of every NV request: the request is framed once and sent again until an
// answer with the expected first byte comes back, or the attempt limit is reached.
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "engine/worker_context.h"

namespace flintcast::engine {

struct NvRequestRule {
    uint8_t expected;  // first byte of a good answer
    int limit;         // the attempt that gives up without looking at its answer
    int pauseFrom;     // attempts from this one on pause after their read; 0: never
};

inline constexpr uint32_t kNvRetryPauseMs = 500;

inline constexpr NvRequestRule kNvReadRule{0x26, 99, 2};
inline constexpr NvRequestRule kRfNvReadRule{0x4B, 99, 2};
inline constexpr NvRequestRule kNvWriteRule{0x27, 99, 3};
inline constexpr NvRequestRule kRfNvWriteRule{0x4B, 99, 3};
inline constexpr NvRequestRule kNvCommandRule{0x27, 50, 3};
inline constexpr NvRequestRule kRfNvFixWriteRule{0x4B, 99, 0};

// Where an answer repeats the item id it is about. An answer long enough to hold the id but
// naming another item is a late answer to an earlier request and is not taken.
struct AnswerItem {
    size_t idAt;
    uint16_t id;
};

// What a DIAG answer that refuses a request outright means, by its first byte: the unit does
// not know the command (0x13), finds a parameter or the length wrong (0x14, 0x15), or keeps
// the item behind its security lock until the service programming code is accepted (0x42,
// 0x47). Nothing for any other byte. Asking again would only get the same answer.
std::optional<std::string_view> DiagRefusalMeaning(uint8_t firstByte);

// Runs the loop for `request`. Returns the accepted answer (payload and check sequence, as the
// frame reader left it in the reply buffer), or nothing when the loop gives up. Only whole
// frames with a good check sequence are taken. A stop request ends the loop at once, and so
// does a refusal of this request: its error, naming the item, is latched.
std::optional<std::span<const uint8_t>> RunNvRequest(WorkerContext& ctx, std::span<const uint8_t> request,
                                                     const NvRequestRule& rule,
                                                     std::optional<AnswerItem> item = std::nullopt);

}  // namespace flintcast::engine
