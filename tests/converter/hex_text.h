#pragma once
// Writes Intel HEX text for the converter tests, record by record, so each test
// can shape its records (lengths, address jumps, record types) as it needs.
#include <cstdint>
#include <string>
#include <vector>

namespace flintcast::testing {

class HexText {
public:
    // A record with a correct checksum.
    HexText& record(uint8_t type, uint16_t address, const std::vector<uint8_t>& data);
    HexText& data(uint16_t address, const std::vector<uint8_t>& bytes) { return record(0, address, bytes); }
    HexText& linearBase(uint16_t upperWord);
    HexText& segmentBase(uint16_t segment);
    // Raw text appended unchanged.
    HexText& raw(const std::string& text);
    HexText& end() { return raw(":00000001FF\n"); }
    const std::string& str() const { return text_; }

private:
    std::string text_;
};

// Deterministic bytes for test data.
std::vector<uint8_t> Pattern(std::size_t size, uint8_t seed);

}  // namespace flintcast::testing
