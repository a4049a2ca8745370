// modemkick: resets the device's modem and reports the result code through the
// Config.ini in its own folder ([Project] ExecuteModemkick). Started without
// arguments; the device root comes from FLINTCAST_DEVICE_ROOT.
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include "modemkick/kick.h"
#include "platform/paths.h"
#include "version/version.h"

int main(int argc, char** argv) {
    const std::string first = argc > 1 ? argv[1] : "";
    if (first == "--help" || first == "-h") {
        std::printf(
            "usage: modemkick\n"
            "Resets the device's modem (the device tree comes from FLINTCAST_DEVICE_ROOT) and writes\n"
            "the result code as [Project] ExecuteModemkick into the Config.ini beside the program.\n");
        return 0;
    }
    if (first == "--version") {
        std::printf("%s\n", flintcast::version::Line("modemkick").c_str());
        return 0;
    }
    if (argc > 1) {
        std::fprintf(stderr, "modemkick: takes no arguments (see modemkick --help)\n");
        return 2;
    }
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) {
        return 2;
    }
    const std::filesystem::path config = self.parent_path() / "Config.ini";
    const int code = flintcast::modemkick::ResetModem(flintcast::platform::DeviceRoot());
    return flintcast::modemkick::WriteResult(config, code) ? 0 : 1;
}
