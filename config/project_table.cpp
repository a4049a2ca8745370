#include "config/project_table.h"

#include "config/project_config.h"

#include <array>

namespace flintcast::config {
namespace {

constexpr std::array<ProjectCode, 49> kProjects{{
    {"PRJ00", 0},  {"PRJ01", 1},  {"PRJ02", 2},  {"PRJ03", 3},  {"PRJ04", 4},  {"PRJ05", 5},  {"PRJ06", 6},
    {"PRJ07", 7},  {"PRJ08", 8},  {"PRJ09", 9},  {"PRJ10", 10}, {"PRJ11", 11}, {"PRJ12", 12}, {"PRJ13", 13},
    {"PRJ14", 14}, {"PRJ15", 15}, {"PRJ16", 16}, {"PRJ17", 17}, {"PRJ18", 18}, {"PRJ19", 19}, {"PRJ20", 20},
    {"PRJ21", 21}, {"PRJ22", 22}, {"PRJ23", 23}, {"PRJ24", 24}, {"PRJ25", 25}, {"PRJ26", 26}, {"PRJ27", 27},
    {"PRJ28", 28}, {"PRJ29", 29}, {"PRJ30", 30}, {"PRJ31", 31}, {"PRJ32", 32}, {"PRJ33", 33}, {"PRJ34", 34},
    {"PRJ35", 35}, {"PRJ36", 36}, {"PRJ37", 37}, {"PRJ38", 38}, {"PRJ48", 48}, {"PRJ39", 39}, {"PRJ40", 40},
    {"PRJ41", 41}, {"PRJ42", 42}, {"PRJ43", 43}, {"PRJ44", 44}, {"PRJ45", 45}, {"PRJ46", 46}, {"PRJ47", 47},
}};

constexpr std::array<PlatformChip, 8> kPlatforms{{
    {"9200", 0},
    {"6260", 186},
    {"6246", 33},
    {"6290", 29},
    {"6270", 19},
    {"6085", 119},
    {"7225", 13},
    {"8200", 8},
}};

}  // namespace

std::span<const ProjectCode> ProjectTable() { return kProjects; }
std::span<const PlatformChip> PlatformTable() { return kPlatforms; }

int32_t ProjectTypeFromCode(std::string_view code) {
    for (const auto& p : kProjects)
        if (p.code == code) return p.number;
    return kUnknownProject;
}

std::optional<int32_t> PlatformNumberFromName(std::string_view platform) {
    for (const auto& p : kPlatforms)
        if (platform.find(p.chip) != std::string_view::npos) return p.number;
    if (platform == "UNKNOWN") return kUnknownPlatform;
    return std::nullopt;
}

}  // namespace flintcast::config
