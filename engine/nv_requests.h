#pragma once
// DIAG packets of the NV item service: plain NV read and write (128-byte items) and the RF NV
// read and write of the factory-test subsystem (items of any size). All fields little-endian.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace flintcast::engine {

inline constexpr uint8_t kNvReadCommand = 0x26;
inline constexpr uint8_t kNvWriteCommand = 0x27;
inline constexpr uint8_t kSubsystemDispatch = 0x4B;
inline constexpr size_t kNvItemBytes = 128;
// An NV request: command, id, 128 data bytes, two trailing bytes.
inline constexpr size_t kNvRequestBytes = 133;
// An NV answer as the frame reader returns it: the request's layout with the status word in
// the two trailing bytes, then the check sequence.
inline constexpr size_t kNvAnswerBytes = kNvRequestBytes + 2;
// One nv.bak record: item id and item data.
inline constexpr size_t kNvRecordBytes = 2 + kNvItemBytes;

// RF NV answers: factory-test header (10 bytes), status, id, data size, data, check sequence.
inline constexpr size_t kRfNvStatusAt = 10;
inline constexpr size_t kRfNvIdAt = 12;
inline constexpr size_t kRfNvSizeAt = 14;
inline constexpr size_t kRfNvDataAt = 16;

std::array<uint8_t, kNvRequestBytes> NvReadRequest(int32_t id);
// `data` holds up to 128 bytes; the rest of the item is zero.
std::array<uint8_t, kNvRequestBytes> NvWriteRequest(int32_t id, std::span<const uint8_t> data);
std::vector<uint8_t> RfNvReadRequest(int32_t id);
std::vector<uint8_t> RfNvWriteRequest(int32_t id, std::span<const uint8_t> data);

}  // namespace flintcast::engine
