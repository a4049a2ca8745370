#include "modeswitch/switch_log.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "platform/paths.h"

namespace flintcast::modeswitch {

namespace {
constexpr std::uintmax_t kLogLimitBytes = 256 * 1024;
}  // namespace

void AppendToSwitchLog(const std::vector<std::string>& lines) {
    if (lines.empty()) return;
    std::error_code ec;
    const auto folder = platform::RunLogDir();
    std::filesystem::create_directories(folder, ec);
    const auto file = folder / "gearswap.log";
    const auto size = std::filesystem::file_size(file, ec);
    std::ofstream out(file, !ec && size > kLogLimitBytes ? std::ios::trunc : std::ios::app);
    for (const auto& line : lines) out << line << '\n';
}

}  // namespace flintcast::modeswitch
