// modemkick: resets the device's modem and reports the result code through the
// Config.ini in its own folder ([Project] ExecuteModemkick). Started without
// arguments; the device root comes from FLINTCAST_DEVICE_ROOT.
#include <filesystem>
#include <system_error>

#include "modemkick/kick.h"
#include "platform/paths.h"

int main() {
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) {
        return 2;
    }
    const std::filesystem::path config = self.parent_path() / "Config.ini";
    const int code = flintcast::modemkick::ResetModem(flintcast::platform::DeviceRoot());
    return flintcast::modemkick::WriteResult(config, code) ? 0 : 1;
}
