#pragma once
// The storage device descriptor Windows' IOCTL_STORAGE_QUERY_PROPERTY returns for a volume or
// disk: the query that asks for it and the identification texts read from it. Pure bytes, so
// the reading is tested on any system.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace flintcast::platform {

// The output area the query is given, as the mode switch program sizes it.
inline constexpr size_t kStorageDescriptorArea = 551;

// STORAGE_PROPERTY_QUERY for StorageDeviceProperty with PropertyStandardQuery: 12 bytes.
std::vector<uint8_t> StorageDeviceQuery();

struct StorageIdentity {
    std::string vendor;   // "(NULL)" when the descriptor names none
    std::string product;
};

// Reads the vendor and product identification of a STORAGE_DEVICE_DESCRIPTOR: each is the
// zero-terminated text at its offset, blanks kept. An offset of 0, or one that points outside
// the bytes the query returned, gives "(NULL)"; a text without its terminating zero ends with
// the returned bytes.
StorageIdentity ParseStorageDeviceDescriptor(std::span<const uint8_t> descriptor);

}  // namespace flintcast::platform
