#pragma once
// Requests and reply checks of the DMSS download-mode bootloader protocol.
// Multi-byte fields are big-endian. Builders return the payload before framing.
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace flintcast::engine::dmss {

inline constexpr uint8_t kNop = 0x06;
inline constexpr uint8_t kParameterRequest = 0x07;
inline constexpr uint8_t kParameterReply = 0x08;
inline constexpr uint8_t kWrite = 0x0F;
inline constexpr uint8_t kGo = 0x05;
inline constexpr uint8_t kVersionRequest = 0x0C;
inline constexpr uint8_t kAck = 0x02;
inline constexpr uint8_t kFlag = 0x7E;

// Diagnostic-mode pre-commands of the projects that need the service programming code.
inline constexpr uint8_t kServiceProgrammingCode = 0x41;
inline constexpr size_t kServiceCodeLength = 6;

// Raw reply lengths as they arrive on the port, flags included.
inline constexpr size_t kNopReplyBytes = 5;
inline constexpr size_t kParameterReplyBytes = 11;  // without the flag some bootloaders put first

// Maximum write sizes the bootloader must report.
inline constexpr uint16_t kStandardWriteSize = 0x1000;
inline constexpr uint16_t kLargeWriteSize = 0x4000;

// Programmer blocks: 7 header bytes plus 1,017 data bytes make a 1,024-byte write payload.
inline constexpr size_t kProgrammerBlockBytes = 1017;

std::vector<uint8_t> BuildNop();
std::vector<uint8_t> BuildParameterRequest();
std::vector<uint8_t> BuildWrite(uint32_t address, std::span<const uint8_t> data);
std::vector<uint8_t> BuildGo(uint32_t address);
std::vector<uint8_t> BuildVersionRequest();
// 41 followed by the six characters of the code; a shorter code is padded with '0',
// a longer one cut, so the request always has its fixed length.
std::vector<uint8_t> BuildServiceProgrammingCode(std::string_view code);

// A no-operation answer: 5 raw bytes whose byte 1 is the acknowledgement code.
bool IsNopAcknowledged(std::span<const uint8_t> raw);

enum class ParameterCheck { Ok = 0, Malformed = 1, WrongWriteSize = 2 };
// Checks the 11 raw bytes of a parameter reply: code, closing flag, write size.
ParameterCheck CheckParameterReply(std::span<const uint8_t> raw, uint16_t expectedWriteSize);

}  // namespace flintcast::engine::dmss
