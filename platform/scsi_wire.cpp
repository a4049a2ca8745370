#include "platform/scsi_wire.h"

namespace flintcast::platform {
namespace {

constexpr size_t kRequestHeader = 12;
constexpr size_t kAnswerHeader = 8;

void PutU32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

uint32_t GetU32(std::span<const uint8_t> b, size_t at) {
    return static_cast<uint32_t>(b[at]) | static_cast<uint32_t>(b[at + 1]) << 8 |
           static_cast<uint32_t>(b[at + 2]) << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

bool ValidRequest(const ScsiRequest& r) {
    if (r.cdb.empty() || r.cdb.size() > kScsiMaxCdb || r.transferLength > kScsiMaxTransfer) return false;
    if (r.senseCapacity > kScsiMaxSense) return false;
    if (r.direction == ScsiDirection::None) return r.transferLength == 0 && r.dataOut.empty();
    if (r.direction == ScsiDirection::ToDevice) return r.dataOut.size() == r.transferLength;
    return r.direction == ScsiDirection::FromDevice && r.dataOut.empty();
}

}  // namespace

std::vector<uint8_t> EncodeScsiRequest(const ScsiRequest& r) {
    if (!ValidRequest(r)) return {};
    std::vector<uint8_t> out{static_cast<uint8_t>(r.cdb.size()), static_cast<uint8_t>(r.direction), r.senseCapacity, 0};
    PutU32(out, r.transferLength);
    PutU32(out, r.timeoutMs);
    out.insert(out.end(), r.cdb.begin(), r.cdb.end());
    out.insert(out.end(), r.dataOut.begin(), r.dataOut.end());
    return out;
}

WireResult<ScsiRequest> DecodeScsiRequest(std::span<const uint8_t> b) {
    WireResult<ScsiRequest> result;
    if (b.size() < kRequestHeader) return result;
    ScsiRequest& r = result.value;
    const size_t cdbLength = b[0];
    const uint8_t direction = b[1];
    r.senseCapacity = b[2];
    r.transferLength = GetU32(b, 4);
    r.timeoutMs = GetU32(b, 8);
    if (cdbLength == 0 || cdbLength > kScsiMaxCdb || direction > 2 || b[3] != 0 || r.senseCapacity > kScsiMaxSense ||
        r.transferLength > kScsiMaxTransfer) {
        result.outcome = WireDecode::Malformed;
        return result;
    }
    r.direction = static_cast<ScsiDirection>(direction);
    if (r.direction == ScsiDirection::None && r.transferLength != 0) {
        result.outcome = WireDecode::Malformed;
        return result;
    }
    const size_t dataLength = r.direction == ScsiDirection::ToDevice ? r.transferLength : 0;
    const size_t total = kRequestHeader + cdbLength + dataLength;
    if (b.size() < total) return result;
    r.cdb.assign(b.begin() + kRequestHeader, b.begin() + static_cast<long>(kRequestHeader + cdbLength));
    r.dataOut.assign(b.begin() + static_cast<long>(kRequestHeader + cdbLength), b.begin() + static_cast<long>(total));
    result.outcome = WireDecode::Complete;
    result.used = total;
    return result;
}

std::vector<uint8_t> EncodeScsiAnswer(const ScsiAnswer& a) {
    if (a.sense.size() > kScsiMaxSense || a.data.size() > kScsiMaxTransfer) return {};
    std::vector<uint8_t> out{a.status, static_cast<uint8_t>(a.sense.size()), 0, 0};
    PutU32(out, static_cast<uint32_t>(a.data.size()));
    out.insert(out.end(), a.sense.begin(), a.sense.end());
    out.insert(out.end(), a.data.begin(), a.data.end());
    return out;
}

WireResult<ScsiAnswer> DecodeScsiAnswer(std::span<const uint8_t> b, uint32_t transferLength) {
    WireResult<ScsiAnswer> result;
    if (b.size() < kAnswerHeader) return result;
    const size_t senseLength = b[1];
    const uint32_t dataLength = GetU32(b, 4);
    if (b[2] != 0 || b[3] != 0 || senseLength > kScsiMaxSense || dataLength > transferLength) {
        result.outcome = WireDecode::Malformed;
        return result;
    }
    const size_t total = kAnswerHeader + senseLength + dataLength;
    if (b.size() < total) return result;
    ScsiAnswer& a = result.value;
    a.status = b[0];
    a.sense.assign(b.begin() + kAnswerHeader, b.begin() + static_cast<long>(kAnswerHeader + senseLength));
    a.data.assign(b.begin() + static_cast<long>(kAnswerHeader + senseLength), b.begin() + static_cast<long>(total));
    result.outcome = WireDecode::Complete;
    result.used = total;
    return result;
}

}  // namespace flintcast::platform
