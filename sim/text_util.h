#pragma once
// Small text helpers shared by the simulator's parsers.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace flintcast::sim {

std::string_view Trim(std::string_view s);
std::string ToLower(std::string_view s);
std::string ToUpper(std::string_view s);
bool StartsWith(std::string_view s, std::string_view prefix);
// Decimal or 0x-hex integer; nullopt on anything else (signs allowed for decimals).
std::optional<int64_t> ParseNumber(std::string_view s);

}  // namespace flintcast::sim
