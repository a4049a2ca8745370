#pragma once
// Finding the data card's disk where Windows shows it: among the volumes by the identification
// their storage descriptor reports (exact; the last matching drive letter wins), or among the
// disk interfaces by friendly name (ignoring case; the first match wins).
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/windows_storage.h"

namespace flintcast::modeswitch {

// The longest device path the program keeps; a longer interface path is not used.
inline constexpr size_t kMaxDevicePath = 260;

std::optional<platform::VolumeRecord> FindDiskByDriveLetter(const std::vector<platform::VolumeRecord>& volumes,
                                                            std::string_view vendor, std::string_view product);

std::optional<std::string> FindDiskByFriendlyName(const std::vector<platform::DiskInterfaceRecord>& interfaces,
                                                  std::string_view friendlyName);

}  // namespace flintcast::modeswitch
