#pragma once
// The mode switch command as the tool carries it: six two-digit hexadecimal numbers separated by
// one blank ("06 f5 04 02 52 80").
#include <array>
#include <cstdint>
#include <string_view>

namespace flintcast::modeswitch {

using CommandBytes = std::array<uint8_t, 6>;

// Two characters per byte, either case, the separating blank skipped; a character that is not a
// hexadecimal digit, or one the text lacks, counts as 0.
CommandBytes ParseCommandText(std::string_view text);

}  // namespace flintcast::modeswitch
