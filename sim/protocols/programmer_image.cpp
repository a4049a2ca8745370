#include "sim/protocols/programmer_image.h"

#include <cstring>

#include "codec/hdlc.h"
#include "sim/protocols/wire.h"

namespace flintcast::sim {

ProgrammerCheck CheckProgrammer(const DmssRam& ram, uint32_t address, uint32_t projectType) {
    const auto header = ram.Read(address, kProgrammerHeaderBytes);
    if (!header) return {false, "nothing written at the go address"};
    if (std::memcmp(header->data(), kProgrammerMagic, 8) != 0) return {false, "no programmer magic"};
    const uint32_t length = wire::Le32(*header, 8);
    if (length < kProgrammerHeaderBytes) return {false, "programmer length too small"};
    if (length > DmssRam::kMaxPages * DmssRam::kPageBytes) return {false, "programmer length too large"};
    if (wire::Le32(*header, 12) != projectType) return {false, "programmer built for another project"};
    const auto image = ram.Read(address, length);
    if (!image) return {false, "programmer not written in full"};
    const std::span<const uint8_t> body(image->data() + kProgrammerHeaderBytes, length - kProgrammerHeaderBytes);
    if (hdlc::CheckSequence(body) != wire::Le16(*header, 16)) return {false, "programmer check value wrong"};
    return {true, {}};
}

}  // namespace flintcast::sim
