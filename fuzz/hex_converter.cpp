// The HEX-to-binary converter: any text converts or fails with a message, an image never
// exceeds the output limit, and data written as HEX records converts back to the same bytes.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "converter/hex_image.h"
#include "converter/hex_records.h"
#include "fuzz/fuzz_check.h"

using namespace flintcast::converter;

namespace {

void AppendRecord(std::string& out, uint8_t type, uint16_t address, std::span<const uint8_t> data) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::vector<uint8_t> raw{static_cast<uint8_t>(data.size()), static_cast<uint8_t>(address >> 8),
                             static_cast<uint8_t>(address), type};
    raw.insert(raw.end(), data.begin(), data.end());
    uint8_t sum = 0;
    for (uint8_t b : raw) sum = static_cast<uint8_t>(sum + b);
    raw.push_back(static_cast<uint8_t>(-sum));
    out += ':';
    for (uint8_t b : raw) {
        out += kDigits[b >> 4];
        out += kDigits[b & 15];
    }
    out += "\r\n";
}

void Convert(std::string_view text) {
    const RecordSplit split = SplitHexRecords(text);
    FUZZ_CHECK(split.ok || !split.message.empty());
    if (!split.ok) return;
    const ImageBuild image = BuildImage(split.records);
    FUZZ_CHECK(image.ok || !image.message.empty());
    if (image.ok) FUZZ_CHECK(!image.bytes.empty() && image.bytes.size() <= kMaxOutputBytes);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Convert(std::string_view(reinterpret_cast<const char*>(data), size));
    if (size < 3) return 0;

    // Round trip: a base record from the first two bytes, the rest as data in records of up
    // to 16 bytes from address 0; the image is exactly the data.
    const uint16_t upper = static_cast<uint16_t>(data[0] << 8 | data[1]);
    const std::span<const uint8_t> payload(data + 2, std::min<size_t>(size - 2, 0x10000));
    std::string hex;
    AppendRecord(hex, 4, 0, std::vector<uint8_t>{static_cast<uint8_t>(upper >> 8), static_cast<uint8_t>(upper)});
    for (size_t at = 0; at < payload.size(); at += 16)
        AppendRecord(hex, 0, static_cast<uint16_t>(at), payload.subspan(at, std::min<size_t>(16, payload.size() - at)));
    hex += ":00000001FF\r\n";
    const RecordSplit split = SplitHexRecords(hex);
    FUZZ_CHECK(split.ok);
    const ImageBuild image = BuildImage(split.records);
    FUZZ_CHECK(image.ok);
    FUZZ_CHECK(image.bytes == std::vector<uint8_t>(payload.begin(), payload.end()));
    return 0;
}
