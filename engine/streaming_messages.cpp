#include "engine/streaming_messages.h"

#include <fmt/format.h>

#include "codec/byte_order.h"

namespace flintcast::engine::streaming {

using byte_order::PutLe32;

std::vector<uint8_t> BuildHello() {
    std::vector<uint8_t> out{kHello};
    for (size_t i = 0; i + 1 < sizeof(kHelloMagic); ++i) out.push_back(static_cast<uint8_t>(kHelloMagic[i]));
    out.push_back(kHelloVersion);
    out.push_back(kHelloCompatibleVersion);
    out.push_back(kHelloFeatureBits);
    return out;
}

std::vector<uint8_t> BuildSecurityMode() { return {kSecurityMode, kSecurityModeValue}; }

std::vector<uint8_t> BuildPartitionTable(bool override, std::span<const uint8_t> table) {
    std::vector<uint8_t> out{kPartitionTable, static_cast<uint8_t>(override ? 1 : 0)};
    out.insert(out.end(), table.begin(), table.end());
    return out;
}

std::vector<uint8_t> BuildOpenImage(uint8_t type, std::span<const uint8_t> extra) {
    std::vector<uint8_t> out{kOpenMultiImage, type};
    out.insert(out.end(), extra.begin(), extra.end());
    return out;
}

std::vector<uint8_t> BuildStreamWrite(uint32_t address, std::span<const uint8_t> data) {
    std::vector<uint8_t> out;
    out.reserve(5 + data.size());
    out.push_back(kStreamWrite);
    PutLe32(out, address);
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

std::vector<uint8_t> BuildClose() { return {kClose}; }
std::vector<uint8_t> BuildReset() { return {kReset}; }
std::vector<uint8_t> BuildPowerOff() { return {kPowerOff}; }

std::vector<uint8_t> BuildTransmit(uint8_t code, uint32_t offset, uint32_t length, uint16_t checkValue) {
    std::vector<uint8_t> out{code};
    PutLe32(out, offset);
    PutLe32(out, length);
    byte_order::PutLe16(out, checkValue);
    return out;
}

std::vector<uint8_t> BuildWriteFlash() { return {kWriteFlash, 0, 0, 0, 0}; }

bool IsOpenAccepted(std::span<const uint8_t> payload) {
    if (payload.empty()) return false;
    // The open answer carries a status: anything but 0 is the device refusing the image.
    if (payload[0] == kOpenMultiImageReply) return payload.size() > 1 && payload[1] == 0x00;
    return payload.size() > 1 && payload[1] == 0x00 && payload[0] != kNak && payload[0] != kError;
}

bool IsStreamWriteAck(std::span<const uint8_t> payload, uint32_t address) {
    if (payload.size() != 5 || payload[0] != kStreamWriteReply) return false;
    return byte_order::Le32(payload, 1) == address;
}

bool IsTransmitAccepted(std::span<const uint8_t> raw) {
    return raw.size() >= 2 && raw[1] == kTransmitAccepted;
}

bool IsTransmitResetAccepted(std::span<const uint8_t> raw) {
    return raw.size() >= 4 && raw[1] == kTransmitAccepted && raw[2] == 0xFF && raw[3] == 0xFF;
}

bool IsWriteFlashDone(std::span<const uint8_t> raw) {
    return raw.size() >= 2 && raw[1] == kWriteFlashDone;
}

std::string HexBytes(std::span<const uint8_t> bytes) {
    std::string out;
    out.reserve(bytes.size() * 3);
    for (uint8_t b : bytes) out += fmt::format(" {:02X}", b);
    return out;
}

}  // namespace flintcast::engine::streaming
