#include "package/generator/intel_hex.h"

#include <vector>

#include <fmt/format.h>

#include "codec/byte_order.h"

namespace flintcast::mkpackage {
namespace {

void AppendRecord(std::string& out, uint8_t type, uint16_t address, std::span<const uint8_t> data) {
    uint8_t sum = static_cast<uint8_t>(data.size() + (address >> 8) + (address & 0xFF) + type);
    out += fmt::format(":{:02X}{:04X}{:02X}", data.size(), address, type);
    for (const uint8_t b : data) {
        out += fmt::format("{:02X}", b);
        sum = static_cast<uint8_t>(sum + b);
    }
    out += fmt::format("{:02X}\r\n", static_cast<uint8_t>(0x100 - sum));
}

void AppendUpperWord(std::string& out, uint32_t address) {
    std::vector<uint8_t> word;
    byte_order::PutBe16(word, static_cast<uint16_t>(address >> 16));
    AppendRecord(out, 4, 0, word);
}

}  // namespace

std::string ToIntelHex(std::span<const uint8_t> image, uint32_t loadAddress) {
    std::string out;
    out.reserve(image.size() * 3);
    AppendUpperWord(out, loadAddress);
    for (std::size_t offset = 0; offset < image.size(); offset += 16) {
        const uint32_t address = loadAddress + static_cast<uint32_t>(offset);
        if (offset > 0 && (address & 0xFFFF) == 0) {
            AppendUpperWord(out, address);  // crossed into the next 64 KiB
        }
        const std::size_t n = std::min<std::size_t>(16, image.size() - offset);
        AppendRecord(out, 0, static_cast<uint16_t>(address & 0xFFFF), image.subspan(offset, n));
    }
    std::vector<uint8_t> start;
    byte_order::PutBe32(start, loadAddress);
    AppendRecord(out, 5, 0, start);
    out += ":00000001FF\r\n";
    return out;
}

}  // namespace flintcast::mkpackage
