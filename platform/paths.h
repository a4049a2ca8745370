#pragma once
// Where things live on this machine: the device root (real "/" or a simulated
// tree), device paths of ports, the per-user folders, the staging folders, the
// backup root, the run-log folder and the unattended-test marker. The folders named below are
// the Linux ones; on Windows (platform/win32/paths.cpp) ports are "COM" + number, the
// configuration is under %APPDATA%\Flintcast, backups, logs and the marker under
// %LOCALAPPDATA%\Flintcast, and staging under the system's temporary path.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace flintcast::platform {

// The device root: set by --device-root, else FLINTCAST_DEVICE_ROOT, else "/".
std::filesystem::path DeviceRoot();
void SetDeviceRoot(const std::filesystem::path& root);
// Forgets a root set by SetDeviceRoot (the environment applies again).
void ResetDeviceRoot();

// True for a plain tty name ("ttyUSB2", "ttyACM0"): not empty, no "/",
// not "." or "..", no control characters.
bool IsValidPortName(std::string_view portName);
// <root>/dev/<portName>, or nullopt when the name is not a plain tty name
// (so a bad name can never reach outside the device tree).
std::optional<std::filesystem::path> PortDevicePath(std::string_view portName);

// The Windows port-name rule, kept for a Windows backend: "COM" + number,
// with "\\.\" in front from port 10 up.
std::string WindowsPortDeviceName(int32_t portNumber);
// The bare name shown in messages: "COM" + number.
std::string WindowsPortLabel(int32_t portNumber);

// XDG base folders (an unset, empty or relative variable falls back to the default).
std::filesystem::path ConfigHome();   // $XDG_CONFIG_HOME or ~/.config
std::filesystem::path DataHome();     // $XDG_DATA_HOME or ~/.local/share
std::filesystem::path StateHome();    // $XDG_STATE_HOME or ~/.local/state
std::filesystem::path RuntimeDir();   // $XDG_RUNTIME_DIR or /tmp

// Folders of the tool.
std::filesystem::path AppConfigDir();      // <config>/flintcast
std::filesystem::path TempRoot();          // $TMPDIR (or /tmp) /flintcast-<uid>
std::filesystem::path StagingDir();        // <temp root>/TempFiles
std::filesystem::path SecondStagingDir();  // <temp root>/TempFiles2
std::filesystem::path BackupRoot();        // <data>/flintcast/Backup
std::filesystem::path RunLogDir();         // <state>/flintcast/logs
std::filesystem::path AutotestMarkerDir(); // <state>/flintcast/autotest

}  // namespace flintcast::platform
