#pragma once
// The driver installer's verdict, kept as [Uninstall] UninstallUDisk in the image
// folder's Config.ini: 1 after a successful install; the tool resets it to 0
// whenever the device check finds no device.
#include <cstdint>
#include <filesystem>
#include <string>

namespace flintcast::config {

// 0 when the file or the key is absent or unreadable.
int32_t ReadUninstallUDisk(const std::filesystem::path& configPath);
// Writes 0, keeping the rest of the file; false (with a reason) when it cannot.
bool ResetUninstallUDisk(const std::filesystem::path& configPath, std::string* error = nullptr);

}  // namespace flintcast::config
