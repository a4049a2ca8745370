#include "platform/scsi_pass_through_layout.h"

#include <algorithm>

namespace flintcast::platform {
namespace {

// Field offsets of SCSI_PASS_THROUGH (64-bit).
constexpr size_t kLength = 0, kScsiStatus = 2, kPathId = 3, kTargetId = 4, kLun = 5, kCdbLength = 6,
                 kSenseInfoLength = 7, kDataIn = 8, kDataTransferLength = 12, kTimeOutValue = 16,
                 kDataBufferOffset = 24, kSenseInfoOffset = 32, kCdb = 36;
constexpr size_t kCdbSpace = 16;

// SCSI_IOCTL_DATA_OUT, _IN and _UNSPECIFIED.
uint8_t DataInValue(ScsiDirection d) {
    switch (d) {
        case ScsiDirection::ToDevice: return 0;
        case ScsiDirection::FromDevice: return 1;
        case ScsiDirection::None: break;
    }
    return 2;
}

void Put(std::vector<uint8_t>& b, size_t at, uint64_t value, size_t width) {
    for (size_t i = 0; i < width; ++i) b[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

uint64_t Get(std::span<const uint8_t> b, size_t at, size_t width) {
    uint64_t v = 0;
    for (size_t i = 0; i < width; ++i) v |= static_cast<uint64_t>(b[at + i]) << (8 * i);
    return v;
}

}  // namespace

std::vector<uint8_t> EncodeScsiPassThrough(const ScsiRequest& r, uint8_t targetId) {
    if (r.cdb.empty() || r.cdb.size() > kCdbSpace || r.senseCapacity > kPassThroughSenseArea ||
        r.transferLength > kPassThroughDataArea ||
        (r.direction == ScsiDirection::ToDevice && r.dataOut.size() != r.transferLength) ||
        (r.direction == ScsiDirection::None && r.transferLength != 0))
        return {};
    std::vector<uint8_t> b(kPassThroughBufferSize, 0);
    Put(b, kLength, kPassThroughLength, 2);
    b[kPathId] = 0;
    b[kTargetId] = targetId;
    b[kLun] = 0;
    b[kCdbLength] = static_cast<uint8_t>(r.cdb.size());
    b[kSenseInfoLength] = r.senseCapacity;
    b[kDataIn] = DataInValue(r.direction);
    Put(b, kDataTransferLength, r.transferLength, 4);
    Put(b, kTimeOutValue, std::max<uint32_t>(1, (r.timeoutMs + 999) / 1000), 4);
    Put(b, kDataBufferOffset, kPassThroughDataOffset, 8);
    Put(b, kSenseInfoOffset, kPassThroughSenseOffset, 4);
    std::copy(r.cdb.begin(), r.cdb.end(), b.begin() + kCdb);
    std::copy(r.dataOut.begin(), r.dataOut.end(), b.begin() + kPassThroughDataOffset);
    return b;
}

std::optional<ScsiAnswer> DecodeScsiPassThrough(std::span<const uint8_t> b) {
    if (b.size() < kPassThroughBufferSize) return std::nullopt;
    const size_t sense = b[kSenseInfoLength];
    const uint64_t data = Get(b, kDataTransferLength, 4);
    if (sense > kPassThroughSenseArea || data > kPassThroughDataArea) return std::nullopt;
    ScsiAnswer a;
    a.status = b[kScsiStatus];
    a.sense.assign(b.begin() + kPassThroughSenseOffset, b.begin() + static_cast<long>(kPassThroughSenseOffset + sense));
    if (b[kDataIn] == 1)
        a.data.assign(b.begin() + kPassThroughDataOffset, b.begin() + static_cast<long>(kPassThroughDataOffset + data));
    return a;
}

}  // namespace flintcast::platform
