#include "engine/dmss_messages.h"

#include "codec/byte_order.h"

namespace flintcast::engine::dmss {

using byte_order::PutBe32;

std::vector<uint8_t> BuildNop() { return {kNop}; }

std::vector<uint8_t> BuildParameterRequest() { return {kParameterRequest}; }

std::vector<uint8_t> BuildWrite(uint32_t address, std::span<const uint8_t> data) {
    std::vector<uint8_t> out;
    out.reserve(7 + data.size());
    out.push_back(kWrite);
    PutBe32(out, address);
    byte_order::PutBe16(out, static_cast<uint16_t>(data.size()));
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

std::vector<uint8_t> BuildGo(uint32_t address) {
    std::vector<uint8_t> out{kGo};
    PutBe32(out, address);
    return out;
}

std::vector<uint8_t> BuildVersionRequest() { return {kVersionRequest}; }


std::vector<uint8_t> BuildServiceProgrammingCode(std::string_view code) {
    std::vector<uint8_t> out{kServiceProgrammingCode};
    for (size_t i = 0; i < kServiceCodeLength; ++i) {
        out.push_back(static_cast<uint8_t>(i < code.size() ? code[i] : '0'));
    }
    return out;
}

bool IsNopAcknowledged(std::span<const uint8_t> raw) {
    return raw.size() == kNopReplyBytes && raw[1] == kAck;
}

ParameterCheck CheckParameterReply(std::span<const uint8_t> raw, uint16_t expectedWriteSize) {
    if (raw.size() != kParameterReplyBytes || raw[0] != kParameterReply || raw[10] != kFlag) {
        return ParameterCheck::Malformed;
    }
    const uint16_t writeSize = byte_order::Be16(raw, 3);
    return writeSize == expectedWriteSize ? ParameterCheck::Ok : ParameterCheck::WrongWriteSize;
}

}  // namespace flintcast::engine::dmss
