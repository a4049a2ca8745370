#pragma once
// Placing decoded HEX records into a flat binary image.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "converter/hex_records.h"

namespace flintcast::converter {

inline constexpr std::size_t kMaxInputBytes = 819200;
inline constexpr std::size_t kMaxOutputBytes = 409600;
inline constexpr std::size_t kMaxDataRecords = 25600;

struct ImageBuild {
    bool ok = false;
    std::string message;
    std::vector<uint8_t> bytes;  // the image, from the load address to the end of the last data
};

// Places every data record at its address relative to the load address (the
// value of the leading extended address record, 0 without one), gaps filled by 0xFF.
// Extended linear (4) and segment (2) address records move the base; start
// address records (3, 5) carry no image data. Records must ascend without overlap.
ImageBuild BuildImage(const std::vector<HexRecord>& records);

}  // namespace flintcast::converter
