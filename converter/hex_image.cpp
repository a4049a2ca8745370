#include "converter/hex_image.h"

#include <algorithm>
#include <optional>

#include "converter/messages.h"

namespace flintcast::converter {
namespace {

enum RecordType : uint8_t {
    kData = 0,
    kExtendedSegment = 2,
    kStartSegment = 3,
    kExtendedLinear = 4,
    kStartLinear = 5,
};

ImageBuild Failure(std::string_view message) {
    ImageBuild build;
    build.message = std::string(message);
    return build;
}

bool ChecksumAddsUp(const HexRecord& record) {
    uint8_t sum = 0;
    for (const uint8_t b : record) sum = static_cast<uint8_t>(sum + b);
    return sum == 0;
}

}  // namespace

ImageBuild BuildImage(const std::vector<HexRecord>& records) {
    std::vector<uint8_t> out(kMaxOutputBytes, 0xFF);
    uint64_t base = 0;                  // address added to the record's 16-bit address
    std::optional<uint64_t> loadAddress;
    uint64_t written = 0;               // end of the last data placed, relative to the load address
    std::size_t dataRecords = 0;

    for (const HexRecord& record : records) {
        if (record.size() < 5) return Failure(kShortRecord);
        const std::size_t count = record[0];
        if (count + 5 != record.size()) return Failure(kCountMismatch);
        if (!ChecksumAddsUp(record)) return Failure(kBadChecksum);
        const uint64_t address = static_cast<uint64_t>(record[1]) << 8 | record[2];
        const uint8_t* data = record.data() + 4;

        switch (record[3]) {
        case kData: {
            if (++dataRecords > kMaxDataRecords) return Failure(kBeyondOutputLimit);
            const uint64_t absolute = base + address;
            if (!loadAddress) loadAddress = base;
            if (absolute < *loadAddress) return Failure(kAddressOrder);
            const uint64_t offset = absolute - *loadAddress;
            if (offset < written) return Failure(kAddressOrder);
            if (offset + count > kMaxOutputBytes) return Failure(kBeyondOutputLimit);
            std::copy(data, data + count, out.begin() + static_cast<std::ptrdiff_t>(offset));
            if (count > 0) written = offset + count;
            break;
        }
        case kExtendedSegment:
        case kExtendedLinear: {
            if (count != 2) return Failure(kCountMismatch);
            const uint64_t word = static_cast<uint64_t>(data[0]) << 8 | data[1];
            base = record[3] == kExtendedLinear ? word << 16 : word << 4;
            // The leading address record gives the address the tool loads the image at.
            if (!loadAddress) loadAddress = base;
            break;
        }
        case kStartSegment:
        case kStartLinear:
            break;  // an entry point, no image data
        default:
            return Failure(kUnknownRecordType);
        }
    }
    if (written < 1) return Failure(kOutputLengthWrong);
    out.resize(static_cast<std::size_t>(written));
    ImageBuild build;
    build.ok = true;
    build.bytes = std::move(out);
    return build;
}

}  // namespace flintcast::converter
