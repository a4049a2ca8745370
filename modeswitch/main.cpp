// flintcast-gearswap: switches a data card that shows itself only as a USB disk into its modem
// personality. Started by the tool without arguments and without waiting; it reads nothing from
// its command line, shows nothing and exits when done. The device root comes from
// FLINTCAST_DEVICE_ROOT and the time scale from FLINTCAST_TIME_SCALE, as for the tool itself.
// What it sent and what the disk answered is appended to gearswap.log in the tool's log folder.
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "modeswitch/mode_switch.h"
#include "modeswitch/switch_log.h"
#include "platform/paths.h"
#include "version/version.h"

int main(int argc, char** argv) {
    // The tool starts it without arguments; these two are for people.
    const std::string first = argc > 1 ? argv[1] : "";
    if (first == "--help" || first == "-h") {
        std::printf(
            "usage: flintcast-gearswap\n"
            "Finds an attached \"USBModem Disk\" and sends it the switch into its modem personality;\n"
            "what it sent and what the disk answered goes to gearswap.log in the tool's log folder.\n");
        return 0;
    }
    if (first == "--version") {
        std::printf("%s\n", flintcast::version::Line("flintcast-gearswap").c_str());
        return 0;
    }
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
    flintcast::modeswitch::AppendToSwitchLog(lines);
    return 0;
}
