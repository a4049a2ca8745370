#pragma once
// Finding an Android unit's USB interfaces in the device tree: the fastboot interface (class
// ff, subclass 42, protocol 03) and the adb interface (protocol 01). The answer is the name
// of the link that reaches the device: "usb:BUS:DEV" for libusb on a real system, or the
// "tcp:HOST:PORT" text of the device node's link when the node stands for a network device.
#include <cstdint>
#include <filesystem>
#include <string>

namespace flintcast::controller {

inline constexpr int32_t kAndroidInterfaceReady = 0;
inline constexpr int32_t kAndroidNotInFastbootMode = 255;
inline constexpr int32_t kAndroidInterfaceMissing = 259;  // "no more items"

enum class AndroidInterface { Fastboot, Adb };

// Interface `index` (in the order of their sysfs paths) of the wanted kind under `root`.
// Fastboot: 0 with `name` filled; 255 when there is no fastboot interface at that index but an
// adb one (the unit runs Android, not its bootloader); 259 when there is neither.
// Adb: 0 with `name` filled, else 259.
int32_t FindAndroidInterface(const std::filesystem::path& root, AndroidInterface kind, int index, std::string& name);

}  // namespace flintcast::controller
