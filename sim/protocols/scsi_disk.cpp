#include "sim/protocols/scsi_disk.h"

#include <algorithm>
#include <array>

namespace flintcast::sim {
namespace {

constexpr uint8_t kTestUnitReady = 0x00;
constexpr uint8_t kInquiry = 0x12;
constexpr std::array<uint8_t, 6> kModeSwitchCdb{0x06, 0xF5, 0x04, 0x02, 0x52, 0x80};
constexpr size_t kInquiryLength = 36;

ScsiDiskOutcome Refuse(uint8_t asc) {
    // Fixed-format sense: current error, sense key, additional length 10, ASC and ASCQ.
    ScsiDiskOutcome out;
    out.answer.status = kScsiCheckCondition;
    out.answer.sense.assign(18, 0);
    out.answer.sense[0] = 0x70;
    out.answer.sense[2] = kSenseIllegalRequest;
    out.answer.sense[7] = 10;
    out.answer.sense[12] = asc;
    return out;
}

void PutPadded(std::vector<uint8_t>& out, size_t at, const std::string& text, size_t width) {
    for (size_t i = 0; i < width; ++i) out[at + i] = static_cast<uint8_t>(i < text.size() ? text[i] : ' ');
}

ScsiDiskOutcome Inquiry(const platform::ScsiRequest& r, const DiskIdentity& disk) {
    if (r.cdb.size() != 6) return Refuse(kAscInvalidFieldInCdb);
    if ((r.cdb[1] & 0x01) != 0 || r.cdb[2] != 0) return Refuse(kAscInvalidFieldInCdb);  // no vital product pages
    std::vector<uint8_t> data(kInquiryLength, 0);
    data[1] = 0x80;  // removable medium
    data[2] = 0x02;
    data[3] = 0x02;
    data[4] = kInquiryLength - 5;
    PutPadded(data, 8, disk.vendor, 8);
    PutPadded(data, 16, disk.model, 16);
    PutPadded(data, 32, disk.revision, 4);
    const size_t allocation = static_cast<size_t>(r.cdb[3]) << 8 | r.cdb[4];
    const size_t room = r.direction == platform::ScsiDirection::FromDevice ? r.transferLength : 0;
    data.resize(std::min({data.size(), allocation, room}));
    ScsiDiskOutcome out;
    out.answer.data = std::move(data);
    return out;
}

}  // namespace

ScsiDiskOutcome HandleScsiCommand(const platform::ScsiRequest& request, const DiskIdentity& disk,
                                  bool acceptsModeSwitch) {
    const auto& cdb = request.cdb;
    if (cdb.empty()) return Refuse(kAscInvalidOpcode);
    switch (cdb[0]) {
        case kTestUnitReady:
            return cdb.size() == 6 ? ScsiDiskOutcome{} : Refuse(kAscInvalidFieldInCdb);
        case kInquiry:
            return Inquiry(request, disk);
        case kModeSwitchCdb[0]: {
            if (!acceptsModeSwitch) return Refuse(kAscInvalidOpcode);
            if (!std::equal(cdb.begin(), cdb.end(), kModeSwitchCdb.begin(), kModeSwitchCdb.end()))
                return Refuse(kAscInvalidFieldInCdb);
            ScsiDiskOutcome out;
            out.switchToModem = true;
            return out;
        }
        default:
            return Refuse(kAscInvalidOpcode);
    }
}

}  // namespace flintcast::sim
