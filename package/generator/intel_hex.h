#pragma once
// Writing a binary image as Intel HEX: a leading extended linear address record,
// 16-byte data records, a new address record at every 64 KiB, the start address and
// the end-of-file record.
#include <cstdint>
#include <span>
#include <string>

namespace flintcast::mkpackage {

// `loadAddress` is 64 KiB aligned (an upper address word shifted left by 16).
std::string ToIntelHex(std::span<const uint8_t> image, uint32_t loadAddress);

}  // namespace flintcast::mkpackage
