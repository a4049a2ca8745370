#pragma once
// The status of an NV answer: which byte carries it, what it means, and how each caller
// reports it (a logged line, an error, or nothing).
#include <cstdint>
#include <span>
#include <string_view>

#include "engine/reporter.h"

namespace flintcast::engine {

enum class NvStatusVariant {
    Plain,    // NV backup and restore: 16-bit status; 5, 6 logged, everything else an error
    Rf,       // RF NV backup and fix-up: status byte; 5, 6 logged, 1, 4 silent, the rest an error
    Project,  // project-12 backup and restore: 16-bit status; 5, 6 logged and taken as success
    Custom,   // NV command list: 16-bit status; every non-zero status an error
};

inline constexpr int kNvStatusUnknown = 100;
inline constexpr int kNvStatusInactive = 5;
inline constexpr int kNvStatusBadParameter = 6;

// 0 to 10 stand for themselves; any other status byte is 100.
int ClassifyNvStatusByte(uint8_t status);
// The text appended to an item prefix for a classified status ("" for 0).
std::string_view NvStatusText(int result);

// Classifies and reports the status of `answer` (the reply with its check sequence). A
// 16-bit status sits in the two bytes before the check sequence: the high byte decides when
// it is not 0, else the low byte. The byte status of an RF NV answer is byte 10. An answer
// too short to hold its status counts as an unknown status.
int CheckNvStatus(Reporter& reporter, std::span<const uint8_t> answer, std::string_view prefix,
                  NvStatusVariant variant);

}  // namespace flintcast::engine
