#include "sim/protocols/diag_handler.h"

#include "sim/protocols/diag_replies.h"
#include "sim/protocols/nv_service.h"
#include "sim/protocols/wire.h"

namespace flintcast::sim {

DiagHandler::DiagHandler(DeviceModel& model, ProtocolFaultHooks* faults)
    : FramedHandler(model, faults, hdlc::kMaxReplyBytes) {}

std::string DiagHandler::KindOf(std::span<const uint8_t> request) {
    switch (request[0]) {
    case diag_cmd::kVersion: return "diag.version";
    case diag_cmd::kNvRead: return "diag.nv_read";
    case diag_cmd::kNvWrite: return "diag.nv_write";
    case diag_cmd::kModeControl: return "diag.mode_control";
    case diag_cmd::kDownload: return "diag.download";
    case diag_cmd::kServiceCode: return "diag.spc";
    case diag_cmd::kExtendedBuildId: return "diag.build_id";
    case diag_cmd::kSubsystem:
        if (request.size() >= 2 && request[1] == diag_subsys::kEfs) return EfsService::KindOf(request);
        if (request.size() >= 2 && request[1] == diag_subsys::kModeSwitch) return "diag.mode_switch";
        if (request.size() >= 6 && request[1] == diag_subsys::kFactoryTest) {
            const uint16_t op = wire::Le16(request, 4);
            if (op == kRfNvReadOp) return "diag.rf_nv_read";
            if (op == kRfNvWriteOp) return "diag.rf_nv_write";
        }
        return "diag.subsystem";
    default: return "diag.unknown";
    }
}

void DiagHandler::HandleFrame(std::span<const uint8_t> payload, EngineOutput& out) {
    const auto reply = Answer(payload, out.events);
    if (!reply.empty()) Reply(out, reply, false);
}

void DiagHandler::HandleBadFrame(hdlc::FrameDecoder::Status status, EngineOutput& out) {
    // The DIAG task drops a packet that fails its check or its size; the client's
    // time-out and retry take care of it.
    (void)out;
    model_.Count(status == hdlc::FrameDecoder::Status::BadCrc ? "diag.bad_crc" : "diag.bad_frame");
}

std::vector<uint8_t> DiagHandler::Answer(std::span<const uint8_t> req, std::vector<DeviceEvent>& events) {
    switch (Admit(KindOf(req))) {
    case RequestFault::Ignore: return {};
    case RequestFault::Refuse: return DiagRefusal(kDiagBadCommand, req);
    case RequestFault::None: break;
    }
    switch (req[0]) {
    case diag_cmd::kVersion: return Version(req);
    case diag_cmd::kExtendedBuildId: return ExtendedBuildId(req);
    case diag_cmd::kServiceCode: return ServiceCode(req);
    case diag_cmd::kNvRead: return HandleNvRead(req, model_, faults_);
    case diag_cmd::kNvWrite: return HandleNvWrite(req, model_, faults_);
    case diag_cmd::kModeControl: return ModeControl(req, events);
    case diag_cmd::kDownload:
        if (req.size() != 1) return DiagRefusal(kDiagBadLength, req);
        // Answer first; the switch to the bootloader follows once the answer is out.
        events.push_back(DeviceEvent::SwitchToDownload);
        return {diag_cmd::kDownload};
    case diag_cmd::kSubsystem: return Subsystem(req);
    default: return DiagRefusal(kDiagBadCommand, req);
    }
}

// Version: compile date and time, release date and time, version directory, station
// class, protocol revision, model, firmware revision, slot cycle, hardware version.
std::vector<uint8_t> DiagHandler::Version(std::span<const uint8_t> req) const {
    if (req.size() != 1) return DiagRefusal(kDiagBadLength, req);
    std::vector<uint8_t> reply{diag_cmd::kVersion};
    wire::PutFixedText(reply, "Jan 01 2012", 11);
    wire::PutFixedText(reply, "12:00:00", 8);
    wire::PutFixedText(reply, "Jan 01 2012", 11);
    wire::PutFixedText(reply, "12:00:00", 8);
    wire::PutFixedText(reply, model_.softwareVersion, 8);
    reply.push_back(0x02);                            // station class mark
    reply.push_back(0x06);                            // protocol revision
    reply.push_back(model_.settings.platformByte);    // model
    wire::PutLe16(reply, 0x0001);                     // firmware revision
    reply.push_back(0x02);                            // slot cycle index
    wire::PutBe16(reply, static_cast<uint16_t>(model_.settings.msmHardwareVersion));
    return reply;
}

// Extended build id: 7C, version 02, two reserved bytes, hardware version (4), mobile
// model (4, its low byte at offset 8 is the platform), build id text, model text.
std::vector<uint8_t> DiagHandler::ExtendedBuildId(std::span<const uint8_t> req) const {
    if (req.size() != 1) return DiagRefusal(kDiagBadLength, req);
    std::vector<uint8_t> reply{diag_cmd::kExtendedBuildId, 0x02, 0x00, 0x00};
    wire::PutLe32(reply, model_.settings.msmHardwareVersion);
    wire::PutLe32(reply, model_.settings.platformByte);
    wire::PutText(reply, model_.settings.buildId);
    reply.push_back(0);
    wire::PutText(reply, model_.settings.modelName);
    reply.push_back(0);
    return reply;
}

// Service programming code: 41 and six digits -> 41 and 1 (accepted, the lock opens) or 0 (refused).
std::vector<uint8_t> DiagHandler::ServiceCode(std::span<const uint8_t> req) const {
    if (req.size() != 7) return DiagRefusal(kDiagBadLength, req);
    const std::string code(req.begin() + 1, req.end());
    const bool match = code == model_.settings.serviceProgrammingCode;
    if (match) model_.locked = false;
    return {diag_cmd::kServiceCode, static_cast<uint8_t>(match ? 1 : 0)};
}

// Mode control: 29 and the mode (16-bit) -> the request echoed.
std::vector<uint8_t> DiagHandler::ModeControl(std::span<const uint8_t> req, std::vector<DeviceEvent>& events) {
    if (req.size() != 3) return DiagRefusal(kDiagBadLength, req);
    switch (wire::Le16(req, 1)) {
    case diag_mode::kOfflineAnalog:
    case diag_mode::kOffline:
        model_.offline = true;
        events.push_back(DeviceEvent::Offline);
        break;
    case diag_mode::kReset:
        events.push_back(DeviceEvent::Reset);
        break;
    case diag_mode::kFactoryTest:
        model_.testMode = true;
        break;
    case diag_mode::kOnline:
        model_.offline = false;
        break;
    case diag_mode::kLowPower:
        break;
    case diag_mode::kPowerOff:
        events.push_back(DeviceEvent::PowerOff);
        break;
    default:
        return DiagRefusal(kDiagBadParameter, req);
    }
    return std::vector<uint8_t>(req.begin(), req.end());
}

std::vector<uint8_t> DiagHandler::Subsystem(std::span<const uint8_t> req) {
    if (req.size() < 4) return DiagRefusal(kDiagBadLength, req);
    const uint16_t code = wire::Le16(req, 2);
    switch (req[1]) {
    case diag_subsys::kEfs:
        return efs_.Handle(req, model_);
    case diag_subsys::kModeSwitch:
        if (code != kModeSwitchToTest) return DiagRefusal(kDiagBadCommand, req);
        if (req.size() != 4) return DiagRefusal(kDiagBadLength, req);
        model_.testMode = true;
        return std::vector<uint8_t>(req.begin(), req.end());
    case diag_subsys::kFactoryTest:
        if (code != kFactoryTestRfNvGroup) return DiagRefusal(kDiagBadCommand, req);
        if (req.size() < kRfNvHeaderBytes) return DiagRefusal(kDiagBadLength, req);
        return HandleRfNv(req, model_, faults_);
    default:
        return DiagRefusal(kDiagBadCommand, req);
    }
}

}  // namespace flintcast::sim
