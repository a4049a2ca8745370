#include "tests/converter/hex_text.h"

#include <fmt/format.h>

namespace flintcast::testing {

HexText& HexText::record(uint8_t type, uint16_t address, const std::vector<uint8_t>& data) {
    uint8_t sum = static_cast<uint8_t>(data.size() + (address >> 8) + (address & 0xFF) + type);
    text_ += fmt::format(":{:02X}{:04X}{:02X}", data.size(), address, type);
    for (const uint8_t b : data) {
        text_ += fmt::format("{:02X}", b);
        sum = static_cast<uint8_t>(sum + b);
    }
    text_ += fmt::format("{:02X}\n", static_cast<uint8_t>(-sum));
    return *this;
}

HexText& HexText::linearBase(uint16_t upperWord) {
    return record(4, 0, {static_cast<uint8_t>(upperWord >> 8), static_cast<uint8_t>(upperWord)});
}

HexText& HexText::segmentBase(uint16_t segment) {
    return record(2, 0, {static_cast<uint8_t>(segment >> 8), static_cast<uint8_t>(segment)});
}

HexText& HexText::raw(const std::string& text) {
    text_ += text;
    return *this;
}

std::vector<uint8_t> Pattern(std::size_t size, uint8_t seed) {
    std::vector<uint8_t> bytes(size);
    uint32_t state = 0x9E3779B9u ^ seed;
    for (auto& b : bytes) {
        state = state * 1664525u + 1013904223u;
        b = static_cast<uint8_t>(state >> 24);
    }
    return bytes;
}

}  // namespace flintcast::testing
