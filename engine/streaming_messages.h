#pragma once
// Requests and reply checks of the streaming download protocol spoken with the
// flash programmer. Multi-byte numbers are little-endian. Builders return the
// payload before framing.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace flintcast::engine::streaming {

inline constexpr uint8_t kHello = 0x01;
inline constexpr uint8_t kHelloReply = 0x02;
inline constexpr uint8_t kSecurityMode = 0x17;
inline constexpr uint8_t kSecurityModeReply = 0x18;
inline constexpr uint8_t kPartitionTable = 0x19;
inline constexpr uint8_t kPartitionTableReply = 0x1A;
inline constexpr uint8_t kOpenMultiImage = 0x1B;
inline constexpr uint8_t kOpenMultiImageReply = 0x1C;
inline constexpr uint8_t kStreamWrite = 0x07;
inline constexpr uint8_t kStreamWriteReply = 0x08;
inline constexpr uint8_t kClose = 0x15;
inline constexpr uint8_t kCloseReply = 0x16;
inline constexpr uint8_t kReset = 0x0B;
inline constexpr uint8_t kResetReply = 0x0C;
inline constexpr uint8_t kPowerOff = 0x11;
inline constexpr uint8_t kPowerOffReply = 0x12;
inline constexpr uint8_t kNak = 0x03;
inline constexpr uint8_t kError = 0x0D;

// Fast transfer extension codes of the flash programmer.
inline constexpr uint8_t kTransmitRequest = 0x20;
inline constexpr uint8_t kWriteFlash = 0x21;
inline constexpr uint8_t kWriteFlashDone = 0x22;
inline constexpr uint8_t kTransmitAccepted = 0x23;
inline constexpr uint8_t kTransmitReset = 0x24;

inline constexpr char kHelloMagic[] = "QCOM fast download protocol host";
inline constexpr uint8_t kHelloVersion = 0x03;
inline constexpr uint8_t kHelloCompatibleVersion = 0x02;
inline constexpr uint8_t kHelloFeatureBits = 0x01;
inline constexpr uint8_t kSecurityModeValue = 0x01;

// Partition table status: the device holds a different table.
inline constexpr uint8_t kPartitionTableDiffers = 0x01;
// A partition table file (and a header file sent with an open request) holds 1 to 511 bytes.
inline constexpr size_t kMaxTableFileBytes = 511;

// Largest stream write data block: the framed-send staging limit with worst-case stuffing.
inline constexpr uint32_t kMaxStreamWriteBlock = 2040;
// Largest fast-transfer block: the outgoing frame's content limit.
inline constexpr uint32_t kMaxFastBlock = 36858;

std::vector<uint8_t> BuildHello();
std::vector<uint8_t> BuildSecurityMode();
std::vector<uint8_t> BuildPartitionTable(bool override, std::span<const uint8_t> table);
std::vector<uint8_t> BuildOpenImage(uint8_t type, std::span<const uint8_t> extra);
std::vector<uint8_t> BuildStreamWrite(uint32_t address, std::span<const uint8_t> data);
std::vector<uint8_t> BuildClose();
std::vector<uint8_t> BuildReset();
std::vector<uint8_t> BuildPowerOff();
// Transmit request (0x20) and transmit reset (0x24) share their layout.
std::vector<uint8_t> BuildTransmit(uint8_t code, uint32_t offset, uint32_t length, uint16_t checkValue);
std::vector<uint8_t> BuildWriteFlash();

// Open reply: 0x1C with status 0x00, or a reply whose byte 1 is 0x00 that is neither a
// negative acknowledgement nor an error report (those also carry 0x00 there).
bool IsOpenAccepted(std::span<const uint8_t> payload);

// The stream write acknowledgement after unstuffing: 08 and the echoed address.
bool IsStreamWriteAck(std::span<const uint8_t> payload, uint32_t address);

// Fast transfer replies are plain port reads; byte 1 carries the answer code.
bool IsTransmitAccepted(std::span<const uint8_t> raw);
bool IsTransmitResetAccepted(std::span<const uint8_t> raw);
bool IsWriteFlashDone(std::span<const uint8_t> raw);

// " 7E 08 00 ..." : each byte as a blank and two upper-case hexadecimal digits.
std::string HexBytes(std::span<const uint8_t> bytes);

}  // namespace flintcast::engine::streaming
