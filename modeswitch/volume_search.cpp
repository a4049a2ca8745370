#include "modeswitch/volume_search.h"

#include <algorithm>
#include <cctype>

namespace flintcast::modeswitch {
namespace {

std::string Upper(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return out;
}

}  // namespace

std::optional<platform::VolumeRecord> FindDiskByDriveLetter(const std::vector<platform::VolumeRecord>& volumes,
                                                            std::string_view vendor, std::string_view product) {
    std::optional<platform::VolumeRecord> found;
    for (const auto& volume : volumes)
        if (volume.identity.vendor == vendor && volume.identity.product == product) found = volume;
    return found;
}

std::optional<std::string> FindDiskByFriendlyName(const std::vector<platform::DiskInterfaceRecord>& interfaces,
                                                  std::string_view friendlyName) {
    const std::string wanted = Upper(friendlyName);
    for (const auto& record : interfaces)
        if (Upper(record.friendlyName) == wanted && record.path.size() <= kMaxDevicePath) return record.path;
    return std::nullopt;
}

}  // namespace flintcast::modeswitch
