#include "platform/storage_descriptor.h"

#include <algorithm>

namespace flintcast::platform {
namespace {

// STORAGE_DEVICE_DESCRIPTOR: Version, Size, four one-byte fields, then the text offsets.
constexpr size_t kVendorIdOffset = 8;
constexpr size_t kProductIdOffset = 12;

std::string TextAt(std::span<const uint8_t> d, size_t offsetField) {
    if (d.size() < offsetField + 4) return "(NULL)";
    const size_t at = static_cast<size_t>(d[offsetField]) | static_cast<size_t>(d[offsetField + 1]) << 8 |
                      static_cast<size_t>(d[offsetField + 2]) << 16 | static_cast<size_t>(d[offsetField + 3]) << 24;
    if (at == 0 || at >= d.size()) return "(NULL)";
    const auto end = std::find(d.begin() + static_cast<long>(at), d.end(), uint8_t{0});
    return std::string(d.begin() + static_cast<long>(at), end);
}

}  // namespace

std::vector<uint8_t> StorageDeviceQuery() {
    // PropertyId 0 (StorageDeviceProperty), QueryType 0 (PropertyStandardQuery), one
    // additional-parameters byte and the padding to the structure's size.
    return std::vector<uint8_t>(12, 0);
}

StorageIdentity ParseStorageDeviceDescriptor(std::span<const uint8_t> descriptor) {
    return {TextAt(descriptor, kVendorIdOffset), TextAt(descriptor, kProductIdOffset)};
}

}  // namespace flintcast::platform
