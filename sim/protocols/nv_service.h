#pragma once
// NV item requests (0x26 read, 0x27 write) and RF NV requests through the factory-test
// subsystem (4B 0B 24 00, operations 604 read and 605 write).
#include <cstdint>
#include <span>
#include <vector>

#include "sim/model/device_model.h"
#include "sim/protocols/protocol_faults.h"

namespace flintcast::sim {

inline constexpr size_t kNvRequestBytes = 133;   // code, id, 128 data bytes, status word
inline constexpr size_t kRfNvHeaderBytes = 10;   // 4B 0B 24 00, operation, two 16-bit fields
inline constexpr uint16_t kRfNvReadOp = 604;
inline constexpr uint16_t kRfNvWriteOp = 605;

// Each returns the reply payload. `faults` may be null.
std::vector<uint8_t> HandleNvRead(std::span<const uint8_t> request, DeviceModel& model,
                                  ProtocolFaultHooks* faults);
std::vector<uint8_t> HandleNvWrite(std::span<const uint8_t> request, DeviceModel& model,
                                   ProtocolFaultHooks* faults);
// `request` starts with 4B 0B 24 00 and holds at least the 10-byte header.
std::vector<uint8_t> HandleRfNv(std::span<const uint8_t> request, DeviceModel& model,
                                ProtocolFaultHooks* faults);

}  // namespace flintcast::sim
