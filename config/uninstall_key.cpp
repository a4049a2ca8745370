#include "config/uninstall_key.h"

#include "platform/ini_file.h"

#include <system_error>

namespace flintcast::config {

int32_t ReadUninstallUDisk(const std::filesystem::path& configPath) {
    const auto ini = platform::IniFile::Load(configPath);
    return ini ? ini->readInteger("Uninstall", "UninstallUDisk", 0) : 0;
}

bool ResetUninstallUDisk(const std::filesystem::path& configPath, std::string* error) {
    platform::IniFile ini;
    std::error_code ec;
    if (std::filesystem::exists(configPath, ec)) {
        auto loaded = platform::IniFile::Load(configPath, error);
        if (!loaded) return false;  // never replace a file we could not read
        ini = std::move(*loaded);
    }
    ini.writeInteger("Uninstall", "UninstallUDisk", 0);
    return ini.save(configPath, error);
}

}  // namespace flintcast::config
