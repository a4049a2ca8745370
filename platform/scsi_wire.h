#pragma once
// The SCSI pass-through request and its answer as bytes, for a disk node that is a Unix-domain
// socket (a simulated device tree) instead of a block device. It carries exactly what SG_IO
// carries: the CDB, the direction, the transfer length, the time-out and the sense capacity,
// and back the status, the sense bytes and the data. All integers are little-endian.
//
// Request: cdb length (1..16), direction (0 none, 1 from device, 2 to device), sense capacity,
//          0, transfer length (u32), time-out ms (u32), the CDB, then the data of a transfer to
//          the device.
// Answer:  status, sense length, 0, 0, data length (u32), the sense bytes, the data.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace flintcast::platform {

enum class ScsiDirection : uint8_t { None = 0, FromDevice = 1, ToDevice = 2 };

inline constexpr size_t kScsiMaxCdb = 16;
inline constexpr size_t kScsiMaxSense = 252;
// Larger transfers are refused on the wire: no disk command of this tool moves more.
inline constexpr uint32_t kScsiMaxTransfer = 1u << 20;

struct ScsiRequest {
    std::vector<uint8_t> cdb;
    ScsiDirection direction = ScsiDirection::None;
    uint32_t transferLength = 0;
    uint32_t timeoutMs = 0;
    uint8_t senseCapacity = 0;
    std::vector<uint8_t> dataOut;  // transferLength bytes when the data goes to the device
};

struct ScsiAnswer {
    uint8_t status = 0;            // SCSI status byte (0 good, 2 check condition)
    std::vector<uint8_t> sense;
    std::vector<uint8_t> data;     // what the device returned, at most the transfer length
};

enum class WireDecode { Complete, NeedMore, Malformed };

template <typename T>
struct WireResult {
    WireDecode outcome = WireDecode::NeedMore;
    size_t used = 0;  // bytes taken when Complete
    T value{};
};

// Encoders return an empty vector for a request or answer that cannot be carried (a CDB
// longer than 16 bytes, a transfer above the limit, data that disagrees with the length).
std::vector<uint8_t> EncodeScsiRequest(const ScsiRequest& request);
WireResult<ScsiRequest> DecodeScsiRequest(std::span<const uint8_t> bytes);
std::vector<uint8_t> EncodeScsiAnswer(const ScsiAnswer& answer);
// `transferLength` is what the request allowed: an answer with more data is malformed.
WireResult<ScsiAnswer> DecodeScsiAnswer(std::span<const uint8_t> bytes, uint32_t transferLength);

}  // namespace flintcast::platform
