#pragma once
// A SCSI request as the buffer of Windows' IOCTL_SCSI_PASS_THROUGH control call: the
// SCSI_PASS_THROUGH header of a 64-bit process, the sense area behind it and the data area
// behind that, all in the one buffer the call takes in and hands back. The control call only
// moves data between the device and this buffer, so the data area has to lie inside it (its
// offset is counted from the buffer's start). Pure bytes, so the layout is tested on any system.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "platform/scsi_wire.h"

namespace flintcast::platform {

// Offsets of SCSI_PASS_THROUGH in a 64-bit process (its DataBufferOffset is pointer-sized).
inline constexpr size_t kPassThroughLength = 56;
inline constexpr size_t kPassThroughSenseOffset = 56;
inline constexpr size_t kPassThroughSenseArea = 32;
inline constexpr size_t kPassThroughDataOffset = kPassThroughSenseOffset + kPassThroughSenseArea;
inline constexpr size_t kPassThroughDataArea = 256;
inline constexpr size_t kPassThroughBufferSize = kPassThroughDataOffset + kPassThroughDataArea;

// The whole buffer (kPassThroughBufferSize bytes, sense and data areas zero-filled, the data to
// the device copied in), or empty when the request does not fit: a CDB over 16 bytes, more
// sense than the sense area or more data than the data area holds. The time-out is carried in
// whole seconds, at least one.
std::vector<uint8_t> EncodeScsiPassThrough(const ScsiRequest& request, uint8_t targetId);

// What the device answered, read back from the buffer after the call: status, as many sense
// bytes as the header says were written and the data of a transfer from the device (its
// length as the header gives it back). Nothing when the buffer is too short or its lengths
// point outside their areas.
std::optional<ScsiAnswer> DecodeScsiPassThrough(std::span<const uint8_t> buffer);

}  // namespace flintcast::platform
