#include "engine/nv_requests.h"

#include <algorithm>

#include "codec/byte_order.h"
#include "codec/byte_order.h"

namespace flintcast::engine {
namespace {

// Factory-test RF NV header: dispatch, subsystem 0x0B, command group 0x0024, then the
// operation (604 read, 605 write) and two 16-bit fields (0 and 144 to read, 0 and 14 to write).
constexpr std::array<uint8_t, 10> kRfNvReadHeader = {0x4B, 0x0B, 0x24, 0x00, 0x5C, 0x02, 0x00, 0x00, 0x90, 0x00};
constexpr std::array<uint8_t, 10> kRfNvWriteHeader = {0x4B, 0x0B, 0x24, 0x00, 0x5D, 0x02, 0x00, 0x00, 0x0E, 0x00};

}  // namespace

std::array<uint8_t, kNvRequestBytes> NvReadRequest(int32_t id) {
    std::array<uint8_t, kNvRequestBytes> request{};
    request[0] = kNvReadCommand;
    byte_order::StoreLe16(request, 1, static_cast<uint16_t>(id));
    request[kNvRequestBytes - 2] = 0xCC;
    request[kNvRequestBytes - 1] = 0xCC;
    return request;
}

std::array<uint8_t, kNvRequestBytes> NvWriteRequest(int32_t id, std::span<const uint8_t> data) {
    std::array<uint8_t, kNvRequestBytes> request{};
    request[0] = kNvWriteCommand;
    byte_order::StoreLe16(request, 1, static_cast<uint16_t>(id));
    std::copy_n(data.begin(), std::min(data.size(), kNvItemBytes), request.begin() + 3);
    return request;
}

std::vector<uint8_t> RfNvReadRequest(int32_t id) {
    std::vector<uint8_t> request(kRfNvReadHeader.begin(), kRfNvReadHeader.end());
    request.resize(request.size() + 2);
    byte_order::StoreLe16(request, 10, static_cast<uint16_t>(id));
    return request;
}

std::vector<uint8_t> RfNvWriteRequest(int32_t id, std::span<const uint8_t> data) {
    std::vector<uint8_t> request(kRfNvWriteHeader.begin(), kRfNvWriteHeader.end());
    request.resize(request.size() + 4);
    byte_order::StoreLe16(request, 10, static_cast<uint16_t>(id));
    byte_order::StoreLe16(request, 12, static_cast<uint16_t>(data.size()));
    request.insert(request.end(), data.begin(), data.end());
    // The request is 16 + n bytes long: two zero bytes follow the data.
    request.resize(request.size() + 2, 0);
    return request;
}

}  // namespace flintcast::engine
