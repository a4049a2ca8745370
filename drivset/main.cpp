// drivset [IMAGE-FOLDER]
//
// The driver installer the tool starts before it declares a device ready. On Linux the USB
// serial drivers of these devices (option, qcserial, cdc-acm) are part of the kernel, so there is
// nothing to install: the installer checks that the kernel can bind a USB serial device and
// records its verdict as [Uninstall] UninstallUDisk in <IMAGE-FOLDER>/Config.ini: 1 for success,
// 0 for failure. The folder defaults to the current directory.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/ini_file.h"
#include "version/version.h"

namespace {

namespace fs = std::filesystem;

// The kernel offers the USB serial class when its tty driver list names a USB serial driver, or
// when the environment points the tool at a device tree (the simulator's), whose ttys are served
// without any driver.
bool SerialDriversPresent() {
    if (const char* root = std::getenv("FLINTCAST_DEVICE_ROOT"); root != nullptr && *root != '\0') {
        return fs::is_directory(fs::path(root) / "dev");
    }
    std::error_code ec;
    for (const char* module : {"/sys/bus/usb-serial", "/sys/bus/usb/drivers/cdc_acm"}) {
        if (fs::exists(module, ec)) return true;
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string first = argc > 1 ? argv[1] : "";
    if (first == "--help" || first == "-h") {
        std::printf(
            "usage: drivset [IMAGE-FOLDER]\n"
            "Checks that the kernel can bind a USB serial device and records the verdict as\n"
            "[Uninstall] UninstallUDisk (1 present, 0 missing) in IMAGE-FOLDER/Config.ini\n"
            "(default: the current folder). Exit 0 when the drivers are present.\n");
        return 0;
    }
    if (first == "--version") {
        std::printf("%s\n", flintcast::version::Line("drivset").c_str());
        return 0;
    }
    if (argc > 2 || (!first.empty() && first[0] == '-')) {
        std::fprintf(stderr, "drivset: unexpected argument %s (see drivset --help)\n", argc > 2 ? argv[2] : argv[1]);
        return 2;
    }
    const fs::path folder = argc > 1 ? fs::path(argv[1]) : fs::current_path();
    const fs::path configPath = folder / "Config.ini";

    std::string error;
    flintcast::platform::IniFile ini;
    if (fs::exists(configPath)) {
        auto loaded = flintcast::platform::IniFile::Load(configPath, &error);
        if (!loaded) {
            std::fprintf(stderr, "drivset: %s: %s\n", configPath.string().c_str(), error.c_str());
            return 1;
        }
        ini = std::move(*loaded);
    }
    const bool ok = SerialDriversPresent();
    ini.writeInteger("Uninstall", "UninstallUDisk", ok ? 1 : 0);
    if (!ini.save(configPath, &error)) {
        std::fprintf(stderr, "drivset: cannot write %s: %s\n", configPath.string().c_str(), error.c_str());
        return 1;
    }
    std::printf("drivset: USB serial drivers %s\n", ok ? "present" : "missing");
    return ok ? 0 : 1;
}
