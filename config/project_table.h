#pragma once
// Project codes and platform names of Config.ini, mapped to the numbers that the
// rest of the tool compares.
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace flintcast::config {

struct ProjectCode {
    std::string_view code;
    int32_t number;
};
struct PlatformChip {
    std::string_view chip;
    int32_t number;
};

// Project codes in matching order (PRJ48 sits between PRJ38 and PRJ39).
std::span<const ProjectCode> ProjectTable();
// Chip numbers in matching order.
std::span<const PlatformChip> PlatformTable();

// Exact, case-sensitive match; -1 when the code is unknown.
int32_t ProjectTypeFromCode(std::string_view code);
// The first chip number the value contains, 255 for exactly "UNKNOWN",
// nullopt for anything else (a configuration error).
std::optional<int32_t> PlatformNumberFromName(std::string_view platform);

}  // namespace flintcast::config
