// flintcast-gearswap: switches a data card that shows itself only as a USB disk into its modem
// personality. Started by the tool without arguments and without waiting; it reads nothing from
// its command line, shows nothing and exits when done. The device root comes from
// FLINTCAST_DEVICE_ROOT and the time scale from FLINTCAST_TIME_SCALE, as for the tool itself.
// What it sent and what the disk answered is appended to gearswap.log in the tool's log folder.
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#include "modeswitch/mode_switch.h"
#include "platform/paths.h"

namespace {

// The log only grows when a disk was found; it starts over once it passes this size.
constexpr std::uintmax_t kLogLimitBytes = 256 * 1024;

void AppendToLog(const std::vector<std::string>& lines) {
    if (lines.empty()) return;
    std::error_code ec;
    const auto folder = flintcast::platform::RunLogDir();
    std::filesystem::create_directories(folder, ec);
    const auto file = folder / "gearswap.log";
    const auto size = std::filesystem::file_size(file, ec);
    std::ofstream out(file, !ec && size > kLogLimitBytes ? std::ios::trunc : std::ios::app);
    for (const auto& line : lines) out << line << '\n';
}

}  // namespace

int main() {
    std::vector<std::string> lines;
    try {
        flintcast::modeswitch::SwitchSetup setup;
        setup.deviceRoot = flintcast::platform::DeviceRoot();
        setup.log = [&lines](std::string_view line) {
            std::fprintf(stderr, "flintcast-gearswap: %.*s\n", static_cast<int>(line.size()), line.data());
            lines.emplace_back(line);
        };
        flintcast::modeswitch::SwitchToModem(setup);
    } catch (const std::exception& e) {
        lines.emplace_back(std::string("flintcast-gearswap: ") + e.what());
    }
    AppendToLog(lines);
    return 0;
}
